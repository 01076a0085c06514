// The archive's byte encoding: strings in every length form, primitives,
// failures, and reading through a real file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "model/archive.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using Bytes = std::vector<uint8_t>;

ArchiveCause CauseOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ArchiveError& e) {
    return e.cause();
  }
  return ArchiveCause::none;
}

TEST(ArchiveStrings, LengthFormsWrittenAndReadBack) {
  // 300 characters: marker, 0xFF, uint16 length.
  std::u16string s300(300, u'x');
  s300[0] = u'\u3042';
  Bytes out;
  CArchive w(out);
  w.WriteString(s300);
  ASSERT_EQ(out.size(), 6u + 600u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), (Bytes{0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01}));
  EXPECT_EQ(out[6], 0x42);
  EXPECT_EQ(out[7], 0x30);

  // Empty and short forms.
  Bytes small;
  CArchive ws(small);
  ws.WriteString(u"");
  ws.WriteString(u"FadeIn");
  EXPECT_EQ(Bytes(small.begin(), small.begin() + 4), (Bytes{0xFF, 0xFE, 0xFF, 0x00}));
  EXPECT_EQ(small[7], 6);
  EXPECT_EQ(small.size(), 4u + 4u + 12u);

  // 254 fits the byte, 255 needs the uint16 form; 65534 needs the uint32 form.
  for (size_t len : {size_t{254}, size_t{255}, size_t{65533}, size_t{65534}, size_t{70000}}) {
    Bytes b;
    CArchive wa(b);
    std::u16string s(len, u'a');
    s[len - 1] = u'\0';  // NUL characters survive
    wa.WriteString(s);
    CArchive ra(b.data(), b.size());
    EXPECT_EQ(ra.ReadString(), s) << len;
    EXPECT_EQ(ra.Remaining(), 0u) << len;
  }
  Bytes b;
  CArchive wb(b);
  wb.WriteStringLength(65534, true);
  EXPECT_EQ(b, (Bytes{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));

  CArchive r(out.data(), out.size());
  EXPECT_EQ(r.ReadString(), s300);
}

TEST(ArchiveStrings, SecondLengthOfFFFEIsALength) {
  Bytes b{0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF};
  b.resize(b.size() + 65534 * 2, 0x41);
  CArchive r(b.data(), b.size());
  const std::u16string s = r.ReadString();
  EXPECT_EQ(s.size(), 65534u);
  EXPECT_EQ(s[0], char16_t(0x4141));
}

TEST(ArchiveStrings, EightBitStringsAreConverted) {
  const Bytes abc{0x03, 'a', 'b', 'c'};
  CArchive r(abc.data(), abc.size());
  EXPECT_EQ(r.ReadString(), u"abc");

  // Shift-JIS by default: 0x82 0xA0 is HIRAGANA A; NUL bytes become NUL.
  EXPECT_EQ(CArchive::CodePage(), "CP932");
  const Bytes sjis{0x04, 0x82, 0xA0, 0x00, 'z'};
  CArchive r2(sjis.data(), sjis.size());
  EXPECT_EQ(r2.ReadString(), std::u16string(u"\u3042\0z", 3));

  // The wide 8-bit forms: 0xFF then uint16 length without the marker.
  Bytes wide{0xFF, 0x2C, 0x01};
  wide.resize(3 + 300, 'q');
  CArchive r3(wide.data(), wide.size());
  EXPECT_EQ(r3.ReadString(), std::u16string(300, u'q'));

  if (CArchive::SetCodePage("ISO-8859-1")) {  // through iconv, where there is one
    const Bytes latin{0x01, 0xE9};
    CArchive r4(latin.data(), latin.size());
    EXPECT_EQ(r4.ReadString(), u"\u00E9");
  }
  CArchive::SetCodePage("");
  EXPECT_EQ(CArchive::CodePage(), "CP932");

  // A byte that is not valid Shift-JIS gives a replacement, not a failure.
  const Bytes bad{0x02, 0x82, 0x20};
  CArchive r5(bad.data(), bad.size());
  const std::u16string s = r5.ReadString();
  ASSERT_FALSE(s.empty());
  EXPECT_EQ(s[0], u'\uFFFD');

  Bytes written;
  CArchive w(written);
  w.WriteAnsiString("hi");
  EXPECT_EQ(written, (Bytes{0x02, 'h', 'i'}));
}

TEST(ArchiveStrings, OversizedLengthsFail) {
  // 64-bit length above 0x7FFFFFFF.
  const Bytes huge64{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80, 0, 0, 0, 0};
  EXPECT_EQ(CauseOf([&] {
              CArchive r(huge64.data(), huge64.size());
              r.ReadString();
            }),
            ArchiveCause::genericException);
  // A 64-bit length within range reads normally.
  const Bytes ok64{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 0, 0, 0, 0, 'o', 'k'};
  CArchive r(ok64.data(), ok64.size());
  EXPECT_EQ(r.ReadString(), u"ok");
  // A 16-bit string of 0x80000000 characters is an invalid argument.
  const Bytes huge16{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};
  EXPECT_THROW(
      {
        CArchive r2(huge16.data(), huge16.size());
        r2.ReadString();
      },
      ArchiveInvalidArgument);
  // A body shorter than announced.
  const Bytes shortBody{0xFF, 0xFE, 0xFF, 0x05, 'a', 0, 'b', 0};
  EXPECT_EQ(CauseOf([&] {
              CArchive r3(shortBody.data(), shortBody.size());
              r3.ReadString();
            }),
            ArchiveCause::endOfFile);
  // A length cut in the middle.
  const Bytes cutLength{0xFF, 0xFE};
  EXPECT_EQ(CauseOf([&] {
              CArchive r4(cutLength.data(), cutLength.size());
              r4.ReadString();
            }),
            ArchiveCause::endOfFile);
}

