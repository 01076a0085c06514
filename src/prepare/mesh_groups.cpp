// Mesh groups: per material, in order of first appearance, the flat list of
// drawing vertices of its faces in face order, and one vertex buffer each.
// Faces on the collision material and unusable faces (an index outside the
// vertex list) are not drawn. Missing bones / parents / weights read as
// -1 / -1 / 1. Large models halve their faces over two threads, each
// writing from its own starting offsets. In BufferOnly mode the faces are
// sorted by group instead, and each group's vertices go to its buffer a
// chunk at a time on one thread.
#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/memory_policy.h"
#include "base/two_threads.h"
#include "prepare/mesh_preparation.h"
#include "prepare/mesh_scan.h"

namespace tolvani {

namespace {

// Marks a face no group draws.
constexpr uint32_t kNotDrawn = UINT32_MAX;

// Drawing vertices by corner count: lines 2, triangles 3, quadrilaterals 6
// (two triangles), anything else none.
uint32_t DrawingVertices(uint32_t corners) {
  static constexpr uint8_t kVertices[6] = {0, 0, 2, 3, 6, 0};
  return kVertices[std::min<uint32_t>(corners, 5)];
}

// How the faces are shared out over the groups.
struct GroupPlan {
  std::unique_ptr<uint32_t[]> faceGroup;  // per face: its group, or kNotDrawn
  std::vector<uint64_t> counts;           // per group: drawing vertices in all
  bool split = false;                     // faces halved over two threads
  size_t half = 0;                        // first face of the second half
  // Per group first met before `half`: its count before the second half.
  std::vector<uint64_t> countsAtHalf;
};

// The group of every face (groups appended in first-appearance order;
// groups already in the list, normally none, are found like new ones) and
// the drawing-vertex count of every group, also as it stands at the half.
GroupPlan PlanGroups(CModel& model, const uint8_t* usable) {
  const FaceTable& faces = model.faces;
  const size_t faceCount = faces.size();
  GroupPlan plan;
  std::unordered_map<int32_t, uint32_t> groupOf;
  for (uint32_t g = 0; g < model.groups.size(); ++g) groupOf.emplace(model.groups[g].material, g);
  // Every face's entry is written below.
  plan.faceGroup.reset(new uint32_t[faceCount]);
  Prefault(plan.faceGroup.get(), faceCount * sizeof(uint32_t));
  std::vector<uint64_t>& counts = plan.counts;
  counts.resize(model.groups.size());
  for (uint32_t g = 0; g < model.groups.size(); ++g) counts[g] = model.groups[g].vertices.size();
  plan.split = TwoThreadsPay(faceCount, kMinFacesPerThread);
  plan.half = plan.split ? faceCount / 2 : faceCount;
  const uint32_t* const faceStart = faces.indexStart.data();
  const int32_t* const faceMaterial = faces.material.data();
  uint32_t* const faceGroup = plan.faceGroup.get();
  int32_t lastMaterial = 0;
  uint32_t lastGroup = kNotDrawn;
  // The current group's vertices since it became current, added to its
  // count when it changes (a running sum in a register, not in memory).
  uint64_t run = 0;
  auto flush = [&] {
    if (lastGroup != kNotDrawn) counts[lastGroup] += run;
    run = 0;
  };
  for (size_t f = 0; f < faceCount; ++f) {
    if (f == plan.half) {
      flush();
      plan.countsAtHalf = counts;
    }
    const int32_t material = faceMaterial[f];
    if (material == model.collisionMaterial) {
      faceGroup[f] = kNotDrawn;
      continue;
    }
    if (lastGroup == kNotDrawn || material != lastMaterial) {
      flush();
      auto [it, added] = groupOf.emplace(material, static_cast<uint32_t>(model.groups.size()));
      if (added) {
        model.groups.push_back(MeshGroup{});
        model.groups.back().material = material;
        counts.push_back(0);
      }
      lastMaterial = material;
      lastGroup = it->second;
    }
    faceGroup[f] = lastGroup;
    if (!usable || usable[f]) run += DrawingVertices(faceStart[f + 1] - faceStart[f]);
  }
  flush();
  return plan;
}

// Sizes every group's vertex list to its count (a fresh list faulted in at
// once); returns where each group's new vertices start.
std::vector<size_t> SizeGroups(CModel& model, const GroupPlan& plan) {
  std::vector<size_t> base(model.groups.size());
  for (size_t g = 0; g < model.groups.size(); ++g) {
    auto& vertices = model.groups[g].vertices;
    base[g] = vertices.size();
    if (vertices.empty()) ReserveFaulted(vertices, plan.counts[g]);
    vertices.resize(plan.counts[g]);
  }
  return base;
}

// Writes the drawing vertices of the faces [begin, end), each group from
// its cursor on (advanced past what is written).
class GroupFiller {
 public:
  GroupFiller(CModel& model, const uint8_t* usable, const uint32_t* faceGroup)
      : faces_(model.faces), usable_(usable), faceGroup_(faceGroup) {
    for (MeshGroup& group : model.groups) out_.push_back(group.vertices.data());
    pos_ = model.vertices.data();
    bones_ = model.bones.data();
    parents_ = model.parents.data();
    weights_ = model.weights.data();
    boneCount_ = model.bones.size();
    parentCount_ = model.parents.size();
    weightCount_ = model.weights.size();
    haveCornerNormals_ = faces_.cornerNormal.size() == faces_.indices.size();
    // The usual model: every vertex has its bone data, every corner its
    // normal, every usable face is drawn. Triangles with their uvs then
    // take no per-corner checks.
    const size_t vertexCount = model.vertices.size();
    full_ = haveCornerNormals_ && !usable && boneCount_ >= vertexCount &&
            parentCount_ >= vertexCount && weightCount_ >= vertexCount;
  }

