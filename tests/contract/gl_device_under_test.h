// The OpenGL device as a device under test, drawing into an offscreen
// framebuffer of type Frame (whatever the platform offers: EGL's or
// WebGL2's) that the frame is read back from, top row first in RGBA.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "contract/device_contract.h"
#include "render/gl/opengl_device.h"

namespace tolvani::contract {

template <class Frame>
class GlDeviceUnderTest : public DeviceUnderTest {
 public:
  gfx::IGraphicsDevice& device() override { return device_; }
  void EndFrame() override {
    device_.EndFrame();
    frame_.ReadRgba(pixels_);
  }
  std::optional<std::array<uint8_t, 4>> Pixel(uint32_t x, uint32_t y) override {
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(frame_.width()) + x) * 4;
    if (x >= static_cast<uint32_t>(frame_.width()) || at + 4 > pixels_.size()) return std::nullopt;
    return std::array<uint8_t, 4>{pixels_[at], pixels_[at + 1], pixels_[at + 2], pixels_[at + 3]};
  }

 protected:
  // Declared first, destroyed last: the framebuffer goes while the
  // device's context is still current.
  gl::OpenGLDevice device_;
  Frame frame_;
  std::vector<uint8_t> pixels_;
};

}  // namespace tolvani::contract
