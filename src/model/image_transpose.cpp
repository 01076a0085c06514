// Image transposition kernels by SIMD level: one pixel at a time, 4 x 4
// blocks (SSE2 / SSSE3), 8 x 8 blocks and 16 x 16 tiles (AVX2), 16 x 16
// blocks (AVX-512). The wide kernels do the largest whole-block rectangle
// and leave the edges to the plainer ones.
#include "model/image_transpose.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
// GCC 12's AVX-512 intrinsics seed their results with a self-initialised
// "undefined" vector, which -Wmaybe-uninitialized reports at every use.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#define TOLVANI_TRANSPOSE_X86 1
#endif

namespace tolvani {

namespace {

// Stripes of kStripe columns: each row of a stripe is one short sequential
// write gathered from kStripe column streams, so both sides stay in cache
// and no row stride (often a power of two) piles up in one cache set.
constexpr int kStripe = 32;

#if defined(TOLVANI_TRANSPOSE_X86)
// Three channels, rows [y, y1 & ~3) of one stripe, in 4 x 4 pixel blocks:
// each column's four pixels are spread to 4-byte lanes, the lanes are
// transposed as in the four-channel path, and each row's four pixels are
// packed back to 12 bytes. A row's 16-byte store also writes the 4 bytes
// after the block, which a later store of the same row writes properly;
// near the end of the range a block stores only its 12 bytes.
// Returns the first row not done.
__attribute__((target("ssse3"))) int ColumnsToRows3Blocks(const uint8_t* stripe, size_t column,
                                                          int y, int y1, int width, bool lastStripe,
                                                          uint8_t* dst, size_t dstStride, int x0) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const int blocks = width & ~3;
  for (; y + 4 <= y1; y += 4) {
    uint8_t* d = dst + static_cast<size_t>(y) * dstStride + static_cast<size_t>(x0) * 3;
    const uint8_t* s = stripe + static_cast<size_t>(y) * 3;
    int x = 0;
    for (; x < blocks; x += 4, s += 4 * column) {
      const __m128i a =
          _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), spread);
      const __m128i b =
          _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + column)), spread);
      const __m128i c = _mm_shuffle_epi8(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * column)), spread);
      const __m128i e = _mm_shuffle_epi8(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * column)), spread);
      const __m128i ab01 = _mm_unpacklo_epi32(a, b), ce01 = _mm_unpacklo_epi32(c, e);
      const __m128i ab23 = _mm_unpackhi_epi32(a, b), ce23 = _mm_unpackhi_epi32(c, e);
      const __m128i r[4] = {_mm_shuffle_epi8(_mm_unpacklo_epi64(ab01, ce01), pack),
                            _mm_shuffle_epi8(_mm_unpackhi_epi64(ab01, ce01), pack),
                            _mm_shuffle_epi8(_mm_unpacklo_epi64(ab23, ce23), pack),
                            _mm_shuffle_epi8(_mm_unpackhi_epi64(ab23, ce23), pack)};
      uint8_t* o = d + static_cast<size_t>(x) * 3;
      // The 16-byte store reaches 4 bytes (pixel x + 4 and one byte of
      // x + 5) past the block: only while those lie inside the range.
      const bool wide = x + 6 <= width || !lastStripe;
      for (int k = 0; k < 4; ++k) {
        uint8_t* row = o + static_cast<size_t>(k) * dstStride;
        if (wide) {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(row), r[k]);
        } else {
          alignas(16) uint8_t tmp[16];
          _mm_store_si128(reinterpret_cast<__m128i*>(tmp), r[k]);
          std::memcpy(row, tmp, 12);
        }
      }
    }
    for (; x < width; ++x, s += column)
      for (int k = 0; k < 4; ++k)
        std::memcpy(d + static_cast<size_t>(k) * dstStride + static_cast<size_t>(x) * 3, s + k * 3,
                    3);
  }
  return y;
}

