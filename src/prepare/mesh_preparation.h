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

// Where the drawing vertices of a model live once its buffers are built.
enum class DrawingVertexCopy : uint8_t {
  // Each group keeps its vertices in memory beside its buffer (picking
  // helpers, autoplay and the tests read them).
  Kept,
  // Only the buffers hold them: they are written straight into buffers made
  // at their full size, kStreamChunkBytes at a time, so a model's vertices
  // never exist whole in memory beside the driver's copy. The model's face
  // normals and vertex face lists go before the buffers are made, its corner
  // normals and uvs after (every face then has no uvs), and the face records
  // give back their spare capacity; vertices, corner indices and materials
  // stay (picking, the ground probe). For a caller that only draws: the
  // thumbnailer. A model that already has groups is built Kept.
  BufferOnly,
};

// Bytes of drawing vertices written per buffer update in BufferOnly mode
// (a whole number of vertices).
inline constexpr size_t kStreamChunkBytes =
    (size_t{2} << 20) / sizeof(MeshVertex) * sizeof(MeshVertex);

// The copy of every later BuildMeshGroups in this process (default Kept).
void SetDrawingVertexCopy(DrawingVertexCopy copy);
DrawingVertexCopy ProcessDrawingVertexCopy();

// Builds model.groups (appending) and one vertex buffer per non-empty group
// on device. Returns false when a vertex buffer could not be created or
// written. Buffers are made from the last group to the first; at the first
// failure the failing group and those before it stay without a buffer
// (with their kept vertices, or none in BufferOnly mode), the later ones
// keep theirs, and the empty groups after it are dropped.
bool BuildMeshGroups(CModel& model, gfx::IGraphicsDevice* device,
                     DrawingVertexCopy copy = ProcessDrawingVertexCopy());

}  // namespace tolvani
