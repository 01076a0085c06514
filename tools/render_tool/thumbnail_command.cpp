// `tolvani thumbnail FILE OUT.png [--size N]`: a picture of the cartoon for
// file managers (their thumbnailers run it with the size asked for). It
// draws, at the size asked, the first frame after the open that no fade
// overlay covers, within 3 s of ticks, and fits it into N x N.
//
// A file manager runs this on every project it shows, so the run has its
// own ceilings: files above a size are refused, and the drawing happens in
// a child process with a limit on its private writable memory
// (RLIMIT_DATA) and a wall-clock deadline. This process only waits: when
// the child crashes, runs out of memory or time, or this process is told
// to stop, the child is killed, a message says why, the exit status is 1
// and the temporary output is removed. Only a child that finished is
// followed by the rename to OUT.
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "model/scene_state.h"
#include "model/story_rules.h"
#include "prepare/mesh_preparation.h"
#include "prepare/texture_budget.h"
#include "render_tool/commands.h"
#include "render_tool/headless_player.h"
#include "render_tool/output_file.h"
#include "render_tool/render_options.h"

namespace tolvani::render_tool {
namespace {

constexpr int kMaxFadeTicks = 3000 / kTickPeriodMs;
constexpr double kFadeCoveredAlpha = 0.02;

// Sanitizers reserve terabytes of private writable address space at start,
// which a data limit counts: under them the memory ceiling is not applied.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

long long g_ceilingMegabytes = 0;

// operator new failing under the ceiling: a message and out, from any thread.
void OutOfMemory() {
  char text[128];
  const int n = std::snprintf(
      text, sizeof text, "tolvani thumbnail: gave up: out of memory (the ceiling is %lld MB)\n",
      g_ceilingMegabytes);
  const ssize_t ignored = ::write(STDERR_FILENO, text, static_cast<size_t>(n));
  (void)ignored;
  _exit(1);
}

// The data limit counts every private writable mapping: the heap, thread
// stacks, the driver's buffers. Shared libraries' code and mapped fonts are
// not in it, which is why it is used rather than an address-space limit
// (the demo maps 1.1 GB of address space to use 160 MB).
void ApplyMemoryCeiling(long long megabytes) {
  g_ceilingMegabytes = megabytes;
  std::set_new_handler(OutOfMemory);
  if (kSanitized) return;
  struct rlimit limit = {};
  limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(megabytes) * 1024 * 1024;
  setrlimit(RLIMIT_DATA, &limit);
}

// Threads of the drawing process reserve 2 MiB of stack instead of 8: the
// data limit counts a thread stack's whole reservation, and the drawing's
// threads (the rasteriser's, the shader cache's, the preparation's) use a
// small part of it. Seven of them reserved 56 MiB, a ninth of the ceiling.
// Sanitized code needs deeper stacks, and has no ceiling to fit.
void ReserveSmallThreadStacks() {
  if (kSanitized) return;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return;
  if (pthread_attr_setstacksize(&attributes, size_t{2} << 20) == 0) {
    pthread_setattr_default_np(&attributes);
  }
  pthread_attr_destroy(&attributes);
}

// Whether a fade overlay shown at the current step still hides the scene.
bool FadeCovers() {
  const CCoreMotion3D* scene = SceneState.sceneRoot;
  if (scene == nullptr) return false;
  const std::vector<CTimeLine>& lines = SceneState.timeLines;
  for (size_t i = 1; i < lines.size() && i < scene->models.size(); ++i) {
    const CTimeLine& line = lines[i];
    if (!IsFadeName(line.name)) continue;
    if (!line.ShownAt(scene->currentStep) || !scene->models[i].visible) continue;
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

// The drawing process: the open, the frames until no fade covers the
// scene, the PNG into the temporary file. Returns the exit status.
int DrawThumbnail(const ThumbnailOptions& o, const std::string& temporary, char* program) {
  int qtArgc = 1;
  char* qtArgv[] = {program, nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  // Drawn at the size asked, 4:3 as the player's window.
  const int width = o.size;
  const int height = std::max(1, o.size * 3 / 4);
  // Textures no larger than the picture can show: a large image is
  // uploaded downscaled and its samples freed, so that a legitimately heavy
  // project fits the memory ceiling (the player's own textures are not
  // capped).
  TextureLimits textures;
  textures.maxSide = ThumbnailTextureSide(o.size);
  textures.keepImages = false;
  SetTextureLimits(textures);
  // Drawing vertices go straight to the device: a large model's never
  // exist twice (in memory and in the driver) at once.
  SetDrawingVertexCopy(DrawingVertexCopy::BufferOnly);
  HeadlessPlayer player;
  std::string why;
  if (!player.Start(width, height, &why)) {
    std::fprintf(stderr, "tolvani thumbnail: cannot draw without a display: %s\n", why.c_str());
    return 1;
  }
  // One picture is read: copies of the target would only cost memory
  // under the ceiling.
  player.KeepPictures(false);
  const bool opened = player.Open(o.input);
  PrintMessages(player.messages(), "thumbnail");
  if (!opened) return 1;
  player.Draw();  // the window's first paint
  for (int i = 0; i < kMaxFadeTicks && FadeCovers(); ++i) player.Tick();
  std::vector<uint8_t> rgba;
  player.ReadFrame(rgba);
  // A buffer or texture the device had no memory for is missing from the
  // picture: no thumbnail rather than a wrong one.
  if (player.outOfMemoryCount() > 0) {
    std::fprintf(
        stderr,
        "tolvani thumbnail: gave up: the graphics device ran out of memory (the ceiling is "
        "%lld MB)\n",
        g_ceilingMegabytes);
    return 1;
  }
  if (!WritePng(temporary, rgba, width, height, o.size, &why)) {
    std::fprintf(stderr, "tolvani thumbnail: %s\n", why.c_str());
    return 1;
  }
  return 0;
}

// Set in the environment, the drawing process blocks before it draws, so
// that the tests can see the time limit end it whatever the machine's speed.
constexpr const char* kStallVariable = "TOLVANI_THUMBNAIL_TEST_STALL";

const char* SignalName(int signal) {
  const char* name = sigabbrev_np(signal);
  return name ? name : "?";
}

}  // namespace

int RunThumbnail(const std::vector<std::string>& args, char* program) {
  const auto start = std::chrono::steady_clock::now();
  ThumbnailOptions o;
  std::string why;
  if (!ParseThumbnailOptions(args, &o, &why)) {
    std::fprintf(stderr, "tolvani thumbnail: %s\n", why.c_str());
    return 2;
  }
  if (!CheckProjectPath(o.input, "thumbnail")) return 1;
  struct stat info = {};
  if (::stat(o.input.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_size > o.maxMegabytes * 1024 * 1024) {
    std::fprintf(stderr, "tolvani thumbnail: the file is larger than %lld MB; no thumbnail\n",
                 o.maxMegabytes);
    return 1;
  }

  // The signals this process waits for; the child gets the old mask back.
  sigset_t waited, previous;
  sigemptyset(&waited);
  for (const int signal : {SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&waited, signal);
  sigprocmask(SIG_BLOCK, &waited, &previous);
  OutputFile out;
  if (!out.Reserve(o.output, &why)) {
    std::fprintf(stderr, "tolvani thumbnail: %s\n", why.c_str());
    return 1;
  }
  std::fflush(nullptr);
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child < 0) {
    std::fprintf(stderr, "tolvani thumbnail: cannot start the drawing: %s\n", std::strerror(errno));
    return 1;
  }
  if (child == 0) {
    // Dies with its parent, whatever kills that.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) _exit(1);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    ApplyMemoryCeiling(o.memoryLimitMegabytes);
    ReserveSmallThreadStacks();
    if (std::getenv(kStallVariable) != nullptr) {
      for (;;) ::pause();
    }
    const int status = DrawThumbnail(o, out.temporaryPath(), program);
    std::fflush(nullptr);
    _exit(status);
  }

  const auto deadline = start + std::chrono::seconds(o.timeLimitSeconds);
  int status = 0;
  struct rusage usage = {};
  for (;;) {
    const auto left = deadline - std::chrono::steady_clock::now();
    const long long ns =
        std::max<long long>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(left).count());
    const struct timespec wait = {static_cast<time_t>(ns / 1000000000),
                                  static_cast<long>(ns % 1000000000)};
    const int signal = ns > 0 ? sigtimedwait(&waited, nullptr, &wait) : -1;
    if (signal == SIGCHLD || (signal < 0 && errno == EINTR)) {
      if (::wait4(child, &status, WNOHANG, &usage) == child) break;
      continue;
    }
    ::kill(child, SIGKILL);
    ::wait4(child, &status, 0, &usage);
    if (signal < 0) {
      std::fprintf(stderr, "tolvani thumbnail: gave up: the time limit (%d s) ran out\n",
                   o.timeLimitSeconds);
    } else {
      std::fprintf(stderr, "tolvani thumbnail: stopped by SIG%s; no thumbnail\n",
                   SignalName(signal));
    }
    return 1;
  }
  if (WIFSIGNALED(status)) {
    std::fprintf(stderr,
                 "tolvani thumbnail: gave up: the drawing stopped on SIG%s with %ld MB in use "
                 "(the memory ceiling is %lld MB)\n",
                 SignalName(WTERMSIG(status)), usage.ru_maxrss / 1024, o.memoryLimitMegabytes);
    return 1;
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  if (code != 0) return code;
  if (!out.Commit(&why)) {
    std::fprintf(stderr, "tolvani thumbnail: %s\n", why.c_str());
    return 1;
  }
  return 0;
}

}  // namespace tolvani::render_tool
