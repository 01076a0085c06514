// Normals, crease merging, mesh groups and their vertex buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <random>

#include "prepare/mesh_preparation.h"
#include "render/null_device.h"
#include "support/reference_preparation.h"

namespace tolvani {

// Test names and failures name the level.
inline void PrintTo(SimdLevel level, std::ostream* os) {
  *os << SimdLevelName(level);
}

namespace {

CFace Face(std::vector<int32_t> indices, int32_t material = 0, std::vector<CUV> uvs = {}) {
  CFace f;
  f.material = material;
  f.indices = std::move(indices);
  f.uvs = std::move(uvs);
  return f;
}

CModel Model(std::vector<Vec3> vertices, const std::vector<CFace>& faces, float smoothing) {
  CModel m;
  m.vertices.assign(vertices.begin(), vertices.end());
  m.smoothingAngle = smoothing;
  for (const CFace& f : faces) m.faces.Append(f);
  m.bones.assign(m.vertices.size(), 0);
  m.parents.assign(m.vertices.size(), -1);
  m.weights.assign(m.vertices.size(), 1.0f);
  return m;
}

Vec3 Unit(Vec3 v) {
  const float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / l, v.y / l, v.z / l};
}

Vec3 Add(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}

bool Bits(const Vec3& a, const Vec3& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

Vec3 Corner(const CModel& m, size_t f, size_t k) {
  return m.faces.cornerNormal[m.faces.indexStart[f] + k];
}

// A fan of two triangles folded along the edge (0,1) by the given angle
// between their normals.
CModel Hinge(float foldDegrees, float smoothing) {
  const double a = foldDegrees * 3.14159265358979323846 / 180.0;
  std::vector<Vec3> v = {{0, 0, 0},
                         {1, 0, 0},
                         {0, 1, 0},
                         {0, -static_cast<float>(std::cos(a)), -static_cast<float>(std::sin(a))}};
  return Model(v, {Face({0, 1, 2}), Face({1, 0, 3})}, smoothing);
}

TEST(ComputeNormals, FaceNormalIsTheUnitCrossProductOfTheFirstThreePositions) {
  // (P0-P1) x (P0-P2) of a counter-clockwise triangle in the xy plane
  // points along +z; a non-planar quad uses its first three corners only.
  CModel m = Model({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {5, 5, 9}, {0, 0, 3}},
                   {Face({0, 1, 2}), Face({0, 1, 2, 3}), Face({0, 2, 1}), Face({1, 4, 0})}, 0);
  ComputeNormals(m);
  EXPECT_TRUE(Bits(m.faces.normal[0], Vec3{0, 0, 1}));
  EXPECT_TRUE(Bits(m.faces.normal[1], Vec3{0, 0, 1}));
  EXPECT_EQ(m.faces.normal[2].z, -1.0f);
  EXPECT_EQ(m.faces.normal[3].y, -1.0f);
  ASSERT_EQ(m.faces.cornerNormal.size(), 13u);
}

TEST(ComputeNormals, VertexFaceListsKeepFaceOrderAndDuplicates) {
  CModel m = Model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                   {Face({0, 1, 2}), Face({2, 1, 3}), Face({3, 3, 1})}, 30);
  ComputeNormals(m);
  ASSERT_EQ(m.vertexFaceStart.size(), 5u);
  auto faces = [&](int v) {
    return std::vector<int32_t>(m.vertexFaces.begin() + m.vertexFaceStart[v],
                                m.vertexFaces.begin() + m.vertexFaceStart[v + 1]);
  };
  EXPECT_EQ(faces(0), (std::vector<int32_t>{0}));
  EXPECT_EQ(faces(1), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(faces(2), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(faces(3), (std::vector<int32_t>{1, 2, 2}));
}

TEST(ComputeNormals, CreaseAngleDecidesMerging) {
  // Folded by 20 degrees: smoothing 0 keeps both faces flat, 30 merges them
  // into the bisector, 20 does not (strictly greater is needed... and the
  // float angle of the fold is slightly off 20, so use 19 and 21).
  for (float smoothing : {0.0f, 19.0f}) {
    CModel m = Hinge(20, smoothing);
    ComputeNormals(m);
    for (size_t f = 0; f < 2; ++f)
      for (size_t k = 0; k < 3; ++k)
        EXPECT_TRUE(Bits(Corner(m, f, k), Unit(m.faces.normal[f]))) << smoothing;
  }
  for (float smoothing : {21.0f, 30.0f}) {
    CModel m = Hinge(20, smoothing);
    ComputeNormals(m);
    const Vec3 n0 = m.faces.normal[0], n1 = m.faces.normal[1];
    // Shared corners (vertices 0 and 1): own face first in list order.
    EXPECT_TRUE(Bits(Corner(m, 0, 0), Unit(Add(n0, n1))));
    EXPECT_TRUE(Bits(Corner(m, 1, 0), Unit(Add(n0, n1))));
    // Unshared corners stay flat.
    EXPECT_TRUE(Bits(Corner(m, 0, 2), Unit(n0)));
    EXPECT_TRUE(Bits(Corner(m, 1, 2), Unit(n1)));
  }
}

TEST(ComputeNormals, HalfTurnMergesAllButExactlyOppositeFaces) {
  // Faces 0 and 1 are the same triangle wound both ways (dot exactly -1);
  // face 2 is folded by 170 degrees against face 0.
  const double a = 170 * 3.14159265358979323846 / 180.0;
  std::vector<Vec3> v = {{0, 0, 0},
                         {1, 0, 0},
                         {0, 1, 0},
                         {0, -static_cast<float>(std::cos(a)), -static_cast<float>(std::sin(a))}};
  CModel m = Model(v, {Face({0, 1, 2}), Face({0, 2, 1}), Face({1, 0, 3})}, 180);
  ComputeNormals(m);
  const Vec3 n0 = m.faces.normal[0], n1 = m.faces.normal[1], n2 = m.faces.normal[2];
  ASSERT_EQ((n0.x * n1.x + n0.y * n1.y) + n0.z * n1.z, -1.0f);
  // Corner at vertex 2 of face 0: faces 0 and 1 only; 1 is opposite.
  EXPECT_TRUE(Bits(Corner(m, 0, 2), Unit(n0)));
  // Corner at vertex 0 of face 0: faces 0, 1, 2; 2 merges, 1 does not.
  EXPECT_TRUE(Bits(Corner(m, 0, 0), Unit(Add(n0, n2))));
  // From face 1's side face 0 is opposite too, but face 2 merges.
  EXPECT_TRUE(Bits(Corner(m, 1, 0), Unit(Add(n1, n2))));
}

TEST(ComputeNormals, CoplanarNeighbourWhoseDotRoundsAboveOneIsNotMerged) {
  // Look for a triangle whose unit normal n has float n.n > 1; a second face
  // on the same three vertices then has the same normal and an arc cosine of
  // NaN, so it is not merged. A third face folded by a few degrees merges.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> d(-1, 1);
  for (int attempt = 0; attempt < 100000; ++attempt) {
    const Vec3 p2{d(rng), d(rng), d(rng)};
    CModel probe = Model({{0, 0, 0}, {1, 0.25f, 0}, p2}, {Face({0, 1, 2})}, 30);
    ComputeNormals(probe);
    const Vec3 n = probe.faces.normal[0];
    if (!((n.x * n.x + n.y * n.y) + n.z * n.z > 1.0f)) continue;
    const Vec3 p3 = Add(p2, Vec3{n.x * 0.05f, n.y * 0.05f, n.z * 0.05f});
    CModel m = Model({{0, 0, 0}, {1, 0.25f, 0}, p2, p3},
                     {Face({0, 1, 2}), Face({0, 1, 2}), Face({0, 1, 3})}, 30);
    ComputeNormals(m);
    const Vec3 n0 = m.faces.normal[0], n2 = m.faces.normal[2];
    ASSERT_TRUE(Bits(m.faces.normal[1], n0));
    const float fold = static_cast<float>(
        std::acos(static_cast<double>((n0.x * n2.x + n0.y * n2.y) + n0.z * n2.z)));
    if (!(fold < 25 * 0.0174532925f)) continue;
    const Vec3 expected = Unit(Add(n0, n2));
    const Vec3 wrong = Unit(Add(Add(n0, n0), n2));
    if (Bits(expected, wrong)) continue;
    EXPECT_TRUE(Bits(Corner(m, 0, 0), expected));
    EXPECT_TRUE(Bits(Corner(m, 1, 0), Unit(Add(n0, n2))));
    return;
  }
  FAIL() << "no triangle with a normal whose dot product rounds above 1";
}

TEST(ComputeNormals, OutOfRangeIndicesReadNothingAndContributeNothing) {
  // Face 1 names vertex 7 of 4 and face 2 a negative index: neither is
  // listed under any vertex nor gets a normal; face 0 stays flat.
  CModel m = Model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}},
                   {Face({0, 1, 2}), Face({0, 1, 7}), Face({-1, 1, 2}), Face({0, 1, 3})}, 180);
  ComputeNormals(m);
  EXPECT_TRUE(Bits(m.faces.normal[1], Vec3{0, 0, 0}));
  EXPECT_TRUE(Bits(m.faces.normal[2], Vec3{0, 0, 0}));
  for (int32_t f : m.vertexFaces) EXPECT_TRUE(f == 0 || f == 3);
  EXPECT_TRUE(Bits(Corner(m, 0, 2), Unit(m.faces.normal[0])));
  for (size_t k = 0; k < 3; ++k) EXPECT_TRUE(Bits(Corner(m, 1, k), Vec3{0, 0, 0}));
}

