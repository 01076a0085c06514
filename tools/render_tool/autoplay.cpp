#include "render_tool/autoplay.h"

#include <algorithm>
#include <cmath>

#include "model/scene_state.h"
#include "playback/picking.h"
#include "playback/player_view.h"

namespace tolvani::render_tool {
namespace {

constexpr int kArrivalLimitTicks = 20 * 1000 / kTickPeriodMs;  // a camera that never arrives
constexpr int kWheelEveryTicks = 3;
constexpr int kWheelNotch = -120;  // towards the user: the story moves on

// Balloons shown at the current step and visible.
template <typename Fn>
void ForEachShownBalloon(const CCoreMotion3D& scene, Fn fn) {
  const std::vector<CTimeLine>& lines = SceneState.timeLines;
  for (size_t i = 1; i < lines.size() && i < scene.models.size(); ++i) {
    if (!lines[i].IsBalloon() || !scene.models[i].visible) continue;
    if (!lines[i].ShownAt(scene.currentStep)) continue;
    fn(i, lines[i]);
  }
}

}  // namespace

bool AutoplaySupports(PlayMode playMode) {
  return playMode == PlayMode::kGlide || playMode == PlayMode::kScroll ||
         playMode == PlayMode::kOrbit;
}

int ReadingTicks(size_t characters) {
  const double seconds = std::min(8.0, 1.5 + 0.06 * static_cast<double>(characters));
  return static_cast<int>(std::ceil(seconds * 1000.0 / kTickPeriodMs));
}

bool FindBalloonPoint(int* x, int* y) {
  CCoreMotion3D* root = SceneState.sceneRoot;
  if (root == nullptr) return false;
  CCoreMotion3D& scene = *root;
  const RenderState& render = scene.render;
  const Matrix4 viewProjection = MatrixMultiply(render.viewMatrix, render.projectionMatrix);
  bool found = false;
  // A choice offers several balloons: a reader who wants to see the story
  // through picks one that moves it on (no jump, or a jump forward), and
  // takes any other only when none does.
  auto movesOn = [&](const CTimeLine& line) {
    return line.EntryJumpEnabled(scene.currentStep) == 0 ||
           line.EntryJumpTarget(scene.currentStep) > scene.currentStep;
  };
  for (const bool forwardOnly : {true, false}) {
    ForEachShownBalloon(scene, [&](size_t i, const CTimeLine& line) {
      if (found || (forwardOnly && !movesOn(line))) return;
      const Matrix4 world = line.EntryWorldMatrix(scene.currentStep);
      const Matrix4 worldView = MatrixMultiply(world, render.viewMatrix);
      const Matrix4 wvp = MatrixMultiply(world, viewProjection);
      for (const MeshGroup& group : scene.models[i].groups) {
        for (size_t v = 0; v + 2 < group.vertices.size() && !found; v += 3) {
          Vec4 sum{0, 0, 0, 0};
          for (size_t k = 0; k < 3; ++k) {
            const Vec3& p = group.vertices[v + k].position;
            const Vec4 c = Vec4Transform(Vec4{p.x, p.y, p.z, 1.0f}, wvp);
            if (c.w <= 0.0f) return;
            sum = Vec4{sum.x + c.x / c.w, sum.y + c.y / c.w, 0, 0};
          }
          const float nx = sum.x / 3.0f, ny = sum.y / 3.0f;
          const int px = static_cast<int>(
              std::lround(render.viewport.topLeftX + (nx + 1.0f) * 0.5f * render.viewport.width));
          const int py = static_cast<int>(
              std::lround(render.viewport.topLeftY + (1.0f - ny) * 0.5f * render.viewport.height));
          float distance = 0.0f;
          if (HitTestScreenPoint(scene.models[i], px, py, render.viewport, worldView,
                                 render.projectionMatrix, distance) >= 0) {
            *x = px;
            *y = py;
            found = true;
          }
        }
      }
    });
  }
  return found;
}

int32_t Autoplay::lastStep() const {
  size_t steps = 0;
  for (const CTimeLine& line : SceneState.timeLines) steps = std::max(steps, line.entries.size());
  return steps == 0 ? 0 : static_cast<int32_t>(steps - 1);
}

int64_t Autoplay::EstimatedTicks() const {
  const CCoreMotion3D* scene = SceneState.sceneRoot;
  if (scene == nullptr) return 0;
  const std::vector<CTimeLine>& lines = SceneState.timeLines;
  int64_t ticks = 0;
  for (int32_t step = 0; step <= lastStep(); ++step) {
    size_t characters = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
      if (lines[i].IsBalloon() && lines[i].ShownAt(step)) {
        characters += lines[i].entries[static_cast<size_t>(step)].text.size();
      }
    }
    ticks += ReadingTicks(characters);
    // The camera's glide: glideDuration as a count of frames (DurationFrames).
    if (step > 0 && scene->playMode != PlayMode::kScroll) {
      ticks += std::clamp<int64_t>(int64_t{scene->glideDuration} * kDurationFramesPerSecond / 1000,
                                   0, kArrivalLimitTicks);
    }
  }
  return ticks;
}

void Autoplay::EnterStep(int32_t step) {
  step_ = step;
  phase_ = Phase::Arriving;
  waited_ = 0;
  size_t characters = 0;
  if (CCoreMotion3D* scene = SceneState.sceneRoot) {
    ForEachShownBalloon(*scene, [&](size_t, const CTimeLine& line) {
      characters += line.entries[static_cast<size_t>(step)].text.size();
    });
  }
  readingTicks_ = ReadingTicks(characters);
}

bool Autoplay::BeforeTick() {
  CCoreMotion3D* scene = SceneState.sceneRoot;
  if (scene == nullptr || !AutoplaySupports(scene->playMode)) return false;
  if (scene->currentStep != step_) EnterStep(scene->currentStep);
  ++waited_;
  switch (phase_) {
    case Phase::Arriving: {
      // Scroll's camera moves with the wheel only; Glide and Orbit cameras
      // stand still at the first step.
      const bool moving =
          scene->playMode != PlayMode::kScroll && step_ > 0 && view_.stepProgress < 1.0f;
      if (moving && waited_ < kArrivalLimitTicks) return true;
      phase_ = Phase::Reading;
      waited_ = 0;
      return true;
    }
    case Phase::Reading:
      if (waited_ < readingTicks_) return true;
      if (step_ >= lastStep()) return false;
      phase_ = Phase::Acting;
      waited_ = 0;
      [[fallthrough]];
    case Phase::Acting:
      break;
  }
  if (scene->playMode == PlayMode::kScroll) {
    if (waited_ % kWheelEveryTicks == 0) {
      view_.OnMouseWheel(kWheelNotch, view_.lastMouseX, view_.lastMouseY);
    }
    return waited_ < kArrivalLimitTicks;
  }
  int x = 0, y = 0;
  if (!FindBalloonPoint(&x, &y)) return false;  // nothing left to click
  view_.OnLButtonDown(x, y);
  view_.OnLButtonUp(x, y);
  return true;
}

}  // namespace tolvani::render_tool
