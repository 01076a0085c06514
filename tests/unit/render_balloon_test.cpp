// Balloon cards: the text of each balloon's own timeline, the card cache and
// its bound, white cards where there is no text.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>

#include "render_test_scene.h"
#include "support/test_helpers.h"

namespace tolvani::rendertest {
namespace {

// Draws a card whose every texel encodes the text: blue = length, green =
// low byte of the first unit, red = low byte of the last unit, alpha 255.
class FakeRasterizer : public ITextRasterizer {
 public:
  bool RenderCard(const std::u16string& text, uint32_t size,
                  std::vector<uint8_t>& pixels) override {
    ++renders;
    rendered.push_back(text);
    if (fail) return false;
    pixels.assign(static_cast<size_t>(size) * size * 4, 0);
    const std::array<uint8_t, 4> texel = Expected(text);
    for (size_t i = 0; i < pixels.size(); i += 4) std::copy(texel.begin(), texel.end(), &pixels[i]);
    return true;
  }
  static std::array<uint8_t, 4> Expected(const std::u16string& text) {
    return {static_cast<uint8_t>(text.size()), static_cast<uint8_t>(text.front() & 0xFF),
            static_cast<uint8_t>(text.back() & 0xFF), 255};
  }
  int renders = 0;
  bool fail = false;
  std::vector<std::u16string> rendered;
};

constexpr std::array<uint8_t, 4> kWhite = {255, 255, 255, 255};

class Balloons : public SceneFixture {
 protected:
  ITextRasterizer* Rasterizer() override { return &rasterizer; }

  void SetUp() override {
    SceneFixture::SetUp();
    plain = AddMaterial(u"plain");
    balloon = AddMaterial(u"ZavroFukidashiMaterial");
    AddObject(u"Camera", {plain});
  }
  void TearDown() override {
    SetNearViewCentreQuery(nullptr);
    SceneFixture::TearDown();
  }

  int AddBalloon(const std::u16string& name, const std::vector<std::u16string>& texts) {
    std::vector<EntryState> states(texts.size(), EntryState::kShown);
    const int i = AddObject(name, {balloon}, states);
    for (size_t s = 0; s < texts.size(); ++s) SceneState.timeLines[i].entries[s].text = texts[s];
    return i;
  }

  // The card bound for each balloon draw of the last frame, by model.
  std::map<int, gfx::Handle> Cards() const {
    std::map<int, gfx::Handle> out;
    for (const auto& d : device.draws()) {
      if (d.pixelShaderEntry == "PS_TEX") out[SourceOf(d).model] = d.shaderResource;
    }
    return out;
  }

