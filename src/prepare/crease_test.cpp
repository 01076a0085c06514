#include "prepare/crease_test.h"

#include <cmath>
#include <cstring>

namespace tolvani {

namespace {

// Orders the floats of [-1, 1] as integers (-0 and +0 both map to 0).
int64_t FloatKey(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  if (bits & 0x80000000u) return -static_cast<int64_t>(bits & 0x7FFFFFFFu);
  return static_cast<int64_t>(bits);
}

float KeyFloat(int64_t key) {
  uint32_t bits =
      key >= 0 ? static_cast<uint32_t>(key) : (static_cast<uint32_t>(-key) | 0x80000000u);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// Floats on either side of the bisected cut-off whose arc cosine is taken
// (the cut-off and kMargin - 1 above it, kMargin below).
constexpr int64_t kMargin = 16;
static_assert(2 * kMargin <= 64, "the near floats fit one 64-bit mask");

}  // namespace

CreaseTest::CreaseTest(float threshold) {
  auto merges = [threshold](int64_t key) {
    return threshold > static_cast<float>(std::acos(static_cast<double>(KeyFloat(key))));
  };
  const int64_t lo = FloatKey(-1.0f), hi = FloatKey(1.0f);
  if (!merges(hi)) {  // nothing merges (threshold <= 0 or NaN)
    sureFrom_ = exactFrom_ = INFINITY;
    return;
  }
  int64_t cut = lo;
  if (!merges(lo)) {
    int64_t a = lo, b = hi;  // merges(a) false, merges(b) true
    while (b - a > 1) {
      const int64_t m = a + (b - a) / 2;
      (merges(m) ? b : a) = m;
    }
    cut = b;
  }
  // The floats near the cut-off, each decided by its own arc cosine; below
  // them nothing merges (dots under -1 have none), above them all do.
  const int64_t first = cut - kMargin < lo ? lo : cut - kMargin;
  const int64_t last = cut + kMargin - 1 > hi ? hi : cut + kMargin - 1;
  uint64_t bits = 0;
  for (int64_t key = first; key <= last; ++key)
    if (merges(key)) bits |= uint64_t{1} << (key - first);
  // Monotonic there (the usual case): one cut-off decides every dot.
  const uint64_t count = static_cast<uint64_t>(last - first + 1);
  const uint64_t all = count == 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1;
  int64_t step = 0;
  while (!(bits >> step & 1)) ++step;  // bit cut - first is set
  if (bits == (all & (all << step))) {
    exactFrom_ = sureFrom_ = KeyFloat(first + step);
    return;
  }
  exactFrom_ = KeyFloat(first);
  sureFrom_ = last == hi ? INFINITY : KeyFloat(last + 1);
  firstNearKey_ = first;
  nearMerges_ = bits;
}

bool CreaseTest::NearMerges(float dot) const {
  return nearMerges_ >> (FloatKey(dot) - firstNearKey_) & 1;
}

}  // namespace tolvani
