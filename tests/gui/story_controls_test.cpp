// The story's controls in a real window: the keys that move the story on
// and the pointer's cue, the 表示 menu (pause, start again, volume, mute,
// status bar) with its remembered settings and window size, and every
// shipped cartoon played to its end with the keyboard alone.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <string>

#include "app/gl_format.h"
#include "app/main_frame.h"
#include "app/platform_qt.h"
#include "app/player_app.h"
#include "app/player_settings.h"
#include "app/view_menu.h"
#include "app/view_widget.h"
#include "base/program_directory.h"
#include "model/scene_state.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"
#include "window_test_support.h"

using namespace tolvani;
using tolvani::testing::Step;
using tolvani::testing::WithinTicks;

namespace {

// A Glide story of three steps, one balloon straight ahead at each.
QString WriteGlideStory() {
  testing::ProjectBuilder b;
  b.playMode = PlayMode::kGlide;
  b.glideDuration = 300;
  b.AddMaterial(u"plain");
  b.AddModel(u"camera");
  CTimeLine& camera = b.AddTimeline(u"camera");
  b.AddTriangleModel(u"fukidashi", {{-80, -80, 0}, {80, -80, 0}, {80, 80, 0}, {-80, 80, 0}},
                     {{0, 1, 2}, {0, 2, 3}});
  CTimeLine& balloon = b.AddTimeline(u"fukidashi");
  for (int i = 0; i < 3; ++i) {
    b.AddEntry(camera, EntryState::kShown);
    b.AddEntry(balloon, EntryState::kShown).motion.position = Vec3{0, 0, -500};
  }
  const std::string path = testing::MakeTempDir() + "glide.zvmov";
  b.WriteFile(path);
  return QString::fromStdString(path);
}

QString BinDir() {
  return QFileInfo(QStringLiteral(TOLVANI_PLAYER)).absolutePath() + QLatin1Char('/');
}

}  // namespace

class StoryControlsTest : public QObject {
  Q_OBJECT

  bool Show(CPlayerApp& app) {
    app.mainFrame()->resize(640, 480);
    app.mainFrame()->activateWindow();
    if (!QTest::qWaitForWindowActive(app.mainFrame())) return false;
    app.viewWidget()->setFocus();
    return QTest::qWaitFor([&] { return app.viewWidget()->frameCount() > 0; });
  }

 private slots:
  void init() {
    QSettings().clear();
    SetProgramDirectory(FromQString(BinDir()));
  }
  void cleanup() {
    SetProgramDirectory(u"");
    ResetSceneStateForTests();
  }

