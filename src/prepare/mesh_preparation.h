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

// The corner-normal passes of ComputeNormals, narrowest first: face by face,
// or vertex by vertex with AVX2 (eight corners at once) or AVX-512F (two
// vertices at once). All give the same bits; by default the widest the CPU
// has is taken.
enum class CornerPass { Portable, Avx2, Avx512 };

// Caps the pass ComputeNormals may take (tests check each one). Not to be
// called during a ComputeNormals on another thread.
void LimitCornerPass(CornerPass widest);

// Builds model.groups (appending) and one vertex buffer per non-empty group
// on device. Returns false when a vertex buffer could not be created.
bool BuildMeshGroups(CModel& model, gfx::IGraphicsDevice* device);

}  // namespace tolvani
