// Mesh preparation on the flat face table.
//
// Results are bit-identical to the plain algorithm (per-vertex face lists,
// per-corner merged lists, float32 dot products, the double arc cosine
// narrowed to float and compared with the float threshold, sums in list
// order). Two things make it fast without changing a bit:
//  - the arc cosine test is replaced by a cut-off on the dot product found
//    once per model by bisection over the float values in [-1, 1]; dots very
//    close to the cut-off still take the real arc cosine;
//  - corners are independent, so large models split their faces (or
//    vertices) over two threads, each writing its own part of the
//    preallocated outputs;
//  - with AVX2, corner normals go vertex by vertex, eight corners of a vertex
//    per register, each lane doing the plain per-corner operations; with
//    AVX-512F two vertices share a register;
//  - a model whose indices are all in range (one vectorised pass) keeps no
//    per-face usability flags.
//
// Work bound: merging visits, for every corner, every face listed under its
// vertex, so its cost is the sum over vertices of (list length)^2. Real
// meshes stay far below kMergeBudget (a 1,000,000-triangle grid needs about
// 4e7 steps); a crafted file that shares a few vertices between huge numbers
// of faces would not finish. When the sum exceeds the budget, the vertices
// with the longest lists, longest first, are shaded flat (each corner keeps
// its own face's normal) until the rest fits.
//
// Bad indices: a face with any vertex index outside the vertex list is
// "unusable": it is listed under no vertex, keeps a zero face normal and zero
// corner normals and yields no drawing vertices. Missing bones / parents /
// weights read as -1 / -1 / 1.
#include "prepare/mesh_preparation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/memory_policy.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tolvani {

namespace {

// Faces whose normals are summed, then normalised, in one go.
constexpr size_t kNormalBlock = 1024;

// Faces per worker below which threads are not worth starting.
constexpr size_t kMinFacesPerThread = 65536;

// Most list steps the merging may take (see the work bound above).
constexpr double kMergeBudget = 1u << 30;

// Vertices whose corners are shaded flat to keep the merging within budget
// (empty when nothing needs to be).
std::vector<uint8_t> FlatVertices(const std::vector<uint32_t>& rowStart) {
  const size_t vertexCount = rowStart.size() - 1;
  // The usual case first, in exact integers (no sum of squares of lengths
  // below 2^32 overflows 64 bits): within budget, nothing is flat.
  uint64_t steps = 0;
  for (size_t v = 0; v < vertexCount; ++v) {
    const uint64_t n = rowStart[v + 1] - rowStart[v];
    steps += n * n;
  }
  if (steps <= static_cast<uint64_t>(kMergeBudget)) return {};
  double work = 0;
  for (size_t v = 0; v < vertexCount; ++v) {
    const double n = rowStart[v + 1] - rowStart[v];
    work += n * n;
  }
  if (work <= kMergeBudget) return {};
  std::vector<uint32_t> order(vertexCount);
  for (size_t v = 0; v < vertexCount; ++v) order[v] = static_cast<uint32_t>(v);
  auto length = [&](uint32_t v) { return rowStart[v + 1] - rowStart[v]; };
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return length(a) > length(b); });
  std::vector<uint8_t> flat(vertexCount, 0);
  for (uint32_t v : order) {
    if (work <= kMergeBudget) break;
    const double n = length(v);
    work -= n * n;
    flat[v] = 1;
  }
  return flat;
}

Vec3 Normalized(Vec3 n) {
  const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (!(length > 0.0f)) return Vec3{0, 0, 0};
  return Vec3{n.x / length, n.y / length, n.z / length};
}

// Normalized over an array, in place. With SSE2 four vectors at a time; the
// same operations in the same order per element (x*x + y*y, + z*z, square
// root, three divisions, zero unless the length is above 0), each correctly
// rounded, so the results are bit-identical to Normalized.
void NormalizeAll(Vec3* v, size_t n) {
  if (n == 0) return;  // v may be null then
  size_t i = 0;
#if defined(__SSE2__)
  static_assert(sizeof(Vec3) == 12);
  float* p = &v[0].x;
  const __m128 zero = _mm_setzero_ps();
  for (; i + 4 <= n; i += 4, p += 12) {
    // a = x0 y0 z0 x1, b = y1 z1 x2 y2, c = z2 x3 y3 z3
    const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4), c = _mm_loadu_ps(p + 8);
    const __m128 x0x1y1z1 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 3, 0));  // x0 x1 y1 z1
    const __m128 x2y2x3y3 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 1, 3, 2));  // x2 y2 x3 y3
    const __m128 x = _mm_shuffle_ps(x0x1y1z1, x2y2x3y3, _MM_SHUFFLE(2, 0, 1, 0));
    const __m128 y0z0y1z1 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 2, 1));  // y0 z0 y1 z1
    const __m128 y = _mm_shuffle_ps(y0z0y1z1, x2y2x3y3, _MM_SHUFFLE(3, 1, 2, 0));
    const __m128 z2z3 = _mm_shuffle_ps(c, c, _MM_SHUFFLE(3, 3, 3, 0));  // z2 z3 z3 z3
    const __m128 z = _mm_shuffle_ps(y0z0y1z1, z2z3, _MM_SHUFFLE(2, 0, 3, 1));
    const __m128 length =
        _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(x, x), _mm_mul_ps(y, y)), _mm_mul_ps(z, z)));
    const __m128 keep = _mm_cmpgt_ps(length, zero);
    const __m128 nx = _mm_and_ps(keep, _mm_div_ps(x, length));
    const __m128 ny = _mm_and_ps(keep, _mm_div_ps(y, length));
    const __m128 nz = _mm_and_ps(keep, _mm_div_ps(z, length));
    // Back to x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3.
    const __m128 xy01 = _mm_unpacklo_ps(nx, ny);  // x0 y0 x1 y1
    const __m128 xy23 = _mm_unpackhi_ps(nx, ny);  // x2 y2 x3 y3
    const __m128 outA = _mm_shuffle_ps(xy01, _mm_shuffle_ps(nz, xy01, _MM_SHUFFLE(2, 2, 0, 0)),
                                       _MM_SHUFFLE(2, 0, 1, 0));              // x0 y0 z0 x1
    const __m128 y1z1 = _mm_shuffle_ps(xy01, nz, _MM_SHUFFLE(1, 1, 3, 3));    // y1 y1 z1 z1
    const __m128 outB = _mm_shuffle_ps(y1z1, xy23, _MM_SHUFFLE(1, 0, 2, 0));  // y1 z1 x2 y2
    const __m128 z2x3 = _mm_shuffle_ps(nz, xy23, _MM_SHUFFLE(2, 2, 2, 2));    // z2 z2 x3 x3
    const __m128 outC = _mm_shuffle_ps(z2x3, _mm_shuffle_ps(xy23, nz, _MM_SHUFFLE(3, 3, 3, 3)),
                                       _MM_SHUFFLE(2, 0, 2, 0));  // z2 x3 y3 z3
    _mm_storeu_ps(p, outA);
    _mm_storeu_ps(p + 4, outB);
    _mm_storeu_ps(p + 8, outC);
  }
