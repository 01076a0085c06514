// The view's lifecycle, tick and input bookkeeping on the null device.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/program_directory.h"
#include "document/document.h"
#include "headless/view_host.h"
#include "model/scene_state.h"
#include "playback/player_view.h"
#include "render/null_device.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureSceneRoot();
    view.SetHost(&host);
  }
  void TearDown() override { view.AttachDocument(nullptr); }
  int Create() { return view.OnCreate(&device, nullptr, std::make_unique<NullSoundBackend>()); }

  testing::RecordingPlatform platform;
  testing::FreshScene fresh;
  NullGraphicsDevice device;
  headless::ViewHost host;
  CPlayerView view;
};

TEST_F(ViewTest, ConstructorZeroesTheFields) {
  CPlayerView v;
  EXPECT_FALSE(v.leftButtonHeld || v.rightButtonHeld || v.strafeLeftHeld || v.strafeRightHeld ||
               v.forwardHeld || v.backwardHeld);
  EXPECT_EQ(v.lastMouseX, 0);
  EXPECT_EQ(v.lastMouseY, 0);
  EXPECT_EQ(v.stepProgress, 0.0f);
  EXPECT_EQ(v.previousStep, 0);
  EXPECT_EQ(v.spinSpeed, 0.0f);
  for (const Vec3& p : v.orbitPoints) EXPECT_TRUE(p == (Vec3{0, 0, 0}));
}

TEST_F(ViewTest, CreationMakesRendererAndSoundContainerThenStartsTheTimer) {
  ASSERT_EQ(Create(), 0);
  EXPECT_NE(SceneState.audio, nullptr);
  EXPECT_EQ(SceneState.sceneRoot->render.device, &device);
  EXPECT_EQ(host.timerPeriodMs, 30);
  view.OnDestroy();
  EXPECT_EQ(SceneState.audio, nullptr);
  EXPECT_EQ(SceneState.sceneRoot, nullptr);
  EXPECT_EQ(device.LiveObjectCount(), 0u);
}

TEST_F(ViewTest, RendererFailureFailsCreationWithoutSoundOrTimer) {
  device.FailAlways(NullGraphicsDevice::Op::CreateSwapChain);
  EXPECT_EQ(Create(), -1);
  EXPECT_EQ(SceneState.audio, nullptr);
  EXPECT_EQ(host.timerPeriodMs, 0);
  // A missing shader program fails it the same way, with its message.
  NullGraphicsDevice other;
  SetProgramDirectory(testing::U16(testing::MakeTempDir()));
  EXPECT_EQ(view.OnCreate(&other, nullptr, std::make_unique<NullSoundBackend>()), -1);
  EXPECT_EQ(platform.MessageTexts(), std::vector<std::u16string>{u"hlsl読み込み失敗"});
  EXPECT_EQ(SceneState.audio, nullptr);
  view.OnDestroy();
  EXPECT_EQ(other.LiveObjectCount(), 0u);
}

TEST_F(ViewTest, TickRequestsARepaintAndAdvancesEveryModelsAnimation) {
  ASSERT_EQ(Create(), 0);
  // No project: only the repaint.
  view.OnTimer();
  EXPECT_EQ(host.invalidations, 1);
  EXPECT_EQ(device.presentCount(), 0u);  // requested, not performed

  CCoreMotion3D& scene = *SceneState.sceneRoot;
  scene.models.resize(2);
  for (CModel& m : scene.models) {
    m.animations.push_back(Animation(1, std::vector<Matrix4>(3, Matrix4::Identity())));
    m.currentAnimation = 0;
  }
  scene.models[1].animationFrame = 2;
  const int before0 = scene.models[0].animationFrame;
  view.OnTimer();
  EXPECT_EQ(host.invalidations, 2);
  EXPECT_NE(scene.models[0].animationFrame, before0);
  EXPECT_NE(scene.models[1].animationFrame, 2);
  // The same counters move as the model's own tick would move them.
  CModel expected0 = scene.models[0];
  CModel expected1 = scene.models[1];
  expected0.AdvanceAnimationFrame();
  expected1.AdvanceAnimationFrame();
  view.OnTimer();
  EXPECT_EQ(scene.models[0].animationFrame, expected0.animationFrame);
  EXPECT_EQ(scene.models[1].animationFrame, expected1.animationFrame);
  view.OnDestroy();
}