// Offsets that fall anywhere (the four-at-a-time part of the check or its
// tail) make the table unusable: zero normals, no groups built.
TEST(MeshPreparation, FallingOffsetsAreRefused) {
  std::vector<CFace> faces;
  for (int32_t f = 0; f < 9; ++f) faces.push_back(Face({0, 1, 2}, 0, {{0, 0}, {1, 0}, {1, 1}}));
  const CModel good = Model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, faces, 30);
  for (bool uvList : {false, true}) {
    for (size_t at : {1u, 3u, 4u, 6u, 8u}) {
      CModel m = good;
      auto& offsets = uvList ? m.faces.uvStart : m.faces.indexStart;
      offsets[at] = offsets[at + 1] + 1;
      ComputeNormals(m);
      ASSERT_EQ(m.faces.normal.size(), 9u);
      for (const Vec3& n : m.faces.normal) EXPECT_TRUE(Bits(n, Vec3{0, 0, 0})) << uvList << at;
      NullGraphicsDevice device;
      EXPECT_FALSE(BuildMeshGroups(m, &device)) << uvList << at;
      EXPECT_TRUE(m.groups.empty());
    }
  }
}

TEST(ComputeNormals, AVertexSharedByTooManyFacesIsShadedFlat) {
  // A fan of 40000 triangles around vertex 0 would need 1.6e9 merge steps
  // at its hub; the hub's corners keep their own face normal instead, while
  // the rim vertices (two faces each) still merge.
  const int n = 40000;
  CModel m;
  m.smoothingAngle = 90;
  m.vertices.push_back({0, 0, 1});
  for (int i = 0; i <= n; ++i) {
    const double a = 6.283185307179586 * i / n;
    m.vertices.push_back({static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 0});
  }
  for (int i = 0; i < n; ++i) m.faces.Append(Face({0, i + 1, i + 2}));
  ComputeNormals(m);
  for (size_t f : {size_t{0}, size_t{12345}, size_t{n - 1}})
    EXPECT_TRUE(Bits(Corner(m, f, 0), Unit(m.faces.normal[f]))) << f;
  EXPECT_TRUE(Bits(Corner(m, 1, 1), Unit(Add(m.faces.normal[0], m.faces.normal[1]))));
}

