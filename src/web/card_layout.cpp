#include "web/card_layout.h"

#include <cmath>

#include "base/limits.h"
#include "render/balloon_text.h"
#include "render/text_rasterizer.h"
#include "web/line_breaks.h"

namespace tolvani::web {

namespace {

// A fit within this much of the card's width counts as fitting: measured
// advances carry float noise that Qt's 1/64-unit sums do not.
constexpr double kFitSlack = 1.0 / 128;

bool IsLineEnd(char16_t c) {
  return c == u'\n' || c == u'\u2028';
}

// Spaces that hang at the end of a wrapped line.
bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\u3000' || (c >= u'\u2000' && c <= u'\u200A') || c == u'\u205F' ||
         c == u'\u1680';
}

}  // namespace

std::u16string CardText(std::u16string_view text) {
  const std::u16string_view laidOut = LaidOutBalloonText(text);
  std::u16string out;
  out.reserve(laidOut.size());
  int marks = 0;  // combining marks in a row so far
  for (size_t i = 0; i < laidOut.size();) {
    char32_t c = laidOut[i];
    size_t n = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < laidOut.size() && laidOut[i + 1] >= 0xDC00 &&
        laidOut[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (laidOut[i + 1] - 0xDC00);
      n = 2;
    }
    marks = IsCombiningMark(c) ? marks + 1 : 0;
    if (marks <= kBalloonTextMaxMarksPerCharacter) {
      if (c == u'\r' || c == u'\t') {
        out.push_back(u' ');
      } else {
        out.append(laidOut.substr(i, n));
      }
    }
    i += n;
  }
  return out;
}

std::vector<CardLine> LayOutCard(std::u16string_view text, const CardFont& font,
                                 const MeasureCardText& measure) {
  const double side = static_cast<double>(kBalloonCardSize);
  const std::vector<LineBreak> breaks = FindLineBreaks(text);
  std::vector<CardLine> lines;
  auto trimmed = [&](size_t begin, size_t end) {
    while (end > begin && IsSpace(text[end - 1])) --end;
    return end;
  };
  auto width = [&](size_t begin, size_t end) {
    return end > begin ? measure(text.substr(begin, end - begin)) : 0.0;
  };
  auto addLine = [&](size_t begin, size_t end) {
    CardLine line;
    line.begin = begin;
    line.length = trimmed(begin, end) - begin;
    lines.push_back(line);
  };

  size_t hardBegin = 0;
  while (true) {
    // One hard line: [hardBegin, hardEnd), its line end (if any) at hardEnd.
    size_t hardEnd = hardBegin;
    while (hardEnd < text.size() && !IsLineEnd(text[hardEnd])) ++hardEnd;
    // Widths are summed piece by piece (pieces end where a line may end),
    // so the work stays linear in the text whatever its pieces measure.
    size_t lineBegin = hardBegin;
    size_t pieceBegin = hardBegin;
    double lineWidth = 0;  // of the pieces taken, their trailing spaces included
    for (size_t p = hardBegin + 1; p <= hardEnd; ++p) {
      if (p < hardEnd && breaks[p] != LineBreak::kAllowed) continue;
      const size_t wordEnd = trimmed(pieceBegin, p);
      const double word = width(pieceBegin, wordEnd);
      if (pieceBegin > lineBegin && lineWidth + word > side + kFitSlack) {
        addLine(lineBegin, pieceBegin);
        lineBegin = pieceBegin;
        lineWidth = 0;
      }
      lineWidth += word + width(wordEnd, p);
      pieceBegin = p;
    }
    addLine(lineBegin, hardEnd);
    if (hardEnd >= text.size()) break;
    hardBegin = hardEnd + 1;
  }

  // Vertical placement: each line's top rounded up to a whole unit.
  const double height = font.ascent + font.descent;
  double bottom = 0;
  std::vector<double> tops;
  tops.reserve(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    const double top = std::ceil(bottom);
    tops.push_back(top);
    bottom = top + height;
  }
  const double offset = (side - bottom) / 2;
  for (size_t i = 0; i < lines.size(); ++i) {
    CardLine& line = lines[i];
    line.x = (side - width(line.begin, line.begin + line.length)) / 2;
    line.baseline = offset + tops[i] + font.ascent;
  }
  return lines;
}

}  // namespace tolvani::web
