// Drawing without a display: an OpenGL 3.3 core context on EGL's Mesa
// surfaceless platform (no X, no Wayland; DISPLAY and WAYLAND_DISPLAY are
// never read) and a framebuffer object to draw into and read back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/gl/gl_context.h"

namespace tolvani::render_tool {

class EglSurfacelessContext final : public gl::IGlContext {
 public:
  // nullptr (with a reason in *error) when EGL has no surfaceless platform
  // or no OpenGL 3.3 core context can be made current.
  static std::unique_ptr<EglSurfacelessContext> Create(std::string* error);
  ~EglSurfacelessContext() override;

  bool MakeCurrent() override;
  const void* CurrentKey() const override;
  const void* OwnKey() const override { return context_; }
  void WatchDestruction(const void*, std::function<void()>) override {}  // one context only
  void StopWatching() override {}

 private:
  EglSurfacelessContext() = default;
  void* display_ = nullptr;  // EGLDisplay
  void* context_ = nullptr;  // EGLContext
};

// A framebuffer object with an RGBA8 colour buffer and a 24-bit depth,
// 8-bit stencil buffer, as the player's window has. Needs a current context
// for every call, the same one throughout.
class OffscreenFramebuffer {
 public:
  OffscreenFramebuffer() = default;
  ~OffscreenFramebuffer();
  OffscreenFramebuffer(const OffscreenFramebuffer&) = delete;
  OffscreenFramebuffer& operator=(const OffscreenFramebuffer&) = delete;

  // width, height in pixels, 1 to the context's maximum renderbuffer size.
  bool Create(int width, int height, std::string* error);
  // Deletes the buffers (also done by the destructor).
  void Release();
  unsigned name() const { return fbo_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // Waits until every drawing command has run.
  void Finish();
  // The colour buffer as width x height RGBA bytes, row 0 the top row (as
  // a window grab gives it), or with bottomUp OpenGL's own order, row 0 the
  // bottom row, which saves a copy.
  void ReadRgba(std::vector<uint8_t>& out, bool bottomUp = false);

 private:
  unsigned fbo_ = 0, color_ = 0, depth_ = 0;
  int width_ = 0, height_ = 0;
  std::vector<uint8_t> bottomUp_;
};

}  // namespace tolvani::render_tool
