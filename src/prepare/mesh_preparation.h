// Mesh preparation, once per model after a load: face normals, smoothed
// corner normals, per-material flat triangle lists (mesh groups) and their
// vertex buffers.
#pragma once

#include "base/graphics_device.h"
#include "base/simd_level.h"
#include "model/model_records.h"
#include "prepare/smoothing_budget.h"

namespace tolvani {

// Builds vertexFaceStart/vertexFaces (per vertex, its faces in face order,
// a face once per corner at the vertex), every face normal and every corner
// normal. A corner's normal sums its own face's normal and those of the
// faces listed under its vertex that lie within the model's smoothing angle
// (degrees), normalised. The merging's steps come from `budget`, shared by
// the models of one file; the vertices that do not fit are shaded flat.
// Indices outside the vertex list contribute nothing and read nothing out
// of range. The corner pass runs at `level`: it has kernels at Portable,
// Avx2 and Avx512, all giving the same bits.
void ComputeNormals(CModel& model, SmoothingBudget& budget, SimdLevel level = DefaultSimdLevel());

// A model alone, with a budget of its own.
void ComputeNormals(CModel& model);

// Builds model.groups (appending) and one vertex buffer per non-empty group
// on device. Returns false when a vertex buffer could not be created.
bool BuildMeshGroups(CModel& model, gfx::IGraphicsDevice* device);

}  // namespace tolvani