#endif
  for (; i < n; ++i) v[i] = Normalized(v[i]);
}

// Orders the floats of [-1, 1] as integers (-0 and +0 both map to 0).
int64_t FloatKey(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  if (bits & 0x80000000u) return -static_cast<int64_t>(bits & 0x7FFFFFFFu);
  return static_cast<int64_t>(bits);
}

float KeyFloat(int64_t key) {
  uint32_t bits =
      key >= 0 ? static_cast<uint32_t>(key) : (static_cast<uint32_t>(-key) | 0x80000000u);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// Decides "threshold > (float)acos((double)dot)" for float dots. The arc
// cosine falls as the dot rises, so the dots that pass form the range
// [cutoff, 1]. Dots within a few steps of the cut-off take the exact test,
// which keeps the result right even if the library's arc cosine is not
// perfectly monotonic there. NaN and dots above 1 never pass.
class CreaseTest {
 public:
  explicit CreaseTest(float threshold) : threshold_(threshold) {
    auto passes = [threshold](int64_t key) {
      return threshold > static_cast<float>(std::acos(static_cast<double>(KeyFloat(key))));
    };
    const int64_t lo = FloatKey(-1.0f), hi = FloatKey(1.0f);
    if (!passes(hi)) {  // nothing passes (threshold <= 0 or NaN)
      sureFrom_ = exactFrom_ = INFINITY;
      return;
    }
    int64_t cut = lo;
    if (!passes(lo)) {
      int64_t a = lo, b = hi;  // passes(a) false, passes(b) true
      while (b - a > 1) {
        const int64_t m = a + (b - a) / 2;
        (passes(m) ? b : a) = m;
      }
      cut = b;
    }
    constexpr int64_t kMargin = 16;
    exactFrom_ = cut - kMargin < lo ? -INFINITY : KeyFloat(cut - kMargin);
    sureFrom_ = cut + kMargin > hi ? INFINITY : KeyFloat(cut + kMargin);
  }

  float SureFrom() const { return sureFrom_; }
  float ExactFrom() const { return exactFrom_; }

  bool Merges(float dot) const {
    if (!(dot <= 1.0f)) return false;
    if (dot >= sureFrom_) return true;
    if (dot < exactFrom_) return false;
    return threshold_ > static_cast<float>(std::acos(static_cast<double>(dot)));
  }

 private:
  float threshold_;
  float exactFrom_;  // below: never passes
  float sureFrom_;   // at or above (and <= 1): always passes
};

// A model's per-vertex face lists (see ComputeNormals) with, for each entry,
// the corner it stands for; flat is null or marks the flat-shaded vertices.
struct VertexLists {
  const uint32_t* rowStart;
  const int32_t* face;
  const uint32_t* corner;
  const uint8_t* flat;
};

#if defined(__x86_64__)
// Corner normals of every corner at the vertices [v0, v1), vertex by vertex.
// For a vertex with faces L[0..k), the corner of L[a] sums, in list order,
// n[L[b]] for each b where L[b] is L[a] or the crease test passes on
// dot(n[L[a]], n[L[b]]), then normalises: the plain algorithm's operations in
// its order, per corner. Eight corners of the vertex go at once, one per
// lane (AVX2 without fused multiply-add); an entry a lane skips adds +0,
// which leaves its sum unchanged (a sum that starts at +0 is never -0).
// Scratch of the vertex-by-vertex corner passes: one vertex's list, its
// face normals by component.
struct CornerScratch {
  std::vector<float> x, y, z;
  std::vector<int32_t> face;
};

__attribute__((target("avx2"))) void SmoothCornersAvx2(const VertexLists& lists, size_t v0,
                                                       size_t v1, const Vec3* normal,
                                                       const CreaseTest& crease, Vec3* corner,
                                                       CornerScratch& scratch) {
  std::vector<float>& x = scratch.x;
  std::vector<float>& y = scratch.y;
  std::vector<float>& z = scratch.z;
  std::vector<int32_t>& face = scratch.face;
  const __m256 one = _mm256_set1_ps(1.0f), zero = _mm256_setzero_ps();
  const __m256 sure = _mm256_set1_ps(crease.SureFrom()), exact = _mm256_set1_ps(crease.ExactFrom());
  for (size_t v = v0; v < v1; ++v) {
    const uint32_t j0 = lists.rowStart[v];
    const size_t k = lists.rowStart[v + 1] - j0;
    if (k == 0) continue;
    const int32_t* list = lists.face + j0;
    const uint32_t* at = lists.corner + j0;
    if (lists.flat && lists.flat[v]) {
      for (size_t a = 0; a < k; ++a) {
        const Vec3 n = normal[list[a]];
        corner[at[a]] = Normalized(Vec3{0.0f + n.x, 0.0f + n.y, 0.0f + n.z});
      }
      continue;
    }
    const size_t padded = (k + 7) & ~size_t{7};
    if (x.size() < padded) {
      x.resize(padded);
      y.resize(padded);
      z.resize(padded);
      face.resize(padded);
    }
    for (size_t b = 0; b < k; ++b) {
      const Vec3 m = normal[list[b]];
      x[b] = m.x;
      y[b] = m.y;
      z[b] = m.z;
      face[b] = list[b];
    }
    for (size_t b = k; b < padded; ++b) {
      x[b] = y[b] = z[b] = 0.0f;
      face[b] = -1;  // never a face
    }
    for (size_t a = 0; a < k; a += 8) {
      const __m256 nx = _mm256_loadu_ps(&x[a]), ny = _mm256_loadu_ps(&y[a]),
                   nz = _mm256_loadu_ps(&z[a]);
      const __m256i self = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&face[a]));
      __m256 sx = zero, sy = zero, sz = zero;
      __m256 near = zero;  // lanes that met a dot near the cut-off
      for (size_t b = 0; b < k; ++b) {
        const __m256 mx = _mm256_set1_ps(x[b]), my = _mm256_set1_ps(y[b]),
                     mz = _mm256_set1_ps(z[b]);
        const __m256 dot = _mm256_add_ps(
            _mm256_add_ps(_mm256_mul_ps(nx, mx), _mm256_mul_ps(ny, my)), _mm256_mul_ps(nz, mz));
        const __m256 isSelf =
            _mm256_castsi256_ps(_mm256_cmpeq_epi32(self, _mm256_set1_epi32(face[b])));
        const __m256 atMostOne = _mm256_cmp_ps(dot, one, _CMP_LE_OQ);
        const __m256 passes = _mm256_cmp_ps(dot, sure, _CMP_GE_OQ);
        const __m256 merge = _mm256_or_ps(isSelf, _mm256_and_ps(atMostOne, passes));
        near = _mm256_or_ps(
            near,
            _mm256_andnot_ps(_mm256_or_ps(isSelf, passes),
                             _mm256_and_ps(atMostOne, _mm256_cmp_ps(dot, exact, _CMP_GE_OQ))));
        sx = _mm256_add_ps(sx, _mm256_and_ps(mx, merge));
        sy = _mm256_add_ps(sy, _mm256_and_ps(my, merge));
        sz = _mm256_add_ps(sz, _mm256_and_ps(mz, merge));
      }
      if (_mm256_movemask_ps(near) != 0) {
        // Some dot needs the exact test (rare): these rows one by one.
        for (size_t r = a, rows = std::min(k, a + 8); r < rows; ++r) {
          float rx = 0.0f, ry = 0.0f, rz = 0.0f;
          for (size_t b = 0; b < k; ++b) {
            if (face[b] == face[r] || crease.Merges((x[r] * x[b] + y[r] * y[b]) + z[r] * z[b])) {
              rx += x[b];
              ry += y[b];
              rz += z[b];
            }
          }
          corner[at[r]] = Normalized(Vec3{rx, ry, rz});
        }
        continue;
      }
      const __m256 length = _mm256_sqrt_ps(_mm256_add_ps(
          _mm256_add_ps(_mm256_mul_ps(sx, sx), _mm256_mul_ps(sy, sy)), _mm256_mul_ps(sz, sz)));
      const __m256 keep = _mm256_cmp_ps(length, zero, _CMP_GT_OQ);
      alignas(32) float ox[8], oy[8], oz[8];
      _mm256_store_ps(ox, _mm256_and_ps(keep, _mm256_div_ps(sx, length)));
      _mm256_store_ps(oy, _mm256_and_ps(keep, _mm256_div_ps(sy, length)));
      _mm256_store_ps(oz, _mm256_and_ps(keep, _mm256_div_ps(sz, length)));
      for (size_t r = 0, rows = std::min<size_t>(8, k - a); r < rows; ++r)
        corner[at[a + r]] = Vec3{ox[r], oy[r], oz[r]};
    }
  }
}

