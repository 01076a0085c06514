// The walk example keeps its walker on the walkable ground, with drawn
// ground ahead on every side: from every step, each arrow key held for 20 s
// of ticks. Checked against the project's own triangles, not the probe.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "model/scene_state.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

struct Triangle {
  Vec3 a, b, c;
};

// The ground of a project at one step: walkable triangles and drawn ones.
struct Ground {
  std::vector<Triangle> walkable, drawn;
};

// Height of the triangle list's surface under (x, z), if any covers it.
std::optional<float> HeightAt(const std::vector<Triangle>& list, float x, float z) {
  for (const Triangle& t : list) {
    const float d = (t.b.z - t.c.z) * (t.a.x - t.c.x) + (t.c.x - t.b.x) * (t.a.z - t.c.z);
    if (d == 0) continue;
    const float l1 = ((t.b.z - t.c.z) * (x - t.c.x) + (t.c.x - t.b.x) * (z - t.c.z)) / d;
    const float l2 = ((t.c.z - t.a.z) * (x - t.c.x) + (t.a.x - t.c.x) * (z - t.c.z)) / d;
    const float l3 = 1 - l1 - l2;
    constexpr float e = -1e-4f;
    if (l1 >= e && l2 >= e && l3 >= e) return l1 * t.a.y + l2 * t.b.y + l3 * t.c.y;
  }
  return std::nullopt;
}

struct Project {
  Ground ground;
  std::vector<CMotion> cameras;  // timeline 0's pose per step
  std::vector<Vec3> balloons;    // the balloon's place per step
  float fieldOfView = 0;
};

Project Load(const std::string& path) {
  Project p;
  EXPECT_TRUE(testing::WithOpenedProject(path, [&] {
    if (SceneState.timeLines.empty()) return;
    const CCoreMotion3D& scene = *SceneState.sceneRoot;
    p.fieldOfView = scene.fieldOfView;
    for (size_t i = 1; i < scene.models.size() && i < SceneState.timeLines.size(); ++i) {
      const CModel& m = scene.models[i];
      if (m.collisionMaterial < 0) continue;
      const Matrix4 world = SceneState.timeLines[i].EntryWorldMatrix(0);
      for (size_t f = 0; f < m.faces.size(); ++f) {
        const auto corner = m.faces.Indices(f);
        if (corner.size() != 3) continue;
        Triangle t;
        Vec3* corners[3] = {&t.a, &t.b, &t.c};
        for (size_t k = 0; k < 3; ++k)
          *corners[k] = Vec3TransformCoord(m.vertices[static_cast<size_t>(corner[k])], world);
        const bool walkable = m.faces.material[f] == m.collisionMaterial;
        (walkable ? p.ground.walkable : p.ground.drawn).push_back(t);
      }
    }
    for (const CTimeLineData& e : SceneState.timeLines[0].entries) p.cameras.push_back(e.motion);
    for (const CTimeLine& t : SceneState.timeLines)
      if (t.IsBalloon())
        for (const CTimeLineData& e : t.entries) p.balloons.push_back(e.motion.position);
  })) << path;
  return p;
}

std::string RunCommand(const std::string& command) {
  int status = -1;
  std::string out = testing::RunCommand(command, &status);
  EXPECT_EQ(status, 0) << command;
  return out;
}

// The client point of a world point seen with the camera pose, at 640 x 480.
std::pair<int, int> Project640(const Project& p, const CMotion& camera, Vec3 point) {
  const Matrix4 proj = MatrixPerspectiveFovRH(DegToRad(p.fieldOfView), 640.0f / 480.0f, 1, 50000);
  const Vec4 clip = Vec4Transform({point.x, point.y, point.z, 1},
                                  MatrixMultiply(camera.ComputeViewMatrix(), proj));
  return {static_cast<int>((clip.x / clip.w + 1) * 320),
          static_cast<int>((1 - clip.y / clip.w) * 240)};
}

TEST(WalkGround, EachArrowHeldFromEveryStepStaysOnTheGroundWithGroundAhead) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::string path = std::string(TOLVANI_CLI).substr(0, std::string(TOLVANI_CLI).rfind('/'));
  const std::string file = path + "/examples/walk.zvmov";
  const Project p = Load(file);
  ASSERT_FALSE(p.ground.walkable.empty());
  ASSERT_FALSE(p.ground.drawn.empty());
  ASSERT_EQ(p.balloons.size(), p.cameras.size());
  const std::string dir = testing::MakeTempDir();
  constexpr int kTicks = 667;  // 20 s of 30 ms ticks
  constexpr float kGroundAhead = 800.0f;
  for (size_t step = 0; step < p.cameras.size(); ++step) {
    for (const char* key : {"Up", "Down", "Left", "Right"}) {
      // Reach the step by clicking each balloon, seen from its step's pose.
      std::string script = "size 640 480\n";
      for (size_t k = 0; k < step; ++k) {
        const auto [x, y] = Project640(p, p.cameras[k], p.balloons[k]);
        script += "tick\nclick " + std::to_string(x) + " " + std::to_string(y) + "\n";
      }
      script += std::string("tick\nkeydown ") + key + "\n";
      for (int t = 0; t < kTicks; t += 23) script += "tick 23\nstate\n";
      std::ofstream(dir + "walk.txt") << script;
      const std::string out =
          RunCommand("'" TOLVANI_CLI "' simulate '" + file + "' '" + dir + "walk.txt'");
      int states = 0;
      for (size_t at = 0; (at = out.find("\"event\":\"state\"", at)) != std::string::npos; ++at) {
        const size_t end = out.find('\n', at);
        const std::string line = out.substr(at, end - at);
        ++states;
        ASSERT_NE(line.find("\"currentStep\":" + std::to_string(step) + ","), std::string::npos)
            << "step " << step << ": " << line.substr(0, 80);
        const size_t pos = line.find("\"position\":[");
        float eye[3];
        ASSERT_EQ(
            std::sscanf(line.c_str() + pos, "\"position\":[%f,%f,%f", &eye[0], &eye[1], &eye[2]),
            3);
        // The camera's position is the negated eye point.
        const float x = -eye[0], y = -eye[1], z = -eye[2];
        const std::optional<float> h = HeightAt(p.ground.walkable, x, z);
        ASSERT_TRUE(h.has_value()) << "off the walkable ground at step " << step << " holding "
                                   << key << ": " << x << ", " << z;
        EXPECT_NEAR(y, *h + 200.0f, 1.0f) << "step " << step << " " << key;
        for (const auto& [dx, dz] : {std::pair{1.f, 0.f}, {-1.f, 0.f}, {0.f, 1.f}, {0.f, -1.f}})
          ASSERT_TRUE(HeightAt(p.ground.drawn, x + dx * kGroundAhead, z + dz * kGroundAhead))
              << "the world ends within sight at step " << step << " holding " << key << ": " << x
              << ", " << z;
      }
      EXPECT_EQ(states, (kTicks + 22) / 23);
    }
  }
}

}  // namespace
}  // namespace tolvani
