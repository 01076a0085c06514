#include "support/reference_preparation.h"

#include <cmath>
#include <cstring>
#include <sstream>
#include <vector>

namespace tolvani::testing {

namespace {

bool Usable(const CModel& model, size_t f) {
  for (int32_t v : model.faces.Indices(f)) {
    if (v < 0 || static_cast<size_t>(v) >= model.vertices.size()) return false;
  }
  return true;
}

Vec3 Normalized(Vec3 n) {
  const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (!(length > 0.0f)) return Vec3{0, 0, 0};
  return Vec3{n.x / length, n.y / length, n.z / length};
}

bool SameBits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}
bool SameBits(const Vec3& a, const Vec3& b) {
  return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}

}  // namespace

void ReferenceComputeNormals(CModel& model) {
  FaceTable& faces = model.faces;
  const size_t faceCount = faces.size();

  // 1. Faces of every vertex, in face order, duplicates kept.
  std::vector<std::vector<int32_t>> vertexFaces(model.vertices.size());
  for (size_t f = 0; f < faceCount; ++f) {
    if (!Usable(model, f)) continue;
    for (int32_t v : faces.Indices(f)) vertexFaces[v].push_back(static_cast<int32_t>(f));
  }

  // 3. Face normals from the first three positions.
  faces.normal.assign(faceCount, Vec3{0, 0, 0});
  for (size_t f = 0; f < faceCount; ++f) {
    auto idx = faces.Indices(f);
    if (idx.size() < 3 || !Usable(model, f)) continue;
    const Vec3 p0 = model.vertices[idx[0]];
    const Vec3 p1 = model.vertices[idx[1]];
    const Vec3 p2 = model.vertices[idx[2]];
    const Vec3 a{p0.x - p1.x, p0.y - p1.y, p0.z - p1.z};
    const Vec3 b{p0.x - p2.x, p0.y - p2.y, p0.z - p2.z};
    const Vec3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    faces.normal[f] = Normalized(n);
  }

  // 4. Corner lists by the crease angle; 5. corner normals.
  const float threshold =
      static_cast<float>(static_cast<double>(model.smoothingAngle) * 0.017453292519943295);
  faces.cornerNormal.assign(faces.indices.size(), Vec3{0, 0, 0});
  for (size_t f = 0; f < faceCount; ++f) {
    if (!Usable(model, f)) continue;
    auto idx = faces.Indices(f);
    for (size_t k = 0; k < idx.size(); ++k) {
      std::vector<int32_t> merged;
      for (int32_t g : vertexFaces[idx[k]]) {
        if (static_cast<size_t>(g) == f) {
          merged.push_back(g);
          continue;
        }
        const Vec3& n = faces.normal[f];
        const Vec3& m = faces.normal[g];
        const float dot = (n.x * m.x + n.y * m.y) + n.z * m.z;
        const float angle = static_cast<float>(std::acos(static_cast<double>(dot)));
        if (threshold > angle) merged.push_back(g);
      }
      Vec3 sum{0, 0, 0};
      for (int32_t g : merged) {
        sum.x += faces.normal[g].x;
        sum.y += faces.normal[g].y;
        sum.z += faces.normal[g].z;
      }
      faces.cornerNormal[faces.indexStart[f] + k] = Normalized(sum);
    }
  }

  model.vertexFaceStart.assign(1, 0);
  model.vertexFaces.clear();
  for (const auto& list : vertexFaces) {
    model.vertexFaces.insert(model.vertexFaces.end(), list.begin(), list.end());
    model.vertexFaceStart.push_back(static_cast<uint32_t>(model.vertexFaces.size()));
  }
}

