// Pixels drawn through the OpenGL device (llvmpipe under xvfb-run): texture
// channels, culling, depth, fades, balloon cards, skinning, the lighting
// variants and opaque draws without blending.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <set>
#include <string>

#include "gl_scene.h"
#include "model/model_records.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "model/timeline.h"
#include "render/gl/shader_variants.h"
#include "render/shader_constants.h"

#ifndef RENDER_GUI_OUTPUT_DIR
#define RENDER_GUI_OUTPUT_DIR "."
#endif

namespace tolvani::glscene {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

void Save(const QImage& image, const std::string& name) {
  image.save(QString::fromStdString(std::string(RENDER_GUI_OUTPUT_DIR) + "/" + name + ".png"));
}

// Flat coordinates (x, y in -50..50, y up) to the pixel they cover.
QColor FlatPixel(const QImage& image, float x, float y) {
  const int px = static_cast<int>((x + 50.0f) / 100.0f * image.width());
  const int py = static_cast<int>((50.0f - y) / 100.0f * image.height());
  return image.pixelColor(px, py);
}

void ExpectColour(const QColor& c, int r, int g, int b, int tol = 1) {
  EXPECT_NEAR(c.red(), r, tol);
  EXPECT_NEAR(c.green(), g, tol);
  EXPECT_NEAR(c.blue(), b, tol);
}

class GlPixels : public ::testing::Test {
 protected:
  void SetUp() override {
    gl = std::make_unique<GlScene>(kWidth, kHeight);
    ASSERT_TRUE(gl->ok()) << gl->error();
    camera = gl->AddMaterial(FlatMaterial(u"plain", 1, 1, 1));
    gl->AddObject(u"Camera", {});
  }
  void TearDown() override { gl.reset(); }
  std::unique_ptr<GlScene> gl;
  int camera = 0;
};

TEST_F(GlPixels, TexturedQuadShowsTheImageColours) {
  CMaterial m = FlatMaterial(u"picture", 1, 1, 1);
  m.textureName = u"picture.bmp";
  m.image = PixelMatrix(4, 4, 3);
  m.image.Fill({10, 20, 30});  // blue, green, red
  const int tex = gl->AddMaterial(m);
  ASSERT_NE(gl->scene().materials[tex].textureView, gfx::kNone);
  gl->AddObject(u"Picture Background", {{Quad(-40, -40, 40, 40, 0), tex}});
  const QImage image = gl->Frame();
  Save(image, "textured_quad");
  ExpectColour(FlatPixel(image, 0, 0), 30, 20, 10);
  // Outside the quad: the background colour (30, 65, 90).
  ExpectColour(FlatPixel(image, -45, 45), 30, 65, 90);
}

TEST_F(GlPixels, OnlyClockwiseTrianglesAreDrawn) {
  const int red = gl->AddMaterial(FlatMaterial(u"red", 1, 0, 0));
  gl->AddObject(u"Left Background", {{Quad(-45, -20, -5, 20, 0), red}});
  gl->AddObject(u"Right Background", {{ReversedQuad(5, -20, 45, 20, 0), red}});
  const QImage image = gl->Frame();
  Save(image, "winding");
  ExpectColour(FlatPixel(image, -25, 0), 255, 0, 0);
  ExpectColour(FlatPixel(image, 25, 0), 30, 65, 90);
}

TEST_F(GlPixels, NearerObjectHidesAFartherOne) {
  const int red = gl->AddMaterial(FlatMaterial(u"red", 1, 0, 0));
  const int green = gl->AddMaterial(FlatMaterial(u"green", 0, 1, 0));
  // Main pass, default camera looking down -z: red at distance 100 is drawn
  // first, green at 200 behind it and larger.
  gl->AddObject(u"Near", {{Quad(-10, -10, 10, 10, -100), red}});
  gl->AddObject(u"Far", {{Quad(-40, -40, 40, 40, -200), green}});
  QImage image = gl->Frame();
  Save(image, "depth");
  ExpectColour(image.pixelColor(kWidth / 2, kHeight / 2), 255, 0, 0);
  ExpectColour(image.pixelColor(kWidth / 2 + 100, kHeight / 2), 0, 255, 0);

  // The same with the draw order swapped.
  std::swap(gl->scene().models[1].groups[0].material, gl->scene().models[2].groups[0].material);
  std::swap(gl->scene().models[1].groups[0].vertexBuffer,
            gl->scene().models[2].groups[0].vertexBuffer);
  std::swap(gl->scene().models[1].groups[0].vertices, gl->scene().models[2].groups[0].vertices);
  image = gl->Frame();
  ExpectColour(image.pixelColor(kWidth / 2, kHeight / 2), 255, 0, 0);
}

TEST_F(GlPixels, OverlayFadeDarkensFrameByFrame) {
  gl->scene().backgroundColor = 0x00FFFFFF;
  gl->scene().fadeDuration = 1000;  // 30 frames
  gl->scene().fadeLevel = 0.0f;
  const int fade = gl->AddMaterial(FlatMaterial(u"ZavroFadeOutMaterial", 0, 0, 0, 0));
  gl->AddObject(u"FadeOut", {{Quad(-50, -50, 50, 50, 0), fade}});
  int previous = 256;
  for (int frame = 1; frame <= 30; ++frame) {
    const QImage image = gl->Frame();
    const int level = image.pixelColor(kWidth / 3, kHeight / 3).red();
    EXPECT_LT(level, previous) << frame;
    const float alpha = static_cast<float>(frame) / 30.0f;
    EXPECT_NEAR(level, 255.0f * (1.0f - alpha), 2.5f) << frame;
    if (frame == 15) Save(image, "fade_half");
    EXPECT_EQ(gl->scene().advanceRequested, frame == 30) << frame;
    previous = level;
  }
}

// Dark and light pixels inside a rectangle of the image.
struct Ink {
  int dark = 0, light = 0;
};
Ink CountInk(const QImage& image, int x0, int y0, int x1, int y1) {
  Ink ink;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const int v = image.pixelColor(x, y).green();
      if (v < 100) ++ink.dark;
      if (v > 240) ++ink.light;
    }
  return ink;
}

