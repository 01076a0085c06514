// Material textures on the null device, and the device's own contract as
// the texture code relies on it.
#include <gtest/gtest.h>

#include "prepare/material_texture.h"
#include "render/null_device.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using Op = NullGraphicsDevice::Op;

CMaterial Textured(const std::u16string& textureName, int width, int height, int channels) {
  CMaterial m;
  m.name = u"mat";
  m.textureName = textureName;
  m.image = PixelMatrix(height, width, channels == 4 ? 4 : 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int k = 0; k < channels; ++k)
        m.image.row(y)[x * channels + k] = testing::TestSample(x, y, k);
  return m;
}

TEST(MaterialTexture, ThreeChannelsBecomeOpaqueRgba) {
  testing::RecordingPlatform platform;
  NullGraphicsDevice device;
  CMaterial m = Textured(u"a.png", 1, 1, 3);
  m.image.row(0)[0] = 10;
  m.image.row(0)[1] = 20;
  m.image.row(0)[2] = 30;
  ASSERT_TRUE(BuildMaterialTexture(m, &device));
  ASSERT_NE(m.textureView, gfx::kNone);
  EXPECT_EQ(device.KindOf(m.textureView), NullGraphicsDevice::Kind::ShaderResourceView);
  EXPECT_EQ(device.Texel(m.textureView, 0, 0), (std::array<uint8_t, 4>{30, 20, 10, 255}));
  const gfx::TextureDesc desc = device.TextureDescOf(m.textureView);
  EXPECT_EQ(desc.format, gfx::TextureFormat::RGBA8);
  EXPECT_EQ(desc.usage, gfx::TextureUsage::Dynamic);
  EXPECT_FALSE(desc.mipmapped);  // material textures keep their one level
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(m.textureName, u"a.png");
}

TEST(MaterialTexture, RowsLandAtTheMappedPitchWithoutSkew) {
  // 5 x 3 pixels, 4 channels (alpha kept), rows padded by 12 bytes.
  for (int channels : {3, 4}) {
    testing::RecordingPlatform platform;
    NullGraphicsDevice device;
    device.SetRowPitchPadding(12);
    CMaterial m = Textured(u"b.png", 5, 3, channels);
    ASSERT_TRUE(BuildMaterialTexture(m, &device));
    EXPECT_EQ(device.RowPitchOf(m.textureView), 5u * 4 + 12);
    const gfx::TextureDesc desc = device.TextureDescOf(m.textureView);
    EXPECT_EQ(desc.width, 5u);
    EXPECT_EQ(desc.height, 3u);
    for (uint32_t y = 0; y < 3; ++y)
      for (uint32_t x = 0; x < 5; ++x) {
        const int xi = static_cast<int>(x), yi = static_cast<int>(y);
        const std::array<uint8_t, 4> expected = {
            testing::TestSample(xi, yi, 2), testing::TestSample(xi, yi, 1),
            testing::TestSample(xi, yi, 0),
            static_cast<uint8_t>(channels == 4 ? testing::TestSample(xi, yi, 3) : 255)};
        EXPECT_EQ(device.Texel(m.textureView, x, y), expected) << x << "," << y;
      }
    // The padding bytes are never written.
    const auto& memory = device.TextureMemory(m.textureView);
    EXPECT_EQ(memory[20], 0xCD);
    EXPECT_EQ(memory[31], 0xCD);
  }
}

TEST(MaterialTexture, TextureReferenceGoesToTheView) {
  testing::RecordingPlatform platform;
  NullGraphicsDevice device;
  CMaterial m = Textured(u"c.png", 2, 2, 3);
  ASSERT_TRUE(BuildMaterialTexture(m, &device));
  // Texture and view alive; the texture only through the view.
  EXPECT_EQ(device.LiveObjectCount(), 2u);
  EXPECT_EQ(device.RefCount(device.TextureOf(m.textureView)), 1u);
  device.Release(m.textureView);
  EXPECT_EQ(device.LiveObjectCount(), 0u);
  EXPECT_EQ(device.BadReleaseCount(), 0u);
}

