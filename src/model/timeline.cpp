// Timeline records: storage, entry accessors and the camera
// interpolation between step poses. EntryWorldMatrix lives with the renderer.
#include "model/timeline.h"

#include <algorithm>
#include <climits>

#include "model/archive.h"

namespace tolvani {

namespace {

// animationName, state, text, jumpEnabled, jumpTarget, soundName, soundLoops,
// motion: three empty strings, three int32, a bool and nine float32.
constexpr size_t kMinEntryBytes = 3 * 1 + 3 * 4 + 1 + 9 * 4;

const CTimeLineData* EntryAt(const PackedVector<CTimeLineData>& entries, int32_t i) {
  if (i < 0 || static_cast<size_t>(i) >= entries.size()) return nullptr;
  return &entries[static_cast<size_t>(i)];
}

// Applies f to the matching components of position, rotation and scale.
template <typename F>
void ForEachComponent(CMotion& out, const CMotion* const* in, F f) {
  Vec3 CMotion::*const vectors[3] = {&CMotion::position, &CMotion::rotation, &CMotion::scale};
  float Vec3::*const comps[3] = {&Vec3::x, &Vec3::y, &Vec3::z};
  for (auto vec : vectors) {
    for (auto comp : comps) {
      float values[4];
      for (int k = 0; k < 4; ++k) values[k] = in[k] ? (in[k]->*vec).*comp : 0.0f;
      (out.*vec).*comp = f(values);
    }
  }
}

}  // namespace

float CatmullRom(float p0, float p1, float p2, float p3, float t) {
  const float m1 = 0.5f * (p2 - p0);
  const float m2 = 0.5f * (p3 - p1);
  const float t2 = t * t;
  const float t3 = t2 * t;
  const float h00 = 2.0f * t3 - 3.0f * t2 + 1.0f;
  const float h10 = t3 - 2.0f * t2 + t;
  const float h01 = -2.0f * t3 + 3.0f * t2;
  const float h11 = t3 - t2;
  return h00 * p1 + h10 * m1 + h01 * p2 + h11 * m2;
}

void CTimeLineData::Serialize(CArchive& ar) {
  if (ar.IsLoading()) {
    animationName = ar.ReadString();
    state = EntryState{ar.ReadInt32()};
    text = ar.ReadString();
    jumpEnabled = ar.ReadInt32();
    jumpTarget = ar.ReadInt32();
    soundName = ar.ReadString();
    soundLoops = ar.ReadBool();
  } else {
    ar.WriteString(animationName);
    ar.WriteInt32(StoredValue(state));
    ar.WriteString(text);
    ar.WriteInt32(jumpEnabled);
    ar.WriteInt32(jumpTarget);
    ar.WriteString(soundName);
    ar.WriteBool(soundLoops);
  }
  motion.Serialize(ar);
}

void CTimeLine::Serialize(CArchive& ar) {
  if (ar.IsLoading()) {
    name = ar.ReadString();
    auxFlag = ar.ReadBool();
    const int32_t n = ar.ReadCount(kMinEntryBytes);
    entries.resize(static_cast<size_t>(n));
    for (CTimeLineData& entry : entries) entry.Serialize(ar);
  } else {
    ar.WriteString(name.str());
    ar.WriteBool(auxFlag);
    ar.WriteInt32(static_cast<int32_t>(entries.size()));
    for (CTimeLineData& entry : entries) entry.Serialize(ar);
  }
}

CMotion CTimeLine::EntryMotion(int32_t i) const {
  const CTimeLineData* e = EntryAt(entries, i);
  return e ? e->motion : CMotion();
}

std::u16string CTimeLine::EntryText(int32_t i) const {
  const CTimeLineData* e = EntryAt(entries, i);
  return e ? e->text : std::u16string();
}

std::u16string CTimeLine::EntryAnimationName(int32_t i) const {
  const CTimeLineData* e = EntryAt(entries, i);
  return e ? e->animationName : std::u16string();
}

int32_t CTimeLine::EntryJumpEnabled(int32_t i) const {
  const CTimeLineData* e = EntryAt(entries, i);
  return e ? e->jumpEnabled : 0;
}

int32_t CTimeLine::EntryJumpTarget(int32_t i) const {
  const CTimeLineData* e = EntryAt(entries, i);
  return e ? e->jumpTarget : 0;
}

std::u16string CTimeLine::EntrySoundName(int32_t i) const {
  const CTimeLineData* e = EntryAt(entries, i);
  return e ? e->soundName : std::u16string();
}

bool CTimeLine::EntrySoundLoops(int32_t i) const {
  const CTimeLineData* e = EntryAt(entries, i);
  return e ? e->soundLoops : false;
}

EntryState CTimeLine::StateAt(int32_t i) const {
  const CTimeLineData* e = EntryAt(entries, i);
  return e ? e->state : EntryState::kHidden;
}

void CTimeLine::SplineCamera(int32_t a, int32_t b, float t, CMotion& out) const {
  const int32_t n = static_cast<int32_t>(std::min<size_t>(entries.size(), INT32_MAX));
  if (a < 0 || a >= n || b < 0 || b >= n) return;
  const int32_t i0 = a > 0 ? a - 1 : 0;
  const int32_t i3 = b < n - 1 ? b + 1 : b;
  const CMotion* in[4] = {&entries[i0].motion, &entries[a].motion, &entries[b].motion,
                          &entries[i3].motion};
  ForEachComponent(out, in, [t](const float* p) { return CatmullRom(p[0], p[1], p[2], p[3], t); });
}

void CTimeLine::LerpCamera(int32_t a, int32_t b, float t, CMotion& out) const {
  const int32_t n = static_cast<int32_t>(std::min<size_t>(entries.size(), INT32_MAX));
  if (a < 0 || a >= n || b < 0 || b >= n) return;
  const CMotion* in[4] = {&entries[a].motion, &entries[b].motion, nullptr, nullptr};
  ForEachComponent(out, in, [t](const float* p) { return (p[1] - p[0]) * t + p[0]; });
}

std::u16string AsciiLower(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
  }
  return out;
}

}  // namespace tolvani