// Four channels, rows [y, y1 & ~3) of one stripe, in 4 x 4 pixel blocks
// transposed in SSE2 registers. Returns the first row not done.
__attribute__((target("sse2"))) int ColumnsToRows4Blocks(const uint8_t* stripe, size_t column,
                                                         int y, int y1, int width, uint8_t* dst,
                                                         size_t dstStride, int x0) {
  const int blocks = width & ~3;
  for (; y + 4 <= y1; y += 4) {
    uint8_t* d = dst + static_cast<size_t>(y) * dstStride + static_cast<size_t>(x0) * 4;
    const uint8_t* s = stripe + static_cast<size_t>(y) * 4;
    int x = 0;
    for (; x < blocks; x += 4, s += 4 * column) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + column));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * column));
      const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * column));
      const __m128i ab01 = _mm_unpacklo_epi32(a, b), ce01 = _mm_unpacklo_epi32(c, e);
      const __m128i ab23 = _mm_unpackhi_epi32(a, b), ce23 = _mm_unpackhi_epi32(c, e);
      uint8_t* o = d + static_cast<size_t>(x) * 4;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi64(ab01, ce01));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + dstStride), _mm_unpackhi_epi64(ab01, ce01));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * dstStride),
                       _mm_unpacklo_epi64(ab23, ce23));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 3 * dstStride),
                       _mm_unpackhi_epi64(ab23, ce23));
    }
    for (; x < width; ++x, s += column)
      for (int r = 0; r < 4; ++r)
        std::memcpy(d + static_cast<size_t>(r) * dstStride + static_cast<size_t>(x) * 4, s + r * 4,
                    4);
  }
  return y;
}
#endif

// Scalar and 4 x 4 paths. Three channels, scalar: each pixel but a stripe
// row's last one moves as one 4-byte load and store; the fourth byte lands
// on the next pixel, which the following store writes properly.
template <int N>
void ColumnsToRowsSmall(const uint8_t* src, size_t column, int y0, int y1, int cols, uint8_t* dst,
                        size_t dstStride, bool blocks) {
  for (int x0 = 0; x0 < cols; x0 += kStripe) {
    const int width = std::min(kStripe, cols - x0);
    const uint8_t* stripe = src + static_cast<size_t>(x0) * column;
    int y = y0;
#if defined(TOLVANI_TRANSPOSE_X86)
    if (blocks) {
      if constexpr (N == 3)
        y = ColumnsToRows3Blocks(stripe, column, y, y1, width, x0 + width >= cols, dst, dstStride,
                                 x0);
      else
        y = ColumnsToRows4Blocks(stripe, column, y, y1, width, dst, dstStride, x0);
    }
#else
    (void)blocks;
#endif
    for (; y < y1; ++y) {
      uint8_t* d = dst + static_cast<size_t>(y) * dstStride + static_cast<size_t>(x0) * N;
      const uint8_t* s = stripe + static_cast<size_t>(y) * N;
      int x = 0;
      if constexpr (N == 3) {
        for (; x + 1 < width; ++x, d += 3, s += column) std::memcpy(d, s, 4);
      }
      for (; x < width; ++x, d += N, s += column) std::memcpy(d, s, N);
    }
  }
}

#if defined(TOLVANI_TRANSPOSE_X86)
#define TOLVANI_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// Transposes the 16 x 16 matrix of 4-byte lanes in a: lane r of a[c] ends
// in lane c of a[r].
TOLVANI_AVX512 inline void Transpose16(__m512i (&a)[16]) {
  __m512i t[16];
  for (int i = 0; i < 16; i += 2) {
    t[i] = _mm512_unpacklo_epi32(a[i], a[i + 1]);
    t[i + 1] = _mm512_unpackhi_epi32(a[i], a[i + 1]);
  }
  // u[4i + j], 128-bit lane l: lane 4l + j of a[4i .. 4i + 3].
  __m512i u[16];
  for (int i = 0; i < 16; i += 4) {
    u[i] = _mm512_unpacklo_epi64(t[i], t[i + 2]);
    u[i + 1] = _mm512_unpackhi_epi64(t[i], t[i + 2]);
    u[i + 2] = _mm512_unpacklo_epi64(t[i + 1], t[i + 3]);
    u[i + 3] = _mm512_unpackhi_epi64(t[i + 1], t[i + 3]);
  }
  for (int j = 0; j < 4; ++j) {
    const __m512i v0 = _mm512_shuffle_i32x4(u[j], u[4 + j], 0x88);
    const __m512i v1 = _mm512_shuffle_i32x4(u[j], u[4 + j], 0xDD);
    const __m512i w0 = _mm512_shuffle_i32x4(u[8 + j], u[12 + j], 0x88);
    const __m512i w1 = _mm512_shuffle_i32x4(u[8 + j], u[12 + j], 0xDD);
    a[j] = _mm512_shuffle_i32x4(v0, w0, 0x88);
    a[4 + j] = _mm512_shuffle_i32x4(v1, w1, 0x88);
    a[8 + j] = _mm512_shuffle_i32x4(v0, w0, 0xDD);
    a[12 + j] = _mm512_shuffle_i32x4(v1, w1, 0xDD);
  }
}

