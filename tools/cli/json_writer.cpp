#include "cli/json_writer.h"

#include <cmath>

#include "base/text_conversion.h"

namespace tolvani::cli {

namespace {

const char kHex[] = "0123456789ABCDEF";

}  // namespace

JsonWriter::JsonWriter(std::FILE* out) : out_(out) {
  buffer_.reserve(kFlushAt + 64);
}

JsonWriter::~JsonWriter() {
  Flush();
}

void JsonWriter::Put(std::string_view s) {
  if (buffer_.size() + s.size() > kFlushAt) Flush();
  buffer_.append(s);
}

void JsonWriter::Flush() {
  if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
  buffer_.clear();
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) Put(',');
    first_.back() = false;
  }
}

void JsonWriter::BeginObject() {
  BeforeValue();
  Put('{');
  first_.push_back(true);
}

void JsonWriter::EndObject() {
  first_.pop_back();
  Put('}');
}

void JsonWriter::BeginArray() {
  BeforeValue();
  Put('[');
  first_.push_back(true);
}

void JsonWriter::EndArray() {
  first_.pop_back();
  Put(']');
}

void JsonWriter::Key(std::string_view key) {
  BeforeValue();
  PutQuoted(key);
  Put(':');
  afterKey_ = true;
}

void JsonWriter::String(std::u16string_view s) {
  BeforeValue();
  Put('"');
  for (char16_t c : s) {
    switch (c) {
      case u'"':
        Put("\\\"");
        continue;
      case u'\\':
        Put("\\\\");
        continue;
      case u'\b':
        Put("\\b");
        continue;
      case u'\f':
        Put("\\f");
        continue;
      case u'\n':
        Put("\\n");
        continue;
      case u'\r':
        Put("\\r");
        continue;
      case u'\t':
        Put("\\t");
        continue;
      default:
        break;
    }
    if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF)) {
      const char esc[6] = {
          '\\', 'u', kHex[(c >> 12) & 15], kHex[(c >> 8) & 15], kHex[(c >> 4) & 15], kHex[c & 15]};
      Put(std::string_view(esc, 6));
    } else {
      char bytes[4];
      Put(std::string_view(bytes, EncodeUtf8(c, bytes)));
    }
  }
  Put('"');
}

void JsonWriter::Utf8String(std::string_view s) {
  BeforeValue();
  PutQuoted(s);
}

void JsonWriter::PutQuoted(std::string_view s) {
  Put('"');
  for (unsigned char c : s) {
    if (c == '"') {
      Put("\\\"");
    } else if (c == '\\') {
      Put("\\\\");
    } else if (c < 0x20) {
      const char esc[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      Put(std::string_view(esc, 6));
    } else {
      Put(static_cast<char>(c));
    }
  }
  Put('"');
}

void JsonWriter::Int(int64_t v) {
  BeforeValue();
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v));
  Put(std::string_view(text, static_cast<size_t>(n)));
}

void JsonWriter::UInt(uint64_t v) {
  BeforeValue();
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(v));
  Put(std::string_view(text, static_cast<size_t>(n)));
}

void JsonWriter::Float(float v) {
  BeforeValue();
  if (!std::isfinite(v)) {
    Put("null");
    return;
  }
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  Put(std::string_view(text, static_cast<size_t>(n)));
}

void JsonWriter::Bool(bool v) {
  BeforeValue();
  Put(v ? "true" : "false");
}

void JsonWriter::Null() {
  BeforeValue();
  Put("null");
}

void JsonWriter::Finish() {
  Put('\n');
  Flush();
  std::fflush(out_);
}

void WriteVec3(JsonWriter& w, const Vec3& v) {
  w.BeginArray();
  w.Float(v.x);
  w.Float(v.y);
  w.Float(v.z);
  w.EndArray();
}

void WriteMotion(JsonWriter& w, const CMotion& m) {
  w.BeginObject();
  w.Key("position");
  WriteVec3(w, m.position);
  w.Key("rotation");
  WriteVec3(w, m.rotation);
  w.Key("scale");
  WriteVec3(w, m.scale);
  w.Key("pivot");
  WriteVec3(w, m.pivot);
  w.EndObject();
}

}  // namespace tolvani::cli