TEST(ArchivePrimitives, LittleEndianValuesAndFailures) {
  Bytes out;
  CArchive w(out);
  w.WriteInt32(-2);
  w.WriteUInt32(0x01020304);
  w.WriteUInt16(0xBEEF);
  w.WriteByte(7);
  w.WriteBool(true);
  w.WriteFloat(1.5f);
  EXPECT_EQ(out, (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1, 0xEF, 0xBE, 7, 1, 0, 0, 0xC0, 0x3F}));

  CArchive r(out.data(), out.size());
  EXPECT_EQ(r.ReadInt32(), -2);
  EXPECT_EQ(r.ReadUInt32(), 0x01020304u);
  EXPECT_EQ(r.ReadUInt16(), 0xBEEF);
  EXPECT_EQ(r.ReadByte(), 7);
  EXPECT_TRUE(r.ReadBool());
  EXPECT_EQ(r.ReadFloat(), 1.5f);
  EXPECT_EQ(CauseOf([&] { r.ReadByte(); }), ArchiveCause::endOfFile);

  const Bytes two{2};
  CArchive rb(two.data(), two.size());
  EXPECT_TRUE(rb.ReadBool());

  const Bytes cut{1, 2, 3};
  CArchive rc(cut.data(), cut.size());
  EXPECT_EQ(CauseOf([&] { rc.ReadInt32(); }), ArchiveCause::endOfFile);

  // Direction errors.
  EXPECT_EQ(CauseOf([&] { w.ReadInt32(); }), ArchiveCause::writeOnly);
  EXPECT_EQ(CauseOf([&] { w.ReadString(); }), ArchiveCause::writeOnly);
  EXPECT_EQ(CauseOf([&] {
              uint8_t x;
              w.ReadBytes(&x, 1);
            }),
            ArchiveCause::writeOnly);
  CArchive r2(out.data(), out.size());
  EXPECT_EQ(CauseOf([&] { r2.WriteInt32(1); }), ArchiveCause::readOnly);
  EXPECT_EQ(CauseOf([&] { r2.WriteString(u"a"); }), ArchiveCause::readOnly);
  EXPECT_EQ(CauseOf([&] { r2.WriteBytes("a", 1); }), ArchiveCause::readOnly);
}

TEST(ArchiveCounts, NegativeOrUnfittableCountsFailBeforeUse) {
  Bytes out;
  CArchive w(out);
  w.WriteInt32(-1);
  w.WriteInt32(0x7FFFFFFF);
  w.WriteInt32(3);
  out.resize(out.size() + 12);
  CArchive r(out.data(), out.size());
  EXPECT_EQ(CauseOf([&] { r.ReadCount(1); }), ArchiveCause::endOfFile);
  EXPECT_EQ(CauseOf([&] { r.ReadCount(1); }), ArchiveCause::endOfFile);
  EXPECT_EQ(r.ReadCount(4), 3);
  EXPECT_EQ(CauseOf([&] { r.RequireRemaining(4, 4); }), ArchiveCause::endOfFile);
  EXPECT_NO_THROW(r.RequireRemaining(3, 4));
  EXPECT_EQ(CauseOf([&] { r.RequireRemaining(UINT64_MAX, 2); }), ArchiveCause::endOfFile);
}

TEST(ArchiveFile, ReadsAcrossBufferBoundariesAndLargeBlocks) {
  constexpr size_t kB = CArchive::kBufferSize;
  Bytes data(2 * kB + 1808);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
  const std::string path = testing::WriteTempFile(data, "blob.bin");
  InputFile file(testing::U16(path));
  EXPECT_EQ(file.Size(), data.size());
  CArchive r(file);
  EXPECT_EQ(r.Remaining(), data.size());
  EXPECT_EQ(r.ReadByte(), data[0]);
  // Straddles the buffer end: kB - 1 bytes, then an int32 across the refill.
  Bytes a(kB - 2);
  r.ReadBytes(a.data(), a.size());
  EXPECT_TRUE(std::equal(a.begin(), a.end(), data.begin() + 1));
  int32_t v = r.ReadInt32();
  int32_t expect;
  std::memcpy(&expect, &data[kB - 1], 4);
  EXPECT_EQ(v, expect);
  // A large block goes past the buffer.
  Bytes big(kB + 904);
  r.ReadBytes(big.data(), big.size());
  EXPECT_TRUE(std::equal(big.begin(), big.end(), data.begin() + kB + 3));
  const size_t done = 2 * kB + 907;
  EXPECT_EQ(r.Remaining(), data.size() - done);
  Bytes rest(data.size() - done);
  r.ReadBytes(rest.data(), rest.size());
  EXPECT_TRUE(std::equal(rest.begin(), rest.end(), data.begin() + done));
  EXPECT_EQ(CauseOf([&] { r.ReadByte(); }), ArchiveCause::endOfFile);

  // A block longer than what is left fails without reading past the end.
  InputFile file2(testing::U16(path));
  CArchive r2(file2);
  Bytes tooBig(data.size() + 1);
  EXPECT_EQ(CauseOf([&] { r2.ReadBytes(tooBig.data(), tooBig.size()); }), ArchiveCause::endOfFile);
}

