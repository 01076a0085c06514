// Mesh groups built with their vertices only in the device's buffers: the
// same groups and the same buffer bytes as when the vertices are kept, what
// is freed and kept of the model, and failures part-way.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "prepare/mesh_preparation.h"
#include "render/null_device.h"

namespace tolvani {
namespace {

using Op = NullGraphicsDevice::Op;

struct ModelShape {
  const char* name;
  uint32_t seed;
  size_t faces;
  int32_t materials;        // face materials drawn from [0, materials)
  int32_t collision;        // the collision material (-1: none)
  bool allCorners = true;   // every corner with its uv, every vertex with its bone data
  bool badIndices = false;  // some faces point past the vertex list
  bool runs = false;        // materials in long runs (one group after another)
};

// Faces of 1 to 5 corners (lines, triangles and quadrilaterals drawn, the
// others not) or triangles only when allCorners, over 64 vertices.
CModel MakeModel(const ModelShape& shape) {
  std::mt19937 rng(shape.seed);
  CModel m;
  constexpr int32_t kVertices = 64;
  for (int32_t v = 0; v < kVertices; ++v) {
    m.vertices.push_back(Vec3{static_cast<float>(rng() % 100), static_cast<float>(rng() % 100),
                              static_cast<float>(rng() % 7)});
  }
  const size_t withBones = shape.allCorners ? kVertices : kVertices / 2;
  for (size_t v = 0; v < withBones; ++v) {
    m.bones.push_back(static_cast<int32_t>(v % 5));
    m.parents.push_back(static_cast<int32_t>(v % 3) - 1);
    m.weights.push_back(0.25f * static_cast<float>(v % 4));
  }
  m.smoothingAngle = 60;
  m.collisionMaterial = shape.collision;
  for (size_t f = 0; f < shape.faces; ++f) {
    CFace face;
    face.material = shape.runs ? static_cast<int32_t>(f * shape.materials / shape.faces)
                               : static_cast<int32_t>(rng() % shape.materials);
    const uint32_t corners = shape.allCorners ? 3 : 1 + rng() % 5;
    for (uint32_t c = 0; c < corners; ++c) {
      const bool bad = shape.badIndices && rng() % 50 == 0;
      face.indices.push_back(bad ? kVertices + 3 : static_cast<int32_t>(rng() % kVertices));
    }
    const uint32_t uvs = shape.allCorners ? corners : rng() % (corners + 1);
    for (uint32_t c = 0; c < uvs; ++c) {
      face.uvs.push_back(CUV{static_cast<float>(c) / 4, static_cast<float>(f % 9)});
    }
    m.faces.Append(face);
  }
  ComputeNormals(m);
  return m;
}

// Drawing vertices at 2.5 buffer updates' worth: one group spans chunks.
constexpr size_t kPastTwoChunks = kStreamChunkBytes / sizeof(MeshVertex) * 5 / 6;

class BufferOnlyGroups : public ::testing::TestWithParam<ModelShape> {};

TEST_P(BufferOnlyGroups, HoldTheBytesOfKeptGroups) {
  CModel kept = MakeModel(GetParam());
  CModel streamed = MakeModel(GetParam());
  NullGraphicsDevice keptDevice, device;
  ASSERT_TRUE(BuildMeshGroups(kept, &keptDevice, DrawingVertexCopy::Kept));
  ASSERT_TRUE(BuildMeshGroups(streamed, &device, DrawingVertexCopy::BufferOnly));
  ASSERT_EQ(streamed.groups.size(), kept.groups.size());
  for (size_t g = 0; g < kept.groups.size(); ++g) {
    const MeshGroup& k = kept.groups[g];
    const MeshGroup& s = streamed.groups[g];
    EXPECT_EQ(s.material, k.material) << "group " << g;
    EXPECT_TRUE(s.vertices.empty()) << "group " << g;
    ASSERT_EQ(s.VertexCount(), k.VertexCount()) << "group " << g;
    const std::vector<uint8_t>& bytes = device.BufferContents(s.vertexBuffer);
    ASSERT_EQ(bytes.size(), k.vertices.size() * sizeof(MeshVertex)) << "group " << g;
    EXPECT_EQ(std::memcmp(bytes.data(), k.vertices.data(), bytes.size()), 0) << "group " << g;
  }
  EXPECT_EQ(device.LiveObjectCount(), streamed.groups.size());
  // What only the buffers needed is gone; picking's inputs stay.
  EXPECT_TRUE(streamed.faces.cornerNormal.empty());
  EXPECT_TRUE(streamed.faces.normal.empty());
  EXPECT_TRUE(streamed.faces.uvs.empty());
  EXPECT_TRUE(streamed.vertexFaces.empty());
  EXPECT_EQ(streamed.faces.UVs(streamed.faces.size() - 1).size(), 0u);
  EXPECT_EQ(streamed.faces.indices, kept.faces.indices);
  EXPECT_EQ(streamed.vertices.size(), kept.vertices.size());
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, BufferOnlyGroups,
    ::testing::Values(ModelShape{"Triangles", 1, 300, 1, -1},
                      ModelShape{"InterleavedMaterials", 2, 500, 4, -1},
                      ModelShape{"CollisionMaterialSkipped", 3, 500, 4, 2},
                      ModelShape{"MixedCornersMissingUvsAndBones", 4, 800, 3, -1, false},
                      ModelShape{"FacesOutsideTheVertexList", 5, 800, 3, 0, false, true},
                      ModelShape{"OneGroupOverSeveralChunks", 6, kPastTwoChunks, 1, -1},
                      ModelShape{"GroupsAcrossChunkEdges", 7, kPastTwoChunks, 5, -1, true, false,
                                 true}),
    [](const ::testing::TestParamInfo<ModelShape>& info) { return info.param.name; });

// A failure part-way leaves the later groups with their buffers and the
// failing one and those before it without; no buffer is left behind.
TEST(BufferOnlyGroupsFailing, KeepTheLaterGroupsBuffersAndReleaseTheFailedOne) {
  struct Case {
    const char* name;
    Op op;
    uint64_t call;
    size_t groupsWithBuffers;  // the last ones
  };
  // Groups 0..3, each a few chunks' worth of nothing: one update per group.
  const Case cases[] = {
      {"second creation", Op::CreateVertexBufferOfSize, 2, 1},
      {"first update", Op::UpdateVertexBuffer, 1, 0},
      {"third update", Op::UpdateVertexBuffer, 3, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CModel m = MakeModel({"", 9, 200, 4, -1, true, false, true});
    NullGraphicsDevice device;
    device.FailCall(c.op, c.call);
    EXPECT_FALSE(BuildMeshGroups(m, &device, DrawingVertexCopy::BufferOnly));
    ASSERT_EQ(m.groups.size(), 4u);
    for (size_t g = 0; g < 4; ++g) {
      const bool hasBuffer = g >= 4 - c.groupsWithBuffers;
      EXPECT_EQ(m.groups[g].vertexBuffer != gfx::kNone, hasBuffer) << "group " << g;
      EXPECT_EQ(m.groups[g].VertexCount() != 0, hasBuffer) << "group " << g;
    }
    EXPECT_EQ(device.LiveObjectCount(), c.groupsWithBuffers);
  }
}

TEST(BufferOnlyGroupsFailing, WithoutADeviceNothingIsBuilt) {
  CModel m = MakeModel({"", 10, 50, 2, -1});
  EXPECT_FALSE(BuildMeshGroups(m, nullptr, DrawingVertexCopy::BufferOnly));
  for (const MeshGroup& g : m.groups) EXPECT_EQ(g.VertexCount(), 0u);
}

}  // namespace
}  // namespace tolvani
