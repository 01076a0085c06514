// The crease test against its definition, and the smoothing budget.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "prepare/crease_test.h"
#include "prepare/smoothing_budget.h"

namespace tolvani {
namespace {

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

}  // namespace
}  // namespace tolvani