  void Fill(size_t begin, size_t end, std::vector<size_t>& cursor) const {
    for (size_t f = begin; f < end; ++f) {
      const uint32_t g = faceGroup_[f];
      if (g == kNotDrawn) continue;
      cursor[g] += FillFace(f, out_[g] + cursor[g]);
    }
  }

  // Writes the drawing vertices of a drawn face f (at most 6) from dst on;
  // returns how many.
  uint32_t FillFace(size_t f, MeshVertex* dst) const {
    const uint32_t* start = faces_.indexStart.data();
    const uint32_t* uvStart = faces_.uvStart.data();
    const uint32_t corners = start[f + 1] - start[f];
    if (full_ && corners == 3 && uvStart[f + 1] - uvStart[f] >= 3) {
      FullTriangle(f, dst);
      return 3;
    }
    if (usable_ && !usable_[f]) return 0;
    switch (corners) {
      case 2:
        Line(f, dst);
        break;
      case 3:
        for (uint32_t c = 0; c < 3; ++c) Corner(f, c, dst[c]);
        break;
      case 4:  // two triangles: corners 0 1 2 and 2 3 0
        Corner(f, 0, dst[0]);
        Corner(f, 1, dst[1]);
        Corner(f, 2, dst[2]);
        dst[3] = dst[2];
        Corner(f, 3, dst[4]);
        dst[5] = dst[0];
        break;
      default:
        break;
    }
    return DrawingVertices(corners);
  }

 private:
  // A triangle of the usual model: every lookup is in range.
  void FullTriangle(size_t f, MeshVertex* dst) const {
    const uint32_t s = faces_.indexStart[f];
    const CUV* uv = faces_.uvs.data() + faces_.uvStart[f];
    const int32_t* idx = faces_.indices.data();
    const Vec3* cornerNormal = faces_.cornerNormal.data();
    for (uint32_t c = 0; c < 3; ++c) {
      const uint32_t v = static_cast<uint32_t>(idx[s + c]);
      dst[c].position = pos_[v];
      dst[c].normal = cornerNormal[s + c];
      dst[c].uv = Vec2{uv[c].u, uv[c].v};
      dst[c].bone = static_cast<float>(bones_[v]);
      dst[c].parent = static_cast<float>(parents_[v]);
      dst[c].weight = weights_[v];
    }
  }

  // Corner c of a usable face, with the defaults for what is missing.
  void Corner(size_t f, uint32_t c, MeshVertex& vtx) const {
    const uint32_t i = faces_.indexStart[f] + c;
    const uint32_t v = static_cast<uint32_t>(faces_.indices[i]);
    vtx.position = pos_[v];
    vtx.normal = haveCornerNormals_ ? faces_.cornerNormal[i] : Vec3{0, 0, 0};
    const uint32_t uvIndex = faces_.uvStart[f] + c;
    vtx.uv = uvIndex < faces_.uvStart[f + 1] ? Vec2{faces_.uvs[uvIndex].u, faces_.uvs[uvIndex].v}
                                             : Vec2{0, 0};
    vtx.bone = v < boneCount_ ? static_cast<float>(bones_[v]) : -1.0f;
    vtx.parent = v < parentCount_ ? static_cast<float>(parents_[v]) : -1.0f;
    vtx.weight = v < weightCount_ ? weights_[v] : 1.0f;
  }