TEST(MaterialTexture, EachFailureNamesItsMaterialAndLeavesTheOthers) {
  struct Case {
    Op op;
    const char* what;
  };
  for (Case c : {Case{Op::CreateTexture2D, "create"}, Case{Op::MapTexture, "map"},
                 Case{Op::CreateShaderResourceView, "view"}}) {
    testing::RecordingPlatform platform;
    NullGraphicsDevice device;
    device.FailCall(c.op, 2);
    std::vector<CMaterial> materials = {Textured(u"one.png", 2, 2, 3),
                                        Textured(u"two.bmp", 2, 2, 4),
                                        Textured(u"three.png", 2, 2, 3)};
    const bool results[3] = {BuildMaterialTexture(materials[0], &device),
                             BuildMaterialTexture(materials[1], &device),
                             BuildMaterialTexture(materials[2], &device)};
    EXPECT_TRUE(results[0]) << c.what;
    EXPECT_FALSE(results[1]) << c.what;
    EXPECT_TRUE(results[2]) << c.what;
    ASSERT_EQ(platform.MessageTexts(),
              std::vector<std::u16string>{u"two.bmpの読み込みに失敗しました。"})
        << c.what;
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::None);
    EXPECT_TRUE(materials[1].textureName.empty());
    EXPECT_EQ(materials[1].textureView, gfx::kNone);
    EXPECT_FALSE(materials[1].image.empty());  // the image stays
    EXPECT_EQ(materials[0].textureName, u"one.png");
    EXPECT_EQ(materials[2].textureName, u"three.png");
    // Nothing of the failed material is left on the device.
    EXPECT_EQ(device.LiveObjectCount(), 4u) << c.what;
  }
}

TEST(MaterialTexture, UnusableImagesAndNoDeviceFailWithTheMessage) {
  testing::RecordingPlatform platform;
  NullGraphicsDevice device;
  CMaterial empty = Textured(u"empty.png", 0, 0, 3);
  EXPECT_FALSE(BuildMaterialTexture(empty, &device));
  CMaterial wide = Textured(u"wide.png", static_cast<int>(gfx::kMaxTextureSize) + 1, 1, 4);
  EXPECT_FALSE(BuildMaterialTexture(wide, &device));
  CMaterial noDevice = Textured(u"x.png", 1, 1, 3);
  EXPECT_FALSE(BuildMaterialTexture(noDevice, nullptr));
  EXPECT_EQ(platform.MessageTexts(),
            (std::vector<std::u16string>{u"empty.pngの読み込みに失敗しました。",
                                         u"wide.pngの読み込みに失敗しました。",
                                         u"x.pngの読み込みに失敗しました。"}));
  EXPECT_EQ(device.LiveObjectCount(), 0u);
}