TEST(BuildMeshGroups, TriangleCornersCarryPositionNormalUvAndBoneData) {
  CModel m = Model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                   {Face({2, 0, 1}, 4, {{0.5f, 0.25f}, {1, 1}, {0.125f, 2}})}, 0);
  m.bones = {3, 4, 5};
  m.parents = {-1, 7, 8};
  m.weights = {0.5f, 0.25f, 1};
  ComputeNormals(m);
  NullGraphicsDevice device;
  ASSERT_TRUE(BuildMeshGroups(m, &device));
  ASSERT_EQ(m.groups.size(), 1u);
  const MeshGroup& g = m.groups[0];
  EXPECT_EQ(g.material, 4);
  ASSERT_EQ(g.vertices.size(), 3u);
  EXPECT_EQ(g.vertices[0].position.y, 1.0f);
  EXPECT_EQ(g.vertices[0].uv.x, 0.5f);
  EXPECT_EQ(g.vertices[0].uv.y, 0.25f);
  EXPECT_EQ(g.vertices[0].bone, 5.0f);
  EXPECT_EQ(g.vertices[0].parent, 8.0f);
  EXPECT_EQ(g.vertices[0].weight, 1.0f);
  EXPECT_EQ(g.vertices[1].bone, 3.0f);
  EXPECT_EQ(g.vertices[1].parent, -1.0f);
  EXPECT_EQ(g.vertices[1].weight, 0.5f);
  EXPECT_EQ(g.vertices[2].uv.y, 2.0f);
  EXPECT_TRUE(g.vertices[2].normal == Unit(m.faces.normal[0]));  // the sum starts at +0
  // The buffer holds exactly the vertices.
  ASSERT_NE(g.vertexBuffer, gfx::kNone);
  const auto& bytes = device.BufferContents(g.vertexBuffer);
  ASSERT_EQ(bytes.size(), 3 * sizeof(MeshVertex));
  EXPECT_EQ(std::memcmp(bytes.data(), g.vertices.data(), bytes.size()), 0);
}

