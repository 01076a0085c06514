// DrawFrame through the OpenGL device on llvmpipe (run under xvfb-run):
// a stress scene of 200 models, 500,000 triangles, 4 textures and 10
// balloons at 1280 x 720, each frame finished by the rasteriser; and the
// steady frame with the 10 balloons against the same frame without them.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <memory>

#include "gl_scene.h"
#include "model/scene_state.h"
#include "model/timeline.h"
#include "render/balloon_text.h"

namespace tolvani::glscene {
namespace {

constexpr int kModels = 200;
constexpr int kTriangles = 500000;
constexpr int kBalloons = 10;

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

std::unique_ptr<GlScene> MakeStressScene(bool balloons) {
  auto gl = std::make_unique<GlScene>(1280, 720);
  if (!gl->ok()) return gl;
  const int plain = gl->AddMaterial(FlatMaterial(u"plain", 0.8f, 0.7f, 0.6f));
  int textured[4];
  for (int t = 0; t < 4; ++t) {
    CMaterial m = FlatMaterial(u"tex", 1, 1, 1);
    m.textureName = u"tex.bmp";
    m.image = PixelMatrix(256, 256, CV_8UC3, cv::Scalar(40 * t, 200 - 30 * t, 90));
    textured[t] = gl->AddMaterial(m);
  }
  const int card = gl->AddMaterial(FlatMaterial(u"ZavroFukidashiMaterial", 1, 1, 1));
  gl->AddObject(u"Camera", {});
  const int perModel = kTriangles / kModels;
  for (int i = 1; i <= kModels; ++i) {
    const float cx = static_cast<float>(i % 20 - 10) * 10.0f;
    const float cy = static_cast<float>(i / 20 - 5) * 10.0f;
    const bool isBalloon = i <= kBalloons;
    const int second = isBalloon && balloons ? card : textured[i % 4];
    std::u16string text = u"balloon ";
    text += static_cast<char16_t>(u'A' + i);
    gl->AddObject(isBalloon ? u"fukidashi" : u"object",
                  {{Patch(perModel / 2, cx, cy, -300, 9), plain},
                   {Patch(perModel / 2, cx + 2, cy + 2, -290, 9), second}},
                  {text});
  }
  return gl;
}

void BM_GlDrawFrame(benchmark::State& state) {
  auto gl = MakeStressScene(state.range(0) != 0);
  if (!gl->ok()) {
    state.SkipWithError(gl->error().c_str());
    return;
  }
  gl->DrawAndFinish();  // first frame draws the cards
  for (auto _ : state) gl->DrawAndFinish();
  state.SetLabel(state.range(0) ? "10 balloons, cards cached" : "no balloons");
  state.counters["cards"] = static_cast<double>(BalloonCardCount(gl->scene()));
}
BENCHMARK(BM_GlDrawFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tolvani::glscene

int main(int argc, char** argv) {
  tolvani::glscene::InitGlEnvironment();
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
