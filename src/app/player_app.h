// CPlayerApp: start-up and shutdown of the player.
//
// Start-up order: platform services and Qt's Japanese translations;
// settings and the recent-file list;
// document, main window and view; the view's creation (OpenGL device,
// renderer, shader program, sound container, 30 ms timer); the start-up
// project (or the file named on the command line); the view's initial
// update; the audio library is pinned; then the window is shown and accepts
// dropped files.
// Shutdown: the view is destroyed (renderer, sound container, scene root),
// then the audio library pin, the device, the window and the platform
// services go.
#pragma once

#include <QLocale>
#include <QString>
#include <QTranslator>

#include <memory>

#include "app/recent_files.h"
#include "audio/openal/library_pin.h"
#include "base/platform_services.h"
#include "document/document.h"
#include "playback/player_view.h"

namespace tolvani {

namespace gl {
class OpenGLDevice;
}
class QtTextRasterizer;
class BusyFeedback;
class CMainFrame;
class CPlayerViewWidget;

struct PlayerOptions {
  QString file;        // project to open instead of Main.zvmov
  QString screenshot;  // --screenshot PNG
  int ticks = 0;       // --ticks N
};

class CPlayerApp {
 public:
  CPlayerApp();
  ~CPlayerApp();

  // False ends the program (the reason has been shown or logged).
  bool InitInstance(const PlayerOptions& options);
  // Returns the exit code to use given the event loop's.
  int ExitInstance(int loopResult);

  CMainFrame* mainFrame() const { return frame_.get(); }
  CPlayerViewWidget* viewWidget() const { return widget_; }
  CPlayerDoc& document() { return document_; }
  CPlayerView& view() { return view_; }
  BusyFeedback* busyFeedback() const { return busy_.get(); }

 private:
  void ArmScreenshot(const PlayerOptions& options);

  std::unique_ptr<IPlatformServices> platform_;
  // Qt's own Japanese texts (dialog buttons, the Open dialog).
  std::unique_ptr<QTranslator> qtTranslator_;
  std::unique_ptr<QLocale> previousLocale_;  // restored at exit
  RecentFileList recent_;
  CPlayerDoc document_;
  CPlayerView view_;
  std::unique_ptr<gl::OpenGLDevice> device_;
  std::unique_ptr<QtTextRasterizer> textRasterizer_;
  std::unique_ptr<CMainFrame> frame_;
  CPlayerViewWidget* widget_ = nullptr;  // owned by frame_
  std::unique_ptr<BusyFeedback> busy_;
  bool viewCreated_ = false;
  // Extra load of the audio library, from start-up to exit.
  std::unique_ptr<Xaudio2DllUnloadWorkaround_LoadLibraryVersion> audioLibraryPin_;
  int exitCode_ = 0;
};

}  // namespace tolvani
