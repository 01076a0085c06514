// Lossless path bytes <-> UTF-16 ("surrogate escape" for bytes that are not
// UTF-8).
#include "base/native_path.h"

#include <cstdint>

#include "base/text_conversion.h"

namespace tolvani {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsEscape(char16_t c) {
  return c >= 0xDC80 && c <= 0xDCFF;
}

// Length of the valid, shortest-form UTF-8 sequence of a scalar value at s[i],
// or 0 when the byte there does not start one.
size_t ValidSequenceLength(std::string_view s, size_t i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return 1;
  size_t len;
  uint32_t c;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    c = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    c = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    c = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::u16string FromNativePath(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const size_t len = ValidSequenceLength(bytes, i);
    if (len == 0) {
      out.push_back(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i])));
      ++i;
      continue;
    }
    out += FromUtf8(bytes.substr(i, len));
    i += len;
  }
  return out;
}

std::string ToNativePath(std::u16string_view path) {
  std::string out;
  out.reserve(path.size());
  size_t start = 0;  // start of the run of ordinary text not yet written
  for (size_t i = 0; i < path.size(); ++i) {
    if (!IsEscape(path[i])) continue;
    // An escape that is the low half of a surrogate pair is ordinary text.
    if (i > 0 && path[i - 1] >= 0xD800 && path[i - 1] <= 0xDBFF) continue;
    out += ToUtf8(path.substr(start, i - start));
    out.push_back(static_cast<char>(path[i] - kEscapeBase));
    start = i + 1;
  }
  out += ToUtf8(path.substr(start));
  return out;
}

std::u16string DisplayPath(std::u16string_view path) {
  return FromUtf8(ToUtf8(path));
}

}  // namespace tolvani
