#include "prepare/corner_normals.h"

#include <algorithm>

#include "prepare/mesh_scan.h"

namespace tolvani {

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

#if !defined(__x86_64__)
bool CornersByVertex(SimdLevel) {
  return false;
}

void SmoothCornersByVertex(SimdLevel, const VertexLists&, size_t, size_t, const Vec3*,
                           const CreaseTest&, Vec3*) {}
#endif

}  // namespace tolvani
