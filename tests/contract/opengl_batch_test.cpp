// The OpenGL device's frame batches: a frame of many draws keeps a bounded
// copy of their constants and still draws each with its own, in order.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "contract/device_contract.h"
#include "contract/draw_kit.h"
#include "render/gl/opengl_device.h"

namespace tolvani::contract {
namespace {

constexpr int kSide = 32;  // one draw per pixel of a 32 x 32 frame

class OpenGLBatch : public ::testing::Test {
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
    // Rectangle p covers pixel p exactly (row 0 at the top).
    std::vector<MeshVertex> vertices;
    const float step = 2.0f / kSide;
    for (int p = 0; p < kSide * kSide; ++p) {
      const float x0 = -1 + step * static_cast<float>(p % kSide);
      const float y1 = 1 - step * static_cast<float>(p / kSide);
      const auto rect = Rectangle(x0, y1 - step, x0 + step, y1);
      vertices.insert(vertices.end(), rect.begin(), rect.end());
    }
    ASSERT_EQ(
        gl_->CreateVertexBuffer(
            vertices.data(), static_cast<uint32_t>(vertices.size() * sizeof(MeshVertex)), &pixels_),
        gfx::kOk);
    gl_->SetRenderTargets(rtv_, gfx::kNone);
    gfx::Viewport viewport;
    viewport.width = viewport.height = kSide;
    gl_->SetViewport(viewport);
    gl_->SetVertexShader(vs_);
    gl_->SetPixelShader(ps_);
    gl_->SetInputLayout(layout_);
    gl_->SetConstantBuffer(constants_);
    gl_->SetVertexBuffer(pixels_, sizeof(MeshVertex), 0);
  }

  // Draw d's colour, distinct for every d below 251 * 251.
  static std::array<float, 3> ColorOf(int d) {
    return {static_cast<float>(d % 251) / 250, static_cast<float>(d / 251 % 251) / 250, 0.5f};
  }

  // One frame of draws draws, draw d on pixel d % (kSide * kSide), each
  // after its own constants write (distinct, or all the same).
  void DrawFrame(int draws, bool distinct) {
    dut_->BeginFrame(kSide, kSide);
    for (int d = 0; d < draws; ++d) {
      const auto c = ColorOf(distinct ? d : 0);
      const ShaderConstants constants = FlatConstants(c[0], c[1], c[2]);
      ASSERT_EQ(gl_->UpdateConstantBuffer(constants_, &constants, sizeof constants), gfx::kOk);
      gl_->Draw(12, static_cast<uint32_t>(12 * (d % (kSide * kSide))));
    }
    ASSERT_EQ(gl_->Present(), gfx::kOk);
    dut_->EndFrame();
  }

  std::unique_ptr<DeviceUnderTest> dut_;
  gl::OpenGLDevice* gl_ = nullptr;
  gfx::Handle vs_ = gfx::kNone, layout_ = gfx::kNone, ps_ = gfx::kNone, rtv_ = gfx::kNone;
  gfx::Handle constants_ = gfx::kNone, pixels_ = gfx::kNone;
};

TEST_F(OpenGLBatch, ManyDistinctConstantsStayBoundedAndEveryPixelShowsItsLastDraw) {
  // 30,000 draws hold 75 MB of constants in one batch without the bound.
  constexpr int kDraws = 30000;
  DrawFrame(kDraws, true);
  EXPECT_LE(gl_->largestBatchBytes(), gl::OpenGLDevice::kMaxBatchBytes);
  EXPECT_EQ(gl_->drawCount(), static_cast<uint32_t>(kDraws));
  // The last kSide * kSide draws span batches; each pixel shows its own.
  for (int p = 0; p < kSide * kSide; ++p) {
    const int d = p + kSide * kSide * ((kDraws - 1 - p) / (kSide * kSide));  // its last draw
    const auto c = ColorOf(d);
    const auto pixel =
        dut_->Pixel(static_cast<uint32_t>(p % kSide), static_cast<uint32_t>(p / kSide));
    ASSERT_TRUE(pixel.has_value());
    for (int k = 0; k < 3; ++k) {
      ASSERT_NEAR((*pixel)[k], std::lround(c[k] * 255), 1) << "pixel " << p << " channel " << k;
    }
  }
}

TEST_F(OpenGLBatch, ConstantsRewrittenUnchangedShareOneCopy) {
  DrawFrame(5000, false);
  EXPECT_EQ(gl_->largestBatchBytes(), kShaderConstantsSize);
  const auto c = ColorOf(0);
  const auto pixel = dut_->Pixel(kSide - 1, kSide - 1);
  ASSERT_TRUE(pixel.has_value());
  EXPECT_NEAR((*pixel)[0], std::lround(c[0] * 255), 1);
  EXPECT_NEAR((*pixel)[2], std::lround(c[2] * 255), 1);
}

}  // namespace
}  // namespace tolvani::contract