TEST(BuildMeshGroups, QuadsLinesAndOtherCornerCounts) {
  // Quad (0,1,2,3) non-planar, a line, a 5-gon, a point, a quad with 3 uvs.
  CModel m = Model({{0, 0, 0}, {1, 0, 0}, {1, 1, 0.5f}, {0, 1, 0}, {2, 2, 2}},
                   {Face({0, 1, 2, 3}, 0, {{0, 0}, {1, 0}, {1, 1}}), Face({4, 0}, 0),
                    Face({0, 1, 2, 3, 4}, 1), Face({4}, 1), Face({1, 2, 3}, 0)},
                   0);
  ComputeNormals(m);
  // The 5-gon has a face normal from its first three corners.
  EXPECT_TRUE(Bits(m.faces.normal[2], m.faces.normal[0]));
  NullGraphicsDevice device;
  ASSERT_TRUE(BuildMeshGroups(m, &device));
  // Material 1 (5-gon and point) yields nothing, so its group is gone.
  ASSERT_EQ(m.groups.size(), 1u);
  const auto& v = m.groups[0].vertices;
  ASSERT_EQ(v.size(), 6u + 2u + 3u);  // not a multiple of 3
  const int quadOrder[6] = {0, 1, 2, 2, 3, 0};
  for (int i = 0; i < 6; ++i) {
    const size_t c = static_cast<size_t>(quadOrder[i]);
    EXPECT_TRUE(Bits(v[i].position, m.vertices[m.faces.Indices(0)[c]])) << i;
    EXPECT_TRUE(Bits(v[i].normal, Corner(m, 0, c))) << i;
  }
  // Corner 3 has no uv: (0, 0).
  EXPECT_EQ(v[4].uv.x, 0.0f);
  EXPECT_EQ(v[4].uv.y, 0.0f);
  EXPECT_EQ(v[2].uv.x, 1.0f);
  // The line: fixed normal, uv, bone, parent, weight.
  for (int i = 6; i < 8; ++i) {
    EXPECT_TRUE(Bits(v[i].normal, Vec3{0, 0, 1}));
    EXPECT_EQ(v[i].uv.x, 0.0f);
    EXPECT_EQ(v[i].bone, -1.0f);
    EXPECT_EQ(v[i].parent, -1.0f);
    EXPECT_EQ(v[i].weight, 1.0f);
  }
  EXPECT_TRUE(Bits(v[6].position, m.vertices[4]));
  EXPECT_TRUE(Bits(v[7].position, m.vertices[0]));
}