TEST_F(GlPixels, BalloonsShowTheirOwnTextsOnWhiteCards) {
  const int card = gl->AddMaterial(FlatMaterial(u"ZavroFukidashiMaterial", 1, 1, 1));
  // Two cards side by side at distance 60 (half-height 16, half-width 21.4).
  gl->AddObject(u"fukidashi1", {{Quad(-21, -15, -1, 15, -60), card}}, {u"あ"});
  gl->AddObject(u"fukidashi2", {{Quad(1, -15, 21, 15, -60), card}},
                {u"Tolvani balloon text that wraps onto several lines"});
  const QImage image = gl->Frame();
  Save(image, "balloons");
  const Ink left = CountInk(image, 20, 30, 290, 450);
  const Ink right = CountInk(image, 345, 30, 625, 450);
  EXPECT_GT(left.dark, 20);
  EXPECT_GT(right.dark, 20);
  EXPECT_GT(left.light, 10000);
  EXPECT_GT(right.light, 10000);
  // Long wrapped text has far more ink than one character.
  EXPECT_GT(right.dark, 3 * left.dark);
  // The same quad in a flat pass shows a blank card.
  gl->scene().models[1].visible = false;
  gl->scene().models[2].visible = false;
  gl->AddObject(u"fukidashi Background", {{Quad(-40, -40, 40, 40, 0), card}}, {u"Hidden"});
  const QImage flat = gl->Frame();
  Save(flat, "balloon_flat");
  EXPECT_EQ(CountInk(flat, 100, 80, 540, 400).dark, 0);
}

// A one-texel checkerboard drawn eight times smaller: a mipmapped texture
// (the balloon card's kind) averages to grey; a material texture keeps its
// one level and shows single texels. The mipmap chain gives the same
// picture whether it is allocated in one piece or level by level.
class MipmapAllocation : public GlPixels, public ::testing::WithParamInterface<bool> {};

