// The view's input on the null device: balloon clicks in every mode, the
// walk step with its keys and the ground, drag turning, the wheel, and the
// button bookkeeping with mouse capture.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "document/document.h"
#include "headless/headless_view.h"
#include "model/scene_state.h"
#include "playback/picking.h"
#include "playback/player_view.h"
#include "render/balloon_text.h"
#include "render/null_device.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using enum PlayMode;
constexpr EntryState kHidden = EntryState::kHidden;
constexpr EntryState kShown = EntryState::kShown;

// A point a little off the centre of the 640 x 480 view, on the balloons
// placed straight ahead.
constexpr int kCx = 300, kCy = 230;

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<NullSoundBackend>();
    sound = backend.get();
    ASSERT_EQ(headless.Create(&device, nullptr, std::move(backend)), 0);
    view.OnSize(640, 480);
  }

  CCoreMotion3D& scene() { return *SceneState.sceneRoot; }

  // A project in `mode` with `steps` steps: model 0 is the camera (every
  // pose at the origin, looking down -z), material 0 plain, material 1 the
  // walkable ground.
  testing::ProjectBuilder Base(PlayMode mode, int steps) {
    testing::ProjectBuilder b;
    b.playMode = mode;
    b.AddMaterial(u"plain");
    b.AddMaterial(u"ground");
    b.AddModel(u"camera");
    CTimeLine& camera = b.AddTimeline(u"camera");
    for (int i = 0; i < steps; ++i) b.AddEntry(camera, EntryState::kShown);
    return b;
  }
  // A square of half size 50 facing the camera, its geometry shifted by
  // offsetX from the origin, with an entry per step at position (shown
  // unless `states` says otherwise). Returns the timeline index.
  int AddSquare(testing::ProjectBuilder& b, const std::u16string& name, Vec3 position,
                float offsetX = 0, std::vector<EntryState> states = {}) {
    const float o = offsetX;
    b.AddTriangleModel(name, {{o - 50, -50, 0}, {o + 50, -50, 0}, {o + 50, 50, 0}, {o - 50, 50, 0}},
                       {{0, 1, 2}, {0, 2, 3}});
    CTimeLine& t = b.AddTimeline(name);
    const size_t steps = b.timelines.front().entries.size();
    for (size_t i = 0; i < steps; ++i) {
      b.AddEntry(t, i < states.size() ? states[i] : kShown).motion.position = position;
    }
    return static_cast<int>(b.timelines.size()) - 1;
  }
  // A flat walkable triangle at height y covering x and z from -half to
  // half (and up to x + z = 2 half).
  int AddGround(testing::ProjectBuilder& b, float half, float y) {
    CModel& m = b.AddTriangleModel(
        u"ground", {{-half, 0, -half}, {-half, 0, 3 * half}, {3 * half, 0, -half}}, {{0, 1, 2}}, 1);
    m.collisionMaterial = 1;
    CTimeLine& t = b.AddTimeline(u"ground");
    const size_t steps = b.timelines.front().entries.size();
    for (size_t i = 0; i < steps; ++i)
      b.AddEntry(t, EntryState::kShown).motion.position = Vec3{0, y, 0};
    return static_cast<int>(b.timelines.size()) - 1;
  }
  CTimeLineData& EntryOf(testing::ProjectBuilder& b, int line, int step) {
    return b.timelines[static_cast<size_t>(line)].entries[static_cast<size_t>(step)];
  }

  // Opens b (with a short sound for every name in `sounds`) and draws the
  // first frame, which gives picking its matrices.
  void Open(testing::ProjectBuilder& b, std::initializer_list<const char16_t*> sounds = {}) {
    for (const char16_t* name : sounds)
      b.AddSound(name, testing::PcmFormat(1, 8000, 16), std::vector<uint8_t>(64, 1));
    ASSERT_TRUE(doc->OnOpenDocument(testing::U16(testing::WriteTempFile(b.Build()))));
    view.OnDraw();
    // The load leaves the last model's index here; -1 shows that no pick
    // happened since.
    scene().pickedModel = -1;
  }

  void Click(int x = kCx, int y = kCy) {
    view.OnLButtonDown(x, y);
    view.OnLButtonUp(x, y);
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) view.OnTimer();
  }

  std::vector<std::u16string> Played() const {
    std::vector<std::u16string> names;
    for (const auto& play : sound->plays()) {
      for (const CWavData& w : SceneState.audio->sounds)
        if (w.voice == play.voice) names.push_back(w.name);
    }
    return names;
  }

  testing::RecordingPlatform platform;
  testing::FreshScene fresh;  // before the view and its document
  NullGraphicsDevice device;
  NullSoundBackend* sound = nullptr;
  headless::HeadlessView headless;
  headless::ViewHost& host = headless.host();
  CPlayerView& view = headless.view();
  CPlayerDoc* const doc = &headless.document();
};