TEST(BuildMeshGroups, CollisionFacesMergeButAreNotDrawn) {
  CModel m = Hinge(20, 30);
  m.faces.material[1] = 9;
  m.collisionMaterial = 9;
  ComputeNormals(m);
  const Vec3 smooth = Unit(Add(m.faces.normal[0], m.faces.normal[1]));
  EXPECT_TRUE(Bits(Corner(m, 0, 0), smooth));
  NullGraphicsDevice device;
  ASSERT_TRUE(BuildMeshGroups(m, &device));
  ASSERT_EQ(m.groups.size(), 1u);
  EXPECT_EQ(m.groups[0].material, 0);
  ASSERT_EQ(m.groups[0].vertices.size(), 3u);
  EXPECT_TRUE(Bits(m.groups[0].vertices[0].normal, smooth));

  // With the default collision material -1, material -1 is not drawn.
  CModel d = Model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {Face({0, 1, 2}, -1)}, 0);
  ComputeNormals(d);
  EXPECT_TRUE(BuildMeshGroups(d, &device));
  EXPECT_TRUE(d.groups.empty());
}

TEST(BuildMeshGroups, GroupsFollowFirstAppearanceAndFaceOrder) {
  CModel m = Model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                   {Face({0, 1, 2}, 5), Face({1, 3, 2}, 2), Face({0, 1, 3}, 9), Face({2, 1, 0}, 5),
                    Face({3, 2, 1}, -1)},
                   0);
  m.collisionMaterial = 9;
  ComputeNormals(m);
  NullGraphicsDevice device;
  ASSERT_TRUE(BuildMeshGroups(m, &device));
  ASSERT_EQ(m.groups.size(), 3u);
  EXPECT_EQ(m.groups[0].material, 5);
  EXPECT_EQ(m.groups[1].material, 2);
  EXPECT_EQ(m.groups[2].material, -1);  // drawn: -1 is not the collision material here
  ASSERT_EQ(m.groups[0].vertices.size(), 6u);
  EXPECT_TRUE(Bits(m.groups[0].vertices[0].position, m.vertices[0]));
  EXPECT_TRUE(Bits(m.groups[0].vertices[3].position, m.vertices[2]));  // face 3 after face 0
  for (const MeshGroup& g : m.groups) {
    ASSERT_NE(g.vertexBuffer, gfx::kNone);
    EXPECT_EQ(device.BufferSize(g.vertexBuffer), g.vertices.size() * sizeof(MeshVertex));
  }
}

TEST(BuildMeshGroups, FailedBufferKeepsTheLaterGroupsBuffers) {
  // Groups: 0 (material 1), 1 (material 2, empty: only a point), 2, 3.
  // Buffers are made from the last group back; the second creation (group
  // 2) fails: group 3 keeps its buffer, groups 0..2 stay without, and the
  // empty group 1 stays in the list.
  CModel m = Model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                   {Face({0, 1, 2}, 1), Face({0}, 2), Face({0, 1, 2}, 3), Face({0, 1, 2}, 4)}, 0);
  ComputeNormals(m);
  NullGraphicsDevice device;
  device.FailCall(NullGraphicsDevice::Op::CreateVertexBuffer, 2);
  EXPECT_FALSE(BuildMeshGroups(m, &device));
  ASSERT_EQ(m.groups.size(), 4u);
  EXPECT_EQ(m.groups[1].material, 2);
  EXPECT_TRUE(m.groups[1].vertices.empty());
  EXPECT_EQ(m.groups[0].vertexBuffer, gfx::kNone);
  EXPECT_EQ(m.groups[2].vertexBuffer, gfx::kNone);
  EXPECT_NE(m.groups[3].vertexBuffer, gfx::kNone);
  EXPECT_EQ(device.LiveObjectCount(), 1u);
  EXPECT_EQ(device.CallCount(NullGraphicsDevice::Op::CreateVertexBuffer), 2u);
}

