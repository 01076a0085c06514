// Renderer set-up, resize, teardown and shader loading on the null device.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "base/program_directory.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "render/null_device.h"
#include "render/renderer.h"
#include "render/shader_constants.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using Op = NullGraphicsDevice::Op;
using Kind = NullGraphicsDevice::Kind;

class RendererDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::MakeTempDir();
    SetProgramDirectory(testing::U16(dir_));
    scene = std::make_unique<CCoreMotion3D>();
  }
  void TearDown() override {
    scene.reset();
    SetProgramDirectory(u"");
  }
  // Writes DoNotTouch/CoreShader.glsl beside the (pretend) program.
  void WriteShader(const std::string& text) {
    std::filesystem::create_directories(dir_ + "DoNotTouch");
    std::ofstream(dir_ + "DoNotTouch/CoreShader.glsl") << text;
  }
  void WriteRealShader() {
    std::ifstream in(std::string(TOLVANI_SOURCE_DIR) + "/shaders/CoreShader.glsl");
    ASSERT_TRUE(in.good());
    WriteShader(std::string(std::istreambuf_iterator<char>(in), {}));
  }

  std::string dir_;
  testing::RecordingPlatform platform;
  NullGraphicsDevice device;
  std::unique_ptr<CCoreMotion3D> scene;
};

TEST_F(RendererDevice, CreatesEveryObjectAtTheInitialSizeAndLoadsTheShaderProgram) {
  WriteRealShader();
  ASSERT_EQ(CreateRenderer(*scene, &device, nullptr), gfx::kOk);
  const RenderState& r = scene->render;
  EXPECT_EQ(r.device, &device);
  EXPECT_TRUE(device.HasSwapChain());
  EXPECT_EQ(device.SwapChainWidth(), 160u);
  EXPECT_EQ(device.SwapChainHeight(), 120u);
  EXPECT_EQ(device.KindOf(r.renderTargetView), Kind::RenderTargetView);
  EXPECT_EQ(device.KindOf(r.depthStencilView), Kind::DepthStencilView);
  EXPECT_EQ(device.KindOf(r.rasterizerState), Kind::RasterizerState);
  EXPECT_EQ(device.KindOf(r.samplerState), Kind::SamplerState);
  EXPECT_EQ(device.KindOf(r.blendState), Kind::BlendState);
  EXPECT_EQ(device.KindOf(r.inputLayout), Kind::InputLayout);
  EXPECT_EQ(device.KindOf(r.constantBuffer), Kind::ConstantBuffer);
  EXPECT_EQ(device.BufferSize(r.constantBuffer), kShaderConstantsSize);
  EXPECT_EQ(device.ShaderEntry(r.vertexShader), "VS");
  EXPECT_EQ(device.ShaderEntry(r.pixelShader), "PS");
  EXPECT_EQ(device.ShaderEntry(r.texturedPixelShader), "PS_TEX");
  // The balloon card texture: 1024 x 1024 BGRA, a render target, with its view.
  const gfx::TextureDesc card = device.TextureDescOf(r.balloonTextureView);
  EXPECT_EQ(card.width, 1024u);
  EXPECT_EQ(card.height, 1024u);
  EXPECT_EQ(card.format, gfx::TextureFormat::BGRA8);
  EXPECT_EQ(card.usage, gfx::TextureUsage::RenderTarget);
  EXPECT_TRUE(card.mipmapped);
  EXPECT_EQ(r.viewport.width, 160u);
  EXPECT_EQ(r.viewport.height, 120u);
  EXPECT_EQ(r.viewport.minDepth, 0.0f);
  EXPECT_EQ(r.viewport.maxDepth, 1.0f);
  EXPECT_TRUE(platform.messages.empty());
  // Shader blobs are not kept once the shaders exist.
  EXPECT_EQ(device.LiveObjectCount(Kind::ShaderBlob), 0u);
  DestroyRenderer(*scene);
}

