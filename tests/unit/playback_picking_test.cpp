// Balloon picking, the ground probe and the view-centre band, on scenes set
// up directly in the process-wide scene state.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/scene_state.h"
#include "playback/picking.h"
#include "support/scene_reset.h"

namespace tolvani {
namespace {

CFace Face(std::vector<int32_t> indices, int32_t material = 0) {
  CFace f;
  f.material = material;
  f.indices = std::move(indices);
  return f;
}

// A square of half size s in the model's xy plane (facing the camera), as
// one quad face.
CModel Square(float s) {
  CModel m;
  m.vertices = {{-s, -s, 0}, {s, -s, 0}, {s, s, 0}, {-s, s, 0}};
  m.faces.Append(Face({0, 1, 2, 3}));
  return m;
}

// A square of half size s in the model's xz plane (ground), one quad face on
// material `material`.
CModel Ground(float s, int32_t material = 0) {
  CModel m;
  m.vertices = {{-s, 0, -s}, {s, 0, -s}, {s, 0, s}, {-s, 0, s}};
  m.faces.Append(Face({0, 1, 2, 3}, material));
  m.collisionMaterial = 0;
  return m;
}

class PickingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSceneStateForTests();
    EnsureSceneRoot();
    CCoreMotion3D& s = scene();
    s.currentStep = 0;
    s.render.viewport = gfx::Viewport{0, 0, 640, 480};
    s.render.viewMatrix = Matrix4::Identity();
    s.render.projectionMatrix = MatrixPerspectiveFovRH(DegToRad(60.0f), 640.0f / 480.0f, 1, 5000);
    // Model 0 with the camera timeline.
    Add(u"camera", CModel{}, Vec3{});
  }
  void TearDown() override { ResetSceneStateForTests(); }

  CCoreMotion3D& scene() { return *SceneState.sceneRoot; }

  // Adds model m with a timeline `name` whose one entry (step 0) is shown
  // at position; returns the model index.
  int Add(const std::u16string& name, CModel m, Vec3 position,
          EntryState state = EntryState::kShown) {
    scene().models.push_back(std::move(m));
    CTimeLine line;
    line.name = name;
    CTimeLineData entry;
    entry.state = state;
    entry.motion.position = position;
    line.entries.push_back(entry);
    SceneState.timeLines.push_back(line);
    return static_cast<int>(scene().models.size()) - 1;
  }
  CTimeLineData& Entry(int i) { return SceneState.timeLines[static_cast<size_t>(i)].entries[0]; }

  // The picked model after a click near the centre, or -1 with no pick.
  int PickNearCentre() {
    scene().pickedModel = -1;
    return PickBalloon(scene(), 310, 230) ? scene().pickedModel : -1;
  }

  float probeDistance = 0.0f;
  // A probe straight down from world point (x, 5000, z).
  bool ProbeAt(float x, float z) {
    return ProbeGround(scene(), Vec3{-x, -5000.0f, -z}, Vec3{0, -1, 0}, probeDistance);
  }
};

TEST_F(PickingTest, TheNearestBalloonWinsAndEqualDepthGoesToTheLowerIndex) {
  const int far = Add(u"fukidashi far", Square(50), Vec3{0, 0, -300});
  const int near = Add(u"fukidashi near", Square(50), Vec3{0, 0, -100});
  EXPECT_EQ(PickNearCentre(), near);
  // The ray parameter is the view depth, comparable across models.
  float d = 0;
  EXPECT_EQ(HitTestScreenPoint(scene().models[far], 320, 240, scene().render.viewport,
                               SceneState.timeLines[far].EntryWorldMatrix(0),
                               scene().render.projectionMatrix, d),
            0);
  EXPECT_FLOAT_EQ(d, 300.0f);

  // The nearer one first in the list: still the nearer one.
  Entry(far).motion.position.z = -50;
  EXPECT_EQ(PickNearCentre(), far);
  // Equal depth: the lower index.
  Entry(far).motion.position.z = -100;
  EXPECT_EQ(PickNearCentre(), far);
}

