// CPlayerView: the one view of the document. It owns the player's clock and
// input: it creates the renderer and the sound container when its window is
// created, runs the tick (kTickPeriodMs), asks for a repaint after every tick, and
// receives mouse and keyboard events. The class is portable: the Qt widget
// (src/app) and the headless simulator translate their events into these
// handlers and provide the few window services through IViewHost.
//
// Coordinates are client pixels, origin top-left. Key codes are the
// virtual-key numbers of the original platform (Left 0x25, Up 0x26,
// Right 0x27, Down 0x28, letters 'A'..'Z' as 0x41..0x5A).
#pragma once

#include <cstdint>
#include <memory>

#include "base/graphics_device.h"
#include "base/math.h"
#include "model/story_rules.h"
#include "playback/document_link.h"
#include "playback/web_links.h"

namespace tolvani {

class ITextRasterizer;
class CTimeLine;
class ISoundBackend;

// What the view asks of the window around it.
class IViewHost {
 public:
  virtual ~IViewHost() = default;
  // Starts the periodic tick (OnTimer every periodMs on the UI thread).
  virtual void StartTimer(int periodMs) = 0;
  // Requests a repaint; the repaint calls OnDraw later. Must not allocate.
  virtual void Invalidate() = 0;
  // Keep delivering mouse events to the view while a button is held.
  virtual void SetCapture() = 0;
  virtual void ReleaseCapture() = 0;
};

// Virtual-key codes of the movement keys.
namespace vk {
constexpr uint32_t kLeft = 0x25;
constexpr uint32_t kUp = 0x26;
constexpr uint32_t kRight = 0x27;
constexpr uint32_t kDown = 0x28;
constexpr uint32_t kA = 0x41;
constexpr uint32_t kD = 0x44;
constexpr uint32_t kS = 0x53;
constexpr uint32_t kW = 0x57;
// Keys that move the story on (see CPlayerView::OnKeyDown).
constexpr uint32_t kReturn = 0x0D;
constexpr uint32_t kSpace = 0x20;
constexpr uint32_t kPageDown = 0x22;
}  // namespace vk

// The step after step; a story step counter stops at INT32_MAX instead of
// overflowing (a file can store a jump target of INT32_MAX).
int32_t NextStep(int32_t step);
// The step a click on balloon timeline `line` at `step` leads to: the
// entry's jump target when its jump is enabled, else the next step.
int32_t StepAfter(const CTimeLine& line, int32_t step);

class CPlayerView : public IDocumentObserver {
 public:
  CPlayerView() = default;
  ~CPlayerView() override;
  CPlayerView(const CPlayerView&) = delete;
  CPlayerView& operator=(const CPlayerView&) = delete;

  // Input bookkeeping.
  bool leftButtonHeld = false;
  bool rightButtonHeld = false;
  int32_t lastMouseX = 0;
  int32_t lastMouseY = 0;
  bool strafeLeftHeld = false;
  bool strafeRightHeld = false;
  bool forwardHeld = false;
  bool backwardHeld = false;
  // Camera progress, 0 to 1, from previousStep to the current step.
  float stepProgress = 0.0f;
  int32_t previousStep = 0;
  // Orbit pivot path control points P0..P3 and the yaw speed (degrees per tick).
  Vec3 orbitPoints[4] = {};
  float spinSpeed = 0.0f;
  // Opens the web links of step starts (tests replace its clock).
  LinkOpener links;

  // Attaches the view to the document (observer) and to its window; either may
  // be null. Neither is owned.
  void AttachDocument(IObservedDocument* document);
  void SetHost(IViewHost* host) { host_ = host; }
  IObservedDocument* document() const { return document_; }

  // Window creation: creates the renderer on device (scene root must exist),
  // then the sound container on soundBackend, then starts the tick.
  // Returns -1 when the renderer could not be created (nothing else is made).
  int OnCreate(gfx::IGraphicsDevice* device, ITextRasterizer* textRasterizer,
               std::unique_ptr<ISoundBackend> soundBackend);
  // Window destruction: renderer teardown (with the scene reset), then the
  // sound container and the scene root are deleted and their pointers cleared.
  void OnDestroy();
  // New client size in pixels; the renderer ignores sizes below 100.
  void OnSize(int width, int height);
  // Paint: one frame when the view is attached to a document.
  void OnDraw();
  // The 30 ms tick. Allocates nothing in steady state.
  void OnTimer();

  // Document notification: hint 1 after an open.
  void OnUpdate(int hint) override;
  // The playback reset run on a document update: after an open (hint 1) the
  // fade level, visibility, animations and first sounds of the current step
  // and the progress; for every hint the Orbit start around the first
  // step's balloons.
  void PlaybackReset(int hint);

