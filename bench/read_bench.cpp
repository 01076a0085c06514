// Reading speed and memory of a large project: a ~200 MB file made mostly of
// 2048 x 2048 textures (3 and 4 channels) and sounds.
//  - PlainRead: read() of the whole file in 1 MiB blocks into one reused
//    buffer (page cache warm);
//  - PlainReadIntoMemory: read() of the whole file into one freshly
//    allocated buffer of the file's size (reading when the bytes are kept:
//    the page faults of fresh memory included);
//  - DocumentRead/P: the document's read alone (records, images, sounds; no
//    preparation) with the SIMD level capped at P (SimdLevel: the widest
//    one this CPU runs, and 1, the 4 x 4 blocks that were the only SIMD
//    transposition before); page_faults per iteration;
//  - ImageFromMemory/N: one 2048 x 2048 material image of N channels read
//    from bytes in memory (the stored column order turned into rows: the
//    image transposition, plus one copy of each read chunk of columns);
//  - Transpose/P/N/T: the transposition alone at level P (0 scalar, 1 4 x 4
//    SSE2/SSSE3, 2 AVX2, 3 AVX-512) of a 2048 x 2048
//    image of N channels stored in memory, copied a read chunk at a time
//    into a small buffer as the reader does, on T threads (2: each takes
//    half the columns, with its own buffer);
//  - OpenWithPreparation: CPlayerDoc::OnOpenDocument with the preparation on
//    the null graphics device (every texture converted to RGBA through a
//    mapping) and voices on the null sound backend.
// Then the peak resident-memory growth of one open, measured in a fresh
// process (this program re-run with --measure-rss FILE), and the first
// document read in a fresh process with and without 2 MiB pages for the
// images (--cold-read FILE, median of 5 processes each).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/memory_policy.h"
#include "base/simd_level.h"
#include "document/document.h"
#include "model/archive.h"
#include "model/image_transpose.h"
#include "model/scene_state.h"
#include "render/null_device.h"
#include "support/test_helpers.h"

using namespace tolvani;
using Clock = std::chrono::steady_clock;

namespace {

std::string g_path;
double g_fileMB = 0;
// Seconds: plain, document, open, into memory, document with the 4 x 4
// transposition.
double g_best[5] = {1e30, 1e30, 1e30, 1e30, 1e30};
double g_first[5] = {0, 0, 0, 0, 0};  // seconds, first iteration
SimdLevel g_bestLevel = SimdLevel::Portable;

testing::ProjectBuilder BigProject() {
  testing::ProjectBuilder b;
  for (int i = 0; i < 12; ++i) {
    b.AddTexturedMaterial(u"mat" + testing::U16(std::to_string(i)),
                          u"tex" + testing::U16(std::to_string(i)) + u".png", 2048, 2048,
                          i % 2 ? 4 : 3);
  }
  b.AddTriangleModel(u"card", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, 0);
  b.AddTimeline(u"card");
  for (int i = 0; i < 4; ++i) {
    std::vector<uint8_t> pcm(6 << 20);
    for (size_t k = 0; k < pcm.size(); ++k) pcm[k] = static_cast<uint8_t>(k * 31 + i);
    b.AddSound(u"sound" + testing::U16(std::to_string(i)), testing::PcmFormat(2, 44100, 16),
               std::move(pcm));
  }
  return b;
}

struct Scene {
  NullGraphicsDevice device;
  Scene() {
    EnsureSceneRoot();
    device.SetKeepTextureContents(false);
    device.SetKeepBufferContents(false);
    SceneState.sceneRoot->render.device = &device;
    if (!SceneState.audio) SceneState.audio = new CAudio(std::make_unique<NullSoundBackend>());
  }
  ~Scene() { Clear(); }
  static void Clear() {
    SceneState.sceneRoot->ResetScene();
    SceneState.timeLines.clear();
    SceneState.audio->ReleaseVoices();
    SceneState.audio->sounds.clear();
  }
};

void Record(benchmark::State& state, int which, Clock::time_point t0) {
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  if (g_first[which] == 0) g_first[which] = s;
  g_best[which] = std::min(g_best[which], s);
  state.SetIterationTime(s);
}

void BM_PlainRead(benchmark::State& state) {
  std::vector<uint8_t> buffer(1 << 20);
  size_t total = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const int fd = open(g_path.c_str(), O_RDONLY);
    ssize_t n;
    total = 0;
    while ((n = read(fd, buffer.data(), buffer.size())) > 0) total += static_cast<size_t>(n);
    close(fd);
    benchmark::DoNotOptimize(buffer.data());
    Record(state, 0, t0);
  }
  state.SetBytesProcessed(static_cast<int64_t>(total) * state.iterations());
}

