// Matrix and vector helpers, poses and bone matrices.
#include <gtest/gtest.h>

#include <cmath>

#include "base/math.h"
#include "model/model_records.h"
#include "model/motion.h"
#include "model/timeline.h"
#include "render/shader_constants.h"
#include "render/transforms.h"

namespace tolvani {
namespace {

void ExpectVec3Near(const Vec3& v, float x, float y, float z, float tol = 1e-5f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

void ExpectMatrixNear(const Matrix4& a, const Matrix4& b, float tol = 1e-5f) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tol) << i << "," << j;
}

Matrix4 Filled(float value) {
  Matrix4 m;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) m.m[i][j] = value + static_cast<float>(i * 4 + j);
  return m;
}

TEST(RenderMath, DegreesBecomeTheFloatOfTheDoubleProduct) {
  EXPECT_EQ(DegToRad(30.0f), 0.5235988f);
  EXPECT_EQ(DegToRad(180.0f), static_cast<float>(3.141592653589793));
  EXPECT_EQ(DegToRad(0.0f), 0.0f);
}

TEST(RenderMath, RotationsFollowRowVectorConventions) {
  const float r = DegToRad(90.0f);
  ExpectVec3Near(Vec3TransformCoord({1, 0, 0}, MatrixRotationZ(r)), 0, 1, 0);
  ExpectVec3Near(Vec3TransformCoord({0, 1, 0}, MatrixRotationX(r)), 0, 0, 1);
  ExpectVec3Near(Vec3TransformCoord({0, 0, 1}, MatrixRotationY(r)), 1, 0, 0);
  // Translation sits in the fourth row; A * B applies A first.
  const Matrix4 t = MatrixTranslation(1, 2, 3);
  EXPECT_EQ(t.m[3][0], 1.0f);
  EXPECT_EQ(t.m[3][2], 3.0f);
  ExpectVec3Near(Vec3TransformCoord({0, 0, 0}, MatrixMultiply(t, MatrixScaling(2, 2, 2))), 2, 4, 6);
  ExpectVec3Near(Vec3TransformCoord({0, 0, 0}, MatrixMultiply(MatrixScaling(2, 2, 2), t)), 1, 2, 3);
}

TEST(RenderMath, TransposeAndVectorTransforms) {
  const Matrix4 m = Filled(1.0f);
  const Matrix4 t = MatrixTranspose(m);
  EXPECT_EQ(t.m[0][3], m.m[3][0]);
  EXPECT_EQ(t.m[2][1], m.m[1][2]);
  EXPECT_EQ(MatrixTranspose(t), m);

  // (1, 1, 1, 1) * m sums the columns; Vec3Transform keeps w, Coord divides.
  const Vec4 h = Vec3Transform({1, 1, 1}, m);
  EXPECT_EQ(h.x, 1 + 5 + 9 + 13.0f);
  EXPECT_EQ(h.w, 4 + 8 + 12 + 16.0f);
  const Vec3 c = Vec3TransformCoord({1, 1, 1}, m);
  EXPECT_FLOAT_EQ(c.x, 28.0f / 40.0f);
  const Vec4 v4 = Vec4Transform({0, 0, 0, 1}, m);
  EXPECT_EQ(v4.x, 13.0f);
  EXPECT_EQ(v4.w, 16.0f);

  const Vec4 n = Vec4Normalize({3, 0, 4, 0});
  EXPECT_FLOAT_EQ(n.x, 0.6f);
  EXPECT_FLOAT_EQ(n.z, 0.8f);
  const Vec4 zero = Vec4Normalize({0, 0, 0, 0});
  EXPECT_EQ(zero.x, 0.0f);
  EXPECT_EQ(zero.w, 0.0f);
}

TEST(RenderMath, InverseUndoesTheTransform) {
  Matrix4 inv;
  ASSERT_TRUE(MatrixInverse(MatrixTranslation(1, 2, 3), &inv));
  EXPECT_EQ(inv, MatrixTranslation(-1, -2, -3));
  ASSERT_TRUE(MatrixInverse(MatrixScaling(2, 4, 8), &inv));
  EXPECT_EQ(inv, MatrixScaling(0.5f, 0.25f, 0.125f));

  const Matrix4 a =
      MatrixMultiply(MatrixMultiply(MatrixScaling(2, 3, 4), MatrixRotationZ(DegToRad(30))),
                     MatrixMultiply(MatrixRotationX(DegToRad(-70)), MatrixTranslation(5, -6, 7)));
  ASSERT_TRUE(MatrixInverse(a, &inv));
  ExpectMatrixNear(MatrixMultiply(a, inv), Matrix4::Identity());
  ExpectVec3Near(Vec3TransformCoord(Vec3TransformCoord({1, 2, 3}, a), inv), 1, 2, 3, 1e-4f);

  EXPECT_FALSE(MatrixInverse(MatrixScaling(1, 0, 1), &inv));
  EXPECT_FALSE(MatrixInverse(Matrix4{}, &inv));
}

