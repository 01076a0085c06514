// The layout of a balloon card's text, as the Qt card lays it out with
// Qt::AlignCenter | Qt::TextWordWrap on the kBalloonCardSize square, for
// any font whose advances a measuring function gives:
//  - U+000A and U+2028 end a line; U+000D and tabs are spaces;
//  - lines wrap greedily at the places FindLineBreaks allows; spaces at the
//    end of a line hang (they neither count for the fit nor the centring);
//    a piece that does not fit an empty line stays whole and overflows;
//  - each line is centred on its width; lines stand ascent + descent apart,
//    each line's top rounded up to a whole unit from the previous bottom;
//    the block of lines is centred vertically.
// Units are the card's layout units (kBalloonCardSize across), x right and
// y down from the card's top-left corner.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvani::web {

// The text a card lays out: at most kBalloonTextMaxUnits units, at most
// kBalloonTextMaxMarksPerCharacter combining marks in a row, carriage
// returns and tabs as spaces.
std::u16string CardText(std::u16string_view text);

struct CardLine {
  size_t begin = 0;   // first unit in the card text
  size_t length = 0;  // units drawn (trailing spaces and the line end left out)
  double x = 0;       // left edge of the line's first glyph advance
  double baseline = 0;
};

struct CardFont {
  double ascent = 0;   // baseline to the top of the line, positive
  double descent = 0;  // baseline to the bottom of the line, positive
};

// Width in layout units of a piece of the card text.
using MeasureCardText = std::function<double(std::u16string_view)>;

// The lines of cardText (CardText's result). Empty lines are kept (they
// take their height); an empty text gives one empty line.
std::vector<CardLine> LayOutCard(std::u16string_view cardText, const CardFont& font,
                                 const MeasureCardText& measure);

}  // namespace tolvani::web
