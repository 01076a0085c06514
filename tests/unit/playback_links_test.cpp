// Web links of step starts: only web pages open, and a story cannot flood
// the desktop with launches. A recording platform stands in for the browser.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "audio/null_sound_backend.h"
#include "base/text_conversion.h"
#include "document/document.h"
#include "headless/headless_view.h"
#include "model/scene_state.h"
#include "playback/player_view.h"
#include "playback/web_links.h"
#include "render/null_device.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using Targets = std::vector<std::u16string>;

TEST(WebLinks, OnlyAbsoluteHttpAndHttpsAddressesWithAHostOpen) {
  struct Case {
    std::u16string text;
    std::u16string opened;  // empty: refused
  };
  const Case cases[] = {
      // Texts that begin with "http" but name no web page.
      {u"httpevil.desktop", u""},
      {u"http", u""},
      {u"httpfoo:bar", u""},
      {u"http/../../../../etc/passwd", u""},
      {u"http:/etc/passwd", u""},
      {u"http:///etc/passwd", u""},
      {u"http:relative/path", u""},
      {u"http://", u""},
      {u"https://@/path", u""},
      {u"http://:80/", u""},
      {u"http://example.com:99999/", u""},
      {u"http://exa mple.com/", u""},
      {u"http:\\\\server\\share", u""},
      {u"http://\\\\server/share", u""},
      {u"http://example.com/\tpath", u""},
      {u"http://[not-ipv6]/", u""},
      {u"http://../", u""},
      {u"https:example.com", u""},
      // Web pages.
      {u"http://example.com", u"http://example.com"},
      {u"https://example.com/a/b?q=1&r=two#frag", u"https://example.com/a/b?q=1&r=two#frag"},
      {u"https://user:pw@example.com:8443/x?y", u"https://user:pw@example.com:8443/x?y"},
      {u"http://[::1]:8080/", u"http://[::1]:8080/"},
      {u"https://例え.テスト/パス?検索=ü", u"https://例え.テスト/パス?検索=ü"},
      {u"http://bücher.example/?q=%E2%82%AC", u"http://bücher.example/?q=%E2%82%AC"},
      {u"https://example.com?only=query", u"https://example.com?only=query"},
      // Only the first line; a carriage return before the line feed goes too.
      {u"https://example.org/two\nthe caption", u"https://example.org/two"},
      {u"https://example.org/crlf\r\ncaption", u"https://example.org/crlf"},
      // Not links at all: no request, no diagnostic.
      {u"HTTP://capitals.example", u""},
      {u"see http://later.example", u""},
  };
  for (const Case& c : cases) {
    testing::RecordingPlatform platform;
    LinkOpener links;
    links.BeginStepStart();
    links.Request(c.text);
    const std::string label = ToUtf8(c.text);
    if (c.opened.empty()) {
      EXPECT_TRUE(platform.opened.empty()) << label;
      const bool isLink = c.text.rfind(u"http", 0) == 0;
      EXPECT_EQ(platform.diagnostics.size(), isLink ? 1u : 0u) << label;
    } else {
      EXPECT_EQ(platform.opened, Targets{c.opened}) << label;
      EXPECT_TRUE(platform.diagnostics.empty()) << label;
    }
  }
}

class LinkStepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(headless.Create(&device, nullptr, std::make_unique<NullSoundBackend>()), 0);
    view.links.SetClock([this] { return now; });
  }

  // A Walk story of two steps; step 1 shows one object per text.
  void Open(const std::vector<std::u16string>& texts) {
    testing::ProjectBuilder b;
    b.playMode = PlayMode::kWalk;
    b.AddMaterial(u"plain");
    CTimeLine& camera = b.AddTimeline(u"camera");
    b.AddEntry(camera, EntryState::kShown);
    b.AddEntry(camera, EntryState::kShown);
    for (const std::u16string& text : texts) {
      b.AddTriangleModel(u"link", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
      CTimeLine& t = b.AddTimeline(u"link");
      b.AddEntry(t, EntryState::kHidden);
      b.AddEntry(t, EntryState::kShown).text = text;
    }
    ASSERT_TRUE(doc->OnOpenDocument(testing::U16(testing::WriteTempFile(b.Build()))));
    platform.Clear();
  }
  // Starts step 1 at the clock time ms.
  void StartStepOne(int64_t ms) {
    now = ms;
    SceneState.sceneRoot->currentStep = 1;
    view.BeginWalkStep(-1, -1);
  }
  static std::u16string Page(int i) {
    return u"https://example.com/" + testing::U16(std::to_string(i));
  }

  testing::RecordingPlatform platform;
  testing::FreshScene fresh;  // before the view and its document
  NullGraphicsDevice device;
  headless::HeadlessView headless;
  CPlayerView& view = headless.view();
  CPlayerDoc* const doc = &headless.document();
  int64_t now = 0;
};

TEST_F(LinkStepTest, AFewLinksAtOneStepStartAllOpenInTimelineOrder) {
  Open({u"http://one.example/a?x=1", u"httpevil.desktop", u"https://two.example/\ncaption",
        u"http://three.example"});
  StartStepOne(0);
  EXPECT_EQ(platform.opened, (Targets{u"http://one.example/a?x=1", u"https://two.example/",
                                      u"http://three.example"}));
}

TEST_F(LinkStepTest, AStormOfLinksIsCutToFourPerStepAndEightPerTenSeconds) {
  std::vector<std::u16string> texts;
  // The same page three times counts once; then 200 distinct pages.
  for (int i = 0; i < 3; ++i) texts.push_back(Page(0));
  for (int i = 1; i <= 200; ++i) texts.push_back(Page(i));
  Open(texts);

  StartStepOne(0);
  EXPECT_EQ(platform.opened, (Targets{Page(0), Page(1), Page(2), Page(3)}));
  EXPECT_FALSE(platform.diagnostics.empty());  // the dropped ones are reported
  StartStepOne(1000);
  EXPECT_EQ(platform.opened.size(), 8u);
  // Eight launches in the last ten seconds: nothing more until the first
  // ones leave the window.
  StartStepOne(9999);
  EXPECT_EQ(platform.opened.size(), 8u);
  StartStepOne(10000);  // the four launches at 0 have left the window
  EXPECT_EQ(platform.opened.size(), 12u);
  StartStepOne(10500);  // the four at 1000 have not
  EXPECT_EQ(platform.opened.size(), 12u);
  // Each step start takes the first pages in timeline order.
  EXPECT_EQ(platform.opened[8], Page(0));
}

}  // namespace
}  // namespace tolvani
