// 8-bit strings: the CP932 table against iconv on every one- and two-byte
// code, and the refusal of code pages that cannot be decoded.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#if TOLVANI_HAVE_ICONV
#include <iconv.h>
#endif

#include "base/text_conversion.h"
#include "model/archive.h"

namespace tolvani {
namespace {

#if TOLVANI_HAVE_ICONV
// The reference: glibc's CP932 through iconv, one U+FFFD per byte it
// refuses, resuming at the next byte.
std::u16string IconvCp932(iconv_t cd, const std::string& bytes) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::u16string result;
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char out[64];
    char* o = out;
    size_t oLeft = sizeof out;
    const size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
    for (char* p = out; p + 1 < o; p += 2)
      result.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                             static_cast<unsigned char>(p[1]) << 8));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      result.push_back(u'\uFFFD');
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return result;
}
#endif

TEST(CodePage, Cp932TableMatchesIconvOnEveryCode) {
#if TOLVANI_HAVE_ICONV
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "this iconv has no CP932";
  // Every byte alone, every pair, and every pair before a byte that pairs
  // with nothing (a lead byte must not swallow a trail it does not form).
  int differences = 0;
  for (int b1 = 0; b1 < 256; ++b1) {
    std::string bytes(1, static_cast<char>(b1));
    differences += DecodeCp932(bytes) != IconvCp932(cd, bytes);
    for (int b2 = 0; b2 < 256; ++b2) {
      bytes = {static_cast<char>(b1), static_cast<char>(b2), '\x80'};
      for (size_t n : {2, 3}) {
        const std::string s = bytes.substr(0, n);
        const std::u16string got = DecodeCp932(s);
        if (got != IconvCp932(cd, s) && ++differences <= 5)
          ADD_FAILURE() << "bytes " << std::hex << b1 << " " << b2 << " (" << n << " bytes)";
      }
    }
  }
  iconv_close(cd);
  EXPECT_EQ(differences, 0);
#else
  GTEST_SKIP() << "no iconv in this build to compare with";
#endif
}

TEST(CodePage, Cp932DecodesKnownText) {
  struct Case {
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"\x82\xA0", u"\u3042"},                  // HIRAGANA A
      {"a\x83\x41z", u"a\u30A2z"},              // KATAKANA A between ASCII
      {"\x5C\x7E", u"\\~"},                     // ASCII as in glibc's CP932
      {"\xB1", u"\uFF71"},                      // half-width katakana
      {"\x87\x40", u"\u2460"},                  // NEC row 13: circled one
      {"\x82\x20", u"\uFFFD "},                 // lead byte, then no trail
      {"\x82", u"\uFFFD"},                      // lead byte at the end
      {"\x80\xA0\xFD", u"\uFFFD\uFFFD\uFFFD"},  // bytes of no character
      {std::string("\x00z", 2), std::u16string(u"\0z", 2)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeCp932(c.bytes), c.text);
    EXPECT_EQ(DecodeAnsi(c.bytes.data(), c.bytes.size(), "cp932"), c.text);
  }
}

TEST(CodePage, UnusableCodePagesAreRefused) {
  ASSERT_EQ(CArchive::CodePage(), "CP932");
  EXPECT_FALSE(CArchive::SetCodePage("NO-SUCH-CODE-PAGE"));
  EXPECT_EQ(CArchive::CodePage(), "CP932");
  // Never read byte for byte as another code page's text.
  EXPECT_EQ(DecodeAnsi("\x82\xA0", 2, "NO-SUCH-CODE-PAGE"), u"\uFFFD\uFFFD");
  // Another code page is used only where iconv can decode it.
  EXPECT_EQ(CArchive::SetCodePage("ISO-8859-1"), TOLVANI_HAVE_ICONV != 0);
  EXPECT_EQ(DecodeAnsi("\xE9", 1, CArchive::CodePage()),
            TOLVANI_HAVE_ICONV ? u"\u00E9" : u"\uFFFD");
  EXPECT_TRUE(CArchive::SetCodePage(""));
  EXPECT_EQ(CArchive::CodePage(), "CP932");
}

}  // namespace
}  // namespace tolvani