void BM_PlainReadIntoMemory(benchmark::State& state) {
  size_t total = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const int fd = open(g_path.c_str(), O_RDONLY);
    const off_t size = lseek(fd, 0, SEEK_END);
    lseek(fd, 0, SEEK_SET);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[static_cast<size_t>(size)]);
    ssize_t n;
    total = 0;
    while (total < static_cast<size_t>(size) &&
           (n = read(fd, buffer.get() + total, static_cast<size_t>(size) - total)) > 0)
      total += static_cast<size_t>(n);
    close(fd);
    benchmark::DoNotOptimize(buffer.get());
    Record(state, 3, t0);
  }
  state.SetBytesProcessed(static_cast<int64_t>(total) * state.iterations());
}

void BM_DocumentRead(benchmark::State& state) {
  Scene scene;
  CPlayerDoc doc;
  LimitSimdLevel(static_cast<SimdLevel>(state.range(0)));
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  for (auto _ : state) {
    Scene::Clear();
    const auto t0 = Clock::now();
    InputFile file(testing::U16(g_path));
    CArchive ar(file);
    doc.Serialize(ar);
    Record(state, state.range(0) == static_cast<int>(g_bestLevel) ? 1 : 4, t0);
  }
  getrusage(RUSAGE_SELF, &after);
  state.counters["page_faults"] = benchmark::Counter(
      static_cast<double>(after.ru_minflt - before.ru_minflt), benchmark::Counter::kAvgIterations);
  LimitSimdLevel(SimdLevel::Avx512);
  state.SetBytesProcessed(static_cast<int64_t>(g_fileMB * 1e6) * state.iterations());
}

void BM_OpenWithPreparation(benchmark::State& state) {
  Scene scene;
  CPlayerDoc doc;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    if (!doc.OnOpenDocument(testing::U16(g_path))) state.SkipWithError("open failed");
    Record(state, 2, t0);
  }
  state.SetBytesProcessed(static_cast<int64_t>(g_fileMB * 1e6) * state.iterations());
}

void BM_ImageFromMemory(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  CMaterial m;
  m.name = u"m";
  m.textureName = u"t.png";
  m.image = PixelMatrix(2048, 2048, channels == 4 ? 4 : 3);
  // Pseudo-random samples (a 32-bit linear congruential sequence, high byte).
  uint32_t seed = 12345;
  for (size_t i = 0; i < m.image.byteSize(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    m.image.data()[i] = static_cast<uint8_t>(seed >> 24);
  }
  std::vector<uint8_t> bytes;
  {
    CArchive out(bytes);
    m.Serialize(out);
  }
  CMaterial in;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    CArchive ar(bytes.data(), bytes.size());
    in.Serialize(ar);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
  }
  if (in.image.byteSize() != m.image.byteSize() ||
      std::memcmp(in.image.data(), m.image.data(), m.image.byteSize()) != 0)
    state.SkipWithError("image differs");
  state.SetBytesProcessed(static_cast<int64_t>(m.image.byteSize()) * state.iterations());
}

