// CTimeLine (one object along the story) and CTimeLineData (one step).
//
// CTimeLine stored order: name; auxFlag (bool); count + entries.
// CTimeLineData stored order: animationName; state; text; jumpEnabled;
// jumpTarget; soundName; soundLoops (bool); motion.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/motion.h"
#include "model/packed_vector.h"
#include "model/story_rules.h"

namespace tolvani {

class CArchive;

struct CTimeLineData {
  std::u16string text;           // balloon text; "http..." is a web link
  std::u16string animationName;  // exact match against the model's names
  EntryState state = EntryState::kHidden;
  CMotion motion;
  int32_t jumpEnabled = 0;
  int32_t jumpTarget = 0;
  std::u16string soundName;
  bool soundLoops = false;
  void Serialize(CArchive& ar);
};

class CTimeLine {
 public:
  // Packed: a project may hold millions of timelines without entries.
  PackedVector<CTimeLineData> entries;
  PackedString name;
  bool auxFlag = false;
  bool soundPlayed = false;  // run time: Explore mode spoke at this step

  void Serialize(CArchive& ar);

  bool HasEntry(int32_t i) const { return i >= 0 && static_cast<size_t>(i) < entries.size(); }
  // Entry accessors; an index outside the entries gives the fallback.
  Matrix4 EntryWorldMatrix(int32_t i) const;  // identity
  CMotion EntryMotion(int32_t i) const;       // default pose
  std::u16string EntryText(int32_t i) const;  // empty
  std::u16string EntryAnimationName(int32_t i) const;
  int32_t EntryJumpEnabled(int32_t i) const;  // 0
  int32_t EntryJumpTarget(int32_t i) const;   // 0
  std::u16string EntrySoundName(int32_t i) const;
  bool EntrySoundLoops(int32_t i) const;  // false
  // Entry state, or kHidden outside the entries.
  EntryState StateAt(int32_t i) const;
  // Whether the object takes part in step i.
  bool ShownAt(int32_t i) const { return StateAt(i) == EntryState::kShown; }

  bool IsBalloon() const { return IsBalloonName(name); }

  // Camera interpolation over this timeline's entries (timeline 0); write
  // position, rotation and scale of out; pivot untouched.
  void SplineCamera(int32_t a, int32_t b, float t, CMotion& out) const;
  void LerpCamera(int32_t a, int32_t b, float t, CMotion& out) const;
};

// Lower-cases A-Z only.
std::u16string AsciiLower(std::u16string_view s);

// Catmull-Rom value at t (tension zero) for control values p0..p3, all
// float32: the curve runs from p1 (t = 0) to p2 (t = 1).
float CatmullRom(float p0, float p1, float p2, float p3, float t);

}  // namespace tolvani