// Blocks scattered at a pitch, from a file and from memory, after reads that
// leave the buffer empty, partly covering a block or covering several, and
// more blocks than one scatter read takes; the gaps keep their bytes.
TEST(ArchiveFile, ReadBlocksScattersTheStreamAtAPitch) {
  Bytes data(20000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
  const std::string path = testing::WriteTempFile(data, "blocks.bin");
  struct Case {
    size_t before, count, size, pitch;
  };
  const Case cases[] = {{0, 3, 6000, 6100},  {1, 2, 5000, 5000},    {4090, 4, 100, 164},
                        {100, 40, 7, 64},    {4096, 1, 9000, 9001}, {7, 1500, 3, 5},
                        {10, 1, 4000, 4100}, {0, 3000, 5, 7}};
  for (bool fromFile : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message()
                   << (fromFile ? "file" : "memory") << ", " << c.before << " then " << c.count
                   << " x " << c.size << " at " << c.pitch);
      InputFile file(testing::U16(path));
      std::unique_ptr<CArchive> r = fromFile ? std::make_unique<CArchive>(file)
                                             : std::make_unique<CArchive>(data.data(), data.size());
      Bytes skipped(c.before);
      r->ReadBytes(skipped.data(), skipped.size());
      Bytes out(c.count * c.pitch, 0xEE);
      r->ReadBlocks(out.data(), c.count, c.size, c.pitch);
      Bytes expected(out.size(), 0xEE);
      for (size_t i = 0; i < c.count; ++i)
        std::memcpy(&expected[i * c.pitch], &data[c.before + i * c.size], c.size);
      EXPECT_EQ(out, expected);
      EXPECT_EQ(r->Remaining(), data.size() - c.before - c.count * c.size);
      EXPECT_EQ(r->ReadByte(), data[c.before + c.count * c.size]);
    }
    // More than is left fails before anything is read.
    InputFile file(testing::U16(path));
    std::unique_ptr<CArchive> r = fromFile ? std::make_unique<CArchive>(file)
                                           : std::make_unique<CArchive>(data.data(), data.size());
    Bytes out(4 * 6000);
    EXPECT_EQ(CauseOf([&] { r->ReadBlocks(out.data(), 4, 5001, 6000); }), ArchiveCause::endOfFile);
    EXPECT_EQ(r->Remaining(), data.size());
  }
}

TEST(ArchiveFile, OpenFailuresCarryTheirCause) {
  const std::string dir = testing::MakeTempDir();
  auto causeOf = [](const std::string& p) {
    try {
      InputFile f(testing::U16(p));
    } catch (const FileError& e) {
      return e.cause();
    }
    return FileCause::endOfFile;  // no error
  };
  EXPECT_EQ(causeOf(dir + "missing.zvmov"), FileCause::fileNotFound);
  EXPECT_EQ(causeOf(dir), FileCause::badPath);
  EXPECT_EQ(causeOf(dir + "missing/x.zvmov"), FileCause::fileNotFound);
  const std::string file = testing::WriteTempFile({1}, "f.zvmov");
  EXPECT_EQ(causeOf(file + "/x"), FileCause::badPath);  // ENOTDIR
#if defined(__linux__)  // ENAMETOOLONG; WebAssembly's file layer reports ENOENT
  EXPECT_EQ(causeOf(std::string(5000, 'a')), FileCause::badPath);
#endif
  if (::geteuid() != 0) {
    ::chmod(file.c_str(), 0);
    EXPECT_EQ(causeOf(file), FileCause::accessDenied);
  }
  try {
    InputFile f(testing::U16(dir + "missing.zvmov"));
  } catch (const FileError& e) {
    EXPECT_EQ(e.path(), testing::U16(dir + "missing.zvmov"));
  }
}

TEST(ArchiveText, Utf8RoundTrips) {
  const std::u16string s = u"a\u00E9\u3042\U0001F600z";
  EXPECT_EQ(ToUtf8(s), "a\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80z");
  EXPECT_EQ(FromUtf8(ToUtf8(s)), s);
  EXPECT_EQ(FromUtf8("\xC3"), u"\uFFFD");
  EXPECT_EQ(FromUtf8("\xC0\x80x"), u"\uFFFD\uFFFDx");  // overlong NUL refused
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(DecodeAnsi("\x82\xA0", 2, "CP932"), u"\u3042");
}

}  // namespace
}  // namespace tolvani
