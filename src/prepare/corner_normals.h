// Corner normals: for a corner of face f at vertex v, the sum, in list
// order, of the normals of the faces listed under v that are f itself or
// pass the crease test against f, normalised. Every pass gives the plain
// algorithm's bits: per corner, float32 dot products without fused
// multiply-add, the sums in list order (an entry a corner skips adds
// nothing; a sum starts at +0, so it is never -0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/simd_level.h"
#include "model/model_records.h"
#include "prepare/crease_test.h"

namespace tolvani {

// A model's per-vertex face lists (rowStart / face: its vertexFaceStart /
// vertexFaces) with, for each entry, the corner it stands for; flat is null
// or marks the vertices whose corners keep their own face's normal.
struct VertexLists {
  const uint32_t* rowStart;
  const int32_t* face;
  const uint32_t* corner;
  const uint8_t* flat;
};

// Face by face over the faces [begin, end) of a model whose lists are
// built: one corner at a time, normalised in blocks while still in cache.
// usable: null, or per-face usability (corners of unusable faces get zero);
// flat: empty, or one flag per vertex.
void SmoothCornersByFace(const CModel& model, const uint8_t* usable, const CreaseTest& crease,
                         const std::vector<uint8_t>& flat, size_t begin, size_t end, Vec3* corner);

// Whether the vertex-by-vertex passes run at `level` (x86 with AVX2 or
// AVX-512; they need each entry's corner). Otherwise SmoothCornersByFace.
bool CornersByVertex(SimdLevel level);

// Vertex by vertex over the vertices [v0, v1), at a level for which
// CornersByVertex holds: eight corners of a vertex per register (AVX2), or
// two vertices of up to eight faces per register (AVX-512). Corners of
// faces in no list are left alone.
void SmoothCornersByVertex(SimdLevel level, const VertexLists& lists, size_t v0, size_t v1,
                           const Vec3* normal, const CreaseTest& crease, Vec3* corner);

}  // namespace tolvani
