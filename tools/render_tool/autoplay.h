// Plays a Glide, Scroll or Orbit story by itself, the way a reader would:
// at each step it waits for the camera to arrive, then for a reading time
// for the visible balloon text (1.5 s + 60 ms per character, at most 8 s),
// then clicks a balloon the step accepts (Glide, Orbit) or turns the wheel
// one notch every 90 ms until the step changes (Scroll). It ends once the
// story's last step has been read. Walk and Explore need a reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/story_rules.h"

namespace tolvani {
class CPlayerView;
}

namespace tolvani::render_tool {

// Whether autoplay can play a story of this play mode.
bool AutoplaySupports(PlayMode playMode);

// Reading time of text of the given length, in ticks of kTickPeriodMs.
int ReadingTicks(size_t characters);

// A client point on a visible balloon shown at the current step that
// picking accepts, found by projecting the triangles of its mesh groups
// with the renderer's last matrices; at a choice, one whose click moves the
// story forward comes first. False when there is none.
bool FindBalloonPoint(int* x, int* y);

class Autoplay {
 public:
  explicit Autoplay(CPlayerView& view) : view_(view) {}
  // Before each tick: acts when it is time. False once the story is over
  // (nothing is done then).
  bool BeforeTick();
  // The step being played and the story's last step, for progress reports.
  int32_t step() const { return step_; }
  int32_t lastStep() const;
  // The ticks the whole story should take: each step's camera movement and
  // reading time, for the estimate of the time left.
  int64_t EstimatedTicks() const;

 private:
  enum class Phase { Arriving, Reading, Acting };
  void EnterStep(int32_t step);

  CPlayerView& view_;
  int32_t step_ = -1;
  Phase phase_ = Phase::Arriving;
  int waited_ = 0;  // ticks in this phase
  int readingTicks_ = 0;
};

}  // namespace tolvani::render_tool
