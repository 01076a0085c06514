// What every graphics device must do alike: creation limits, updates,
// bindings, shader entry lookup, input layouts, resizing, and what a draw
// sees (in the records of a device that keeps them, in the pixels of one
// that draws).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "contract/device_contract.h"
#include "contract/draw_kit.h"
#include "model/mesh_vertex.h"
#include "render/null_device.h"
#include "render/shader_constants.h"
#include "support/test_helpers.h"

namespace tolvani::contract {
namespace {

// Every device of the suite; a new device adds its factory here.
using ContractDevices =
    ::testing::Types<NullDeviceFactory, OpenGLDeviceFactory, WebGL2DeviceFactory>;

struct FactoryNames {
  template <class Factory>
  static std::string GetName(int) {
    return Factory::kName;
  }
};

using Color = std::array<uint8_t, 4>;
constexpr uint32_t kFrameSide = 32;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

template <class Factory>
class DeviceContract : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    dut_ = Factory::Make(&whyNot);
    if (dut_ == nullptr) GTEST_SKIP() << Factory::kName << " device unavailable: " << whyNot;
  }

  gfx::IGraphicsDevice& dev() { return dut_->device(); }

  // The three shaders and the vertex layout of the player's shader source.
  struct Program {
    gfx::Handle vs = gfx::kNone, layout = gfx::kNone, ps = gfx::kNone, psTex = gfx::kNone;
  };
  Program LoadProgram() {
    Program p;
    gfx::Handle vsBlob = gfx::kNone, psBlob = gfx::kNone, texBlob = gfx::kNone;
    EXPECT_EQ(dev().CompileShaderFromFile(ShaderPath(), "VS", "vs_4_1", &vsBlob), gfx::kOk);
    EXPECT_EQ(dev().CreateVertexShader(vsBlob, &p.vs), gfx::kOk);
    EXPECT_EQ(dev().CreateInputLayout(kMeshVertexLayout, 6, vsBlob, &p.layout), gfx::kOk);
    EXPECT_EQ(dev().CompileShaderFromFile(ShaderPath(), "PS", "ps_4_1", &psBlob), gfx::kOk);
    EXPECT_EQ(dev().CreatePixelShader(psBlob, &p.ps), gfx::kOk);
    EXPECT_EQ(dev().CompileShaderFromFile(ShaderPath(), "PS_TEX", "ps_4_1", &texBlob), gfx::kOk);
    EXPECT_EQ(dev().CreatePixelShader(texBlob, &p.psTex), gfx::kOk);
    for (gfx::Handle blob : {vsBlob, psBlob, texBlob}) dev().Release(blob);
    return p;
  }

  // Swap chain, back-buffer view, viewport over the frame, constant buffer,
  // program and pipeline bindings, ready for draws.
  struct Pipeline {
    Program program;
    gfx::Handle rtv = gfx::kNone, constants = gfx::kNone;
  };
  Pipeline MakePipeline() {
    Pipeline p;
    p.program = LoadProgram();
    EXPECT_EQ(dev().CreateSwapChain(kFrameSide, kFrameSide), gfx::kOk);
    EXPECT_EQ(dev().CreateRenderTargetView(&p.rtv), gfx::kOk);
    EXPECT_EQ(dev().CreateConstantBuffer(kShaderConstantsSize, &p.constants), gfx::kOk);
    dev().SetRenderTargets(p.rtv, gfx::kNone);
    gfx::Viewport viewport;
    viewport.width = viewport.height = kFrameSide;
    dev().SetViewport(viewport);
    dev().SetVertexShader(p.program.vs);
    dev().SetInputLayout(p.program.layout);
    dev().SetConstantBuffer(p.constants);
    dev().SetTriangleListTopology();
    return p;
  }

  gfx::Handle VertexBuffer(const std::vector<MeshVertex>& vertices) {
    gfx::Handle vb = gfx::kNone;
    EXPECT_EQ(
        dev().CreateVertexBuffer(vertices.data(),
                                 static_cast<uint32_t>(vertices.size() * sizeof(MeshVertex)), &vb),
        gfx::kOk);
    return vb;
  }

  // Writes constants and draws every vertex of vb with pixel shader ps.
  void DrawWith(const Pipeline& p, gfx::Handle vb, gfx::Handle ps, const ShaderConstants& c) {
    ASSERT_EQ(dev().UpdateConstantBuffer(p.constants, &c, sizeof c), gfx::kOk);
    dev().SetPixelShader(ps);
    dev().SetVertexBuffer(vb, sizeof(MeshVertex), 0);
    dev().Draw(12, 0);
  }

