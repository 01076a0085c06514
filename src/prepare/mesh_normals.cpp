// Normals on the flat face table: per-vertex face lists, face normals and
// corner normals, bit-identical to the plain algorithm (per-vertex face
// lists, per-corner merged lists, float32 dot products, the double arc
// cosine narrowed to float and compared with the float threshold, sums in
// list order). Large models halve their faces (or vertices) over two
// threads, each writing its own part of the preallocated outputs.
//
// Bad indices: a face with any vertex index outside the vertex list is
// unusable: it is listed under no vertex, keeps a zero face normal and zero
// corner normals.
#include <algorithm>
#include <memory>
#include <vector>

#include "base/memory_policy.h"
#include "base/two_threads.h"
#include "prepare/corner_normals.h"
#include "prepare/crease_test.h"
#include "prepare/mesh_preparation.h"
#include "prepare/mesh_scan.h"

namespace tolvani {

namespace {

// The per-vertex face lists of a model with their entries' corners.
struct ListsBuilt {
  bool split = false;  // faces halved over two threads
  // Per entry of vertexFaces, the corner it stands for (the vertex-by-vertex
  // passes only).
  std::unique_ptr<uint32_t[]> entryCorner;
};

// Faces of every vertex as compressed rows (model.vertexFaceStart and
// vertexFaces: count, prefix sum, fill) and every face normal (the unit
// cross product of the first three positions; zero for fewer corners or
// an unusable face). On two threads each half of the faces counts into its
// own array, and the second half's entries of a vertex go after the first
// half's, so every row stays in face order.
ListsBuilt BuildVertexLists(CModel& model, const uint8_t* usable, bool withCorners) {
  FaceTable& faces = model.faces;
  const size_t vertexCount = model.vertices.size();
  const size_t faceCount = faces.size();
  auto isUsable = [usable](size_t f) { return !usable || usable[f]; };
  const int32_t* idx = faces.indices.data();
  const uint32_t* start = faces.indexStart.data();
  ListsBuilt built;
  std::vector<uint32_t>& rowStart = model.vertexFaceStart;
  rowStart.assign(vertexCount + 1, 0);
  const bool split = built.split = TwoThreadsPay(faceCount, kMinFacesPerThread);
  const size_t half = split ? faceCount / 2 : faceCount;
  std::vector<uint32_t> secondCount(split ? vertexCount : 0);
  // Face normals in the counting pass: cross products of a block of faces,
  // then their normalisation while the block is still in cache.
  ReserveFaulted(faces.normal, faceCount);
  faces.normal.resize(faceCount);
  Vec3* normal = faces.normal.data();
  const Vec3* pos = model.vertices.data();
  auto count = [&](size_t begin, size_t end, uint32_t* counts) {
    for (size_t b0 = begin; b0 < end; b0 += kNormalBlock) {
      const size_t b1 = std::min(end, b0 + kNormalBlock);
      for (size_t f = b0; f < b1; ++f) {
        if (!isUsable(f)) {
          normal[f] = Vec3{0, 0, 0};
          continue;
        }
        for (uint32_t i = start[f]; i < start[f + 1]; ++i) ++counts[static_cast<uint32_t>(idx[i])];
        if (start[f + 1] - start[f] < 3) {
          normal[f] = Vec3{0, 0, 0};
          continue;
        }
        const Vec3 p0 = pos[idx[start[f]]];
        const Vec3 p1 = pos[idx[start[f] + 1]];
        const Vec3 p2 = pos[idx[start[f] + 2]];
        const Vec3 a{p0.x - p1.x, p0.y - p1.y, p0.z - p1.z};
        const Vec3 b{p0.x - p2.x, p0.y - p2.y, p0.z - p2.z};
        normal[f] = Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
      }
      NormalizeAll(normal + b0, b1 - b0);
    }
  };
  RunSplit(
      split, [&] { count(0, half, rowStart.data() + 1); },
      [&] { count(half, faceCount, secondCount.data()); });
  const std::unique_ptr<uint32_t[]> firstCursor(new uint32_t[vertexCount]);  // all set below
  for (size_t v = 0; v < vertexCount; ++v) {
    const uint32_t first = rowStart[v + 1];
    firstCursor[v] = rowStart[v];
    rowStart[v + 1] = rowStart[v] + first;
    if (split) {
      const uint32_t second = secondCount[v];
      secondCount[v] = rowStart[v + 1];  // now the second half's cursor
      rowStart[v + 1] += second;
    }
  }
  const size_t entries = rowStart[vertexCount];
  ReserveFaulted(model.vertexFaces, entries);
  model.vertexFaces.resize(entries);
  if (withCorners) {
    built.entryCorner.reset(new uint32_t[entries]);
    Prefault(built.entryCorner.get(), entries * sizeof(uint32_t));
  }
  int32_t* rowsOut = model.vertexFaces.data();
  uint32_t* cornersOut = built.entryCorner.get();
  auto fillRows = [&](size_t begin, size_t end, uint32_t* cursor) {
    for (size_t f = begin; f < end; ++f) {
      if (!isUsable(f)) continue;
      for (uint32_t i = start[f]; i < start[f + 1]; ++i) {
        const uint32_t at = cursor[static_cast<uint32_t>(idx[i])]++;
        rowsOut[at] = static_cast<int32_t>(f);
        if (cornersOut) cornersOut[at] = i;
      }
    }
  };
  RunSplit(
      split, [&] { fillRows(0, half, firstCursor.get()); },
      [&] { fillRows(half, faceCount, secondCount.data()); });
  return built;
}

// Corner normals vertex by vertex, the vertices split where the entries are
// halved; corners of unusable faces (in no list) get zero.
void SmoothCornersOverVertices(CModel& model, const uint8_t* usable, const ListsBuilt& built,
                               const std::vector<uint8_t>& flat, const CreaseTest& crease,
                               SimdLevel level) {
  const std::vector<uint32_t>& rowStart = model.vertexFaceStart;
  const size_t vertexCount = model.vertices.size();
  const size_t faceCount = model.faces.size();
  const uint32_t* start = model.faces.indexStart.data();
  const Vec3* normal = model.faces.normal.data();
  Vec3* corner = model.faces.cornerNormal.data();
  const VertexLists lists{rowStart.data(), model.vertexFaces.data(), built.entryCorner.get(),
                          flat.empty() ? nullptr : flat.data()};
  const size_t entries = rowStart[vertexCount];
  const size_t vertexSplit =
      built.split ? static_cast<size_t>(std::lower_bound(rowStart.begin(), rowStart.end() - 1,
                                                         static_cast<uint32_t>(entries / 2)) -
                                        rowStart.begin())
                  : vertexCount;
  RunSplit(
      built.split,
      [&] {
        SmoothCornersByVertex(level, lists, 0, vertexSplit, normal, crease, corner);
        for (size_t f = 0; usable && f < faceCount; ++f)
          if (!usable[f])
            for (uint32_t i = start[f]; i < start[f + 1]; ++i) corner[i] = Vec3{0, 0, 0};
      },
      [&] {
        SmoothCornersByVertex(level, lists, vertexSplit, vertexCount, normal, crease, corner);
      });
}

}  // namespace

void ComputeNormals(CModel& model) {
  SmoothingBudget budget;
  ComputeNormals(model, budget);
}

void ComputeNormals(CModel& model, SmoothingBudget& budget, SimdLevel level) {
  FaceTable& faces = model.faces;
  model.vertexFaceStart.clear();
  model.vertexFaces.clear();
  faces.normal.clear();
  faces.cornerNormal.clear();
  const size_t vertexCount = model.vertices.size();
  if (!FaceTableConsistent(faces) || vertexCount > UINT32_MAX || faces.size() > INT32_MAX) {
    model.vertexFaceStart.assign(vertexCount + 1, 0);
    faces.normal.assign(faces.size(), Vec3{0, 0, 0});
    faces.cornerNormal.assign(faces.indices.size(), Vec3{0, 0, 0});
    return;
  }
  const std::vector<uint8_t> usableFlags = UsableFaces(model);
  const uint8_t* usable = usableFlags.empty() ? nullptr : usableFlags.data();
  const bool byVertex = CornersByVertex(level);
  const ListsBuilt built = BuildVertexLists(model, usable, byVertex);

  // Corner normals: the sum, in list order, of the face itself and of the
  // neighbours within the crease angle, normalised.
  const float threshold =
      static_cast<float>(static_cast<double>(model.smoothingAngle) * 0.017453292519943295);
  const CreaseTest crease(threshold);
  const std::vector<uint8_t> flat = budget.TakeFlatVertices(model.vertexFaceStart);
  ReserveFaulted(faces.cornerNormal, faces.indices.size());
  faces.cornerNormal.resize(faces.indices.size());
  if (byVertex) {
    SmoothCornersOverVertices(model, usable, built, flat, crease, level);
    return;
  }
  Vec3* corner = faces.cornerNormal.data();
  ForHalves(faces.size(), kMinFacesPerThread, [&](size_t begin, size_t end) {
    SmoothCornersByFace(model, usable, crease, flat, begin, end, corner);
  });
}

}  // namespace tolvani
