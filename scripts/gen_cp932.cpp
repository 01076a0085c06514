// Writes the CP932 decoding table (src/base/cp932_table.cpp) from the C
// library's iconv, so that every platform decodes 8-bit strings as glibc
// does. Run on glibc; the output is checked in:
//   cmake --build --preset dev --target gen_cp932 &&
//   build/dev/bin/gen_cp932 > src/base/cp932_table.cpp && clang-format -i src/base/cp932_table.cpp
#include <iconv.h>

#include <cstdint>
#include <cstdio>
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
      "//   build/dev/bin/gen_cp932 > src/base/cp932_table.cpp && clang-format -i "
      "src/base/cp932_table.cpp\n"
      "#include \"base/cp932_table.h\"\n\nnamespace tolvani::cp932 {\n\n"
      "const char16_t kSingle[256] = {");
  PrintRow(single, 256);
  std::printf("\n};\n\nconst uint8_t kLeadRow[256] = {");
  for (int b = 0; b < 256; ++b) std::printf("%s%d,", b % 16 == 0 ? "\n    " : " ", leadRow[b]);
  std::printf("\n};\n\nconst char16_t kDouble[kLeadRows][kTrails] = {");
  for (const auto& row : rows) {
    std::printf("\n    {");
    PrintRow(row.data(), static_cast<int>(row.size()));
    std::printf("\n    },");
  }
  std::printf(
      "\n};\n\nstatic_assert(sizeof(kDouble) / sizeof(kDouble[0]) == %zu);\n\n}  // namespace "
      "tolvani::cp932\n",
      rows.size());
  std::fprintf(stderr, "gen_cp932: %zu lead bytes\n", rows.size());
  return 0;
}