// The transposition alone, as the reader runs it: a 2048 x 2048 image stored
// column by column in memory, copied one column chunk at a time into a small
// buffer and transposed from there into a kept matrix. Arguments: level,
// channels.
void BM_Transpose(benchmark::State& state) {
  const auto level = static_cast<SimdLevel>(state.range(0));
  const int n = static_cast<int>(state.range(1));
  if (!SimdLevelSupported(level)) {
    state.SkipWithError("this CPU lacks this SIMD level");
    return;
  }
  constexpr int kSide = 2048;
  const size_t column = size_t{kSide} * n;
  std::vector<uint8_t> stored(column * kSide);
  for (size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<uint8_t>(i * 131 + i / 251);
  PixelMatrix image(kSide, kSide, n == 4 ? 4 : 3);
  const int chunk = TransposeChunkColumns(kSide, kSide, n);
  const size_t pitch = TransposeColumnPitch(kSide, n);
  std::vector<uint8_t> block(chunk * pitch + 64), block2(chunk * pitch + 64);
  auto aligned = [](std::vector<uint8_t>& v) {
    return v.data() + (64 - reinterpret_cast<uintptr_t>(v.data()) % 64) % 64;
  };
  const int threads = static_cast<int>(state.range(2));
  for (auto _ : state) {
    const auto t0 = Clock::now();
    auto run = [&](uint8_t* buf, int from, int to) {
      for (int x0 = from; x0 < to; x0 += chunk) {
        const int cols = std::min(chunk, to - x0);
        for (int c = 0; c < cols; ++c)
          std::memcpy(buf + c * pitch, stored.data() + (x0 + c) * column, column);
        ColumnsToRows(buf, pitch, 0, kSide, cols, n, image.data() + size_t(x0) * n, image.step(),
                      level);
      }
    };
    if (threads == 2) {
      const int half = (kSide / 2 + chunk - 1) / chunk * chunk;
      std::thread helper([&] { run(aligned(block2), half, kSide); });
      run(aligned(block), 0, half);
      helper.join();
    } else {
      run(aligned(block), 0, kSide);
    }
    benchmark::DoNotOptimize(image.data());
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
  }
  if (image.row(1)[2 * n] != stored[2 * column + n]) state.SkipWithError("wrong pixel");
  state.SetBytesProcessed(static_cast<int64_t>(stored.size()) * state.iterations());
}

long MaxRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// In a fresh process: peak RSS growth of one open versus the scene it holds.
int MeasureRss(const std::string& path) {
  Scene scene;
  CPlayerDoc doc;
  const long before = MaxRssKb();
  const bool ok = doc.OnOpenDocument(testing::U16(path));
  const long after = MaxRssKb();
  double sceneBytes = 0;
  for (const CMaterial& m : SceneState.sceneRoot->materials)
    sceneBytes += static_cast<double>(m.image.byteSize());
  for (const CWavData& w : SceneState.audio->sounds)
    if (w.data) sceneBytes += static_cast<double>(w.data->size());
  std::printf("%d %.1f %.1f\n", ok ? 1 : 0, (after - before) / 1024.0, sceneBytes / 1048576.0);
  return ok ? 0 : 1;
}

// In a fresh process: one document read; prints its milliseconds.
int ColdRead(const std::string& path) {
  Scene scene;
  CPlayerDoc doc;
  const auto t0 = Clock::now();
  InputFile file(testing::U16(path));
  CArchive ar(file);
  doc.Serialize(ar);
  std::printf("%.3f\n", std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  return 0;
}

double RunChild(const std::string& command) {
  FILE* p = popen(command.c_str(), "r");
  double ms = -1;
  if (p && std::fscanf(p, "%lf", &ms) != 1) ms = -1;
  if (p) pclose(p);
  return ms;
}

void ColdReads(const std::string& self) {
  std::vector<double> plain, huge;
  for (int i = 0; i < 5; ++i) {
    plain.push_back(RunChild("TOLVANI_HUGE_PAGES=0 '" + self + "' --cold-read '" + g_path + "'"));
    huge.push_back(RunChild("TOLVANI_HUGE_PAGES=1 '" + self + "' --cold-read '" + g_path + "'"));
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  std::printf(
      "first document read in a fresh process, median of 5: %.1f ms with 4 KiB pages, "
      "%.1f ms with 2 MiB pages advised for the images\n",
      median(plain), median(huge));
}

}  // namespace

int main(int argc, char** argv) {
  // The player's memory policy (tolvani-player calls it first thing).
  if (std::getenv("TOLVANI_DEFAULT_MALLOC") == nullptr) KeepFreedMemory();
  if (argc == 3 && std::strcmp(argv[1], "--measure-rss") == 0) return MeasureRss(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "--cold-read") == 0) return ColdRead(argv[2]);

  const std::string dir = testing::MakeTempDir();
  g_path = dir + "big.zvmov";
  BigProject().WriteFile(g_path);
  {
    std::FILE* f = std::fopen(g_path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    g_fileMB = std::ftell(f) / 1e6;
    std::fclose(f);
  }
  std::printf(
      "project: 12 textures of 2048 x 2048 (6 with 3, 6 with 4 channels), 4 sounds, "
      "%.1f MB\n",
      g_fileMB);

  benchmark::Initialize(&argc, argv);
  using Fn = void (*)(benchmark::State&);
  const std::pair<const char*, Fn> runs[] = {{"PlainRead", BM_PlainRead},
                                             {"PlainReadIntoMemory", BM_PlainReadIntoMemory},
                                             {"DocumentRead", BM_DocumentRead},
                                             {"OpenWithPreparation", BM_OpenWithPreparation}};
  g_bestLevel = DefaultSimdLevel();
  for (const auto& [name, fn] : runs) {
    auto* b = benchmark::RegisterBenchmark(name, fn)
                  ->UseManualTime()
                  ->Unit(benchmark::kMillisecond)
                  ->Iterations(6);
    // The document read with the best transposition and with the 4 x 4 one.
    if (fn == BM_DocumentRead) b->Arg(static_cast<int>(g_bestLevel))->Arg(1);
  }
  for (SimdLevel level : kSimdLevels)
    for (int n : {3, 4})
      benchmark::RegisterBenchmark("Transpose", BM_Transpose)
          ->Args({static_cast<int>(level), n, 1})
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond)
          ->Iterations(20);
  for (int n : {3, 4})
    benchmark::RegisterBenchmark("Transpose", BM_Transpose)
        ->Args({static_cast<int>(g_bestLevel), n, 2})
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(20);
  benchmark::RegisterBenchmark("ImageFromMemory", BM_ImageFromMemory)
      ->Arg(3)
      ->Arg(4)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(20)
      ->MeasureProcessCPUTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const double plain = g_fileMB / g_best[0], kept = g_fileMB / g_best[3],
               docRead = g_fileMB / g_best[1], open = g_fileMB / g_best[2];
  std::printf(
      "best: plain read %.0f MB/s, plain read into memory %.0f MB/s, "
      "document read %.0f MB/s (%.2f x plain, %.2f x into memory; with the 4 x 4 "
      "transposition %.0f MB/s, %.2f x plain), "
      "open with preparation %.0f MB/s (%.2f x plain, %.2f x into memory)\n",
      plain, kept, docRead, docRead / plain, docRead / kept, g_fileMB / g_best[4],
      g_fileMB / g_best[4] / plain, open, open / plain, open / kept);
  std::printf(
      "first iteration: plain read %.1f ms, into memory %.1f ms, document read %.1f ms, "
      "open %.1f ms\n",
      g_first[0] * 1e3, g_first[3] * 1e3, g_first[1] * 1e3, g_first[2] * 1e3);

  // Memory, in a fresh process.
  std::string self(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
  self.resize(n > 0 ? static_cast<size_t>(n) : 0);
  FILE* p = popen(("'" + self + "' --measure-rss '" + g_path + "'").c_str(), "r");
  int ok = 0;
  double growth = 0, sceneMB = 0;
  if (p && std::fscanf(p, "%d %lf %lf", &ok, &growth, &sceneMB) == 3) {
    std::printf(
        "memory (fresh process, ru_maxrss): peak growth %.1f MiB for a %.1f MiB scene "
        "from a %.1f MiB file: %.1f MiB beyond the scene\n",
        growth, sceneMB, g_fileMB * 1e6 / 1048576.0, growth - sceneMB);
  } else {
    std::printf("memory measurement failed\n");
  }
  if (p) pclose(p);
  ColdReads(self);
  std::remove(g_path.c_str());
  return 0;
}