TEST(RenderMath, PerspectiveIsRightHandedWithDepthZeroToOne) {
  const Matrix4 p = MatrixPerspectiveFovRH(DegToRad(30.0f), 640.0f / 480.0f, 1.0f, 50000.0f);
  // cot(15 degrees) = 3.7320508; divided by the aspect 4/3.
  EXPECT_NEAR(p.m[1][1], 3.7320508f, 1e-5f);
  EXPECT_NEAR(p.m[0][0], 2.7990381f, 1e-5f);
  EXPECT_EQ(p.m[2][3], -1.0f);
  EXPECT_EQ(p.m[3][3], 0.0f);
  // The near plane lies at z = -1 and maps to depth 0, the far one to 1.
  const Vec3 nearPoint = Vec3TransformCoord({0, 0, -1}, p);
  const Vec3 farPoint = Vec3TransformCoord({0, 0, -50000}, p);
  EXPECT_NEAR(nearPoint.z, 0.0f, 1e-6f);
  EXPECT_NEAR(farPoint.z, 1.0f, 1e-6f);
  // Top edge of the view at distance 10: y = 10 * tan(15 degrees).
  EXPECT_NEAR(Vec3TransformCoord({0, 10 * 0.26794919f, -10}, p).y, 1.0f, 1e-5f);
}

TEST(RenderMath, FlatProjectionSpansTheViewAndLargerZIsNearer) {
  const Matrix4 o = MatrixOrthoOffCenterRH(-50, 50, -50, 50, -1, 1);
  ExpectVec3Near(Vec3TransformCoord({50, 50, 0}, o), 1, 1, 0.5f);
  ExpectVec3Near(Vec3TransformCoord({-50, -50, 1}, o), -1, -1, 0);
  ExpectVec3Near(Vec3TransformCoord({0, 0, -1}, o), 0, 0, 1);
  const Matrix4 off = MatrixOrthoOffCenterRH(0, 10, 0, 20, 0, 1);
  ExpectVec3Near(Vec3TransformCoord({0, 0, 0}, off), -1, -1, 0);
  ExpectVec3Near(Vec3TransformCoord({10, 20, -1}, off), 1, 1, 1);
}

TEST(RenderMath, IntersectTriGivesTheParameterInDirectionLengths) {
  const Vec3 a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0};
  float t = -1;
  ASSERT_TRUE(IntersectTri(a, b, c, {0.25f, 0.25f, 5}, {0, 0, -2}, &t));
  EXPECT_FLOAT_EQ(t, 2.5f);
  // The back face counts too.
  ASSERT_TRUE(IntersectTri(a, b, c, {0.25f, 0.25f, -5}, {0, 0, 1}, &t));
  EXPECT_FLOAT_EQ(t, 5.0f);
  // Slanted ray through the corner region.
  ASSERT_TRUE(IntersectTri(a, b, c, {0, 0, 4}, {0.1f, 0.1f, -1}, &t));
  EXPECT_FLOAT_EQ(t, 4.0f);
  // Outside the triangle, behind the origin, parallel to its plane.
  EXPECT_FALSE(IntersectTri(a, b, c, {0.75f, 0.75f, 5}, {0, 0, -1}, &t));
  EXPECT_FALSE(IntersectTri(a, b, c, {0.25f, 0.25f, 5}, {0, 0, 1}, &t));
  EXPECT_FALSE(IntersectTri(a, b, c, {0.25f, 0.25f, 5}, {1, 0, 0}, &t));
  // Degenerate triangle.
  EXPECT_FALSE(IntersectTri(a, b, {2, 0, 0}, {0.5f, 0, 5}, {0, 0, -1}, &t));
}

TEST(RenderTransforms, EntryPoseRotatesThenTranslates) {
  CMotion m;
  m.rotation = {0, 90, 0};
  m.position = {1, 2, 3};
  ExpectVec3Near(Vec3TransformCoord({1, 0, 0}, m.WorldMatrix()), 1, 2, 2);

  // Rz, then Ry, then Rx: (1,0,0) -> Ry 90 -> (0,0,-1) -> Rx 90 -> (0,1,0).
  CMotion r;
  r.rotation = {90, 90, 0};
  ExpectVec3Near(Vec3TransformCoord({1, 0, 0}, r.WorldMatrix()), 0, 1, 0);

  // Scale applies before rotation and translation; the pivot is ignored.
  CMotion s;
  s.scale = {2, 3, 4};
  s.rotation = {0, 0, 90};
  s.position = {10, 0, 0};
  s.pivot = {100, 100, 100};
  ExpectVec3Near(Vec3TransformCoord({1, 0, 0}, s.WorldMatrix()), 10, 2, 0);
}

