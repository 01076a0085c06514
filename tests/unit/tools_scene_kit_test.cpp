// The scene kit's contracts: camera rigs place points where the view
// matrix finds them, geometry faces the side it is built for, balloon cards
// keep the text card's aspect, synthesised sounds have the promised length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "builder/scene_kit.h"

namespace tolvani {
namespace {

using namespace builder;

Vec3 Cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

TEST(SceneKit, RigPointsLandWhereTheViewMatrixPutsThem) {
  const CameraRig rigs[] = {{{0, 175, 0}, 700, 0, 8},
                            {{10, -5, 30}, 900, -28, 4},
                            {{-300, 90, 50}, 600, 180, 0},
                            {{0, 0, 0}, 1300, 60, 12}};
  for (const CameraRig& rig : rigs) {
    const Matrix4 view = rig.Motion().ComputeViewMatrix();
    // The target lies straight ahead at the rig's distance.
    const Vec3 t = Vec3TransformCoord(rig.target, view);
    EXPECT_NEAR(t.x, 0, 1e-2f);
    EXPECT_NEAR(t.y, 0, 1e-2f);
    EXPECT_NEAR(t.z, -rig.distance, 1e-2f);
    for (const Vec3 v : {Vec3{0, 66, -490}, Vec3{-98, 70, -518}, Vec3{40, -20, -100}}) {
      const Vec3 back = Vec3TransformCoord(rig.FromView(v), view);
      EXPECT_NEAR(back.x, v.x, 1e-2f);
      EXPECT_NEAR(back.y, v.y, 1e-2f);
      EXPECT_NEAR(back.z, v.z, 1e-2f);
    }
    // A facing pose turns its front (+z) towards the eye: in view space the
    // front normal points back at the camera.
    const Matrix4 world = rig.Facing({0, 0, -300}).WorldMatrix();
    Matrix4 rotation = MatrixMultiply(world, view);
    rotation.m[3][0] = rotation.m[3][1] = rotation.m[3][2] = 0;
    EXPECT_GT(Vec3TransformCoord({0, 0, 1}, rotation).z, 0.9f);
  }
}

// Every triangle runs clockwise when seen from the side it faces, the
// winding the renderer draws (it culls counter-clockwise faces).
TEST(SceneKit, GeometryFacesOutwards) {
  CModel m;
  AddQuad(m, {0, 0, 0}, {2, 0, 0}, {0, 3, 0}, 0);    // faces +z
  AddBox(m, {10, 0, 0}, {1, 2, 3}, 0);               // faces away from (10,0,0)
  AddEllipsoid(m, {-10, 5, 0}, {4, 3, 2}, 0, 8, 6);  // away from its centre
  AddTerrain(
      m, 50, 4, [](float x, float) { return x * 0.1f; }, 0, -1, 1);  // up
  const size_t quad = 2, box = quad + 12, ellipsoid = box + 2 * 8 + 2 * 8 * 4;
  ASSERT_EQ(m.faces.size(), ellipsoid + 4 * 4 * 2);
  for (size_t f = 0; f < m.faces.size(); ++f) {
    const auto idx = m.faces.Indices(f);
    ASSERT_EQ(idx.size(), 3u);
    const Vec3 a = m.vertices[idx[0]], b = m.vertices[idx[1]], c = m.vertices[idx[2]];
    const Vec3 mid{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3};
    Vec3 out;
    if (f < quad)
      out = {0, 0, 1};
    else if (f < box)
      out = Sub(mid, {10, 0, 0});
    else if (f < ellipsoid)
      out = Sub(mid, {-10, 5, 0});
    else
      out = {0, 1, 0};
    EXPECT_LT(Dot(Cross(Sub(b, a), Sub(c, a)), out), 0) << "face " << f;
  }
  EXPECT_EQ(m.vertices.size(), m.bones.size());
  EXPECT_EQ(m.vertices.size(), m.weights.size());
}

TEST(SceneKit, BalloonCardKeepsTheTextAspectAndTerrainIsWalkable) {
  CModel balloon;
  AddBalloonShape(balloon, 100, 60, 3, 4);
  for (size_t f = 0; f < balloon.faces.size(); ++f) {
    if (balloon.faces.material[f] != 3) continue;
    const auto idx = balloon.faces.Indices(f);
    const auto uvs = balloon.faces.UVs(f);
    for (size_t k = 0; k < idx.size(); ++k) {
      const Vec3 p = balloon.vertices[idx[k]];
      EXPECT_FLOAT_EQ(uvs[k].u, 0.5f + p.x / 200);  // the card's width spans the texture
      EXPECT_FLOAT_EQ(uvs[k].v, 0.5f - p.y / 200);  // and the same scale upwards
    }
  }
  CModel ground;
  AddTerrain(
      ground, 100, 2, [](float, float) { return 0.0f; }, 0, 7, 1);
  size_t walkable = 0;
  for (size_t f = 0; f < ground.faces.size(); ++f) walkable += ground.faces.material[f] == 7;
  EXPECT_EQ(walkable, 8u);
  EXPECT_EQ(ground.faces.size(), 16u);
}

TEST(SceneKit, SoundsHaveTheirLengthsAndStayInRange) {
  const auto chime = SynthChime(22050, 1046.5f, 0.5f);
  EXPECT_EQ(chime.size(), 2u * 11025u);
  // The chime fades out to silence (no click at the end).
  const int last = static_cast<int16_t>(chime[chime.size() - 2] | (chime.back() << 8));
  EXPECT_LT(std::abs(last), 64);
  const auto loop = SynthLoop(8000, {440, 0, 660, 550}, {110}, 0.25f);
  EXPECT_EQ(loop.size(), 2u * 4u * 2000u);
  int peak = 0;
  for (size_t i = 0; i + 1 < loop.size(); i += 2) {
    const int v = static_cast<int16_t>(loop[i] | (loop[i + 1] << 8));
    peak = std::max(peak, std::abs(v));
  }
  EXPECT_GT(peak, 2000);   // audible
  EXPECT_LT(peak, 32767);  // not clipped
}

}  // namespace
}  // namespace tolvani
