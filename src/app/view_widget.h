// The window's view: a QOpenGLWidget that owns the GL context of the window,
// translates Qt events into CPlayerView's handlers and runs the view's
// 30 ms tick on a precise QTimer on the GUI thread.
#pragma once

#include <QOpenGLWidget>
#include <QTimer>

#include "playback/player_view.h"

namespace tolvani {
namespace gl {
class OpenGLDevice;
}

class CPlayerViewWidget : public QOpenGLWidget, public IViewHost {
  Q_OBJECT
 public:
  CPlayerViewWidget(CPlayerView& view, gl::OpenGLDevice& device, QWidget* parent = nullptr);

  uint64_t tickCount() const { return ticks_; }
  // Frames the widget had drawn (each one DrawFrame), and of them those
  // that reached the window: a tick whose frame equals the one on screen
  // draws it without presenting it.
  uint64_t frameCount() const { return frames_; }
  uint64_t presentedFrameCount() const { return presented_; }
  void StopTimer() { timer_.stop(); }
  // Lets go of every held movement key and mouse button, as the matching
  // release events would: run when the view loses the focus or the window
  // is deactivated (a menu, a dialog, another window), so nothing stays
  // held without the user holding it.
  void ReleaseHeldInput();
  // While a project loads the scene is half built: ticks and paints leave
  // it alone (the window keeps showing the last frame).
  void SetLoading(bool loading) { loading_ = loading; }
  // Paused: no tick runs and the view takes no clicks, wheel or keys (held
  // input is let go); resuming restarts the tick where it stood.
  void SetPaused(bool paused);
  bool paused() const { return paused_; }
  bool ticking() const { return timer_.isActive(); }
  // Whether a click at the pointer would move the story on, as asked after
  // the last tick; the pointer is a pointing hand meanwhile.
  bool clickCue() const { return cue_; }

  // IViewHost
  void StartTimer(int periodMs) override;
  // Within a tick the frame is drawn at the tick's end; otherwise a repaint.
  void Invalidate() override;
  void SetCapture() override {}  // Qt grabs the mouse while a button is held
  void ReleaseCapture() override {}

 signals:
  void ticked(quint64 count);
  void frameDrawn(quint64 count);
  void cueChanged(bool cue);

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void Tick();
  // Asks the view once whether a click at the pointer would count and sets
  // the pointer's shape; nothing is asked while the pointer is outside.
  void UpdateCue();
  void SetCue(bool cue);
  QPoint DevicePoint(const QPointF& p) const;

  CPlayerView& view_;
  gl::OpenGLDevice& device_;
  QTimer timer_;
  uint64_t ticks_ = 0;
  uint64_t frames_ = 0;
  uint64_t presented_ = 0;
  bool loading_ = false;
  bool paused_ = false;
  bool cue_ = false;
  int timerPeriodMs_ = 0;
  bool inTick_ = false;
  bool frameWanted_ = false;  // the tick asked for its frame
  // A tick drew into the framebuffer and asked for the repaint that
  // composes it: that repaint draws nothing.
  bool tickDrew_ = false;
};

// Virtual-key code of a Qt key, 0 for keys without one.
uint32_t VirtualKeyOf(int qtKey);

}  // namespace tolvani