TEST(RenderTransforms, ViewMatricesUseTheCameraValuesDirectly) {
  CMotion camera;
  EXPECT_EQ(camera.ComputeViewMatrix(), Matrix4::Identity());
  EXPECT_EQ(camera.ComputePivotViewMatrix(), Matrix4::Identity());

  // S, then T, then the rotations: nothing is inverted.
  camera.scale = {2, 2, 2};
  camera.position = {1, 0, 0};
  camera.rotation = {0, 0, 90};
  camera.pivot = {50, 50, 50};
  ExpectVec3Near(Vec3TransformCoord({1, 0, 0}, camera.ComputeViewMatrix()), 0, 3, 0);

  // Orbit: pivot, scale, rotations, then the position.
  camera.pivot = {1, 0, 0};
  camera.position = {0, 0, 5};
  ExpectVec3Near(Vec3TransformCoord({0, 0, 0}, camera.ComputePivotViewMatrix()), 0, 2, 5);
}

TEST(RenderTransforms, EntryWorldMatrixOutsideTheEntriesIsIdentity) {
  CTimeLine line;
  line.entries.resize(2);
  line.entries[1].motion.position = {4, 5, 6};
  EXPECT_EQ(line.EntryWorldMatrix(0), Matrix4::Identity());
  EXPECT_EQ(line.EntryWorldMatrix(1), MatrixTranslation(4, 5, 6));
  EXPECT_EQ(line.EntryWorldMatrix(2), Matrix4::Identity());
  EXPECT_EQ(line.EntryWorldMatrix(-1), Matrix4::Identity());
}

// An animation with `bones` tracks of `frames` frames; bone b frame f holds
// the translation (b, f, 7).
Animation MakeAnimation(int bones, int frames) {
  Animation a(static_cast<size_t>(bones));
  for (int b = 0; b < bones; ++b)
    for (int f = 0; f < frames; ++f)
      a[static_cast<size_t>(b)].push_back(
          MatrixTranslation(static_cast<float>(b), static_cast<float>(f), 7));
  return a;
}

class BoneSlots : public ::testing::Test {
 protected:
  void SetUp() override {
    for (Matrix4& m : slots) m = Filled(-9.0f);
  }
  bool Untouched(int i) const { return slots[i] == Filled(-9.0f); }
  Matrix4 slots[kBoneSlotCount];
  CModel model;
};

TEST_F(BoneSlots, NoAnimationGivesIdentityEverywhere) {
  FillBoneMatrices(model, slots);
  for (const Matrix4& m : slots) EXPECT_EQ(m, Matrix4::Identity());

  SetUp();
  model.animations.push_back(MakeAnimation(3, 2));
  model.currentAnimation = 1;  // past the last animation
  FillBoneMatrices(model, slots);
  for (const Matrix4& m : slots) EXPECT_EQ(m, Matrix4::Identity());

  SetUp();
  model.currentAnimation = -1;
  FillBoneMatrices(model, slots);
  for (const Matrix4& m : slots) EXPECT_EQ(m, Matrix4::Identity());
}

TEST_F(BoneSlots, StopsAtTheAnimationsBoneCount) {
  model.animations.push_back(MakeAnimation(40, 3));
  model.animations.push_back(MakeAnimation(10, 3));
  model.currentAnimation = 1;
  model.animationFrame = 2;
  FillBoneMatrices(model, slots);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(slots[i], MatrixTranslation(float(i), 2, 7)) << i;
  for (int i = 10; i < kBoneSlotCount; ++i) EXPECT_TRUE(Untouched(i)) << i;

  model.currentAnimation = 0;
  FillBoneMatrices(model, slots);
  for (int i = 0; i < kBoneSlotCount; ++i) EXPECT_EQ(slots[i], MatrixTranslation(float(i), 2, 7));
}

TEST_F(BoneSlots, FrameOutsideOneBoneMakesOnlyThatSlotIdentity) {
  Animation a = MakeAnimation(4, 5);
  a[2].resize(2);  // bone 2 has only two frames
  model.animations.push_back(a);
  model.currentAnimation = 0;
  model.animationFrame = 3;
  FillBoneMatrices(model, slots);
  EXPECT_EQ(slots[0], MatrixTranslation(0, 3, 7));
  EXPECT_EQ(slots[1], MatrixTranslation(1, 3, 7));
  EXPECT_EQ(slots[2], Matrix4::Identity());
  EXPECT_EQ(slots[3], MatrixTranslation(3, 3, 7));
  EXPECT_TRUE(Untouched(4));

  model.animationFrame = -1;
  FillBoneMatrices(model, slots);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(slots[i], Matrix4::Identity());
}

TEST_F(BoneSlots, ConstantBufferBonesAreCopiedAsStored) {
  model.animations.push_back(MakeAnimation(2, 1));
  model.currentAnimation = 0;
  ShaderConstants constants{};
  FillBoneMatrices(model, constants);
  EXPECT_EQ(constants.bones[1], MatrixTranslation(1, 0, 7));
  EXPECT_EQ(constants.bones[1].m[3][0], 1.0f);  // not transposed
}

}  // namespace
}  // namespace tolvani
