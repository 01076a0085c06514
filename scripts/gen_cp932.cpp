// Writes the CP932 decoding table (src/base/cp932_table.cpp) from the C
// library's iconv, so that every platform decodes 8-bit strings as glibc
// does. Run on glibc; the output is checked in:
//   cmake --build --preset dev --target gen_cp932 &&
//   build/dev/bin/gen_cp932 > src/base/cp932_table.cpp
// Two-byte codes are written as spans of consecutive codes: characters
// that follow one another in Unicode as a first character and a count, the
// rest as UTF-16 literals (printable characters as themselves, so the
// table reads as the characters it holds).
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kFirstTrail = 0x40;

// The UTF-16 units iconv makes of exactly these bytes, or nothing when it
// refuses them or leaves any byte unconverted.
std::vector<char16_t> Convert(iconv_t cd, const unsigned char* bytes, size_t n) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char in[2] = {static_cast<char>(bytes[0]), n > 1 ? static_cast<char>(bytes[1]) : '\0'};
  char out[16];
  char* ip = in;
  char* op = out;
  size_t inLeft = n, outLeft = sizeof out;
  if (iconv(cd, &ip, &inLeft, &op, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return {};
  std::vector<char16_t> units;
  for (char* p = out; p + 1 < op; p += 2)
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                          static_cast<unsigned char>(p[1]) << 8));
  return units;
}

void PrintRow(const char16_t* values, int count) {
  for (int i = 0; i < count; ++i) std::printf("%s0x%04X,", i % 12 == 0 ? "\n    " : " ", values[i]);
}

// Sequences at least this long are written as a first character and a count.
constexpr int kMinSequence = 8;
// Characters per line of a literal (most are two columns wide).
constexpr int kCharsPerLine = 36;

// A character as it goes inside a u"" literal.
std::string Literal(char16_t c) {
  char buf[8];
  const bool printable = (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') ||
                         (c >= 0xA0 && !(c >= 0xD800 && c <= 0xF8FF) && c != 0xFEFF);
  if (!printable) {
    std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
    return buf;
  }
  std::string utf8;
  if (c < 0x80) {
    utf8 += static_cast<char>(c);
  } else if (c < 0x800) {
    utf8 += static_cast<char>(0xC0 | (c >> 6));
    utf8 += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    utf8 += static_cast<char>(0xE0 | (c >> 12));
    utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (c & 0x3F));
  }
  return utf8;
}

// Length of the sequence of consecutive characters starting at row[i].
int SequenceAt(const std::vector<char16_t>& row, int i, int end) {
  int n = 1;
  while (i + n < end && row[i + n] == row[i] + n) ++n;
  return n;
}

// The spans of one lead byte's row: {code, count, first, chars}.
void PrintSpans(int lead, const std::vector<char16_t>& row, size_t* spans) {
  const int trails = static_cast<int>(row.size());
  for (int i = 0; i < trails;) {
    if (row[i] == 0) {
      ++i;
      continue;
    }
    const unsigned code = static_cast<unsigned>(lead << 8 | (i + kFirstTrail));
    const int sequence = SequenceAt(row, i, trails);
    ++*spans;
    if (sequence >= kMinSequence) {
      std::printf("    {0x%04X, %d, 0x%04X, nullptr},\n", code, sequence, row[i]);
      i += sequence;
      continue;
    }
    // Characters up to the next gap or the next long sequence.
    int end = i;
    while (end < trails && row[end] != 0 && SequenceAt(row, end, trails) < kMinSequence) ++end;
    std::printf("    {0x%04X, %d, 0,", code, end - i);
    for (int k = i; k < end; ++k) {
      if ((k - i) % kCharsPerLine == 0) std::printf("%s u\"", k == i ? "" : "\"\n         ");
      std::printf("%s", Literal(row[k]).c_str());
    }
    std::printf("\"},\n");
    i = end;
  }
}

}  // namespace

int main() {
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::fprintf(stderr, "gen_cp932: this iconv has no CP932\n");
    return 1;
  }
  char16_t single[256];
  bool lead[256] = {};
  for (int b = 0; b < 256; ++b) {
    const unsigned char byte = static_cast<unsigned char>(b);
    const std::vector<char16_t> u = Convert(cd, &byte, 1);
    if (u.size() > 1) {
      std::fprintf(stderr, "gen_cp932: byte %02X gives %zu units\n", b, u.size());
      return 1;
    }
    single[b] = u.empty() ? 0xFFFF : u[0];
  }
  std::vector<std::vector<char16_t>> rows;
  uint8_t leadRow[256] = {};
  for (int b1 = 0; b1 < 256; ++b1) {
    if (single[b1] != 0xFFFF) continue;
    std::vector<char16_t> row(256 - kFirstTrail, 0);
    for (int b2 = 0; b2 < 256; ++b2) {
      const unsigned char pair[2] = {static_cast<unsigned char>(b1),
                                     static_cast<unsigned char>(b2)};
      const std::vector<char16_t> u = Convert(cd, pair, 2);
      if (u.empty()) continue;
      if (u.size() != 1 || u[0] == 0 || b2 < kFirstTrail) {
        std::fprintf(stderr, "gen_cp932: %02X %02X does not fit the table\n", b1, b2);
        return 1;
      }
      row[b2 - kFirstTrail] = u[0];
      lead[b1] = true;
    }
    if (lead[b1]) {
      rows.push_back(row);
      leadRow[b1] = static_cast<uint8_t>(rows.size());
    }
  }
  iconv_close(cd);

  std::printf(
      "// CP932 to UTF-16, generated from glibc's iconv by scripts/gen_cp932.cpp (do not edit).\n"
      "// Regenerate: cmake --build --preset dev --target gen_cp932 &&\n"
      "//   build/dev/bin/gen_cp932 > src/base/cp932_table.cpp\n"
      "#include \"base/cp932_table.h\"\n\nnamespace tolvani::cp932 {\n\n"
      "// clang-format off\n"
      "const char16_t kSingle[256] = {");
  PrintRow(single, 256);
  std::printf("\n};\n\nconst Span kSpans[] = {\n");
  size_t spans = 0;
  for (int b = 0; b < 256; ++b)
    if (leadRow[b] != 0) PrintSpans(b, rows[leadRow[b] - 1], &spans);
  std::printf(
      "};\n// clang-format on\n\nconst size_t kSpanCount = %zu;\n\n}  // namespace "
      "tolvani::cp932\n",
      spans);
  std::fprintf(stderr, "gen_cp932: %zu lead bytes, %zu spans\n", rows.size(), spans);
  return 0;
}
