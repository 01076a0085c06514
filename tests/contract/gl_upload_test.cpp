// BGRA data handed to a context that takes RGBA only (WebGL2).
#include <gtest/gtest.h>

#include <vector>

#include "render/gl/opengl_device.h"

namespace tolvani::gl {
namespace {

TEST(BgraToRgba, SwizzlesEveryPixelAndSkipsRowPadding) {
  struct Case {
    uint32_t width, height, rowPitch;
  };
  for (const Case& c : {Case{1, 1, 4}, Case{3, 2, 12}, Case{2, 3, 16}, Case{5, 1, 64}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " pitch " << c.rowPitch);
    // Pixel (x, y) is B = x, G = y, R = 100 + x, A = 200 + y; padding 0xEE.
    std::vector<uint8_t> bgra(static_cast<size_t>(c.rowPitch) * c.height, 0xEE);
    for (uint32_t y = 0; y < c.height; ++y) {
      for (uint32_t x = 0; x < c.width; ++x) {
        uint8_t* p = bgra.data() + y * c.rowPitch + x * 4;
        p[0] = static_cast<uint8_t>(x);
        p[1] = static_cast<uint8_t>(y);
        p[2] = static_cast<uint8_t>(100 + x);
        p[3] = static_cast<uint8_t>(200 + y);
      }
    }
    const std::vector<uint8_t> rgba = BgraToRgba(bgra.data(), c.width, c.height, c.rowPitch);
    ASSERT_EQ(rgba.size(), static_cast<size_t>(c.width) * c.height * 4);
    for (uint32_t y = 0; y < c.height; ++y) {
      for (uint32_t x = 0; x < c.width; ++x) {
        const uint8_t* p = rgba.data() + (y * c.width + x) * 4;
        EXPECT_EQ(p[0], 100 + x);
        EXPECT_EQ(p[1], y);
        EXPECT_EQ(p[2], x);
        EXPECT_EQ(p[3], 200 + y);
      }
    }
  }
}

}  // namespace
}  // namespace tolvani::gl
