// Image sample transposition from the stored column order (x outer, each
// column `rows` pixels top to bottom) into the row-major order of a pixel
// matrix. The SIMD level's kernels produce the same bytes at every level;
// the reader runs DefaultSimdLevel().
//   Portable: one pixel at a time;
//   Sse:      4 x 4 pixel blocks (SSE2 for four channels, SSSE3 byte
//             shuffles for three);
//   Avx2:     four channels in 16 x 16 tiles of 8 x 8 blocks, three in
//             8 x 8 blocks;
//   Avx512:   three channels in 16 x 16 blocks (AVX-512 BW and VBMI byte
//             permutes); four channels as Avx2.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/simd_level.h"

namespace tolvani {

// Bytes past the end of the last stored column that a transposition may
// read (the values are never used): the source buffer must extend that far.
inline constexpr size_t kTransposeReadSlack = 16;

// Bytes from one column to the next in a buffer of stored columns of `rows`
// pixels of `channels` bytes: whole 64-byte lines, an odd number of them, so
// that the columns of a chunk spread over the level-1 cache sets instead of
// piling into a few (a column is often a power of two long), and at least
// kTransposeReadSlack bytes more than a column.
size_t TransposeColumnPitch(int rows, int channels);

// Columns per chunk when an image of `width` x `height` pixels of `channels`
// bytes is read and transposed a chunk at a time: about 256 KiB, rounded to
// whole 64-column groups where 64 columns take at most 1 MiB, so the chunk
// stays in the level-2 cache. At least 1, at most max(width, 1).
int TransposeChunkColumns(int width, int height, int channels);

// Rows [y0, y1) of `cols` stored columns into a row-major image.
// src: column x (pixels top to bottom, `channels` (3 or 4) bytes each)
// starts at src + x * srcPitch; srcPitch is at least y1 * channels, and the
// bytes up to kTransposeReadSlack past row y1 of the last column are
// readable.
// dst: pixel (x, y) of the range goes to dst + y * dstStride + x * channels.
// Only bytes of pixels (x, y) with 0 <= x < cols and y0 <= y < y1 are
// written, so disjoint column ranges of one image may be transposed
// concurrently. A level this CPU lacks runs the widest one below it.
void ColumnsToRows(const uint8_t* src, size_t srcPitch, int y0, int y1, int cols, int channels,
                   uint8_t* dst, size_t dstStride, SimdLevel level);

}  // namespace tolvani
