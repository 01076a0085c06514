#include "app/qt_gl_context.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

namespace tolvani {

std::unique_ptr<QtGlContext> QtGlContext::Create(std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return nullptr;
  };
  QOpenGLContext* share = QOpenGLContext::globalShareContext();
  if (share == nullptr) return fail("no global share context (Qt::AA_ShareOpenGLContexts)");
  std::unique_ptr<QtGlContext> result(new QtGlContext);
  result->context_ = new QOpenGLContext;
  result->context_->setShareContext(share);
  result->context_->setFormat(QSurfaceFormat::defaultFormat());
  if (!result->context_->create()) return fail("cannot create an OpenGL context");
  result->surface_ = new QOffscreenSurface;
  result->surface_->setFormat(result->context_->format());
  result->surface_->create();
  if (!result->context_->makeCurrent(result->surface_)) {
    return fail("cannot make the OpenGL context current");
  }
  return result;
}

QtGlContext::~QtGlContext() {
  StopWatching();
  if (context_) context_->doneCurrent();
  delete context_;
  delete surface_;
}

bool QtGlContext::MakeCurrent() {
  if (context_ == nullptr) return false;
  QOpenGLContext* current = QOpenGLContext::currentContext();
  if (current != nullptr && QOpenGLContext::areSharing(current, context_)) return true;
  return context_->makeCurrent(surface_);
}

const void* QtGlContext::CurrentKey() const {
  return QOpenGLContext::currentContext();
}

void QtGlContext::WatchDestruction(const void* key, std::function<void()> forget) {
  QOpenGLContext* current = QOpenGLContext::currentContext();
  if (current == nullptr || current != key || watches_.count(key)) return;
  watches_[key] = QObject::connect(current, &QOpenGLContext::aboutToBeDestroyed, current,
                                   [this, key, forget = std::move(forget)] {
                                     watches_.erase(key);
                                     forget();
                                   });
}

void QtGlContext::StopWatching() {
  for (auto& [key, connection] : watches_) QObject::disconnect(connection);
  watches_.clear();
}

}  // namespace tolvani
