// Geometry preparation of a 1,000,000-triangle model: the file read, the
// normals and the mesh groups, end to end through the open sequence on the
// null graphics device, then phase by phase. The prepared model is compared
// bit for bit with the plain reference implementation.
//
// Then the first open in a fresh process (median of 5 processes each):
// with and without 2 MiB pages for the large buffers, against read() of the
// file into fresh memory plus a first touch of as many fresh bytes as the
// open's outputs hold.
//
//   geometry_bench [--warm-only] [--benchmark_* options]
//
// --warm-only runs the in-process benchmarks alone (no reference check, no
// fresh processes): for profiling.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/memory_policy.h"
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
size_t g_outputBytes = 0;

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

// CPU time of the calling thread: steadier than real time on a shared
// machine, for the single-threaded read.
double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

long MinorFaults() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return r.ru_minflt;
}

// The whole open: reset, read, normals, groups and buffers, start state.
void BM_OpenEndToEnd(benchmark::State& state) {
  Scene scene;
  CPlayerDoc doc;
  long faults = 0;
  for (auto _ : state) {
    const long before = MinorFaults();
    const auto t0 = Clock::now();
    const bool ok = doc.OnOpenDocument(testing::U16(g_path));
    const double ms = Ms(Clock::now() - t0);
    faults += MinorFaults() - before;
    if (!ok) state.SkipWithError("open failed");
    if (g_firstOpenMs == 0) g_firstOpenMs = ms;
    g_bestOpenMs = std::min(g_bestOpenMs, ms);
    state.SetIterationTime(ms / 1000.0);
  }
  state.counters["page_faults"] = static_cast<double>(faults) / state.iterations();
  state.counters["triangles/s"] = benchmark::Counter(static_cast<double>(g_triangles),
                                                     benchmark::Counter::kIsIterationInvariantRate);
}