TEST(BuildMeshGroups, NoDeviceOrNoFaces) {
  CModel m = Model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {Face({0, 1, 2})}, 0);
  ComputeNormals(m);
  EXPECT_FALSE(BuildMeshGroups(m, nullptr));
  ASSERT_EQ(m.groups.size(), 1u);
  EXPECT_EQ(m.groups[0].vertexBuffer, gfx::kNone);

  CModel empty = Model({{0, 0, 0}}, {}, 0);
  ComputeNormals(empty);
  NullGraphicsDevice device;
  EXPECT_TRUE(BuildMeshGroups(empty, &device));
  EXPECT_TRUE(empty.groups.empty());
  EXPECT_EQ(device.CallCount(NullGraphicsDevice::Op::CreateVertexBuffer), 0u);
}

TEST(BuildMeshGroups, BadIndicesAndShortBoneListsAreSafe) {
  CModel m = Model(
      {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
      {Face({0, 1, 2}), Face({0, 9, 2}), Face({0, -3}), Face({1, 3, 2, 100}), Face({1, 3, 2})}, 30);
  m.bones = {1};
  m.parents = {};
  m.weights = {0.5f, 0.25f};
  ComputeNormals(m);
  NullGraphicsDevice device;
  ASSERT_TRUE(BuildMeshGroups(m, &device));
  ASSERT_EQ(m.groups.size(), 1u);
  const auto& v = m.groups[0].vertices;
  ASSERT_EQ(v.size(), 6u);  // only faces 0 and 4
  EXPECT_EQ(v[0].bone, 1.0f);
  EXPECT_EQ(v[0].parent, -1.0f);
  EXPECT_EQ(v[0].weight, 0.5f);
  EXPECT_EQ(v[1].bone, -1.0f);
  EXPECT_EQ(v[1].weight, 0.25f);
  EXPECT_EQ(v[2].weight, 1.0f);
  EXPECT_EQ(v[4].bone, -1.0f);
}

// Random meshes against the plain implementation, bit for bit.
// Corners pick among the first `shared` vertices.
CModel RandomModel(uint32_t seed, size_t vertexCount, size_t faceCount, float smoothing, bool bad,
                   int shared = 24) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> coord(-2, 2);
  std::uniform_int_distribution<int> pick(0, static_cast<int>(vertexCount) - 1);
  std::uniform_int_distribution<int> kind(0, 99);
  CModel m;
  m.smoothingAngle = smoothing;
  m.collisionMaterial = 3;
  for (size_t i = 0; i < vertexCount; ++i)
    m.vertices.push_back({coord(rng), coord(rng), coord(rng)});
  // Some exactly repeated positions so that coplanar and opposite faces occur.
  for (size_t i = 0; i + 1 < vertexCount; i += 7) m.vertices[i + 1] = m.vertices[i];
  m.bones.resize(vertexCount * 3 / 4, 2);
  m.parents.resize(vertexCount / 2, 1);
  m.weights.resize(vertexCount, 0.75f);
  for (size_t f = 0; f < faceCount; ++f) {
    CFace face;
    face.material = kind(rng) % 6 - 1;
    const int k = kind(rng);
    const size_t corners = k < 60 ? 3 : k < 85 ? 4 : k < 90 ? 2 : k < 95 ? 5 : k < 98 ? 1 : 0;
    for (size_t c = 0; c < corners; ++c) face.indices.push_back(pick(rng) % shared);
    if (kind(rng) < 30 && f > 0) {
      // Repeat a previous face, sometimes reversed.
      CFace prev = m.faces.Get(f - 1);
      face.indices = prev.indices;
      if (kind(rng) < 50) std::reverse(face.indices.begin(), face.indices.end());
    }
    if (bad && kind(rng) < 5 && !face.indices.empty())
      face.indices[0] =
          kind(rng) < 50 ? -1 - kind(rng) : static_cast<int32_t>(vertexCount) + kind(rng);
    const size_t uvCount = static_cast<size_t>(kind(rng)) % (face.indices.size() + 1);
    for (size_t c = 0; c < uvCount; ++c) face.uvs.push_back({coord(rng), coord(rng)});
    m.faces.Append(face);
  }
  return m;
}

