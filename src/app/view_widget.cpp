#include "app/view_widget.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

#include "render/gl/opengl_device.h"

namespace tolvani {

uint32_t VirtualKeyOf(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Left:
      return vk::kLeft;
    case Qt::Key_Up:
      return vk::kUp;
    case Qt::Key_Right:
      return vk::kRight;
    case Qt::Key_Down:
      return vk::kDown;
    case Qt::Key_Space:
      return vk::kSpace;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return vk::kReturn;
    case Qt::Key_PageDown:
      return vk::kPageDown;
    default:
      break;
  }
  // Letters and digits share their codes with the virtual keys.
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
    return static_cast<uint32_t>(qtKey);
  }
  return 0;
}

CPlayerViewWidget::CPlayerViewWidget(CPlayerView& view, gl::OpenGLDevice& device, QWidget* parent)
    : QOpenGLWidget(parent), view_(view), device_(device) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setMinimumSize(1, 1);
  // The framebuffer keeps its image between repaints, so a tick whose
  // frame equals the one on screen need neither draw nor repaint.
  setUpdateBehavior(QOpenGLWidget::PartialUpdate);
  device_.SetSkipUnchangedFrames(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &CPlayerViewWidget::Tick);
}

void CPlayerViewWidget::StartTimer(int periodMs) {
  timerPeriodMs_ = periodMs;
  if (!paused_) timer_.start(periodMs);
}

void CPlayerViewWidget::SetPaused(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  if (paused) {
    timer_.stop();
    ReleaseHeldInput();
  } else if (timerPeriodMs_ > 0) {
    timer_.start(timerPeriodMs_);
  }
  UpdateCue();
}

void CPlayerViewWidget::UpdateCue() {
  SetCue(!paused_ && !loading_ && underMouse() &&
         view_.ClickWouldAdvance(view_.lastMouseX, view_.lastMouseY));
}

void CPlayerViewWidget::SetCue(bool cue) {
  if (cue == cue_) return;
  cue_ = cue;
  if (cue) {
    setCursor(Qt::PointingHandCursor);
  } else {
    unsetCursor();
  }
  emit cueChanged(cue);
}

void CPlayerViewWidget::Invalidate() {
  if (inTick_) {
    frameWanted_ = true;
  } else {
    tickDrew_ = false;
    update();
  }
}

void CPlayerViewWidget::initializeGL() {
  tickDrew_ = false;
  device_.ForgetLastFrame();
}

void CPlayerViewWidget::resizeGL(int w, int h) {
  // A new framebuffer: the next frame is drawn in full.
  tickDrew_ = false;
  device_.ForgetLastFrame();
  const qreal dpr = devicePixelRatioF();
  view_.OnSize(static_cast<int>(std::lround(w * dpr)), static_cast<int>(std::lround(h * dpr)));
}

void CPlayerViewWidget::paintGL() {
  if (loading_) return;
  if (tickDrew_) {
    // The tick drew into this framebuffer already; composing shows it.
    tickDrew_ = false;
    return;
  }
  // Exposed, resized or asked for outside a tick: what the framebuffer holds
  // is not known, so the frame reaches it whatever it holds.
  device_.ForgetLastFrame();
  const uint64_t issued = device_.issueCount();
  const qreal dpr = devicePixelRatioF();
  device_.BeginFrame(defaultFramebufferObject(), static_cast<int>(std::lround(width() * dpr)),
                     static_cast<int>(std::lround(height() * dpr)));
  view_.OnDraw();
  device_.EndFrame();
  ++frames_;
  if (device_.issueCount() != issued) ++presented_;
  emit frameDrawn(frames_);
}

void CPlayerViewWidget::Tick() {
  if (loading_) return;
  // The tick's frame is drawn here, straight after the tick, into the
  // window's framebuffer when the widget is ready (a tick may also draw a
  // frame itself: Explore mode). The window is repainted only when the
  // framebuffer changed.
  const bool ready = isValid();
  uint64_t issued = 0;
  if (ready) {
    makeCurrent();
    issued = device_.issueCount();
    const qreal dpr = devicePixelRatioF();
    device_.BeginFrame(defaultFramebufferObject(), static_cast<int>(std::lround(width() * dpr)),
                       static_cast<int>(std::lround(height() * dpr)));
  }
  inTick_ = true;
  frameWanted_ = false;
  view_.OnTimer();
  inTick_ = false;
  if (ready) {
    if (frameWanted_) {
      view_.OnDraw();
      ++frames_;
    }
    device_.EndFrame();
    doneCurrent();
    if (device_.issueCount() != issued) {
      // The repaint this asks for only composes what was drawn.
      tickDrew_ = true;
      if (frameWanted_) ++presented_;
      update();
    }
  } else if (frameWanted_) {
    update();
  }
  ++ticks_;
  UpdateCue();
  emit ticked(ticks_);
  if (ready && frameWanted_) emit frameDrawn(frames_);
}

