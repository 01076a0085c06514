// The WebGL2 device when the browser takes its context away: calls fail
// softly, draws are dropped, nothing crashes. Browser only.
#include <emscripten.h>
#include <gtest/gtest.h>

#include "contract/draw_kit.h"
#include "render/gl/opengl_device.h"
#include "render/gl/webgl_context.h"

namespace tolvani::contract {
namespace {

// A canvas of its own: the lost context must not be the suite's.
bool AddCanvas(const char* id) {
  return EM_ASM_INT(
      {
        if (typeof document == 'undefined') return 0;
        const canvas = document.createElement('canvas');
        canvas.id = UTF8ToString($0);
        canvas.width = canvas.height = 16;
        document.body.appendChild(canvas);
        return 1;
      },
      id);
}

void LoseContextOf(const char* id) {
  EM_ASM(
      {
        const gl = document.getElementById(UTF8ToString($0)).getContext('webgl2');
        gl.getExtension('WEBGL_lose_context').loseContext();
      },
      id);
}

TEST(WebGL2Device, LostContextFailsSoftly) {
  if (!AddCanvas("lost")) GTEST_SKIP() << "needs a web page";
  std::string why;
  auto context = gl::WebGlContext::Create("#lost", {}, &why);
  ASSERT_NE(context, nullptr) << why;
  const gl::WebGlContext* watched = context.get();
  gl::OpenGLDevice device;
  ASSERT_TRUE(device.Initialize(std::move(context), &why)) << why;
  const float vertices[12] = {};
  gfx::Handle before = gfx::kNone;
  ASSERT_EQ(device.CreateVertexBuffer(vertices, sizeof vertices, &before), gfx::kOk);

  LoseContextOf("lost");
  EXPECT_TRUE(watched->lost());
  gfx::Handle after = gfx::kNone;
  EXPECT_EQ(device.CreateVertexBuffer(vertices, sizeof vertices, &after), gfx::kFail);
  EXPECT_EQ(after, gfx::kNone);
  gfx::Handle texture = gfx::kNone;
  EXPECT_EQ(device.CreateTexture2D({4, 4, gfx::TextureFormat::BGRA8, gfx::TextureUsage::Dynamic},
                                   &texture),
            gfx::kFail);
  gfx::Handle blob = gfx::kNone;
  EXPECT_EQ(device.CompileShaderFromFile(ShaderPath(), "VS", "vs_4_1", &blob), gfx::kFail);
  // A frame over the lost context draws nothing and reports no failure.
  device.BeginFrame(0, 16, 16);
  device.Draw(3, 0);
  EXPECT_EQ(device.Present(), gfx::kOk);
  device.EndFrame();
  device.Release(before);
  EXPECT_EQ(device.liveObjectCount(), 0u);
}

}  // namespace
}  // namespace tolvani::contract
