// The crease test against its definition, the smoothing budget, and a
// crafted file whose models share one budget.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "document/document.h"
#include "model/scene_state.h"
#include "prepare/crease_test.h"
#include "prepare/mesh_preparation.h"
#include "render/null_device.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

bool Bits(const Vec3& a, const Vec3& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

Vec3 Unit(Vec3 v) {
  const float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / l, v.y / l, v.z / l};
}

// The floats from `from`, `count` steps upwards.
std::vector<float> FloatsFrom(float from, int count) {
  std::vector<float> out;
  for (int i = 0; i < count; ++i, from = std::nextafter(from, INFINITY)) out.push_back(from);
  return out;
}

// Every float around the cut-off, both ends of [-1, 1] and beyond them, and
// random dots, decided as the definition decides them.
TEST(CreaseTest, DecidesEveryDotAsTheArcCosineDoes) {
  const float degrees[] = {1e-6f,    1e-3f,  1.0f,   30.0f, 90.0f, 135.0f, 179.99f,
                           179.999f, 180.0f, 360.0f, 0.0f,  -5.0f, NAN};
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> any(-1.01f, 1.01f);
  for (float angle : degrees) {
    const float threshold = static_cast<float>(static_cast<double>(angle) * 0.017453292519943295);
    const CreaseTest crease(threshold);
    std::vector<float> dots = {NAN, INFINITY, -INFINITY, -0.0f, 0.0f};
    for (float from : {std::nextafter(crease.SureFrom(), -2.0f) - 2e-4f, -1.0001f, 0.9999f}) {
      if (std::isfinite(from)) {
        const auto near = FloatsFrom(from, 4000);
        dots.insert(dots.end(), near.begin(), near.end());
      }
    }
    for (int i = 0; i < 20000; ++i) dots.push_back(any(rng));
    for (float dot : dots) {
      const bool merges = threshold > static_cast<float>(std::acos(static_cast<double>(dot)));
      ASSERT_EQ(crease.Merges(dot), merges) << angle << " degrees, dot " << dot;
    }
  }
}

// Lists of the given lengths as a model's vertexFaceStart.
std::vector<uint32_t> Rows(const std::vector<uint32_t>& lengths) {
  std::vector<uint32_t> rows = {0};
  for (uint32_t n : lengths) rows.push_back(rows.back() + n);
  return rows;
}

TEST(SmoothingBudget, FlatVerticesLongestFirstUntilTheRestFits) {
  struct Case {
    uint64_t budget;
    std::vector<uint32_t> lengths;
    std::vector<uint8_t> flat;  // empty: none
    uint64_t left;
  };
  const Case cases[] = {
      {100, {3, 4, 5}, {}, 50},              // 9 + 16 + 25 fits
      {50, {3, 4, 5}, {}, 0},                // exactly
      {49, {3, 4, 5}, {0, 0, 1}, 24},        // the longest goes
      {60, {5, 3, 5, 4}, {1, 0, 0, 0}, 10},  // ties in vertex order
      {20, {5, 3, 5, 4}, {1, 0, 1, 1}, 11},  // then the next longest
      {0, {2, 0, 1}, {1, 0, 1}, 0},          // nothing fits: every listed vertex
      {7, {}, {}, 7},
  };
  for (const Case& c : cases) {
    SmoothingBudget budget(c.budget);
    EXPECT_EQ(budget.TakeFlatVertices(Rows(c.lengths)), c.flat) << c.budget;
    EXPECT_EQ(budget.Left(), c.left) << c.budget;
  }
}

// A crafted file: four models of 18,918 copies of one triangle at a
// smoothing angle of 1e-6 degrees. Each model alone needs 3 * 18,918^2
// merge steps, just within the budget; the file needs four times that. The
// first model is smoothed, the later ones find the budget spent and are
// shaded flat.
class SharedBudgetFile : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureSceneRoot();
    SceneState.sceneRoot->render.device = &device;
    if (!SceneState.audio) SceneState.audio = new CAudio(std::make_unique<NullSoundBackend>());
  }
  void TearDown() override {
    SceneState.sceneRoot->ResetScene();
    SceneState.sceneRoot->render.device = nullptr;
  }

  NullGraphicsDevice device;
};

TEST_F(SharedBudgetFile, LaterModelsAreShadedFlatOnceTheFileSpentItsBudget) {
  constexpr int kModels = 4;
  constexpr uint64_t kCopies = 18918;
  const uint64_t work = 3 * kCopies * kCopies;
  ASSERT_LE(work, kSmoothingSteps);
  ASSERT_GT(2 * work, kSmoothingSteps);
  testing::ProjectBuilder b;
  b.AddMaterial(u"m");
  for (int i = 0; i < kModels; ++i) {
    CModel& m = b.AddModel(u"copies" + testing::U16(std::to_string(i)));
    m.smoothingAngle = 1e-6f;
    m.vertices.assign({{0, 0, 0}, {1, 0, 0}, {0, 5, 1}});
    CFace face;
    face.indices = {0, 1, 2};
    for (uint64_t f = 0; f < kCopies; ++f) m.faces.Append(face);
  }
  const std::string dir = testing::MakeTempDir();
  const std::string path = dir + "copies.zvmov";
  b.WriteFile(path);
  CPlayerDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(testing::U16(path)));
  const auto& models = SceneState.sceneRoot->models;
  ASSERT_EQ(models.size(), static_cast<size_t>(kModels));

  // This triangle's normal has a dot product of exactly 1 with itself, so
  // even at 1e-6 degrees its copies merge, and their normalised sum differs
  // from the normal in its last bits.
  const Vec3 n = models[0].faces.normal[0];
  ASSERT_EQ((n.x * n.x + n.y * n.y) + n.z * n.z, 1.0f);
  Vec3 sum{0, 0, 0};
  for (uint64_t f = 0; f < kCopies; ++f) sum = {sum.x + n.x, sum.y + n.y, sum.z + n.z};
  const Vec3 smooth = Unit(sum), flat = Unit(n);
  ASSERT_FALSE(Bits(smooth, flat));
  for (int i = 0; i < kModels; ++i) {
    const FaceTable& faces = models[static_cast<size_t>(i)].faces;
    ASSERT_EQ(faces.cornerNormal.size(), 3 * kCopies);
    // uint64_t throughout: size_t is 32 bits wide in the WebAssembly build.
    for (uint64_t corner :
         {uint64_t{0}, uint64_t{1}, uint64_t{2}, uint64_t{30000}, 3 * kCopies - 1})
      EXPECT_TRUE(Bits(faces.cornerNormal[static_cast<size_t>(corner)], i == 0 ? smooth : flat))
          << "model " << i << ", corner " << corner;
  }
  std::remove(path.c_str());
  std::remove(dir.c_str());
}

}  // namespace
}  // namespace tolvani
