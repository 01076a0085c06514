// The keys that move the story on, and the question the pointer's cue asks:
// would a click here move it on?
#include <vector>

#include "model/scene_state.h"
#include "playback/picking.h"
#include "playback/player_view.h"

namespace tolvani {

int32_t StepAfter(const CTimeLine& line, int32_t step) {
  if (line.HasEntry(step) && line.entries[static_cast<size_t>(step)].jumpEnabled != 0) {
    return line.entries[static_cast<size_t>(step)].jumpTarget;
  }
  return NextStep(step);
}

bool CPlayerView::IsStoryKey(uint32_t key) const {
  const CCoreMotion3D* scene = SceneState.sceneRoot;
  if (scene == nullptr) return false;
  const PlayMode mode = scene->playMode;
  if (mode != PlayMode::kGlide && mode != PlayMode::kWalk && mode != PlayMode::kScroll &&
      mode != PlayMode::kExplore && mode != PlayMode::kOrbit) {
    return false;
  }
  switch (key) {
    case vk::kSpace:
    case vk::kReturn:
    case vk::kPageDown:
      return true;
    case vk::kRight:
      // The arrows walk in Walk and Explore.
      return mode == PlayMode::kGlide || mode == PlayMode::kOrbit || mode == PlayMode::kScroll;
    default:
      return false;
  }
}

int32_t CPlayerView::StoryKeyBalloon() const {
  if (!TakesBalloonNow()) return -1;
  const CCoreMotion3D& scene = *SceneState.sceneRoot;
  const int32_t step = scene.currentStep;
  const std::vector<CTimeLine>& timeLines = SceneState.timeLines;
  int32_t first = -1, forwards = -1;
  // Model 0 is never a balloon to click, as in picking.
  for (size_t i = 1; i < timeLines.size() && i < scene.models.size(); ++i) {
    const int32_t index = static_cast<int32_t>(i);
    if (!scene.models[i].visible || !timeLines[i].ShownAt(step)) continue;
    if (!BalloonAnswers(index)) continue;
    const int32_t target = StepAfter(timeLines[i], step);
    if (target == NextStep(step)) return index;
    if (first < 0) first = index;
    if (forwards < 0 && target > step) forwards = index;
  }
  return forwards >= 0 ? forwards : first;
}

void CPlayerView::StoryKey() {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  if (scene.playMode == PlayMode::kScroll) {
    // One whole step: past the end of the current camera move, then the
    // camera stands at the new step.
    if (stepProgress <= 1.0f) stepProgress = 1.1f;
    BeginScrollStep(-1, -1);
    stepProgress = 1.0f;
    previousStep = scene.currentStep;
    return;
  }
  const int32_t i = StoryKeyBalloon();
  if (i < 0) return;
  scene.pickedModel = i;
  AdvanceThrough(i, -1, -1);
}

bool CPlayerView::ClickWouldAdvance(int x, int y) {
  CCoreMotion3D* scene = SceneState.sceneRoot;
  if (scene == nullptr || !TakesBalloonNow()) return false;
  const int32_t kept = scene->pickedModel;
  const bool hit = PickBalloon(*scene, x, y);
  const int32_t i = scene->pickedModel;
  scene->pickedModel = kept;
  return hit && BalloonAnswers(i);
}

}  // namespace tolvani