  // Pixel (x, y) of the last frame, when the device draws pixels.
  void ExpectPixel(uint32_t x, uint32_t y, Color expected) {
    if (auto pixel = dut_->Pixel(x, y)) {
      for (int k = 0; k < 4; ++k) EXPECT_NEAR((*pixel)[k], expected[k], 1) << "channel " << k;
    }
  }

  std::unique_ptr<DeviceUnderTest> dut_;
};

TYPED_TEST_SUITE(DeviceContract, ContractDevices, FactoryNames);

TYPED_TEST(DeviceContract, CreationRefusesZeroAndOversizedResources) {
  auto& dev = this->dev();
  struct Side {
    uint32_t width, height;
    bool accepted;
  };
  const uint32_t max = gfx::kMaxTextureSize;
  for (Side s : {Side{0, 4, false}, Side{4, 0, false}, Side{max + 1, 1, false},
                 Side{1, max + 1, false}, Side{max, 1, true}, Side{1, 1, true}}) {
    SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
    for (auto usage : {gfx::TextureUsage::Dynamic, gfx::TextureUsage::RenderTarget}) {
      gfx::Handle texture = 77;
      const int32_t hr =
          dev.CreateTexture2D({s.width, s.height, gfx::TextureFormat::RGBA8, usage}, &texture);
      EXPECT_EQ(hr, s.accepted ? gfx::kOk : gfx::kInvalidArg);
      EXPECT_EQ(texture != gfx::kNone, s.accepted);
      if (texture != gfx::kNone) dev.Release(texture);
    }
  }
  const uint8_t bytes[44] = {};
  gfx::Handle h = 77;
  EXPECT_EQ(dev.CreateVertexBuffer(bytes, 0, &h), gfx::kInvalidArg);
  EXPECT_EQ(dev.CreateVertexBuffer(nullptr, 44, &h), gfx::kInvalidArg);
  for (uint32_t size : {0u, 8u, 2561u}) {
    EXPECT_EQ(dev.CreateConstantBuffer(size, &h), gfx::kInvalidArg) << size;
    EXPECT_EQ(h, gfx::kNone);
  }
  EXPECT_EQ(dev.CreateDepthStencilView(0, 16, &h), gfx::kInvalidArg);
  EXPECT_EQ(dev.CreateRenderTargetView(&h), gfx::kFail);  // no swap chain yet
  EXPECT_EQ(dev.CreateSwapChain(0, 16), gfx::kInvalidArg);
  EXPECT_EQ(dev.CreateSwapChain(16, 0), gfx::kInvalidArg);
}

TYPED_TEST(DeviceContract, ConstantBufferUpdatesOnlyWholeBuffers) {
  auto& dev = this->dev();
  gfx::Handle cb = gfx::kNone;
  ASSERT_EQ(dev.CreateConstantBuffer(32, &cb), gfx::kOk);
  const std::vector<uint8_t> bytes(48, 5);
  EXPECT_EQ(dev.UpdateConstantBuffer(cb, bytes.data(), 32), gfx::kOk);
  for (uint32_t size : {0u, 16u, 31u, 48u}) {
    EXPECT_EQ(dev.UpdateConstantBuffer(cb, bytes.data(), size), gfx::kInvalidArg) << size;
  }
  EXPECT_EQ(dev.UpdateConstantBuffer(cb, nullptr, 32), gfx::kInvalidArg);
  gfx::Handle vb = gfx::kNone;
  ASSERT_EQ(dev.CreateVertexBuffer(bytes.data(), 32, &vb), gfx::kOk);
  EXPECT_EQ(dev.UpdateConstantBuffer(vb, bytes.data(), 32), gfx::kInvalidArg);  // not constants
  dev.Release(vb);
  dev.Release(cb);
  EXPECT_EQ(dev.UpdateConstantBuffer(cb, bytes.data(), 32), gfx::kInvalidArg);  // released
}

