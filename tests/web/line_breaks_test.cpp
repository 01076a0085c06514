// The canvas card's line breaks against Qt's line breaking (what the Qt
// card's layout wraps at), around every Latin, punctuation, Japanese and
// full-width character, and on sentences.
#include <gtest/gtest.h>

#include <QString>
#include <QTextBoundaryFinder>
#include <set>
#include <string>

#include "web/line_breaks.h"

namespace tolvani::web {
namespace {

// Where a line may end inside text (not at its start or end), by Qt and by
// FindLineBreaks. Each text is given a leading ideograph: at the very start
// Qt lets a line end inside a number ("1|,5"), which no card wraps at.
std::set<int> QtBreaks(const std::u16string& text) {
  const QString q = QString::fromStdU16String(u"漢" + text);
  QTextBoundaryFinder finder(QTextBoundaryFinder::Line, q);
  std::set<int> out;
  for (int p = finder.toNextBoundary(); p != -1; p = finder.toNextBoundary()) {
    if (p > 1 && p < q.size()) out.insert(p - 1);
  }
  return out;
}

std::set<int> OurBreaks(const std::u16string& text) {
  const std::u16string prefixed = u"漢" + text;
  const std::vector<LineBreak> breaks = FindLineBreaks(prefixed);
  std::set<int> out;
  for (size_t i = 2; i < prefixed.size(); ++i) {
    if (breaks[i] != LineBreak::kNone) out.insert(static_cast<int>(i) - 1);
  }
  return out;
}

TEST(WebLineBreaks, MatchQtAroundEveryJapaneseAndLatinCharacter) {
  // U+2028 and U+2029 are left out: Qt's layout ends a line at the first
  // only, whatever its line breaker says of either.
  const std::pair<char16_t, char16_t> kRanges[] = {
      {0x21, 0x7E},     {0xA0, 0xFF},     {0x2000, 0x2027}, {0x202A, 0x206F},
      {0x3000, 0x30FF}, {0xFF01, 0xFFEE}, {0x4E00, 0x4E10}};
  const std::u16string kNeighbours[] = {u"a",  u"漢", u"あ", u" ", u"1", u"(", u"「", u"」",
                                        u"、", u"ー", u"っ", u"-", u"%", u"$", u"\"", u"."};
  int differences = 0;
  for (const auto& [first, last] : kRanges) {
    for (char32_t c = first; c <= last; ++c) {
      const std::u16string ch(1, static_cast<char16_t>(c));
      for (const std::u16string& n : kNeighbours) {
        for (const std::u16string& text : {n + ch + n, n + n + ch, ch + n + n}) {
          if (QtBreaks(text) == OurBreaks(text)) continue;
          if (++differences <= 10) {
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(c) << " in \""
                          << QString::fromStdU16String(text).toStdString() << "\"";
          }
        }
      }
    }
  }
  EXPECT_EQ(differences, 0);
}

TEST(WebLineBreaks, MatchQtOnSentences) {
  const std::u16string kTexts[] = {
      u"こんにちは、世界。",
      u"「テスト」です。ってゃ",
      u"word100% (test) 1,000.5 U.S.A. don't",
      u"e-mail foo/bar, $5 or ¥500?",
      u"価格は$100です（税込）。カード「ABC」を使う",
      u"ああ……いい──第1章　はじめに",
      u"ニャーニャー泣いていた事だけは記憶している。",
  };
  for (const std::u16string& text : kTexts) {
    EXPECT_EQ(QtBreaks(text), OurBreaks(text)) << QString::fromStdU16String(text).toStdString();
  }
}

TEST(WebLineBreaks, LineEndsSurrogatePairsAndMarks) {
  // A line ends after U+000A and U+2028; the text's end always ends one.
  const std::vector<LineBreak> lines = FindLineBreaks(u"a\nb\u2028c");
  EXPECT_EQ(lines[2], LineBreak::kMandatory);
  EXPECT_EQ(lines[4], LineBreak::kMandatory);
  EXPECT_EQ(lines[5], LineBreak::kMandatory);
  EXPECT_EQ(lines[1], LineBreak::kNone);
  // Between two ideographs outside the basic plane, not inside either.
  const std::vector<LineBreak> pairs = FindLineBreaks(u"\U00020BB7\U00020BB7");
  EXPECT_EQ(pairs[1], LineBreak::kNone);
  EXPECT_EQ(pairs[2], LineBreak::kAllowed);
  EXPECT_EQ(pairs[3], LineBreak::kNone);
  // A combining mark stays with its base, even after an ideograph.
  const std::vector<LineBreak> marks = FindLineBreaks(u"漢\u0301漢");
  EXPECT_EQ(marks[1], LineBreak::kNone);
  EXPECT_EQ(marks[2], LineBreak::kAllowed);
  EXPECT_EQ(FindLineBreaks(u"").size(), 1u);
}

}  // namespace
}  // namespace tolvani::web