// ---- Clicks ----

TEST_F(InputTest, GlideAndOrbitTakeClicksAtStepZeroOrOnceTheGlideHasEnded) {
  for (PlayMode mode : {kGlide, kOrbit}) {
    SCOPED_TRACE(StoredValue(mode));
    testing::ProjectBuilder b = Base(mode, 4);
    AddSquare(b, u"fukidashi", Vec3{0, 0, -500});
    Open(b);
    // Step 0 takes a click at any progress.
    view.stepProgress = 0.37f;
    Click();
    ASSERT_EQ(scene().currentStep, 1);
    EXPECT_EQ(view.previousStep, 0);
    EXPECT_EQ(view.stepProgress, 0.0f);  // the step start restarted the glide
    // While the camera glides, clicks do nothing.
    Click();
    Ticks(44);
    ASSERT_LT(view.stepProgress, 1.0f);
    view.OnDraw();
    Click();
    EXPECT_EQ(scene().currentStep, 1);
    view.stepProgress = std::nextafter(1.0f, 0.0f);  // the comparison is exact
    Click();
    EXPECT_EQ(scene().currentStep, 1);
    // Once it has arrived (exactly 1.0) the same click advances.
    Ticks(1);
    ASSERT_EQ(view.stepProgress, 1.0f);
    view.OnDraw();
    Click();
    EXPECT_EQ(scene().currentStep, 2);
    EXPECT_EQ(view.previousStep, 1);
    EXPECT_EQ(scene().pickedModel, 1);
  }
}

TEST_F(InputTest, OnlyAShownBalloonAdvancesTheStory) {
  for (PlayMode mode : {kGlide, kWalk, kOrbit}) {
    SCOPED_TRACE(StoredValue(mode));
    testing::ProjectBuilder b = Base(mode, 3);
    // A box in front of a balloon that is hidden at step 0.
    AddSquare(b, u"box", Vec3{0, 0, -300});
    const int balloon = AddSquare(b, u"fukidashi", Vec3{0, 0, -500}, 0, {kHidden, kShown, kShown});
    Open(b);
    Click();
    EXPECT_EQ(scene().currentStep, 0);
    EXPECT_EQ(scene().pickedModel, -1);
    // A click beside the box on nothing does nothing either.
    Click(5, 5);
    EXPECT_EQ(scene().currentStep, 0);
    // Shown, the balloon behind the box takes the click.
    scene().models[balloon].visible = true;
    Click();
    EXPECT_EQ(scene().currentStep, 1);
    EXPECT_EQ(scene().pickedModel, balloon);
  }
}

TEST_F(InputTest, AClickGoesToTheJumpTargetOnlyWhenTheJumpIsEnabled) {
  testing::ProjectBuilder b = Base(kWalk, 5);
  const int balloon = AddSquare(b, u"Fukidashi", Vec3{0, 0, -500});
  const int marker =
      AddSquare(b, u"marker", Vec3{300, 0, -500}, 0, {kHidden, kHidden, kHidden, kShown, kHidden});
  EntryOf(b, balloon, 0).jumpTarget = 3;  // not enabled: the next step
  EntryOf(b, balloon, 1).jumpEnabled = 1;
  EntryOf(b, balloon, 1).jumpTarget = 3;  // forwards
  EntryOf(b, balloon, 3).jumpEnabled = 1;
  EntryOf(b, balloon, 3).jumpTarget = 0;  // backwards
  Open(b);
  Click();
  EXPECT_EQ(scene().currentStep, 1);
  EXPECT_FALSE(scene().models[marker].visible);
  Click();
  EXPECT_EQ(scene().currentStep, 3);
  EXPECT_TRUE(scene().models[marker].visible);  // step 3 was started
  Click();
  EXPECT_EQ(scene().currentStep, 0);
  EXPECT_FALSE(scene().models[marker].visible);
  // Walk keeps the camera's previous step alone.
  EXPECT_EQ(view.previousStep, 0);
}

