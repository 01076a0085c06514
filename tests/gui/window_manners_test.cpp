// The window's manners: full paths in the recent list, failed opens that
// leave a sane window and never ask to save, held keys and buttons let go
// when the window loses the focus, full screen, Qt's Japanese texts, the
// busy feedback, and a quiet terminal.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <string>

#include "app/busy_feedback.h"
#include "app/gl_format.h"
#include "app/main_frame.h"
#include "app/platform_qt.h"
#include "app/player_app.h"
#include "app/recent_files.h"
#include "app/view_widget.h"
#include "base/program_directory.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"
#include "window_test_support.h"

using namespace tolvani;

namespace {

using testing::ReadEvents;

// A program directory with the real shader and a two-model Main.zvmov.
QString MakeProgramDir() {
  const QString dir = testing::MakeProgramDir(testing::SourceShader());
  testing::ProjectBuilder main;
  main.AddModel(u"a");
  main.AddModel(u"b");
  main.WriteFile((dir + QStringLiteral("Main.zvmov")).toStdString());
  return dir;
}

QString WriteProject(const QString& path, size_t models) {
  testing::ProjectBuilder b;
  for (size_t i = 0; i < models; ++i) b.AddModel(u"m");
  b.WriteFile(path.toStdString());
  return path;
}

QString Title(CPlayerApp& app) {
  return app.mainFrame()->windowTitle();
}

void ClearRecentList() {
  QSettings settings;
  settings.remove(QStringLiteral("Recent File List"));
}

QStringList RecentEntries() {
  RecentFileList list;
  list.Load();
  return list.entries();
}

}  // namespace

class WindowMannersTest : public QObject {
  Q_OBJECT

 private:
  QString events_;

  void Prepare(const QString& programDir) {
    events_ = QString::fromStdString(testing::MakeTempDir()) + QStringLiteral("events.jsonl");
    qputenv("TOLVANI_RECORD_MESSAGES", events_.toUtf8());
    SetProgramDirectory(FromQString(programDir));
    ClearRecentList();
  }

  QStringList EventKinds() {
    QStringList kinds;
    for (const QJsonObject& e : ReadEvents(events_)) kinds << e.value("event").toString();
    return kinds;
  }

  bool Activate(QWidget* w) {
    w->activateWindow();
    return QTest::qWaitForWindowActive(w);
  }

 private slots:
  void cleanup() {
    SetPlatform(nullptr);
    SetProgramDirectory(u"");
    ResetSceneStateForTests();
  }

