// The OpenGL device's unchanged frames: a frame equal to the last issued one
// is not issued again and the target keeps its image; any change to what
// the frame draws, to its target or to a texture is issued.
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "contract/device_contract.h"
#include "contract/draw_kit.h"
#include "render/gl/opengl_device.h"

namespace tolvani::contract {
namespace {

constexpr uint32_t kSide = 16;

// What one frame draws: a clear, then `draws` draws of a rectangle over the
// left half, in colour rgb, through a viewport `viewportWidth` wide.
struct FrameSpec {
  float clear[4] = {0, 0, 1, 1};
  float rgb[3] = {1, 0, 0};
  int draws = 1;
  uint32_t viewportWidth = kSide;
  uint32_t side = kSide;
};

using Image = std::vector<std::array<uint8_t, 4>>;

class OpenGLUnchangedFrames : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    dut_ = OpenGLDeviceFactory::Make(&whyNot);
    if (dut_ == nullptr) GTEST_SKIP() << "OpenGL device unavailable: " << whyNot;
    gl_ = dynamic_cast<gl::OpenGLDevice*>(&dut_->device());
    ASSERT_NE(gl_, nullptr);
    ASSERT_TRUE(CreatePlainPipeline(*gl_, &vs_, &layout_, &ps_));
    ASSERT_EQ(gl_->CreateSwapChain(kSide, kSide), gfx::kOk);
    ASSERT_EQ(gl_->CreateRenderTargetView(&rtv_), gfx::kOk);
    ASSERT_EQ(gl_->CreateConstantBuffer(kShaderConstantsSize, &constants_), gfx::kOk);
    const auto rect = Rectangle(-1, -1, 0, 1);
    ASSERT_EQ(gl_->CreateVertexBuffer(
                  rect.data(), static_cast<uint32_t>(rect.size() * sizeof(MeshVertex)), &rect_),
              gfx::kOk);
    gl_->SetSkipUnchangedFrames(true);
  }

  // Begins a frame of side x side pixels with the plain pipeline bound,
  // drawing the rectangle through a viewport viewportWidth wide.
  void BeginBound(uint32_t side, uint32_t viewportWidth, gfx::Handle depth = gfx::kNone) {
    dut_->BeginFrame(side, side);
    gl_->SetRenderTargets(rtv_, depth);
    gfx::Viewport viewport;
    viewport.width = viewportWidth;
    viewport.height = side;
    gl_->SetViewport(viewport);
    gl_->SetVertexShader(vs_);
    gl_->SetPixelShader(ps_);
    gl_->SetInputLayout(layout_);
    gl_->SetConstantBuffer(constants_);
    gl_->SetVertexBuffer(rect_, sizeof(MeshVertex), 0);
  }

  void Draw(const FrameSpec& f) {
    BeginBound(f.side, f.viewportWidth);
    gl_->ClearRenderTarget(rtv_, f.clear);
    for (int d = 0; d < f.draws; ++d) {
      const ShaderConstants c = FlatConstants(f.rgb[0], f.rgb[1], f.rgb[2]);
      ASSERT_EQ(gl_->UpdateConstantBuffer(constants_, &c, sizeof c), gfx::kOk);
      gl_->Draw(12, 0);
    }
    ASSERT_EQ(gl_->Present(), gfx::kOk);
    dut_->EndFrame();
  }

  Image Pixels(uint32_t side = kSide) {
    Image image;
    for (uint32_t y = 0; y < side; ++y) {
      for (uint32_t x = 0; x < side; ++x) image.push_back(dut_->Pixel(x, y).value());
    }
    return image;
  }

  // Paints the frame's target green behind the device's back.
  void Scribble() {
    dut_->BeginFrame(kSide, kSide);  // binds the target
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_EQ(gl_->Present(), gfx::kOk);  // nothing recorded: nothing issued
    dut_->EndFrame();
  }

  std::unique_ptr<DeviceUnderTest> dut_;
  gl::OpenGLDevice* gl_ = nullptr;
  gfx::Handle vs_ = gfx::kNone, layout_ = gfx::kNone, ps_ = gfx::kNone, rtv_ = gfx::kNone;
  gfx::Handle constants_ = gfx::kNone, rect_ = gfx::kNone;
};

TEST_F(OpenGLUnchangedFrames, EqualFramesIssueNothingUntilTheTargetIsForgotten) {
  const FrameSpec still;
  Draw(still);
  const Image drawn = Pixels();
  EXPECT_EQ(drawn.front(), (std::array<uint8_t, 4>{255, 0, 0, 255}));
  EXPECT_EQ(drawn.back(), (std::array<uint8_t, 4>{0, 0, 255, 255}));
  const uint64_t issued = gl_->issueCount();
  for (int i = 0; i < 3; ++i) Draw(still);
  EXPECT_EQ(gl_->issueCount(), issued);
  EXPECT_EQ(gl_->skippedFrameCount(), 3u);
  EXPECT_EQ(Pixels(), drawn);
  Scribble();
  Draw(still);  // equal: the scribble stays
  EXPECT_EQ(dut_->Pixel(kSide - 1, 0).value(), (std::array<uint8_t, 4>{0, 255, 0, 255}));
  gl_->ForgetLastFrame();
  Draw(still);
  EXPECT_EQ(Pixels(), drawn);
}

