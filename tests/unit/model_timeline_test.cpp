// Timelines: storage, entry accessors with their fallbacks, the
// camera spline and blend, and animation selection by name.
#include <gtest/gtest.h>

#include "model/archive.h"
#include "model/scene_state.h"
#include "model/timeline.h"
#include "playback/animation.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using Bytes = std::vector<uint8_t>;

CTimeLineData Entry(EntryState state, float px) {
  CTimeLineData e;
  e.state = state;
  e.motion.position = {px, 2 * px, 3 * px};
  e.motion.rotation = {0, 10 * px, 0};
  e.motion.scale = {1 + px, 1, 1};
  return e;
}

// A shown entry with every field set; its sound loops.
CTimeLineData FullEntry(float px, const std::u16string& text, const std::u16string& animation,
                        int32_t jumpEnabled, int32_t jumpTarget, const std::u16string& sound) {
  CTimeLineData e = Entry(EntryState::kShown, px);
  e.text = text;
  e.animationName = animation;
  e.jumpEnabled = jumpEnabled;
  e.jumpTarget = jumpTarget;
  e.soundName = sound;
  e.soundLoops = true;
  return e;
}

TEST(TimeLineRecords, RoundTripAndStoredOrder) {
  CTimeLine t;
  t.name = u"fukidashi01";
  t.auxFlag = true;
  const CTimeLineData e = FullEntry(1.5f, u"http://example.com", u"wave", 1, 4, u"bell");
  t.entries = {e, Entry(EntryState{7}, 0)};  // a state no rule names
  Bytes out;
  CArchive w(out);
  t.Serialize(w);

  // Entry order: animationName first, then state.
  CArchive peek(out.data(), out.size());
  EXPECT_EQ(peek.ReadString(), u"fukidashi01");
  EXPECT_TRUE(peek.ReadBool());
  EXPECT_EQ(peek.ReadInt32(), 2);
  EXPECT_EQ(peek.ReadString(), u"wave");
  EXPECT_EQ(peek.ReadInt32(), 2);
  EXPECT_EQ(peek.ReadString(), u"http://example.com");
  EXPECT_EQ(peek.ReadInt32(), 1);
  EXPECT_EQ(peek.ReadInt32(), 4);
  EXPECT_EQ(peek.ReadString(), u"bell");
  EXPECT_TRUE(peek.ReadBool());
  EXPECT_EQ(peek.ReadFloat(), 1.5f);

  CTimeLine r;
  r.entries.resize(5);  // surplus entries go
  r.soundPlayed = true;
  CArchive ar(out.data(), out.size());
  r.Serialize(ar);
  EXPECT_EQ(ar.Remaining(), 0u);
  EXPECT_EQ(r.name, t.name);
  EXPECT_TRUE(r.auxFlag);
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].text, e.text);
  EXPECT_EQ(r.entries[0].soundName, u"bell");
  EXPECT_TRUE(r.entries[0].soundLoops);
  EXPECT_EQ(r.entries[0].motion.scale, e.motion.scale);
  EXPECT_EQ(StoredValue(r.entries[1].state), 7);  // kept as read, and hides
  EXPECT_TRUE(r.ShownAt(0));
  EXPECT_FALSE(r.ShownAt(1));
  EXPECT_TRUE(r.soundPlayed);  // run-time only

  // Zero entries: name, flag, count 0.
  CTimeLine empty;
  empty.name = u"n";
  Bytes eb;
  CArchive we(eb);
  empty.Serialize(we);
  EXPECT_EQ(eb.size(), 6u + 1u + 4u);

  // A truncated entry list fails, counts are bounded.
  CTimeLine cut;
  CArchive ac(out.data(), out.size() - 1);
  EXPECT_THROW(cut.Serialize(ac), ArchiveError);
  Bytes huge;
  CArchive wh(huge);
  wh.WriteString(u"");
  wh.WriteBool(false);
  wh.WriteInt32(0x7FFFFFFF);
  CArchive ah(huge.data(), huge.size());
  EXPECT_THROW(cut.Serialize(ah), ArchiveError);
}