// GCC 12's AVX-512 headers warn about their own undefined-vector helpers.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// The same corner normals as SmoothCornersAvx2, two vertices at once: the
// rows of one vertex in lanes 0-7, of the next in lanes 8-15 (AVX-512F).
// Lanes that skip an entry keep their sum (masked adds). Vertices with more
// than eight faces, flat ones, and pairs that meet a dot near the crease
// cut-off go through SmoothCornersAvx2.
__attribute__((target("avx512f"))) void SmoothCornersAvx512(const VertexLists& lists, size_t v0,
                                                            size_t v1, const Vec3* normal,
                                                            const CreaseTest& crease,
                                                            Vec3* corner) {
  CornerScratch scratch;
  alignas(64) float x[16], y[16], z[16];
  alignas(64) int32_t face[16];
  const __m512 one = _mm512_set1_ps(1.0f), zero = _mm512_setzero_ps();
  const __m512 sure = _mm512_set1_ps(crease.SureFrom()), exact = _mm512_set1_ps(crease.ExactFrom());
  auto length = [&lists](size_t v) { return lists.rowStart[v + 1] - lists.rowStart[v]; };
  auto pairable = [&](size_t v) {
    const size_t k = length(v);
    return k > 0 && k <= 8 && !(lists.flat && lists.flat[v]);
  };
  auto load = [&](size_t v, int half) {
    const uint32_t j0 = lists.rowStart[v];
    const size_t k = length(v);
    for (size_t b = 0; b < 8; ++b) {
      const size_t l = static_cast<size_t>(half) * 8 + b;
      if (b < k) {
        const int32_t g = lists.face[j0 + b];
        const Vec3 m = normal[g];
        x[l] = m.x;
        y[l] = m.y;
        z[l] = m.z;
        face[l] = g;
      } else {
        x[l] = y[l] = z[l] = 0.0f;
        face[l] = -1;  // never a face
      }
    }
  };
  size_t v = v0;
  while (v < v1) {
    if (!pairable(v)) {
      SmoothCornersAvx2(lists, v, v + 1, normal, crease, corner, scratch);
      ++v;
      continue;
    }
    size_t w = v + 1;
    while (w < v1 && length(w) == 0) ++w;
    if (w >= v1 || !pairable(w)) {
      SmoothCornersAvx2(lists, v, v + 1, normal, crease, corner, scratch);
      v = w;
      continue;
    }
    const size_t k1 = length(v), k2 = length(w);
    load(v, 0);
    load(w, 1);
    const __m512 nx = _mm512_load_ps(x), ny = _mm512_load_ps(y), nz = _mm512_load_ps(z);
    const __m512i self = _mm512_load_si512(face);
    __m512 sx = zero, sy = zero, sz = zero;
    __mmask16 near = 0;
    // Column b of each half: lane b of the first, lane 8 + b of the second.
    __m512i column = _mm512_setr_epi32(0, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 8, 8, 8, 8);
    const __m512i step = _mm512_set1_epi32(1);
    // Rows that are corners, columns that are entries.
    const __mmask16 rows = static_cast<__mmask16>(((1u << k1) - 1) | (((1u << k2) - 1) << 8));
    for (size_t b = 0, kb = std::max(k1, k2); b < kb;
         ++b, column = _mm512_add_epi32(column, step)) {
      const __mmask16 valid =
          rows & static_cast<__mmask16>((b < k1 ? 0x00FFu : 0u) | (b < k2 ? 0xFF00u : 0u));
      const __m512 mx = _mm512_permutexvar_ps(column, nx);
      const __m512 my = _mm512_permutexvar_ps(column, ny);
      const __m512 mz = _mm512_permutexvar_ps(column, nz);
      const __m512 dot = _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(nx, mx), _mm512_mul_ps(ny, my)),
                                       _mm512_mul_ps(nz, mz));
      const __mmask16 isSelf =
          _mm512_mask_cmpeq_epi32_mask(valid, self, _mm512_permutexvar_epi32(column, self));
      const __mmask16 atMostOne = _mm512_mask_cmp_ps_mask(valid, dot, one, _CMP_LE_OQ);
      const __mmask16 passes = _mm512_mask_cmp_ps_mask(atMostOne, dot, sure, _CMP_GE_OQ);
      const __mmask16 merge = isSelf | passes;
      near |= _mm512_mask_cmp_ps_mask(atMostOne & ~merge, dot, exact, _CMP_GE_OQ);
      sx = _mm512_mask_add_ps(sx, merge, sx, mx);
      sy = _mm512_mask_add_ps(sy, merge, sy, my);
      sz = _mm512_mask_add_ps(sz, merge, sz, mz);
    }
    if (near != 0) {
      SmoothCornersAvx2(lists, v, w + 1, normal, crease, corner, scratch);
      v = w + 1;
      continue;
    }
    const __m512 len = _mm512_sqrt_ps(_mm512_add_ps(
        _mm512_add_ps(_mm512_mul_ps(sx, sx), _mm512_mul_ps(sy, sy)), _mm512_mul_ps(sz, sz)));
    const __mmask16 keep = _mm512_cmp_ps_mask(len, zero, _CMP_GT_OQ);
    alignas(64) float ox[16], oy[16], oz[16];
    _mm512_store_ps(ox, _mm512_maskz_div_ps(keep, sx, len));
    _mm512_store_ps(oy, _mm512_maskz_div_ps(keep, sy, len));
    _mm512_store_ps(oz, _mm512_maskz_div_ps(keep, sz, len));
    const uint32_t* at1 = lists.corner + lists.rowStart[v];
    const uint32_t* at2 = lists.corner + lists.rowStart[w];
    for (size_t r = 0; r < k1; ++r) corner[at1[r]] = Vec3{ox[r], oy[r], oz[r]};
    for (size_t r = 0; r < k2; ++r) corner[at2[r]] = Vec3{ox[8 + r], oy[8 + r], oz[8 + r]};
    v = w + 1;
  }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

