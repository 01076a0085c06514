// The vertex-by-vertex corner passes (x86-64): AVX2 and AVX-512F.
#include "prepare/corner_normals.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include <algorithm>

#include "prepare/mesh_scan.h"

namespace tolvani {

namespace {

// Scratch of the vertex-by-vertex corner passes: one vertex's list, its
// face normals by component.
struct CornerScratch {
  std::vector<float> x, y, z;
  std::vector<int32_t> face;
};

// Corner normals of every corner at the vertices [v0, v1), vertex by vertex.
// For a vertex with faces L[0..k), the corner of L[a] sums, in list order,
// n[L[b]] for each b where L[b] is L[a] or the crease test passes on
// dot(n[L[a]], n[L[b]]), then normalises: the plain algorithm's operations in
// its order, per corner. Eight corners of the vertex go at once, one per
// lane (AVX2 without fused multiply-add); an entry a lane skips adds +0,
// which leaves its sum unchanged (a sum that starts at +0 is never -0).

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

}  // namespace

bool CornersByVertex(SimdLevel level) {
  return RunnableSimdLevel(level) >= SimdLevel::Avx2;
}

void SmoothCornersByVertex(SimdLevel level, const VertexLists& lists, size_t v0, size_t v1,
                           const Vec3* normal, const CreaseTest& crease, Vec3* corner) {
  if (RunnableSimdLevel(level) >= SimdLevel::Avx512)
    return SmoothCornersAvx512(lists, v0, v1, normal, crease, corner);
  CornerScratch scratch;
  SmoothCornersAvx2(lists, v0, v1, normal, crease, corner, scratch);
}

}  // namespace tolvani
#endif
