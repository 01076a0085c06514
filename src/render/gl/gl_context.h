// The OpenGL contexts the device works in, seen from the device.
//
// The device calls OpenGL through libepoxy, which resolves functions on
// whatever context is current (GLX or EGL), so the device itself knows no
// windowing system. Whoever owns the contexts implements this interface:
// the player on Qt (its own context in Qt's global share group plus the
// window's), the render companion on an EGL surfaceless context.
#pragma once

#include <functional>

namespace tolvani::gl {

class IGlContext {
 public:
  virtual ~IGlContext() = default;
  // Makes the device's own context current, unless a context that shares
  // its objects already is. False when no usable context can be made
  // current.
  virtual bool MakeCurrent() = 0;
  // Opaque identity of the current context, nullptr when none. Vertex array
  // objects are not shared between contexts: the device keeps one per key.
  virtual const void* CurrentKey() const = 0;
  // The identity of the device's own context.
  virtual const void* OwnKey() const = 0;
  // Calls forget() just before the context `key` (not the own one) is
  // destroyed. Watches end with StopWatching or the object's destruction.
  virtual void WatchDestruction(const void* key, std::function<void()> forget) = 0;
  virtual void StopWatching() = 0;
};

}  // namespace tolvani::gl