CornerPass g_widestPass = CornerPass::Avx512;

// The widest corner pass this CPU has, within the cap.
CornerPass WidestPass() {
#if defined(__x86_64__)
  static const CornerPass have = __builtin_cpu_supports("avx512f") ? CornerPass::Avx512
                                 : __builtin_cpu_supports("avx2")  ? CornerPass::Avx2
                                                                   : CornerPass::Portable;
  return std::min(have, g_widestPass);
#else
  return CornerPass::Portable;
#endif
}

#if defined(__x86_64__)
// Corner normals of the vertices [v0, v1) with the given vertex-by-vertex
// pass (AVX2 or AVX-512F).
void SmoothCornersWide(CornerPass pass, const VertexLists& lists, size_t v0, size_t v1,
                       const Vec3* normal, const CreaseTest& crease, Vec3* corner) {
  if (pass == CornerPass::Avx512) return SmoothCornersAvx512(lists, v0, v1, normal, crease, corner);
  CornerScratch scratch;
  SmoothCornersAvx2(lists, v0, v1, normal, crease, corner, scratch);
}
#endif

// Corner normals face by face over the faces [begin, end) (the same sums as
// SmoothCornersAvx2, one corner at a time), normalised in blocks while they
// are still in cache. Corners of unusable faces get zero.
void SmoothCornersByFace(const CModel& model, const uint8_t* usable, const CreaseTest& crease,
                         const std::vector<uint8_t>& flat, size_t begin, size_t end, Vec3* corner) {
  const uint32_t* start = model.faces.indexStart.data();
  const int32_t* idx = model.faces.indices.data();
  const Vec3* normal = model.faces.normal.data();
  const uint32_t* row = model.vertexFaceStart.data();
  const int32_t* rows = model.vertexFaces.data();
  for (size_t b0 = begin; b0 < end; b0 += kNormalBlock) {
    const size_t b1 = std::min(end, b0 + kNormalBlock);
    for (size_t f = b0; f < b1; ++f) {
      const uint32_t first = start[f], last = start[f + 1];
      if (usable && !usable[f]) {
        for (uint32_t i = first; i < last; ++i) corner[i] = Vec3{0, 0, 0};
        continue;
      }
      const Vec3 n = normal[f];
      const int32_t self = static_cast<int32_t>(f);
      for (uint32_t i = first; i < last; ++i) {
        const uint32_t v = static_cast<uint32_t>(idx[i]);
        if (!flat.empty() && flat[v]) {
          corner[i] = Vec3{0.0f + n.x, 0.0f + n.y, 0.0f + n.z};
          continue;
        }
        float sx = 0.0f, sy = 0.0f, sz = 0.0f;
        for (uint32_t j = row[v], je = row[v + 1]; j < je; ++j) {
          const int32_t g = rows[j];
          if (g == self) {
            sx += n.x;
            sy += n.y;
            sz += n.z;
            continue;
          }
          const Vec3 m = normal[g];
          const float dot = (n.x * m.x + n.y * m.y) + n.z * m.z;
          if (crease.Merges(dot)) {
            sx += m.x;
            sy += m.y;
            sz += m.z;
          }
        }
        corner[i] = Vec3{sx, sy, sz};
      }
    }
    NormalizeAll(corner + start[b0], start[b1] - start[b0]);
  }
}

