// CPU cost of DrawFrame for a stress scene on the null device: 200 models,
// 500,000 triangles, 4 textured materials, 10 balloons, 1280 x 720. The
// balloon cards are compared side by side: a steady frame with 10 balloons
// (cards cached) against the same frame with plain materials instead, and
// against frames whose balloon texts change every frame (every card drawn).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/program_directory.h"
#include "model/model_records.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "model/timeline.h"
#include "render/balloon_text.h"
#include "render/null_device.h"
#include "render/renderer.h"
#include "render/text_rasterizer.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

constexpr int kModels = 200;
constexpr int kTriangles = 500000;
constexpr int kBalloons = 10;
constexpr int kTextures = 4;

// Stands in for the Qt rasteriser: touches every texel of the card, which is
// what drawing a card costs at the least.
class FillRasterizer : public ITextRasterizer {
 public:
  bool RenderCard(const std::u16string& text, uint32_t size,
                  std::vector<uint8_t>& pixels) override {
    pixels.resize(static_cast<size_t>(size) * size * 4);
    const uint8_t shade = static_cast<uint8_t>(text.size() * 7);
    for (size_t i = 0; i < pixels.size(); i += 4) {
      pixels[i] = pixels[i + 1] = pixels[i + 2] = static_cast<uint8_t>(255 - (i >> 12) % 2 * shade);
      pixels[i + 3] = 255;
    }
    return true;
  }
};

struct StressScene {
  NullGraphicsDevice device;
  FillRasterizer rasterizer;
  testing::RecordingPlatform platform;
  std::unique_ptr<CCoreMotion3D> scene;

  explicit StressScene(bool balloons) {
    const std::string dir = testing::MakeTempDir();
    std::filesystem::create_directories(dir + "DoNotTouch");
    std::ofstream(dir + "DoNotTouch/CoreShader.glsl") << "VS PS PS_TEX\n";
    SetProgramDirectory(testing::U16(dir));
    device.SetKeepBufferContents(false);
    SceneState.timeLines.clear();
    scene = std::make_unique<CCoreMotion3D>();
    scene->width = 1280;
    scene->height = 720;
    scene->currentStep = 0;
    scene->camera.position = {0, -20, -400};
    CreateRenderer(*scene, &device, &rasterizer);
    ResizeRenderer(*scene, 1280, 720);

    // Materials: plain, 4 textured, balloon.
    CMaterial plain;
    plain.name = u"plain";
    plain.color[0] = plain.color[1] = plain.color[2] = plain.color[3] = 1;
    scene->materials.push_back(plain);
    for (int t = 0; t < kTextures; ++t) {
      CMaterial m = plain;
      m.name = u"tex";
      m.textureName = u"tex.png";
      gfx::TextureDesc desc;
      desc.width = desc.height = 512;
      gfx::Handle texture = gfx::kNone;
      device.CreateTexture2D(desc, &texture);
      device.CreateShaderResourceView(texture, &m.textureView);
      device.Release(texture);
      scene->materials.push_back(m);
    }
    CMaterial balloon = plain;
    balloon.name = u"ZavroFukidashiMaterial";
    scene->materials.push_back(balloon);
    const int balloonMaterial = static_cast<int>(scene->materials.size()) - 1;

    // Timeline 0 is the camera; models 1..200 are drawn.
    scene->models.emplace_back();
    SceneState.timeLines.emplace_back();
    SceneState.timeLines[0].name = u"Camera";
    SceneState.timeLines[0].entries.resize(2);
    const int perModel = kTriangles / kModels;
    for (int i = 1; i <= kModels; ++i) {
      CModel model;
      const bool isBalloon = i <= kBalloons;
      // Two groups per model: half plain, half textured (or the balloon card).
      for (int g = 0; g < 2; ++g) {
        MeshGroup group;
        group.material = g == 0 ? 0 : (isBalloon && balloons ? balloonMaterial : 1 + i % kTextures);
        group.vertices.resize(static_cast<size_t>(perModel / 2) * 3);
        device.CreateVertexBuffer(group.vertices.data(),
                                  static_cast<uint32_t>(group.vertices.size() * sizeof(MeshVertex)),
                                  &group.vertexBuffer);
        model.groups.push_back(std::move(group));
      }
      scene->models.push_back(std::move(model));
      CTimeLine line;
      line.name = isBalloon ? u"fukidashi" : u"object";
      line.entries.resize(2);
      for (int s = 0; s < 2; ++s) {
        CTimeLineData& e = line.entries[static_cast<size_t>(s)];
        e.state = EntryState::kShown;
        e.motion.position = {static_cast<float>(i % 20) * 10.0f, static_cast<float>(i / 20) * 10.0f,
                             0};
        e.motion.rotation = {0, static_cast<float>(i), 0};
        e.text = u"balloon " + std::u16string(1, static_cast<char16_t>(u'A' + i)) +
                 (s == 0 ? u" first step" : u" second step, a little longer");
      }
      SceneState.timeLines.push_back(std::move(line));
    }
  }

  ~StressScene() {
    DestroyRenderer(*scene);
    scene.reset();
    SceneState.timeLines.clear();
    SetProgramDirectory(u"");
  }
};

// state.range(0): 1 with balloons, 0 with plain materials in their place.
void BM_DrawFrameSteady(benchmark::State& state) {
  StressScene s(state.range(0) != 0);
  DrawFrame(*s.scene);  // first frame draws the cards
  for (auto _ : state) {
    benchmark::DoNotOptimize(DrawFrame(*s.scene));
    s.device.ClearRecords();
  }
  state.counters["draws_per_frame"] = static_cast<double>(2 * kModels);
  state.counters["cards"] = static_cast<double>(BalloonCardCount(*s.scene));
  state.SetLabel(state.range(0) ? "10 balloons, cards cached" : "no balloons");
}
BENCHMARK(BM_DrawFrameSteady)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Every frame flips the step, so all 10 balloons show a new text: 20 texts
// in turn exceed the cache, and every card is drawn and uploaded again.
void BM_DrawFrameChangingTexts(benchmark::State& state) {
  StressScene s(true);
  for (auto _ : state) {
    s.scene->currentStep ^= 1;
    benchmark::DoNotOptimize(DrawFrame(*s.scene));
    s.device.ClearRecords();
  }
  state.SetLabel("10 balloons, new texts every frame");
}
BENCHMARK(BM_DrawFrameChangingTexts)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvani

BENCHMARK_MAIN();