TEST_P(MipmapAllocation, MipmappedTexturesAverageWhenMinified) {
  gl->device().SetTextureStorageAllowed(GetParam());
  constexpr uint32_t kSide = 256;
  std::vector<uint8_t> checker(kSide * kSide * 4, 255);
  for (uint32_t y = 0; y < kSide; ++y)
    for (uint32_t x = 0; x < kSide; ++x)
      if ((x + y) % 2 == 1) std::fill_n(&checker[(y * kSide + x) * 4], 3, uint8_t{0});
  struct Case {
    bool mipmapped;
    int picture;
  };
  Case cases[] = {{true, 0}, {false, 0}};
  for (Case& c : cases) {
    CMaterial m = FlatMaterial(c.mipmapped ? u"card" : u"material", 1, 1, 1);
    m.textureName = u"checker.bmp";
    m.image = PixelMatrix(kSide, kSide, 3);
    m.image.Fill({0, 0, 0});
    c.picture = gl->AddMaterial(m);
    gfx::TextureDesc desc;
    desc.width = kSide;
    desc.height = kSide;
    desc.usage = gfx::TextureUsage::RenderTarget;
    desc.mipmapped = c.mipmapped;
    gfx::Handle texture = gfx::kNone, view = gfx::kNone;
    ASSERT_EQ(gl->device().CreateTexture2D(desc, &texture), gfx::kOk);
    ASSERT_EQ(gl->device().UpdateTexture(texture, checker.data(), kSide * 4), gfx::kOk);
    ASSERT_EQ(gl->device().CreateShaderResourceView(texture, &view), gfx::kOk);
    gl->device().Release(texture);
    CMaterial& stored = gl->scene().materials[static_cast<size_t>(c.picture)];
    gl->device().Release(stored.textureView);
    stored.textureView = view;
  }
  // 4.7 units are about 30 pixels: 256 texels go some eight and a half to
  // a pixel, so single-level samples fall on all sorts of texel positions.
  gl->AddObject(u"Card Background", {{Quad(-10, -2.5f, -5.3f, 2.5f, 0), cases[0].picture}});
  gl->AddObject(u"Material Background", {{Quad(5, -2.5f, 9.7f, 2.5f, 0), cases[1].picture}});
  const QImage image = gl->Frame();
  Save(image, "minified_checker");
  int cardOff = 0, materialOff = 0;
  for (float y = -2.0f; y <= 2.0f; y += 0.5f)
    for (float x = 0.5f; x <= 4.0f; x += 0.25f) {
      cardOff = std::max(cardOff, std::abs(FlatPixel(image, -10 + x, y).green() - 128));
      materialOff = std::max(materialOff, std::abs(FlatPixel(image, 5 + x, y).green() - 128));
    }
  EXPECT_LT(cardOff, 24);
  EXPECT_GT(materialOff, 64);
  // Both allocations must draw the same pixels: the first run keeps its frame.
  static QImage first;
  if (first.isNull()) {
    first = image;
  } else {
    EXPECT_EQ(image, first);
  }
}

INSTANTIATE_TEST_SUITE_P(OneOrPerLevel, MipmapAllocation, ::testing::Bool());

TEST_F(GlPixels, SkinnedVerticesFollowTheirBoneMatrices) {
  const int red = gl->AddMaterial(FlatMaterial(u"red", 1, 0, 0));
  std::vector<MeshVertex> quad = Quad(-30, -10, -10, 10, 0);
  for (MeshVertex& v : quad) v.bone = 0;
  const int i = gl->AddObject(u"Arm Background", {{quad, red}});
  CModel& model = gl->scene().models[i];
  Animation animation(1);
  animation[0].push_back(Matrix4::Identity());
  animation[0].push_back(MatrixTranslation(40, 0, 0));
  model.animations.push_back(animation);
  model.currentAnimation = 0;
  model.animationFrame = 0;
  QImage image = gl->Frame();
  ExpectColour(FlatPixel(image, -20, 0), 255, 0, 0);
  ExpectColour(FlatPixel(image, 20, 0), 30, 65, 90);
  model.animationFrame = 1;
  image = gl->Frame();
  Save(image, "skinned");
  ExpectColour(FlatPixel(image, -20, 0), 30, 65, 90);
  ExpectColour(FlatPixel(image, 20, 0), 255, 0, 0);
}

