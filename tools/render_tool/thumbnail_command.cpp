// `tolvani thumbnail FILE OUT.png [--size N]`: a picture of the cartoon for
// file managers (their thumbnailers run it with the
// size asked for). It draws the first frame after the open that no fade
// overlay covers, within 3 s of ticks, and fits it into N x N. Files above
// a size limit are refused and a run that takes too long is given up, so a
// file manager is never stuck on one file.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/scene_state.h"
#include "render_tool/commands.h"
#include "render_tool/headless_player.h"
#include "render_tool/output_file.h"

namespace tolvani::render_tool {
namespace {

constexpr int kMaxFadeTicks = 3000 / kTickPeriodMs;
constexpr double kFadeCoveredAlpha = 0.02;

struct ThumbnailOptions {
  std::string input, output;
  int size = 256;
  long long maxMegabytes = 512;
  int timeLimitSeconds = 5;
};

bool ParseNumber(const std::string& text, long long low, long long high, long long* out) {
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || v < low || v > high) return false;
  *out = v;
  return true;
}

bool ParseOptions(const std::vector<std::string>& args, ThumbnailOptions* o, std::string* why) {
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--size" || a == "--max-megabytes" || a == "--time-limit") {
      long long v = 0;
      const bool size = a == "--size";
      const bool time = a == "--time-limit";
      if (i + 1 >= args.size() ||
          !ParseNumber(args[i + 1], 1, size ? 4096 : (time ? 3600 : 1 << 20), &v)) {
        *why = a + (size ? " takes 1 to 4096 pixels"
                         : (time ? " takes 1 to 3600 seconds" : " takes a number of megabytes"));
        return false;
      }
      ++i;
      if (size) {
        o->size = static_cast<int>(v);
      } else if (time) {
        o->timeLimitSeconds = static_cast<int>(v);
      } else {
        o->maxMegabytes = v;
      }
    } else if (!a.empty() && a[0] == '-') {
      *why = "unknown option '" + a + "'";
      return false;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) {
    *why = "FILE and OUT.png are needed";
    return false;
  }
  o->input = positional[0];
  o->output = positional[1];
  return true;
}

void OnTimeLimit(int) {
  static const char kText[] = "tolvani thumbnail: gave up: the time limit ran out\n";
  const ssize_t ignored = ::write(STDERR_FILENO, kText, sizeof kText - 1);
  (void)ignored;
  const char* pending = PendingOutputPath();
  if (pending[0] != '\0') ::unlink(pending);
  _exit(1);
}

// Whether a fade overlay shown at the current step still hides the scene.
bool FadeCovers() {
  const CCoreMotion3D* scene = SceneState.sceneRoot;
  if (scene == nullptr) return false;
  const std::vector<CTimeLine>& lines = SceneState.timeLines;
  for (size_t i = 1; i < lines.size() && i < scene->models.size(); ++i) {
    const CTimeLine& line = lines[i];
    if (!line.NameContains(u"FadeIn") && !line.NameContains(u"FadeOut")) continue;
    if (line.EntryState(scene->currentStep) != 2 || !scene->models[i].visible) continue;
    for (const MeshGroup& group : scene->models[i].groups) {
      if (group.material < 0 || static_cast<size_t>(group.material) >= scene->materials.size()) {
        continue;
      }
      const CMaterial& m = scene->materials[static_cast<size_t>(group.material)];
      const bool fade = m.name.find(u"Fade") != std::u16string::npos;
      if (fade && m.color[3] > kFadeCoveredAlpha) return true;
    }
  }
  return false;
}

}  // namespace

int RunThumbnail(const std::vector<std::string>& args) {
  ThumbnailOptions o;
  std::string why;
  if (!ParseOptions(args, &o, &why)) {
    std::fprintf(stderr, "tolvani thumbnail: %s\n", why.c_str());
    return 2;
  }
  signal(SIGALRM, OnTimeLimit);
  alarm(static_cast<unsigned>(o.timeLimitSeconds));
  struct stat info = {};
  if (::stat(o.input.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_size > o.maxMegabytes * 1024 * 1024) {
    std::fprintf(stderr, "tolvani thumbnail: the file is larger than %lld MB; no thumbnail\n",
                 o.maxMegabytes);
    return 1;
  }
  // Drawn at twice the thumbnail's width (4:3, as the player's window),
  // then scaled down with smoothing.
  const int width = std::max(200, 2 * o.size);
  const int height = std::max(150, width * 3 / 4);
  HeadlessPlayer player;
  if (!player.Start(width, height, &why)) {
    std::fprintf(stderr, "tolvani thumbnail: cannot draw without a display: %s\n", why.c_str());
    return 1;
  }
  const bool opened = player.Open(o.input);
  PrintMessages(player.messages(), "thumbnail");
  if (!opened) return 1;
  player.Draw();  // the window's first paint
  for (int i = 0; i < kMaxFadeTicks && FadeCovers(); ++i) player.Tick();
  std::vector<uint8_t> rgba;
  player.ReadFrame(rgba);
  OutputFile out;
  if (!out.Reserve(o.output, &why) ||
      !WritePng(out.temporaryPath(), rgba, width, height, o.size, &why) || !out.Commit(&why)) {
    std::fprintf(stderr, "tolvani thumbnail: %s\n", why.c_str());
    return 1;
  }
  return 0;
}

}  // namespace tolvani::render_tool
