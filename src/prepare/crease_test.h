// The crease test of corner smoothing: two faces of a vertex merge when the
// angle between their unit normals is below the model's smoothing angle,
// exactly as "threshold > (float)acos((double)dot)" decides it for the
// float32 dot product of the normals (NaN, and dots above 1, never merge).
#pragma once

#include <cstdint>

namespace tolvani {

// The arc cosine falls as the dot rises, so the dots that merge form a
// range [cut-off, 1]. The cut-off is found once by bisection over the float
// values in [-1, 1], and the arc cosine of the few floats around it is
// taken once, so that the result stays exact even where a library's arc
// cosine is not perfectly monotonic. Testing a dot then costs comparisons.
class CreaseTest {
 public:
  // threshold: the smoothing angle in radians (float).
  explicit CreaseTest(float threshold);

  // Dots in [SureFrom(), 1] merge and dots below ExactFrom() do not; only
  // dots in [ExactFrom(), SureFrom()) need Merges. The two are equal (no
  // such dot) unless the arc cosine is not monotonic around the cut-off.
  float SureFrom() const { return sureFrom_; }
  float ExactFrom() const { return exactFrom_; }

  bool Merges(float dot) const {
    if (!(dot <= 1.0f)) return false;
    if (dot >= sureFrom_) return true;
    if (dot < exactFrom_) return false;
    return NearMerges(dot);
  }

 private:
  bool NearMerges(float dot) const;

  float exactFrom_;  // below: never merges
  float sureFrom_;   // at or above (and <= 1): always merges
  // Around the cut-off when the arc cosine is not monotonic there: whether
  // the float whose order key is firstNearKey_ + i merges, as bit i.
  int64_t firstNearKey_ = 0;
  uint64_t nearMerges_ = 0;
};

}  // namespace tolvani