TEST_F(OpenGLUnchangedFrames, EveryChangeIsIssuedAndThenSkippedWhileItStays) {
  struct Case {
    const char* what;
    FrameSpec frame;
  };
  std::vector<Case> cases(5);
  cases[0].what = "constants";
  cases[0].frame.rgb[1] = 1;
  cases[1].what = "clear colour";
  cases[1].frame.clear[0] = 1;
  cases[2].what = "one more draw";
  cases[2].frame.draws = 2;
  cases[3].what = "viewport";
  cases[3].frame.viewportWidth = kSide / 2;
  cases[4].what = "target size";
  cases[4].frame.side = kSide / 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gl_->ForgetLastFrame();
    Draw(FrameSpec{});
    const Image before = Pixels();
    const uint64_t issued = gl_->issueCount();
    Draw(c.frame);
    EXPECT_EQ(gl_->issueCount(), issued + 1);
    const Image changed = Pixels(c.frame.side);
    if (c.frame.draws == 1) {
      EXPECT_NE(changed, before);
    }
    Draw(c.frame);
    EXPECT_EQ(gl_->issueCount(), issued + 1);
    EXPECT_EQ(Pixels(c.frame.side), changed);
  }
}

TEST_F(OpenGLUnchangedFrames, ATextureWrittenSinceIsIssued) {
  gfx::TextureDesc desc;
  desc.width = desc.height = 2;
  desc.usage = gfx::TextureUsage::RenderTarget;
  gfx::Handle texture = gfx::kNone;
  ASSERT_EQ(gl_->CreateTexture2D(desc, &texture), gfx::kOk);
  Draw(FrameSpec{});
  const uint64_t issued = gl_->issueCount();
  const std::vector<uint8_t> texels(16, 7);
  ASSERT_EQ(gl_->UpdateTexture(texture, texels.data(), 8), gfx::kOk);
  Draw(FrameSpec{});
  EXPECT_EQ(gl_->issueCount(), issued + 1);
  gl_->Release(texture);
}

TEST_F(OpenGLUnchangedFrames, FramesIssuedInPartsAndDevicesWithoutTheOptionAlwaysDraw) {
  FrameSpec large;
  large.draws = static_cast<int>(gl::OpenGLDevice::kMaxBatchCommands) + 1;
  Draw(large);
  const uint64_t issued = gl_->issueCount();
  Draw(large);
  EXPECT_GT(gl_->issueCount(), issued);
  EXPECT_EQ(gl_->skippedFrameCount(), 0u);

  gl_->SetSkipUnchangedFrames(false);
  Draw(FrameSpec{});
  Draw(FrameSpec{});
  Draw(FrameSpec{});
  EXPECT_EQ(gl_->skippedFrameCount(), 0u);
  EXPECT_EQ(gl_->issueCount(), issued + 5);
}

// Pictures are kept on the second frame that opens alike and copied from
// the third on: the background's, and the scene's up to its first draw
// that differs from the last frame's (here one whose colour changes every
// frame, hidden behind an invisible draw's depth, which the copy must
// bring back); a depth-only draw that ends the frame is left out. Off,
// every command is issued. (What frames show on every device is the
// contract's EveryFrameShowsItsOwnBackground.)
TEST_F(OpenGLUnchangedFrames, WhatTwoFramesOpenWithIsCopiedAfterwards) {
  gfx::Handle depth = gfx::kNone, blend = gfx::kNone;
  ASSERT_EQ(gl_->CreateDepthStencilView(kSide, kSide, &depth), gfx::kOk);
  ASSERT_EQ(gl_->CreateBlendState(&blend), gfx::kOk);
  gl_->SetSkipUnchangedFrames(false);
  int frames = 0;
  auto frame = [&] {
    BeginBound(kSide, kSide, depth);
    gl_->SetBlendState(blend);
    const float clear[4] = {0, 0, 1, 1};
    gl_->ClearRenderTarget(rtv_, clear);
    gl_->ClearDepth(depth, 1.0f);
    const float changing = static_cast<float>(++frames % 2);
    for (const ShaderConstants& c : {FlatConstants(1, 0, 0), FlatConstants(1, 1, 1, 0),
                                     FlatConstants(0, changing, 1), FlatConstants(1, 1, 1, 0)}) {
      ASSERT_EQ(gl_->UpdateConstantBuffer(constants_, &c, sizeof c), gfx::kOk);
      gl_->Draw(12, 0);
      if (c.color.x == 1 && c.color.w == 1) gl_->ClearDepth(depth, 1.0f);
    }
    ASSERT_EQ(gl_->Present(), gfx::kOk);
    dut_->EndFrame();
    EXPECT_EQ(Pixels().front(), (std::array<uint8_t, 4>{255, 0, 0, 255})) << "frame " << frames;
  };
  for (int i = 0; i < 4; ++i) frame();
  EXPECT_EQ(gl_->pictureKeepCount(), 2u);
  EXPECT_EQ(gl_->sceneReuseCount(), 2u);
  EXPECT_EQ(gl_->unseenDrawCount(), 4u);
  gl_->SetKeepPictures(false);
  for (int i = 0; i < 3; ++i) frame();
  EXPECT_EQ(gl_->sceneReuseCount() + gl_->backgroundReuseCount(), 2u);
  EXPECT_EQ(gl_->unseenDrawCount(), 4u);
  gl_->Release(blend);
  gl_->Release(depth);
}

}  // namespace
}  // namespace tolvani::contract