TYPED_TEST(DeviceContract, TexturesAreWrittenOnlyTheWayTheirUsageSays) {
  auto& dev = this->dev();
  gfx::Handle dynamic = gfx::kNone, target = gfx::kNone;
  ASSERT_EQ(
      dev.CreateTexture2D({4, 2, gfx::TextureFormat::RGBA8, gfx::TextureUsage::Dynamic}, &dynamic),
      gfx::kOk);
  ASSERT_EQ(dev.CreateTexture2D({4, 2, gfx::TextureFormat::BGRA8, gfx::TextureUsage::RenderTarget},
                                &target),
            gfx::kOk);
  const std::vector<uint8_t> pixels(64 * 2, 0x40);
  // The render target: whole contents, row pitch at least a row and whole texels.
  EXPECT_EQ(dev.UpdateTexture(target, pixels.data(), 16), gfx::kOk);
  EXPECT_EQ(dev.UpdateTexture(target, pixels.data(), 64), gfx::kOk);
  EXPECT_EQ(dev.UpdateTexture(target, pixels.data(), 12), gfx::kInvalidArg);
  EXPECT_EQ(dev.UpdateTexture(target, pixels.data(), 18), gfx::kInvalidArg);
  EXPECT_EQ(dev.UpdateTexture(target, nullptr, 16), gfx::kInvalidArg);
  gfx::MappedTexture mapped;
  EXPECT_EQ(dev.MapTexture(target, &mapped), gfx::kInvalidArg);
  EXPECT_EQ(mapped.data, nullptr);
  // The dynamic texture: through a mapping only, one at a time.
  EXPECT_EQ(dev.UpdateTexture(dynamic, pixels.data(), 16), gfx::kInvalidArg);
  ASSERT_EQ(dev.MapTexture(dynamic, &mapped), gfx::kOk);
  ASSERT_NE(mapped.data, nullptr);
  EXPECT_GE(mapped.rowPitch, 16u);
  gfx::MappedTexture again;
  EXPECT_EQ(dev.MapTexture(dynamic, &again), gfx::kInvalidArg);
  dev.UnmapTexture(dynamic);
  EXPECT_EQ(dev.MapTexture(dynamic, &again), gfx::kOk);
  dev.UnmapTexture(dynamic);
  dev.Release(dynamic);
  dev.Release(target);
}

TYPED_TEST(DeviceContract, EntryPointsAreWholeIdentifiersOfABoundedSource) {
  auto& dev = this->dev();
  struct Case {
    const char* entry;
    const char* profile;
    int32_t result;
  };
  const Case cases[] = {
      {"VS", "vs_4_1", gfx::kOk},         {"PS", "ps_4_1", gfx::kOk},
      {"PS_TEX", "ps_4_1", gfx::kOk},     {"PS_TE", "ps_4_1", gfx::kFail},
      {"S_TEX", "ps_4_1", gfx::kFail},    {"P", "ps_4_1", gfx::kFail},
      {"VS", "gs_4_0", gfx::kInvalidArg}, {"", "ps_4_1", gfx::kInvalidArg},
      {"PS", "PS_4_1", gfx::kInvalidArg},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.entry) + " " + c.profile);
    gfx::Handle blob = 77;
    EXPECT_EQ(dev.CompileShaderFromFile(ShaderPath(), c.entry, c.profile, &blob), c.result);
    EXPECT_EQ(blob != gfx::kNone, c.result == gfx::kOk);
    if (blob != gfx::kNone) dev.Release(blob);
  }
  const std::string dir = testing::MakeTempDir();
  gfx::Handle blob = gfx::kNone;
  EXPECT_EQ(dev.CompileShaderFromFile(dir + "absent.glsl", "VS", "vs_4_1", &blob), gfx::kFail);
  // The real source padded past the bound with a comment is not read.
  const std::string big = dir + "big.glsl";
  std::string text = ReadFile(ShaderPath());
  ASSERT_FALSE(text.empty());
  text += "//" + std::string(gfx::kMaxShaderSourceBytes, 'x') + "\n";
  std::ofstream(big, std::ios::binary) << text;
  EXPECT_EQ(dev.CompileShaderFromFile(big, "VS", "vs_4_1", &blob), gfx::kFail);
  EXPECT_EQ(blob, gfx::kNone);
}