// The phases alone, each on a freshly read model.
void BM_Phases(benchmark::State& state) {
  Scene scene;
  double read = 0, normals = 0, groups = 0, readCpu = 0;
  for (auto _ : state) {
    SceneState.sceneRoot->ResetScene();
    SceneState.timeLines.clear();
    SceneState.audio->ReleaseVoices();
    CPlayerDoc doc;
    const double c0 = ThreadCpuMs();
    const auto t0 = Clock::now();
    {
      InputFile file(testing::U16(g_path));
      CArchive ar(file);
      doc.Serialize(ar);
    }
    const auto t1 = Clock::now();
    readCpu += ThreadCpuMs() - c0;
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
  state.counters["read_cpu_ms"] = readCpu / n;
  state.counters["normals_ms"] = normals / n;
  state.counters["groups_ms"] = groups / n;
}

// Bytes of the arrays an open leaves in the model (capacity, as allocated).
size_t OutputBytes(const CModel& m) {
  auto bytes = [](const auto& v) { return v.capacity() * sizeof(v[0]); };
  size_t n = bytes(m.vertices) + bytes(m.bones) + bytes(m.parents) + bytes(m.weights) +
             bytes(m.vertexFaceStart) + bytes(m.vertexFaces) + bytes(m.faces.material) +
             bytes(m.faces.indexStart) + bytes(m.faces.indices) + bytes(m.faces.uvStart) +
             bytes(m.faces.uvs) + bytes(m.faces.normal) + bytes(m.faces.cornerNormal);
  for (const MeshGroup& g : m.groups) n += bytes(g.vertices);
  return n;
}

// Child process: one open of path; prints its milliseconds.
int ColdOpen(const char* path) {
  Scene scene;
  CPlayerDoc doc;
  const auto t0 = Clock::now();
  const bool ok = doc.OnOpenDocument(testing::U16(path));
  std::printf("%.3f\n", Ms(Clock::now() - t0));
  return ok ? 0 : 1;
}

// Child process: read() of the file into fresh memory and a first write to
// every page of `touch` fresh bytes; prints its milliseconds.
int ColdBaseline(const char* path, size_t touch) {
  const auto t0 = Clock::now();
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return 1;
  const off_t size = lseek(fd, 0, SEEK_END);
  lseek(fd, 0, SEEK_SET);
  char* file = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
  size_t got = 0;
  while (got < static_cast<size_t>(size)) {
    const ssize_t r = read(fd, file + got, static_cast<size_t>(size) - got);
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  close(fd);
  volatile char* out = static_cast<char*>(std::malloc(touch));
  for (size_t i = 0; i < touch; i += 4096) out[i] = 1;
  std::printf("%.3f\n", Ms(Clock::now() - t0));
  std::free(const_cast<char*>(out));
  std::free(file);
  return got == static_cast<size_t>(size) ? 0 : 1;
}

std::string SelfPath() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

double RunChild(const std::string& command) {
  std::FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  double ms = -1;
  if (std::fscanf(p, "%lf", &ms) != 1) ms = -1;
  pclose(p);
  return ms;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void ColdOpens(size_t outputBytes) {
  const std::string self = SelfPath();
  std::vector<double> plain, huge, base;
  for (int i = 0; i < 5; ++i) {
    plain.push_back(RunChild("TOLVANI_HUGE_PAGES=0 '" + self + "' --cold-open '" + g_path + "'"));
    huge.push_back(RunChild("TOLVANI_HUGE_PAGES=1 '" + self + "' --cold-open '" + g_path + "'"));
    base.push_back(
        RunChild("'" + self + "' --cold-baseline '" + g_path + "' " + std::to_string(outputBytes)));
  }
  auto show = [](const char* what, const std::vector<double>& v) {
    std::printf("%-48s median %7.1f ms  (", what, Median(v));
    for (double x : v) std::printf(" %.0f", x);
    std::printf(" )\n");
  };
  std::printf("first open in a fresh process, 5 processes each (outputs %.1f MB):\n",
              outputBytes / 1e6);
  show("open, 4 KiB pages", plain);
  show("open, 2 MiB pages advised", huge);
  show("read() into fresh memory + first touch of outputs", base);
  std::printf("ratio open / baseline: %.2f (4 KiB), %.2f (2 MiB)\n", Median(plain) / Median(base),
              Median(huge) / Median(base));
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
  g_outputBytes = OutputBytes(fast);
  // Best of 3: the reference is timed like the open (warm, in this process).
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    CModel r = ref;
    const auto t0 = Clock::now();
    testing::ReferenceComputeNormals(r);
    NullGraphicsDevice refDevice;
    refDevice.SetKeepBufferContents(false);
    testing::ReferenceBuildMeshGroups(r, &refDevice);
    best = std::min(best, Ms(Clock::now() - t0));
    if (i == 2) ref = std::move(r);
  }
  std::printf(
      "reference implementation (normals and groups, best of 3): %.0f ms; "
      "best open is %.1f x faster\n",
      best, best / g_bestOpenMs);
  const std::string diff = testing::ComparePreparedModels(fast, ref);
  size_t vertices = 0;
  for (const MeshGroup& g : fast.groups) vertices += g.vertices.size();
  std::printf("bit-for-bit comparison with the reference: %s (%zu groups, %zu vertices)\n",
              diff.empty() ? "identical" : diff.c_str(), fast.groups.size(), vertices);
  return diff.empty();
}

}  // namespace

int main(int argc, char** argv) {
  // The player's memory policy (tolvani-player calls it first thing).
  if (std::getenv("TOLVANI_DEFAULT_MALLOC") == nullptr) KeepFreedMemory();
  if (argc == 3 && std::strcmp(argv[1], "--cold-open") == 0) return ColdOpen(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "--cold-baseline") == 0)
    return ColdBaseline(argv[2], std::strtoull(argv[3], nullptr, 10));
  bool warmOnly = false;
  if (argc >= 2 && std::strcmp(argv[1], "--warm-only") == 0) {
    warmOnly = true;
    argv[1] = argv[0];
    ++argv;
    --argc;
  }
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
  if (warmOnly) {
    std::remove(g_path.c_str());
    return 0;
  }
  const bool same = CheckAgainstReference();
  ColdOpens(g_outputBytes);
  std::remove(g_path.c_str());
  return same ? 0 : 1;
}