TEST(TimeLineRecords, AccessorsFallBackOutsideTheEntries) {
  CTimeLine t;
  CTimeLineData e = FullEntry(1, u"t", u"a", 3, 9, u"s");
  e.motion.pivot = {5, 5, 5};
  t.entries = {e};
  EXPECT_EQ(t.EntryText(0), u"t");
  EXPECT_EQ(t.EntryAnimationName(0), u"a");
  EXPECT_EQ(t.EntryJumpEnabled(0), 3);
  EXPECT_EQ(t.EntryJumpTarget(0), 9);
  EXPECT_EQ(t.EntrySoundName(0), u"s");
  EXPECT_TRUE(t.EntrySoundLoops(0));
  EXPECT_EQ(t.StateAt(0), EntryState::kShown);
  EXPECT_EQ(t.EntryMotion(0).pivot, (Vec3{5, 5, 5}));
  for (int32_t i : {-1, 1, INT32_MAX, INT32_MIN}) {
    EXPECT_FALSE(t.HasEntry(i));
    EXPECT_EQ(t.EntryText(i), u"");
    EXPECT_EQ(t.EntryAnimationName(i), u"");
    EXPECT_EQ(t.EntryJumpEnabled(i), 0);
    EXPECT_EQ(t.EntryJumpTarget(i), 0);
    EXPECT_EQ(t.EntrySoundName(i), u"");
    EXPECT_FALSE(t.EntrySoundLoops(i));
    EXPECT_EQ(t.StateAt(i), EntryState::kHidden);
    EXPECT_FALSE(t.ShownAt(i));
    const CMotion m = t.EntryMotion(i);
    EXPECT_EQ(m.position, (Vec3{0, 0, 0}));
    EXPECT_EQ(m.scale, (Vec3{1, 1, 1}));
  }
}

TEST(TimeLineRecords, AsciiLowerChangesOnlyAToZ) {
  EXPECT_EQ(AsciiLower(u"AbZ\u00C0\uFF21"), u"abz\u00C0\uFF21");
}

TEST(TimeLineCamera, SplinePassesThroughStepPoses) {
  CTimeLine t;
  for (int i = 0; i < 10; ++i)
    t.entries.push_back(Entry(EntryState::kShown, static_cast<float>(i * i)));
  CMotion out;
  out.pivot = {4, 4, 4};
  t.SplineCamera(2, 3, 0.0f, out);
  EXPECT_EQ(out.position, t.entries[2].motion.position);
  EXPECT_EQ(out.rotation, t.entries[2].motion.rotation);
  EXPECT_EQ(out.scale, t.entries[2].motion.scale);
  t.SplineCamera(2, 3, 1.0f, out);
  EXPECT_EQ(out.position, t.entries[3].motion.position);
  EXPECT_EQ(out.pivot, (Vec3{4, 4, 4}));  // never touched

  // Mid-way with hand-computed Catmull-Rom values (x = i^2 at entries 1..4).
  t.SplineCamera(2, 3, 0.5f, out);
  // m1 = 0.5 (9 - 1) = 4, m2 = 0.5 (16 - 4) = 6: 0.5*4 + 0.125*4 + 0.5*9 - 0.125*6
  EXPECT_FLOAT_EQ(out.position.x, 6.25f);

  // At the ends the neighbours repeat the end entries.
  t.SplineCamera(0, 1, 0.5f, out);
  EXPECT_EQ(out.position.x, CatmullRom(0, 0, 1, 4, 0.5f));
  t.SplineCamera(8, 9, 0.5f, out);
  EXPECT_EQ(out.position.x, CatmullRom(49, 64, 81, 81, 0.5f));
  // After a jump from 2 to 7 the neighbours are entries 1 and 8.
  t.SplineCamera(2, 7, 0.25f, out);
  EXPECT_EQ(out.position.x, CatmullRom(1, 4, 49, 64, 0.25f));
  EXPECT_EQ(out.position.y, CatmullRom(2, 8, 98, 128, 0.25f));
  EXPECT_EQ(out.scale.x, CatmullRom(2, 5, 50, 65, 0.25f));

  // Out of range: nothing changes.
  const CMotion before = out;
  for (auto [a, b] : {std::pair{-1, 0}, std::pair{0, 10}, std::pair{10, 0}, std::pair{0, -1}}) {
    t.SplineCamera(a, b, 0.5f, out);
    EXPECT_EQ(out.position, before.position);
    t.LerpCamera(a, b, 0.5f, out);
    EXPECT_EQ(out.position, before.position);
  }
  CTimeLine none;
  none.SplineCamera(0, 0, 0.0f, out);
  EXPECT_EQ(out.position, before.position);
}

