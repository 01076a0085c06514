// Straightforward mesh preparation: per-vertex and per-corner face lists as
// vectors of vectors, the arc cosine taken for every neighbour. Slow, plain
// and easy to check by eye; the optimised ComputeNormals / BuildMeshGroups
// must give bit-identical results (unit tests, geometry benchmark).
//
// A face is usable when every index lies inside the vertex list. Unusable
// faces are listed under no vertex, keep a zero face normal and zero corner
// normals, and yield no drawing vertices. Missing bones / parents / weights
// read as -1 / -1 / 1.
#pragma once

#include <string>

#include "base/graphics_device.h"
#include "model/model_records.h"

namespace tolvani::testing {

void ReferenceComputeNormals(CModel& model);
bool ReferenceBuildMeshGroups(CModel& model, gfx::IGraphicsDevice* device);

// Empty when the prepared fields of a and b (vertexFaceStart, vertexFaces,
// face normals, corner normals, groups with their vertices and buffer
// presence) are bit-identical; otherwise a description of the first
// difference.
std::string ComparePreparedModels(const CModel& a, const CModel& b);

}  // namespace tolvani::testing
