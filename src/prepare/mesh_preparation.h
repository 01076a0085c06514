// Mesh preparation, once per model after a load: face normals, smoothed
// corner normals, per-material flat triangle lists (mesh groups) and their
// vertex buffers.
#pragma once

#include "base/graphics_device.h"
#include "model/model_records.h"

namespace tolvani {

// Builds vertexFaceStart/vertexFaces, every face normal and every corner
// normal. Indices outside the vertex list contribute nothing and read
// nothing out of range.
void ComputeNormals(CModel& model);

// Whether ComputeNormals may take its vertex-by-vertex AVX2 corner pass on a
// CPU that has AVX2 (default: yes). Both passes give the same bits; tests
// turn it off to check the portable one. Not to be called during a
// ComputeNormals on another thread.
void AllowAvx2CornerPass(bool allow);

// Builds model.groups (appending) and one vertex buffer per non-empty group
// on device. Returns false when a vertex buffer could not be created.
bool BuildMeshGroups(CModel& model, gfx::IGraphicsDevice* device);

}  // namespace tolvani
