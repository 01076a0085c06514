// The story rules: the stored values of modes and states (the file format
// depends on them), the name classes of timelines, and the duration frames.
#include <gtest/gtest.h>

#include <cmath>

#include "base/text_conversion.h"
#include "model/story_rules.h"

namespace tolvani {
namespace {

TEST(StoryRules, StoredValuesAreTheFileFormats) {
  EXPECT_EQ(StoredValue(PlayMode::kGlide), 1);
  EXPECT_EQ(StoredValue(PlayMode::kWalk), 2);
  EXPECT_EQ(StoredValue(PlayMode::kScroll), 3);
  EXPECT_EQ(StoredValue(PlayMode::kExplore), 4);
  EXPECT_EQ(StoredValue(PlayMode::kOrbit), 5);
  EXPECT_EQ(StoredValue(EntryState::kHidden), 1);
  EXPECT_EQ(StoredValue(EntryState::kShown), 2);
  // Values no enumerator names survive the round trip through the type.
  for (int32_t v : {INT32_MIN, -1, 0, 6, INT32_MAX}) {
    EXPECT_EQ(StoredValue(PlayMode{v}), v);
    EXPECT_EQ(StoredValue(EntryState{v}), v);
  }
}

struct NameCase {
  const char16_t* name;
  bool balloon, fadeIn, fadeOut, overlay, background;
};

TEST(StoryRules, NameClasses) {
  const NameCase cases[] = {
      {u"", false, false, false, false, false},
      {u"fukidashi", true, false, false, false, false},
      {u"Scene_FukiDashi_2", true, false, false, false, false},  // any letter case
      {u"FUKIDASHI", true, false, false, false, false},
      {u"FUKIDASH", false, false, false, false, false},            // one letter short
      {u"fuki dashi", false, false, false, false, false},          // the mark is whole
      {u"ＦＵＫＩＤＡＳＨＩ", false, false, false, false, false},  // only A-Z are folded
      {u"ffukidashi", true, false, false, false, false},           // a restart after a false start
      {u"FadeIn", false, true, false, true, false},
      {u"fadein", false, false, false, false, false},  // the other marks are case-sensitive
      {u"FadeOut", false, false, true, true, false},
      {u"FadeInFadeOut", false, true, true, true, false},
      {u"SparkleEffect", false, false, false, true, false},
      {u"SkyBackground", false, false, false, false, true},
      {u"BackgroundEffect", false, false, false, true, true},  // both flat passes
      {u"fukidashi Background", true, false, false, false, true},
  };
  for (const NameCase& c : cases) {
    const std::u16string_view name = c.name;
    SCOPED_TRACE(ToUtf8(name));
    EXPECT_EQ(IsBalloonName(name), c.balloon);
    EXPECT_EQ(IsFadeInName(name), c.fadeIn);
    EXPECT_EQ(IsFadeOutName(name), c.fadeOut);
    EXPECT_EQ(IsFadeName(name), c.fadeIn || c.fadeOut);
    EXPECT_EQ(IsOverlayName(name), c.overlay);
    EXPECT_EQ(IsBackgroundName(name), c.background);
    EXPECT_EQ(IsFlatPassName(name), c.overlay || c.background);
  }
}

TEST(StoryRules, DurationFramesCountThirtyPerSecond) {
  EXPECT_EQ(DurationFrames(1500), 45.0f);
  EXPECT_EQ(DurationFrames(0), 0.0f);
  EXPECT_TRUE(std::isinf(1.0f / DurationFrames(0)));  // a zero duration ends at once
  EXPECT_EQ(DurationFrames(-1000), -30.0f);
  // The float32 sum of 45 steps of a 1500 ms glide is exactly one.
  float progress = 0.0f;
  for (int i = 0; i < 45; ++i) progress += 1.0f / DurationFrames(1500);
  EXPECT_EQ(progress, 1.0f);
}

}  // namespace
}  // namespace tolvani
