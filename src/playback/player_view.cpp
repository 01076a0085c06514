#include "playback/player_view.h"

#include <climits>
#include <cmath>
#include <utility>

#include "audio/audio.h"
#include "base/platform_services.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "playback/animation.h"
#include "playback/picking.h"
#include "render/balloon_text.h"
#include "render/renderer.h"

namespace tolvani {

int32_t NextStep(int32_t step) {
  return step < INT32_MAX ? step + 1 : INT32_MAX;
}

CPlayerView::~CPlayerView() {
  if (document_) document_->RemoveObserver(this);
}

void CPlayerView::AttachDocument(IObservedDocument* document) {
  if (document_ == document) return;
  if (document_) document_->RemoveObserver(this);
  document_ = document;
  if (document_) document_->AddObserver(this);
}

int CPlayerView::OnCreate(gfx::IGraphicsDevice* device, ITextRasterizer* textRasterizer,
                          std::unique_ptr<ISoundBackend> soundBackend) {
  EnsureSceneRoot();
  if (gfx::Failed(CreateRenderer(*SceneState.sceneRoot, device, textRasterizer))) return -1;
  delete SceneState.audio;
  SceneState.audio = new CAudio(std::move(soundBackend));
  created_ = true;
  // Explore balloons show their text only while near the view centre.
  SetNearViewCentreQuery(&IsNearViewCentre);
  if (host_) host_->StartTimer(kTickPeriodMs);
  return 0;
}

void CPlayerView::OnDestroy() {
  SetNearViewCentreQuery(nullptr);
  if (SceneState.sceneRoot) DestroyRenderer(*SceneState.sceneRoot);
  if (SceneState.audio) {
    delete SceneState.audio;
    SceneState.audio = nullptr;
  }
  if (SceneState.sceneRoot) {
    delete SceneState.sceneRoot;
    SceneState.sceneRoot = nullptr;
  }
  created_ = false;
}

void CPlayerView::OnSize(int width, int height) {
  if (SceneState.sceneRoot) ResizeRenderer(*SceneState.sceneRoot, width, height);
}

void CPlayerView::OnDraw() {
  if (document_ && SceneState.sceneRoot) DrawFrame(*SceneState.sceneRoot);
}

void CPlayerView::OnTimer() {
  CCoreMotion3D* scene = SceneState.sceneRoot;
  if (scene == nullptr) return;
  TickModeWork();
  if (host_) host_->Invalidate();
  for (CModel& model : scene->models) model.AdvanceAnimationFrame();
}

namespace {

// A scene is populated when it has at least one timeline and one model.
bool Populated(const CCoreMotion3D& scene) {
  return !SceneState.timeLines.empty() && !scene.models.empty();
}

}  // namespace

void CPlayerView::TickModeWork() {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  switch (scene.playMode) {
    case PlayMode::kGlide:
      if (Populated(scene)) {
        SceneState.timeLines[0].SplineCamera(previousStep, scene.currentStep, stepProgress,
                                             scene.camera);
        if (scene.currentStep > 0) AdvanceProgress();
      }
      if (StandardAdvance()) BeginGlideStep(-1, -1);
      break;
    case PlayMode::kWalk:
      if (Populated(scene)) WalkStep();
      if (StandardAdvance()) BeginWalkStep(-1, -1);
      break;
    case PlayMode::kScroll:
      if (Populated(scene)) {
        SceneState.timeLines[0].LerpCamera(previousStep, scene.currentStep, stepProgress,
                                           scene.camera);
      }
      if (scene.advanceRequested) {
        scene.advanceRequested = false;
        BeginScrollStep(-1, -1);
      }
      break;
    case PlayMode::kExplore:
      if (Populated(scene)) WalkStep();
      DrawFrame(scene);
      ExploreProximitySounds();
      if (StandardAdvance()) BeginExploreStep(-1, -1);
      break;
    case PlayMode::kOrbit:
      OrbitPath();
      if (scene.currentStep > 0) AdvanceProgress();
      OrbitSpin();
      if (StandardAdvance()) BeginOrbitStep(-1, -1);
      break;
    default:
      break;  // any other mode does no mode work; an advance request stays set
  }
}

void CPlayerView::AdvanceProgress() {
  const int32_t duration = SceneState.sceneRoot->glideDuration;
  // 0 ms gives an infinite step.
  stepProgress += 1.0f / DurationFrames(duration);
  if (stepProgress > 1.0f) stepProgress = 1.0f;
}

bool CPlayerView::StandardAdvance() {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  if (!scene.advanceRequested) return false;
  scene.advanceRequested = false;
  previousStep = scene.currentStep;
  scene.currentStep = NextStep(scene.currentStep);
  return true;
}

namespace {

// sin and cos of a degree value, taken in double and narrowed to float.
float SinDeg(float degrees) {
  return static_cast<float>(std::sin(static_cast<double>(DegToRad(degrees))));
}
float CosDeg(float degrees) {
  return static_cast<float>(std::cos(static_cast<double>(DegToRad(degrees))));
}

constexpr float kStrafeStep = 15.0f;
constexpr float kForwardStep = 20.0f;
// The ground probe starts this far above the eye, which stays kEyeHeight
// above the ground.
constexpr float kProbeHeight = 10000.0f;
constexpr float kEyeHeight = 200.0f;

}  // namespace

void CPlayerView::WalkStep() {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  // The camera's position is the negated eye point.
  CMotion m = scene.camera;
  const float yaw = m.rotation.y;
  bool strafe = false;
  float angle = 0.0f;
  if (strafeLeftHeld) {
    strafe = true;
    angle = yaw + 270.0f;
  } else if (strafeRightHeld) {
    strafe = true;
    angle = yaw + 90.0f;
  }
  if (strafe) {
    m.position.x -= SinDeg(angle) * kStrafeStep;
    m.position.z += CosDeg(angle) * kStrafeStep;
  }
  if (forwardHeld) {
    m.position.x -= SinDeg(yaw) * kForwardStep;
    m.position.z += CosDeg(yaw) * kForwardStep;
  } else if (backwardHeld) {
    m.position.x += SinDeg(yaw) * kForwardStep;
    m.position.z -= CosDeg(yaw) * kForwardStep;
  }
  // Follow the ground; a move with no ground under it is refused whole.
  float d = 0.0f;
  const Vec3 origin{m.position.x, m.position.y - kProbeHeight, m.position.z};
  if (!ProbeGround(scene, origin, Vec3{0.0f, -1.0f, 0.0f}, d)) return;
  m.position.y = (d + (m.position.y - kProbeHeight)) - kEyeHeight;
  scene.camera = m;
}

void CPlayerView::OrbitPath() {
  CMotion& camera = SceneState.sceneRoot->camera;
  const Vec3* p = orbitPoints;
  camera.pivot = Vec3{CatmullRom(p[0].x, p[1].x, p[2].x, p[3].x, stepProgress),
                      CatmullRom(p[0].y, p[1].y, p[2].y, p[3].y, stepProgress),
                      CatmullRom(p[0].z, p[1].z, p[2].z, p[3].z, stepProgress)};
}

void CPlayerView::OrbitSpin() {
  spinSpeed = spinSpeed * 0.98f;
  SceneState.sceneRoot->camera.rotation.y += spinSpeed;
}

void CPlayerView::ExploreProximitySounds() {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  static const std::u16string kNoSound;
  const int32_t step = scene.currentStep;
  std::vector<CTimeLine>& timeLines = SceneState.timeLines;
  // An object without skeletal animation speaks once per step, when the
  // walker first looks at it.
  for (size_t i = 0; i < timeLines.size(); ++i) {
    CTimeLine& line = timeLines[i];
    if (HasBoneTracks(i) || line.soundPlayed) continue;
    if (!IsNearViewCentre(scene, static_cast<int32_t>(i))) continue;
    const bool has = line.HasEntry(step);
    const std::u16string& name = has ? line.entries[static_cast<size_t>(step)].soundName : kNoSound;
    const bool loops = has && line.entries[static_cast<size_t>(step)].soundLoops;
    if (SceneState.audio) SceneState.audio->Play(name, loops);
    line.soundPlayed = true;
  }
}

void CPlayerView::BeginGlideStep(int x, int y) {
  stepProgress = 0.0f;
  if (SceneState.sceneRoot->currentStep <= 0) previousStep = 0;
  StartStepForTimelines(x, y);
}

void CPlayerView::BeginWalkStep(int x, int y) {
  CutCameraToStep();
  StartStepForTimelines(x, y);
}

void CPlayerView::BeginExploreStep(int x, int y) {
  CutCameraToStep();
  StartStepForTimelines(x, y);
}

void CPlayerView::BeginScrollStep(int x, int y) {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  if (scene.currentStep != 0 && stepProgress <= 1.0f) return;
  previousStep = scene.currentStep;
  scene.currentStep = NextStep(scene.currentStep);
  stepProgress = 0.0f;
  if (!SceneState.timeLines.empty() &&
      static_cast<size_t>(scene.currentStep) >= SceneState.timeLines[0].entries.size()) {
    scene.currentStep = 0;  // the story starts again
    previousStep = 0;
  }
  StartStepForTimelines(x, y);
}

void CPlayerView::BeginOrbitStep(int x, int y) {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  // Control points: shift, then the balloon centres of this step and the next
  // (a step without balloons keeps the path's end point).
  orbitPoints[0] = orbitPoints[1];
  orbitPoints[1] = orbitPoints[2];
  BalloonCentre(scene.currentStep, orbitPoints[2]);
  if (!BalloonCentre(NextStep(scene.currentStep), orbitPoints[3])) orbitPoints[3] = orbitPoints[2];
  stepProgress = 0.0f;
  if (scene.currentStep <= 0) {
    previousStep = 0;
    stepProgress = 1.0f;  // no glide into the first step
  }
  StartStepForTimelines(x, y);
}

void CPlayerView::CutCameraToStep() {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  if (SceneState.timeLines.empty()) return;
  const CTimeLine& first = SceneState.timeLines[0];
  if (first.ShownAt(scene.currentStep)) scene.camera = first.EntryMotion(scene.currentStep);
}

void CPlayerView::StartStepForTimelines(int /*x*/, int /*y*/) {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  const PlayMode mode = scene.playMode;
  const int32_t step = scene.currentStep;
  std::vector<CTimeLine>& timeLines = SceneState.timeLines;
  links.BeginStepStart();
  for (size_t i = 0; i < timeLines.size(); ++i) {
    CTimeLine& line = timeLines[i];
    CModel* model = i < scene.models.size() ? &scene.models[i] : nullptr;
    SelectAnimationByName(scene, static_cast<int32_t>(i), line.EntryAnimationName(step));
    if (mode == PlayMode::kExplore) line.soundPlayed = false;
    if (!line.ShownAt(step)) {
      if (model) model->visible = false;
      continue;
    }
    const CTimeLineData& entry = line.entries[static_cast<size_t>(step)];
    if (model) model->visible = true;
    // Balloons and objects without skeletal animation speak at the step start.
    if (mode != PlayMode::kExplore && SceneState.audio && (line.IsBalloon() || !HasBoneTracks(i))) {
      SceneState.audio->Play(entry.soundName, entry.soundLoops);
    }
    if (mode == PlayMode::kGlide) {
      if (IsFadeInName(line.name)) scene.fadeLevel = 1.0f;
      if (IsFadeOutName(line.name)) scene.fadeLevel = 0.0f;
    }
    // A text starting with "http" is a link: its first line is opened
    // when it is a web address, within the link limits.
    links.Request(entry.text);
  }
}

bool CPlayerView::HasBoneTracks(size_t i) const {
  const CCoreMotion3D& scene = *SceneState.sceneRoot;
  return i < scene.models.size() && !scene.models[i].animations.empty() &&
         !scene.models[i].animations.front().empty();
}

void CPlayerView::OnUpdate(int hint) {
  PlaybackReset(hint);
}

void CPlayerView::PlaybackReset(int hint) {
  CCoreMotion3D* root = SceneState.sceneRoot;
  if (root == nullptr) return;
  CCoreMotion3D& scene = *root;
  const std::vector<CTimeLine>& timeLines = SceneState.timeLines;
  if (hint == 1) {
    // Fade level from the first step's shown fade objects; a later one wins.
    for (const CTimeLine& line : timeLines) {
      if (!line.ShownAt(0)) continue;
      if (IsFadeInName(line.name)) {
        scene.fadeLevel = 1.0f;
      } else if (IsFadeOutName(line.name)) {
        scene.fadeLevel = 0.0f;
      }
    }
    // Objects: visibility and animation of the current step; outside Explore
    // the shown objects also start their sounds.
    for (size_t i = 0; i < timeLines.size(); ++i) {
      const CTimeLine& line = timeLines[i];
      const int32_t step = scene.currentStep;
      if (scene.playMode != PlayMode::kExplore && line.ShownAt(0) && SceneState.audio) {
        SceneState.audio->Play(line.EntrySoundName(step), line.EntrySoundLoops(step));
      }
      if (i < scene.models.size()) scene.models[i].visible = line.ShownAt(step);
      SelectAnimationByName(scene, static_cast<int32_t>(i), line.EntryAnimationName(step));
    }
    stepProgress = 0.0f;
    previousStep = 0;
    spinSpeed = 0.0f;
  }
  orbitPoints[2] = Vec3{0, 0, 0};
  if (scene.playMode != PlayMode::kOrbit) return;
  // The orbit starts around the first step's balloons, 1000 units away.
  BalloonCentre(0, orbitPoints[2]);
  orbitPoints[0] = orbitPoints[1] = orbitPoints[3] = orbitPoints[2];
  scene.camera.pivot = orbitPoints[2];
  scene.camera.position = Vec3{0, 0, -1000};
}

bool CPlayerView::BalloonCentre(int32_t step, Vec3& centre) const {
  Vec3 sum{0, 0, 0};
  int count = 0;
  for (const CTimeLine& line : SceneState.timeLines) {
    if (!line.ShownAt(step) || !line.IsBalloon()) continue;
    const Vec3& p = line.entries[static_cast<size_t>(step)].motion.position;
    sum.x += p.x;
    sum.y += p.y;
    sum.z += p.z;
    ++count;
  }
  if (count == 0) return false;
  const float inverse = 1.0f / static_cast<float>(count);
  centre = Vec3{inverse * -sum.x, inverse * -sum.y, inverse * -sum.z};
  return true;
}

void CPlayerView::OnLButtonDown(int x, int y) {
  lastMouseX = x;
  lastMouseY = y;
  leftButtonHeld = true;
  if (host_) host_->SetCapture();
  LeftClickAction(x, y);
}

void CPlayerView::LeftClickAction(int x, int y) {
  CCoreMotion3D* root = SceneState.sceneRoot;
  if (root == nullptr || !TakesBalloonNow()) return;
  CCoreMotion3D& scene = *root;
  if (!PickBalloon(scene, x, y)) return;
  const int32_t i = scene.pickedModel;
  if (!BalloonAnswers(i)) return;
  AdvanceThrough(i, x, y);
}

bool CPlayerView::TakesBalloonNow() const {
  const CCoreMotion3D* root = SceneState.sceneRoot;
  if (root == nullptr) return false;
  const PlayMode mode = root->playMode;
  if (mode != PlayMode::kGlide && mode != PlayMode::kWalk && mode != PlayMode::kExplore &&
      mode != PlayMode::kOrbit) {
    return false;
  }
  // Glide and Orbit take clicks at step 0 or once the camera has arrived.
  return !((mode == PlayMode::kGlide || mode == PlayMode::kOrbit) && root->currentStep != 0 &&
           stepProgress != 1.0f);
}

bool CPlayerView::BalloonAnswers(int32_t i) const {
  const std::vector<CTimeLine>& timeLines = SceneState.timeLines;
  if (i < 0 || static_cast<size_t>(i) >= timeLines.size()) return false;
  const CTimeLine& line = timeLines[static_cast<size_t>(i)];
  // In Explore a balloon answers only after its object has spoken.
  if (SceneState.sceneRoot->playMode == PlayMode::kExplore && !line.soundPlayed) return false;
  return line.IsBalloon();
}

void CPlayerView::AdvanceThrough(int32_t i, int x, int y) {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  const PlayMode mode = scene.playMode;
  const CTimeLine& line = SceneState.timeLines[static_cast<size_t>(i)];
  if (mode == PlayMode::kGlide || mode == PlayMode::kOrbit) previousStep = scene.currentStep;
  scene.currentStep = StepAfter(line, scene.currentStep);
  switch (mode) {
    case PlayMode::kGlide:
      BeginGlideStep(x, y);
      break;
    case PlayMode::kWalk:
      BeginWalkStep(x, y);
      break;
    case PlayMode::kExplore:
      BeginExploreStep(x, y);
      break;
    default:
      BeginOrbitStep(x, y);
      break;
  }
}

void CPlayerView::OnLButtonUp(int /*x*/, int /*y*/) {
  if (leftButtonHeld && host_) host_->ReleaseCapture();
  leftButtonHeld = false;
}

void CPlayerView::OnRButtonDown(int x, int y) {
  lastMouseX = x;
  lastMouseY = y;
  rightButtonHeld = true;
  if (host_) host_->SetCapture();
}

void CPlayerView::OnRButtonUp(int /*x*/, int /*y*/) {
  if (rightButtonHeld && host_) host_->ReleaseCapture();
  rightButtonHeld = false;
}

void CPlayerView::OnLButtonDblClk(int /*x*/, int /*y*/) {
  // The second press of a double click neither clicks nor starts a drag.
}

void CPlayerView::OnMouseMove(int x, int y) {
  CCoreMotion3D* scene = SceneState.sceneRoot;
  const float dx = static_cast<float>(static_cast<int64_t>(x) - lastMouseX);
  const float dy = static_cast<float>(static_cast<int64_t>(y) - lastMouseY);
  if (scene != nullptr && Populated(*scene) && (leftButtonHeld || rightButtonHeld)) {
    const PlayMode mode = scene->playMode;
    if (mode == PlayMode::kWalk || mode == PlayMode::kExplore || mode == PlayMode::kOrbit) {
      // A drag turns the camera: vertical moves pitch, horizontal ones yaw.
      scene->camera.rotation.x += dy / 10.0f;
      scene->camera.rotation.y += dx / 10.0f;
      // In Orbit the yaw keeps turning after the drag (the tick decays it).
      if (mode == PlayMode::kOrbit) spinSpeed = dx * 0.5f;
    }
  }
  lastMouseX = x;
  lastMouseY = y;
}

void CPlayerView::SetKeyFlag(uint32_t key, bool held) {
  switch (key) {
    case vk::kLeft:
    case vk::kA:
      strafeLeftHeld = held;
      break;
    case vk::kRight:
    case vk::kD:
      strafeRightHeld = held;
      break;
    case vk::kUp:
    case vk::kW:
      forwardHeld = held;
      break;
    case vk::kDown:
    case vk::kS:
      backwardHeld = held;
      break;
    default:
      break;
  }
}

void CPlayerView::OnKeyDown(uint32_t key) {
  SetKeyFlag(key, true);
  if (IsStoryKey(key)) StoryKey();
}

void CPlayerView::OnKeyUp(uint32_t key) {
  SetKeyFlag(key, false);
}

void CPlayerView::OnMouseWheel(int zDelta, int x, int y) {
  CCoreMotion3D* root = SceneState.sceneRoot;
  if (root == nullptr) return;
  CCoreMotion3D& scene = *root;
  // The wheel distance is a signed 16-bit quantity.
  const int16_t delta = static_cast<int16_t>(zDelta);
  const float amount = static_cast<float>(delta) / 2000.0f;
  switch (scene.playMode) {
    case PlayMode::kWalk:
    case PlayMode::kExplore:
    case PlayMode::kOrbit: {
      // Zoom: every scale component moves by the same amount, kept positive.
      Vec3& s = scene.camera.scale;
      s.x += amount;
      s.y += amount;
      s.z += amount;
      if (s.x <= 0.0f) s.x = 0.001f;
      if (s.y <= 0.0f) s.y = 0.001f;
      if (s.z <= 0.0f) s.z = 0.001f;
      break;
    }
    case PlayMode::kScroll:
      // Turning the wheel towards the user moves the story on.
      stepProgress += delta > 0 ? -0.1f : 0.1f;
      if (stepProgress < 0.0f) stepProgress = 0.0f;
      BeginScrollStep(x, y);
      break;
    default:
      break;
  }
}

}  // namespace tolvani