bool FaceTableConsistent(const FaceTable& faces) {
  const size_t n = faces.size();
  if (n == 0) return true;
  if (faces.indexStart.size() != n + 1 || faces.uvStart.size() != n + 1) return false;
  if (faces.indexStart[0] != 0 || faces.indexStart[n] != faces.indices.size()) return false;
  if (faces.uvStart[0] != 0 || faces.uvStart[n] != faces.uvs.size()) return false;
  // Both offset lists never fall.
  const uint32_t* index = faces.indexStart.data();
  const uint32_t* uv = faces.uvStart.data();
  size_t f = 0;
  bool falls = false;
#if defined(__SSE2__)
  // Four offsets at a time; unsigned order as signed after flipping the top bit.
  const __m128i flip = _mm_set1_epi32(INT32_MIN);
  __m128i fell = _mm_setzero_si128();
  auto load = [&flip](const uint32_t* p) {
    return _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), flip);
  };
  for (; f + 4 <= n; f += 4) {
    fell = _mm_or_si128(fell, _mm_cmpgt_epi32(load(index + f), load(index + f + 1)));
    fell = _mm_or_si128(fell, _mm_cmpgt_epi32(load(uv + f), load(uv + f + 1)));
  }
  falls = _mm_movemask_epi8(fell) != 0;
#endif
  for (; f < n; ++f) falls |= (index[f + 1] < index[f]) | (uv[f + 1] < uv[f]);
  return !falls;
}

bool UseTwoThreads(size_t count) {
  return count >= 2 * kMinFacesPerThread && std::thread::hardware_concurrency() >= 2;
}

// Runs a then b, or both at once on two threads.
template <typename A, typename B>
void RunSplit(bool split, const A& a, const B& b) {
  if (!split) {
    a();
    b();
    return;
  }
  std::thread worker(b);
  a();
  worker.join();
}

// Runs body(begin, end) over [0, count), halved over two threads when large.
template <typename Body>
void ForRange(size_t count, const Body& body) {
  const bool split = UseTwoThreads(count);
  const size_t half = split ? count / 2 : count;
  RunSplit(
      split, [&] { body(size_t{0}, half); }, [&] { body(half, count); });
}

#if defined(__linux__)
constexpr uintptr_t kPage = 4096;

// The runs of pages in [begin, end) (page-aligned) that are not mapped yet:
// a block reused from freed memory usually has all its pages already, and
// asking is far cheaper than populating mapped pages again (one call for
// the whole range against a page-table walk per page). All of the range
// when the kernel cannot tell.
std::vector<std::pair<uintptr_t, uintptr_t>> UnmappedRuns(uintptr_t begin, uintptr_t end) {
  std::vector<unsigned char> mapped((end - begin) / kPage);
  if (mincore(reinterpret_cast<void*>(begin), end - begin, mapped.data()) != 0)
    return {{begin, end}};
  std::vector<std::pair<uintptr_t, uintptr_t>> runs;
  for (size_t p = 0; p < mapped.size();) {
    if (mapped[p] & 1) {
      ++p;
      continue;
    }
    size_t q = p;
    while (q < mapped.size() && !(mapped[q] & 1)) ++q;
    runs.push_back({begin + p * kPage, begin + q * kPage});
    p = q;
  }
  return runs;
}
#endif

// Maps the pages of a freshly reserved block for writing, in one call per
// run of missing pages instead of one page fault per 4 KiB on the first
// writes; large outputs are faulted in on both cores. Does nothing where the
// kernel lacks MADV_POPULATE_WRITE.
void Prefault(const void* data, size_t bytes) {
#if defined(__linux__)
  constexpr int kPopulateWrite = 23;  // MADV_POPULATE_WRITE, Linux 5.14
  if (bytes < (size_t{1} << 22)) return;
  AdviseHugePages(LoadBuffer::Model, data, bytes);
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kPage - 1);
  if (end <= begin) return;
  const auto runs = UnmappedRuns(begin, end);
  uintptr_t missing = 0;
  for (const auto& [a, b] : runs) missing += b - a;
  if (missing == 0) return;
  // Pages [from, to) of the missing ones, counted in bytes along the runs.
  auto populate = [&runs](uintptr_t from, uintptr_t to) {
    uintptr_t seen = 0;
    for (const auto& [a, b] : runs) {
      const uintptr_t lo = std::max(a, a + (from > seen ? from - seen : 0));
      const uintptr_t hi = std::min(b, a + (to > seen ? to - seen : 0));
      if (hi > lo) madvise(reinterpret_cast<void*>(lo), hi - lo, kPopulateWrite);
      seen += b - a;
      if (seen >= to) break;
    }
  };
  const uintptr_t mid = (missing / 2) & ~(kPage - 1);
  if (missing >= (uintptr_t{1} << 22) && std::thread::hardware_concurrency() >= 2) {
    std::thread worker([&] { populate(mid, missing); });
    populate(0, mid);
    worker.join();
  } else {
    populate(0, missing);
  }
#else
  (void)data;
  (void)bytes;
#endif
}

// Reserves n elements of an empty vector and faults their pages in.
template <typename T, typename A>
void ReserveFaulted(std::vector<T, A>& v, size_t n) {
  v.reserve(n);
  Prefault(v.data(), n * sizeof(T));
}