TEST_F(InputTest, ExploreBalloonsAnswerOnlyAfterTheirObjectHasSpoken) {
  testing::ProjectBuilder b = Base(kExplore, 3);
  // Origin far left of the centre band, geometry across the view centre.
  const int aside = AddSquare(b, u"fukidashi aside", Vec3{-150, 0, -500}, 150);
  Open(b);
  Click();
  EXPECT_EQ(scene().currentStep, 0);
  Ticks(3);
  EXPECT_FALSE(SceneState.timeLines[aside].soundPlayed);
  Click();
  EXPECT_EQ(scene().currentStep, 0);

  // A centred balloon with an empty sound name: clickable once a tick has
  // seen it, and again only after the next step's tick.
  testing::ProjectBuilder c = Base(kExplore, 3);
  const int centred = AddSquare(c, u"fukidashi", Vec3{0, 0, -500});
  EntryOf(c, centred, 1).soundName = u"hello";
  // An animated object at the centre never speaks this way.
  CModel& animated = c.AddTriangleModel(u"spinner", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  animated.animations.push_back(testing::MakeAnimation(1, 4));
  CTimeLine& spinner = c.AddTimeline(u"spinner");
  for (int i = 0; i < 3; ++i)
    c.AddEntry(spinner, EntryState::kShown).motion.position = Vec3{0, 0, -400};
  Open(c, {u"hello"});
  Click();
  EXPECT_EQ(scene().currentStep, 0);
  Ticks(1);
  EXPECT_TRUE(SceneState.timeLines[centred].soundPlayed);
  EXPECT_FALSE(SceneState.timeLines[2].soundPlayed);
  EXPECT_TRUE(BalloonNearViewCentre(scene(), centred));
  Click();
  ASSERT_EQ(scene().currentStep, 1);
  EXPECT_FALSE(SceneState.timeLines[centred].soundPlayed);  // cleared by the step start
  EXPECT_TRUE(Played().empty());  // Explore starts no sound at a step start
  Click();
  EXPECT_EQ(scene().currentStep, 1);
  // Step 1 speaks "hello", once.
  view.OnDraw();
  Ticks(3);
  EXPECT_EQ(Played(), std::vector<std::u16string>{u"hello"});
  Click();
  EXPECT_EQ(scene().currentStep, 2);
}

TEST_F(InputTest, ScrollIgnoresClicksAndTheSecondPressOfADoubleClickIsNoClick) {
  testing::ProjectBuilder b = Base(kScroll, 3);
  AddSquare(b, u"fukidashi", Vec3{0, 0, -500});
  Open(b);
  Click();
  EXPECT_EQ(scene().currentStep, 0);
  EXPECT_EQ(scene().pickedModel, -1);

  testing::ProjectBuilder w = Base(kWalk, 3);
  AddSquare(w, u"fukidashi", Vec3{0, 0, -500});
  Open(w);
  view.OnLButtonDblClk(kCx, kCy);
  EXPECT_EQ(scene().currentStep, 0);
  EXPECT_FALSE(view.leftButtonHeld);
  EXPECT_EQ(host.CapturesHeld(), 0);
}

// ---- Walking ----

TEST_F(InputTest, WalkKeysStepSidewaysAndForwardFromTheYaw) {
  testing::ProjectBuilder b = Base(kWalk, 2);
  Open(b);
  CMotion& cam = scene().camera;
  auto reset = [&](float yaw) {
    for (uint32_t k : {vk::kLeft, vk::kRight, vk::kUp, vk::kDown, vk::kA, vk::kD, vk::kW, vk::kS})
      view.OnKeyUp(k);
    cam.position = Vec3{0, 0, 0};
    cam.rotation = Vec3{0, yaw, 0};
  };
  // Up and Left together: 20 forward and 15 sideways in one tick; with
  // nothing walkable shown the height stays.
  reset(0);
  view.OnKeyDown(vk::kUp);
  view.OnKeyDown(vk::kLeft);
  Ticks(1);
  EXPECT_NEAR(cam.position.x, 15.0f, 1e-4f);
  EXPECT_NEAR(cam.position.z, 20.0f, 1e-4f);
  EXPECT_EQ(cam.position.y, 0.0f);
  // Turned by 90 degrees the same keys move along the other axes.
  reset(90);
  view.OnKeyDown(vk::kW);
  view.OnKeyDown(vk::kA);
  Ticks(1);
  EXPECT_NEAR(cam.position.x, -20.0f, 1e-4f);
  EXPECT_NEAR(cam.position.z, 15.0f, 1e-4f);
  // Right and Down alone.
  reset(0);
  view.OnKeyDown(vk::kD);
  view.OnKeyDown(vk::kS);
  Ticks(1);
  EXPECT_NEAR(cam.position.x, -15.0f, 1e-4f);
  EXPECT_NEAR(cam.position.z, -20.0f, 1e-4f);
  // Left wins over Right, Up over Down.
  reset(0);
  view.OnKeyDown(vk::kLeft);
  view.OnKeyDown(vk::kRight);
  view.OnKeyDown(vk::kUp);
  view.OnKeyDown(vk::kDown);
  Ticks(1);
  EXPECT_NEAR(cam.position.x, 15.0f, 1e-4f);
  EXPECT_NEAR(cam.position.z, 20.0f, 1e-4f);
  // Left and A share one flag: releasing A stops the strafe.
  reset(0);
  view.OnKeyDown(vk::kLeft);
  view.OnKeyDown(vk::kA);
  view.OnKeyUp(vk::kA);
  EXPECT_FALSE(view.strafeLeftHeld);
  Ticks(1);
  EXPECT_EQ(cam.position.x, 0.0f);
  // Other keys do nothing; in Glide the flags change but nobody walks.
  view.OnKeyDown(0x20);
  EXPECT_FALSE(view.strafeLeftHeld || view.strafeRightHeld || view.forwardHeld ||
               view.backwardHeld);
  scene().playMode = kGlide;
  view.OnKeyDown(vk::kUp);
  EXPECT_TRUE(view.forwardHeld);
}

TEST_F(InputTest, WalkFollowsTheGroundAndRefusesMovesOffIt) {
  for (PlayMode mode : {kWalk, kExplore}) {
    SCOPED_TRACE(StoredValue(mode));
    testing::ProjectBuilder b = Base(mode, 2);
    AddGround(b, 1000, -300);
    Open(b);
    CMotion& cam = scene().camera;
    // The eye settles 200 above the ground (position is the negated eye).
    Ticks(1);
    EXPECT_EQ(cam.position.y, 100.0f);
    view.OnKeyDown(vk::kUp);
    Ticks(3);
    EXPECT_NEAR(cam.position.z, 60.0f, 1e-3f);
    EXPECT_EQ(cam.position.y, 100.0f);
    view.OnKeyUp(vk::kUp);

    // A small ground: standing on it works, stepping off is refused whole.
    testing::ProjectBuilder s = Base(mode, 2);
    AddGround(s, 10, -300);
    Open(s);
    Ticks(1);
    ASSERT_EQ(cam.position.y, 100.0f);
    view.OnKeyDown(vk::kUp);
    view.OnKeyDown(vk::kLeft);
    Ticks(2);
    EXPECT_EQ(cam.position.x, 0.0f);
    EXPECT_EQ(cam.position.z, 0.0f);
    EXPECT_EQ(cam.position.y, 100.0f);
    view.OnKeyUp(vk::kUp);
    view.OnKeyUp(vk::kLeft);
  }
}

// ---- Drag ----

TEST_F(InputTest, DragTurnsTheCameraInWalkExploreAndOrbit) {
  for (PlayMode mode : {kWalk, kExplore, kOrbit}) {
    SCOPED_TRACE(StoredValue(mode));
    testing::ProjectBuilder b = Base(mode, 2);
    Open(b);
    CMotion& cam = scene().camera;
    const Vec3 start = cam.rotation;
    // The first move after a press turns by the distance from the press,
    // not from an older pointer position.
    view.OnMouseMove(500, 400);
    EXPECT_EQ(cam.rotation, start);
    view.OnRButtonDown(100, 100);
    view.OnMouseMove(110, 100);
    EXPECT_FLOAT_EQ(cam.rotation.y, start.y + 1.0f);
    EXPECT_EQ(cam.rotation.x, start.x);
    EXPECT_EQ(view.spinSpeed, mode == kOrbit ? 5.0f : 0.0f);
    view.OnMouseMove(110, 130);
    EXPECT_FLOAT_EQ(cam.rotation.x, start.x + 3.0f);
    EXPECT_FLOAT_EQ(cam.rotation.y, start.y + 1.0f);
    EXPECT_EQ(cam.rotation.z, start.z);
    EXPECT_EQ(view.spinSpeed, 0.0f);
    view.OnMouseMove(90, 130);
    EXPECT_FLOAT_EQ(cam.rotation.y, start.y - 1.0f);
    EXPECT_EQ(view.spinSpeed, mode == kOrbit ? -10.0f : 0.0f);
    view.OnRButtonUp(90, 130);
    // Released: moves no longer turn.
    view.OnMouseMove(200, 200);
    EXPECT_FLOAT_EQ(cam.rotation.y, start.y - 1.0f);
  }
}

TEST_F(InputTest, DragDoesNotTurnInGlideScrollOrAnEmptySceneButThePointerIsFollowed) {
  // Walk mode with no project loaded.
  scene().playMode = kWalk;
  view.OnLButtonDown(0, 0);
  view.OnMouseMove(50, 50);
  EXPECT_EQ(scene().camera.rotation, (Vec3{0, 0, 0}));
  EXPECT_EQ(view.lastMouseX, 50);
  view.OnLButtonUp(50, 50);

  for (PlayMode mode : {kGlide, kScroll}) {
    SCOPED_TRACE(StoredValue(mode));
    testing::ProjectBuilder b = Base(mode, 2);
    Open(b);
    const Vec3 start = scene().camera.rotation;
    view.OnLButtonDown(5, 5);
    view.OnMouseMove(45, 85);
    EXPECT_EQ(scene().camera.rotation, start);
    EXPECT_EQ(view.lastMouseX, 45);
    EXPECT_EQ(view.lastMouseY, 85);
    view.OnLButtonUp(45, 85);
  }
}

TEST_F(InputTest, ButtonsKeepTheirOwnHeldFlagsAndTheCapture) {
  testing::ProjectBuilder b = Base(kWalk, 2);
  Open(b);
  // A release without a press releases no capture.
  view.OnLButtonUp(0, 0);
  view.OnRButtonUp(0, 0);
  EXPECT_EQ(host.CapturesHeld(), 0);
  // Left press, right press, left release: the capture is released, the
  // right button still turns the camera.
  view.OnLButtonDown(10, 10);
  view.OnRButtonDown(20, 10);
  EXPECT_EQ(host.CapturesHeld(), 2);
  view.OnLButtonUp(20, 10);
  EXPECT_EQ(host.CapturesHeld(), 1);
  EXPECT_FALSE(view.leftButtonHeld);
  EXPECT_TRUE(view.rightButtonHeld);
  view.OnMouseMove(40, 10);
  EXPECT_FLOAT_EQ(scene().camera.rotation.y, 2.0f);
  view.OnRButtonUp(40, 10);
  EXPECT_EQ(host.CapturesHeld(), 0);
  EXPECT_FALSE(view.rightButtonHeld);
}

// ---- Wheel ----

TEST_F(InputTest, WheelScalesTheCameraInWalkExploreAndOrbitOnly) {
  for (PlayMode mode : {kWalk, kExplore, kOrbit}) {
    SCOPED_TRACE(StoredValue(mode));
    testing::ProjectBuilder b = Base(mode, 2);
    Open(b);
    CMotion& cam = scene().camera;
    view.OnMouseWheel(120, 0, 0);
    EXPECT_FLOAT_EQ(cam.scale.x, 1.06f);
    EXPECT_FLOAT_EQ(cam.scale.y, 1.06f);
    EXPECT_FLOAT_EQ(cam.scale.z, 1.06f);
    // The distance is a signed 16-bit value: 0x10000 - 120 is one notch away.
    view.OnMouseWheel(0x10000 - 120, 0, 0);
    EXPECT_FLOAT_EQ(cam.scale.x, 1.0f);
    cam.scale.z = 0.5f;
    for (int i = 0; i < 30; ++i) view.OnMouseWheel(-120, 0, 0);
    EXPECT_EQ(cam.scale, (Vec3{0.001f, 0.001f, 0.001f}));
    EXPECT_EQ(view.stepProgress, 0.0f);  // progress untouched
  }
  testing::ProjectBuilder g = Base(kGlide, 2);
  Open(g);
  view.OnMouseWheel(120, 0, 0);
  view.OnMouseWheel(-120, 0, 0);
  EXPECT_EQ(scene().camera.scale, (Vec3{1, 1, 1}));
  EXPECT_EQ(view.stepProgress, 0.0f);
  EXPECT_EQ(scene().currentStep, 0);
}

TEST_F(InputTest, ScrollWheelScrubsTheProgressAndAdvancesPastOne) {
  testing::ProjectBuilder b = Base(kScroll, 6);
  Open(b);
  // Step 0: a notch in either direction advances.
  view.OnMouseWheel(120, 0, 0);
  EXPECT_EQ(scene().currentStep, 1);
  EXPECT_EQ(view.previousStep, 0);
  EXPECT_EQ(view.stepProgress, 0.0f);
  // Away from the user at progress 0: clamped at 0.
  view.OnMouseWheel(120, 0, 0);
  EXPECT_EQ(view.stepProgress, 0.0f);
  EXPECT_EQ(scene().currentStep, 1);
  // Ten notches towards the user pass 1.0 in float and advance on the tenth.
  for (int i = 0; i < 9; ++i) view.OnMouseWheel(-120, 0, 0);
  EXPECT_EQ(scene().currentStep, 1);
  EXPECT_GT(view.stepProgress, 0.85f);
  view.OnMouseWheel(-120, 0, 0);
  EXPECT_EQ(scene().currentStep, 2);
  EXPECT_EQ(view.previousStep, 1);
  EXPECT_EQ(view.stepProgress, 0.0f);
  // Step 3 at 0.95: away gives 0.85 and stays; towards gives 1.05 and moves on.
  scene().currentStep = 3;
  view.stepProgress = 0.95f;
  view.OnMouseWheel(120, 0, 0);
  EXPECT_FLOAT_EQ(view.stepProgress, 0.85f);
  EXPECT_EQ(scene().currentStep, 3);
  view.stepProgress = 0.95f;
  view.OnMouseWheel(-120, 0, 0);
  EXPECT_EQ(scene().currentStep, 4);
  EXPECT_EQ(view.previousStep, 3);
  EXPECT_EQ(view.stepProgress, 0.0f);
  EXPECT_EQ(scene().camera.scale, (Vec3{1, 1, 1}));
  // Past the last step the story starts again.
  scene().currentStep = 5;
  view.stepProgress = 0.95f;
  view.OnMouseWheel(-120, 0, 0);
  EXPECT_EQ(scene().currentStep, 0);
  EXPECT_EQ(view.previousStep, 0);
  // Step 0 again, the other direction.
  view.OnMouseWheel(-120, 0, 0);
  EXPECT_EQ(scene().currentStep, 1);
}

// ---- Keys that move the story on, and the click cue ----

TEST_F(InputTest, StoryKeysActAsAClickOnTheBalloonThatMovesTheStoryOn) {
  for (PlayMode mode : {kGlide, kOrbit}) {
    SCOPED_TRACE(StoredValue(mode));
    testing::ProjectBuilder b = Base(mode, 4);
    // Step 1 is a choice: "again" jumps back to 0, "next" goes on; step 3's
    // only balloon starts the story again.
    const int again =
        AddSquare(b, u"fukidashi again", Vec3{0, 0, -600}, 0, {kHidden, kShown, kHidden, kHidden});
    const int next =
        AddSquare(b, u"fukidashi next", Vec3{0, 0, -500}, 0, {kShown, kShown, kShown, kShown});
    const int box = AddSquare(b, u"box", Vec3{0, 0, -400});
    EntryOf(b, again, 1).jumpEnabled = 1;
    EntryOf(b, again, 1).jumpTarget = 0;
    EntryOf(b, next, 3).jumpEnabled = 1;
    EntryOf(b, next, 3).jumpTarget = 0;
    Open(b);
    EXPECT_FALSE(view.IsStoryKey(vk::kUp));
    view.OnKeyDown(vk::kSpace);
    ASSERT_EQ(scene().currentStep, 1);
    EXPECT_EQ(scene().pickedModel, next);
    // While the camera glides, neither a key nor a click counts.
    view.OnKeyDown(vk::kReturn);
    EXPECT_EQ(scene().currentStep, 1);
    EXPECT_EQ(view.StoryKeyBalloon(), -1);
    EXPECT_FALSE(view.ClickWouldAdvance(kCx, kCy));
    Ticks(60);
    // At the choice the key takes the way to the next step, whatever the
    // order of the timelines.
    EXPECT_EQ(view.StoryKeyBalloon(), next);
    view.OnKeyDown(vk::kRight);
    ASSERT_EQ(scene().currentStep, 2);
    Ticks(60);
    view.OnKeyDown(vk::kPageDown);
    ASSERT_EQ(scene().currentStep, 3);
    Ticks(60);
    // The last step's balloon starts again: the only way on.
    view.OnKeyDown(vk::kSpace);
    EXPECT_EQ(scene().currentStep, 0);
    // A hidden balloon does not count; nor does a shown object that is none.
    scene().models[next].visible = false;
    EXPECT_EQ(view.StoryKeyBalloon(), -1);
    view.OnKeyDown(vk::kSpace);
    EXPECT_EQ(scene().currentStep, 0);
    EXPECT_TRUE(scene().models[box].visible);
  }
}

TEST_F(InputTest, StoryKeysKeepTheWalkKeysAndWaitForAnExploreBalloonToSpeak) {
  testing::ProjectBuilder w = Base(kWalk, 3);
  AddSquare(w, u"fukidashi", Vec3{0, 0, -500});
  Open(w);
  // Right strafes in Walk; it moves no story on.
  EXPECT_FALSE(view.IsStoryKey(vk::kRight));
  view.OnKeyDown(vk::kRight);
  EXPECT_TRUE(view.strafeRightHeld);
  EXPECT_EQ(scene().currentStep, 0);
  view.OnKeyUp(vk::kRight);
  view.OnKeyDown(vk::kSpace);
  EXPECT_EQ(scene().currentStep, 1);

  testing::ProjectBuilder e = Base(kExplore, 3);
  const int balloon = AddSquare(e, u"fukidashi", Vec3{0, 0, -500});
  Open(e);
  view.OnKeyDown(vk::kSpace);
  EXPECT_EQ(scene().currentStep, 0);  // not spoken yet
  Ticks(1);
  ASSERT_TRUE(SceneState.timeLines[balloon].soundPlayed);
  view.OnKeyDown(vk::kSpace);
  EXPECT_EQ(scene().currentStep, 1);
}

TEST_F(InputTest, ScrollKeysTurnOneWholeStepAndStartAgainAfterTheLast) {
  testing::ProjectBuilder b = Base(kScroll, 3);
  CTimeLine& camera = b.timelines[0];
  for (int i = 0; i < 3; ++i) camera.entries[i].motion.position = Vec3{0, 0, 100.0f * i};
  Open(b);
  for (int expected : {1, 2, 0, 1}) {
    view.OnKeyDown(vk::kPageDown);
    EXPECT_EQ(scene().currentStep, expected);
    Ticks(1);
    // The camera stands at the new step, not between two.
    EXPECT_EQ(scene().camera.position.z, 100.0f * expected);
  }
  // Half way through a wheel scrub, one key still moves one step on.
  view.stepProgress = 0.5f;
  view.OnKeyDown(vk::kRight);
  EXPECT_EQ(scene().currentStep, 2);
}

TEST_F(InputTest, TheClickCueAnswersAsTheClickWouldWithoutPicking) {
  testing::ProjectBuilder b = Base(kWalk, 2);
  AddSquare(b, u"box", Vec3{300, 0, -500});
  const int balloon = AddSquare(b, u"fukidashi", Vec3{0, 0, -500});
  Open(b);
  EXPECT_TRUE(view.ClickWouldAdvance(kCx, kCy));
  EXPECT_FALSE(view.ClickWouldAdvance(5, 5));
  EXPECT_EQ(scene().pickedModel, -1);  // asking picks nothing
  EXPECT_EQ(scene().currentStep, 0);
  scene().models[balloon].visible = false;
  EXPECT_FALSE(view.ClickWouldAdvance(kCx, kCy));
  scene().models[balloon].visible = true;
  scene().playMode = kScroll;
  EXPECT_FALSE(view.ClickWouldAdvance(kCx, kCy));
}

// ---- The view-centre query of the balloon text ----

TEST_F(InputTest, TheViewInstallsTheViewCentreQueryWhileItExists) {
  testing::ProjectBuilder b = Base(kExplore, 2);
  const int aside = AddSquare(b, u"fukidashi", Vec3{-150, 0, -500});
  EntryOf(b, aside, 0).text = u"hello";
  Open(b);
  EXPECT_FALSE(BalloonNearViewCentre(scene(), aside));
  EXPECT_TRUE(BalloonText(scene(), aside).empty());
  scene().playMode = kWalk;
  EXPECT_EQ(BalloonText(scene(), aside), u"hello");
  view.OnDestroy();
  EnsureSceneRoot();
  EXPECT_TRUE(BalloonNearViewCentre(*SceneState.sceneRoot, aside));
  ResetSceneStateForTests();
}

// ---- Counters a file can drive ----

TEST_F(InputTest, StepCountersStopAtTheTopOfTheirRangeInsteadOfOverflowing) {
  // Orbit: the click's jump to INT32_MAX makes the step start look one step
  // further for its balloon centre.
  testing::ProjectBuilder b = Base(kOrbit, 2);
  const int balloon = AddSquare(b, u"Fukidashi", Vec3{0, 0, -500});
  EntryOf(b, balloon, 0).jumpEnabled = 1;
  EntryOf(b, balloon, 0).jumpTarget = INT32_MAX;
  Open(b);
  Click();
  ASSERT_EQ(scene().currentStep, INT32_MAX);
  EXPECT_FALSE(scene().models[balloon].visible);  // past the story's end
  // The standard advance after a completed fade, in every mode that has one.
  for (PlayMode mode : {kGlide, kWalk, kExplore, kOrbit}) {
    scene().playMode = mode;
    scene().currentStep = INT32_MAX;
    scene().advanceRequested = true;
    Ticks(1);
    EXPECT_EQ(scene().currentStep, INT32_MAX) << "mode " << StoredValue(mode);
    EXPECT_EQ(view.previousStep, INT32_MAX) << "mode " << StoredValue(mode);
  }
  // Scroll: the wheel past the end of the glide; past the last step the
  // story starts again.
  scene().playMode = kScroll;
  scene().currentStep = INT32_MAX;
  view.stepProgress = 1.0f;
  view.OnMouseWheel(-120, kCx, kCy);
  EXPECT_EQ(scene().currentStep, 0);
  // Sane stories count as before.
  EXPECT_EQ(NextStep(0), 1);
  EXPECT_EQ(NextStep(-1), 0);
  EXPECT_EQ(NextStep(INT32_MAX - 1), INT32_MAX);
}

}  // namespace
}  // namespace tolvani
