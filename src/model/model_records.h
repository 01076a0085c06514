// Geometry and material records of a project: CUV, CFace, CMaterial, CModel.
//
// Stored orders (all little-endian, see archive.h):
//  CUV:      u, v (float32)
//  CFace:    material int32; count + int32 indices; count + CUV uvs
//  CMaterial: name; color r,g,b,a; diffuse, ambient, emissive, specular,
//            power; textureName, auxName1, auxName2; then, only when
//            textureName is not empty, width, height, channels (int32) and
//            the samples column by column (x outer, y inner, channel inner).
//  CModel:   name; V; F; auxValue; smoothingAngle; V x (x,y,z);
//            animationNames; bones; animations (A x B x M x 16 floats);
//            collisionMaterial; materialSets; materialSetBase;
//            [file version >= 0.91: parents, weights]; F faces.
//
// A model keeps its faces in flat arrays (FaceTable) instead of one small
// object per face: a project may hold millions of faces. CFace remains the
// record type for building and inspecting one face.
//
// A project may equally hold millions of tiny models. Their names and the
// lists that are mostly empty are packed (packed_vector.h: one pointer per
// list, no memory while empty), so an empty model costs a few hundred bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/graphics_device.h"
#include "base/math.h"
#include "base/uninitialized_allocator.h"
#include "model/mesh_vertex.h"
#include "model/packed_vector.h"
#include "model/pixel_matrix.h"

namespace tolvani {

class CArchive;

struct CUV {
  float u = 0, v = 0;
  void Serialize(CArchive& ar);
};

// One polygon as a record (building, tests, inspection). Models store faces
// in a FaceTable.
struct CFace {
  int32_t material = 0;
  std::vector<int32_t> indices;
  std::vector<CUV> uvs;
  // Filled by mesh preparation.
  Vec3 normal;
  std::vector<Vec3> cornerNormals;
  void Serialize(CArchive& ar);
};

// Faces of one model, structure of arrays. Face f's corners are
// indices[indexStart[f] .. indexStart[f + 1]); its uvs are
// uvs[uvStart[f] .. uvStart[f + 1]). Corner normals run parallel to indices.
struct FaceTable {
  PackedVector<int32_t> material;     // per face
  PackedVector<uint32_t> indexStart;  // face count + 1 offsets (empty when no faces)
  std::vector<int32_t> indices;       // every corner's vertex index
  PackedVector<uint32_t> uvStart;     // face count + 1 offsets
  std::vector<CUV> uvs;
  // Filled by mesh preparation; resize leaves new elements unset.
  UninitializedVector<Vec3> normal;        // per face
  UninitializedVector<Vec3> cornerNormal;  // per corner, parallel to indices

  size_t size() const { return material.size(); }
  bool empty() const { return material.empty(); }
  uint32_t CornerCount(size_t f) const { return indexStart[f + 1] - indexStart[f]; }
  std::span<const int32_t> Indices(size_t f) const {
    return {indices.data() + indexStart[f], indexStart[f + 1] - indexStart[f]};
  }
  std::span<const CUV> UVs(size_t f) const {
    return {uvs.data() + uvStart[f], uvStart[f + 1] - uvStart[f]};
  }
  void Clear();
  // Appends a face record (indices and uvs; the prepared normals are not copied).
  void Append(const CFace& face);
  // A copy of face f as a record, with its prepared normals when present.
  CFace Get(size_t f) const;
};

struct CMaterial {
  std::u16string name;
  float color[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  float diffuse = 0, ambient = 0, emissive = 0, specular = 0, power = 0;
  std::u16string textureName;  // empty: untextured, no image stored
  std::u16string auxName1, auxName2;
  gfx::Handle textureView = gfx::kNone;  // built by BuildMaterialTexture
  PixelMatrix image;
  void Serialize(CArchive& ar);
};

// A mesh group: the drawing vertices of one material of one model
// (resize leaves new vertices unset). The vertices are kept in memory beside
// the buffer, or held by the buffer alone (then `vertices` is empty and
// bufferOnlyVertices counts them; see BuildMeshGroups).
struct MeshGroup {
  UninitializedVector<MeshVertex> vertices;
  gfx::Handle vertexBuffer = gfx::kNone;
  int32_t material = 0;
  uint32_t bufferOnlyVertices = 0;  // 0 whenever `vertices` holds them
  // The group's drawing vertices, wherever they are held.
  size_t VertexCount() const { return vertices.empty() ? bufferOnlyVertices : vertices.size(); }
};

// Per animation, per bone track, per frame: one matrix.
using Animation = std::vector<std::vector<Matrix4>>;
// Material substitution sets: per set, material indices.
using MaterialSets = PackedVector<PackedVector<int32_t>>;

class CModel {
 public:
  PackedVector<int32_t> parents;  // per vertex, -1 in files older than 0.91
  PackedVector<float> weights;    // per vertex, 1.0 in files older than 0.91
  PackedString name;
  float smoothingAngle = 0;  // degrees
  int32_t auxValue = 0;
  UninitializedVector<Vec3> vertices;  // resize leaves new elements unset
  PackedVector<int32_t> bones;
  // Faces using each vertex (built by ComputeNormals), compressed rows:
  // vertex v's faces are vertexFaces[vertexFaceStart[v] .. vertexFaceStart[v + 1]).
  std::vector<uint32_t> vertexFaceStart;
  std::vector<int32_t> vertexFaces;
  FaceTable faces;
  std::vector<MeshGroup> groups;
  PackedVector<Animation> animations;
  NameList animationNames;
  bool visible = true;
  int32_t currentAnimation = -1;
  int32_t animationFrame = 0;
  int32_t collisionMaterial = -1;
  MaterialSets materialSets;
  int32_t materialSetBase = 0;

  // fileVersion decides whether parents and weights are stored (>= 0.91).
  void Serialize(CArchive& ar, float fileVersion);

  // Releases every group's vertex buffer on device, then clears groups,
  // vertices, vertex face lists and faces.
  void ReleaseDeviceResources(gfx::IGraphicsDevice* device);

  // Frame count of animation a: 0 when a is out of range or has no tracks.
  int32_t FrameCount(int32_t a) const;
  // One tick of the animation counter (loops for ever).
  void AdvanceAnimationFrame();
};

}  // namespace tolvani
