// Window tests of the player: start-up and shutdown, the window's menus and
// title, the recent-file list across runs, the OpenGL device and shader
// program, and the program run as a process (exit codes, screenshots).
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/gl_format.h"
#include "app/main_frame.h"
#include "app/native_path_qt.h"
#include "app/platform_qt.h"
#include "app/player_app.h"
#include "app/qt_gl_context.h"
#include "app/recent_files.h"
#include "app/view_widget.h"
#include "base/program_directory.h"
#include "builder/scene_kit.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "render/gl/opengl_device.h"
#include "render/renderer.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"
#include "window_test_support.h"

using namespace tolvani;

namespace {

using testing::MakeProgramDir;
using testing::ReadEvents;
using testing::SourceShader;

QStringList MessageTexts(const QString& path) {
  QStringList texts;
  for (const QJsonObject& e : ReadEvents(path)) {
    if (e.value(QStringLiteral("event")).toString() == QLatin1String("message")) {
      texts.append(e.value(QStringLiteral("text")).toString());
    }
  }
  return texts;
}

bool NearColour(QRgb pixel, int r, int g, int b) {
  return std::abs(qRed(pixel) - r) <= 1 && std::abs(qGreen(pixel) - g) <= 1 &&
         std::abs(qBlue(pixel) - b) <= 1;
}

std::string WriteProject(const testing::ProjectBuilder& b, const std::string& name) {
  return testing::WriteTempFile(b.Build(), name);
}

// A still scene: a fixed camera before `boards` plain boards in a row.
std::string WriteStillProject(int boards) {
  testing::ProjectBuilder b;
  b.camera = testing::CameraRig{{0, 0, 0}, 600, 0, 0}.Motion();
  b.AddModel(u"Camera");
  b.AddEntry(b.AddTimeline(u"Camera"), EntryState::kShown).motion = b.camera;
  for (int i = 0; i < boards; ++i) {
    const std::u16string name = u"Board" + std::u16string(1, static_cast<char16_t>(u'A' + i));
    b.AddMaterial(name, 1.0f, 0.5f * static_cast<float>(i), 0.0f);
    CModel& board = b.AddModel(name);
    testing::AddQuad(board, {0, 0, 0}, {40, 0, 0}, {0, 40, 0}, i);
    b.AddEntry(b.AddTimeline(name), EntryState::kShown).motion = testing::Pose(
        {100.0f * static_cast<float>(i) - 50.0f * static_cast<float>(boards - 1), 0, 0});
  }
  return WriteProject(b, "still.zvmov");
}

// What the window's framebuffer holds now, read without repainting it.
QImage FramebufferNow(CPlayerViewWidget* w) {
  w->makeCurrent();
  const qreal dpr = w->devicePixelRatioF();
  const int width = static_cast<int>(std::lround(w->width() * dpr));
  const int height = static_cast<int>(std::lround(w->height() * dpr));
  QImage image(width, height, QImage::Format_RGBA8888);
  QOpenGLFunctions* f = QOpenGLContext::currentContext()->functions();
  f->glBindFramebuffer(GL_FRAMEBUFFER, w->defaultFramebufferObject());
  f->glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
  w->doneCurrent();
  return image.mirrored();  // GL's rows run bottom up
}

// What the X server shows of the widget (what the window system composed).
QImage OnScreen(CPlayerViewWidget* w) {
  const QPoint at = w->mapTo(w->window(), QPoint(0, 0));
  return w->screen()
      ->grabWindow(w->window()->winId(), at.x(), at.y(), w->width(), w->height())
      .toImage();
}

bool SamePixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return false;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) != b.pixel(x, y)) return false;
    }
  }
  return true;
}

}  // namespace

class PlayerWindowTest : public QObject {
  Q_OBJECT

 private:
  QString messages_;  // the recording file of the current test

  // Fresh recording file and program directory for one in-process run.
  void Prepare(const QString& programDir) {
    messages_ = QString::fromStdString(testing::MakeTempDir()) + QStringLiteral("events.jsonl");
    qputenv("TOLVANI_RECORD_MESSAGES", messages_.toUtf8());
    SetProgramDirectory(FromQString(programDir));
  }

