#include "render_tool/progress.h"

#include <unistd.h>

#include <algorithm>
#include <string>

namespace tolvani::render_tool {
namespace {

constexpr int kBarWidth = 30;
constexpr int64_t kLineEveryFrames = 300;  // 9 s of cartoon

std::string Clock(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

Progress::Progress(FILE* out)
    : out_(out),
      terminal_(isatty(fileno(out)) == 1),
      start_(std::chrono::steady_clock::now()),
      lastDrawn_(start_) {}

void Progress::Update(int64_t frames, int32_t step, int32_t lastStep, double done) {
  const auto now = std::chrono::steady_clock::now();
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  std::string remaining = "?";
  if (done > 0.0 && done <= 1.0) remaining = Clock(elapsed * (1.0 - done) / done);
  if (terminal_) {
    if (now - lastDrawn_ < std::chrono::milliseconds(100)) return;
    lastDrawn_ = now;
    const int filled = done < 0 ? 0 : static_cast<int>(std::clamp(done, 0.0, 1.0) * kBarWidth);
    std::fprintf(out_, "\r[%s%s] %lld frames  step %d/%d  %s elapsed  %s left ",
                 std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kBarWidth - filled), '-').c_str(),
                 static_cast<long long>(frames), step + 1, lastStep + 1, Clock(elapsed).c_str(),
                 remaining.c_str());
    std::fflush(out_);
    return;
  }
  if (frames - lastLineFrames_ < kLineEveryFrames) return;
  lastLineFrames_ = frames;
  std::fprintf(out_, "frames %lld, step %d/%d, elapsed %s, left %s\n",
               static_cast<long long>(frames), step + 1, lastStep + 1, Clock(elapsed).c_str(),
               remaining.c_str());
}

void Progress::Finish(int64_t frames, int32_t step, int32_t lastStep) {
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  if (terminal_) std::fputc('\n', out_);
  std::fprintf(out_, "done: %lld frames, %.2f s of cartoon in %.2f s, story at step %d of %d\n",
               static_cast<long long>(frames), static_cast<double>(frames) * 0.03, elapsed,
               step + 1, lastStep + 1);
}

}  // namespace tolvani::render_tool
