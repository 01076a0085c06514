// Progress of a render on standard error: a bar redrawn in place when
// standard error is a terminal, a plain line every few seconds of cartoon
// otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace tolvani::render_tool {

class Progress {
 public:
  explicit Progress(FILE* out);
  // frames written; step and lastStep of the story; done: an estimate of
  // the part finished, 0 to 1 (negative when unknown).
  void Update(int64_t frames, int32_t step, int32_t lastStep, double done);
  // Ends the bar's line and sums up: frames, cartoon time, wall time and
  // the story step reached.
  void Finish(int64_t frames, int32_t step, int32_t lastStep);

 private:
  FILE* out_;
  bool terminal_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDrawn_;
  int64_t lastLineFrames_ = 0;
};

}  // namespace tolvani::render_tool