TYPED_TEST(DeviceContract, ShadersComeFromBlobsOfTheirStageAndPixelShadersAfterAVertexShader) {
  auto& dev = this->dev();
  gfx::Handle vsBlob = gfx::kNone, psBlob = gfx::kNone, shader = gfx::kNone;
  ASSERT_EQ(dev.CompileShaderFromFile(ShaderPath(), "VS", "vs_4_1", &vsBlob), gfx::kOk);
  ASSERT_EQ(dev.CompileShaderFromFile(ShaderPath(), "PS", "ps_4_1", &psBlob), gfx::kOk);
  EXPECT_EQ(dev.CreatePixelShader(psBlob, &shader), gfx::kFail);  // no vertex shader yet
  EXPECT_EQ(dev.CreateVertexShader(psBlob, &shader), gfx::kInvalidArg);
  EXPECT_EQ(dev.CreatePixelShader(vsBlob, &shader), gfx::kInvalidArg);
  gfx::Handle vs = gfx::kNone, ps = gfx::kNone;
  ASSERT_EQ(dev.CreateVertexShader(vsBlob, &vs), gfx::kOk);
  EXPECT_EQ(dev.CreatePixelShader(psBlob, &ps), gfx::kOk);
  for (gfx::Handle h : {ps, vs, psBlob, vsBlob}) dev.Release(h);
}

TYPED_TEST(DeviceContract, InputLayoutsNameEverySemanticOnce) {
  auto& dev = this->dev();
  gfx::Handle vsBlob = gfx::kNone, psBlob = gfx::kNone;
  ASSERT_EQ(dev.CompileShaderFromFile(ShaderPath(), "VS", "vs_4_1", &vsBlob), gfx::kOk);
  ASSERT_EQ(dev.CompileShaderFromFile(ShaderPath(), "PS", "ps_4_1", &psBlob), gfx::kOk);
  struct Case {
    const char* name;
    std::vector<gfx::InputElement> elements;
  };
  auto layout = [](int drop, gfx::InputElement extra) {
    std::vector<gfx::InputElement> e(std::begin(kMeshVertexLayout), std::end(kMeshVertexLayout));
    if (drop >= 0) e.erase(e.begin() + drop);
    if (extra.semantic != nullptr) e.push_back(extra);
    return e;
  };
  const Case refused[] = {
      {"five elements", layout(5, {})},
      {"seven elements", layout(-1, {"WEIGHT", 1, 40})},
      {"a semantic twice", layout(5, {"BONE", 1, 40})},
      {"an unknown semantic", layout(5, {"COLOR", 1, 40})},
      {"no components", layout(5, {"WEIGHT", 0, 40})},
      {"five components", layout(5, {"WEIGHT", 5, 40})},
      {"none", {}},
  };
  gfx::Handle h = 77;
  for (const Case& c : refused) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(dev.CreateInputLayout(c.elements.data(), static_cast<uint32_t>(c.elements.size()),
                                    vsBlob, &h),
              gfx::kInvalidArg);
    EXPECT_EQ(h, gfx::kNone);
  }
  EXPECT_EQ(dev.CreateInputLayout(kMeshVertexLayout, 6, psBlob, &h), gfx::kInvalidArg);
  EXPECT_EQ(dev.CreateInputLayout(kMeshVertexLayout, 6, vsBlob, &h), gfx::kOk);
  // The elements in another order are the same layout.
  std::vector<gfx::InputElement> reversed(std::rbegin(kMeshVertexLayout),
                                          std::rend(kMeshVertexLayout));
  gfx::Handle other = gfx::kNone;
  EXPECT_EQ(dev.CreateInputLayout(reversed.data(), 6, vsBlob, &other), gfx::kOk);
  for (gfx::Handle handle : {h, other, vsBlob, psBlob}) dev.Release(handle);
}

TYPED_TEST(DeviceContract, ResizeNeedsASwapChainAPositiveSizeAndNoLiveBackBufferView) {
  auto& dev = this->dev();
  EXPECT_EQ(dev.ResizeBuffers(64, 64), gfx::kFail);
  ASSERT_EQ(dev.CreateSwapChain(160, 120), gfx::kOk);
  EXPECT_EQ(dev.ResizeBuffers(0, 64), gfx::kInvalidArg);
  EXPECT_EQ(dev.ResizeBuffers(64, 0), gfx::kInvalidArg);
  gfx::Handle rtv = gfx::kNone;
  ASSERT_EQ(dev.CreateRenderTargetView(&rtv), gfx::kOk);
  EXPECT_EQ(dev.ResizeBuffers(640, 480), gfx::kInvalidArg);
  dev.Release(rtv);
  EXPECT_EQ(dev.ResizeBuffers(640, 480), gfx::kOk);
  ASSERT_EQ(dev.CreateRenderTargetView(&rtv), gfx::kOk);
  dev.Release(rtv);
  if (const NullGraphicsDevice* records = this->dut_->records()) {
    EXPECT_EQ(records->SwapChainWidth(), 640u);
    EXPECT_EQ(records->SwapChainHeight(), 480u);
  }
}