  // Input handlers; coordinates are client pixels. A left press records the
  // press, then in Glide, Walk, Explore and Orbit picks the balloon under the
  // point and, when the click is accepted, starts the entry's jump target or
  // the next step. The view-centre query of the balloon text is installed
  // by OnCreate and removed by OnDestroy.
  void OnLButtonDown(int x, int y);
  void OnLButtonUp(int x, int y);
  void OnRButtonDown(int x, int y);
  void OnRButtonUp(int x, int y);
  void OnLButtonDblClk(int x, int y);
  // Walk, Explore and Orbit with a populated scene and a button held: pitch
  // += dy / 10 and yaw += dx / 10 degrees (Orbit: spinSpeed = dx / 2).
  void OnMouseMove(int x, int y);
  // A movement key sets its flag. Space, Enter and PageDown (and Right in
  // Glide and Orbit, where arrows walk nothing) move the story on: in
  // Glide, Walk, Explore and Orbit as a click on the balloon that moves it
  // on would, when a click would count now (StoryKeyBalloon); in Scroll
  // they turn the story one step forward with the camera at that step.
  // The window leaves out auto-repeated presses of these keys.
  void OnKeyDown(uint32_t key);
  void OnKeyUp(uint32_t key);
  // Whether key moves the story on in the current play mode.
  bool IsStoryKey(uint32_t key) const;
  // The balloon timeline a story key would advance through now, or -1: a
  // shown, visible balloon that answers (Explore: once its object has
  // spoken), preferring the one leading to the next step, then one leading
  // forwards, then the first (a last step that starts again). -1 while a
  // click would not count (Glide and Orbit while the camera glides).
  int32_t StoryKeyBalloon() const;
  // Whether a left click at (x, y) would move the story on now: the same
  // pick and tests as the click, without acting; pickedModel is left as it
  // was. For the pointer's cue.
  bool ClickWouldAdvance(int x, int y);
  // zDelta: signed wheel distance (120 per notch), taken as a signed 16-bit
  // value; x, y: pointer position. Walk, Explore and Orbit add zDelta / 2000
  // to every camera scale component (at least 0.001); Scroll moves
  // stepProgress by 0.1 (towards the user forwards) and may start a step.
  void OnMouseWheel(int zDelta, int x, int y);

  bool created() const { return created_; }

  // Step starts, one per mode: the camera part, then every timeline's part.
  // x, y: the click position, (-1, -1) from the tick; not read.
  void BeginGlideStep(int x, int y);
  void BeginWalkStep(int x, int y);
  void BeginScrollStep(int x, int y);
  void BeginExploreStep(int x, int y);
  void BeginOrbitStep(int x, int y);

 private:
  // The playback mode's camera and step work of one tick, in this order:
  // the mode's camera work, then the advance handling with its step start.
  void TickModeWork();
  // stepProgress moves on by one frame of glideDuration (DurationFrames), up to 1.
  void AdvanceProgress();
  // Consumes an advance request: previousStep = currentStep, currentStep + 1.
  // Returns whether there was one.
  bool StandardAdvance();
  void WalkStep();
  void OrbitPath();
  void OrbitSpin();
  void ExploreProximitySounds();
  // Walk and Explore: the camera cuts to timeline 0's pose when it is shown.
  void CutCameraToStep();
  // Applies the current step to every timeline's object: animation,
  // visibility, sound (not in Explore), fade level (Glide) and link.
  void StartStepForTimelines(int x, int y);
  // Model i exists, has an animation, and its first animation has a track.
  bool HasBoneTracks(size_t i) const;
  // The negated mean position of the balloons shown at step; false (and
  // centre untouched) when there is none.
  bool BalloonCentre(int32_t step, Vec3& centre) const;
  // The left click's action on the scene (balloon picking and step start).
  void LeftClickAction(int x, int y);
  // Glide, Walk, Explore and Orbit, and in Glide and Orbit the camera at
  // rest (or step 0): a balloon click would count now.
  bool TakesBalloonNow() const;
  // Timeline i is a balloon that takes a click (Explore: it has spoken).
  bool BalloonAnswers(int32_t i) const;
  // Moves the story on through balloon timeline i and starts the step.
  void AdvanceThrough(int32_t i, int x, int y);
  // A story key's action (see OnKeyDown).
  void StoryKey();
  // Sets the movement flag of key, if it is a movement key.
  void SetKeyFlag(uint32_t key, bool held);

  IObservedDocument* document_ = nullptr;
  IViewHost* host_ = nullptr;
  bool created_ = false;
};

}  // namespace tolvani
