// The WebGL2 device under the contract suite: the OpenGL device on a WebGL2
// context of the page's canvas "#canvas", drawing into a framebuffer of its
// own that the suite reads back. Outside a browser it reports itself
// unavailable, and in the browser so does desktop OpenGL.
#include "contract/device_contract.h"
#include "contract/gl_device_under_test.h"

#ifdef __EMSCRIPTEN__

#include <emscripten.h>

#include <cstring>
#include <vector>

#include "render/gl/gl_api.h"
#include "render/gl/opengl_device.h"
#include "render/gl/webgl_context.h"

namespace tolvani::contract {
namespace {

// (JavaScript in EM_ASM uses == and !=: clang-format splits === and !==.)
bool InBrowser() {
  return EM_ASM_INT(
      { return typeof document != 'undefined' && !!document.getElementById('canvas'); });
}

// Colour and depth renderbuffers, read back top row first.
class Framebuffer {
 public:
  ~Framebuffer() { Release(); }
  void Resize(int width, int height) {
    if (width == width_ && height == height_) return;
    Release();
    width_ = width;
    height_ = height;
    glGenFramebuffers(1, &fbo_);
    glGenRenderbuffers(2, buffers_);
    glBindRenderbuffer(GL_RENDERBUFFER, buffers_[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, buffers_[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers_[0]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, buffers_[1]);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }
  void Release() {
    if (fbo_ == 0) return;
    glDeleteFramebuffers(1, &fbo_);
    glDeleteRenderbuffers(2, buffers_);
    fbo_ = 0;
    width_ = height_ = 0;
  }
  void ReadRgba(std::vector<uint8_t>& out) {
    const size_t row = static_cast<size_t>(width_) * 4;
    std::vector<uint8_t> bottomUp(row * static_cast<size_t>(height_));
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    out.resize(bottomUp.size());
    for (int y = 0; y < height_; ++y) {
      std::memcpy(out.data() + row * static_cast<size_t>(y),
                  bottomUp.data() + row * static_cast<size_t>(height_ - 1 - y), row);
    }
  }
  unsigned name() const { return fbo_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  unsigned fbo_ = 0, buffers_[2] = {};
  int width_ = 0, height_ = 0;
};

class WebGL2UnderTest final : public GlDeviceUnderTest<Framebuffer> {
 public:
  bool Initialize(std::string* whyNot) {
    auto context = gl::WebGlContext::Create("#canvas", {}, whyNot);
    return context != nullptr && device_.Initialize(std::move(context), whyNot);
  }
  void BeginFrame(uint32_t width, uint32_t height) override {
    frame_.Resize(static_cast<int>(width), static_cast<int>(height));
    device_.BeginFrame(frame_.name(), frame_.width(), frame_.height());
  }
};

}  // namespace

std::unique_ptr<DeviceUnderTest> WebGL2DeviceFactory::Make(std::string* whyNot) {
  if (!InBrowser()) {
    if (whyNot) *whyNot = "needs a web page with a canvas (run by the browser tests)";
    return nullptr;
  }
  auto result = std::make_unique<WebGL2UnderTest>();
  if (!result->Initialize(whyNot)) return nullptr;
  return result;
}

std::unique_ptr<DeviceUnderTest> OpenGLDeviceFactory::Make(std::string* whyNot) {
  if (whyNot) *whyNot = "desktop OpenGL is not in a browser";
  return nullptr;
}

}  // namespace tolvani::contract

#else  // !__EMSCRIPTEN__

namespace tolvani::contract {

std::unique_ptr<DeviceUnderTest> WebGL2DeviceFactory::Make(std::string* whyNot) {
  if (whyNot) *whyNot = "WebGL2 runs in the WebAssembly build in a browser only";
  return nullptr;
}

}  // namespace tolvani::contract

#endif  // __EMSCRIPTEN__