// Per-face usability (every index inside the vertex list); empty when every
// face is usable, the usual case, checked first in one pass over the
// indices.
std::vector<uint8_t> UsableFaces(const CModel& model) {
  const FaceTable& faces = model.faces;
  const uint32_t vertexCount = static_cast<uint32_t>(model.vertices.size());
  const int32_t* idx = faces.indices.data();
  const size_t corners = faces.indices.size();
  uint32_t bad[2] = {0, 0};  // per half
  ForRange(corners, [&](size_t begin, size_t end) {
    uint32_t out = 0;
    size_t i = begin;
#if defined(__SSE2__)
    // idx < vertexCount as unsigned: both sides offset by 2^31, compared signed.
    const __m128i flip = _mm_set1_epi32(INT32_MIN);
    const __m128i limit = _mm_set1_epi32(static_cast<int32_t>(vertexCount ^ 0x80000000u));
    __m128i inside = _mm_set1_epi32(-1);
    for (; i + 4 <= end; i += 4) {
      const __m128i v =
          _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(idx + i)), flip);
      inside = _mm_and_si128(inside, _mm_cmpgt_epi32(limit, v));
    }
    out |= static_cast<uint32_t>(_mm_movemask_epi8(inside) != 0xFFFF);
#endif
    for (; i < end; ++i) out |= static_cast<uint32_t>(idx[i]) >= vertexCount;
    bad[begin == 0 ? 0 : 1] = out;
  });
  const bool allInRange = (bad[0] | bad[1]) == 0;
  if (allInRange) return {};
  std::vector<uint8_t> usable(faces.size());
  const uint32_t* start = faces.indexStart.data();
  uint8_t* out = usable.data();
  ForRange(faces.size(), [&](size_t begin, size_t end) {
    for (size_t f = begin; f < end; ++f) {
      bool ok = true;
      for (uint32_t i = start[f], e = start[f + 1]; i < e; ++i)
        ok &= static_cast<uint32_t>(idx[i]) < vertexCount;
      out[f] = ok;
    }
  });
  return usable;
}

}  // namespace

void LimitCornerPass(CornerPass widest) {
  g_widestPass = widest;
}

void ComputeNormals(CModel& model) {
  FaceTable& faces = model.faces;
  model.vertexFaceStart.clear();
  model.vertexFaces.clear();
  faces.normal.clear();
  faces.cornerNormal.clear();
  const size_t vertexCount = model.vertices.size();
  if (!FaceTableConsistent(faces) || vertexCount > UINT32_MAX || faces.size() > INT32_MAX) {
    model.vertexFaceStart.assign(vertexCount + 1, 0);
    faces.normal.assign(faces.size(), Vec3{0, 0, 0});
    faces.cornerNormal.assign(faces.indices.size(), Vec3{0, 0, 0});
    return;
  }
  const size_t faceCount = faces.size();
  const std::vector<uint8_t> usableFlags = UsableFaces(model);
  const uint8_t* usable = usableFlags.empty() ? nullptr : usableFlags.data();
  auto isUsable = [usable](size_t f) { return !usable || usable[f]; };
  const int32_t* idx = faces.indices.data();
  const uint32_t* start = faces.indexStart.data();

  // Faces of every vertex as compressed rows: count, prefix sum, fill. On
  // two threads each half of the faces counts into its own array, and the
  // second half's entries of a vertex go after the first half's, so every
  // row stays in face order. Beside each entry: the corner it stands for.
  std::vector<uint32_t>& rowStart = model.vertexFaceStart;
  rowStart.assign(vertexCount + 1, 0);
  const bool split = UseTwoThreads(faceCount);
  const size_t half = split ? faceCount / 2 : faceCount;
  std::vector<uint32_t> secondCount(split ? vertexCount : 0);
  // Face normals from the first three positions, in the same pass: cross
  // products of a block of faces, then their normalisation while the block
  // is still in cache.
  ReserveFaulted(faces.normal, faceCount);
  faces.normal.resize(faceCount);
  Vec3* normal = faces.normal.data();
  const Vec3* pos = model.vertices.data();
  auto count = [&](size_t begin, size_t end, uint32_t* counts) {
    for (size_t b0 = begin; b0 < end; b0 += kNormalBlock) {
      const size_t b1 = std::min(end, b0 + kNormalBlock);
      for (size_t f = b0; f < b1; ++f) {
        if (!isUsable(f)) {
          normal[f] = Vec3{0, 0, 0};
          continue;
        }
        for (uint32_t i = start[f]; i < start[f + 1]; ++i) ++counts[static_cast<uint32_t>(idx[i])];
        if (start[f + 1] - start[f] < 3) {
          normal[f] = Vec3{0, 0, 0};
          continue;
        }
        const Vec3 p0 = pos[idx[start[f]]];
        const Vec3 p1 = pos[idx[start[f] + 1]];
        const Vec3 p2 = pos[idx[start[f] + 2]];
        const Vec3 a{p0.x - p1.x, p0.y - p1.y, p0.z - p1.z};
        const Vec3 b{p0.x - p2.x, p0.y - p2.y, p0.z - p2.z};
        normal[f] = Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
      }
      NormalizeAll(normal + b0, b1 - b0);
    }
  };
  RunSplit(
      split, [&] { count(0, half, rowStart.data() + 1); },
      [&] { count(half, faceCount, secondCount.data()); });
  const std::unique_ptr<uint32_t[]> firstCursor(new uint32_t[vertexCount]);  // all set below
  for (size_t v = 0; v < vertexCount; ++v) {
    const uint32_t first = rowStart[v + 1];
    firstCursor[v] = rowStart[v];
    rowStart[v + 1] = rowStart[v] + first;
    if (split) {
      const uint32_t second = secondCount[v];
      secondCount[v] = rowStart[v + 1];  // now the second half's cursor
      rowStart[v + 1] += second;
    }
  }
  const size_t entries = rowStart[vertexCount];
  ReserveFaulted(model.vertexFaces, entries);
  model.vertexFaces.resize(entries);
  // The vertex-by-vertex corner pass also needs each entry's corner.
  const CornerPass pass = WidestPass();
  const bool byVertex = pass != CornerPass::Portable;
  const std::unique_ptr<uint32_t[]> entryCorner(byVertex ? new uint32_t[entries] : nullptr);
  if (byVertex) Prefault(entryCorner.get(), entries * sizeof(uint32_t));
  int32_t* rowsOut = model.vertexFaces.data();
  uint32_t* cornersOut = entryCorner.get();
  auto fillRows = [&](size_t begin, size_t end, uint32_t* cursor) {
    for (size_t f = begin; f < end; ++f) {
      if (!isUsable(f)) continue;
      for (uint32_t i = start[f]; i < start[f + 1]; ++i) {
        const uint32_t at = cursor[static_cast<uint32_t>(idx[i])]++;
        rowsOut[at] = static_cast<int32_t>(f);
        if (cornersOut) cornersOut[at] = i;
      }
    }
  };
  RunSplit(
      split, [&] { fillRows(0, half, firstCursor.get()); },
      [&] { fillRows(half, faceCount, secondCount.data()); });

  // Corner normals: the sum, in list order, of the face itself and of the
  // neighbours within the crease angle, normalised. Vertex by vertex: every
  // corner at a vertex sums over the same list.
  const float threshold =
      static_cast<float>(static_cast<double>(model.smoothingAngle) * 0.017453292519943295);
  const CreaseTest crease(threshold);
  const std::vector<uint8_t> flat = FlatVertices(rowStart);
  ReserveFaulted(faces.cornerNormal, faces.indices.size());
  faces.cornerNormal.resize(faces.indices.size());
  Vec3* corner = faces.cornerNormal.data();

#if defined(__x86_64__)
  if (byVertex) {
    const VertexLists lists{rowStart.data(), model.vertexFaces.data(), entryCorner.get(),
                            flat.empty() ? nullptr : flat.data()};
    // Vertices split where the entries are halved.
    const size_t vertexSplit =
        split ? static_cast<size_t>(std::lower_bound(rowStart.begin(), rowStart.end() - 1,
                                                     static_cast<uint32_t>(entries / 2)) -
                                    rowStart.begin())
              : vertexCount;
    RunSplit(
        split,
        [&] {
          SmoothCornersWide(pass, lists, 0, vertexSplit, normal, crease, corner);
          // Corners of unusable faces (in no list): zero.
          for (size_t f = 0; usable && f < faceCount; ++f)
            if (!usable[f])
              for (uint32_t i = start[f]; i < start[f + 1]; ++i) corner[i] = Vec3{0, 0, 0};
        },
        [&] { SmoothCornersWide(pass, lists, vertexSplit, vertexCount, normal, crease, corner); });
    return;
  }
#endif
  ForRange(faceCount, [&](size_t begin, size_t end) {
    SmoothCornersByFace(model, usable, crease, flat, begin, end, corner);
  });
}