// Three channels, rows [y0, y0 + 16 * bandsY) x columns [0, 16 * blocksX)
// in 16 x 16 blocks (the columns left after the 64-column groups): each
// column's 16 pixels (48 bytes) are spread to 4-byte lanes, transposed, and
// packed back; a row's 64-byte store also writes the 16 bytes after the
// block (pixels x + 16 .. x + 21), which the next block of the row writes
// properly: the last block of a row whose next pixels lie outside the range
// stores its 48 bytes under a mask.
TOLVANI_AVX512 void ColumnsToRows16x3(const uint8_t* src, size_t column, int y0, int bandsY,
                                      int blocksX, int cols, uint8_t* dst, size_t dstStride) {
  const __m512i spread = _mm512_set_epi8(
      63, 47, 46, 45, 63, 44, 43, 42, 63, 41, 40, 39, 63, 38, 37, 36, 63, 35, 34, 33, 63, 32, 31,
      30, 63, 29, 28, 27, 63, 26, 25, 24, 63, 23, 22, 21, 63, 20, 19, 18, 63, 17, 16, 15, 63, 14,
      13, 12, 63, 11, 10, 9, 63, 8, 7, 6, 63, 5, 4, 3, 63, 2, 1, 0);
  const __m512i pack = _mm512_set_epi8(
      63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 62, 61, 60, 58, 57, 56, 54,
      53, 52, 50, 49, 48, 46, 45, 44, 42, 41, 40, 38, 37, 36, 34, 33, 32, 30, 29, 28, 26, 25, 24,
      22, 21, 20, 18, 17, 16, 14, 13, 12, 10, 9, 8, 6, 5, 4, 2, 1, 0);
  constexpr __mmask64 k48 = (__mmask64{1} << 48) - 1;
  for (int b = 0; b < bandsY; ++b) {
    const int y = y0 + 16 * b;
    uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
    const uint8_t* s = src + static_cast<size_t>(y) * 3;
    for (int bx = 0; bx < blocksX; ++bx, s += 16 * column) {
      __m512i a[16];
      for (int c = 0; c < 16; ++c)
        a[c] = _mm512_permutexvar_epi8(spread, _mm512_loadu_si512(s + c * column));
      if (b + 1 < bandsY)
        for (int c = 0; c < 16; ++c) _mm_prefetch(s + c * column + 48 + 63, _MM_HINT_T0);
      Transpose16(a);
      uint8_t* o = d + static_cast<size_t>(bx) * 48;
      const bool wide = bx * 16 + 22 <= cols;
      for (int r = 0; r < 16; ++r) {
        const __m512i row = _mm512_permutexvar_epi8(pack, a[r]);
        if (wide)
          _mm512_storeu_si512(o + r * dstStride, row);
        else
          _mm512_mask_storeu_epi8(o + r * dstStride, k48, row);
      }
    }
  }
}

// Byte permutes that pack and join the transposed rows of two neighbouring
// 16-column blocks (4-byte lanes, the fourth byte unused) into one of the
// three 64-byte lines of a 64-column, three-channel row: byte i of line L is
// byte 64 L + i of the packed row; index bit 6 picks the second block.
struct Join3Table {
  alignas(64) uint8_t index[3][64];
  constexpr Join3Table() : index{} {
    for (int line = 0; line < 3; ++line)
      for (int i = 0; i < 64; ++i) {
        const int g = 64 * line + i, block = g / 48, o = g % 48;
        index[line][i] = static_cast<uint8_t>((block - line) * 64 + 4 * (o / 3) + o % 3);
      }
  }
};
constexpr Join3Table kJoin3;

