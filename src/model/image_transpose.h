// Image sample transposition from the stored column order (x outer, each
// column `rows` pixels top to bottom) into the row-major order of a pixel
// matrix. Several instruction-set paths produce the same bytes; the reader
// takes the fastest one the CPU runs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvani {

// Paths of the transposition, plainest first. Every path writes the same
// bytes for the same input.
enum class TransposePath : int {
  scalar,  // one pixel at a time
  sse,     // 4 x 4 pixel blocks: SSE2 (4 channels), SSSE3 byte shuffles (3)
  avx2,    // AVX2: 4 channels in 16 x 16 tiles of 8 x 8 blocks, 3 in 8 x 8 blocks
  avx512,  // 3 channels: 16 x 16 blocks, AVX-512 BW and VBMI byte permutes;
           // 4 channels as avx2
};

inline constexpr TransposePath kTransposePaths[] = {TransposePath::scalar, TransposePath::sse,
                                                    TransposePath::avx2, TransposePath::avx512};

// Bytes past the end of the last stored column that a transposition may
// read (the values are never used): the source buffer must extend that far.
inline constexpr size_t kTransposeReadSlack = 16;

// Whether this CPU runs `path` (scalar always).
bool TransposePathSupported(TransposePath path);
// The fastest supported path (probed once), capped by LimitTransposePath.
TransposePath BestTransposePath();
// Caps BestTransposePath at `most` for the whole process (benchmarks compare
// paths with it); call before reading, not while a read runs.
void LimitTransposePath(TransposePath most);

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
// concurrently. An unsupported path falls back to a plainer one.
void ColumnsToRows(const uint8_t* src, size_t srcPitch, int y0, int y1, int cols, int channels,
                   uint8_t* dst, size_t dstStride, TransposePath path);

}  // namespace tolvani
