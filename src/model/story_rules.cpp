#include "model/story_rules.h"

namespace tolvani {

namespace {

constexpr char16_t LowerAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

}  // namespace

// The mark is lower case; only A-Z of the name are folded, so no copy of
// the name is made.
bool IsBalloonName(std::u16string_view name) {
  const size_t n = kBalloonMark.size();
  if (name.size() < n) return false;
  for (size_t start = 0; start + n <= name.size(); ++start) {
    size_t k = 0;
    while (k < n && LowerAscii(name[start + k]) == kBalloonMark[k]) ++k;
    if (k == n) return true;
  }
  return false;
}

}  // namespace tolvani
