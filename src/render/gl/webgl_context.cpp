#ifdef __EMSCRIPTEN__

#include "render/gl/webgl_context.h"

#include <emscripten/html5_webgl.h>

#include <cstdint>

#include "base/platform_services.h"
#include "base/text_conversion.h"

namespace tolvani::gl {

std::unique_ptr<WebGlContext> WebGlContext::Create(const std::string& canvasSelector,
                                                   const Options& options, std::string* error) {
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.majorVersion = 2;
  attributes.minorVersion = 0;
  attributes.alpha = options.alpha;
  attributes.depth = true;
  attributes.stencil = false;
  attributes.antialias = options.antialias;
  attributes.premultipliedAlpha = false;
  attributes.enableExtensionsByDefault = true;
  const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE handle =
      emscripten_webgl_create_context(canvasSelector.c_str(), &attributes);
  if (handle <= 0) {
    if (error) *error = "the browser gives no WebGL2 context on " + canvasSelector;
    return nullptr;
  }
  std::unique_ptr<WebGlContext> context(new WebGlContext(static_cast<int>(handle)));
  if (!context->MakeCurrent()) {
    if (error) *error = "the WebGL2 context on " + canvasSelector + " cannot be made current";
    return nullptr;
  }
  return context;
}

WebGlContext::~WebGlContext() {
  if (handle_ > 0) emscripten_webgl_destroy_context(handle_);
}

bool WebGlContext::lost() const {
  return emscripten_is_webgl_context_lost(handle_);
}

bool WebGlContext::MakeCurrent() {
  if (lost()) {
    if (!lossDiagnosed_) {
      lossDiagnosed_ = true;
      Platform().Diagnostic("render", FromUtf8("the WebGL2 context was lost; nothing is drawn"));
    }
    return false;
  }
  if (emscripten_webgl_get_current_context() == handle_) return true;
  return emscripten_webgl_make_context_current(handle_) == EMSCRIPTEN_RESULT_SUCCESS;
}

const void* WebGlContext::CurrentKey() const {
  return reinterpret_cast<const void*>(
      static_cast<intptr_t>(emscripten_webgl_get_current_context()));
}

const void* WebGlContext::OwnKey() const {
  return reinterpret_cast<const void*>(static_cast<intptr_t>(handle_));
}

}  // namespace tolvani::gl

#endif  // __EMSCRIPTEN__