bool BuildMeshGroups(CModel& model, gfx::IGraphicsDevice* device) {
  FaceTable& faces = model.faces;
  const size_t faceCount = faces.size();
  if (!FaceTableConsistent(faces)) return false;
  const std::vector<uint8_t> usableFlags = UsableFaces(model);
  const uint8_t* usable = usableFlags.empty() ? nullptr : usableFlags.data();
  auto isUsable = [usable](size_t f) { return !usable || usable[f]; };
  const bool haveCornerNormals = faces.cornerNormal.size() == faces.indices.size();

  // Pass 1: group of every face (first appearance order) and vertex counts.
  // Groups already in the list (the caller normally passes none) are found
  // like new ones.
  std::unordered_map<int32_t, uint32_t> groupOf;
  for (uint32_t g = 0; g < model.groups.size(); ++g) groupOf.emplace(model.groups[g].material, g);
  // Every face's entry is written below (UINT32_MAX: not drawn).
  const std::unique_ptr<uint32_t[]> faceGroup(new uint32_t[faceCount]);
  Prefault(faceGroup.get(), faceCount * sizeof(uint32_t));
  std::vector<uint64_t> counts(model.groups.size(), 0);
  for (uint32_t g = 0; g < model.groups.size(); ++g) counts[g] = model.groups[g].vertices.size();
  int32_t lastMaterial = 0;
  uint32_t lastGroup = UINT32_MAX;
  const uint32_t* const faceStart = faces.indexStart.data();
  // Drawing vertices by corner count: lines 2, triangles 3, quadrilaterals
  // 6 (two triangles), anything else none.
  auto verticesOf = [&](size_t f) -> uint32_t {
    static constexpr uint8_t kVertices[6] = {0, 0, 2, 3, 6, 0};
    if (!isUsable(f)) return 0;
    return kVertices[std::min<uint32_t>(faceStart[f + 1] - faceStart[f], 5)];
  };
  // On two threads the second half of the faces starts from the counts
  // before it.
  const bool split = UseTwoThreads(faceCount);
  const size_t half = split ? faceCount / 2 : faceCount;
  std::vector<uint64_t> countsAtHalf;
  const int32_t* const faceMaterial = faces.material.data();
  // The current group's vertices since it became current, added to its
  // count when it changes (a running sum in a register, not in memory).
  uint64_t run = 0;
  auto flush = [&] {
    if (lastGroup != UINT32_MAX) counts[lastGroup] += run;
    run = 0;
  };
  for (size_t f = 0; f < faceCount; ++f) {
    if (f == half) {
      flush();
      countsAtHalf = counts;
    }
    const int32_t material = faceMaterial[f];
    if (material == model.collisionMaterial) {
      faceGroup[f] = UINT32_MAX;
      continue;
    }
    if (lastGroup == UINT32_MAX || material != lastMaterial) {
      flush();
      auto [it, added] = groupOf.emplace(material, static_cast<uint32_t>(model.groups.size()));
      if (added) {
        model.groups.push_back(MeshGroup{});
        model.groups.back().material = material;
        counts.push_back(0);
      }
      lastMaterial = material;
      lastGroup = it->second;
    }
    faceGroup[f] = lastGroup;
    run += verticesOf(f);
  }
  flush();

  // Pass 2: size every group once, then fill. On two threads each half of
  // the faces writes from its own starting offsets.
  std::vector<size_t> base(model.groups.size());
  for (size_t g = 0; g < model.groups.size(); ++g) {
    auto& vertices = model.groups[g].vertices;
    base[g] = vertices.size();
    if (vertices.empty()) ReserveFaulted(vertices, counts[g]);
    vertices.resize(counts[g]);
  }
  std::vector<MeshVertex*> out(model.groups.size());
  for (size_t g = 0; g < model.groups.size(); ++g) out[g] = model.groups[g].vertices.data();

  const Vec3* pos = model.vertices.data();
  const int32_t* idx = faces.indices.data();
  const uint32_t* start = faces.indexStart.data();
  const CUV* uvs = faces.uvs.data();
  const uint32_t* uvStart = faces.uvStart.data();
  const Vec3* cornerNormal = faces.cornerNormal.data();
  const size_t vertexCount = model.vertices.size();
  const size_t boneCount = model.bones.size(), parentCount = model.parents.size(),
               weightCount = model.weights.size();
  const int32_t* bones = model.bones.data();
  const int32_t* parents = model.parents.data();
  const float* weights = model.weights.data();

  auto fill = [&](size_t begin, size_t end, std::vector<size_t>& cursor) {
    auto corner = [&](size_t f, uint32_t c, MeshVertex& vtx) {
      const uint32_t i = start[f] + c;
      const uint32_t v = static_cast<uint32_t>(idx[i]);
      vtx.position = pos[v];
      vtx.normal = haveCornerNormals ? cornerNormal[i] : Vec3{0, 0, 0};
      const uint32_t uvIndex = uvStart[f] + c;
      vtx.uv = uvIndex < uvStart[f + 1] ? Vec2{uvs[uvIndex].u, uvs[uvIndex].v} : Vec2{0, 0};
      vtx.bone = v < boneCount ? static_cast<float>(bones[v]) : -1.0f;
      vtx.parent = v < parentCount ? static_cast<float>(parents[v]) : -1.0f;
      vtx.weight = v < weightCount ? weights[v] : 1.0f;
    };
    // The usual model: every vertex has its bone data, every corner its
    // normal, every usable face is drawn. Triangles with their uvs then take
    // no per-corner checks.
    const bool full = haveCornerNormals && !usable && boneCount >= vertexCount &&
                      parentCount >= vertexCount && weightCount >= vertexCount;
    for (size_t f = begin; f < end; ++f) {
      const uint32_t g = faceGroup[f];
      if (full && g != UINT32_MAX && start[f + 1] - start[f] == 3 &&
          uvStart[f + 1] - uvStart[f] >= 3) {
        MeshVertex* dst = out[g] + cursor[g];
        const uint32_t s = start[f];
        const CUV* uv = uvs + uvStart[f];
        for (uint32_t c = 0; c < 3; ++c) {
          const uint32_t v = static_cast<uint32_t>(idx[s + c]);
          dst[c].position = pos[v];
          dst[c].normal = cornerNormal[s + c];
          dst[c].uv = Vec2{uv[c].u, uv[c].v};
          dst[c].bone = static_cast<float>(bones[v]);
          dst[c].parent = static_cast<float>(parents[v]);
          dst[c].weight = weights[v];
        }
        cursor[g] += 3;
        continue;
      }
      if (g == UINT32_MAX || !isUsable(f)) continue;
      MeshVertex* dst = out[g] + cursor[g];
      switch (start[f + 1] - start[f]) {
        case 2:
          for (uint32_t c = 0; c < 2; ++c) {
            dst[c].position = pos[idx[start[f] + c]];
            dst[c].normal = Vec3{0, 0, 1};
            dst[c].uv = Vec2{0, 0};
            dst[c].bone = -1.0f;
            dst[c].parent = -1.0f;
            dst[c].weight = 1.0f;
          }
          cursor[g] += 2;
          break;
        case 3:
          corner(f, 0, dst[0]);
          corner(f, 1, dst[1]);
          corner(f, 2, dst[2]);
          cursor[g] += 3;
          break;
        case 4:
          corner(f, 0, dst[0]);
          corner(f, 1, dst[1]);
          corner(f, 2, dst[2]);
          dst[3] = dst[2];
          corner(f, 3, dst[4]);
          dst[5] = dst[0];
          cursor[g] += 6;
          break;
        default:
          break;
      }
    }
  };

  if (!split) {
    fill(0, faceCount, base);
  } else {
    // Groups first met in the second half start where they started.
    std::vector<size_t> secondBase = base;
    for (size_t g = 0; g < countsAtHalf.size(); ++g) secondBase[g] = countsAtHalf[g];
    std::thread worker([&] { fill(half, faceCount, secondBase); });
    fill(0, half, base);
    worker.join();
  }

  // Buffers, from the last group to the first; empty groups go. On a
  // failure the failing group and those before it stay as built (empty ones
  // included); the later ones keep their buffers. Compacted in one pass.
  auto& groups = model.groups;
  bool ok = true;
  size_t keepAllUpTo = 0;  // groups [0, keepAllUpTo) stay whatever they hold
  for (size_t i = groups.size(); i-- > 0;) {
    MeshGroup& group = groups[i];
    if (group.vertices.empty()) continue;
    const uint64_t bytes = static_cast<uint64_t>(group.vertices.size()) * sizeof(MeshVertex);
    if (!device || bytes > UINT32_MAX ||
        gfx::Failed(device->CreateVertexBuffer(group.vertices.data(), static_cast<uint32_t>(bytes),
                                               &group.vertexBuffer))) {
      group.vertexBuffer = gfx::kNone;
      ok = false;
      keepAllUpTo = i + 1;
      break;
    }
  }
  size_t write = keepAllUpTo;
  for (size_t i = keepAllUpTo; i < groups.size(); ++i) {
    if (groups[i].vertices.empty()) continue;
    if (write != i) groups[write] = std::move(groups[i]);
    ++write;
  }
  groups.resize(write);
  return ok;
}

}  // namespace tolvani
