// The CP932 (Shift-JIS, Windows variant) decoding table, generated from
// glibc's iconv by scripts/gen_cp932.cpp into cp932_table.cpp.
#pragma once

#include <cstdint>

namespace tolvani::cp932 {

// Trail bytes of a two-byte code run from kFirstTrail to 0xFF.
inline constexpr int kFirstTrail = 0x40;
inline constexpr int kTrails = 256 - kFirstTrail;
inline constexpr int kLeadRows = 55;
// kNotSingle: the byte is no character on its own (a lead byte, or invalid).
inline constexpr char16_t kNotSingle = 0xFFFF;

// The character of each byte on its own, or kNotSingle.
extern const char16_t kSingle[256];
// For a lead byte, its row in kDouble plus one; 0 for every other byte.
extern const uint8_t kLeadRow[256];
// The character of lead byte + trail byte, or 0 where the pair is invalid.
extern const char16_t kDouble[kLeadRows][kTrails];

}  // namespace tolvani::cp932
