// The OpenGL device's contexts in the player: a context of the device's own
// in Qt's global share group (Qt::AA_ShareOpenGLContexts must be set before
// the QApplication exists), current on an offscreen surface for work
// outside painting, and whatever sharing context Qt has current while the
// window paints.
#pragma once

#include <QMetaObject>

#include <memory>
#include <string>
#include <unordered_map>

#include "render/gl/gl_context.h"

class QOpenGLContext;
class QOffscreenSurface;

namespace tolvani {

class QtGlContext final : public gl::IGlContext {
 public:
  // Creates the context and its offscreen surface with the default surface
  // format. Needs a QGuiApplication. nullptr (with a reason in *error) when
  // either cannot be made.
  static std::unique_ptr<QtGlContext> Create(std::string* error);
  ~QtGlContext() override;

  bool MakeCurrent() override;
  const void* CurrentKey() const override;
  const void* OwnKey() const override { return context_; }
  void WatchDestruction(const void* key, std::function<void()> forget) override;
  void StopWatching() override;

 private:
  QtGlContext() = default;
  QOpenGLContext* context_ = nullptr;
  QOffscreenSurface* surface_ = nullptr;
  std::unordered_map<const void*, QMetaObject::Connection> watches_;
};

}  // namespace tolvani