  QImage GrabWhenReady(CPlayerApp& app) {
    CPlayerViewWidget* w = app.viewWidget();
    if (!QTest::qWaitFor([w] { return w->isValid(); }, 5000)) return {};
    return w->grabFramebuffer();
  }

 private slots:
  void cleanup() {
    SetPlatform(nullptr);
    SetProgramDirectory(u"");
    ResetSceneStateForTests();
  }

  void startsWithoutTheStartupProject() {
    Prepare(MakeProgramDir(SourceShader()));
    CPlayerApp app;
    QVERIFY(app.InitInstance({}));
    // One file-not-found message, an empty scene, the untitled name.
    const QStringList texts = MessageTexts(messages_);
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts[0].contains(QStringLiteral("Main.zvmov")), qPrintable(texts[0]));
    QCOMPARE(app.mainFrame()->windowTitle(), testing::WindowTitle(QStringLiteral("無題")));
    QVERIFY(SceneState.sceneRoot->models.empty());
    const QImage image = GrabWhenReady(app);
    QVERIFY(!image.isNull());
    for (QPoint p : {QPoint(image.width() / 2, image.height() / 2), QPoint(2, 2),
                     QPoint(image.width() - 3, image.height() - 3)}) {
      QVERIFY2(NearColour(image.pixel(p), 30, 65, 90),
               qPrintable(QStringLiteral("%1").arg(image.pixel(p), 8, 16)));
    }
    QCOMPARE(app.ExitInstance(0), 0);
    QCOMPARE(SceneState.sceneRoot, nullptr);
    QCOMPARE(SceneState.audio, nullptr);
  }

  void menusAcceleratorsAndHelp() {
    const QString dir = MakeProgramDir(SourceShader());
    Prepare(dir);
    CPlayerApp app;
    QVERIFY(app.InitInstance({}));
    const QList<QAction*> menus = app.mainFrame()->menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus[0]->text(), QStringLiteral("ファイル(&F)"));
    QCOMPARE(menus[1]->text(), QStringLiteral("表示(&V)"));
    QCOMPARE(menus[2]->text(), QStringLiteral("ヘルプ(&H)"));
    QStringList file;
    for (QAction* a : menus[0]->menu()->actions()) file << (a->isSeparator() ? "-" : a->text());
    QCOMPARE(file.first(), QStringLiteral("開く(&O)...\tCtrl+O"));
    QCOMPARE(file.last(), QStringLiteral("アプリケーションの終了(&X)\tCtrl+Q"));
    QCOMPARE(menus[0]->menu()->actions().last()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QCOMPARE(file.count(QStringLiteral("-")), 2);
    QStringList help;
    for (QAction* a : menus[2]->menu()->actions()) help << (a->isSeparator() ? "-" : a->text());
    QCOMPARE(menus[2]->menu()->actions().first()->shortcut(), QKeySequence(Qt::Key_F1));
    QCOMPARE(help, (QStringList{QStringLiteral("目次(&H)\tF1"), QStringLiteral("-"),
                                QStringLiteral("バージョン情報 Tolvani(&A)...")}));
    QCOMPARE(menus[0]->menu()->actions().first()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));

    // Help asks the desktop to open Player.html beside the program.
    app.mainFrame()->HelpIndex();
    const QList<QJsonObject> events = ReadEvents(messages_);
    QCOMPARE(events.last().value(QStringLiteral("event")).toString(), QStringLiteral("open"));
    QCOMPARE(events.last().value(QStringLiteral("target")).toString(),
             dir + QStringLiteral("Player.html"));
    app.ExitInstance(0);
  }

  void newCommandReloadsTheStartupProjectAndDropsOpenInTurn() {
    const QString dir = MakeProgramDir(SourceShader());
    testing::ProjectBuilder main;
    main.AddModel(u"a");
    main.AddModel(u"b");
    main.WriteFile((dir + QStringLiteral("Main.zvmov")).toStdString());
    testing::ProjectBuilder other;
    other.AddModel(u"c");
    const QString first = QString::fromStdString(WriteProject(other, "first.zvmov"));
    const QString second = QString::fromStdString(WriteProject(other, "second.zvmov"));
    Prepare(dir);
    CPlayerApp app;
    QVERIFY(app.InitInstance({}));
    QCOMPARE(SceneState.sceneRoot->models.size(), size_t{2});
    QCOMPARE(app.mainFrame()->windowTitle(), testing::WindowTitle(QStringLiteral("Main.zvmov")));
    QVERIFY(QTest::qWaitForWindowExposed(app.mainFrame()));

    // Files dropped on the window open one after another.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(app.mainFrame(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(app.mainFrame(), &drop);
    QCOMPARE(SceneState.sceneRoot->models.size(), size_t{1});
    QCOMPARE(app.mainFrame()->windowTitle(), testing::WindowTitle(QStringLiteral("second.zvmov")));
    RecentFileList list;
    list.Load();
    QCOMPARE(list.entries().mid(0, 2), (QStringList{second, first}));

    // Ctrl+N brings the start-up project back; Ctrl+S and the edit keys change nothing.
    app.mainFrame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(app.mainFrame()));
    QTest::keyClick(app.mainFrame(), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(app.mainFrame(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(SceneState.sceneRoot->models.size(), size_t{1});
    QTest::keyClick(app.mainFrame(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(SceneState.sceneRoot->models.size(), size_t{2});
    QCOMPARE(app.mainFrame()->windowTitle(), testing::WindowTitle(QStringLiteral("Main.zvmov")));
    QVERIFY(MessageTexts(messages_).isEmpty());
    app.ExitInstance(0);
  }

  void backgroundColourClearsTheWindow() {
    testing::ProjectBuilder b;
    b.backgroundColor = 0x00FF0000;  // blue
    const std::string project = WriteProject(b, "blue.zvmov");
    Prepare(MakeProgramDir(SourceShader()));
    CPlayerApp app;
    PlayerOptions options;
    options.file = QString::fromStdString(project);
    QVERIFY(app.InitInstance(options));
    QVERIFY(MessageTexts(messages_).isEmpty());
    QCOMPARE(app.mainFrame()->windowTitle(), testing::WindowTitle(QStringLiteral("blue.zvmov")));
    const QImage image = GrabWhenReady(app);
    QVERIFY(!image.isNull());
    const QRgb centre = image.pixel(image.width() / 2, image.height() / 2);
    QVERIFY2(NearColour(centre, 0, 0, 255), qPrintable(QString::number(centre, 16)));
    app.ExitInstance(0);
  }

  void stillSceneIsNotPresentedAgainAndChangesAre() {
    const std::string project = WriteStillProject(2);
    Prepare(MakeProgramDir(SourceShader()));
    CPlayerApp app;
    PlayerOptions options;
    options.file = QString::fromStdString(project);
    QVERIFY(app.InitInstance(options));
    CPlayerViewWidget* w = app.viewWidget();
    auto waitTicks = [w](uint64_t n) {
      const uint64_t target = w->tickCount() + n;
      return QTest::qWaitFor([w, target] { return w->tickCount() >= target; }, 30000);
    };
    QVERIFY(QTest::qWaitFor([w] { return w->isValid(); }, 5000));
    QVERIFY(waitTicks(3));
    // Every tick draws its frame; an unchanged one never reaches the window.
    const uint64_t drawn = w->frameCount();
    const uint64_t presented = w->presentedFrameCount();
    QVERIFY(waitTicks(10));
    QVERIFY(w->frameCount() >= drawn + 10);
    QCOMPARE(w->presentedFrameCount(), presented);
    // The image kept is the one a fresh frame draws (grabbing repaints).
    const QImage kept = FramebufferNow(w);
    const QImage fresh = w->grabFramebuffer();
    QVERIFY(SamePixels(kept, fresh));
    // The boards' centres, 50 units either side at 600 units with a 30 degree
    // field of view: 50 / (600 tan 15) of half the height from the middle.
    const int offset = static_cast<int>(kept.height() * 0.155);
    const QPoint left(kept.width() / 2 - offset, kept.height() / 2);
    const QPoint right(kept.width() / 2 + offset, kept.height() / 2);
    auto isBackground = [](const QImage& image, QPoint p) {
      return NearColour(image.pixel(p), 30, 65, 90);
    };
    QVERIFY(!isBackground(kept, left) && !isBackground(kept, right));
    QVERIFY(QTest::qWaitFor([w, &kept] { return SamePixels(OnScreen(w), kept); }, 5000));

    // A board hidden: the next tick presents the change, then it is still.
    SceneState.sceneRoot->models[2].visible = false;
    QVERIFY(waitTicks(3));
    const QImage hidden = FramebufferNow(w);
    QVERIFY(w->presentedFrameCount() > presented);
    QVERIFY(!SamePixels(hidden, kept));
    QVERIFY(isBackground(hidden, left) != isBackground(hidden, right));
    QVERIFY(SamePixels(hidden, w->grabFramebuffer()));
    QVERIFY(QTest::qWaitFor([w, &hidden] { return SamePixels(OnScreen(w), hidden); }, 5000));

    // A resize draws the new framebuffer whole.
    app.mainFrame()->resize(app.mainFrame()->size() + QSize(40, 30));
    QVERIFY(QTest::qWaitFor([w, &kept] { return w->width() != kept.width(); }, 5000));
    QVERIFY(waitTicks(3));
    const QImage resized = FramebufferNow(w);
    QVERIFY(SamePixels(resized, w->grabFramebuffer()));
    app.ExitInstance(0);
  }

  void failedCommandLineProjectEndsTheProgram() {
    Prepare(MakeProgramDir(SourceShader()));
    CPlayerApp app;
    PlayerOptions options;
    options.file = QString::fromStdString(testing::MakeTempDir()) + QStringLiteral("gone.zvmov");
    QVERIFY(!app.InitInstance(options));
    QCOMPARE(MessageTexts(messages_).size(), 1);
    QVERIFY(app.ExitInstance(1) != 0);
    QCOMPARE(SceneState.sceneRoot, nullptr);
  }

  void missingShaderEndsTheProgram() {
    Prepare(MakeProgramDir(QString()));
    CPlayerApp app;
    QVERIFY(!app.InitInstance({}));
    QCOMPARE(MessageTexts(messages_), QStringList{QStringLiteral("hlsl読み込み失敗")});
    QCOMPARE(SceneState.audio, nullptr);  // the view was never created
    QVERIFY(app.ExitInstance(1) != 0);
  }

  void recentFilesPersistAcrossRunsAndFailedOpensLeaveTheList() {
    {
      QSettings settings;
      settings.remove(QStringLiteral("Recent File List"));
    }
    testing::ProjectBuilder b;
    const QString first = QString::fromStdString(WriteProject(b, "first.zvmov"));
    const QString second = QString::fromStdString(WriteProject(b, "second.zvmov"));
    const QString dir = MakeProgramDir(SourceShader());
    {
      Prepare(dir);
      CPlayerApp app;
      PlayerOptions options;
      options.file = first;
      QVERIFY(app.InitInstance(options));
      app.ExitInstance(0);
    }
    {
      QSettings settings;
      QCOMPARE(settings.value(QStringLiteral("Recent File List/File1")).toString(), first);
    }
    {
      Prepare(dir);
      CPlayerApp app;
      PlayerOptions options;
      options.file = second;
      QVERIFY(app.InitInstance(options));
      RecentFileList list;
      list.Load();
      QCOMPARE(list.entries(), (QStringList{second, first}));

      // A failed open removes it.
      QFile::remove(first);
      QVERIFY(!app.mainFrame()->OpenFromFramework(first));
      list.Load();
      QCOMPARE(list.entries(), QStringList{second});
      app.ExitInstance(0);
    }
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("Recent File List/File1")).toString(), second);
    QVERIFY(!settings.contains(QStringLiteral("Recent File List/File2")));
  }

  void aFileNameThatIsNotUtf8OpensFromTheCommandLineDropsAndTheRecentList() {
    {
      QSettings settings;
      settings.remove(QStringLiteral("Recent File List"));
    }
    testing::ProjectBuilder b;
    b.AddTimeline(u"t");
    const std::string bytes = testing::MakeTempDir() + "caf\xE9.zvmov";  // Latin-1
    testing::WriteBytes(bytes, b.Build());
    const QString path = PathFromNative(QByteArray::fromStdString(bytes));
    // A file URL carries the bytes percent-encoded (the dialog, a drop).
    const QUrl url =
        QUrl::fromEncoded("file://" + QByteArray::fromStdString(bytes).toPercentEncoding("/"));
    QCOMPARE(PathFromUrl(url), path);
    QCOMPARE(NativeBytes(path), QByteArray::fromStdString(bytes));

    Prepare(MakeProgramDir(SourceShader()));
    CPlayerApp app;
    PlayerOptions options;
    options.file = path;
    QVERIFY(app.InitInstance(options));
    QVERIFY(MessageTexts(messages_).isEmpty());
    QCOMPARE(SceneState.timeLines.size(), size_t{1});
    QCOMPARE(app.mainFrame()->windowTitle(),
             testing::WindowTitle(QStringLiteral("caf\uFFFD.zvmov")));
    QVERIFY(app.mainFrame()->OpenFromFramework(PathFromUrl(url)));
    // The recent list keeps the bytes and shows U+FFFD for them.
    RecentFileList list;
    list.Load();
    QCOMPARE(list.entries(), QStringList{path});
    QVERIFY(list.MenuText(0).endsWith(QStringLiteral("caf\uFFFD.zvmov")));
    QVERIFY(app.mainFrame()->OpenFromFramework(list.entries()[0]));
    app.ExitInstance(0);
  }

  void openGlShaderProgramFailures() {
    gl::OpenGLDevice device;
    std::string error;
    QVERIFY2(device.Initialize(QtGlContext::Create(&error), &error), error.c_str());
    QVERIFY(device.majorVersion() > 3 || device.minorVersion() >= 3);
    const QString shader = SourceShader();
    QVERIFY(!shader.isEmpty());

    struct Case {
      const char* name;
      QString text;
      const char16_t* message;
      bool vs, layout, ps, psTex, ok;
    };
    QString noTextured = shader;
    noTextured.replace(QStringLiteral("PS_TEX"), QStringLiteral("PS_TEXTURED"));
    QString brokenPixel = shader;
    brokenPixel.replace(QStringLiteral("fragColor = vec4(Lighting(materialColor.rgb), "
                                       "materialColor.a);"),
                        QStringLiteral("fragColor = undefinedThing;"));
    QString noWeight = shader;
    noWeight.replace(QStringLiteral("in float WEIGHT;"), QStringLiteral("float WEIGHT = 1.0;"));
    const Case cases[] = {
        {"complete", shader, nullptr, true, true, true, true, true},
        {"no PS_TEX", noTextured, u"hlsl読み込み失敗", true, true, true, false, false},
        {"PS does not compile", brokenPixel, u"hlsl読み込み失敗", true, true, false, false, false},
        {"VS lacks an input", noWeight, nullptr, true, false, false, false, false},
    };
    for (const Case& c : cases) {
      Prepare(MakeProgramDir(c.text));
      RecordingPlatformServices recorder(messages_);
      SetPlatform(&recorder);
      CCoreMotion3D scene;
      const int32_t hr = CreateRenderer(scene, &device, nullptr);
      QVERIFY2(gfx::Failed(hr) != c.ok, c.name);
      const QStringList texts = MessageTexts(messages_);
      if (c.message) {
        QCOMPARE(texts, QStringList{ToQString(c.message)});
      } else {
        QVERIFY2(texts.isEmpty(), c.name);
      }
      QCOMPARE(scene.render.vertexShader != gfx::kNone, c.vs);
      QCOMPARE(scene.render.inputLayout != gfx::kNone, c.layout);
      QCOMPARE(scene.render.pixelShader != gfx::kNone, c.ps);
      QCOMPARE(scene.render.texturedPixelShader != gfx::kNone, c.psTex);
      DestroyRenderer(scene);
      SetPlatform(nullptr);
      QCOMPARE(device.liveObjectCount(), size_t{0});
    }
  }

  void openGlTexturesAndBuffers() {
    gl::OpenGLDevice device;
    std::string error;
    QVERIFY2(device.Initialize(QtGlContext::Create(&error), &error), error.c_str());
    gfx::Handle t = gfx::kNone;
    QCOMPARE(device.CreateTexture2D({0, 4, gfx::TextureFormat::RGBA8}, &t), gfx::kInvalidArg);
    QCOMPARE(device.CreateTexture2D({gfx::kMaxTextureSize + 1, 4}, &t), gfx::kInvalidArg);
    QCOMPARE(t, gfx::kNone);
    QCOMPARE(device.CreateTexture2D({2, 2, gfx::TextureFormat::RGBA8}, &t), gfx::kOk);
    gfx::MappedTexture mapped;
    QCOMPARE(device.MapTexture(t, &mapped), gfx::kOk);
    QVERIFY(mapped.rowPitch >= 8);
    device.UnmapTexture(t);
    gfx::Handle view = gfx::kNone;
    QCOMPARE(device.CreateShaderResourceView(t, &view), gfx::kOk);
    device.Release(t);  // the view keeps the texture
    QCOMPARE(device.liveObjectCount(), size_t{2});
    device.Release(view);
    QCOMPARE(device.liveObjectCount(), size_t{0});

    gfx::Handle vb = gfx::kNone;
    QCOMPARE(device.CreateVertexBuffer(nullptr, 0, &vb), gfx::kInvalidArg);
    const float data[11] = {};
    QCOMPARE(device.CreateVertexBuffer(data, sizeof data, &vb), gfx::kOk);
    gfx::Handle cb = gfx::kNone;
    QCOMPARE(device.CreateConstantBuffer(2560, &cb), gfx::kOk);
    std::vector<uint8_t> bytes(2560);
    QCOMPARE(device.UpdateConstantBuffer(cb, bytes.data(), 2560), gfx::kOk);
    QCOMPARE(device.UpdateConstantBuffer(cb, bytes.data(), 4096), gfx::kInvalidArg);
    device.Release(vb);
    device.Release(cb);
    QCOMPARE(device.liveObjectCount(), size_t{0});
  }

  // The program as a process: a failed command-line project ends it with a
  // non-zero status; the demo project renders into a screenshot.
  void processExitCodesAndScreenshot() {
    const QString events =
        QString::fromStdString(testing::MakeTempDir()) + QStringLiteral("events.jsonl");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOLVANI_RECORD_MESSAGES"), events);

    QProcess failing;
    failing.setProcessEnvironment(env);
    failing.start(QStringLiteral(TOLVANI_PLAYER),
                  {QString::fromStdString(testing::MakeTempDir()) + QStringLiteral("no.zvmov")});
    QVERIFY(failing.waitForFinished(60000));
    QVERIFY(failing.exitCode() != 0);
    QCOMPARE(MessageTexts(events).size(), 1);

    QFile::remove(events);
    const QString png = QString::fromStdString(testing::MakeTempDir()) + QStringLiteral("s.png");
    QProcess demo;
    demo.setProcessEnvironment(env);
    demo.start(QStringLiteral(TOLVANI_PLAYER), {QStringLiteral("--screenshot"), png,
                                                QStringLiteral("--ticks"), QStringLiteral("3")});
    QVERIFY(demo.waitForFinished(60000));
    QCOMPARE(demo.exitCode(), 0);
    QVERIFY(MessageTexts(events).isEmpty());
    QImage image(png);
    QVERIFY(!image.isNull());
    // The demo draws its floor, cube and balloon over the background.
    int background = 0;
    for (int y = 0; y < image.height(); y += 8) {
      for (int x = 0; x < image.width(); x += 8) {
        if (NearColour(image.pixel(x, y), 30, 65, 90)) ++background;
      }
    }
    const int samples = ((image.height() + 7) / 8) * ((image.width() + 7) / 8);
    QVERIFY2(background < samples * 3 / 4, qPrintable(QString::number(background)));
  }
};

int main(int argc, char** argv) {
  return tolvani::testing::RunWindowTest<PlayerWindowTest>(argc, argv);
}

#include "player_window_test.moc"
