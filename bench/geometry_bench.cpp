// Geometry preparation of a 1,000,000-triangle model: the file read, the
// normals and the mesh groups, end to end through the open sequence on the
// null graphics device, then phase by phase. The prepared model is compared
// bit for bit with the plain reference implementation.
//
//   geometry_bench [--benchmark_* options]
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "document/document.h"
#include "model/archive.h"
#include "model/scene_state.h"
#include "prepare/mesh_preparation.h"
#include "render/null_device.h"
#include "support/reference_preparation.h"
#include "support/test_helpers.h"

using namespace tolvani;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kGrid = 708;  // 708 x 708 quads = 1,002,528 triangles
std::string g_path;
size_t g_triangles = 0;
double g_bestOpenMs = 1e30;
double g_firstOpenMs = 0;  // the first open in this process

// A wavy height field: neighbouring faces differ by a few degrees, with
// ridges steeper than the 30 degree crease, so merging is real.
testing::ProjectBuilder GridProject() {
  testing::ProjectBuilder b;
  b.AddMaterial(u"ground");
  b.AddMaterial(u"rock");
  CModel& m = b.AddModel(u"terrain");
  m.smoothingAngle = 30;
  m.vertices.reserve((kGrid + 1) * (kGrid + 1));
  for (int y = 0; y <= kGrid; ++y)
    for (int x = 0; x <= kGrid; ++x) {
      const float h = static_cast<float>(0.6 * std::sin(x * 0.37) * std::cos(y * 0.23) +
                                         ((x / 40 + y / 40) % 2 ? 0.9 * (x % 3) : 0.0));
      m.vertices.push_back({static_cast<float>(x), static_cast<float>(y), h});
    }
  const size_t vertexCount = m.vertices.size();
  m.bones.assign(vertexCount, 0);
  m.parents.assign(vertexCount, -1);
  m.weights.assign(vertexCount, 1.0f);
  CFace face;
  face.indices.resize(3);
  face.uvs = {{0, 0}, {1, 0}, {1, 1}};
  for (int y = 0; y < kGrid; ++y)
    for (int x = 0; x < kGrid; ++x) {
      const int32_t a = y * (kGrid + 1) + x, b1 = a + 1, c = a + kGrid + 1, d = c + 1;
      face.material = (x / 100) % 2;
      face.indices = {a, b1, d};
      m.faces.Append(face);
      face.indices = {a, d, c};
      m.faces.Append(face);
    }
  g_triangles = m.faces.size();
  return b;
}

struct Scene {
  NullGraphicsDevice device;
  Scene() {
    EnsureSceneRoot();
    device.SetKeepBufferContents(false);
    SceneState.sceneRoot->render.device = &device;
    if (!SceneState.audio) SceneState.audio = new CAudio(std::make_unique<NullSoundBackend>());
  }
  ~Scene() {
    SceneState.sceneRoot->ResetScene();
    SceneState.sceneRoot->render.device = nullptr;
  }
};

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The whole open: reset, read, normals, groups and buffers, start state.
void BM_OpenEndToEnd(benchmark::State& state) {
  Scene scene;
  CPlayerDoc doc;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const bool ok = doc.OnOpenDocument(testing::U16(g_path));
    const double ms = Ms(Clock::now() - t0);
    if (!ok) state.SkipWithError("open failed");
    if (g_firstOpenMs == 0) g_firstOpenMs = ms;
    g_bestOpenMs = std::min(g_bestOpenMs, ms);
    state.SetIterationTime(ms / 1000.0);
  }
  state.counters["triangles/s"] = benchmark::Counter(static_cast<double>(g_triangles),
                                                     benchmark::Counter::kIsIterationInvariantRate);
}

// The phases alone, each on a freshly read model.
void BM_Phases(benchmark::State& state) {
  Scene scene;
  double read = 0, normals = 0, groups = 0;
  for (auto _ : state) {
    SceneState.sceneRoot->ResetScene();
    SceneState.timeLines.clear();
    SceneState.audio->ReleaseVoices();
    CPlayerDoc doc;
    const auto t0 = Clock::now();
    {
      InputFile file(testing::U16(g_path));
      CArchive ar(file);
      doc.Serialize(ar);
    }
    const auto t1 = Clock::now();
    CModel& m = SceneState.sceneRoot->models[0];
    ComputeNormals(m);
    const auto t2 = Clock::now();
    BuildMeshGroups(m, &scene.device);
    const auto t3 = Clock::now();
    read += Ms(t1 - t0);
    normals += Ms(t2 - t1);
    groups += Ms(t3 - t2);
    state.SetIterationTime(std::chrono::duration<double>(t3 - t0).count());
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["read_ms"] = read / n;
  state.counters["normals_ms"] = normals / n;
  state.counters["groups_ms"] = groups / n;
}

bool CheckAgainstReference() {
  Scene scene;
  CPlayerDoc doc;
  if (!doc.OnOpenDocument(testing::U16(g_path))) return false;
  const CModel& fast = SceneState.sceneRoot->models[0];
  // The reference starts from the same file read, unprepared.
  CModel ref = fast;
  ref.groups.clear();
  ref.vertexFaceStart.clear();
  ref.vertexFaces.clear();
  ref.faces.normal.clear();
  ref.faces.cornerNormal.clear();
  const auto t0 = Clock::now();
  testing::ReferenceComputeNormals(ref);
  NullGraphicsDevice refDevice;
  refDevice.SetKeepBufferContents(false);
  testing::ReferenceBuildMeshGroups(ref, &refDevice);
  std::printf("reference implementation: %.0f ms for normals and groups\n", Ms(Clock::now() - t0));
  const std::string diff = testing::ComparePreparedModels(fast, ref);
  size_t vertices = 0;
  for (const MeshGroup& g : fast.groups) vertices += g.vertices.size();
  std::printf("bit-for-bit comparison with the reference: %s (%zu groups, %zu vertices)\n",
              diff.empty() ? "identical" : diff.c_str(), fast.groups.size(), vertices);
  return diff.empty();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = testing::MakeTempDir();
  g_path = dir + "terrain.zvmov";
  {
    const auto b = GridProject();
    b.WriteFile(g_path);
  }
  std::FILE* f = std::fopen(g_path.c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  const long bytes = std::ftell(f);
  std::fclose(f);
  std::printf("model: %zu triangles, %d x %d grid, smoothing 30 degrees, file %.1f MB\n",
              g_triangles, kGrid + 1, kGrid + 1, bytes / 1e6);

  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("OpenEndToEnd", BM_OpenEndToEnd)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(8);
  benchmark::RegisterBenchmark("ReadNormalsGroups", BM_Phases)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(8);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::printf("best end-to-end open: %.1f ms = %.2f M triangles/s; first open: %.1f ms\n",
              g_bestOpenMs, g_triangles / g_bestOpenMs / 1000.0, g_firstOpenMs);
  const bool same = CheckAgainstReference();
  std::remove(g_path.c_str());
  return same ? 0 : 1;
}
