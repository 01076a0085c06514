#include "prepare/smoothing_budget.h"

#include <algorithm>

namespace tolvani {

std::vector<uint8_t> SmoothingBudget::TakeFlatVertices(const std::vector<uint32_t>& rowStart) {
  const size_t vertexCount = rowStart.empty() ? 0 : rowStart.size() - 1;
  auto length = [&rowStart](size_t v) -> uint64_t { return rowStart[v + 1] - rowStart[v]; };
  // Exact in 64 bits: the lengths sum to at most 2^32 - 1, so their squares
  // sum to less than 2^64.
  uint64_t work = 0;
  for (size_t v = 0; v < vertexCount; ++v) work += length(v) * length(v);
  if (work <= left_) {
    left_ -= work;
    return {};
  }
  std::vector<uint8_t> flat(vertexCount, 0);
  if (left_ == 0) {  // nothing fits: every listed vertex
    for (size_t v = 0; v < vertexCount; ++v) flat[v] = length(v) > 0;
    return flat;
  }
  std::vector<uint32_t> order(vertexCount);
  for (size_t v = 0; v < vertexCount; ++v) order[v] = static_cast<uint32_t>(v);
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return length(a) > length(b); });
  for (uint32_t v : order) {
    if (work <= left_) break;
    work -= length(v) * length(v);
    flat[v] = 1;
  }
  left_ -= work;
  return flat;
}

}  // namespace tolvani