TEST_F(RendererDevice, ShaderFailuresShowTheirMessageAndStopAtTheFirst) {
  struct Case {
    const char* name;
    std::string shader;      // empty: no file at all
    Op failOp = Op::kCount;  // a device call made to fail
    uint64_t failCall = 1;
    const char16_t* message;     // nullptr: no message
    bool vs, layout, ps, psTex;  // which objects exist afterwards
  };
  const Case cases[] = {
      {"missing file", "", Op::kCount, 1, u"hlsl読み込み失敗", false, false, false, false},
      {"no PS_TEX entry", "VS PS\n", Op::kCount, 1, u"hlsl読み込み失敗", true, true, true, false},
      {"vertex shader", "VS PS PS_TEX", Op::CreateVertexShader, 1,
       u"バーテックスシェーダー作成失敗", false, false, false, false},
      {"input layout", "VS PS PS_TEX", Op::CreateInputLayout, 1, nullptr, true, false, false,
       false},
      {"plain pixel shader", "VS PS PS_TEX", Op::CreatePixelShader, 1,
       u"ピクセルシェーダー作成失敗", true, true, false, false},
      {"textured pixel shader", "VS PS PS_TEX", Op::CreatePixelShader, 2,
       u"ピクセルシェーダー作成失敗", true, true, true, false},
      {"constant buffer", "VS PS PS_TEX", Op::CreateConstantBuffer, 1, nullptr, true, true, true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NullGraphicsDevice dev;
    std::filesystem::remove_all(dir_ + "DoNotTouch");
    if (!c.shader.empty()) WriteShader(c.shader);
    if (c.failOp != Op::kCount) dev.FailCall(c.failOp, c.failCall);
    platform.Clear();
    CCoreMotion3D s;
    EXPECT_EQ(CreateRenderer(s, &dev, nullptr), gfx::kFail);
    if (c.message) {
      ASSERT_EQ(platform.MessageTexts().size(), 1u);
      EXPECT_EQ(platform.MessageTexts()[0], c.message);
    } else {
      EXPECT_TRUE(platform.messages.empty());
    }
    EXPECT_EQ(s.render.vertexShader != gfx::kNone, c.vs);
    EXPECT_EQ(s.render.inputLayout != gfx::kNone, c.layout);
    EXPECT_EQ(s.render.pixelShader != gfx::kNone, c.ps);
    EXPECT_EQ(s.render.texturedPixelShader != gfx::kNone, c.psTex);
    EXPECT_EQ(s.render.constantBuffer, gfx::kNone);
    // Whatever was made is released by the teardown, and nothing twice.
    DestroyRenderer(s);
    EXPECT_EQ(dev.LiveObjectCount(), 0u);
    EXPECT_EQ(dev.BadReleaseCount(), 0u);
  }
}

TEST_F(RendererDevice, ShaderPathComesFromTheProgramDirectoryNotTheCurrentOne) {
  const std::string elsewhere = testing::MakeTempDir();
  std::filesystem::create_directories(elsewhere + "DoNotTouch");
  std::ofstream(elsewhere + "DoNotTouch/CoreShader.glsl") << "VS PS PS_TEX";
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(elsewhere);
  EXPECT_EQ(CreateRenderer(*scene, &device, nullptr), gfx::kFail);
  std::filesystem::current_path(previous);
  EXPECT_EQ(platform.MessageTexts(), std::vector<std::u16string>{u"hlsl読み込み失敗"});
  DestroyRenderer(*scene);
}

TEST_F(RendererDevice, SwapChainFailureStopsBeforeAnyOtherObject) {
  WriteShader("VS PS PS_TEX");
  device.FailAlways(Op::CreateSwapChain);
  EXPECT_EQ(CreateRenderer(*scene, &device, nullptr), gfx::kFail);
  EXPECT_EQ(device.LiveObjectCount(), 0u);
  EXPECT_EQ(device.CallCount(Op::CompileShaderFromFile), 0u);
  EXPECT_TRUE(platform.messages.empty());
  // Nothing was made, and a resize before a working creation does nothing.
  ResizeRenderer(*scene, 800, 600);
  EXPECT_EQ(scene->width, 160);
  DestroyRenderer(*scene);
  EXPECT_EQ(device.BadReleaseCount(), 0u);
}

TEST_F(RendererDevice, FixedStateFailuresFailCreationAfterTheShadersAreLoaded) {
  WriteShader("VS PS PS_TEX");
  // What fails, what creation returns, what was still made before the
  // failure (null: nothing to check) and what was never made after it.
  struct Case {
    Op fails;
    int32_t result;
    gfx::Handle RenderState::*made;
    gfx::Handle RenderState::*skipped;
  };
  const Case cases[] = {
      {Op::CreateRasterizerState, gfx::kFail, &RenderState::constantBuffer,
       &RenderState::balloonTexture},
      {Op::CreateTexture2D, gfx::kFail, &RenderState::texturedPixelShader,
       &RenderState::balloonTextureView},
      // The sampler's result is not looked at.
      {Op::CreateSamplerState, gfx::kOk, nullptr, &RenderState::samplerState},
  };
  for (const Case& c : cases) {
    NullGraphicsDevice dev;
    dev.FailAlways(c.fails);
    CCoreMotion3D s;
    EXPECT_EQ(CreateRenderer(s, &dev, nullptr), c.result);
    if (c.made) {
      EXPECT_NE(s.render.*c.made, gfx::kNone);
    }
    EXPECT_EQ(s.render.*c.skipped, gfx::kNone);
    DestroyRenderer(s);
    EXPECT_EQ(dev.LiveObjectCount(), 0u);
  }
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(RendererDevice, ResizeIgnoresSizesBelowOneHundredAndRebuildsTargetsOtherwise) {
  WriteShader("VS PS PS_TEX");
  // Before creation nothing happens.
  ResizeRenderer(*scene, 640, 480);
  EXPECT_EQ(scene->width, 160);
  EXPECT_EQ(scene->height, 120);

  ASSERT_EQ(CreateRenderer(*scene, &device, nullptr), gfx::kOk);
  ResizeRenderer(*scene, 640, 480);
  const gfx::Handle rtv = scene->render.renderTargetView;
  const gfx::Handle shaders = scene->render.vertexShader;
  for (auto [w, h] : {std::pair{99, 600}, {600, 99}, {0, 0}, {-5, 400}}) {
    ResizeRenderer(*scene, w, h);
    EXPECT_EQ(scene->width, 640);
    EXPECT_EQ(scene->height, 480);
    EXPECT_EQ(scene->render.viewport.width, 640u);
    EXPECT_EQ(scene->render.viewport.height, 480u);
    EXPECT_EQ(device.SwapChainWidth(), 640u);
    EXPECT_EQ(scene->render.renderTargetView, rtv);
  }
  ResizeRenderer(*scene, 100, 100);
  EXPECT_EQ(scene->width, 100);
  EXPECT_EQ(scene->height, 100);
  EXPECT_EQ(device.SwapChainWidth(), 100u);
  EXPECT_EQ(device.SwapChainHeight(), 100u);
  EXPECT_EQ(scene->render.viewport.width, 100u);
  EXPECT_EQ(scene->render.viewport.height, 100u);
  EXPECT_FALSE(device.Alive(rtv));
  EXPECT_EQ(device.KindOf(scene->render.renderTargetView), Kind::RenderTargetView);
  EXPECT_EQ(device.KindOf(scene->render.depthStencilView), Kind::DepthStencilView);
  EXPECT_EQ(device.KindOf(scene->render.blendState), Kind::BlendState);
  // Only the targets and the blend state are rebuilt.
  EXPECT_EQ(scene->render.vertexShader, shaders);
  EXPECT_EQ(device.LiveObjectCount(Kind::RenderTargetView), 1u);
  EXPECT_EQ(device.LiveObjectCount(Kind::DepthStencilView), 1u);
  EXPECT_EQ(device.LiveObjectCount(Kind::BlendState), 1u);
  DestroyRenderer(*scene);
}

TEST_F(RendererDevice, DestroyReleasesEverythingOnceAndASecondCallNothing) {
  WriteRealShader();
  ASSERT_EQ(CreateRenderer(*scene, &device, nullptr), gfx::kOk);
  ResizeRenderer(*scene, 300, 200);
  // A loaded model's buffer goes with the scene reset that the teardown runs.
  scene->models.emplace_back();
  MeshGroup group;
  group.vertices.resize(3);
  ASSERT_EQ(
      device.CreateVertexBuffer(group.vertices.data(), 3 * sizeof(MeshVertex), &group.vertexBuffer),
      gfx::kOk);
  scene->models.back().groups.push_back(group);

  DestroyRenderer(*scene);
  EXPECT_EQ(device.LiveObjectCount(), 0u);
  EXPECT_TRUE(scene->models.empty());
  const RenderState& r = scene->render;
  for (gfx::Handle h :
       {r.renderTargetView, r.depthStencilView, r.rasterizerState, r.samplerState, r.blendState,
        r.inputLayout, r.vertexShader, r.pixelShader, r.texturedPixelShader, r.constantBuffer,
        r.balloonTexture, r.balloonTextureView, r.swapChain}) {
    EXPECT_EQ(h, gfx::kNone);
  }
  EXPECT_EQ(r.device, nullptr);
  DestroyRenderer(*scene);
  EXPECT_EQ(device.BadReleaseCount(), 0u);
  // Resizing after the teardown is ignored.
  ResizeRenderer(*scene, 400, 400);
  EXPECT_EQ(scene->width, 300);
}

}  // namespace
}  // namespace tolvani

