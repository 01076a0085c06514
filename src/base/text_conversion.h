// UTF-8 <-> UTF-16 conversion for the whole program (file paths, diagnostics,
// JSON, GL logs), and CP932 to UTF-16 for the 8-bit strings of old files. Invalid input never
// throws and never drops text silently:
//  - ToUtf8: an unpaired surrogate code unit becomes U+FFFD (EF BF BD).
//  - FromUtf8: each byte that does not start a valid, shortest-form UTF-8
//    sequence of a scalar value (no surrogates, at most U+10FFFF) becomes one
//    U+FFFD, and decoding resumes at the next byte.
// Valid text round-trips exactly in both directions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvani {

std::string ToUtf8(std::u16string_view s);
// Writes the UTF-8 form of code point c (at most U+10FFFF; a surrogate or
// larger value is written as U+FFFD) to out; returns the byte count, 1 to 4.
size_t EncodeUtf8(char32_t c, char out[4]);
std::u16string FromUtf8(std::string_view s);

// CP932 (Shift-JIS, Windows variant) to UTF-16, exactly as glibc's iconv
// decodes it, on every platform: a byte that is a character on its own, or
// a lead byte with a trail byte that form a character, gives that
// character; any other byte (an invalid byte, a lead byte at the end or
// before a byte it does not pair with) gives one U+FFFD, and decoding
// resumes at the next byte. NUL bytes stay NUL characters.
std::u16string DecodeCp932(std::string_view bytes);

}  // namespace tolvani
