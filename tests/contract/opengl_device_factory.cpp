#include <vector>

#include "contract/device_contract.h"
#include "contract/gl_device_under_test.h"
#include "render/gl/opengl_device.h"
#include "render_tool/egl_offscreen.h"

namespace tolvani::contract {
namespace {

class OpenGLUnderTest final : public GlDeviceUnderTest<render_tool::OffscreenFramebuffer> {
 public:
  bool Initialize(std::string* whyNot) {
    auto context = render_tool::EglSurfacelessContext::Create(whyNot);
    return context != nullptr && device_.Initialize(std::move(context), whyNot);
  }
  void BeginFrame(uint32_t width, uint32_t height) override {
    std::string error;
    if (frame_.width() != static_cast<int>(width) || frame_.height() != static_cast<int>(height)) {
      frame_.Release();
      frame_.Create(static_cast<int>(width), static_cast<int>(height), &error);
    }
    device_.BeginFrame(frame_.name(), frame_.width(), frame_.height());
  }
};

}  // namespace

std::unique_ptr<DeviceUnderTest> OpenGLDeviceFactory::Make(std::string* whyNot) {
  auto result = std::make_unique<OpenGLUnderTest>();
  if (!result->Initialize(whyNot)) return nullptr;
  return result;
}

}  // namespace tolvani::contract