TEST(TimeLineCamera, LerpIsNotClamped) {
  CTimeLine t;
  t.entries = {Entry(EntryState::kShown, 1), Entry(EntryState::kShown, 3)};
  CMotion out;
  t.LerpCamera(0, 1, 0.5f, out);
  EXPECT_EQ(out.position, (Vec3{2, 4, 6}));
  EXPECT_EQ(out.rotation.y, 20.0f);
  t.LerpCamera(0, 1, 2.0f, out);
  EXPECT_EQ(out.position.x, 5.0f);
  t.LerpCamera(1, 0, 0.25f, out);
  EXPECT_EQ(out.position.x, 2.5f);
}

class AnimationSelection : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSceneStateForTests();
    EnsureSceneRoot();
    CCoreMotion3D& root = *SceneState.sceneRoot;
    root.models.resize(3);
    root.models[0].animationNames = {u"idle", u"walk", u"walk"};
    root.models[1].animationNames = {u"", u"jump"};
    root.models[2].animationNames = {u"walk"};
    for (CModel& m : root.models) {
      m.animations.assign(m.animationNames.size(), testing::MakeAnimation(1, 5));
      m.currentAnimation = 0;
      m.animationFrame = 3;
    }
  }
  void TearDown() override { ResetSceneStateForTests(); }
};

TEST_F(AnimationSelection, ByNameTakesTheLastMatch) {
  CCoreMotion3D& root = *SceneState.sceneRoot;
  SelectAnimationByName(root, 0, u"walk");
  EXPECT_EQ(root.models[0].currentAnimation, 2);
  EXPECT_EQ(root.models[0].animationFrame, 0);
  root.models[0].animationFrame = 4;
  SelectAnimationByName(root, 0, u"WALK");  // case-sensitive: no match
  EXPECT_EQ(root.models[0].currentAnimation, 2);
  EXPECT_EQ(root.models[0].animationFrame, 4);
  SelectAnimationByName(root, 3, u"walk");  // no such model
  SelectAnimationByName(root, -1, u"walk");
}

TEST_F(AnimationSelection, InitialSelectionTakesTheFirstMatchOrNone) {
  CCoreMotion3D& root = *SceneState.sceneRoot;
  root.currentStep = 1;
  SceneState.timeLines.resize(4);  // the fourth has no model
  auto entry = [](const std::u16string& name) {
    CTimeLineData e;
    e.animationName = name;
    return e;
  };
  SceneState.timeLines[0].entries = {entry(u"idle"), entry(u"walk")};
  SceneState.timeLines[1].entries = {entry(u"jump")};  // no entry 1: empty name
  SceneState.timeLines[2].entries = {entry(u""), entry(u"swim")};
  SceneState.timeLines[3].entries = {entry(u"walk"), entry(u"walk")};
  SelectInitialAnimations();
  EXPECT_EQ(root.models[0].currentAnimation, 1);
  EXPECT_EQ(root.models[1].currentAnimation, 0);  // the empty name matches
  EXPECT_EQ(root.models[2].currentAnimation, -1);
  for (const CModel& m : root.models) EXPECT_EQ(m.animationFrame, 0);
}

}  // namespace
}  // namespace tolvani