// Materials without a specular or diffuse term are drawn with the shader's
// variants; every pixel must be the one the general shader gives.
TEST_F(GlPixels, LightingVariantsGiveTheGeneralShadersPixels) {
  struct Terms {
    float diffuse, specular;
  };
  const Terms terms[] = {{0.6f, 0.5f}, {0.6f, 0.0f}, {0.0f, 0.5f}, {0.0f, -0.0f}};
  int column = 0;
  int expectedVariant = 0;
  for (const bool textured : {false, true}) {
    for (const Terms& t : terms) {
      CMaterial m = FlatMaterial(u"lit", 0.8f, 0.6f, 0.4f);
      m.ambient = 1.2f;
      m.emissive = 0.1f;
      m.diffuse = t.diffuse;
      m.specular = t.specular;
      m.power = 8.0f;
      if (textured) {
        m.textureName = u"lit.bmp";
        m.image = PixelMatrix(2, 2, 3);
        m.image.Fill({200, 150, 250});
      }
      const int material = gl->AddMaterial(m);
      // A tall quad whose normals turn from facing the viewer to grazing,
      // so the lit terms vary down the column.
      const float x0 = -45.0f + 11.0f * static_cast<float>(column++);
      std::vector<MeshVertex> quad = Quad(x0, -40, x0 + 10, 40, -100);
      for (MeshVertex& v : quad)
        v.normal = v.position.y > 0 ? Vec3{0.9f, 0.3f, 0.3f} : Vec3{0, 0, 1};
      gl->AddObject(u"Column", {{quad, material}});
      if (t.diffuse == 0.0f || t.specular == 0.0f) ++expectedVariant;
    }
  }
  gl::OpenGLDevice& device = gl->device();
  device.SetVariantsEnabled(false);
  const uint32_t before = device.variantDrawCount();
  const QImage general = gl->Frame();
  EXPECT_EQ(device.variantDrawCount(), before);
  device.SetVariantsEnabled(true);
  const QImage variant = gl->Frame();
  Save(variant, "variant");
  EXPECT_EQ(device.variantDrawCount() - before, static_cast<uint32_t>(expectedVariant));
  // The lit columns shade from top to bottom (flat colours would prove nothing).
  std::set<QRgb> colours;
  for (int y = 0; y < general.height(); y += 4)
    for (int x = 0; x < general.width(); x += 4) colours.insert(general.pixel(x, y));
  EXPECT_GT(colours.size(), 64u);
  EXPECT_TRUE(general == variant);
}

// Opaque draws skip blending and invisible ones their colour writes;
// translucent ones, and textures with any alpha below 255, keep blending.
// Every pixel must be the blended one, over colours that a wrong blend
// would change.
TEST_F(GlPixels, OpaqueDrawsGiveTheBlendedPixels) {
  gl->scene().backgroundColor = 0x00306090;
  struct Case {
    float alpha;
    int channels;        // 0: untextured
    uint8_t texelAlpha;  // of one texel of four (the others 255)
    int shortcut;        // 1: unblended, 2: depth only
  };
  const Case cases[] = {
      {1.0f, 0, 0, 1},   {0.5f, 0, 0, 0}, {1.0f, 3, 0, 1},  {1.0f, 4, 255, 1}, {1.0f, 4, 254, 0},
      {0.999f, 3, 0, 0}, {0.0f, 0, 0, 2}, {-0.0f, 4, 0, 2}, {1e-30f, 0, 0, 0},
  };
  int column = 0;
  int expected[3] = {};
  for (const Case& c : cases) {
    CMaterial m = FlatMaterial(u"m", 0.9f, 0.5f, 0.2f, c.alpha);
    if (c.channels != 0) {
      m.textureName = u"t.png";
      m.image = PixelMatrix(2, 2, c.channels);
      if (c.channels == 3) {
        m.image.Fill({200, 120, 40});
      } else {
        m.image.Fill({200, 120, 40, 255});
        m.image.row(1)[4 + 3] = c.texelAlpha;
      }
    }
    const int material = gl->AddMaterial(m);
    // Each column lies over a wide bar of another colour drawn before it.
    const float x0 = -52.0f + 12.0f * static_cast<float>(column++);
    const int under = gl->AddMaterial(FlatMaterial(u"under", 0.1f, 0.8f, 0.3f, 0.6f));
    gl->AddObject(u"Under", {{Quad(x0 - 1, -20, x0 + 11, 20, -600), under}});
    gl->AddObject(u"Column", {{Quad(x0, -40, x0 + 10, 40, -400), material}});
    ++expected[c.shortcut];
  }
  gl::OpenGLDevice& device = gl->device();
  device.SetBlendShortcuts(false);
  const uint32_t unblendedBefore = device.unblendedDrawCount();
  const uint32_t depthOnlyBefore = device.depthOnlyDrawCount();
  const QImage blended = gl->Frame();
  EXPECT_EQ(device.unblendedDrawCount(), unblendedBefore);
  EXPECT_EQ(device.depthOnlyDrawCount(), depthOnlyBefore);
  device.SetBlendShortcuts(true);
  const QImage unblended = gl->Frame();
  Save(unblended, "unblended");
  EXPECT_EQ(device.unblendedDrawCount() - unblendedBefore, static_cast<uint32_t>(expected[1]));
  EXPECT_EQ(device.depthOnlyDrawCount() - depthOnlyBefore, static_cast<uint32_t>(expected[2]));
  EXPECT_TRUE(blended == unblended);
  // Background, bars, opaque columns and three kinds of see-through ones.
  std::set<QRgb> colours;
  for (int y = 0; y < blended.height(); y += 2)
    for (int x = 0; x < blended.width(); x += 2) colours.insert(blended.pixel(x, y));
  EXPECT_GE(colours.size(), 7u);
}

