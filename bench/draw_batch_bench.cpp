// Peak memory of `tolvani render -o x.png` (one frame) and of `tolvani
// thumbnail` (-1: it failed) on a frame of very many draws: one
// model of N triangles, each on a material of its own colour, so every draw
// writes distinct constants. The OpenGL device keeps a bounded batch of
// constants per frame, so the peak grows with the scene's own data, not
// with N times the constants block (2,560 bytes).
//
//   [TOLVANI_BIN=DIR] draw_batch_bench   (default: the tolvani beside this program)
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "builder/project_builder.h"
#include "support/test_helpers.h"

extern char** environ;

namespace tolvani {
namespace {

std::string ProjectOfDraws(int draws) {
  builder::ProjectBuilder b;
  b.version = 1.1f;
  b.playMode = PlayMode::kGlide;
  b.AddModel(u"Camera");
  // Triangle d, on material d, at column d % 400 and row d / 400 of a grid
  // over the view.
  std::vector<Vec3> vertices;
  for (int d = 0; d < draws; ++d) {
    const float x = static_cast<float>(d % 400) * 0.3f - 60;
    const float y = static_cast<float>(d / 400) * 0.3f - 60;
    vertices.insert(vertices.end(), {{x, y, 0}, {x + 0.3f, y, 0}, {x, y + 0.3f, 0}});
    b.AddMaterial(u"m", static_cast<float>(d % 256) / 255, static_cast<float>(d / 256 % 256) / 255,
                  0.5f);
  }
  CModel& grid = b.AddTriangleModel(u"Grid", vertices, {}, 0);
  for (int d = 0; d < draws; ++d) {
    CFace face;
    face.material = d;
    face.indices = {3 * d, 3 * d + 1, 3 * d + 2};
    face.uvs = {{0, 0}, {1, 0}, {0, 1}};
    grid.faces.Append(face);
  }
  b.AddEntry(b.AddTimeline(u"Camera"), EntryState::kShown);
  b.AddEntry(b.AddTimeline(u"Grid"), EntryState::kShown);
  return testing::WriteTempFile(b.Build());
}

// Runs the program; its peak resident set in MiB, or -1 when it failed.
double PeakRssMiB(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_RenderOfManyDraws(benchmark::State& state) {
  const int draws = static_cast<int>(state.range(0));
  const std::string project = ProjectOfDraws(draws);
  // TOLVANI_BIN names another build's program folder (a before/after figure).
  const char* other = std::getenv("TOLVANI_BIN");
  const std::string bin =
      other ? other : std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  const std::string out = testing::MakeTempDir() + "t.png";
  double peak = 0;
  for (auto _ : state) {
    peak = PeakRssMiB({bin + "/tolvani", "render", project, "-o", out, "--size", "256x256"});
    if (peak < 0) state.SkipWithError("tolvani render failed");
  }
  state.counters["peak_rss_MiB"] = peak;
  state.counters["draws"] = draws;
  // The thumbnailer on the same file, under its own memory and time limits.
  state.counters["thumbnail_peak_MiB"] = PeakRssMiB({bin + "/tolvani", "thumbnail", project, out});
}
BENCHMARK(BM_RenderOfManyDraws)
    ->Arg(10000)
    ->Arg(150000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvani

BENCHMARK_MAIN();
