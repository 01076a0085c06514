// The device contract suite: one list of tests run over every graphics
// device (tests/contract/device_contract_test.cpp).
//
// A device joins with a factory type (a Make function and a name, below)
// defined in a file of its own and one more entry in ContractDevices. A
// factory that cannot make its device here (no OpenGL context, no browser)
// says why, and its tests are skipped with that reason.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/graphics_device.h"

namespace tolvani {

class NullGraphicsDevice;

namespace contract {

// A device under test and what the suite can observe of it.
class DeviceUnderTest {
 public:
  virtual ~DeviceUnderTest() = default;
  virtual gfx::IGraphicsDevice& device() = 0;
  // Brackets the clears and draws of one frame of width x height pixels
  // (devices that draw only inside their own frame bracket).
  virtual void BeginFrame(uint32_t width, uint32_t height) = 0;
  virtual void EndFrame() = 0;
  // The records of a device that keeps them, nullptr otherwise.
  virtual const NullGraphicsDevice* records() const { return nullptr; }
  // RGBA of pixel (x, y), row 0 the top row, of the frame ended last, for a
  // device that draws pixels; nothing otherwise.
  virtual std::optional<std::array<uint8_t, 4>> Pixel(uint32_t /*x*/, uint32_t /*y*/) {
    return std::nullopt;
  }
};

struct NullDeviceFactory {
  static constexpr const char* kName = "Null";
  static std::unique_ptr<DeviceUnderTest> Make(std::string* whyNot);
};

// OpenGL 3.3 core on EGL's surfaceless platform (no display needed).
struct OpenGLDeviceFactory {
  static constexpr const char* kName = "OpenGL";
  static std::unique_ptr<DeviceUnderTest> Make(std::string* whyNot);
};

// The same OpenGL device on WebGL2 in a web page (the WebAssembly build
// run in a browser); unavailable anywhere else.
struct WebGL2DeviceFactory {
  static constexpr const char* kName = "WebGL2";
  static std::unique_ptr<DeviceUnderTest> Make(std::string* whyNot);
};

}  // namespace contract
}  // namespace tolvani
