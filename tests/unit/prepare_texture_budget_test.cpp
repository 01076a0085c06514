// The per-file texture budget: how many textures one open may create, the
// thumbnailer's cap on their side (images downscaled at upload) and the
// freeing of images once uploaded.
#include <gtest/gtest.h>

#include "prepare/material_texture.h"
#include "render/null_device.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

CMaterial Textured(int width, int height, int channels) {
  CMaterial m;
  m.textureName = u"t.png";
  m.image = PixelMatrix(height, width, channels);
  return m;
}

TEST(TextureBudget, MaterialsPastTheCountAreUntexturedWithTheMessage) {
  testing::RecordingPlatform platform;
  NullGraphicsDevice device;
  TextureLimits limits;
  limits.maxTextures = 2;
  TextureBudget budget(limits);
  std::vector<CMaterial> materials(4, Textured(1, 1, 3));
  materials[3].textureName = u"last.png";
  int built = 0;
  for (CMaterial& m : materials) built += BuildMaterialTexture(m, &device, true, &budget);
  EXPECT_EQ(built, 2);
  EXPECT_EQ(budget.Left(), 0u);
  EXPECT_NE(materials[1].textureView, gfx::kNone);
  EXPECT_EQ(materials[2].textureView, gfx::kNone);
  EXPECT_TRUE(materials[2].textureName.empty());
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[1].text, u"last.pngの読み込みに失敗しました。");
  // No device call was made for them: two textures and two views.
  EXPECT_EQ(device.CallCount(NullGraphicsDevice::Op::CreateTexture2D), 2u);
  EXPECT_EQ(device.LiveObjectCount(), 4u);
  // The images stay (the player's and inspect's limits keep them).
  EXPECT_EQ(materials[3].image.cols(), 1);
}

TEST(TextureBudget, TheDefaultCountIsPerFileNotPerMaterial) {
  TextureBudget budget;
  EXPECT_EQ(budget.Left(), kMaxTexturesPerFile);
  for (size_t i = 0; i < kMaxTexturesPerFile; ++i) ASSERT_TRUE(budget.Take());
  EXPECT_FALSE(budget.Take());
  EXPECT_EQ(budget.Left(), 0u);
}

TEST(TextureBudget, CappedSidesAreDownscaledByTheMeanOfTheirArea) {
  testing::RecordingPlatform platform;
  NullGraphicsDevice device;
  TextureLimits limits;
  limits.maxSide = 2;
  TextureBudget budget(limits);
  // 5 x 3 pixels of 4 channels into 2 x 2 texels: columns {0,1} and
  // {2,3,4}, rows {0} and {1,2}; blue carries x, green y, red 10, alpha
  // 0 or 255 by column parity.
  CMaterial m = Textured(5, 3, 4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      uint8_t* p = m.image.row(y) + 4 * x;
      p[0] = static_cast<uint8_t>(40 * x);
      p[1] = static_cast<uint8_t>(100 * y);
      p[2] = 10;
      p[3] = x % 2 ? 255 : 0;
    }
  ASSERT_TRUE(BuildMaterialTexture(m, &device, true, &budget));
  const gfx::TextureDesc desc = device.TextureDescOf(m.textureView);
  EXPECT_EQ(desc.width, 2u);
  EXPECT_EQ(desc.height, 2u);
  // RGBA: red 10; green the mean row; blue the mean column; alpha the share
  // of odd columns (rounded to nearest).
  EXPECT_EQ(device.Texel(m.textureView, 0, 0), (std::array<uint8_t, 4>{10, 0, 20, 128}));
  EXPECT_EQ(device.Texel(m.textureView, 1, 0), (std::array<uint8_t, 4>{10, 0, 120, 85}));
  EXPECT_EQ(device.Texel(m.textureView, 0, 1), (std::array<uint8_t, 4>{10, 150, 20, 128}));
  EXPECT_EQ(device.Texel(m.textureView, 1, 1), (std::array<uint8_t, 4>{10, 150, 120, 85}));
}

TEST(TextureBudget, OnlyTheLongSideShrinksAndSmallImagesStayExact) {
  struct Case {
    int width, height;
    uint32_t maxSide, texWidth, texHeight;
  };
  const Case cases[] = {
      {4, 4, 4, 4, 4},                     // at the cap: unchanged
      {64, 2, 16, 16, 2},                  // one side over
      {1, 300, 16, 1, 16},                 // the other side over
      {8193, 2, 16, 8193, 2},              // refused by the device as in the player
      {3, 3, gfx::kMaxTextureSize, 3, 3},  // no cap
  };
  for (const Case& c : cases) {
    testing::RecordingPlatform platform;
    NullGraphicsDevice device;
    TextureLimits limits;
    limits.maxSide = c.maxSide;
    TextureBudget budget(limits);
    CMaterial m = Textured(c.width, c.height, 3);
    m.image.Fill({1, 2, 3});
    const bool fits = c.width <= 8192;
    ASSERT_EQ(BuildMaterialTexture(m, &device, true, &budget), fits) << c.width;
    if (!fits) continue;
    const gfx::TextureDesc desc = device.TextureDescOf(m.textureView);
    EXPECT_EQ(desc.width, c.texWidth) << c.width << "x" << c.height;
    EXPECT_EQ(desc.height, c.texHeight) << c.width << "x" << c.height;
    // A flat image stays flat, downscaled or not.
    EXPECT_EQ(device.Texel(m.textureView, c.texWidth - 1, c.texHeight - 1),
              (std::array<uint8_t, 4>{3, 2, 1, 255}));
  }
}

TEST(TextureBudget, ImagesAreFreedOnlyWhenTheLimitsSaySo) {
  for (const bool keep : {true, false}) {
    testing::RecordingPlatform platform;
    NullGraphicsDevice device;
    TextureLimits limits;
    limits.keepImages = keep;
    TextureBudget budget(limits);
    CMaterial ok = Textured(32, 32, 3), broken = Textured(0, 4, 3);
    EXPECT_TRUE(BuildMaterialTexture(ok, &device, false, &budget));
    EXPECT_FALSE(BuildMaterialTexture(broken, &device, false, &budget));
    EXPECT_EQ(ok.image.empty(), !keep);
    EXPECT_EQ(ok.image.rows(), keep ? 32 : 0);
    EXPECT_EQ(broken.image.rows(), keep ? 4 : 0);
  }
}

TEST(TextureBudget, ProcessLimitsReachLaterBudgets) {
  TextureLimits limits;
  limits.maxSide = 256;
  limits.maxTextures = 7;
  SetTextureLimits(limits);
  const TextureBudget budget;
  SetTextureLimits(TextureLimits{});
  EXPECT_EQ(budget.limits().maxSide, 256u);
  EXPECT_EQ(budget.Left(), 7u);
  EXPECT_EQ(TextureBudget().Left(), kMaxTexturesPerFile);
}

}  // namespace
}  // namespace tolvani