bool ReferenceBuildMeshGroups(CModel& model, gfx::IGraphicsDevice* device) {
  const FaceTable& faces = model.faces;
  auto corner = [&](size_t f, size_t c) {
    const int32_t v = faces.Indices(f)[c];
    MeshVertex out{};
    out.position = model.vertices[v];
    out.normal = faces.cornerNormal[faces.indexStart[f] + c];
    auto uvs = faces.UVs(f);
    out.uv = c < uvs.size() ? Vec2{uvs[c].u, uvs[c].v} : Vec2{0, 0};
    out.bone =
        static_cast<size_t>(v) < model.bones.size() ? static_cast<float>(model.bones[v]) : -1.0f;
    out.parent = static_cast<size_t>(v) < model.parents.size()
                     ? static_cast<float>(model.parents[v])
                     : -1.0f;
    out.weight = static_cast<size_t>(v) < model.weights.size() ? model.weights[v] : 1.0f;
    return out;
  };

  for (size_t f = 0; f < faces.size(); ++f) {
    const int32_t material = faces.material[f];
    if (material == model.collisionMaterial) continue;
    MeshGroup* group = nullptr;
    for (MeshGroup& g : model.groups) {
      if (g.material == material) {
        group = &g;
        break;
      }
    }
    if (!group) {
      model.groups.push_back(MeshGroup{});
      group = &model.groups.back();
      group->material = material;
    }
    if (!Usable(model, f)) continue;
    switch (faces.CornerCount(f)) {
      case 2:
        for (size_t c = 0; c < 2; ++c) {
          MeshVertex line{};
          line.position = model.vertices[faces.Indices(f)[c]];
          line.normal = Vec3{0, 0, 1};
          line.uv = Vec2{0, 0};
          line.bone = -1.0f;
          line.parent = -1.0f;
          line.weight = 1.0f;
          group->vertices.push_back(line);
        }
        break;
      case 3:
        for (size_t c : {0, 1, 2}) group->vertices.push_back(corner(f, c));
        break;
      case 4:
        for (size_t c : {0, 1, 2, 2, 3, 0}) group->vertices.push_back(corner(f, c));
        break;
      default:
        break;
    }
  }

  for (size_t i = model.groups.size(); i-- > 0;) {
    MeshGroup& group = model.groups[i];
    if (group.vertices.empty()) {
      model.groups.erase(model.groups.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    const uint64_t bytes = static_cast<uint64_t>(group.vertices.size()) * sizeof(MeshVertex);
    if (!device || bytes > UINT32_MAX) return false;
    if (gfx::Failed(device->CreateVertexBuffer(group.vertices.data(), static_cast<uint32_t>(bytes),
                                               &group.vertexBuffer)))
      return false;
  }
  return true;
}

std::string ComparePreparedModels(const CModel& a, const CModel& b) {
  std::ostringstream out;
  if (a.vertexFaceStart != b.vertexFaceStart) return "vertexFaceStart differs";
  if (a.vertexFaces != b.vertexFaces) return "vertexFaces differs";
  if (a.faces.normal.size() != b.faces.normal.size()) return "face normal count differs";
  for (size_t f = 0; f < a.faces.normal.size(); ++f) {
    if (!SameBits(a.faces.normal[f], b.faces.normal[f])) {
      out << "face normal " << f << " differs";
      return out.str();
    }
  }
  if (a.faces.cornerNormal.size() != b.faces.cornerNormal.size())
    return "corner normal count differs";
  for (size_t c = 0; c < a.faces.cornerNormal.size(); ++c) {
    if (!SameBits(a.faces.cornerNormal[c], b.faces.cornerNormal[c])) {
      const Vec3& x = a.faces.cornerNormal[c];
      const Vec3& y = b.faces.cornerNormal[c];
      out << "corner normal " << c << " differs: (" << x.x << ", " << x.y << ", " << x.z << ") vs ("
          << y.x << ", " << y.y << ", " << y.z << ")";
      return out.str();
    }
  }
  if (a.groups.size() != b.groups.size()) {
    out << "group count differs: " << a.groups.size() << " vs " << b.groups.size();
    return out.str();
  }
  for (size_t g = 0; g < a.groups.size(); ++g) {
    const MeshGroup& x = a.groups[g];
    const MeshGroup& y = b.groups[g];
    if (x.material != y.material) {
      out << "group " << g << " material differs";
      return out.str();
    }
    if ((x.vertexBuffer != gfx::kNone) != (y.vertexBuffer != gfx::kNone)) {
      out << "group " << g << " buffer presence differs";
      return out.str();
    }
    if (x.vertices.size() != y.vertices.size()) {
      out << "group " << g << " vertex count differs: " << x.vertices.size() << " vs "
          << y.vertices.size();
      return out.str();
    }
    if (!x.vertices.empty() && std::memcmp(x.vertices.data(), y.vertices.data(),
                                           x.vertices.size() * sizeof(MeshVertex)) != 0) {
      out << "group " << g << " vertices differ";
      return out.str();
    }
  }
  return {};
}

}  // namespace tolvani::testing