TEST(NullDevice, RefusesWhatARealDeviceRefuses) {
  NullGraphicsDevice device;
  gfx::Handle h = 123;
  EXPECT_TRUE(gfx::Failed(device.CreateTexture2D({0, 4}, &h)));
  EXPECT_EQ(h, gfx::kNone);
  EXPECT_TRUE(gfx::Failed(device.CreateTexture2D({4, gfx::kMaxTextureSize + 1}, &h)));
  EXPECT_FALSE(gfx::Failed(device.CreateTexture2D({gfx::kMaxTextureSize, 1}, &h)));
  const uint8_t bytes[44] = {};
  EXPECT_TRUE(gfx::Failed(device.CreateVertexBuffer(bytes, 0, &h)));
  EXPECT_TRUE(gfx::Failed(device.CreateConstantBuffer(2561, &h)));
  // Unknown and released handles.
  gfx::MappedTexture mapped;
  EXPECT_TRUE(gfx::Failed(device.MapTexture(999, &mapped)));
  gfx::Handle vb;
  ASSERT_FALSE(gfx::Failed(device.CreateVertexBuffer(bytes, 44, &vb)));
  device.Release(vb);
  EXPECT_FALSE(device.Alive(vb));
  EXPECT_TRUE(gfx::Failed(device.CreateShaderResourceView(vb, &h)));
  device.Release(vb);
  EXPECT_EQ(device.BadReleaseCount(), 1u);
  // A render-target texture is not mappable; a dynamic one only once at a time.
  gfx::Handle rt, dyn;
  ASSERT_FALSE(gfx::Failed(device.CreateTexture2D(
      {4, 4, gfx::TextureFormat::BGRA8, gfx::TextureUsage::RenderTarget}, &rt)));
  EXPECT_TRUE(gfx::Failed(device.MapTexture(rt, &mapped)));
  ASSERT_FALSE(gfx::Failed(device.CreateTexture2D({4, 4}, &dyn)));
  ASSERT_FALSE(gfx::Failed(device.MapTexture(dyn, &mapped)));
  EXPECT_TRUE(gfx::Failed(device.MapTexture(dyn, &mapped)));
  device.UnmapTexture(dyn);
  // Shader files: missing file, missing entry point name.
  const std::string dir = testing::MakeTempDir();
  const std::string shader = dir + "shader.glsl";
  FILE* f = std::fopen(shader.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("#ifdef VS\nvoid main() {}\n#endif\n", f);
  std::fclose(f);
  EXPECT_TRUE(gfx::Failed(device.CompileShaderFromFile(dir + "none.glsl", "VS", "vs_4_1", &h)));
  EXPECT_TRUE(gfx::Failed(device.CompileShaderFromFile(shader, "PS_TEX", "ps_4_1", &h)));
  gfx::Handle blob, ps;
  ASSERT_FALSE(gfx::Failed(device.CompileShaderFromFile(shader, "VS", "vs_4_1", &blob)));
  EXPECT_TRUE(gfx::Failed(device.CreatePixelShader(blob, &ps)));  // a vertex blob
  // The back buffer cannot be resized while a view of it is alive.
  ASSERT_FALSE(gfx::Failed(device.CreateSwapChain(160, 120)));
  gfx::Handle rtv;
  ASSERT_FALSE(gfx::Failed(device.CreateRenderTargetView(&rtv)));
  EXPECT_TRUE(gfx::Failed(device.ResizeBuffers(640, 480)));
  device.Release(rtv);
  EXPECT_FALSE(gfx::Failed(device.ResizeBuffers(640, 480)));
  EXPECT_EQ(device.SwapChainWidth(), 640u);
}

TEST(NullDevice, RecordsDrawsWithTheirBindingsAndConstants) {
  NullGraphicsDevice device;
  gfx::Handle cb, vb, rtv;
  ASSERT_FALSE(gfx::Failed(device.CreateConstantBuffer(2560, &cb)));
  const uint8_t vertices[88] = {};
  ASSERT_FALSE(gfx::Failed(device.CreateVertexBuffer(vertices, 88, &vb)));
  ASSERT_FALSE(gfx::Failed(device.CreateSwapChain(160, 120)));
  ASSERT_FALSE(gfx::Failed(device.CreateRenderTargetView(&rtv)));
  const float color[4] = {0.25f, 0.5f, 0.75f, 1};
  device.ClearRenderTarget(rtv, color);
  std::vector<uint8_t> constants(2560, 0);
  constants[0] = 7;
  constants[2559] = 9;
  ASSERT_FALSE(gfx::Failed(device.UpdateConstantBuffer(cb, constants.data(), 2560)));
  device.SetConstantBuffer(cb);
  device.SetVertexBuffer(vb, 44, 0);
  device.SetTriangleListTopology();
  device.Draw(2, 0);
  constants[0] = 8;
  ASSERT_FALSE(gfx::Failed(device.UpdateConstantBuffer(cb, constants.data(), 2560)));
  device.Draw(2, 0);
  ASSERT_FALSE(gfx::Failed(device.Present()));
  ASSERT_EQ(device.draws().size(), 2u);
  EXPECT_EQ(device.draws()[0].vertexBuffer, vb);
  EXPECT_EQ(device.draws()[0].stride, 44u);
  EXPECT_EQ(device.draws()[0].vertexCount, 2u);
  EXPECT_TRUE(device.draws()[0].triangleList);
  EXPECT_EQ(device.draws()[0].constants[0], 7);  // a copy at draw time
  EXPECT_EQ(device.draws()[1].constants[0], 8);
  EXPECT_EQ(device.draws()[1].constants[2559], 9);
  ASSERT_EQ(device.events().size(), 4u);
  EXPECT_EQ(device.events()[0].kind, NullGraphicsDevice::EventKind::Clear);
  EXPECT_EQ(device.events()[3].kind, NullGraphicsDevice::EventKind::Present);
  EXPECT_EQ(device.clears()[0].rgba[2], 0.75f);
  EXPECT_EQ(device.presentCount(), 1u);
  // Failure injection counts calls of one operation only.
  device.FailCall(Op::Present, 2);
  EXPECT_TRUE(gfx::Failed(device.Present()));
  EXPECT_FALSE(gfx::Failed(device.Present()));
}

}  // namespace
}  // namespace tolvani
