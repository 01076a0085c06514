// `tolvani render FILE -o OUT ...`: the cartoon drawn tick by tick into a
// video file with its sound, or one frame into a PNG.
//
// Frame 0 is the window's first paint after the open; every 30 ms tick
// (OnTimer, then its repaint) gives the next frame, and after each frame
// the sound container's loopback device mixes exactly 1440 samples
// (30 ms at 48000 Hz), so picture and sound cannot drift apart. A PNG holds
// the last frame: the first paint alone, or the state after the script or
// the autoplay.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/native_path.h"
#include "base/text_conversion.h"
#include "document/document.h"
#include "model/scene_state.h"
#include "model/story_rules.h"
#include "render_tool/autoplay.h"
#include "render_tool/commands.h"
#include "render_tool/encoder_thread.h"
#include "render_tool/headless_player.h"
#include "render_tool/media_writer.h"
#include "render_tool/output_file.h"
#include "render_tool/progress.h"
#include "render_tool/render_options.h"
#include "script/script.h"

namespace tolvani::render_tool {
namespace {

std::atomic<bool> g_stop{false};

void OnInterrupt(int) {
  g_stop = true;
}

// Interrupted, hung up, or standard error gone: the render stops after the
// frame it is drawing and finishes the file up to there, so no partial
// temporary file is left behind.
void StopOnSignals() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &action, nullptr);
}

// The time spent in each part of the frame path.
struct Shares {
  double drawing = 0, readBack = 0, sound = 0;
  double waiting = 0;  // for the encoder's queue
};

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

bool CheckProjectPath(const std::string& input, const char* command) {
  if (HasProjectExtension(FromNativePath(input))) return true;
  std::fprintf(stderr, "tolvani %s: '%s' is not a project file (.zvmov); nothing was read\n",
               command, input.c_str());
  return false;
}

void PrintMessages(const std::vector<std::u16string>& messages, const char* command) {
  for (const std::u16string& m : messages) {
    std::fprintf(stderr, "tolvani %s: %s\n", command, ToUtf8(m).c_str());
  }
}