TYPED_TEST(DeviceContract, EachDrawSeesTheConstantsOfItsOwnTime) {
  auto p = this->MakePipeline();
  const gfx::Handle left = this->VertexBuffer(Rectangle(-1, -1, 0, 1));
  const gfx::Handle right = this->VertexBuffer(Rectangle(0, -1, 1, 1));
  this->dut_->BeginFrame(kFrameSide, kFrameSide);
  const float blue[4] = {0, 0, 1, 1};
  this->dev().ClearRenderTarget(p.rtv, blue);
  this->DrawWith(p, left, p.program.ps, FlatConstants(1, 0, 0));
  this->DrawWith(p, right, p.program.ps, FlatConstants(0, 1, 0));
  // A refused update changes nothing: the next draw sees green still.
  const uint8_t shortWrite[16] = {};
  EXPECT_EQ(this->dev().UpdateConstantBuffer(p.constants, shortWrite, 16), gfx::kInvalidArg);
  this->dev().Draw(12, 0);
  EXPECT_EQ(this->dev().Present(), gfx::kOk);
  this->dut_->EndFrame();

  this->ExpectPixel(kFrameSide / 4, kFrameSide / 2, {255, 0, 0, 255});
  this->ExpectPixel(3 * kFrameSide / 4, kFrameSide / 2, {0, 255, 0, 255});
  if (const NullGraphicsDevice* records = this->dut_->records()) {
    ASSERT_EQ(records->draws().size(), 3u);
    ASSERT_EQ(records->clears().size(), 1u);
    EXPECT_EQ(records->clears()[0].rgba, (std::array<float, 4>{0, 0, 1, 1}));
    const size_t at = offsetof(ShaderConstants, color);
    const float expectedRed[3] = {1, 0, 0};
    for (size_t d = 0; d < 3; ++d) {
      const auto& draw = records->draws()[d];
      float red = 0, green = 0;
      std::memcpy(&red, draw.constants.data() + at, 4);
      std::memcpy(&green, draw.constants.data() + at + 4, 4);
      EXPECT_EQ(red, expectedRed[d]) << "draw " << d;
      EXPECT_EQ(green, 1 - expectedRed[d]) << "draw " << d;
      EXPECT_EQ(draw.vertexBuffer, d == 0 ? left : right);
      EXPECT_EQ(draw.stride, sizeof(MeshVertex));
      EXPECT_EQ(draw.pixelShaderEntry, "PS");
      EXPECT_EQ(draw.inputLayout, p.program.layout);
      EXPECT_EQ(draw.renderTarget, p.rtv);
      EXPECT_EQ(draw.viewport.width, kFrameSide);
    }
  }
}

