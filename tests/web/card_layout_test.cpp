// The canvas card's layout rules on a monospaced measure: every unit 100
// wide, a space 25, so that ten letters (1,000 units) fit the 1,024-unit
// card and eleven do not.
#include "web/card_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/limits.h"

namespace tolvani::web {
namespace {

double Monospaced(std::u16string_view piece) {
  double width = 0;
  for (char16_t c : piece) width += c == u' ' ? 25 : 100;
  return width;
}

constexpr CardFont kFont{58, 14.4};

std::vector<std::u16string> LineTexts(const std::u16string& text) {
  std::vector<std::u16string> out;
  const std::u16string card = CardText(text);
  for (const CardLine& line : LayOutCard(card, kFont, Monospaced)) {
    out.push_back(card.substr(line.begin, line.length));
  }
  return out;
}

TEST(WebCardLayout, WrapsAsTheQtCard) {
  struct Case {
    const char* what;
    std::u16string text;
    std::vector<std::u16string> lines;
  };
  const Case kCases[] = {
      {"words wrap whole", u"aaaa bbbb cccc", {u"aaaa bbbb", u"cccc"}},
      {"spaces hang at a line's end", u"aaaaaaaaaa   b", {u"aaaaaaaaaa", u"b"}},
      {"a word wider than the card stays whole", u"aaaaaaaaaaaa b", {u"aaaaaaaaaaaa", u"b"}},
      {"line ends and empty lines", u"a\n\nb\n", {u"a", u"", u"b", u""}},
      {"spaces after a line end are kept", u"a\n  b", {u"a", u"  b"}},
      {"carriage returns and tabs are spaces", u"a\r\tb", {u"a  b"}},
      {"no line starts with a full stop",
       u"あいうえおかきくけこ。さ",
       {u"あいうえおかきくけ", u"こ。さ"}},
      {"no line starts with a small kana",
       u"あいうえおかきくけニャ",
       {u"あいうえおかきくけ", u"ニャ"}},
      {"an opening bracket never ends a line",
       u"あいうえおかきくけ「こ」",
       {u"あいうえおかきくけ", u"「こ」"}},
      {"an empty text is one empty line", u"", {u""}},
  };
  for (const Case& c : kCases) EXPECT_EQ(LineTexts(c.text), c.lines) << c.what;
}

TEST(WebCardLayout, CentresEachLineAndTheBlock) {
  const std::u16string card = CardText(u"aaaa bbbb cccc\n\nd");
  const std::vector<CardLine> lines = LayOutCard(card, kFont, Monospaced);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_DOUBLE_EQ(lines[0].x, (1024 - 825) / 2.0);
  EXPECT_DOUBLE_EQ(lines[1].x, (1024 - 400) / 2.0);
  EXPECT_DOUBLE_EQ(lines[3].x, (1024 - 100) / 2.0);
  // Lines 72.4 high, each top rounded up: 0, 73, 146, 219; 291.4 in all.
  const double offset = (1024 - 291.4) / 2;
  const double tops[] = {0, 73, 146, 219};
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_NEAR(lines[i].baseline, offset + tops[i] + 58, 1e-9) << i;
  }
  // An overflowing line is centred too: it leaves the card on both sides.
  EXPECT_DOUBLE_EQ(LayOutCard(u"aaaaaaaaaaaa", kFont, Monospaced)[0].x, (1024 - 1200) / 2.0);
}

TEST(WebCardLayout, MeasuresEachUnitAFewTimesAtMost) {
  // Zero-width spaces: 8,000 pieces of no width on one line. Measuring each
  // candidate line whole would measure some 32 million units.
  const std::u16string text(8000, u'\u200B');
  size_t measured = 0;
  const auto counting = [&](std::u16string_view piece) {
    measured += piece.size();
    return 0.0;
  };
  EXPECT_EQ(LayOutCard(CardText(text), kFont, counting).size(), 1u);
  EXPECT_LE(measured, 3 * text.size());
}

TEST(WebCardLayout, CardTextBoundsMarksAndLength) {
  std::u16string stacked = u"a";
  stacked.append(kBalloonTextMaxMarksPerCharacter + 4, u'\u0301');
  stacked += u"b\u0301";
  std::u16string kept = u"a";
  kept.append(kBalloonTextMaxMarksPerCharacter, u'\u0301');
  EXPECT_EQ(CardText(stacked), kept + u"b\u0301");
  EXPECT_EQ(CardText(std::u16string(kBalloonTextMaxUnits + 100, u'x')).size(),
            kBalloonTextMaxUnits);
}

}  // namespace
}  // namespace tolvani::web