  // A relative path on the command line is recorded in full, so that the
  // recent entry still opens from another working directory.
  void relativeCommandLinePathIsRecordedInFull() {
    const QString dir = MakeProgramDir();
    Prepare(dir);
    const QString work = QString::fromStdString(testing::MakeTempDir());
    QDir().mkpath(work + QStringLiteral("cases"));
    const QString full = WriteProject(work + QStringLiteral("cases/glide.zvmov"), 3);
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work));
    CPlayerApp app;
    PlayerOptions options;
    options.file = QStringLiteral("cases/./glide.zvmov");
    const bool started = app.InitInstance(options);
    QVERIFY(QDir::setCurrent(before));
    QVERIFY(started);
    const QString entry = RecentEntries().value(0);
    QCOMPARE(entry, full);
    QCOMPARE(ToQString(app.document().path()), full);

    // From elsewhere the entry still opens.
    QVERIFY(QDir::setCurrent(dir));
    app.mainFrame()->FileNew();
    QCOMPARE(SceneState.sceneRoot->models.size(), size_t{2});
    QVERIFY(app.mainFrame()->OpenFromFramework(entry));
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(SceneState.sceneRoot->models.size(), size_t{3});
    QCOMPARE(Title(app), testing::WindowTitle(QStringLiteral("glide.zvmov")));
    QVERIFY(ReadEvents(events_).isEmpty());
    app.ExitInstance(0);
  }

  // Failed opens: a failed read is untitled; nothing is ever asked; a file
  // that cannot be opened and a file of another extension change nothing.
  void failedOpensLeaveASaneWindowAndNeverAsk() {
    const QString dir = MakeProgramDir();
    Prepare(dir);
    const QString files = QString::fromStdString(testing::MakeTempDir());
    const QString good = WriteProject(files + QStringLiteral("good.zvmov"), 1);
    QFile bad(files + QStringLiteral("bad.zvmov"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(40, '\x01'));
    bad.close();
    CPlayerApp app;
    QVERIFY(app.InitInstance({}));
    QVERIFY(QTest::qWaitForWindowExposed(app.mainFrame()));

    // The File Open dialog's path: the read fails, the title no longer
    // names Main.zvmov.
    QVERIFY(!app.document().OnOpenDocument(FromQString(bad.fileName())));
    app.mainFrame()->RefreshTitle();
    QCOMPARE(Title(app), testing::WindowTitle(QStringLiteral("無題")));
    QCOMPARE(EventKinds(), QStringList{QStringLiteral("message")});

    // The next open, Ctrl+N and closing go ahead without a question.
    QVERIFY(app.mainFrame()->OpenFromFramework(good));
    QCOMPARE(Title(app), testing::WindowTitle(QStringLiteral("good.zvmov")));
    QCOMPARE(SceneState.sceneRoot->models.size(), size_t{1});
    QVERIFY(!app.document().OnOpenDocument(FromQString(bad.fileName())));
    QVERIFY(Activate(app.mainFrame()));
    QTest::keyClick(app.mainFrame(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(Title(app), testing::WindowTitle(QStringLiteral("Main.zvmov")));
    QCOMPARE(SceneState.sceneRoot->models.size(), size_t{2});

    // A file that cannot be opened: the message, the entry goes, the rest stays.
    QVERIFY(app.mainFrame()->OpenFromFramework(good));
    const QString gone = files + QStringLiteral("gone.zvmov");
    WriteProject(gone, 2);
    QVERIFY(app.mainFrame()->OpenFromFramework(gone));
    QVERIFY(app.mainFrame()->OpenFromFramework(good));
    QVERIFY(QFile::remove(gone));
    QCOMPARE(RecentEntries().mid(0, 2), (QStringList{good, gone}));
    QVERIFY(!app.mainFrame()->OpenFromFramework(gone));
    const QStringList kept = RecentEntries();
    QCOMPARE(kept.value(0), good);
    QVERIFY(!kept.contains(gone));
    QCOMPARE(Title(app), testing::WindowTitle(QStringLiteral("good.zvmov")));
    QCOMPARE(SceneState.sceneRoot->models.size(), size_t{1});
    QCOMPARE(ToQString(app.document().path()), good);

    // A dropped file of another extension is ignored entirely.
    const int eventsBefore = static_cast<int>(ReadEvents(events_).size());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(files + QStringLiteral("notes.txt"))});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(app.mainFrame(), &drop);
    QCOMPARE(Title(app), testing::WindowTitle(QStringLiteral("good.zvmov")));
    QCOMPARE(ToQString(app.document().path()), good);
    QCOMPARE(RecentEntries(), kept);
    QCOMPARE(ReadEvents(events_).size(), eventsBefore);

    // Closing after a failed read closes.
    QVERIFY(!app.document().OnOpenDocument(FromQString(bad.fileName())));
    QVERIFY(app.mainFrame()->close());
    QVERIFY(!EventKinds().contains(QStringLiteral("question")));
    app.ExitInstance(0);
  }

  // Keys and buttons held in the view are let go when the window is
  // deactivated; a move without the button ends the drag.
  void focusLossReleasesHeldKeysAndButtons() {
    Prepare(MakeProgramDir());
    CPlayerApp app;
    QVERIFY(app.InitInstance({}));
    CPlayerView& view = app.view();
    CPlayerViewWidget* widget = app.viewWidget();
    QVERIFY(Activate(app.mainFrame()));
    widget->setFocus();
    QTRY_VERIFY(widget->hasFocus());

    auto holdEverything = [&] {
      for (Qt::Key key : {Qt::Key_Left, Qt::Key_D, Qt::Key_W, Qt::Key_Down}) {
        QTest::keyPress(widget, key);
      }
      QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
      QTest::mousePress(widget, Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
      return view.strafeLeftHeld && view.strafeRightHeld && view.forwardHeld && view.backwardHeld &&
             view.leftButtonHeld && view.rightButtonHeld;
    };
    auto nothingHeld = [&] {
      return !view.strafeLeftHeld && !view.strafeRightHeld && !view.forwardHeld &&
             !view.backwardHeld && !view.leftButtonHeld && !view.rightButtonHeld;
    };

    // Another window takes the focus.
    QVERIFY(holdEverything());
    QLineEdit other;
    other.show();
    QVERIFY(Activate(&other));
    QTRY_VERIFY(nothingHeld());

    // Back in the view: a move whose buttons are up ends the drag.
    QVERIFY(Activate(app.mainFrame()));
    widget->setFocus();
    QTRY_VERIFY(widget->hasFocus());
    QVERIFY(holdEverything());
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 30), widget->mapToGlobal(QPointF(30, 30)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
    QVERIFY(!view.leftButtonHeld && !view.rightButtonHeld);
    QVERIFY(view.strafeLeftHeld);  // keys follow the focus, not the mouse
    widget->ReleaseHeldInput();
    QVERIFY(nothingHeld());
    app.ExitInstance(0);
  }

  // F11 toggles full screen, Esc leaves it; the menu bar hides meanwhile
  // and the view never sees either key.
  void fullScreenKeys() {
    Prepare(MakeProgramDir());
    CPlayerApp app;
    QVERIFY(app.InitInstance({}));
    CMainFrame* frame = app.mainFrame();
    QVERIFY(Activate(frame));
    app.viewWidget()->setFocus();
    QTRY_VERIFY(app.viewWidget()->hasFocus());

    QTest::keyClick(app.viewWidget(), Qt::Key_F11);
    QTRY_VERIFY(frame->isFullScreen());
    QVERIFY(frame->menuBar()->isHidden());
    QTest::keyClick(app.viewWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!frame->isFullScreen());
    QVERIFY(!frame->menuBar()->isHidden());
    // Esc outside full screen does nothing; F11 twice comes back.
    QTest::keyClick(app.viewWidget(), Qt::Key_Escape);
    QVERIFY(!frame->isFullScreen());
    QTest::keyClick(app.viewWidget(), Qt::Key_F11);
    QTRY_VERIFY(frame->isFullScreen());
    QTest::keyClick(app.viewWidget(), Qt::Key_F11);
    QTRY_VERIFY(!frame->isFullScreen());
    QVERIFY(!frame->menuBar()->isHidden());
    // The view's key table is unchanged: only movement keys set flags.
    QVERIFY(!app.view().strafeLeftHeld && !app.view().forwardHeld);
    QCOMPARE(VirtualKeyOf(Qt::Key_F11), 0u);
    QCOMPARE(VirtualKeyOf(Qt::Key_Escape), 0u);
    app.ExitInstance(0);
  }

  // Qt's own buttons speak Japanese, and message boxes belong to the window.
  void japaneseDialogsOwnedByTheWindow() {
    Prepare(MakeProgramDir());
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    CPlayerApp app;
    QVERIFY(app.InitInstance({}));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
    QVERIFY(QCoreApplication::translate("QFileDialog", "Open") != QStringLiteral("Open"));
    QCOMPARE(DialogParent(), static_cast<QWidget*>(app.mainFrame()));
    app.ExitInstance(0);
    QCOMPARE(DialogParent(), nullptr);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
  }

  // The busy cursor after 200 ms, the stage line after a second, both gone
  // at the end (the clock is the test's).
  void busyFeedbackFollowsTheClock() {
    QWidget window;
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    BusyFeedback busy(&window);
    qint64 now = 0;
    busy.elapsedMs = [&now] { return now; };
    using Stage = CPlayerDoc::OpenStage;
    busy.OnStage(Stage::Preparing);  // no open under way: ignored
    QVERIFY(!busy.cursorShown());

    struct Step {
      qint64 at;
      Stage stage;
      bool cursor;
      QString line;  // empty: none shown
    };
    const Step steps[] = {
        {0, Stage::Reading, false, {}},
        {150, Stage::Preparing, false, {}},
        {250, Stage::Preparing, true, {}},
        {1100, Stage::Preparing, true, QStringLiteral("シーンを準備しています…")},
        {1300, Stage::Sounds, true, QStringLiteral("サウンドを準備しています…")},
        {1400, Stage::Done, false, {}},
    };
    for (const Step& s : steps) {
      now = s.at;
      busy.OnStage(s.stage);
      QCOMPARE(busy.cursorShown(), s.cursor);
      QCOMPARE(QApplication::overrideCursor() != nullptr, s.cursor);
      if (s.cursor) QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
      QCOMPARE(busy.progressShown(), !s.line.isEmpty());
      if (!s.line.isEmpty()) QCOMPARE(busy.progressText(), s.line);
    }
  }

  // In the player an open drives the feedback through its stages, and the
  // line is on the window while the open runs.
  void busyFeedbackDuringAnOpen() {
    Prepare(MakeProgramDir());
    const QString project =
        WriteProject(QString::fromStdString(testing::MakeTempDir()) + QStringLiteral("p.zvmov"), 2);
    CPlayerApp app;
    QVERIFY(app.InitInstance({}));
    QVERIFY(QTest::qWaitForWindowExposed(app.mainFrame()));
    BusyFeedback* busy = app.busyFeedback();
    busy->elapsedMs = [] { return qint64{5000}; };  // a slow open
    QStringList seen;
    QImage duringSounds;
    auto forward = app.document().onOpenStage;
    app.document().onOpenStage = [&](CPlayerDoc::OpenStage stage) {
      forward(stage);
      seen << (busy->progressShown() ? busy->progressText() : QStringLiteral("-")) +
                  (busy->cursorShown() ? QStringLiteral("+cursor") : QString());
      if (stage == CPlayerDoc::OpenStage::Sounds) duringSounds = app.mainFrame()->grab().toImage();
    };
    QVERIFY(app.mainFrame()->OpenFromFramework(project));
    seen.removeDuplicates();
    QCOMPARE(seen, (QStringList{QStringLiteral("ファイルを読み込んでいます…+cursor"),
                                QStringLiteral("シーンを準備しています…+cursor"),
                                QStringLiteral("サウンドを準備しています…+cursor"),
                                QStringLiteral("-")}));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(!duringSounds.isNull());
    if (qEnvironmentVariableIsSet("TOLVANI_KEEP_GRABS")) {
      duringSounds.save(qEnvironmentVariable("TOLVANI_KEEP_GRABS"));
    }
    app.ExitInstance(0);
  }

  // A normal run on the demo writes nothing on either stream; the
  // diagnostics are there when asked for, without empty lines.
  void normalRunIsQuiet() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    env.remove(QStringLiteral("TOLVANI_RECORD_MESSAGES"));
    env.insert(QStringLiteral("ALSOFT_DRIVERS"), QStringLiteral("null"));  // a working sound device
    const QString png = QString::fromStdString(testing::MakeTempDir()) + QStringLiteral("s.png");
    const QStringList args = {QStringLiteral("--screenshot"), png, QStringLiteral("--ticks"),
                              QStringLiteral("5")};
    QProcess quiet;
    quiet.setProcessEnvironment(env);
    quiet.start(QStringLiteral(TOLVANI_PLAYER), args);
    QVERIFY(quiet.waitForFinished(60000));
    QCOMPARE(quiet.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(quiet.readAllStandardOutput()), QString());
    QCOMPARE(QString::fromUtf8(quiet.readAllStandardError()), QString());

    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tolvani.*.debug=true"));
    QProcess verbose;
    verbose.setProcessEnvironment(env);
    verbose.start(QStringLiteral(TOLVANI_PLAYER), args);
    QVERIFY(verbose.waitForFinished(60000));
    QCOMPARE(verbose.exitCode(), 0);
    QCOMPARE(verbose.readAllStandardOutput(), QByteArray());
    const QStringList lines = QString::fromUtf8(verbose.readAllStandardError()).split('\n');
    QVERIFY2(lines.contains(QStringLiteral("tolvani.audio: <<Created>>")),
             qPrintable(lines.join('|')));
    for (int i = 0; i + 1 < lines.size(); ++i) {
      QVERIFY2(lines[i].startsWith(QStringLiteral("tolvani.")) &&
                   !lines[i].endsWith(QStringLiteral(": ")),
               qPrintable(lines[i]));
    }
  }
};

int main(int argc, char** argv) {
  // OpenAL Soft's null output stands for a working sound device.
  qputenv("ALSOFT_DRIVERS", "null");
  return tolvani::testing::RunWindowTest<WindowMannersTest>(argc, argv);
}

#include "window_manners_test.moc"
