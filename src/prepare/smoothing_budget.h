// The work bound of corner smoothing. Merging visits, for every corner,
// every face listed under its vertex, so a model's merging costs the sum
// over its vertices of (list length)^2 steps. Real meshes stay far below the
// budget (a 1,000,000-triangle grid needs about 4e7 steps); a crafted file
// that shares a few vertices between huge numbers of faces, in one model or
// spread over many, would not finish. Vertices that do not fit are shaded
// flat: each of their corners keeps its own face's normal.
#pragma once

#include <cstdint>
#include <vector>

namespace tolvani {

// Merge steps one file's models may take together.
inline constexpr uint64_t kSmoothingSteps = uint64_t{1} << 30;

// What is left of one file's merging budget, taken by its models in the
// order they are prepared.
class SmoothingBudget {
 public:
  explicit SmoothingBudget(uint64_t steps = kSmoothingSteps) : left_(steps) {}

  uint64_t Left() const { return left_; }

  // For a model's per-vertex face lists (rowStart: its vertexFaceStart, one
  // offset per vertex and one past the end): the vertices to shade flat so
  // that the merging of the others fits in what is left, longest lists
  // first (ties in vertex order), as one flag per vertex, or empty when
  // none need be. The merging's steps are taken from the budget.
  std::vector<uint8_t> TakeFlatVertices(const std::vector<uint32_t>& rowStart);

 private:
  uint64_t left_;
};

}  // namespace tolvani