int RunRender(const std::vector<std::string>& args) {
  RenderOptions o;
  std::string why;
  if (!ParseRenderOptions(args, &o, &why)) {
    std::fprintf(stderr, "tolvani render: %s\n", why.c_str());
    return 2;
  }
  const std::string ext = ExtensionOf(o.output);
  const bool png = ext == "png";
  MediaSettings media;
  if (ext == "mp4") {
    media.container = Container::Mp4;
  } else if (ext == "webm") {
    media.container = Container::WebM;
  } else if (!png) {
    std::fprintf(stderr, "tolvani render: OUT must end in .mp4, .webm or .png\n");
    return 2;
  }
  if (!png && (o.width % 2 != 0 || o.height % 2 != 0)) {
    std::fprintf(stderr, "tolvani render: a video needs an even width and height\n");
    return 2;
  }
  std::vector<script::Command> commands;
  if (!o.script.empty() && !script::ReadScript(o.script, &commands, &why)) {
    std::fprintf(stderr, "tolvani render: %s\n", why.c_str());
    return 2;
  }
  if (!CheckProjectPath(o.input, "render")) return 1;

  StopOnSignals();
  HeadlessPlayer player;
  if (!player.Start(o.width, o.height, &why)) {
    std::fprintf(stderr, "tolvani render: cannot draw without a display: %s\n", why.c_str());
    return 1;
  }
  const auto openStart = std::chrono::steady_clock::now();
  const bool opened = player.Open(o.input);
  const double openSeconds = Since(openStart);
  PrintMessages(player.messages(), "render");
  if (!opened) return 1;
  // Without a scene root there is no mode: the value 0, which names none.
  const PlayMode playMode = SceneState.sceneRoot ? SceneState.sceneRoot->playMode : PlayMode{};
  if (o.autoplay && !AutoplaySupports(playMode)) {
    std::fprintf(stderr,
                 "tolvani render: --autoplay plays Glide, Scroll and Orbit stories; this one "
                 "(play mode %d) needs a --script\n",
                 StoredValue(playMode));
    return 1;
  }

  OutputFile out;
  if (!out.Reserve(o.output, &why)) {
    std::fprintf(stderr, "tolvani render: %s\n", why.c_str());
    return 1;
  }
  MediaWriter writer;
  media.width = o.width;
  media.height = o.height;
  media.quality = o.quality;
  if (!png && !writer.Open(out.temporaryPath(), media, &why)) {
    std::fprintf(stderr, "tolvani render: %s\n", why.c_str());
    return 1;
  }

  const int64_t maxFrames =
      std::max<int64_t>(1, static_cast<int64_t>(o.maxSeconds * 1000.0 / kTickPeriodMs));
  std::unique_ptr<EncoderThread> encoder;
  if (!png) encoder = std::make_unique<EncoderThread>(writer);
  std::vector<uint8_t> rgba;
  std::vector<int16_t> samples(static_cast<size_t>(kSamplesPerTick) * kChannels);
  Shares shares;
  Progress progress(stderr);
  Autoplay autoplay(player.view());
  const int64_t storyTicks = o.autoplay ? autoplay.EstimatedTicks() : 0;
  int64_t frames = 0;
  int64_t scriptTicks = 0;
  for (const script::Command& c : commands) {
    if (c.cmd == script::Cmd::Tick) scriptTicks += c.a;
  }
  bool failed = false;

  // For a video, reads the frame just drawn and encodes it with its 30 ms
  // of sound; a PNG reads only the last frame, at the end.
  auto emit = [&]() {
    ++frames;
    if (png) return true;
    encoder->Recycle(rgba);
    auto start = std::chrono::steady_clock::now();
    player.ReadFrame(rgba, true);
    shares.readBack += Since(start);
    start = std::chrono::steady_clock::now();
    if (!player.MixSound(samples.data(), kSamplesPerTick)) {
      std::fill(samples.begin(), samples.end(), int16_t{0});
    }
    shares.sound += Since(start);
    start = std::chrono::steady_clock::now();
    if (!encoder->Submit(rgba, samples)) {
      failed = true;
      return false;
    }
    shares.waiting += Since(start);
    double done = static_cast<double>(frames) / static_cast<double>(maxFrames);
    if (!commands.empty() && scriptTicks > 0) {
      done = std::max(done, static_cast<double>(frames) / static_cast<double>(scriptTicks + 1));
    } else if (o.autoplay && storyTicks > 0) {
      done = std::max(
          done, std::min(0.99, static_cast<double>(frames) / static_cast<double>(storyTicks + 1)));
    }
    const CCoreMotion3D* scene = SceneState.sceneRoot;
    progress.Update(frames, scene ? scene->currentStep : 0, autoplay.lastStep(), done);
    return true;
  };
  auto more = [&] { return !g_stop && !failed && frames < maxFrames; };
  auto tick = [&]() {
    const auto start = std::chrono::steady_clock::now();
    player.Tick();
    shares.drawing += Since(start);
    return emit();
  };

  auto start = std::chrono::steady_clock::now();
  player.Draw();  // the window's first paint
  shares.drawing += Since(start);
  emit();
  if (!o.script.empty()) {
    for (const script::Command& c : commands) {
      if (!more()) break;
      if (c.cmd == script::Cmd::Tick) {
        for (long i = 0; i < c.a && more(); ++i) tick();
      } else if (c.cmd == script::Cmd::Draw) {
        player.Draw();
      } else if (c.cmd != script::Cmd::State && c.cmd != script::Cmd::Size) {
        // The frame keeps the size --size gave it.
        script::ApplyInput(c, player.view(), player.document());
      }
    }
  } else if (o.autoplay) {
    while (more() && autoplay.BeforeTick()) tick();
  } else if (!png) {
    // Nobody reads or clicks: the cartoon runs by itself.
    while (more()) tick();
  }
  if (encoder && !encoder->Finish(&why)) failed = true;
  if (failed) {
    std::fprintf(stderr, "tolvani render: %s\n", why.c_str());
    return 1;
  }
  if (png) {
    player.ReadFrame(rgba);
    if (!WritePng(out.temporaryPath(), rgba, o.width, o.height, 0, &why)) {
      std::fprintf(stderr, "tolvani render: %s\n", why.c_str());
      return 1;
    }
  }
  if (!out.Commit(&why)) {
    std::fprintf(stderr, "tolvani render: %s\n", why.c_str());
    return 1;
  }
  progress.Finish(frames, SceneState.sceneRoot ? SceneState.sceneRoot->currentStep : 0,
                  autoplay.lastStep());
  if (g_stop) std::fprintf(stderr, "tolvani render: interrupted; the file ends there\n");
  if (!png) {
    std::fprintf(stderr,
                 "time: drawing %.2f s, read-back %.2f s, sound mixing %.2f s, encoding %.2f s "
                 "(on its own thread; the drawing waited %.2f s for it)\n",
                 shares.drawing, shares.readBack, shares.sound, writer.encodeSeconds(),
                 shares.waiting);
  }
  // The cartoon read and its scene made on the drawing device: the open a
  // window would make, for side-by-side figures.
  std::fprintf(stderr, "open: %.1f ms\n", openSeconds * 1000.0);
  return 0;
}

}  // namespace tolvani::render_tool