QPoint CPlayerViewWidget::DevicePoint(const QPointF& p) const {
  const qreal dpr = devicePixelRatioF();
  return QPoint(static_cast<int>(std::floor(p.x() * dpr)),
                static_cast<int>(std::floor(p.y() * dpr)));
}

void CPlayerViewWidget::mousePressEvent(QMouseEvent* event) {
  if (paused_) return;
  const QPoint p = DevicePoint(event->position());
  if (event->button() == Qt::LeftButton) {
    SetCue(false);  // the next tick asks again
    view_.OnLButtonDown(p.x(), p.y());
  } else if (event->button() == Qt::RightButton) {
    view_.OnRButtonDown(p.x(), p.y());
  }
}

void CPlayerViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = DevicePoint(event->position());
  if (event->button() == Qt::LeftButton) {
    view_.OnLButtonUp(p.x(), p.y());
  } else if (event->button() == Qt::RightButton) {
    view_.OnRButtonUp(p.x(), p.y());
  }
}

void CPlayerViewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click arrives here instead of as a press;
  // a right double click is not handled at all.
  if (paused_) return;
  const QPoint p = DevicePoint(event->position());
  if (event->button() == Qt::LeftButton) view_.OnLButtonDblClk(p.x(), p.y());
}

void CPlayerViewWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = DevicePoint(event->position());
  // A button the view saw pressed but that is no longer down was released
  // where the view could not see it (the grab was lost): the drag ends.
  if (view_.leftButtonHeld && !(event->buttons() & Qt::LeftButton)) {
    view_.OnLButtonUp(p.x(), p.y());
  }
  if (view_.rightButtonHeld && !(event->buttons() & Qt::RightButton)) {
    view_.OnRButtonUp(p.x(), p.y());
  }
  view_.OnMouseMove(p.x(), p.y());
}

void CPlayerViewWidget::wheelEvent(QWheelEvent* event) {
  event->accept();
  if (paused_) return;
  const QPoint p = DevicePoint(event->position());
  const int delta = event->angleDelta().y();
  if (delta != 0) view_.OnMouseWheel(delta, p.x(), p.y());
}

void CPlayerViewWidget::keyPressEvent(QKeyEvent* event) {
  const uint32_t key = VirtualKeyOf(event->key());
  // A held story key moves the story on once, not at the repeat rate;
  // held movement keys simply stay held.
  if (paused_) {
    QOpenGLWidget::keyPressEvent(event);
    return;
  }
  const bool repeatedStoryKey = event->isAutoRepeat() && view_.IsStoryKey(key);
  if (key != 0 && !repeatedStoryKey) {
    // The story may move on: the cue waits for the next tick's answer.
    if (view_.IsStoryKey(key)) SetCue(false);
    view_.OnKeyDown(key);
  }
  QOpenGLWidget::keyPressEvent(event);
}

void CPlayerViewWidget::keyReleaseEvent(QKeyEvent* event) {
  // Auto-repeat sends release/press pairs; only the real release counts.
  if (event->isAutoRepeat()) return;
  const uint32_t key = VirtualKeyOf(event->key());
  if (key != 0) view_.OnKeyUp(key);
  QOpenGLWidget::keyReleaseEvent(event);
}

void CPlayerViewWidget::ReleaseHeldInput() {
  // One key per row of the key table: a release clears the row's flag.
  for (uint32_t key : {vk::kLeft, vk::kRight, vk::kUp, vk::kDown}) view_.OnKeyUp(key);
  if (view_.leftButtonHeld) view_.OnLButtonUp(view_.lastMouseX, view_.lastMouseY);
  if (view_.rightButtonHeld) view_.OnRButtonUp(view_.lastMouseX, view_.lastMouseY);
}

void CPlayerViewWidget::focusOutEvent(QFocusEvent* event) {
  ReleaseHeldInput();
  QOpenGLWidget::focusOutEvent(event);
}

bool CPlayerViewWidget::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
      ReleaseHeldInput();
      break;
    default:
      break;
  }
  return QOpenGLWidget::event(event);
}

}  // namespace tolvani
