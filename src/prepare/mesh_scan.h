// Scans over a model's flat face table shared by the normals and the mesh
// groups: the table's consistency, per-face usability, and vector
// normalisation in bulk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/model_records.h"

namespace tolvani {

// Faces whose normals are summed, then normalised, in one go.
inline constexpr size_t kNormalBlock = 1024;

// Faces per thread below which a second thread is not worth starting.
inline constexpr size_t kMinFacesPerThread = 65536;

// n divided by its length: x*x + y*y, + z*z, square root, three divisions
// (each correctly rounded, no fused multiply-add); zero unless the length
// is above 0.
Vec3 Normalized(Vec3 n);

// Normalized over an array, in place; bit-identical to Normalized element
// by element. v may be null when n is 0.
void NormalizeAll(Vec3* v, size_t n);

// Whether the offset lists of the face table are usable: one more than the
// faces, starting at 0, ending at their arrays' sizes, never falling. A
// table without faces is.
bool FaceTableConsistent(const FaceTable& faces);

// Per-face usability (every index inside the vertex list), or empty when
// every face is usable, the usual case, checked first in one pass over the
// indices. Needs a consistent face table.
std::vector<uint8_t> UsableFaces(const CModel& model);

}  // namespace tolvani
