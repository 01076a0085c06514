// DrawFrame through the OpenGL device on llvmpipe (run under xvfb-run), each
// frame finished by the rasteriser, at 1280 x 720:
//  - Stress: 200 models, 500,000 triangles, 4 textures, 0 or 10 balloons;
//  - Draws: 200 models in 400 draws of 10,000 triangles in all, 0 or 32
//    balloons with distinct texts (the balloon cost against the same scene
//    with plain materials in their place; the per-draw cost of the device
//    and the driver's per-frame memory churn).
// The process keeps freed memory as the player does (KeepFreedMemory);
// --default-malloc leaves the C library's defaults, so the two can be
// compared in one sitting (or against GLIBC_TUNABLES).
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <cstring>
#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "base/memory_policy.h"
#include "gl_scene.h"
#include "model/scene_state.h"
#include "model/timeline.h"
#include "render/balloon_text.h"

namespace tolvani::glscene {
namespace {

// A strip of small clockwise triangles around (cx, cy) at depth z.
std::vector<MeshVertex> Patch(int triangles, float cx, float cy, float z, float size) {
  std::vector<MeshVertex> out;
  out.reserve(static_cast<size_t>(triangles) * 3);
  const int side = 50;
  for (int t = 0; t < triangles; ++t) {
    const float x = cx + (static_cast<float>(t % side) / side - 0.5f) * size;
    const float y = cy + (static_cast<float>(t / side % side) / side - 0.5f) * size;
    const float d = size / side;
    out.push_back({{x, y, z}, {0, 0, 1}, {0, 1}, -1, -1, 1});
    out.push_back({{x, y + d, z}, {0, 0, 1}, {0, 0}, -1, -1, 1});
    out.push_back({{x + d, y, z}, {0, 0, 1}, {1, 1}, -1, -1, 1});
  }
  return out;
}

// models objects of two groups each; the first `balloons` of them show their
// second group as a balloon with its own text.
std::unique_ptr<GlScene> MakeScene(int models, int triangles, int balloons) {
  auto gl = std::make_unique<GlScene>(1280, 720);
  if (!gl->ok()) return gl;
  const int plain = gl->AddMaterial(FlatMaterial(u"plain", 0.8f, 0.7f, 0.6f));
  int textured[4];
  for (int t = 0; t < 4; ++t) {
    CMaterial m = FlatMaterial(u"tex", 1, 1, 1);
    m.textureName = u"tex.bmp";
    m.image = PixelMatrix(256, 256, 3);
    m.image.Fill({static_cast<uint8_t>(40 * t), static_cast<uint8_t>(200 - 30 * t), 90});
    textured[t] = gl->AddMaterial(m);
  }
  const int card = gl->AddMaterial(FlatMaterial(u"ZavroFukidashiMaterial", 1, 1, 1));
  gl->AddObject(u"Camera", {});
  const int perModel = triangles / models;
  for (int i = 1; i <= models; ++i) {
    const float cx = static_cast<float>(i % 20 - 10) * 10.0f;
    const float cy = static_cast<float>(i / 20 - 5) * 10.0f;
    const bool isBalloon = i <= balloons;
    const int second = isBalloon ? card : textured[i % 4];
    std::u16string text = u"balloon ";
    text += static_cast<char16_t>(u'A' + i % 26);
    text += static_cast<char16_t>(u'a' + i / 26);
    gl->AddObject(isBalloon ? u"fukidashi" : u"object",
                  {{Patch(perModel / 2, cx, cy, -300, 9), plain},
                   {Patch(perModel / 2, cx + 2, cy + 2, -290, 9), second}},
                  {text});
  }
  return gl;
}

// Heap size the C library holds from the kernel (main arena and mmapped
// blocks); a change between steady frames means memory went back and forth.
size_t HeapBytes() {
#if defined(__GLIBC__)
  const struct mallinfo2 m = mallinfo2();
  return m.arena + m.hblkhd;
#else
  return 0;
#endif
}

// Args: models, triangles, balloons.
void BM_GlDrawFrame(benchmark::State& state) {
  const int models = static_cast<int>(state.range(0));
  const int balloons = static_cast<int>(state.range(2));
  auto gl = MakeScene(models, static_cast<int>(state.range(1)), balloons);
  if (!gl->ok()) {
    state.SkipWithError(gl->error().c_str());
    return;
  }
  gl->DrawAndFinish();  // the first frames draw the cards
  gl->DrawAndFinish();
  size_t heapChanges = 0;
  size_t heap = HeapBytes();
  for (auto _ : state) {
    gl->DrawAndFinish();
    const size_t now = HeapBytes();
    heapChanges += now != heap;
    heap = now;
  }
  state.SetLabel(std::to_string(models * 2) + " draws, " + std::to_string(balloons) + " balloons");
  state.counters["cards"] = static_cast<double>(BalloonCardCount(gl->scene()));
  state.counters["heap_changes"] = static_cast<double>(heapChanges);
}
BENCHMARK(BM_GlDrawFrame)
    ->Args({200, 500000, 0})
    ->Args({200, 500000, 10})
    ->Args({200, 10000, 0})
    ->Args({200, 10000, 32})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace tolvani::glscene

int main(int argc, char** argv) {
  bool keep = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--default-malloc") == 0) {
      keep = false;
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      break;
    }
  }
  if (keep) tolvani::KeepFreedMemory();
  tolvani::glscene::InitGlEnvironment();
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
