// Image transposition: every SIMD level this CPU runs against a plain
// per-pixel transposition, byte for byte, including the bytes it must leave
// alone; the levels it lacks are reported as skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <vector>

#include "model/image_transpose.h"

namespace tolvani {

// Test names and failures name the level.
inline void PrintTo(SimdLevel level, std::ostream* os) {
  *os << SimdLevelName(level);
}

namespace {

struct Case {
  int rows, cols, channels, y0, y1;
};

// Whole-block sizes, odd edges on either side, row ranges that start and end
// inside a 16-row band, single rows and columns, 64-column groups with and
// without 16-column blocks after them.
const Case kCases[] = {
    {16, 16, 4, 0, 16},     {16, 16, 3, 0, 16},   {64, 48, 4, 0, 64},     {64, 48, 3, 0, 64},
    {37, 23, 4, 0, 37},     {37, 23, 3, 0, 37},   {130, 67, 4, 5, 129},   {130, 67, 3, 5, 129},
    {33, 22, 3, 0, 33},     {33, 21, 3, 0, 33},   {48, 38, 3, 16, 48},    {48, 37, 3, 1, 47},
    {1, 1, 3, 0, 1},        {1, 40, 4, 0, 1},     {40, 1, 3, 0, 40},      {17, 100, 3, 0, 17},
    {2048, 42, 3, 0, 2048}, {256, 32, 4, 0, 256}, {255, 35, 4, 7, 200},   {18, 17, 4, 1, 17},
    {64, 64, 3, 0, 64},     {50, 150, 3, 3, 50},  {2048, 64, 3, 0, 2048}, {40, 200, 3, 0, 40},
    {33, 128, 3, 0, 33},    {16, 80, 4, 0, 16},
};

class ImageTranspose : public ::testing::TestWithParam<SimdLevel> {
 protected:
  void SetUp() override {
    if (!SimdLevelSupported(GetParam()))
      GTEST_SKIP() << "this CPU lacks the " << SimdLevelName(GetParam()) << " level";
  }
};

// Each case, into rows of an odd stride at an odd offset and into 64-byte
// aligned rows (where the wide kernels stream past the cache). Bytes outside
// the range must keep their value.
TEST_P(ImageTranspose, MatchesPlainTransposition) {
  constexpr uint8_t kUntouched = 0xA5;
  const SimdLevel level = GetParam();
  for (const Case& c : kCases) {
    for (bool aligned : {false, true}) {
      SCOPED_TRACE(::testing::Message()
                   << c.rows << " rows x " << c.cols << " columns x " << c.channels << ", rows "
                   << c.y0 << ".." << c.y1 << (aligned ? ", aligned" : ""));
      const size_t n = static_cast<size_t>(c.channels);
      // Stored columns back to back, or at the reader's pitch.
      const size_t pitch = aligned ? TransposeColumnPitch(c.rows, c.channels) : c.rows * n;
      std::vector<uint8_t> src(c.cols * pitch + kTransposeReadSlack);
      for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 131 + i / 251);
      // Bytes left of the range in each row, and the row stride.
      const size_t margin = aligned ? 64 : 3 * n;
      const size_t stride =
          aligned ? (margin + c.cols * n + 64 + 63) / 64 * 64 : margin + c.cols * n + 3 * n + 5;
      std::vector<uint8_t> buffer(stride * c.rows + 64, kUntouched);
      const size_t base = aligned ? (64 - reinterpret_cast<uintptr_t>(buffer.data()) % 64) % 64 : 0;
      ColumnsToRows(src.data(), pitch, c.y0, c.y1, c.cols, c.channels,
                    buffer.data() + base + margin, stride, level);
      std::vector<uint8_t> expected(buffer.size(), kUntouched);
      for (int y = c.y0; y < c.y1; ++y)
        for (int x = 0; x < c.cols; ++x)
          std::memcpy(&expected[base + y * stride + margin + x * n], &src[x * pitch + y * n], n);
      size_t wrong = 0, first = buffer.size();
      for (size_t i = 0; i < buffer.size(); ++i)
        if (buffer[i] != expected[i]) {
          ++wrong;
          first = std::min(first, i);
        }
      EXPECT_EQ(wrong, 0u) << "first at buffer byte " << first;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, ImageTranspose, ::testing::ValuesIn(kSimdLevels),
                         [](const auto& info) { return SimdLevelName(info.param); });

// The process-wide cap lowers the default level, never raises it past the
// CPU; a level the CPU lacks runs as the widest it has.
TEST(SimdLevel, CapAndCpuBoundTheLevelRun) {
  for (SimdLevel cap : kSimdLevels) {
    LimitSimdLevel(cap);
    EXPECT_EQ(DefaultSimdLevel(), std::min(cap, CpuSimdLevel())) << SimdLevelName(cap);
    EXPECT_EQ(RunnableSimdLevel(cap), std::min(cap, CpuSimdLevel())) << SimdLevelName(cap);
    EXPECT_EQ(SimdLevelSupported(cap), cap <= CpuSimdLevel()) << SimdLevelName(cap);
  }
  LimitSimdLevel(SimdLevel::Avx512);
  EXPECT_EQ(DefaultSimdLevel(), CpuSimdLevel());
}

}  // namespace
}  // namespace tolvani