// A buffer made at its size fills in ranges that split vertices; a range
// reaching past its end (wrapping included), no data, no bytes or a handle
// of another kind is refused and writes nothing; a draw made before an
// update sees the contents of its own time.
TYPED_TEST(DeviceContract, VertexBuffersFillInRangesThatEachDrawSeesAtItsTime) {
  auto p = this->MakePipeline();
  auto& dev = this->dev();
  const std::vector<MeshVertex> left = Rectangle(-1, -1, 0, 1);
  const std::vector<MeshVertex> right = Rectangle(0, -1, 1, 1);
  const auto* leftBytes = reinterpret_cast<const uint8_t*>(left.data());
  const auto* rightBytes = reinterpret_cast<const uint8_t*>(right.data());
  const uint32_t size = static_cast<uint32_t>(left.size() * sizeof(MeshVertex));
  gfx::Handle vb = 77;
  EXPECT_EQ(dev.CreateVertexBufferOfSize(0, &vb), gfx::kInvalidArg);
  EXPECT_EQ(vb, gfx::kNone);
  ASSERT_EQ(dev.CreateVertexBufferOfSize(size, &vb), gfx::kOk);
  for (auto [offset, bytes] :
       {std::pair<uint32_t, uint32_t>{0, 100}, {100, 200}, {300, size - 300}}) {
    ASSERT_EQ(dev.UpdateVertexBuffer(vb, offset, leftBytes + offset, bytes), gfx::kOk) << offset;
  }
  struct Refused {
    const char* name;
    gfx::Handle buffer;
    uint32_t offset;
    const void* data;
    uint32_t bytes;
  };
  for (const Refused& r :
       {Refused{"past the end", vb, size - 43, rightBytes, 44},
        Refused{"starting past the end", vb, size + 1, rightBytes, 1},
        Refused{"wrapping past 2^32", vb, UINT32_MAX, rightBytes, 2},
        Refused{"no data", vb, 0, nullptr, 44}, Refused{"no bytes", vb, 0, rightBytes, 0},
        Refused{"a constant buffer", p.constants, 0, rightBytes, 16},
        Refused{"no buffer", gfx::kNone, 0, rightBytes, 44}}) {
    EXPECT_EQ(dev.UpdateVertexBuffer(r.buffer, r.offset, r.data, r.bytes), gfx::kInvalidArg)
        << r.name;
  }

  this->dut_->BeginFrame(kFrameSide, kFrameSide);
  const float blue[4] = {0, 0, 1, 1};
  dev.ClearRenderTarget(p.rtv, blue);
  this->DrawWith(p, vb, p.program.ps, FlatConstants(1, 0, 0));
  ASSERT_EQ(dev.UpdateVertexBuffer(vb, 0, rightBytes, size), gfx::kOk);
  this->DrawWith(p, vb, p.program.ps, FlatConstants(0, 1, 0));
  EXPECT_EQ(dev.Present(), gfx::kOk);
  this->dut_->EndFrame();

  this->ExpectPixel(kFrameSide / 4, kFrameSide / 2, {255, 0, 0, 255});
  this->ExpectPixel(3 * kFrameSide / 4, kFrameSide / 2, {0, 255, 0, 255});
  if (const NullGraphicsDevice* records = this->dut_->records()) {
    ASSERT_EQ(records->draws().size(), 2u);
    EXPECT_EQ(records->draws()[0].vertexBuffer, vb);
    EXPECT_EQ(records->BufferContents(vb), std::vector<uint8_t>(rightBytes, rightBytes + size));
  }
  dev.Release(vb);
}

// Frames that open like the renderer's (clears, a background pass, a depth
// clear, the scene) show their own background whatever changed since the
// last frame, also when the change comes after a run of equal frames: its
// constants, only its view direction (which the unlit shader does not
// read), the texture or the vertices it draws from. In the scene, an
// invisible draw still hides what it is in front of, and one that ends
// the frame shows nothing.
TYPED_TEST(DeviceContract, EveryFrameShowsItsOwnBackground) {
  auto p = this->MakePipeline();
  auto& dev = this->dev();
  gfx::Handle depth = gfx::kNone, blend = gfx::kNone, texture = gfx::kNone, view = gfx::kNone;
  ASSERT_EQ(dev.CreateDepthStencilView(kFrameSide, kFrameSide, &depth), gfx::kOk);
  ASSERT_EQ(dev.CreateBlendState(&blend), gfx::kOk);
  ASSERT_EQ(dev.CreateTexture2D({1, 1, gfx::TextureFormat::RGBA8, gfx::TextureUsage::RenderTarget},
                                &texture),
            gfx::kOk);
  ASSERT_EQ(dev.CreateShaderResourceView(texture, &view), gfx::kOk);
  const std::vector<MeshVertex> leftHalf = Rectangle(-1, -1, 0, 1),
                                topLeft = Rectangle(-1, 0, 0, 1);
  const uint32_t bytes = static_cast<uint32_t>(leftHalf.size() * sizeof(MeshVertex));
  gfx::Handle background = gfx::kNone;
  ASSERT_EQ(dev.CreateVertexBufferOfSize(bytes, &background), gfx::kOk);
  const gfx::Handle rightTop = this->VertexBuffer(Rectangle(0, 0, 1, 1));
  const gfx::Handle right = this->VertexBuffer(Rectangle(0, -1, 1, 1));
  const gfx::Handle all = this->VertexBuffer(Rectangle(-1, -1, 1, 1));

  struct Step {
    const char* what;
    Color texel;
    float green;                // the background's material green
    float viewZ;                // its view direction's z
    bool topLeftOnly;           // its vertices
    Color topLeft, bottomLeft;  // expected
  };
  const Color blue = {0, 0, 255, 255}, sky = {0, 128, 255, 255}, red = {255, 0, 0, 255};
  const Step steps[] = {
      {"first frames", sky, 1, -1, false, sky, sky},
      {"view direction only", sky, 1, 1, false, sky, sky},
      {"constants", sky, 0, 1, false, blue, blue},
      {"texture written", red, 0, 1, false, red, red},
      {"vertices written", red, 0, 1, true, red, blue},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    ASSERT_EQ(dev.UpdateTexture(texture, step.texel.data(), 4), gfx::kOk);
    const auto& vertices = step.topLeftOnly ? topLeft : leftHalf;
    ASSERT_EQ(dev.UpdateVertexBuffer(background, 0, vertices.data(), bytes), gfx::kOk);
    for (int frame = 0; frame < 3; ++frame) {
      this->dut_->BeginFrame(kFrameSide, kFrameSide);
      dev.SetRenderTargets(p.rtv, depth);
      dev.SetBlendState(blend);
      const float clear[4] = {0, 0, 1, 1};
      dev.ClearRenderTarget(p.rtv, clear);
      dev.ClearDepth(depth, 1.0f);
      ShaderConstants c = FlatConstants(1, step.green, 1);
      c.viewDirection = c.viewDirection2 = Vec4{0, 0, step.viewZ, 0};
      dev.SetShaderResource(view);
      this->DrawWith(p, background, p.program.psTex, c);
      dev.ClearDepth(depth, 1.0f);
      this->DrawWith(p, rightTop, p.program.ps, FlatConstants(1, 1, 1, 0));
      this->DrawWith(p, right, p.program.ps, FlatConstants(0, 1, 0));
      this->DrawWith(p, all, p.program.ps, FlatConstants(1, 1, 1, 0));
      EXPECT_EQ(dev.Present(), gfx::kOk);
      this->dut_->EndFrame();
      SCOPED_TRACE(frame);
      this->ExpectPixel(kFrameSide / 4, 3 * kFrameSide / 4, step.bottomLeft);
      this->ExpectPixel(kFrameSide / 4, kFrameSide / 4, step.topLeft);
      this->ExpectPixel(3 * kFrameSide / 4, kFrameSide / 4, blue);
      this->ExpectPixel(3 * kFrameSide / 4, 3 * kFrameSide / 4, {0, 255, 0, 255});
    }
  }
  for (gfx::Handle h : {view, texture, background, rightTop, right, all, blend, depth}) {
    dev.Release(h);
  }
}

