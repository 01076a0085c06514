// Frame drawing on the null device: clears, passes, matrices, constants,
// material substitution and fades.
#include <gtest/gtest.h>

#include "base/math.h"
#include "render_test_scene.h"

namespace tolvani::rendertest {
namespace {

const Matrix4 kFlat = MatrixOrthoOffCenterRH(-50, 50, -50, 50, -1, 1);

class FrameDrawing : public SceneFixture {};

TEST_F(FrameDrawing, EmptySceneIsClearedToTheBackgroundColourAndPresented) {
  DrawFrame(*scene);
  ASSERT_EQ(device.clears().size(), 1u);
  EXPECT_EQ(device.clears()[0].renderTarget, scene->render.renderTargetView);
  EXPECT_FLOAT_EQ(device.clears()[0].rgba[0], 30.0f / 255.0f);
  EXPECT_FLOAT_EQ(device.clears()[0].rgba[1], 65.0f / 255.0f);
  EXPECT_FLOAT_EQ(device.clears()[0].rgba[2], 90.0f / 255.0f);
  EXPECT_EQ(device.clears()[0].rgba[3], 1.0f);
  ASSERT_EQ(device.depthClears().size(), 2u);
  EXPECT_EQ(device.depthClears()[0].depth, 1.0f);
  EXPECT_EQ(device.presentCount(), 1u);
  EXPECT_TRUE(device.draws().empty());

  scene->backgroundColor = 0x00FF8001;  // red 1, green 128, blue 255
  DrawFrame(*scene);
  EXPECT_FLOAT_EQ(device.clears()[1].rgba[0], 1.0f / 255.0f);
  EXPECT_FLOAT_EQ(device.clears()[1].rgba[1], 128.0f / 255.0f);
  EXPECT_FLOAT_EQ(device.clears()[1].rgba[2], 1.0f);
}

TEST_F(FrameDrawing, DefaultCameraGivesIdentityViewAndLooksDownNegativeZ) {
  DrawFrame(*scene);
  EXPECT_EQ(scene->render.viewMatrix, Matrix4::Identity());
  EXPECT_EQ(scene->render.viewDirection.x, 0.0f);
  EXPECT_EQ(scene->render.viewDirection.y, 0.0f);
  EXPECT_EQ(scene->render.viewDirection.z, -1.0f);
  EXPECT_EQ(scene->render.viewDirection.w, 0.0f);
  // Field of view 30 at 640 x 480: fovy 0.5235988, aspect 1.3333334.
  EXPECT_EQ(scene->render.projectionMatrix,
            MatrixPerspectiveFovRH(0.5235988f, 1.3333334f, 1.0f, 50000.0f));
}

TEST_F(FrameDrawing, ViewMatrixFollowsThePlayModeAndViewDirectionIsItsThirdColumn) {
  scene->camera.position = {1, 2, 3};
  scene->camera.rotation = {20, 40, 0};
  scene->camera.pivot = {5, 0, 0};
  DrawFrame(*scene);
  const Matrix4 v = scene->camera.ComputeViewMatrix();
  EXPECT_EQ(scene->render.viewMatrix, v);
  const Vec4 d = Vec4Normalize({-v.m[0][2], -v.m[1][2], -v.m[2][2], 0});
  EXPECT_EQ(scene->render.viewDirection.x, d.x);
  EXPECT_EQ(scene->render.viewDirection.y, d.y);
  EXPECT_EQ(scene->render.viewDirection.z, d.z);

  scene->playMode = PlayMode::kOrbit;
  DrawFrame(*scene);
  EXPECT_EQ(scene->render.viewMatrix, scene->camera.ComputePivotViewMatrix());
  EXPECT_NE(scene->render.viewMatrix, v);
}

TEST_F(FrameDrawing, TimelineNamesChooseThePasses) {
  const int m = AddMaterial(u"plain");
  AddObject(u"Camera", {m});            // 0: never in the main pass
  AddObject(u"Body", {m});              // 1: main
  AddObject(u"SkyBackground", {m});     // 2: background
  AddObject(u"BackgroundEffect", {m});  // 3: background and overlay
  AddObject(u"StarEffect", {m});        // 4: overlay
  AddObject(u"background", {m});        // 5: case differs: main
  DrawFrame(*scene);
  // Background pass, depth clear, main pass, overlay pass.
  EXPECT_EQ(DrawnModels(), (std::vector<int>{2, 3, 1, 5, 3, 4}));
  const auto& events = device.events();
  ASSERT_EQ(events.size(), 1u + 1u + 6u + 1u + 1u);
  EXPECT_EQ(events[0].kind, NullGraphicsDevice::EventKind::Clear);
  EXPECT_EQ(events[1].kind, NullGraphicsDevice::EventKind::ClearDepth);
  EXPECT_EQ(events[4].kind, NullGraphicsDevice::EventKind::ClearDepth);
  EXPECT_EQ(events.back().kind, NullGraphicsDevice::EventKind::Present);

  // Every draw has the vertex shader, the layout, the triangle list and the
  // constant buffer bound; untextured groups use the plain pixel shader.
  for (const auto& d : device.draws()) {
    EXPECT_EQ(d.vertexShader, scene->render.vertexShader);
    EXPECT_EQ(d.inputLayout, scene->render.inputLayout);
    EXPECT_TRUE(d.triangleList);
    EXPECT_EQ(d.constantBuffer, scene->render.constantBuffer);
    EXPECT_EQ(d.stride, 44u);
    EXPECT_EQ(d.pixelShaderEntry, "PS");
    EXPECT_EQ(d.vertexCount, 3u);
  }
}

TEST_F(FrameDrawing, FlatPassesNeedAShownEntryAtTheCurrentStep) {
  const int m = AddMaterial(u"plain");
  constexpr EntryState kShown = EntryState::kShown, kHidden = EntryState::kHidden;
  AddObject(u"Camera", {m}, {kShown, kShown, kShown});
  AddObject(u"Hidden Background", {m}, {kHidden, kShown});  // hidden at step 0
  AddObject(u"Body", {m}, {kHidden});                       // state plays no part
  AddObject(u"Short Effect", {m}, {kShown});                // one entry only
  DrawFrame(*scene);
  EXPECT_EQ(DrawnModels(), (std::vector<int>{2, 3}));

  device.ClearRecords();
  scene->currentStep = 1;  // past Body's and Short Effect's entries
  DrawFrame(*scene);
  EXPECT_EQ(DrawnModels(), (std::vector<int>{1, 2}));
  // Body is drawn at the identity, since its timeline has no entry 1.
  EXPECT_EQ(ConstantsOf(device.draws()[1]).world, Matrix4::Identity());

  device.ClearRecords();
  scene->currentStep = -1;
  DrawFrame(*scene);
  EXPECT_EQ(DrawnModels(), (std::vector<int>{2}));
}

TEST_F(FrameDrawing, InvisibleModelsAndModelsWithoutTimelinesAreSkipped) {
  const int m = AddMaterial(u"plain");
  AddObject(u"Camera", {m});
  AddObject(u"Body", {m});
  AddObject(u"Back Background", {m});
  AddObject(u"Arm", {m});
  scene->models[1].visible = false;
  scene->models[2].visible = false;
  SceneState.timeLines.pop_back();  // model 3 has no timeline
  DrawFrame(*scene);
  EXPECT_TRUE(device.draws().empty());
}

TEST_F(FrameDrawing, ExactlyOneTimelineLeavesTheMainPassEmpty) {
  const int m = AddMaterial(u"plain");
  AddObject(u"Camera", {m});
  AddObject(u"Body", {m});
  SceneState.timeLines.resize(1);
  DrawFrame(*scene);
  EXPECT_TRUE(device.draws().empty());
  EXPECT_EQ(device.presentCount(), 1u);
}

TEST_F(FrameDrawing, ConstantsCarryMatricesViewDirectionAndMaterialTerms) {
  const int m = AddMaterial(u"skin", 0.1f, 0.2f, 0.3f, 0.4f);
  CMaterial& mat = scene->materials[m];
  mat.ambient = 0.8f;
  mat.specular = 0.5f;
  mat.diffuse = 0.6f;
  mat.emissive = 0.7f;
  mat.power = 12.0f;
  AddObject(u"Camera", {m});
  AddObject(u"Body", {m});
  AddObject(u"Back Background", {m});
  CMotion& pose = SceneState.timeLines[1].entries[0].motion;
  pose.position = {3, 4, 5};
  pose.rotation = {10, 20, 30};
  pose.scale = {2, 2, 2};
  scene->camera.position = {0, 0, -100};
  scene->camera.rotation = {0, 15, 0};
  DrawFrame(*scene);
  ASSERT_EQ(device.draws().size(), 2u);

  // Background draw: identity world, flat projection, identity view.
  const ShaderConstants flat = ConstantsOf(device.draws()[0]);
  EXPECT_EQ(flat.world, Matrix4::Identity());
  EXPECT_EQ(flat.worldViewProjection, MatrixTranspose(kFlat));

  const ShaderConstants c = ConstantsOf(device.draws()[1]);
  const Matrix4 w = pose.WorldMatrix();
  const Matrix4 wvp =
      MatrixMultiply(MatrixMultiply(w, scene->render.viewMatrix), scene->render.projectionMatrix);
  EXPECT_EQ(c.world, MatrixTranspose(w));
  EXPECT_EQ(c.worldViewProjection, MatrixTranspose(wvp));
  EXPECT_EQ(scene->render.worldMatrix, Matrix4::Identity());  // reset for the overlay pass
  for (int i = 0; i < kShaderBoneCount; ++i) EXPECT_EQ(c.bones[i], Matrix4::Identity());
  EXPECT_EQ(c.viewDirection.x, scene->render.viewDirection.x);
  EXPECT_EQ(c.viewDirection.z, scene->render.viewDirection.z);
  EXPECT_EQ(c.viewDirection2.x, c.viewDirection.x);
  EXPECT_EQ(c.viewDirection2.z, c.viewDirection.z);
  EXPECT_EQ(c.viewDirection.w, 0.0f);
  EXPECT_EQ(c.color.x, 0.1f);
  EXPECT_EQ(c.color.w, 0.4f);
  EXPECT_EQ(c.ambient.x, 0.8f * 0.25f);
  EXPECT_EQ(c.ambient.z, 0.8f * 0.25f);
  EXPECT_EQ(c.ambient.w, 1.0f);
  EXPECT_EQ(c.specular.x, 0.5f);
  EXPECT_EQ(c.specular.y, 0.5f);
  EXPECT_EQ(c.specular.w, 0.4f);
  EXPECT_EQ(c.diffuse.x, 0.6f);
  EXPECT_EQ(c.diffuse.y, 0.0f);
  EXPECT_EQ(c.emissive.x, 0.7f);
  EXPECT_EQ(c.power.x, 12.0f);
  EXPECT_EQ(c.power.w, 0.0f);
}

TEST_F(FrameDrawing, BonesOfTheCurrentAnimationFrameReachTheConstants) {
  const int m = AddMaterial(u"plain");
  AddObject(u"Camera", {m});
  const int body = AddObject(u"Body", {m});
  scene->models[body].animations.push_back(testing::MakeAnimation(3, 4));
  scene->models[body].currentAnimation = 0;
  scene->models[body].animationFrame = 2;
  DrawFrame(*scene);
  ASSERT_EQ(device.draws().size(), 1u);
  const ShaderConstants c = ConstantsOf(device.draws()[0]);
  EXPECT_EQ(c.bones[1].m[3][0], 1.0f);
  EXPECT_EQ(c.bones[1].m[3][1], 2.0f);
}

TEST_F(FrameDrawing, TexturedMaterialsBindTheirViewWithTheSampler) {
  const int plain = AddMaterial(u"plain");
  const int tex = AddMaterial(u"wood");
  scene->materials[tex].textureName = u"wood.png";
  gfx::TextureDesc desc;
  desc.width = desc.height = 4;
  gfx::Handle texture = gfx::kNone;
  ASSERT_FALSE(gfx::Failed(device.CreateTexture2D(desc, &texture)));
  ASSERT_FALSE(
      gfx::Failed(device.CreateShaderResourceView(texture, &scene->materials[tex].textureView)));
  device.Release(texture);
  AddObject(u"Camera", {plain});
  AddObject(u"Body", {tex, plain});
  DrawFrame(*scene);
  ASSERT_EQ(device.draws().size(), 2u);
  EXPECT_EQ(device.draws()[0].pixelShaderEntry, "PS_TEX");
  EXPECT_EQ(device.draws()[0].sampler, scene->render.samplerState);
  EXPECT_EQ(device.draws()[0].shaderResource, scene->materials[tex].textureView);
  EXPECT_EQ(device.draws()[1].pixelShaderEntry, "PS");
  EXPECT_EQ(device.draws()[1].vertexCount, 4u);
}

TEST_F(FrameDrawing, OutOfRangeMaterialSkipsOnlyThatGroup) {
  const int m = AddMaterial(u"plain");
  AddObject(u"Camera", {m});
  AddObject(u"Body", {5, m, -1, m});
  DrawFrame(*scene);
  ASSERT_EQ(device.draws().size(), 2u);
  EXPECT_EQ(SourceOf(device.draws()[0]).group, 1);
  EXPECT_EQ(SourceOf(device.draws()[1]).group, 3);
  int count = 0;
  for (const auto& [subsystem, text] : platform.diagnostics) {
    if (text == u"マテリアルが範囲を超えています！\n") {
      EXPECT_EQ(subsystem, "render");
      ++count;
    }
  }
  EXPECT_EQ(count, 2);
}

TEST_F(FrameDrawing, MaterialSetOfTheCurrentAnimationSubstitutes) {
  for (int i = 0; i < 5; ++i) AddMaterial(u"m", static_cast<float>(i) / 10.0f);
  AddObject(u"Camera", {0});
  const int body = AddObject(u"Body", {0, 1, 2, 3});
  CModel& model = scene->models[body];
  model.materialSetBase = 1;
  model.materialSets = {{3, 0}, {1, 9}};
  // Material 0 is below the base, 3 past the list: both stay.
  auto colours = [&] {
    std::vector<float> out;
    for (const auto& d : device.draws()) out.push_back(ConstantsOf(d).color.x);
    device.ClearRecords();
    return out;
  };
  model.currentAnimation = 0;
  DrawFrame(*scene);
  EXPECT_EQ(colours(), (std::vector<float>{0.0f, 0.4f, 0.1f, 0.3f}));

  // The second list maps material 2 to 9 + 1, which is out of range.
  platform.diagnostics.clear();
  model.currentAnimation = 1;
  DrawFrame(*scene);
  EXPECT_EQ(colours(), (std::vector<float>{0.0f, 0.2f, 0.3f}));
  EXPECT_EQ(platform.diagnostics.size(), 1u);

  for (int32_t a : {-1, 2}) {
    model.currentAnimation = a;
    DrawFrame(*scene);
    EXPECT_EQ(colours(), (std::vector<float>{0.0f, 0.1f, 0.2f, 0.3f})) << a;
  }
}

// Fades -------------------------------------------------------------------

class Fades : public SceneFixture {
 protected:
  // Camera, then an overlay object named `name` with one group per fade
  // material.
  int AddFade(const std::u16string& name, const std::u16string& material, int groups = 1) {
    const int m = AddMaterial(material, 0, 0, 0, 1);
    if (SceneState.timeLines.empty()) AddObject(u"Camera", {m});
    return AddObject(name, std::vector<int32_t>(static_cast<size_t>(groups), m));
  }
  // Frames until advanceRequested is set (at most limit).
  int FramesUntilAdvance(int limit) {
    for (int frame = 1; frame <= limit; ++frame) {
      DrawFrame(*scene);
      if (scene->advanceRequested) return frame;
    }
    return -1;
  }
};

TEST_F(Fades, DefaultFadeInEndsOnThe46thDraw) {
  AddFade(u"FadeIn", u"ZavroFadeInMaterial");
  scene->fadeLevel = 1.0f;
  EXPECT_EQ(FramesUntilAdvance(100), 46);
  EXPECT_EQ(scene->fadeLevel, 0.0f);
  EXPECT_EQ(scene->materials[0].color[3], 0.0f);
  ASSERT_FALSE(device.draws().empty());
  EXPECT_EQ(ConstantsOf(device.draws().back()).color.w, 0.0f);
  EXPECT_EQ(ConstantsOf(device.draws().back()).specular.w, 0.0f);
}

TEST_F(Fades, FirstStepIsOneFortyFifthInSinglePrecision) {
  AddFade(u"FadeIn", u"ZavroFadeInMaterial");
  scene->fadeLevel = 1.0f;
  DrawFrame(*scene);
  EXPECT_EQ(scene->fadeLevel, 1.0f - 0.022222223f);
  EXPECT_EQ(scene->materials[0].color[3], scene->fadeLevel);
  EXPECT_EQ(ConstantsOf(device.draws()[0]).color.w, scene->fadeLevel);
  EXPECT_FALSE(scene->advanceRequested);
}

TEST_F(Fades, DurationSetsTheNumberOfDraws) {
  AddFade(u"FadeOut", u"ZavroFadeOutMaterial");
  scene->fadeDuration = 1000;
  scene->fadeLevel = 0.0f;
  EXPECT_EQ(FramesUntilAdvance(100), 30);
  EXPECT_EQ(scene->fadeLevel, 1.0f);
  EXPECT_EQ(scene->materials[0].color[3], 1.0f);

  scene->advanceRequested = false;
  scene->fadeDuration = 0;  // infinite step: ends at once
  scene->fadeLevel = 0.0f;
  EXPECT_EQ(FramesUntilAdvance(5), 1);
}

TEST_F(Fades, TwoFadeGroupsAdvanceTwicePerFrame) {
  AddFade(u"FadeIn", u"ZavroFadeInMaterial", 2);
  scene->fadeLevel = 1.0f;
  DrawFrame(*scene);
  const float step = 1.0f / (1500.0f * 30.0f / 1000.0f);
  EXPECT_EQ(scene->fadeLevel, 1.0f - step - step);
  EXPECT_EQ(FramesUntilAdvance(100), 22);  // 46 group draws, 23 frames in all
}

TEST_F(Fades, NamesMustMatchWholeAndCaseSensitive) {
  AddFade(u"FadeIn", u"zavroFadeInMaterial");
  AddFade(u"FadeIn", u"ZavroFadeInMaterial2");
  scene->fadeLevel = 0.5f;
  DrawFrame(*scene);
  EXPECT_EQ(scene->fadeLevel, 0.5f);
  EXPECT_EQ(scene->materials[0].color[3], 1.0f);
}

TEST_F(Fades, OnlyTheOverlayPassRequestsTheAdvance) {
  // A fade material on a main-pass object and on a background object still
  // moves the level, but reaching the end does not advance the story.
  const int m = AddMaterial(u"ZavroFadeOutMaterial");
  AddObject(u"Camera", {m});
  AddObject(u"Body", {m});
  AddObject(u"Curtain Background", {m});
  scene->fadeLevel = 0.0f;
  scene->fadeDuration = 1000;
  for (int i = 0; i < 40; ++i) DrawFrame(*scene);
  EXPECT_EQ(scene->fadeLevel, 1.0f);
  EXPECT_FALSE(scene->advanceRequested);
}

}  // namespace
}  // namespace tolvani::rendertest