TEST_F(ViewTest, DrawNeedsADocumentAndSizeGoesToTheRenderer) {
  ASSERT_EQ(Create(), 0);
  view.OnDraw();
  EXPECT_EQ(device.presentCount(), 0u);
  CPlayerDoc doc;
  view.AttachDocument(&doc);
  view.OnDraw();
  EXPECT_EQ(device.presentCount(), 1u);

  view.OnSize(640, 480);
  EXPECT_EQ(SceneState.sceneRoot->render.viewport.width, 640u);
  view.OnSize(99, 600);
  EXPECT_EQ(SceneState.sceneRoot->render.viewport.width, 640u);
  EXPECT_EQ(SceneState.sceneRoot->render.viewport.height, 480u);
  view.OnSize(100, 100);
  EXPECT_EQ(SceneState.sceneRoot->render.viewport.width, 100u);
  view.OnDestroy();
  view.AttachDocument(nullptr);  // the document goes before the view here
}

TEST_F(ViewTest, DocumentUpdatesReachTheViewOnlyWhileAttached) {
  struct CountingView : CPlayerView {
    void OnUpdate(int hint) override {
      ++updates;
      lastHint = hint;
    }
    int updates = 0, lastHint = -1;
  } v;
  CPlayerDoc doc;
  v.AttachDocument(&doc);
  doc.UpdateAllViews(1);
  EXPECT_EQ(v.updates, 1);
  EXPECT_EQ(v.lastHint, 1);
  v.AttachDocument(nullptr);
  doc.UpdateAllViews(1);
  EXPECT_EQ(v.updates, 1);
}

TEST_F(ViewTest, ButtonPressesCaptureAndReleasesFollowTheirOwnButton) {
  view.OnLButtonDown(10, 20);
  EXPECT_TRUE(view.leftButtonHeld);
  EXPECT_EQ(view.lastMouseX, 10);
  EXPECT_EQ(view.lastMouseY, 20);
  EXPECT_EQ(host.captureRequests, 1);
  view.OnRButtonDown(30, 40);
  EXPECT_TRUE(view.rightButtonHeld);
  EXPECT_EQ(view.lastMouseX, 30);
  EXPECT_EQ(host.captureRequests, 2);
  // Left release: capture released, the right button stays held.
  view.OnLButtonUp(31, 41);
  EXPECT_FALSE(view.leftButtonHeld);
  EXPECT_TRUE(view.rightButtonHeld);
  EXPECT_EQ(host.releaseRequests, 1);
  // A release without its press releases nothing.
  view.OnLButtonUp(0, 0);
  EXPECT_EQ(host.releaseRequests, 1);
  view.OnRButtonUp(0, 0);
  EXPECT_FALSE(view.rightButtonHeld);
  EXPECT_EQ(host.releaseRequests, 2);
  // The second press of a double click neither presses nor captures.
  view.OnLButtonDblClk(5, 5);
  EXPECT_FALSE(view.leftButtonHeld);
  EXPECT_EQ(host.captureRequests, 2);
  EXPECT_EQ(view.lastMouseX, 30);
  // Moves follow the pointer in every mode.
  view.OnMouseMove(77, 88);
  EXPECT_EQ(view.lastMouseX, 77);
  EXPECT_EQ(view.lastMouseY, 88);
}

TEST_F(ViewTest, MovementKeysShareOneFlagPerRow) {
  view.OnKeyDown(vk::kLeft);
  view.OnKeyDown(vk::kA);
  EXPECT_TRUE(view.strafeLeftHeld);
  view.OnKeyUp(vk::kA);  // releasing either key of the row clears it
  EXPECT_FALSE(view.strafeLeftHeld);
  view.OnKeyDown(vk::kD);
  view.OnKeyDown(vk::kW);
  view.OnKeyDown(vk::kDown);
  EXPECT_TRUE(view.strafeRightHeld);
  EXPECT_TRUE(view.forwardHeld);
  EXPECT_TRUE(view.backwardHeld);
  view.OnKeyUp(vk::kRight);
  view.OnKeyUp(vk::kUp);
  view.OnKeyUp(vk::kS);
  EXPECT_FALSE(view.strafeRightHeld || view.forwardHeld || view.backwardHeld);
  // Other keys change nothing.
  view.OnKeyDown(0x20);
  view.OnKeyDown('Q');
  EXPECT_FALSE(view.strafeLeftHeld || view.strafeRightHeld || view.forwardHeld ||
               view.backwardHeld);
}

}  // namespace
}  // namespace tolvani