TYPED_TEST(DeviceContract, AViewKeepsItsMappedTextureForTheTexturedShader) {
  auto p = this->MakePipeline();
  auto& dev = this->dev();
  gfx::Handle texture = gfx::kNone, view = gfx::kNone;
  ASSERT_EQ(dev.CreateTexture2D({2, 2}, &texture), gfx::kOk);
  gfx::MappedTexture mapped;
  ASSERT_EQ(dev.MapTexture(texture, &mapped), gfx::kOk);
  for (uint32_t y = 0; y < 2; ++y) {
    for (uint32_t x = 0; x < 2; ++x) {
      uint8_t* texel = mapped.data + y * mapped.rowPitch + x * 4;
      texel[0] = 0;
      texel[1] = 0x80;
      texel[2] = 0xFF;
      texel[3] = 0xFF;
    }
  }
  dev.UnmapTexture(texture);
  ASSERT_EQ(dev.CreateShaderResourceView(texture, &view), gfx::kOk);
  dev.Release(texture);  // the view keeps it

  const gfx::Handle all = this->VertexBuffer(Rectangle(-1, -1, 1, 1));
  this->dut_->BeginFrame(kFrameSide, kFrameSide);
  dev.SetShaderResource(view);
  this->DrawWith(p, all, p.program.psTex, FlatConstants(1, 1, 1));
  EXPECT_EQ(dev.Present(), gfx::kOk);
  this->dut_->EndFrame();

  this->ExpectPixel(kFrameSide / 2, kFrameSide / 2, {0, 0x80, 0xFF, 0xFF});
  if (const NullGraphicsDevice* records = this->dut_->records()) {
    ASSERT_EQ(records->draws().size(), 1u);
    EXPECT_EQ(records->draws()[0].shaderResource, view);
    EXPECT_EQ(records->draws()[0].pixelShaderEntry, "PS_TEX");
    EXPECT_EQ(records->Texel(view, 1, 1), (std::array<uint8_t, 4>{0, 0x80, 0xFF, 0xFF}));
  }
  dev.Release(view);
}

}  // namespace
}  // namespace tolvani::contract