// Three channels, rows [y0, y0 + 16 * bandsY) x columns [0, 64 * groups):
// per 16-row band, four 16 x 16 blocks whose rows are joined into whole
// 64-byte lines, streamed past the cache when dst and its stride are 64-byte
// aligned.
TOLVANI_AVX512 void ColumnsToRows64x3(const uint8_t* src, size_t column, int y0, int bandsY,
                                      int groups, uint8_t* dst, size_t dstStride) {
  const __m512i spread = _mm512_set_epi8(
      63, 47, 46, 45, 63, 44, 43, 42, 63, 41, 40, 39, 63, 38, 37, 36, 63, 35, 34, 33, 63, 32, 31,
      30, 63, 29, 28, 27, 63, 26, 25, 24, 63, 23, 22, 21, 63, 20, 19, 18, 63, 17, 16, 15, 63, 14,
      13, 12, 63, 11, 10, 9, 63, 8, 7, 6, 63, 5, 4, 3, 63, 2, 1, 0);
  const __m512i join[3] = {_mm512_load_si512(kJoin3.index[0]), _mm512_load_si512(kJoin3.index[1]),
                           _mm512_load_si512(kJoin3.index[2])};
  const bool stream = ((reinterpret_cast<uintptr_t>(dst) | dstStride) & 63) == 0;
  for (int b = 0; b < bandsY; ++b) {
    const int y = y0 + 16 * b;
    const uint8_t* s = src + static_cast<size_t>(y) * 3;
    uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
    for (int g = 0; g < groups; ++g, d += 192) {
      __m512i prev[16];
      for (int blk = 0; blk < 4; ++blk, s += 16 * column) {
        __m512i a[16];
        for (int c = 0; c < 16; ++c)
          a[c] = _mm512_permutexvar_epi8(spread, _mm512_loadu_si512(s + c * column));
        if (b + 1 < bandsY)
          for (int c = 0; c < 16; ++c) _mm_prefetch(s + c * column + 48 + 63, _MM_HINT_T0);
        Transpose16(a);
        if (blk > 0) {
          uint8_t* o = d + 64 * (blk - 1);
          for (int r = 0; r < 16; ++r) {
            const __m512i line = _mm512_permutex2var_epi8(prev[r], join[blk - 1], a[r]);
            if (stream)
              _mm512_stream_si512(reinterpret_cast<__m512i*>(o + r * dstStride), line);
            else
              _mm512_storeu_si512(o + r * dstStride, line);
          }
        }
        for (int r = 0; r < 16; ++r) prev[r] = a[r];
      }
    }
  }
  _mm_sfence();
}

#define TOLVANI_AVX2 __attribute__((target("avx2")))

// Transposes the 8 x 8 matrix of 4-byte lanes in a: lane r of a[c] ends in
// lane c of a[r].
TOLVANI_AVX2 inline void Transpose8(__m256i (&a)[8]) {
  __m256i t[8], u[8];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_epi32(a[i], a[i + 1]);
    t[i + 1] = _mm256_unpackhi_epi32(a[i], a[i + 1]);
  }
  // u[4i + j], 128-bit lane l: lane 4l + j of a[4i .. 4i + 3].
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
    u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
    u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
    u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
  }
  for (int j = 0; j < 4; ++j) {
    a[j] = _mm256_permute2x128_si256(u[j], u[4 + j], 0x20);
    a[4 + j] = _mm256_permute2x128_si256(u[j], u[4 + j], 0x31);
  }
}

// Four channels, rows [y0, y0 + 16 * bandsY) x columns [0, 16 * blocksX) in
// 16 x 16 tiles of four 8 x 8 transpositions: each tile row is one 64-byte
// line written by two 32-byte stores in a row, streamed past the cache when
// dst and its stride are 64-byte aligned.
TOLVANI_AVX2 void ColumnsToRows16x4Avx2(const uint8_t* src, size_t column, int y0, int bandsY,
                                        int blocksX, uint8_t* dst, size_t dstStride) {
  const bool stream = ((reinterpret_cast<uintptr_t>(dst) | dstStride) & 63) == 0;
  for (int b = 0; b < bandsY; ++b) {
    const int y = y0 + 16 * b;
    const uint8_t* s = src + static_cast<size_t>(y) * 4;
    for (int bx = 0; bx < blocksX; ++bx, s += 16 * column) {
      uint8_t* o = dst + static_cast<size_t>(y) * dstStride + static_cast<size_t>(bx) * 64;
      for (int half = 0; half < 2; ++half) {  // rows y .. y + 7, then y + 8 .. y + 15
        __m256i l[8], r[8];
        for (int c = 0; c < 8; ++c) {
          l[c] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + c * column + 32 * half));
          r[c] = _mm256_loadu_si256(
              reinterpret_cast<const __m256i*>(s + (8 + c) * column + 32 * half));
        }
        Transpose8(l);
        Transpose8(r);
        uint8_t* row = o + static_cast<size_t>(8 * half) * dstStride;
        for (int k = 0; k < 8; ++k, row += dstStride) {
          if (stream) {
            _mm256_stream_si256(reinterpret_cast<__m256i*>(row), l[k]);
            _mm256_stream_si256(reinterpret_cast<__m256i*>(row + 32), r[k]);
          } else {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(row), l[k]);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + 32), r[k]);
          }
        }
      }
      if (b + 1 < bandsY)
        for (int c = 0; c < 16; ++c) _mm_prefetch(s + c * column + 64 + 63, _MM_HINT_T0);
    }
  }
  _mm_sfence();
}

