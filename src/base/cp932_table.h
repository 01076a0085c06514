// The CP932 (Shift-JIS, Windows variant) decoding table, generated from
// glibc's iconv by scripts/gen_cp932.cpp into cp932_table.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvani::cp932 {

// Trail bytes of a two-byte code run from kFirstTrail to 0xFF.
inline constexpr int kFirstTrail = 0x40;
inline constexpr int kTrails = 256 - kFirstTrail;
// kNotSingle: the byte is no character on its own (a lead byte, or invalid).
inline constexpr char16_t kNotSingle = 0xFFFF;

// The character of each byte on its own, or kNotSingle.
extern const char16_t kSingle[256];

// Consecutive two-byte codes from `code` (lead byte << 8 | trail byte), all
// of one lead byte and within its trails: `count` characters, taken from
// `chars`, or, where chars is null, `first` and the characters after it.
struct Span {
  uint16_t code;
  uint16_t count;
  char16_t first;
  const char16_t* chars;
};
extern const Span kSpans[];
extern const size_t kSpanCount;

// The kTrails characters of a lead byte's codes (0 where lead + trail is no
// code), or null for a byte that leads no code. Built from kSpans on first
// use; thread-safe.
const char16_t* LeadRow(unsigned char lead);

}  // namespace tolvani::cp932
