// Motion and scene-root records: round trips, construction defaults and
// the version conditions of the scene root.
#include <gtest/gtest.h>

#include <vector>

#include "model/archive.h"
#include "model/model_records.h"
#include "model/motion.h"
#include "model_test_models.h"
#include "render/null_device.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::ExpectSameModel;
using testing::FullModel;

TEST(MotionRecords, MotionAndSceneRootRoundTrip) {
  CMotion mo;
  mo.pivot = {7, 7, 7};
  mo.position = {1, 2, 3};
  mo.rotation = {4, 5, 6};
  mo.scale = {7, 8, 9};
  Bytes out;
  CArchive w(out);
  mo.Serialize(w);
  EXPECT_EQ(out.size(), 36u);
  CMotion r;
  CArchive ar(out.data(), out.size());
  r.Serialize(ar);
  EXPECT_EQ(r.position, mo.position);
  EXPECT_EQ(r.rotation, mo.rotation);
  EXPECT_EQ(r.scale, mo.scale);
  EXPECT_EQ(r.pivot, (Vec3{0, 0, 0}));

  CCoreMotion3D root;
  root.formatTag = u"zvmov";
  root.auxNames = {u"x", u"y"};
  root.auxValue = 12;
  root.backgroundColor = 0x00FF0000;
  root.playMode = PlayMode::kExplore;
  root.glideDuration = 100;
  root.fadeDuration = 200;
  root.fieldOfView = 45.0f;
  root.camera = mo;
  root.materials.resize(2);
  root.materials[1].name = u"second";
  root.models.push_back(FullModel());
  Bytes rootBytes;
  CArchive wr(rootBytes);
  root.Serialize(wr, 1.1f);
  CCoreMotion3D back;
  back.formatTag = u"zvmov";
  CArchive arr(rootBytes.data(), rootBytes.size());
  back.Serialize(arr, 1.1f);
  EXPECT_EQ(arr.Remaining(), 0u);
  EXPECT_EQ(back.auxNames, root.auxNames);
  EXPECT_EQ(back.auxValue, 12);
  EXPECT_EQ(back.backgroundColor, 0x00FF0000u);
  EXPECT_EQ(back.playMode, PlayMode::kExplore);
  EXPECT_EQ(back.glideDuration, 100);
  EXPECT_EQ(back.fadeDuration, 200);
  EXPECT_EQ(back.fieldOfView, 45.0f);
  EXPECT_EQ(back.camera.rotation, mo.rotation);
  ASSERT_EQ(back.materials.size(), 2u);
  EXPECT_EQ(back.materials[1].name, u"second");
  ASSERT_EQ(back.models.size(), 1u);
  ExpectSameModel(back.models[0], root.models[0]);

  // Without the "zvmov" tag neither the counts nor the lists are stored.
  CCoreMotion3D untagged;
  untagged.materials.resize(3);
  Bytes small;
  CArchive ws(small);
  untagged.Serialize(ws, 1.1f);
  EXPECT_EQ(small.size(), 4u + 4u + 4u + 4u + 8u + 4u + 36u);
}

TEST(MotionRecords, ConstructionAndResetDefaults) {
  NullGraphicsDevice device;
  CCoreMotion3D root;
  EXPECT_EQ(root.currentStep, -1);
  EXPECT_EQ(root.pickedModel, -1);
  EXPECT_EQ(root.backgroundColor, 0x005A411Eu);
  EXPECT_EQ(root.playMode, PlayMode::kGlide);
  EXPECT_EQ(root.glideDuration, 1500);
  EXPECT_EQ(root.fadeDuration, 1500);
  EXPECT_EQ(root.fieldOfView, 30.0f);
  EXPECT_EQ(root.auxValue, 300);
  EXPECT_EQ(root.width, 160);
  EXPECT_EQ(root.height, 120);

  root.render.device = &device;
  root.camera.pivot = {1, 1, 1};
  root.camera.scale = {3, 3, 3};
  root.playMode = PlayMode::kOrbit;
  root.fieldOfView = 50.0f;
  root.currentStep = 4;
  root.auxNames = {u"n"};
  root.backgroundColor = 1;
  root.materials.resize(2);
  gfx::Handle tex = gfx::kNone, view = gfx::kNone;
  gfx::TextureDesc desc;
  desc.width = desc.height = 4;
  ASSERT_FALSE(gfx::Failed(device.CreateTexture2D(desc, &tex)));
  ASSERT_FALSE(gfx::Failed(device.CreateShaderResourceView(tex, &view)));
  device.Release(tex);
  root.materials[1].textureView = view;
  root.models.resize(1);
  MeshGroup g;
  const float data[11] = {};
  ASSERT_FALSE(gfx::Failed(device.CreateVertexBuffer(data, sizeof(data), &g.vertexBuffer)));
  root.models[0].groups.push_back(g);

  root.ResetScene();
  EXPECT_EQ(device.LiveObjectCount(), 0u);
  EXPECT_EQ(root.camera.pivot, (Vec3{0, 0, 0}));
  EXPECT_EQ(root.camera.scale, (Vec3{1, 1, 1}));
  EXPECT_TRUE(root.models.empty());
  EXPECT_TRUE(root.materials.empty());
  EXPECT_TRUE(root.auxNames.empty());
  EXPECT_EQ(root.currentStep, -1);
  EXPECT_EQ(root.backgroundColor, 0x005A411Eu);
  EXPECT_EQ(root.playMode, PlayMode::kOrbit);  // settings survive the reset
  EXPECT_EQ(root.fieldOfView, 50.0f);
}

TEST(MotionRecords, SceneRootVersionConditions) {
  auto readWith = [](float version, CCoreMotion3D& root) {
    Bytes b;
    CArchive w(b);
    w.WriteInt32(0);   // auxNames
    w.WriteInt32(1);   // auxValue
    w.WriteUInt32(2);  // backgroundColor
    if (version >= 0.4f) w.WriteInt32(2);
    w.WriteInt32(0);  // materials
    w.WriteInt32(0);  // models
    if (version >= 0.84f) {
      w.WriteInt32(700);
      w.WriteInt32(800);
    }
    if (version >= 1.1f) w.WriteFloat(60.0f);
    CMotion().Serialize(w);
    CArchive ar(b.data(), b.size());
    root.Serialize(ar, version);
    EXPECT_EQ(ar.Remaining(), 0u) << version;
  };
  CCoreMotion3D root;
  root.formatTag = u"zvmov";
  root.playMode = PlayMode::kScroll;
  readWith(0.3f, root);
  EXPECT_EQ(root.playMode, PlayMode::kScroll);
  EXPECT_EQ(root.glideDuration, 1500);
  readWith(1.0f, root);
  EXPECT_EQ(root.playMode, PlayMode::kWalk);
  EXPECT_EQ(root.glideDuration, 700);
  EXPECT_EQ(root.fadeDuration, 800);
  EXPECT_EQ(root.fieldOfView, 30.0f);
  readWith(1.1f, root);
  EXPECT_EQ(root.fieldOfView, 60.0f);
  readWith(0.84f, root);
  EXPECT_EQ(root.fieldOfView, 60.0f);
}

}  // namespace
}  // namespace tolvani
