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

void CPlayerView::TickModeWork() {
  // The camera work, step advance and Explore frame of each playback mode
  // come with the playback modes; until then a tick only repaints and
  // advances the animations.
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