TEST_F(PickingTest, OnlyShownBalloonsAfterModelZeroCanBePicked) {
  // Model 0 is a balloon right in front of the camera, yet never a candidate.
  SceneState.timeLines[0].name = u"fukidashi camera";
  scene().models[0] = Square(50);
  SceneState.timeLines[0].entries[0].motion.position = Vec3{0, 0, -10};
  scene().pickedModel = 7;
  EXPECT_FALSE(PickBalloon(scene(), 310, 230));  // fewer than two models
  EXPECT_EQ(scene().pickedModel, 7);

  // An object not named as a balloon neither hits nor hides the balloon
  // behind it; the name test ignores letter case.
  const int box = Add(u"box", Square(50), Vec3{0, 0, -20});
  EXPECT_EQ(PickNearCentre(), -1);
  const int balloon = Add(u"Scene FUKIdashi 2", Square(50), Vec3{0, 0, -200});
  EXPECT_EQ(PickNearCentre(), balloon);
  SceneState.timeLines[box].name = u"fukidash";
  EXPECT_EQ(PickNearCentre(), balloon);

  // A hidden balloon is not picked, and the one behind it is.
  const int front = Add(u"fukidashi front", Square(50), Vec3{0, 0, -50});
  EXPECT_EQ(PickNearCentre(), front);
  scene().models[front].visible = false;
  EXPECT_EQ(PickNearCentre(), balloon);
  // A miss leaves pickedModel alone.
  scene().pickedModel = 5;
  EXPECT_FALSE(PickBalloon(scene(), 0, 0));
  EXPECT_EQ(scene().pickedModel, 5);
}

TEST_F(PickingTest, TheScreenRayFollowsThePointTheViewAndTheEntryPose) {
  const Matrix4& proj = scene().render.projectionMatrix;
  // A balloon 50 units right of and above the axis at depth 100 appears at
  // these pixels (y grows downwards).
  const float px = 320.0f + 0.5f * proj.m[0][0] * 320.0f;
  const float py = 240.0f - 0.5f * proj.m[1][1] * 240.0f;
  const int b = Add(u"fukidashi", Square(10), Vec3{50, 50, -100});
  EXPECT_EQ(PickNearCentre(), -1);
  scene().pickedModel = -1;
  EXPECT_TRUE(PickBalloon(scene(), static_cast<int>(px), static_cast<int>(py)));
  EXPECT_EQ(scene().pickedModel, b);
  EXPECT_FALSE(PickBalloon(scene(), static_cast<int>(px), static_cast<int>(480 - py)));

  // An eye at (50, 50, 0) (the view matrix moves the world by -50) has the
  // balloon straight ahead again.
  scene().render.viewMatrix = MatrixTranslation(-50, -50, 0);
  EXPECT_EQ(PickNearCentre(), b);
  // A scaled entry: the square grows.
  scene().render.viewMatrix = Matrix4::Identity();
  Entry(b).motion.position = Vec3{40, 0, -100};
  EXPECT_EQ(PickNearCentre(), -1);
  Entry(b).motion.scale = Vec3{5, 5, 5};
  EXPECT_EQ(PickNearCentre(), b);
  // An entry scale of zero cannot be inverted: no hit.
  Entry(b).motion.scale = Vec3{0, 0, 0};
  EXPECT_EQ(PickNearCentre(), -1);
}

TEST_F(PickingTest, FacesAreTestedAsTheirTrianglesOnly) {
  const gfx::Viewport& vp = scene().render.viewport;
  const Matrix4& proj = scene().render.projectionMatrix;
  // The model sits at depth 1 with the focal scale undone, so a pixel maps
  // to model coordinates directly: point (u, v) is at pixel (320 + 320u / f,
  // 240 - 240v / g) for the projection's f and g.
  const Matrix4 worldView = MatrixMultiply(
      MatrixScaling(1.0f / proj.m[0][0], 1.0f / proj.m[1][1], 1.0f), MatrixTranslation(0, 0, -1));
  auto hit = [&](const CModel& m, float u, float v, float* d = nullptr) {
    float depth = -5.0f;
    const int r =
        HitTestScreenPoint(m, static_cast<int>(320.0f + 320.0f * u),
                           static_cast<int>(240.0f - 240.0f * v), vp, worldView, proj, depth);
    if (d) *d = depth;
    return r;
  };

  // A dart-shaped quad, concave at corner 2: split along 0-2 it covers the
  // dart only; split along 1-3 it would cover the whole triangle 0, 1, 3.
  CModel dart;
  dart.vertices = {{0, 0, 0}, {0.8f, 0, 0}, {0.2f, 0.2f, 0}, {0, 0.8f, 0}};
  dart.faces.Append(Face({0, 1, 2, 3}));
  EXPECT_EQ(hit(dart, 0.3f, 0.05f), 0);   // inside (0, 1, 2)
  EXPECT_EQ(hit(dart, 0.05f, 0.3f), 0);   // inside (0, 2, 3)
  EXPECT_EQ(hit(dart, 0.35f, 0.3f), -1);  // in the notch

  // Faces of two or five corners never hit; a triangle naming a vertex
  // outside the list is skipped without stopping the faces after it.
  CModel odd;
  odd.vertices = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {0, 2, 0}};
  odd.faces.Append(Face({0, 1}));
  odd.faces.Append(Face({0, 1, 2, 4, 3}));
  odd.faces.Append(Face({0, 1, 99}));
  odd.faces.Append(Face({-1, 1, 2, 3}));  // (i0, i2, i3) skipped, (i0, i1, i2) too
  EXPECT_EQ(hit(odd, 0.1f, -0.1f), -1);
  odd.faces.Append(Face({0, 1, 2}));
  EXPECT_EQ(hit(odd, 0.1f, -0.1f), 4);
  // A quad with one bad corner still has its other triangle: (i0, i1, i2)
  // is whole when only i3 is out of range.
  CModel half;
  half.vertices = odd.vertices;
  half.faces.Append(Face({0, 1, 2, 1000}));
  EXPECT_EQ(hit(half, 0.5f, -0.5f), 0);
  EXPECT_EQ(hit(half, -0.5f, 0.5f), -1);

  // The nearest face of a model wins; the distance is its depth.
  CModel layers;
  layers.vertices = {{-1, -1, 0},    {1, -1, 0},    {0, 1, 0},
                     {-1, -1, 0.5f}, {1, -1, 0.5f}, {0, 1, 0.5f}};
  layers.faces.Append(Face({0, 1, 2}));
  layers.faces.Append(Face({3, 4, 5}));
  float d = 0;
  EXPECT_EQ(hit(layers, 0, 0, &d), 1);
  EXPECT_FLOAT_EQ(d, 0.5f);

  // A hidden model and a singular world-view report nothing and leave the
  // distance alone.
  layers.visible = false;
  EXPECT_EQ(hit(layers, 0, 0, &d), -1);
  EXPECT_EQ(d, -5.0f);
  layers.visible = true;
  d = -5.0f;
  EXPECT_EQ(HitTestScreenPoint(layers, 320, 240, vp, MatrixScaling(1, 0, 1), proj, d), -1);
  EXPECT_EQ(d, -5.0f);
}

