// The OpenGL device's context in a web browser: one WebGL2 context on a
// canvas of the page (WebAssembly build only).
//
// A page has one context for the device: it is the device's own and the
// one it draws in, so there is nothing to share and nothing is destroyed
// behind the device's back. The browser may take the context away at any
// time (GPU reset, too many contexts, WEBGL_lose_context): from then on
// MakeCurrent returns false, so every device call fails softly and draws
// are dropped; the loss is diagnosed once.
#pragma once

#ifdef __EMSCRIPTEN__

#include <memory>
#include <string>

#include "render/gl/gl_context.h"

namespace tolvani::gl {

class WebGlContext final : public IGlContext {
 public:
  struct Options {
    bool antialias = false;  // multisampled default framebuffer
    bool alpha = false;      // the page never shows through the picture
  };
  // A WebGL2 context on the canvas matched by the CSS selector
  // canvasSelector ("#canvas"), current on return; nullptr (with a reason
  // in *error) when the browser gives none.
  static std::unique_ptr<WebGlContext> Create(const std::string& canvasSelector,
                                              const Options& options, std::string* error);
  ~WebGlContext() override;

  bool MakeCurrent() override;
  const void* CurrentKey() const override;
  const void* OwnKey() const override;
  // Only the own context exists: nothing else is ever destroyed.
  void WatchDestruction(const void*, std::function<void()>) override {}
  void StopWatching() override {}

  // Whether the browser has taken the context away.
  bool lost() const;

 private:
  explicit WebGlContext(int handle) : handle_(handle) {}
  int handle_ = 0;  // EMSCRIPTEN_WEBGL_CONTEXT_HANDLE
  mutable bool lossDiagnosed_ = false;
};

}  // namespace tolvani::gl

#endif  // __EMSCRIPTEN__