  // A two-corner face: its positions with a fixed normal and no skinning.
  void Line(size_t f, MeshVertex* dst) const {
    const uint32_t s = faces_.indexStart[f];
    for (uint32_t c = 0; c < 2; ++c) {
      dst[c].position = pos_[faces_.indices[s + c]];
      dst[c].normal = Vec3{0, 0, 1};
      dst[c].uv = Vec2{0, 0};
      dst[c].bone = -1.0f;
      dst[c].parent = -1.0f;
      dst[c].weight = 1.0f;
    }
  }

  const FaceTable& faces_;
  const uint8_t* usable_;
  const uint32_t* faceGroup_;  // for Fill; FillFace reads none
  std::vector<MeshVertex*> out_;
  const Vec3* pos_;
  const int32_t* bones_;
  const int32_t* parents_;
  const float* weights_;
  size_t boneCount_, parentCount_, weightCount_;
  bool haveCornerNormals_;
  bool full_;
};

// Fills every group, the second half of the faces (on two threads) from
// the counts before it; groups first met in the second half start where
// they started.
void FillGroups(CModel& model, const uint8_t* usable, const GroupPlan& plan,
                std::vector<size_t> base) {
  const GroupFiller filler(model, usable, plan.faceGroup.get());
  const size_t faceCount = model.faces.size();
  std::vector<size_t> secondBase;
  if (plan.split) {
    secondBase = base;
    for (size_t g = 0; g < plan.countsAtHalf.size(); ++g) secondBase[g] = plan.countsAtHalf[g];
  }
  RunSplit(
      plan.split, [&] { filler.Fill(0, plan.half, base); },
      [&] {
        if (plan.split) filler.Fill(plan.half, faceCount, secondBase);
      });
}

// Drops the groups from keepAllUpTo on that hold no vertices, in one pass.
void DropEmptyGroups(std::vector<MeshGroup>& groups, size_t keepAllUpTo) {
  size_t write = keepAllUpTo;
  for (size_t i = keepAllUpTo; i < groups.size(); ++i) {
    if (groups[i].VertexCount() == 0) continue;
    if (write != i) groups[write] = std::move(groups[i]);
    ++write;
  }
  groups.resize(write);
}

// Buffers, from the last group to the first; empty groups go. On a failure
// the failing group and those before it stay as built (empty ones
// included); the later ones keep their buffers.
bool CreateGroupBuffers(CModel& model, gfx::IGraphicsDevice* device) {
  auto& groups = model.groups;
  bool ok = true;
  size_t keepAllUpTo = 0;  // groups [0, keepAllUpTo) stay whatever they hold
  for (size_t i = groups.size(); i-- > 0;) {
    MeshGroup& group = groups[i];
    if (group.vertices.empty()) continue;
    const uint64_t bytes = static_cast<uint64_t>(group.vertices.size()) * sizeof(MeshVertex);
    if (!device || bytes > UINT32_MAX ||
        gfx::Failed(device->CreateVertexBuffer(group.vertices.data(), static_cast<uint32_t>(bytes),
                                               &group.vertexBuffer))) {
      group.vertexBuffer = gfx::kNone;
      ok = false;
      keepAllUpTo = i + 1;
      break;
    }
  }
  DropEmptyGroups(groups, keepAllUpTo);
  return ok;
}

// Every drawn face, group by group: group g's faces, in face order, are
// faces[start[g] .. start[g + 1]).
struct FacesByGroup {
  std::unique_ptr<uint32_t[]> faces;
  std::vector<size_t> start;
};

FacesByGroup SortFacesByGroup(const GroupPlan& plan, size_t faceCount, size_t groupCount) {
  FacesByGroup out;
  out.start.assign(groupCount + 1, 0);
  const uint32_t* faceGroup = plan.faceGroup.get();
  for (size_t f = 0; f < faceCount; ++f) {
    if (faceGroup[f] != kNotDrawn) ++out.start[faceGroup[f] + 1];
  }
  for (size_t g = 0; g < groupCount; ++g) out.start[g + 1] += out.start[g];
  out.faces.reset(new uint32_t[out.start[groupCount]]);
  std::vector<size_t> next(out.start.begin(), out.start.end() - 1);
  for (size_t f = 0; f < faceCount; ++f) {
    if (faceGroup[f] != kNotDrawn) out.faces[next[faceGroup[f]]++] = static_cast<uint32_t>(f);
  }
  return out;
}

// Frees a vector's memory, not only its elements.
template <typename V>
void Free(V& v) {
  V().swap(v);
}

// One group's `count` drawing vertices, from its faces, written into a
// buffer made at their full size, a chunk at a time. On a failure the
// buffer is released and the group has none.
bool StreamGroup(const GroupFiller& filler, const uint32_t* faces, size_t faceCount, uint64_t count,
                 gfx::IGraphicsDevice* device, std::vector<MeshVertex>& chunk, MeshGroup& group) {
  group.vertexBuffer = gfx::kNone;
  const uint64_t bytes = count * sizeof(MeshVertex);
  gfx::Handle buffer = gfx::kNone;
  if (!device || bytes > UINT32_MAX ||
      gfx::Failed(device->CreateVertexBufferOfSize(static_cast<uint32_t>(bytes), &buffer))) {
    return false;
  }
  uint64_t written = 0;  // vertices
  size_t used = 0;       // vertices in the chunk
  bool ok = true;
  auto flush = [&] {
    if (used == 0 || !ok) return;
    ok = written + used <= count &&
         !gfx::Failed(device->UpdateVertexBuffer(
             buffer, static_cast<uint32_t>(written * sizeof(MeshVertex)), chunk.data(),
             static_cast<uint32_t>(used * sizeof(MeshVertex))));
    written += used;
    used = 0;
  };
  constexpr size_t kMaxFaceVertices = 6;
  for (size_t i = 0; i < faceCount && ok; ++i) {
    if (used + kMaxFaceVertices > chunk.size()) flush();
    used += filler.FillFace(faces[i], chunk.data() + used);
  }
  flush();
  if (!ok || written != count) {
    device->Release(buffer);
    return false;
  }
  group.vertexBuffer = buffer;
  group.bufferOnlyVertices = static_cast<uint32_t>(count);
  return true;
}

// BufferOnly: what only the normals pass needed goes first, then every
// group streams into its buffer from the last to the first (failures as in
// CreateGroupBuffers), then the corner normals go.
bool StreamGroupBuffers(CModel& model, const uint8_t* usable, GroupPlan& plan,
                        gfx::IGraphicsDevice* device) {
  Free(model.vertexFaceStart);
  Free(model.vertexFaces);
  Free(model.faces.normal);
  model.faces.indices.shrink_to_fit();
  model.faces.uvs.shrink_to_fit();
  auto& groups = model.groups;
  const FacesByGroup byGroup = SortFacesByGroup(plan, model.faces.size(), groups.size());
  plan.faceGroup.reset();  // the sorted faces say it all
  const GroupFiller filler(model, usable, nullptr);
  std::vector<MeshVertex> chunk(kStreamChunkBytes / sizeof(MeshVertex));
  bool ok = true;
  size_t keepAllUpTo = 0;
  for (size_t i = groups.size(); i-- > 0;) {
    if (plan.counts[i] == 0) continue;
    const size_t first = byGroup.start[i];
    if (!StreamGroup(filler, byGroup.faces.get() + first, byGroup.start[i + 1] - first,
                     plan.counts[i], device, chunk, groups[i])) {
      ok = false;
      keepAllUpTo = i + 1;
      break;
    }
  }
  DropEmptyGroups(groups, keepAllUpTo);
  // Only the buffers needed these; picking and the ground probe read the
  // positions, indices and materials. The table stays whole: faces of no uvs.
  Free(model.faces.cornerNormal);
  Free(model.faces.uvs);
  std::fill(model.faces.uvStart.begin(), model.faces.uvStart.end(), 0u);
  return ok;
}

}  // namespace

namespace {
DrawingVertexCopy g_copy = DrawingVertexCopy::Kept;
}  // namespace

void SetDrawingVertexCopy(DrawingVertexCopy copy) {
  g_copy = copy;
}

DrawingVertexCopy ProcessDrawingVertexCopy() {
  return g_copy;
}

bool BuildMeshGroups(CModel& model, gfx::IGraphicsDevice* device, DrawingVertexCopy copy) {
  if (!FaceTableConsistent(model.faces)) return false;
  const std::vector<uint8_t> usableFlags = UsableFaces(model);
  const uint8_t* usable = usableFlags.empty() ? nullptr : usableFlags.data();
  const bool streamed = copy == DrawingVertexCopy::BufferOnly && model.groups.empty();
  GroupPlan plan = PlanGroups(model, usable);
  if (streamed) return StreamGroupBuffers(model, usable, plan, device);
  FillGroups(model, usable, plan, SizeGroups(model, plan));
  return CreateGroupBuffers(model, device);
}

}  // namespace tolvani