TEST_F(PickingTest, GroundProbeWithNothingWalkableReports10200) {
  // Only the camera timeline.
  EXPECT_TRUE(ProbeAt(0, 0));
  EXPECT_EQ(probeDistance, 10200.0f);
  // Model 0's ground is never walked on.
  scene().models[0] = Ground(1000);
  EXPECT_TRUE(ProbeAt(0, 0));
  EXPECT_EQ(probeDistance, 10200.0f);
  // Hidden at the step, or without a walkable material: not a candidate.
  const int hidden = Add(u"ground", Ground(1000), Vec3{}, EntryState::kHidden);
  CModel plain = Ground(1000);
  plain.collisionMaterial = -1;
  Add(u"plain", plain, Vec3{});
  EXPECT_TRUE(ProbeAt(0, 0));
  EXPECT_EQ(probeDistance, 10200.0f);
  // A step with no entry hides it too; so does a negative step.
  Entry(hidden).state = EntryState::kShown;
  scene().currentStep = 1;
  EXPECT_TRUE(ProbeAt(0, 0));
  EXPECT_EQ(probeDistance, 10200.0f);
  scene().currentStep = -1;
  EXPECT_TRUE(ProbeAt(0, 0));
  EXPECT_EQ(probeDistance, 10200.0f);
  scene().currentStep = 0;
  EXPECT_TRUE(ProbeAt(0, 0));
  EXPECT_EQ(probeDistance, 5000.0f);
}

TEST_F(PickingTest, GroundProbeTakesTheFirstWalkableObjectUnderThePoint) {
  const int low = Add(u"low", Ground(100), Vec3{0, 0, 0});
  const int high = Add(u"high", Ground(1000), Vec3{0, 300, 0});
  // Both under the point: the lower timeline index decides, though the other
  // ground is nearer to the ray's start.
  EXPECT_TRUE(ProbeAt(0, 0));
  EXPECT_EQ(probeDistance, 5000.0f);
  // Off the first one: the second answers.
  EXPECT_TRUE(ProbeAt(500, 0));
  EXPECT_EQ(probeDistance, 4700.0f);
  // Walkable objects shown, none under the point: no ground.
  EXPECT_FALSE(ProbeAt(5000, 0));
  // Only faces on the walkable material count.
  scene().models[high].faces.material[0] = 3;
  EXPECT_FALSE(ProbeAt(500, 0));
  // The distance is in world units along the ray, whatever the entry scale
  // and rotation; a rotated, scaled ground still lies under the point.
  CModel& g = scene().models[low];
  g.vertices = {{-10, 25, -10}, {10, 25, -10}, {10, 25, 10}, {-10, 25, 10}};
  Entry(low).motion.scale = Vec3{4, 4, 4};
  Entry(low).motion.rotation = Vec3{0, 45, 0};
  Entry(low).motion.position = Vec3{0, -100, 0};
  EXPECT_TRUE(ProbeAt(0, 0));
  EXPECT_NEAR(probeDistance, 5000.0f, 1e-3f);  // 25 * 4 - 100 = 0
  EXPECT_FALSE(ProbeAt(100, 0));
  // A world matrix that cannot be inverted gives no hit.
  Entry(low).motion.scale = Vec3{0, 0, 0};
  EXPECT_FALSE(ProbeAt(0, 0));
}