// The 8 x 8 block of three-channel pixels whose first column starts at s,
// one output row per register (a pixel per 4-byte lane); prefetches the
// next band of the same columns when asked.
TOLVANI_AVX2 inline void LoadBlock8x3(const uint8_t* s, size_t column, bool prefetch, __m256i split,
                                      __m256i spread, __m256i (&a)[8]) {
  for (int c = 0; c < 8; ++c) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + c * column));
    a[c] = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(v, split), spread);
  }
  if (prefetch)
    for (int c = 0; c < 8; ++c) _mm_prefetch(s + c * column + 24 + 31, _MM_HINT_T0);
  Transpose8(a);
}

// Three channels, rows [y0, y0 + 8 * bandsY) x columns [0, 8 * blocksX) in
// 8 x 8 blocks: each column's 8 pixels (24 bytes) are split over the two
// 128-bit lanes and spread to 4-byte lanes, transposed, and packed back to
// 24 bytes. A row's 32-byte store also writes the 8 bytes after the block
// (pixels x + 8 .. x + 10), which the next block of the row writes properly;
// where those lie outside the range the block stores 16 + 8 bytes.
TOLVANI_AVX2 void ColumnsToRows8x3Avx2(const uint8_t* src, size_t column, int y0, int bandsY,
                                       int blocksX, int cols, uint8_t* dst, size_t dstStride) {
  const __m256i split = _mm256_setr_epi32(0, 1, 2, 2, 3, 4, 5, 5);
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
                                          1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                        1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
  // With 64-byte aligned rows, groups of 64 columns are packed into a small
  // buffer and streamed to dst a whole line at a time.
  const bool stream = ((reinterpret_cast<uintptr_t>(dst) | dstStride) & 63) == 0;
  const int groups = stream ? blocksX / 8 : 0;
  alignas(64) uint8_t lines[8][192 + 32];
  for (int b = 0; b < bandsY; ++b) {
    const int y = y0 + 8 * b;
    uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
    const uint8_t* s = src + static_cast<size_t>(y) * 3;
    for (int g = 0; g < groups; ++g) {
      for (int blk = 0; blk < 8; ++blk, s += 8 * column) {
        __m256i a[8];
        LoadBlock8x3(s, column, b + 1 < bandsY, split, spread, a);
        for (int r = 0; r < 8; ++r)
          _mm256_storeu_si256(reinterpret_cast<__m256i*>(lines[r] + blk * 24),
                              _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(a[r], pack), join));
      }
      for (int r = 0; r < 8; ++r) {
        uint8_t* out = d + r * dstStride + g * 192;
        for (int k = 0; k < 192; k += 32)
          _mm256_stream_si256(reinterpret_cast<__m256i*>(out + k),
                              _mm256_load_si256(reinterpret_cast<const __m256i*>(lines[r] + k)));
      }
    }
    for (int bx = 8 * groups; bx < blocksX; ++bx, s += 8 * column) {
      __m256i a[8];
      LoadBlock8x3(s, column, b + 1 < bandsY, split, spread, a);
      uint8_t* o = d + static_cast<size_t>(bx) * 24;
      const bool wide = bx * 8 + 11 <= cols;
      for (int r = 0; r < 8; ++r) {
        const __m256i row = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(a[r], pack), join);
        uint8_t* out = o + r * dstStride;
        if (wide) {
          _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), row);
        } else {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(row));
          _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(row, 1));
        }
      }
    }
  }
  _mm_sfence();
}

