// Smoothing work of a hostile file: 4 models of 18,918 identical triangles
// (each corner of a model lists 18,918 faces, 1.07e9 merge steps a model)
// at a smoothing angle of 1e-6 degrees, where every pair of faces has a dot
// product at the crease cut-off.
//  - HostileOpen: CPlayerDoc::OnOpenDocument of that file on the null
//    graphics device (one iteration: the unbounded code took tens of
//    seconds);
//  - HostileModel/L: the normals of one such model alone (a budget of its
//    own) at SimdLevel L (0 Portable, 2 Avx2, 3 Avx512).
// cpu_s: CPU seconds of the whole process (both threads) per iteration,
// steadier than real time on a busy machine.
//
//   smoothing_bench [--benchmark_* options]
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/memory_policy.h"
#include "base/simd_level.h"
#include "document/document.h"
#include "model/scene_state.h"
#include "prepare/mesh_preparation.h"
#include "render/null_device.h"
#include "support/test_helpers.h"

using namespace tolvani;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kModels = 4;
constexpr int kTriangles = 18918;
constexpr float kAngle = 1e-6f;
std::string g_path;

CModel HostileModel() {
  CModel m;
  m.smoothingAngle = kAngle;
  m.vertices.assign({{0, 0, 0}, {1, 0, 0}, {0, 5, 1}});
  CFace face;
  face.indices = {0, 1, 2};
  for (int i = 0; i < kTriangles; ++i) m.faces.Append(face);
  return m;
}

testing::ProjectBuilder HostileProject() {
  testing::ProjectBuilder b;
  b.AddMaterial(u"m");
  for (int i = 0; i < kModels; ++i) {
    CModel& m = b.AddModel(u"same" + testing::U16(std::to_string(i)));
    m = HostileModel();
    m.name = u"same" + testing::U16(std::to_string(i));
  }
  return b;
}

double ProcessCpuSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

void BM_HostileOpen(benchmark::State& state) {
  NullGraphicsDevice device;
  device.SetKeepBufferContents(false);
  EnsureSceneRoot();
  SceneState.sceneRoot->render.device = &device;
  if (!SceneState.audio) SceneState.audio = new CAudio(std::make_unique<NullSoundBackend>());
  CPlayerDoc doc;
  const double cpu0 = ProcessCpuSeconds();
  for (auto _ : state) {
    const auto t0 = Clock::now();
    if (!doc.OnOpenDocument(testing::U16(g_path))) state.SkipWithError("open failed");
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
  }
  state.counters["cpu_s"] =
      benchmark::Counter(ProcessCpuSeconds() - cpu0, benchmark::Counter::kAvgIterations);
  SceneState.sceneRoot->ResetScene();
  SceneState.sceneRoot->render.device = nullptr;
}

void BM_HostileModel(benchmark::State& state) {
  const auto level = static_cast<SimdLevel>(state.range(0));
  if (!SimdLevelSupported(level)) {
    state.SkipWithError("this CPU lacks this SIMD level");
    return;
  }
  const CModel model = HostileModel();
  double cpu = 0;
  for (auto _ : state) {
    CModel m = model;
    SmoothingBudget budget;
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    ComputeNormals(m, budget, level);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    cpu += ProcessCpuSeconds() - cpu0;
    benchmark::DoNotOptimize(m.faces.cornerNormal.data());
  }
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemory();
  const std::string dir = testing::MakeTempDir();
  g_path = dir + "hostile.zvmov";
  HostileProject().WriteFile(g_path);
  std::printf("file: %d models x %d identical triangles, smoothing %g degrees\n", kModels,
              kTriangles, static_cast<double>(kAngle));
  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("HostileOpen", BM_HostileOpen)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  benchmark::RegisterBenchmark("HostileModel", BM_HostileModel)
      ->Arg(static_cast<int>(SimdLevel::Portable))
      ->Arg(static_cast<int>(SimdLevel::Avx2))
      ->Arg(static_cast<int>(SimdLevel::Avx512))
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(g_path.c_str());
  return 0;
}