TEST_F(PickingTest, ViewCentreBandUsesIntegerThirdsAndFifths) {
  CCoreMotion3D& s = scene();
  s.render.viewport = gfx::Viewport{0, 0, 100, 100};
  s.render.projectionMatrix = Matrix4::Identity();
  // With identity matrices an origin at (x, y) lands on pixel
  // (50 + trunc(50 x), 50 - trunc(50 y)); the half pixels keep the
  // truncation clear of rounding.
  const int obj = Add(u"object", CModel{}, Vec3{});
  auto place = [&](float tx, float ty) {
    Entry(obj).motion.position = Vec3{tx / 50.0f, ty / 50.0f, 0};
  };
  place(0.5f, 0.5f);
  EXPECT_EQ(ProjectOrigin(s, obj).x, 50);
  EXPECT_EQ(ProjectOrigin(s, obj).y, 50);
  EXPECT_TRUE(IsNearViewCentre(s, obj));

  const struct {
    float tx, ty;
    int px, py;
    bool inside;
  } cases[] = {
      {-16.5f, 0.5f, 34, 50, true},  {-17.5f, 0.5f, 33, 50, false},   // left = 100 / 3
      {15.5f, 0.5f, 65, 50, true},   {16.5f, 0.5f, 66, 50, false},    // right = 200 / 3
      {0.5f, 29.5f, 50, 21, true},   {0.5f, 30.5f, 50, 20, false},    // top = 100 / 5
      {0.5f, -65.5f, 50, 115, true}, {0.5f, -66.5f, 50, 116, false},  // bottom = 700 / 6
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.tx << ", " << c.ty);
    place(c.tx, c.ty);
    const ScreenPoint p = ProjectOrigin(s, obj);
    EXPECT_EQ(p.x, c.px);
    EXPECT_EQ(p.y, c.py);
    EXPECT_EQ(IsNearViewCentre(s, obj), c.inside);
  }

  // W = 101: right = 202 / 3 = 67, not 2 * (101 / 3) = 66 and not 67.33.
  s.render.viewport.width = 101;
  place(16.5f, 0.5f);
  EXPECT_EQ(ProjectOrigin(s, obj).x, 66);
  EXPECT_TRUE(IsNearViewCentre(s, obj));
  place(17.5f, 0.5f);
  EXPECT_FALSE(IsNearViewCentre(s, obj));

  // Hidden, out of range, or an origin that projects nowhere (w = 0).
  place(0.5f, 0.5f);
  EXPECT_TRUE(IsNearViewCentre(s, obj));
  s.models[obj].visible = false;
  EXPECT_FALSE(IsNearViewCentre(s, obj));
  s.models[obj].visible = true;
  EXPECT_FALSE(IsNearViewCentre(s, -1));
  EXPECT_FALSE(IsNearViewCentre(s, obj + 1));
  SceneState.timeLines.pop_back();
  EXPECT_FALSE(IsNearViewCentre(s, obj));
  s.render.projectionMatrix.m[3][3] = 0.0f;
  EXPECT_FALSE(IsNearViewCentre(s, 0));
}

TEST_F(PickingTest, ProjectOriginUsesViewThenProjectionAndTheEntryOfTheStep) {
  CCoreMotion3D& s = scene();
  const Matrix4& proj = s.render.projectionMatrix;
  const int obj = Add(u"object", CModel{}, Vec3{10, 20, -100});
  SceneState.timeLines[obj].entries.push_back(SceneState.timeLines[obj].entries[0]);
  SceneState.timeLines[obj].entries[1].motion.position = Vec3{0, 0, -100};
  s.render.viewMatrix = MatrixTranslation(-10, -20, 0);
  // Centred after the view's translation.
  EXPECT_EQ(ProjectOrigin(s, obj).x, 320);
  EXPECT_EQ(ProjectOrigin(s, obj).y, 240);
  s.currentStep = 1;
  const ScreenPoint p = ProjectOrigin(s, obj);
  EXPECT_EQ(p.x, 320 + static_cast<int>(-10.0f / 100.0f * proj.m[0][0] * 320.0f));
  EXPECT_EQ(p.y, 240 - static_cast<int>(-20.0f / 100.0f * proj.m[1][1] * 240.0f));
  EXPECT_GT(p.y, 240);
  EXPECT_LT(p.x, 320);
}

}  // namespace
}  // namespace tolvani