#endif

// level: one this CPU runs.
template <int N>
void ColumnsToRowsN(const uint8_t* src, size_t column, int y0, int y1, int cols, uint8_t* dst,
                    size_t dstStride, SimdLevel level) {
  if (cols <= 0 || y1 <= y0) return;
  (void)level;  // only the x86 paths choose
#if defined(TOLVANI_TRANSPOSE_X86)
  // The wide kernels take the whole tiles (16 x 16 pixels, 8 x 8 for three
  // channels on AVX2); the right edge of their rows, then every column of the
  // rows below, go the 4 x 4 way.
  int bandsY = (y1 - y0) / 16, blocksX = cols / 16, tile = 16;
  bool wide = false;
  if (bandsY > 0 && blocksX > 0) {
    if constexpr (N == 4) {
      // AVX-512 adds nothing here: 16 x 16 blocks in 512-bit registers were
      // slower than the AVX2 tiles on a Zen 4 core.
      if (level >= SimdLevel::Avx2) {
        ColumnsToRows16x4Avx2(src, column, y0, bandsY, blocksX, dst, dstStride);
        wide = true;
      }
    } else if (level >= SimdLevel::Avx512) {
      const int groups = cols / 64, xGroups = 64 * groups;
      if (groups > 0) ColumnsToRows64x3(src, column, y0, bandsY, groups, dst, dstStride);
      if (blocksX * 16 > xGroups)
        ColumnsToRows16x3(src + static_cast<size_t>(xGroups) * column, column, y0, bandsY,
                          blocksX - xGroups / 16, cols - xGroups,
                          dst + static_cast<size_t>(xGroups) * 3, dstStride);
      wide = true;
    }
  }
  if constexpr (N == 3) {
    if (!wide && level >= SimdLevel::Avx2) {
      tile = 8;
      bandsY = (y1 - y0) / 8;
      blocksX = cols / 8;
      if (bandsY > 0 && blocksX > 0) {
        ColumnsToRows8x3Avx2(src, column, y0, bandsY, blocksX, cols, dst, dstStride);
        wide = true;
      }
    }
  }
  if (wide) {
    const int yDone = y0 + tile * bandsY, xDone = tile * blocksX;
    ColumnsToRowsSmall<N>(src + static_cast<size_t>(xDone) * column, column, y0, yDone,
                          cols - xDone, dst + static_cast<size_t>(xDone) * N, dstStride, true);
    ColumnsToRowsSmall<N>(src, column, yDone, y1, cols, dst, dstStride, true);
    return;
  }
  const bool blocks = level >= SimdLevel::Sse;
#else
  (void)level;
  const bool blocks = false;
#endif
  ColumnsToRowsSmall<N>(src, column, y0, y1, cols, dst, dstStride, blocks);
}

}  // namespace

size_t TransposeColumnPitch(int rows, int channels) {
  const size_t bytes = static_cast<size_t>(std::max(rows, 0)) * std::max(channels, 1);
  const size_t lines = (bytes + kTransposeReadSlack + 63) / 64;
  return (lines | 1) * 64;
}

int TransposeChunkColumns(int width, int height, int channels) {
  const size_t column = static_cast<size_t>(std::max(height, 0)) * std::max(channels, 1);
  const size_t cap = static_cast<size_t>(std::max(width, 1));
  if (column == 0) return static_cast<int>(cap);
  // Whole 64-column groups: whole 64-byte lines in every row of a chunk (the
  // three-channel groups need them; four channels measured faster with 64
  // columns, 256 bytes a row, than with 32).
  const size_t unit = 64;
  size_t chunk = (size_t{256} << 10) / column;
  if (unit * column <= (size_t{1} << 20)) chunk = std::max(unit, chunk / unit * unit);
  return static_cast<int>(std::clamp<size_t>(chunk, 1, cap));
}

void ColumnsToRows(const uint8_t* src, size_t srcPitch, int y0, int y1, int cols, int channels,
                   uint8_t* dst, size_t dstStride, SimdLevel level) {
  const SimdLevel run = RunnableSimdLevel(level);
  if (channels == 4)
    ColumnsToRowsN<4>(src, srcPitch, y0, y1, cols, dst, dstStride, run);
  else
    ColumnsToRowsN<3>(src, srcPitch, y0, y1, cols, dst, dstStride, run);
}

}  // namespace tolvani