  void storyKeysAndTheClickCue() {
    CPlayerApp app;
    PlayerOptions options;
    options.file = WriteGlideStory();
    QVERIFY(app.InitInstance(options));
    QVERIFY(Show(app));
    CPlayerViewWidget* widget = app.viewWidget();
    const QPoint centre = widget->rect().center();
    const QPoint corner(3, 3);

    // The pointer is a hand over the balloon at step 0 only.
    QTest::mouseMove(widget, centre);
    QVERIFY(WithinTicks(*widget, 3, [&] { return widget->clickCue(); }));
    QCOMPARE(widget->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(widget, corner);
    QVERIFY(WithinTicks(*widget, 3, [&] { return !widget->clickCue(); }));
    QCOMPARE(widget->cursor().shape(), Qt::ArrowCursor);

    // Space moves the story on as the click would; while the camera glides
    // neither Enter nor the pointer counts, afterwards both do.
    QTest::keyClick(widget, Qt::Key_Space);
    QCOMPARE(Step(), 1);
    QTest::mouseMove(widget, centre);
    QTest::keyClick(widget, Qt::Key_Return);
    QCOMPARE(Step(), 1);
    QVERIFY(WithinTicks(*widget, 100, [&] { return widget->clickCue(); }));
    QTest::keyClick(widget, Qt::Key_PageDown);
    QCOMPARE(Step(), 2);
    QVERIFY(!widget->clickCue());  // asked again at the next tick
    QVERIFY(WithinTicks(*widget, 100, [&] { return app.view().StoryKeyBalloon() >= 0; }));
    // A held key moves the story on once, not at the repeat rate.
    QTest::keyPress(widget, Qt::Key_Right);
    QCOMPARE(Step(), 3);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(widget, &repeat);
    QCOMPARE(Step(), 3);
    QTest::keyRelease(widget, Qt::Key_Right);
    app.ExitInstance(0);
  }

  void viewMenuPauseRestartSoundAndStatus() {
    {
      CPlayerApp app;
      PlayerOptions options;
      options.file = WriteGlideStory();
      QVERIFY(app.InitInstance(options));
      QVERIFY(Show(app));
      CMainFrame* frame = app.mainFrame();
      ViewMenu* menu = frame->viewMenu();
      CPlayerViewWidget* widget = app.viewWidget();
      QStringList items;
      for (QAction* a : menu->menu()->actions()) items << (a->isSeparator() ? "-" : a->text());
      QCOMPARE(items, (QStringList{"全画面表示(&F)", "-", "一時停止(&P)", "最初から(&R)", "-",
                                   "消音(&M)", "音量(&O)", "-", "ステータスバー(&S)"}));
      QCOMPARE(menu->restartAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
      // The status bar is off at first; on, it tells the step and the cue.
      QVERIFY(frame->statusBar()->isHidden());
      menu->statusBarAction()->trigger();
      QVERIFY(!frame->statusBar()->isHidden());
      QVERIFY(menu->StatusText().startsWith(QStringLiteral("ステップ 1 / 3")));
      QVERIFY(menu->StatusText().contains(QStringLiteral("次へ")));

      // P pauses: no tick, no story keys; P again resumes.
      QTest::keyClick(widget, Qt::Key_P);
      QVERIFY(widget->paused());
      QVERIFY(!widget->ticking());
      QTest::keyClick(widget, Qt::Key_Space);
      QCOMPARE(Step(), 0);
      QVERIFY(menu->StatusText().contains(QStringLiteral("一時停止中")));
      QTest::keyClick(widget, Qt::Key_P);
      QVERIFY(widget->ticking());
      QTest::keyClick(widget, Qt::Key_Space);
      QCOMPARE(Step(), 1);
      QCOMPARE(menu->StatusText().left(10), QStringLiteral("ステップ 2 / 3"));
      // Ctrl+R starts the current file again, also from a pause.
      menu->SetPaused(true);
      QTest::keyClick(widget, Qt::Key_R, Qt::ControlModifier);
      QCOMPARE(Step(), 0);
      QVERIFY(!widget->paused());
      QCOMPARE(frame->windowTitle(), testing::WindowTitle(QStringLiteral("glide.zvmov")));

      // Volume and mute reach the settings; the size is kept on closing.
      menu->SetVolume(50);
      QTest::keyClick(widget, Qt::Key_M);
      QVERIFY(menu->muteAction()->isChecked());
      PlayerSettings saved;
      saved.Load();
      QCOMPARE(saved.volumePercent, 50);
      QVERIFY(saved.muted);
      QCOMPARE(saved.MasterGain(), 0.0f);
      QVERIFY(saved.statusBar);
      frame->resize(1000, 700);
      QTRY_COMPARE(frame->size(), QSize(1000, 700));
      frame->close();
      app.ExitInstance(0);
    }
    ResetSceneStateForTests();
    CPlayerApp again;
    QVERIFY(again.InitInstance({}));
    QCOMPARE(again.mainFrame()->size(), QSize(1000, 700));
    QVERIFY(again.mainFrame()->viewMenu()->muteAction()->isChecked());
    QVERIFY(again.mainFrame()->viewMenu()->statusBarAction()->isChecked());
    // A volume outside 0 to 100 in the store falls back to full.
    QSettings().setValue(QStringLiteral("Settings/Volume"), 400);
    PlayerSettings odd;
    odd.Load();
    QCOMPARE(odd.volumePercent, 100);
    again.ExitInstance(0);
  }

  // The Open dialog starts in the current file's folder, never in the
  // program's own.
  void openDialogFolder() {
    CPlayerApp app;
    QVERIFY(app.InitInstance({}));
    QVERIFY(QDir(app.mainFrame()->OpenDialogFolder()) != QDir(BinDir()));
    QCOMPARE(app.mainFrame()->OpenDialogFolder(), QDir::homePath());
    const QString story = WriteGlideStory();
    QVERIFY(app.mainFrame()->OpenFromFramework(story));
    QCOMPARE(app.mainFrame()->OpenDialogFolder(), QFileInfo(story).absolutePath());
    app.ExitInstance(0);
  }

  // A help page that cannot be opened says so, in Japanese, naming it,
  // without holding up the caller.
  void anAddressThatCannotBeOpenedIsNamed() {
    QtPlatformServices services;
    const std::u16string missing = u"/nonexistent/tolvani/Player.html";
    services.OpenDocument(missing);
    QMessageBox* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) shown = box;
    QVERIFY(shown != nullptr);
    QCOMPARE(shown->text(),
             QStringLiteral("次のアドレスを開けませんでした:\n/nonexistent/tolvani/Player.html"));
    QVERIFY(!shown->isModal());
    shown->close();
  }

  // Every shipped cartoon, played with the keyboard alone, reaches its last
  // step and starts again.
  void keyboardAlonePlaysEveryShippedCartoon() {
    for (const char* name : {"Main.zvmov", "examples/walk.zvmov", "examples/explore.zvmov",
                             "examples/scroll.zvmov", "examples/orbit.zvmov"}) {
      ResetSceneStateForTests();
      CPlayerApp app;
      PlayerOptions options;
      options.file = BinDir() + QString::fromLatin1(name);
      QVERIFY2(app.InitInstance(options), name);
      QVERIFY(Show(app));
      const int last = static_cast<int>(SceneState.timeLines.at(0).entries.size()) - 1;
      CPlayerViewWidget* widget = app.viewWidget();
      const bool scroll = SceneState.sceneRoot->playMode == PlayMode::kScroll;
      int highest = 0;
      bool again = false;
      for (int press = 0; press < 40 && !again; ++press) {
        // Wait until a key would count (the glide or a fade has ended; a
        // fade may have moved the story on by itself meanwhile).
        QVERIFY2(
            WithinTicks(*widget, 1000, [&] { return scroll || app.view().StoryKeyBalloon() >= 0; }),
            name);
        const int before = Step();
        QTest::keyClick(widget, Qt::Key_Space);
        QVERIFY2(Step() != before, name);
        highest = std::max({highest, before, Step()});
        again = highest == last && Step() == 0;
      }
      QVERIFY2(again, name);
      app.ExitInstance(0);
    }
  }
};

int main(int argc, char** argv) {
  return tolvani::testing::RunWindowTestRecordingMessages<StoryControlsTest>(argc, argv);
}

#include "story_controls_test.moc"