void ExpectSameAsReference(CModel m, SimdLevel level) {
  CModel ref = m;
  SmoothingBudget budget;
  ComputeNormals(m, budget, level);
  testing::ReferenceComputeNormals(ref);
  NullGraphicsDevice d1, d2;
  const bool ok1 = BuildMeshGroups(m, &d1);
  const bool ok2 = testing::ReferenceBuildMeshGroups(ref, &d2);
  EXPECT_EQ(ok1, ok2);
  EXPECT_EQ(testing::ComparePreparedModels(m, ref), "");
}

// Each corner pass (Portable, Avx2, Avx512); the ones this CPU lacks are
// reported as skipped.
class MeshPreparationPasses : public ::testing::TestWithParam<SimdLevel> {
 protected:
  void SetUp() override {
    if (!SimdLevelSupported(GetParam()))
      GTEST_SKIP() << "this CPU lacks the " << SimdLevelName(GetParam()) << " level";
  }
};

TEST_P(MeshPreparationPasses, MatchesThePlainAlgorithmBitForBit) {
  // Tiny angles put the cut-off at a dot of 1, angles near 180 degrees near
  // -1: every pair of a vertex meets it.
  const float angles[] = {0.0f,   1e-6f,   1e-3f,    1.0f,   30.0f,  45.5f, 89.99f, 90.0f,   90.01f,
                          135.0f, 179.99f, 179.999f, 180.0f, 360.0f, -5.0f, NAN,    INFINITY};
  uint32_t seed = 1;
  for (float angle : angles) {
    ExpectSameAsReference(RandomModel(seed++, 24, 400, angle, false), GetParam());
    ExpectSameAsReference(RandomModel(seed++, 30, 400, angle, true), GetParam());
    // Few shared vertices: lists shorter than eight.
    ExpectSameAsReference(RandomModel(seed++, 400, 300, angle, angle > 40, 400), GetParam());
  }
}

TEST_P(MeshPreparationPasses, LargeGridMatchesThePlainAlgorithmOnBothThreads) {
  // Enough faces for the two-thread path; a bumpy grid with shared vertices.
  const int n = 260;
  CModel m;
  m.smoothingAngle = 30;
  for (int y = 0; y <= n; ++y)
    for (int x = 0; x <= n; ++x)
      m.vertices.push_back({static_cast<float>(x), static_cast<float>(y),
                            static_cast<float>(std::sin(x * 0.7) * std::cos(y * 0.3))});
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const int32_t a = y * (n + 1) + x, b = a + 1, c = a + n + 1, d = c + 1;
      // Material 7 first appears in the second thread's half.
      const int32_t material = y > n * 3 / 4 && x % 5 == 0 ? 7 : (x / 64) % 3;
      m.faces.Append(Face({a, b, d}, material, {{0, 0}, {1, 0}, {1, 1}}));
      m.faces.Append(Face({a, d, c}, material, {{0, 0}, {1, 1}}));
    }
  // Bone data for every vertex (the fill's fast path), varied per vertex.
  for (size_t v = 0; v < m.vertices.size(); ++v) {
    m.bones.push_back(static_cast<int32_t>(v % 7));
    m.parents.push_back(static_cast<int32_t>(v % 5) - 1);
    m.weights.push_back(static_cast<float>(v % 11) / 10.0f);
  }
  ASSERT_GT(m.faces.size(), 131072u);
  ExpectSameAsReference(m, GetParam());
}

INSTANTIATE_TEST_SUITE_P(CornerPasses, MeshPreparationPasses,
                         ::testing::Values(SimdLevel::Portable, SimdLevel::Avx2, SimdLevel::Avx512),
                         [](const auto& info) { return SimdLevelName(info.param); });

}  // namespace
}  // namespace tolvani
