// The tick's mode work on the null device: the Glide camera and its
// progress, the advance requests of a completed fade, and the modes that
// leave a request alone.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "document/document.h"
#include "headless/headless_view.h"
#include "model/scene_state.h"
#include "playback/player_view.h"
#include "render/null_device.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

class TickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<NullSoundBackend>();
    sound = backend.get();
    ASSERT_EQ(headless.Create(&device, nullptr, std::move(backend)), 0);
  }

  // Camera timeline with one pose per step (position x = 100 * step) and one
  // object, in the given mode.
  void Open(PlayMode playMode, int32_t glideDuration = 1500, int steps = 4) {
    testing::ProjectBuilder b;
    b.playMode = playMode;
    b.glideDuration = glideDuration;
    b.AddMaterial(u"plain");
    b.AddTriangleModel(u"camera", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    b.AddTriangleModel(u"box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    CTimeLine& camera = b.AddTimeline(u"camera");
    CTimeLine& box = b.AddTimeline(u"box");
    for (int i = 0; i < steps; ++i) {
      b.AddEntry(camera, EntryState::kShown).motion.position =
          Vec3{100.0f * static_cast<float>(i), 0, 0};
      b.AddEntry(box, EntryState::kShown);
    }
    ASSERT_TRUE(doc->OnOpenDocument(testing::U16(testing::WriteTempFile(b.Build()))));
  }

  CCoreMotion3D& scene() { return *SceneState.sceneRoot; }

  // Names of the sounds started so far, in order.
  std::vector<std::u16string> Played() const {
    std::vector<std::u16string> names;
    for (const auto& play : sound->plays()) {
      for (const CWavData& w : SceneState.audio->sounds)
        if (w.voice == play.voice) names.push_back(w.name);
    }
    return names;
  }

  // Opens b after adding a short sound per name in `sounds`.
  void OpenBuilt(testing::ProjectBuilder& b, std::initializer_list<const char16_t*> sounds = {}) {
    for (const char16_t* name : sounds)
      b.AddSound(name, testing::PcmFormat(1, 8000, 16), std::vector<uint8_t>(64, 1));
    ASSERT_TRUE(doc->OnOpenDocument(testing::U16(testing::WriteTempFile(b.Build()))));
  }

  testing::RecordingPlatform platform;
  // The document tags the scene root it finds, so it comes after the reset.
  testing::FreshScene fresh;
  NullGraphicsDevice device;
  NullSoundBackend* sound = nullptr;
  headless::HeadlessView headless;
  CPlayerView& view = headless.view();
  CPlayerDoc* const doc = &headless.document();
};

TEST_F(TickTest, GlideProgressReachesExactlyOneAfter45TicksAndStaysThere) {
  Open(PlayMode::kGlide);
  scene().currentStep = 1;
  for (int i = 0; i < 44; ++i) view.OnTimer();
  EXPECT_LT(view.stepProgress, 1.0f);
  view.OnTimer();
  EXPECT_EQ(view.stepProgress, 1.0f);  // float32 sum of 45 x (1/45)
  for (int i = 0; i < 5; ++i) view.OnTimer();
  EXPECT_EQ(view.stepProgress, 1.0f);
  // The camera glides along the spline; at progress 1 of the tick before the
  // last it sits on step 1's pose.
  view.OnTimer();
  EXPECT_EQ(scene().camera.position.x, 100.0f);
}

TEST_F(TickTest, GlideAtStepZeroKeepsTheProgressAndTheFirstPose) {
  Open(PlayMode::kGlide);
  for (int i = 0; i < 10; ++i) view.OnTimer();
  EXPECT_EQ(view.stepProgress, 0.0f);
  EXPECT_EQ(scene().camera.position.x, 0.0f);
}

TEST_F(TickTest, ZeroGlideDurationCompletesInOneTick) {
  Open(PlayMode::kGlide, 0);
  scene().currentStep = 2;
  view.OnTimer();
  EXPECT_EQ(view.stepProgress, 1.0f);
}

TEST_F(TickTest, CompletedFadeAdvancesOneStepAndRestartsTheGlide) {
  Open(PlayMode::kGlide);
  scene().currentStep = 1;
  for (int i = 0; i < 50; ++i) view.OnTimer();
  ASSERT_EQ(view.stepProgress, 1.0f);
  scene().advanceRequested = true;
  view.OnTimer();
  EXPECT_FALSE(scene().advanceRequested);
  EXPECT_EQ(scene().currentStep, 2);
  EXPECT_EQ(view.previousStep, 1);
  EXPECT_EQ(view.stepProgress, 0.0f);
  // The next ticks glide from step 1's pose towards step 2's.
  for (int i = 0; i < 20; ++i) view.OnTimer();
  EXPECT_GT(scene().camera.position.x, 100.0f);
  EXPECT_LT(scene().camera.position.x, 200.0f);
}

TEST_F(TickTest, WalkAdvanceCutsTheCameraToTheNewStepsPose) {
  Open(PlayMode::kWalk);
  scene().advanceRequested = true;
  view.OnTimer();
  EXPECT_EQ(scene().currentStep, 1);
  EXPECT_EQ(scene().camera.position.x, 100.0f);
}

TEST_F(TickTest, ScrollConsumesTheRequestAndAdvancesOnlyAtStepZeroOrPastOne) {
  Open(PlayMode::kScroll, 1500, 3);
  scene().advanceRequested = true;
  view.OnTimer();  // at step 0 a completed fade advances
  EXPECT_FALSE(scene().advanceRequested);
  EXPECT_EQ(scene().currentStep, 1);
  view.stepProgress = 0.5f;
  scene().advanceRequested = true;
  view.OnTimer();  // mid-way: the request is used up, the step stays
  EXPECT_FALSE(scene().advanceRequested);
  EXPECT_EQ(scene().currentStep, 1);
  // Past the last step the story starts again.
  scene().currentStep = 2;
  view.stepProgress = 1.5f;
  scene().advanceRequested = true;
  view.OnTimer();
  EXPECT_EQ(scene().currentStep, 0);
  EXPECT_EQ(view.previousStep, 0);
}

TEST_F(TickTest, ModesOutsideOneToFiveLeaveTheRequestAndTheCamera) {
  Open(PlayMode{9});  // no mode
  scene().currentStep = 1;
  scene().advanceRequested = true;
  const CMotion before = scene().camera;
  view.OnTimer();
  EXPECT_TRUE(scene().advanceRequested);
  EXPECT_EQ(scene().currentStep, 1);
  EXPECT_EQ(scene().camera.position, before.position);
}

TEST_F(TickTest, ExploreDrawsOneFrameInTheTickItself) {
  Open(PlayMode::kExplore);
  const size_t presents = device.presentCount();
  view.OnTimer();
  EXPECT_EQ(device.presentCount(), presents + 1);
}

TEST_F(TickTest, OrbitSpinDecaysByTwoPercentPerTick) {
  Open(PlayMode::kOrbit);
  view.spinSpeed = 5.0f;
  const float yaw = scene().camera.rotation.y;
  view.OnTimer();
  EXPECT_FLOAT_EQ(view.spinSpeed, 4.9f);
  EXPECT_FLOAT_EQ(scene().camera.rotation.y, yaw + 4.9f);
}

TEST_F(TickTest, EmptySceneStillRepaintsWithoutCameraWork) {
  scene().currentStep = 1;
  const CMotion before = scene().camera;
  for (int i = 0; i < 3; ++i) view.OnTimer();
  EXPECT_EQ(scene().camera.position, before.position);
  EXPECT_EQ(view.stepProgress, 0.0f);
}

TEST_F(TickTest, OpenAppliesTheFirstStepToFadesObjectsAndSounds) {
  testing::ProjectBuilder b;
  b.AddMaterial(u"plain");
  for (int i = 0; i < 4; ++i)
    b.AddTriangleModel(u"m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  b.AddEntry(b.AddTimeline(u"camera"), EntryState::kShown);
  b.AddEntry(b.AddTimeline(u"FadeIn black"), EntryState::kShown);
  CTimeLineData& hidden = b.AddEntry(b.AddTimeline(u"later"), EntryState::kHidden);
  hidden.soundName = u"never";
  CTimeLineData& talk = b.AddEntry(b.AddTimeline(u"Fukidashi 1"), EntryState::kShown);
  talk.soundName = u"HELLO";  // names match ignoring A-Z case
  OpenBuilt(b, {u"hello", u"never"});
  EXPECT_EQ(scene().fadeLevel, 1.0f);
  EXPECT_TRUE(scene().models[1].visible);
  EXPECT_FALSE(scene().models[2].visible);
  EXPECT_EQ(Played(), std::vector<std::u16string>{u"hello"});
}

TEST_F(TickTest, CompletedFadeInAdvancesTheStoryAndTheStepStartAppliesIt) {
  testing::ProjectBuilder b;
  b.fadeDuration = 1000;  // 30 frames
  b.AddMaterial(u"ZavroFadeInMaterial", 0, 0, 0, 1);
  b.AddMaterial(u"plain");
  b.AddTriangleModel(u"camera", {}, {});
  b.AddTriangleModel(u"fade", {{-50, -50, 0}, {-50, 50, 0}, {50, 50, 0}}, {{0, 1, 2}}, 0);
  b.AddTriangleModel(u"first", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, 1);
  b.AddTriangleModel(u"second", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, 1);
  CTimeLine& camera = b.AddTimeline(u"camera");
  CTimeLine& fade = b.AddTimeline(u"FadeIn");
  CTimeLine& first = b.AddTimeline(u"first");
  CTimeLine& second = b.AddTimeline(u"second");
  for (int step = 0; step < 2; ++step) {
    b.AddEntry(camera, EntryState::kShown);
    const EntryState atZero = step == 0 ? EntryState::kShown : EntryState::kHidden;
    const EntryState atOne = step == 1 ? EntryState::kShown : EntryState::kHidden;
    b.AddEntry(fade, atZero);
    b.AddEntry(first, atZero);
    CTimeLineData& e = b.AddEntry(second, atOne);
    if (step == 1) e.text = u"https://example.org/two\nthe caption";
  }
  OpenBuilt(b);
  ASSERT_EQ(scene().fadeLevel, 1.0f);
  ASSERT_FALSE(scene().models[3].visible);
  // One frame per tick, as the window's repaint does.
  int ticks = 0;
  while (scene().currentStep == 0 && ticks < 100) {
    view.OnDraw();
    view.OnTimer();
    ++ticks;
  }
  EXPECT_EQ(ticks, 30);
  EXPECT_EQ(scene().currentStep, 1);
  EXPECT_FALSE(scene().models[2].visible);
  EXPECT_TRUE(scene().models[3].visible);
  EXPECT_EQ(platform.opened, std::vector<std::u16string>{u"https://example.org/two"});
}

TEST_F(TickTest, StepStartLinksSoundsAndSkinnedObjects) {
  testing::ProjectBuilder b;
  b.AddMaterial(u"plain");
  for (int i = 0; i < 5; ++i)
    b.AddTriangleModel(u"m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  b.models[3].animations.push_back(testing::MakeAnimation(1, 4));
  b.models[3].animationNames.push_back(u"wave");
  CTimeLine* lines[5] = {&b.AddTimeline(u"camera"), &b.AddTimeline(u"a"), &b.AddTimeline(u"b"),
                         &b.AddTimeline(u"skinned"), &b.AddTimeline(u"c")};
  for (CTimeLine* t : lines) b.AddEntry(*t, EntryState::kShown);  // step 0
  CTimeLineData* e[5];
  for (int i = 0; i < 5; ++i) e[i] = &b.AddEntry(*lines[i], EntryState::kShown);  // step 1
  e[1]->text = u"http://no-line-feed.example";
  e[2]->text = u"HTTP://capitals.example";
  e[3]->soundName = u"skinned";  // an animated object that is no balloon stays silent
  e[4]->text = u"see http://later.example";
  e[4]->soundName = u"plain";
  OpenBuilt(b, {u"skinned", u"plain"});
  sound->ClearPlays();
  view.BeginGlideStep(-1, -1);  // still step 0
  scene().currentStep = 1;
  view.BeginGlideStep(-1, -1);
  // A link without a line feed opens its whole text.
  EXPECT_EQ(platform.opened, std::vector<std::u16string>{u"http://no-line-feed.example"});
  EXPECT_EQ(Played(), std::vector<std::u16string>{u"plain"});
}

TEST_F(TickTest, OrbitStartsAroundTheFirstStepsBalloons) {
  testing::ProjectBuilder b;
  b.playMode = PlayMode::kOrbit;
  b.AddMaterial(u"plain");
  for (int i = 0; i < 3; ++i)
    b.AddTriangleModel(u"m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  b.AddEntry(b.AddTimeline(u"camera"), EntryState::kShown);
  b.AddEntry(b.AddTimeline(u"fukidashiA"), EntryState::kShown).motion.position = Vec3{10, 20, 30};
  b.AddEntry(b.AddTimeline(u"FUKIDASHI b"), EntryState::kShown).motion.position = Vec3{30, 0, 10};
  OpenBuilt(b);
  EXPECT_EQ(scene().camera.pivot, (Vec3{-20, -10, -20}));
  EXPECT_EQ(scene().camera.position, (Vec3{0, 0, -1000}));
  for (const Vec3& p : view.orbitPoints) EXPECT_EQ(p, (Vec3{-20, -10, -20}));
}

}  // namespace
}  // namespace tolvani
