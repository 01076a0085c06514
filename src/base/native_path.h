// File paths as the operating system's bytes, carried in the program's UTF-16
// strings without loss.
//
// A Linux file name is any byte string; it need not be UTF-8. FromNativePath
// decodes valid UTF-8 and maps every other byte b (always 0x80..0xFF) to the
// lone surrogate U+DC00 + b; ToNativePath encodes the other way. So
//   ToNativePath(FromNativePath(bytes)) == bytes   for every byte string,
// and a path that is valid UTF-8 reads as its ordinary text. Paths are
// converted for the OS only at the call that opens the file, and for people
// only through DisplayPath.
#pragma once

#include <string>
#include <string_view>

namespace tolvani {

// OS bytes to a UTF-16 path (undecodable bytes as U+DC80..U+DCFF).
std::u16string FromNativePath(std::string_view bytes);
// A UTF-16 path to OS bytes: U+DC80..U+DCFF become the bytes 0x80..0xFF;
// any other unpaired surrogate becomes U+FFFD's UTF-8.
std::string ToNativePath(std::u16string_view path);
// The path for messages and titles: escaped bytes shown as U+FFFD.
std::u16string DisplayPath(std::u16string_view path);

}  // namespace tolvani
