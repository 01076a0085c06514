#include <vector>

#include "contract/device_contract.h"
#include "render/gl/opengl_device.h"
#include "render_tool/egl_offscreen.h"

namespace tolvani::contract {
namespace {

class OpenGLUnderTest final : public DeviceUnderTest {
 public:
  bool Initialize(std::string* whyNot) {
    auto context = render_tool::EglSurfacelessContext::Create(whyNot);
    return context != nullptr && device_.Initialize(std::move(context), whyNot);
  }
  gfx::IGraphicsDevice& device() override { return device_; }
  void BeginFrame(uint32_t width, uint32_t height) override {
    std::string error;
    if (frame_.width() != static_cast<int>(width) || frame_.height() != static_cast<int>(height)) {
      frame_.Release();
      frame_.Create(static_cast<int>(width), static_cast<int>(height), &error);
    }
    device_.BeginFrame(frame_.name(), frame_.width(), frame_.height());
  }
  void EndFrame() override {
    device_.EndFrame();
    frame_.ReadRgba(pixels_);
  }
  std::optional<std::array<uint8_t, 4>> Pixel(uint32_t x, uint32_t y) override {
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(frame_.width()) + x) * 4;
    if (x >= static_cast<uint32_t>(frame_.width()) || at + 4 > pixels_.size()) return std::nullopt;
    return std::array<uint8_t, 4>{pixels_[at], pixels_[at + 1], pixels_[at + 2], pixels_[at + 3]};
  }

 private:
  // Declared first, destroyed last: the framebuffer goes while the
  // device's context is still current.
  gl::OpenGLDevice device_;
  render_tool::OffscreenFramebuffer frame_;
  std::vector<uint8_t> pixels_;
};

}  // namespace

std::unique_ptr<DeviceUnderTest> OpenGLDeviceFactory::Make(std::string* whyNot) {
  auto result = std::make_unique<OpenGLUnderTest>();
  if (!result->Initialize(whyNot)) return nullptr;
  return result;
}

}  // namespace tolvani::contract
