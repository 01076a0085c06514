#include "contract/device_contract.h"
#include "render/null_device.h"

namespace tolvani::contract {
namespace {

class NullUnderTest final : public DeviceUnderTest {
 public:
  gfx::IGraphicsDevice& device() override { return device_; }
  void BeginFrame(uint32_t, uint32_t) override {}
  void EndFrame() override {}
  const NullGraphicsDevice* records() const override { return &device_; }

 private:
  NullGraphicsDevice device_;
};

}  // namespace

std::unique_ptr<DeviceUnderTest> NullDeviceFactory::Make(std::string*) {
  return std::make_unique<NullUnderTest>();
}

}  // namespace tolvani::contract