  FakeRasterizer rasterizer;
  int plain = 0, balloon = 0;
};

TEST_F(Balloons, EachBalloonShowsItsOwnTimelinesText) {
  const int a = AddBalloon(u"fukidashi1", {u"Hello", u"Next"});
  AddObject(u"Body", {plain});
  const int b = AddBalloon(u"Fukidashi2", {u"こんにちは"});
  DrawFrame(*scene);
  ASSERT_EQ(device.draws().size(), 3u);
  const auto cards = Cards();
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_NE(cards.at(a), cards.at(b));
  EXPECT_EQ(device.Texel(cards.at(a), 0, 0), FakeRasterizer::Expected(u"Hello"));
  EXPECT_EQ(device.Texel(cards.at(b), 1023, 1023), FakeRasterizer::Expected(u"こんにちは"));
  EXPECT_EQ(device.TextureDescOf(cards.at(a)).format, gfx::TextureFormat::BGRA8);
  EXPECT_EQ(device.TextureDescOf(cards.at(a)).width, 1024u);
  EXPECT_TRUE(device.TextureDescOf(cards.at(a)).mipmapped);
  for (const auto& d : device.draws()) {
    if (d.pixelShaderEntry == "PS_TEX") {
      EXPECT_EQ(d.sampler, scene->render.samplerState);
    }
  }

  // The next step shows the next text; b has no entry 1 and turns white.
  device.ClearRecords();
  scene->currentStep = 1;
  DrawFrame(*scene);
  const auto next = Cards();
  EXPECT_EQ(device.Texel(next.at(a), 5, 5), FakeRasterizer::Expected(u"Next"));
  EXPECT_EQ(device.Texel(next.at(b), 5, 5), kWhite);
}

TEST_F(Balloons, SteadyFramesReuseTheRenderedCards) {
  const int a = AddBalloon(u"fukidashi1", {u"One"});
  const int b = AddBalloon(u"fukidashi2", {u"Two"});
  DrawFrame(*scene);
  EXPECT_EQ(rasterizer.renders, 2);
  const auto first = Cards();
  for (int i = 0; i < 5; ++i) {
    device.ClearRecords();
    DrawFrame(*scene);
  }
  EXPECT_EQ(rasterizer.renders, 2);
  EXPECT_EQ(Cards(), first);
  EXPECT_EQ(BalloonCardCount(*scene), 2u);

  // Two balloons with the same text share one card.
  SceneState.timeLines[b].entries[0].text = u"One";
  device.ClearRecords();
  DrawFrame(*scene);
  EXPECT_EQ(rasterizer.renders, 2);
  EXPECT_EQ(Cards().at(a), Cards().at(b));
}

TEST_F(Balloons, CacheGrowsToTheCardsOnScreenAndShrinksWhenTheyGo) {
  // Twice the base capacity of distinct texts in one frame: every card stays
  // cached from frame to frame, none is drawn twice.
  constexpr int kOnScreen = 2 * static_cast<int>(kBalloonCardCacheCapacity);
  std::vector<int> balloons;
  for (int i = 0; i < kOnScreen; ++i) {
    balloons.push_back(AddBalloon(u"fukidashi", {u"card " + std::u16string(1, u'A' + i)}));
  }
  DrawFrame(*scene);
  EXPECT_EQ(rasterizer.renders, kOnScreen);
  const auto first = Cards();
  for (int i = 0; i < 3; ++i) {
    device.ClearRecords();
    DrawFrame(*scene);
  }
  EXPECT_EQ(rasterizer.renders, kOnScreen);
  EXPECT_EQ(Cards(), first);
  EXPECT_EQ(BalloonCardCount(*scene), static_cast<size_t>(kOnScreen));

  // All but one leave the screen; once a frame has passed without them, the
  // next new card brings the cache back to its capacity.
  for (size_t i = 1; i < balloons.size(); ++i) scene->models[balloons[i]].visible = false;
  DrawFrame(*scene);
  DrawFrame(*scene);
  EXPECT_EQ(BalloonCardCount(*scene), static_cast<size_t>(kOnScreen));
  SceneState.timeLines[balloons[0]].entries[0].text = u"a new text";
  DrawFrame(*scene);
  EXPECT_EQ(BalloonCardCount(*scene), kBalloonCardCacheCapacity);
  EXPECT_EQ(device.LiveObjectCount(NullGraphicsDevice::Kind::Texture),
            device.LiveObjectCount(NullGraphicsDevice::Kind::ShaderResourceView));
}

TEST_F(Balloons, CacheIsBoundedAndReleasedWithTheRenderer) {
  const int a = AddBalloon(u"fukidashi", {u"x"});
  const size_t viewsBefore = device.LiveObjectCount(NullGraphicsDevice::Kind::ShaderResourceView);
  for (int i = 0; i < 40; ++i) {
    SceneState.timeLines[a].entries[0].text = u"text " + std::u16string(1, u'A' + i);
    DrawFrame(*scene);
  }
  // Full-size cards: the byte budget holds fewer than the count capacity.
  const size_t kept = std::min(kBalloonCardCacheCapacity,
                               kBalloonCardBudgetBytes / BalloonCardBytes(kBalloonCardSize));
  EXPECT_EQ(rasterizer.renders, 40);
  EXPECT_EQ(BalloonCardCount(*scene), kept);
  EXPECT_EQ(device.LiveObjectCount(NullGraphicsDevice::Kind::ShaderResourceView),
            viewsBefore + kept);
  EXPECT_EQ(device.LiveObjectCount(NullGraphicsDevice::Kind::Texture),
            device.LiveObjectCount(NullGraphicsDevice::Kind::ShaderResourceView));

  // The most recent card is still cached, an evicted one is drawn again.
  rasterizer.renders = 0;
  DrawFrame(*scene);
  EXPECT_EQ(rasterizer.renders, 0);
  SceneState.timeLines[a].entries[0].text = u"text A";
  DrawFrame(*scene);
  EXPECT_EQ(rasterizer.renders, 1);

  ReleaseBalloonCards(*scene);
  EXPECT_EQ(BalloonCardCount(*scene), 0u);
  EXPECT_EQ(device.LiveObjectCount(NullGraphicsDevice::Kind::ShaderResourceView), viewsBefore);
  ReleaseBalloonCards(*scene);  // a second call releases nothing
  EXPECT_EQ(device.BadReleaseCount(), 0u);
}

TEST_F(Balloons, FlatPassAndEmptyTextsShowWhiteCards) {
  AddBalloon(u"fukidashi Background", {u"Hidden text"});
  const int empty = AddBalloon(u"fukidashi", {u""});
  DrawFrame(*scene);
  const auto cards = Cards();
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(device.Texel(cards.at(1), 512, 512), kWhite);
  EXPECT_EQ(device.Texel(cards.at(empty), 0, 1023), kWhite);
  EXPECT_EQ(rasterizer.renders, 0);  // neither needed the rasteriser
}

TEST_F(Balloons, ExploreModeShowsTextOnlyNearTheViewCentre) {
  const int a = AddBalloon(u"fukidashi1", {u"Near"});
  const int b = AddBalloon(u"fukidashi2", {u"Far"});
  scene->playMode = PlayMode::kExplore;
  SetNearViewCentreQuery([](CCoreMotion3D&, int index) { return index == 1; });
  DrawFrame(*scene);
  auto cards = Cards();
  EXPECT_EQ(device.Texel(cards.at(a), 0, 0), FakeRasterizer::Expected(u"Near"));
  EXPECT_EQ(device.Texel(cards.at(b), 0, 0), kWhite);

  // Other modes show the text wherever the object is.
  device.ClearRecords();
  scene->playMode = PlayMode::kGlide;
  DrawFrame(*scene);
  cards = Cards();
  EXPECT_EQ(device.Texel(cards.at(b), 0, 0), FakeRasterizer::Expected(u"Far"));
}

TEST_F(Balloons, FailedRasterisationIsReportedAndRetried) {
  const int a = AddBalloon(u"fukidashi", {u"Oops"});
  rasterizer.fail = true;
  DrawFrame(*scene);
  ASSERT_EQ(device.draws().size(), 1u);
  EXPECT_EQ(device.draws()[0].shaderResource, scene->render.balloonTextureView);
  EXPECT_EQ(device.Texel(scene->render.balloonTextureView, 3, 3), kWhite);
  const bool reported =
      std::any_of(platform.diagnostics.begin(), platform.diagnostics.end(),
                  [](const auto& d) { return d.second == u"RenderD2DContentIntoSurface"; });
  EXPECT_TRUE(reported);

  rasterizer.fail = false;
  device.ClearRecords();
  DrawFrame(*scene);
  EXPECT_EQ(device.Texel(Cards().at(a), 0, 0), FakeRasterizer::Expected(u"Oops"));
}

TEST_F(Balloons, RefusedCardTextureFallsBackToTheSharedTexture) {
  AddBalloon(u"fukidashi", {u"Hi"});
  device.FailAlways(NullGraphicsDevice::Op::CreateTexture2D);
  DrawFrame(*scene);
  ASSERT_EQ(device.draws().size(), 1u);
  EXPECT_EQ(device.draws()[0].shaderResource, scene->render.balloonTextureView);
  EXPECT_EQ(device.Texel(scene->render.balloonTextureView, 0, 0), FakeRasterizer::Expected(u"Hi"));
  EXPECT_EQ(BalloonCardCount(*scene), 0u);
}

TEST(BalloonCardSize, FollowsTheViewAndTheNumberOfCards) {
  struct Case {
    int width, height;
    size_t cards;
    uint32_t side;
  };
  const Case cases[] = {
      {640, 480, 1, 1024},
      {1280, 720, 1, 1024},
      {3840, 2160, 2, 1024},
      {512, 384, 1, 512},
      {513, 100, 1, 1024},
      {100, 100, 1, 128},
      {1, 1, 1, kBalloonCardMinSide},
      {640, 480, 0, 1024},
      {640, 480, 12, 1024},
      {640, 480, 13, 512},
      {640, 480, 1001, 64},
      {640, 480, 1000000, kBalloonCardMinSide},
  };
  for (const Case& c : cases) {
    const uint32_t side = BalloonCardSide(c.width, c.height, c.cards);
    EXPECT_EQ(side, c.side) << c.width << "x" << c.height << ", " << c.cards << " cards";
    if (side > kBalloonCardMinSide) {
      EXPECT_LE(std::max<size_t>(c.cards, 1) * BalloonCardBytes(side), kBalloonCardBudgetBytes);
    }
  }
  EXPECT_EQ(BalloonCardBytes(1), 4u);
  EXPECT_EQ(BalloonCardBytes(4), 4u * (16 + 4 + 1));
}

// Counts around the number of full-size cards the budget holds, and a crowd.
class BalloonCrowd : public Balloons, public ::testing::WithParamInterface<int> {};

TEST_P(BalloonCrowd, SharesTheBudgetWithCardsDrawnOnce) {
  // Each balloon keeps its own text; steady frames draw nothing again.
  const int count = GetParam();
  std::vector<int> balloons;
  for (int i = 0; i < count; ++i) {
    balloons.push_back(AddBalloon(u"fukidashi", {u"card " + testing::U16(std::to_string(i))}));
  }
  DrawFrame(*scene);
  DrawFrame(*scene);
  EXPECT_EQ(rasterizer.renders, count);
  const uint32_t side = BalloonCardSide(640, 480, static_cast<size_t>(count) + 1);
  EXPECT_EQ(side, count <= 11 ? 1024u : (count == 12 ? 512u : 128u));
  EXPECT_LE(BalloonCardBytesCached(*scene), kBalloonCardBudgetBytes);
  EXPECT_EQ(BalloonCardBytesCached(*scene), static_cast<size_t>(count) * BalloonCardBytes(side));
  const auto cards = Cards();
  for (const int b : {balloons.front(), balloons.back()}) {
    const gfx::Handle card = cards.at(b);
    EXPECT_EQ(device.TextureDescOf(card).width, side);
    EXPECT_EQ(device.Texel(card, side - 1, side - 1),
              FakeRasterizer::Expected(SceneState.timeLines[b].entries[0].text));
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, BalloonCrowd, ::testing::Values(11, 12, 300));

TEST_F(Balloons, CardsGrowBackWhenTheCrowdLeaves) {
  std::vector<int> balloons;
  for (int i = 0; i < 100; ++i) {
    balloons.push_back(AddBalloon(u"fukidashi", {u"crowd " + testing::U16(std::to_string(i))}));
  }
  DrawFrame(*scene);
  EXPECT_EQ(device.TextureDescOf(Cards().at(balloons[0])).width, 256u);
  for (size_t i = 1; i < balloons.size(); ++i) scene->models[balloons[i]].visible = false;
  device.ClearRecords();
  DrawFrame(*scene);
  EXPECT_EQ(device.TextureDescOf(Cards().at(balloons[0])).width, 1024u);
  EXPECT_EQ(rasterizer.renders, 101);
  // A view no wider than 300 pixels needs no card wider than 512.
  scene->width = 300;
  scene->height = 200;
  device.ClearRecords();
  DrawFrame(*scene);
  EXPECT_EQ(device.TextureDescOf(Cards().at(balloons[0])).width, 512u);
  EXPECT_LE(BalloonCardBytesCached(*scene), kBalloonCardBudgetBytes);
  EXPECT_EQ(device.LiveObjectCount(NullGraphicsDevice::Kind::Texture),
            device.LiveObjectCount(NullGraphicsDevice::Kind::ShaderResourceView));
}

TEST_F(Balloons, MoreTextsThanTheSmallestCardsHoldStillKeepTheBudget) {
  // Beyond what smallest cards can hold at once, cards of the same frame are
  // released to make room: memory stays bounded, every balloon still gets
  // its own card.
  const size_t fit = kBalloonCardBudgetBytes / BalloonCardBytes(kBalloonCardMinSide);
  const int count = static_cast<int>(fit) + 20;
  std::vector<int> balloons;
  for (int i = 0; i < count; ++i) {
    balloons.push_back(AddBalloon(u"fukidashi", {u"t" + testing::U16(std::to_string(i))}));
  }
  DrawFrame(*scene);
  EXPECT_EQ(rasterizer.renders, count);
  EXPECT_LE(BalloonCardBytesCached(*scene), kBalloonCardBudgetBytes);
  EXPECT_EQ(BalloonCardCount(*scene), fit);
  const gfx::Handle last = Cards().at(balloons.back());
  EXPECT_EQ(device.Texel(last, 0, 0),
            FakeRasterizer::Expected(u"t" + testing::U16(std::to_string(count - 1))));
}

TEST_F(Balloons, OnlyTheFirstUnitsOfALongTextAreLaidOut) {
  // "a" + a million combining marks: only the bound is handed to the
  // rasteriser; a surrogate pair at the bound is not split.
  const std::u16string marks = u"a" + std::u16string(1000000, u'\u0301');
  const int a = AddBalloon(u"fukidashi1", {marks});
  std::u16string pair(kBalloonTextMaxUnits - 1, u'x');
  pair += u"\U0001F600 and more";
  const int b = AddBalloon(u"fukidashi2", {pair});
  DrawFrame(*scene);
  ASSERT_EQ(rasterizer.rendered.size(), 2u);
  EXPECT_EQ(rasterizer.rendered[0], marks.substr(0, kBalloonTextMaxUnits));
  EXPECT_EQ(rasterizer.rendered[1], std::u16string(kBalloonTextMaxUnits - 1, u'x'));
  // Texts that differ only beyond the bound look the same: one card.
  SceneState.timeLines[b].entries[0].text = marks + u"different tail";
  device.ClearRecords();
  DrawFrame(*scene);
  EXPECT_EQ(rasterizer.rendered.size(), 2u);
  EXPECT_EQ(Cards().at(a), Cards().at(b));
  EXPECT_EQ(LaidOutBalloonText(u"short"), u"short");
}

class BalloonsWithoutRasterizer : public SceneFixture {};

TEST_F(BalloonsWithoutRasterizer, EveryCardIsPlainWhite) {
  const int plain = AddMaterial(u"plain");
  const int balloon = AddMaterial(u"ZavroFukidashiMaterial");
  AddObject(u"Camera", {plain});
  AddObject(u"fukidashi1", {balloon});
  AddObject(u"fukidashi2", {balloon});
  SceneState.timeLines[1].entries[0].text = u"one";
  SceneState.timeLines[2].entries[0].text = u"two";
  DrawFrame(*scene);
  ASSERT_EQ(device.draws().size(), 2u);
  for (const auto& d : device.draws()) {
    EXPECT_EQ(d.pixelShaderEntry, "PS_TEX");
    EXPECT_EQ(device.Texel(d.shaderResource, 100, 100), kWhite);
  }
  EXPECT_EQ(BalloonCardCount(*scene), 1u);
}

}  // namespace
}  // namespace tolvani::rendertest