TEST(ShaderVariants, OpaqueRules) {
  ShaderConstants constants{};
  const auto* bytes = reinterpret_cast<const uint8_t*>(&constants);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    float alpha;
    bool one, zero;
  } alphas[] = {{1.0f, true, false},   {0.99999994f, false, false}, {1.0000001f, false, false},
                {nan, false, false},   {0.0f, false, true},         {-0.0f, false, true},
                {1e-45f, false, false}};
  for (const auto& a : alphas) {
    constants.color = Vec4{0.2f, 0.3f, 0.4f, a.alpha};
    EXPECT_EQ(gl::MaterialAlphaIsOne(bytes, sizeof constants), a.one) << a.alpha;
    EXPECT_EQ(gl::MaterialAlphaIsZero(bytes, sizeof constants), a.zero) << a.alpha;
    EXPECT_FALSE(gl::MaterialAlphaIsOne(bytes, sizeof constants - 1));
    EXPECT_FALSE(gl::MaterialAlphaIsZero(bytes, sizeof constants - 1));
  }
  // 3 x 2 texels in rows of 16 bytes: the row padding is not looked at.
  uint8_t texels[2 * 16];
  std::fill(std::begin(texels), std::end(texels), 0xFF);
  texels[12 + 3] = 0;
  texels[16 + 12 + 3] = 0;
  EXPECT_TRUE(gl::AllTexelsOpaque(texels, 3, 2, 16));
  texels[16 + 8 + 3] = 0xFE;  // the last texel
  EXPECT_FALSE(gl::AllTexelsOpaque(texels, 3, 2, 16));
  EXPECT_FALSE(gl::AllTexelsOpaque(nullptr, 3, 2, 16));
}

TEST(ShaderVariants, ConstantsAndSourcesChooseTheVariant) {
  struct Case {
    float specular[3], diffuse;
    unsigned mask;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {{0, 0, 0}, 0, 3},         {{0, 0, 0.1f}, 0, 2},  {{0, 0, 0}, 0.5f, 1},
      {{-0.0f, 0, 0}, -0.0f, 3}, {{nan, 0, 0}, nan, 0}, {{0.2f, 0.2f, 0.2f}, 1, 0},
  };
  for (const Case& c : cases) {
    ShaderConstants constants{};
    constants.specular = Vec4{c.specular[0], c.specular[1], c.specular[2], 1};
    constants.diffuse = Vec4{c.diffuse, 0, 0, 0};
    const auto* bytes = reinterpret_cast<const uint8_t*>(&constants);
    EXPECT_EQ(gl::VariantFor(bytes, sizeof constants), c.mask) << c.specular[2] << c.diffuse;
    EXPECT_EQ(gl::VariantFor(bytes, sizeof constants - 1), 0u);
  }
  EXPECT_EQ(gl::VariantsNamedIn("#ifdef TOLVANI_NO_SPECULAR\n#ifdef TOLVANI_NO_DIFFUSE"), 0b1110u);
  EXPECT_EQ(gl::VariantsNamedIn("#ifdef TOLVANI_NO_DIFFUSE\n"), 0b0100u);
  EXPECT_EQ(gl::VariantsNamedIn("TOLVANI_NO_SPECULARS xTOLVANI_NO_DIFFUSE"), 0u);
  EXPECT_EQ(gl::VariantDefines(3), "#define TOLVANI_NO_SPECULAR\n#define TOLVANI_NO_DIFFUSE\n");
}

}  // namespace
}  // namespace tolvani::glscene

int main(int argc, char** argv) {
  tolvani::glscene::InitGlEnvironment();
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
