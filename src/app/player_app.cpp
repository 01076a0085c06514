#include "app/player_app.h"

#include <QApplication>
#include <QImage>
#include <QLibraryInfo>
#include <QTimer>

#include "app/busy_feedback.h"
#include "app/main_frame.h"
#include "app/platform_qt.h"
#include "app/qt_gl_context.h"
#include "app/view_widget.h"
#include "audio/openal/library_pin.h"
#include "audio/openal/openal_sound_backend.h"
#include "model/scene_state.h"
#include "render/gl/opengl_device.h"
#include "render/qt/qt_text_rasterizer.h"

namespace tolvani {

CPlayerApp::CPlayerApp() = default;

CPlayerApp::~CPlayerApp() {
  if (viewCreated_) ExitInstance(0);
}

bool CPlayerApp::InitInstance(const PlayerOptions& options) {
  platform_ = MakePlatformServices();
  SetPlatform(platform_.get());
  // The menus are Japanese; Qt's own buttons and dialogs follow them.
  qtTranslator_ = std::make_unique<QTranslator>();
  if (qtTranslator_->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(qtTranslator_.get());
    // Dates, sizes and file types in Qt's dialogs (the Open dialog's
    // columns) follow the default locale, not only the translations.
    previousLocale_ = std::make_unique<QLocale>();
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  } else {
    Platform().Diagnostic("app", u"Qt's Japanese translations (qtbase_ja) are not installed");
    qtTranslator_.reset();
  }

  QCoreApplication::setOrganizationName(QStringLiteral("Tolvani MFC Application"));
  QCoreApplication::setApplicationName(QStringLiteral("Player"));
  recent_.Load();

  EnsureSceneRoot();
  document_.onPathRecorded = [this](const std::u16string& path) {
    recent_.Add(ToQString(path));
    if (frame_) frame_->RebuildRecentMenu();
  };
  document_.onOpenFailed = [this](const std::u16string& path) {
    recent_.Remove(ToQString(path));
    if (frame_) frame_->RebuildRecentMenu();
  };

  // The view and its window.
  device_ = std::make_unique<gl::OpenGLDevice>();
  std::string error;
  std::unique_ptr<QtGlContext> context = QtGlContext::Create(&error);
  if (context == nullptr || !device_->Initialize(std::move(context), &error)) {
    Platform().ShowMessage(u"OpenGL 3.3 を初期化できませんでした。", MessageIcon::Error);
    return false;
  }
  textRasterizer_ = std::make_unique<QtTextRasterizer>();
  widget_ = new CPlayerViewWidget(view_, *device_);
  frame_ = std::make_unique<CMainFrame>(document_, recent_, widget_);
  SetDialogParent(frame_.get());
  busy_ = std::make_unique<BusyFeedback>(frame_.get());
  document_.onOpenStage = [this](CPlayerDoc::OpenStage stage) {
    widget_->SetLoading(stage != CPlayerDoc::OpenStage::Done);
    busy_->OnStage(stage);
  };
  view_.SetHost(widget_);
  view_.AttachDocument(&document_);
  if (view_.OnCreate(device_.get(), textRasterizer_.get(), std::make_unique<OpenAlSoundBackend>()) <
      0) {
    // The view's window is not created: the program ends.
    view_.AttachDocument(nullptr);
    view_.SetHost(nullptr);
    document_.onOpenStage = nullptr;
    busy_.reset();
    SetDialogParent(nullptr);
    frame_.reset();
    widget_ = nullptr;
    return false;
  }
  viewCreated_ = true;
  frame_->viewMenu()->SetViewWidget(widget_, &view_);
  frame_->viewMenu()->ApplyGain();

  // The start-up project, or the file named on the command line.
  if (!options.file.isEmpty()) {
    if (!document_.OnOpenDocument(FromQString(options.file))) return false;
  } else {
    document_.OnNewDocument();
  }
  view_.OnUpdate(0);  // the framework's initial update

  // Keep the audio library loaded until after the view's sound engine is gone.
  audioLibraryPin_ = std::make_unique<Xaudio2DllUnloadWorkaround_LoadLibraryVersion>();
  if (audioLibraryPin_->FindPathByClsid(
          Xaudio2DllUnloadWorkaround_LoadLibraryVersion::AudioLibrarySymbol())) {
    audioLibraryPin_->LoadByPath();
  } else {
    Platform().Diagnostic(
        "audio",
        u"Could not apply the workaround. \nApplication may crash if CD-RW features are used!\n");
  }

  frame_->RefreshTitle();
  frame_->show();
  widget_->setFocus();
  if (!options.screenshot.isEmpty()) ArmScreenshot(options);
  return true;
}

void CPlayerApp::ArmScreenshot(const PlayerOptions& options) {
  const QString path = options.screenshot;
  const uint64_t target = static_cast<uint64_t>(std::max(options.ticks, 0));
  auto grab = [this, path] {
    widget_->StopTimer();
    const QImage image = widget_->grabFramebuffer();
    const bool saved = !image.isNull() && image.save(path, "PNG");
    if (!saved) Platform().Diagnostic("app", u"cannot save the screenshot");
    exitCode_ = saved ? 0 : 1;
    QCoreApplication::exit(exitCode_);
  };
  if (target == 0) {
    // The next frame after the window is ready.
    auto* poll = new QTimer(frame_.get());
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, frame_.get(), [this, poll, grab] {
      if (!widget_->isValid()) return;
      poll->stop();
      grab();
    });
    poll->start();
    return;
  }
  QObject::connect(widget_, &CPlayerViewWidget::ticked, frame_.get(),
                   [target, grab](quint64 count) {
                     if (count == target) grab();
                   });
}

int CPlayerApp::ExitInstance(int loopResult) {
  if (frame_) frame_->viewMenu()->SetViewWidget(nullptr, nullptr);
  if (viewCreated_) {
    widget_->StopTimer();
    view_.OnDestroy();
    viewCreated_ = false;
  }
  view_.AttachDocument(nullptr);
  view_.SetHost(nullptr);
  audioLibraryPin_.reset();  // after the sound engine went with the view
  if (device_) device_->Shutdown();
  document_.onOpenStage = nullptr;
  busy_.reset();
  SetDialogParent(nullptr);
  frame_.reset();
  widget_ = nullptr;
  device_.reset();
  SetPlatform(nullptr);
  platform_.reset();
  if (qtTranslator_) QCoreApplication::removeTranslator(qtTranslator_.get());
  qtTranslator_.reset();
  if (previousLocale_) QLocale::setDefault(*previousLocale_);
  previousLocale_.reset();
  return loopResult != 0 ? loopResult : exitCode_;
}

}  // namespace tolvani
