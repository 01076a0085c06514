#include "playback/player_view.h"

#include <utility>

#include "audio/audio.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "render/renderer.h"

namespace tolvani {

CPlayerView::~CPlayerView() {
  if (document_) document_->RemoveObserver(this);
}

void CPlayerView::AttachDocument(CPlayerDoc* document) {
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
  if (host_) host_->StartTimer(kTickPeriodMs);
  return 0;
}

void CPlayerView::OnDestroy() {
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

enum PlayMode : int32_t { kGlide = 1, kWalk = 2, kScroll = 3, kExplore = 4, kOrbit = 5 };

// A scene is populated when it has at least one timeline and one model.
bool Populated(const CCoreMotion3D& scene) {
  return !SceneState.timeLines.empty() && !scene.models.empty();
}

}  // namespace

void CPlayerView::TickModeWork() {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  switch (scene.playMode) {
    case kGlide:
      if (Populated(scene)) {
        SceneState.timeLines[0].SplineCamera(previousStep, scene.currentStep, stepProgress,
                                             scene.camera);
        if (scene.currentStep > 0) AdvanceProgress();
      }
      if (StandardAdvance()) BeginGlideStep(-1, -1);
      break;
    case kWalk:
      if (Populated(scene)) WalkStep();
      if (StandardAdvance()) BeginWalkStep(-1, -1);
      break;
    case kScroll:
      if (Populated(scene)) {
        SceneState.timeLines[0].LerpCamera(previousStep, scene.currentStep, stepProgress,
                                           scene.camera);
      }
      if (scene.advanceRequested) {
        scene.advanceRequested = false;
        BeginScrollStep(-1, -1);
      }
      break;
    case kExplore:
      if (Populated(scene)) WalkStep();
      DrawFrame(scene);
      ExploreProximitySounds();
      if (StandardAdvance()) BeginExploreStep(-1, -1);
      break;
    case kOrbit:
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
  // The duration as a count of 30 ms frames; 0 ms gives an infinite step.
  stepProgress += 1.0f / (static_cast<float>(duration) * 30.0f / 1000.0f);
  if (stepProgress > 1.0f) stepProgress = 1.0f;
}

bool CPlayerView::StandardAdvance() {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  if (!scene.advanceRequested) return false;
  scene.advanceRequested = false;
  previousStep = scene.currentStep;
  scene.currentStep += 1;
  return true;
}

void CPlayerView::WalkStep() {
  // Walking over the ground comes with the ground probe.
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
  // Objects speak when the walker looks at them: comes with the view-centre test.
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
  scene.currentStep += 1;
  stepProgress = 0.0f;
  if (!SceneState.timeLines.empty() &&
      static_cast<size_t>(scene.currentStep) >= SceneState.timeLines[0].entries.size()) {
    scene.currentStep = 0;  // the story starts again
    previousStep = 0;
  }
  StartStepForTimelines(x, y);
}

void CPlayerView::BeginOrbitStep(int x, int y) {
  // The control-point update follows the balloons of the steps; it comes with
  // the Orbit mode. The progress restarts as in every gliding mode.
  stepProgress = 0.0f;
  if (SceneState.sceneRoot->currentStep <= 0) {
    previousStep = 0;
    stepProgress = 1.0f;
  }
  StartStepForTimelines(x, y);
}

void CPlayerView::CutCameraToStep() {
  CCoreMotion3D& scene = *SceneState.sceneRoot;
  if (SceneState.timeLines.empty()) return;
  const CTimeLine& first = SceneState.timeLines[0];
  if (first.EntryState(scene.currentStep) == 2) scene.camera = first.EntryMotion(scene.currentStep);
}

void CPlayerView::StartStepForTimelines(int /*x*/, int /*y*/) {
  // Applying the new step to every object (visibility, animation, sound, fade
  // level, link) comes with the step starts.
}

void CPlayerView::OnUpdate(int hint) {
  PlaybackReset(hint);
}

void CPlayerView::PlaybackReset(int /*hint*/) {
  // The reset of fades, visibility, animations, first sounds and the Orbit
  // path comes with the playback modes.
}

void CPlayerView::OnLButtonDown(int x, int y) {
  lastMouseX = x;
  lastMouseY = y;
  leftButtonHeld = true;
  if (host_) host_->SetCapture();
  LeftClickAction(x, y);
}

void CPlayerView::LeftClickAction(int /*x*/, int /*y*/) {
  // Balloon picking and the step start come with the playback modes.
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
  // Camera turning by drag comes with the playback modes.
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
}

void CPlayerView::OnKeyUp(uint32_t key) {
  SetKeyFlag(key, false);
}

void CPlayerView::OnMouseWheel(int /*zDelta*/, int /*x*/, int /*y*/) {
  // Zoom and Scroll-mode scrubbing come with the playback modes.
}

}  // namespace tolvani