namespace tolvani {
namespace {

TEST(NullDeviceRecords, ALongRunKeepsBoundedRecordsAndTheLastFrameWhole) {
  NullGraphicsDevice device;
  ASSERT_EQ(device.CreateSwapChain(64, 64), gfx::kOk);
  gfx::Handle rtv = gfx::kNone;
  ASSERT_EQ(device.CreateRenderTargetView(&rtv), gfx::kOk);
  const float black[4] = {0, 0, 0, 1};
  // Frames of one clear and three draws, the last frame's draws numbered.
  constexpr uint32_t kFrames = 5000;
  for (uint32_t frame = 0; frame < kFrames; ++frame) {
    device.ClearRenderTarget(rtv, black);
    for (uint32_t d = 0; d < 3; ++d) device.Draw(frame * 3 + d, 0);
    ASSERT_EQ(device.Present(), gfx::kOk);
    ASSERT_LE(device.draws().size(), NullGraphicsDevice::kRetainedDraws + 3);
  }
  EXPECT_EQ(device.presentCount(), kFrames);
  // The records that remain end with the last frame, whole and consistent.
  const auto& events = device.events();
  ASSERT_GE(events.size(), 5u);
  const auto last = events.end() - 5;
  EXPECT_EQ(last[0].kind, NullGraphicsDevice::EventKind::Clear);
  for (int d = 0; d < 3; ++d) {
    ASSERT_EQ(last[1 + d].kind, NullGraphicsDevice::EventKind::Draw);
    EXPECT_EQ(device.draws()[last[1 + d].index].vertexCount, (kFrames - 1) * 3 + d);
  }
  EXPECT_EQ(last[4].kind, NullGraphicsDevice::EventKind::Present);
  EXPECT_EQ(last[4].index, kFrames - 1);
  EXPECT_EQ(device.clears()[last[0].index].renderTarget, rtv);
  // A frame that never presents is bounded as well.
  device.ClearRecords();
  for (size_t i = 0; i < NullGraphicsDevice::kMaxFrameEvents + 10; ++i) device.Draw(1, 0);
  EXPECT_LE(device.draws().size(), NullGraphicsDevice::kMaxFrameEvents);
  EXPECT_EQ(device.events().back().index, device.draws().size() - 1);
}

}  // namespace
}  // namespace tolvani
