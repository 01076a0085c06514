// A streaming JSON writer: values go out through a small buffer as they are
// produced, so documents of any size take bounded memory.
//
// Strings are UTF-16 (or UTF-8 for the keys and literals of the tools).
// Code units outside the surrogate range are written as UTF-8; quotes,
// backslashes and control characters are escaped (NUL as \u0000); surrogate
// code units are written as \uXXXX escapes, so a non-BMP character becomes
// its escaped pair (\uD83D\uDE00) and a lone surrogate stays visible.
//
// Numbers: floats with %.9g (reads back to the same float32); NaN and the
// infinities, which JSON cannot express, are written as null.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "model/motion.h"

namespace tolvani::cli {

class JsonWriter {
 public:
  explicit JsonWriter(std::FILE* out);
  ~JsonWriter();  // flushes
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // The key of the next member of the current object.
  void Key(std::string_view key);

  void String(std::u16string_view s);
  void Utf8String(std::string_view s);
  void Int(int64_t v);
  void UInt(uint64_t v);
  void Float(float v);
  void Bool(bool v);
  void Null();

  // Ends the document with a newline and flushes.
  void Finish();

 private:
  void BeforeValue();
  void Put(char c) {
    if (buffer_.size() >= kFlushAt) Flush();
    buffer_.push_back(c);
  }
  void Put(std::string_view s);
  void PutQuoted(std::string_view utf8);
  void Flush();

  static constexpr size_t kFlushAt = 1 << 16;
  std::FILE* out_;
  std::string buffer_;
  // One entry per open container: true until its first element is written.
  std::vector<bool> first_;
  bool afterKey_ = false;
};

// The motion layout both tools print: {position, rotation, scale, pivot},
// each a [x, y, z] array.
void WriteVec3(JsonWriter& w, const Vec3& v);
void WriteMotion(JsonWriter& w, const CMotion& m);

}  // namespace tolvani::cli
