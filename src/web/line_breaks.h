// Where a balloon text may wrap, as the Qt card's layout wraps it: the
// Unicode line breaking rules (pairs and the space-spanning rules) with
// small kana and the prolonged sound mark as non-starters (no line begins
// with them), Japanese opening brackets never ending a line and closing
// punctuation never beginning one, runs of Latin letters, digits and their
// punctuation kept whole, spaces hanging at the end of a line. Scripts that
// need a dictionary (Thai and its neighbours) are kept whole like Latin.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tolvani::web {

enum class LineBreak : uint8_t {
  kNone,       // the line goes on
  kAllowed,    // a line may end here
  kMandatory,  // a line ends here (after U+000A or U+2028)
};

// One entry per UTF-16 unit boundary: result[i] tells whether a line may
// end before text[i] (i from 0 to text.size(); result[0] is kNone, the end
// is kMandatory). Never between the two units of a surrogate pair nor
// before a combining mark.
std::vector<LineBreak> FindLineBreaks(std::u16string_view text);

// Whether c is a combining mark (general category Mn, Mc or Me).
bool IsCombiningMark(char32_t c);

}  // namespace tolvani::web
