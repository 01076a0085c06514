// The tick's mode work on the null device: the Glide camera and its
// progress, the advance requests of a completed fade, and the modes that
// leave a request alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "audio/null_sound_backend.h"
#include "model/document.h"
#include "model/scene_state.h"
#include "playback/player_view.h"
#include "render/null_device.h"
#include "support/project_builder.h"

namespace tolvani {
namespace {

class TickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSceneStateForTests();
    EnsureSceneRoot();
    const std::string dir = testing::MakeTempDir();
    std::filesystem::create_directories(dir + "DoNotTouch");
    std::ofstream(dir + "DoNotTouch/CoreShader.glsl") << "VS PS PS_TEX";
    SetProgramDirectoryForTests(testing::U16(dir));
    // The document tags the scene root it finds, so it comes after the reset.
    doc = std::make_unique<CPlayerDoc>();
    view.AttachDocument(doc.get());
    ASSERT_EQ(view.OnCreate(&device, nullptr, std::make_unique<NullSoundBackend>()), 0);
  }
  void TearDown() override {
    view.OnDestroy();
    view.AttachDocument(nullptr);
    ResetSceneStateForTests();
    SetProgramDirectoryForTests(u"");
  }

  // Camera timeline with one pose per step (position x = 100 * step) and one
  // object, in the given mode.
  void Open(int32_t playMode, int32_t glideDuration = 1500, int steps = 4) {
    testing::ProjectBuilder b;
    b.playMode = playMode;
    b.glideDuration = glideDuration;
    b.AddMaterial(u"plain");
    b.AddTriangleModel(u"camera", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    b.AddTriangleModel(u"box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    CTimeLine& camera = b.AddTimeline(u"camera");
    CTimeLine& box = b.AddTimeline(u"box");
    for (int i = 0; i < steps; ++i) {
      b.AddEntry(camera, 2).motion.position = Vec3{100.0f * static_cast<float>(i), 0, 0};
      b.AddEntry(box, 2);
    }
    ASSERT_TRUE(doc->OnOpenDocument(testing::U16(testing::WriteTempFile(b.Build()))));
  }

  CCoreMotion3D& scene() { return *SceneState.sceneRoot; }

  testing::RecordingPlatform platform;
  NullGraphicsDevice device;
  std::unique_ptr<CPlayerDoc> doc;
  CPlayerView view;
};

TEST_F(TickTest, GlideProgressReachesExactlyOneAfter45TicksAndStaysThere) {
  Open(1);
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
  Open(1);
  for (int i = 0; i < 10; ++i) view.OnTimer();
  EXPECT_EQ(view.stepProgress, 0.0f);
  EXPECT_EQ(scene().camera.position.x, 0.0f);
}

TEST_F(TickTest, ZeroGlideDurationCompletesInOneTick) {
  Open(1, 0);
  scene().currentStep = 2;
  view.OnTimer();
  EXPECT_EQ(view.stepProgress, 1.0f);
}

TEST_F(TickTest, CompletedFadeAdvancesOneStepAndRestartsTheGlide) {
  Open(1);
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
  Open(2);
  scene().advanceRequested = true;
  view.OnTimer();
  EXPECT_EQ(scene().currentStep, 1);
  EXPECT_EQ(scene().camera.position.x, 100.0f);
}

TEST_F(TickTest, ScrollConsumesTheRequestAndAdvancesOnlyAtStepZeroOrPastOne) {
  Open(3, 1500, 3);
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
  Open(9);
  scene().currentStep = 1;
  scene().advanceRequested = true;
  const CMotion before = scene().camera;
  view.OnTimer();
  EXPECT_TRUE(scene().advanceRequested);
  EXPECT_EQ(scene().currentStep, 1);
  EXPECT_EQ(scene().camera.position, before.position);
}

TEST_F(TickTest, ExploreDrawsOneFrameInTheTickItself) {
  Open(4);
  const size_t presents = device.presentCount();
  view.OnTimer();
  EXPECT_EQ(device.presentCount(), presents + 1);
}

TEST_F(TickTest, OrbitSpinDecaysByTwoPercentPerTick) {
  Open(5);
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

}  // namespace
}  // namespace tolvani
