#include "prepare/mesh_scan.h"

#include <cmath>

#include "base/two_threads.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolvani {

Vec3 Normalized(Vec3 n) {
  const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (!(length > 0.0f)) return Vec3{0, 0, 0};
  return Vec3{n.x / length, n.y / length, n.z / length};
}

// With SSE2 four vectors at a time: the same operations in the same order
// per element, each correctly rounded.
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

std::vector<uint8_t> UsableFaces(const CModel& model) {
  const FaceTable& faces = model.faces;
  const uint32_t vertexCount = static_cast<uint32_t>(model.vertices.size());
  const int32_t* idx = faces.indices.data();
  const size_t corners = faces.indices.size();
  uint32_t bad[2] = {0, 0};  // per half
  ForHalves(corners, kMinFacesPerThread, [&](size_t begin, size_t end) {
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
  ForHalves(faces.size(), kMinFacesPerThread, [&](size_t begin, size_t end) {
    for (size_t f = begin; f < end; ++f) {
      bool ok = true;
      for (uint32_t i = start[f], e = start[f + 1]; i < e; ++i)
        ok &= static_cast<uint32_t>(idx[i]) < vertexCount;
      out[f] = ok;
    }
  });
  return usable;
}

}  // namespace tolvani
