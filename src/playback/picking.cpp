#include "playback/picking.h"

#include <vector>

#include "model/scene_state.h"
#include "model/timeline.h"

namespace tolvani {
namespace {

constexpr float kNoHitDistance = 1.0e6f;
// The probe starts 10000 above the eye; the eye stays 200 above the ground.
constexpr float kNothingWalkableDistance = 10200.0f;

// Calls test(face, p0, p1, p2) for each triangle of each face whose face
// passes accept(face), in face order and the triangle order of the header.
// Faces of a malformed table and triangles with a vertex index outside the
// vertex list are skipped.
template <typename Accept, typename Test>
void ForEachTriangle(const CModel& model, Accept accept, Test test) {
  const FaceTable& faces = model.faces;
  const size_t faceCount = faces.size();
  if (faces.indexStart.size() != faceCount + 1) return;
  const size_t indexCount = faces.indices.size();
  const size_t vertexCount = model.vertices.size();
  auto valid = [&](int32_t v) { return v >= 0 && static_cast<size_t>(v) < vertexCount; };
  auto triangle = [&](size_t f, int32_t a, int32_t b, int32_t c) {
    if (valid(a) && valid(b) && valid(c)) {
      test(f, model.vertices[static_cast<size_t>(a)], model.vertices[static_cast<size_t>(b)],
           model.vertices[static_cast<size_t>(c)]);
    }
  };
  for (size_t f = 0; f < faceCount; ++f) {
    const uint32_t start = faces.indexStart[f];
    const uint32_t end = faces.indexStart[f + 1];
    if (end < start || end > indexCount) continue;
    if (!accept(f)) continue;
    const int32_t* i = faces.indices.data() + start;
    if (end - start == 3) {
      triangle(f, i[0], i[1], i[2]);
    } else if (end - start == 4) {
      triangle(f, i[0], i[2], i[3]);
      triangle(f, i[0], i[1], i[2]);
    }
  }
}

// Truncation toward zero; a value that fits no int32 (or NaN) gives
// INT32_MIN, as the processor's conversion does.
int32_t TruncateToInt(float v) {
  if (!(v >= -2147483648.0f && v < 2147483648.0f)) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// Two's-complement wrapping sum and difference.
int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t WrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace

int32_t HitTestScreenPoint(const CModel& model, int32_t x, int32_t y, const gfx::Viewport& viewport,
                           const Matrix4& worldView, const Matrix4& projection, float& distance) {
  if (!model.visible) return -1;
  const float w = static_cast<float>(viewport.width);
  const float h = static_cast<float>(viewport.height);
  // View-space direction through the point; the ray runs along (vx, vy, -1)
  // from the eye, so its parameter is the view depth.
  const float vx = (2.0f * static_cast<float>(x) / w - 1.0f) / projection.m[0][0];
  const float vy = -((2.0f * static_cast<float>(y) / h - 1.0f) / projection.m[1][1]);
  Matrix4 inv;
  if (!MatrixInverse(worldView, &inv)) return -1;
  const Vec3 origin{inv.m[3][0], inv.m[3][1], inv.m[3][2]};
  const Vec3 direction{vx * inv.m[0][0] + vy * inv.m[1][0] - inv.m[2][0],
                       vx * inv.m[0][1] + vy * inv.m[1][1] - inv.m[2][1],
                       vx * inv.m[0][2] + vy * inv.m[1][2] - inv.m[2][2]};
  distance = kNoHitDistance;
  int32_t result = -1;
  ForEachTriangle(
      model, [](size_t) { return true; },
      [&](size_t f, const Vec3& p0, const Vec3& p1, const Vec3& p2) {
        float p;
        if (IntersectTri(p0, p1, p2, origin, direction, &p) && p < distance) {
          distance = p;
          result = static_cast<int32_t>(f);
        }
      });
  return result;
}

int32_t HitTestRay(const CModel& model, const Vec3& origin, const Vec3& direction, float& distance,
                   const Matrix4& world) {
  distance = kNoHitDistance;
  Matrix4 inverseWorld;
  if (!MatrixInverse(world, &inverseWorld)) return -1;
  // The direction goes through the world matrix without its translation.
  Matrix4 rotationScale = world;
  rotationScale.m[3][0] = rotationScale.m[3][1] = rotationScale.m[3][2] = 0.0f;
  Matrix4 inverseRotationScale;
  if (!MatrixInverse(rotationScale, &inverseRotationScale)) return -1;
  const Vec3 o = Vec3TransformCoord(origin, inverseWorld);
  const Vec3 d = Vec3TransformCoord(direction, inverseRotationScale);
  const int32_t walkable = model.collisionMaterial;
  int32_t result = -1;
  ForEachTriangle(
      model, [&](size_t f) { return model.faces.material[f] == walkable; },
      [&](size_t f, const Vec3& p0, const Vec3& p1, const Vec3& p2) {
        float p;
        if (IntersectTri(p0, p1, p2, o, d, &p) && p < distance) {
          distance = p;
          result = static_cast<int32_t>(f);
        }
      });
  return result;
}

bool PickBalloon(CCoreMotion3D& scene, int32_t x, int32_t y) {
  const std::vector<CTimeLine>& timeLines = SceneState.timeLines;
  const RenderState& render = scene.render;
  float best = kNoHitDistance;
  bool found = false;
  if (scene.models.size() < 2) return false;
  for (size_t i = 1; i < scene.models.size(); ++i) {
    // Only balloons are candidates; other objects neither hit nor hide them.
    if (i >= timeLines.size() || !timeLines[i].IsBalloon()) continue;
    const Matrix4 worldView =
        MatrixMultiply(timeLines[i].EntryWorldMatrix(scene.currentStep), render.viewMatrix);
    float d = 0.0f;
    const int32_t r = HitTestScreenPoint(scene.models[i], x, y, render.viewport, worldView,
                                         render.projectionMatrix, d);
    if (r >= 0 && d < best) {
      best = d;
      scene.pickedModel = static_cast<int32_t>(i);
      found = true;
    }
  }
  return found;
}

bool ProbeGround(const CCoreMotion3D& scene, const Vec3& origin, const Vec3& direction,
                 float& distance) {
  const std::vector<CTimeLine>& timeLines = SceneState.timeLines;
  const Vec3 o{-origin.x, -origin.y, -origin.z};
  const int32_t step = scene.currentStep;
  size_t skipped = 0;
  for (size_t i = 1; i < timeLines.size(); ++i) {
    if (i >= scene.models.size()) continue;
    const CModel& model = scene.models[i];
    if (step < 0 || !timeLines[i].ShownAt(step) || model.collisionMaterial < 0) {
      ++skipped;
      continue;
    }
    if (HitTestRay(model, o, direction, distance, timeLines[i].EntryWorldMatrix(step)) >= 0) {
      return true;
    }
  }
  if (timeLines.size() < 2 || skipped == timeLines.size() - 1) {
    distance = kNothingWalkableDistance;
    return true;
  }
  return false;
}

ScreenPoint ProjectOrigin(const CCoreMotion3D& scene, int32_t i) {
  const RenderState& render = scene.render;
  const std::vector<CTimeLine>& timeLines = SceneState.timeLines;
  const Matrix4 viewProjection = MatrixMultiply(render.viewMatrix, render.projectionMatrix);
  const Matrix4 world = i >= 0 && static_cast<size_t>(i) < timeLines.size()
                            ? timeLines[static_cast<size_t>(i)].EntryWorldMatrix(scene.currentStep)
                            : Matrix4::Identity();
  const Vec4 origin{world.m[3][0], world.m[3][1], world.m[3][2], world.m[3][3]};
  const Vec4 v = Vec4Transform(origin, viewProjection);
  const uint32_t halfWidth = render.viewport.width >> 1;
  const uint32_t halfHeight = render.viewport.height >> 1;
  const float hw = static_cast<float>(halfWidth);
  const float hh = static_cast<float>(halfHeight);
  ScreenPoint p;
  p.x = WrapAdd(static_cast<int32_t>(halfWidth), TruncateToInt(v.x / v.w * hw));
  p.y = WrapSub(static_cast<int32_t>(halfHeight), TruncateToInt(v.y / v.w * hh));
  return p;
}

bool IsNearViewCentre(CCoreMotion3D& scene, int32_t i) {
  if (i < 0 || static_cast<size_t>(i) >= SceneState.timeLines.size() ||
      static_cast<size_t>(i) >= scene.models.size() ||
      !scene.models[static_cast<size_t>(i)].visible) {
    return false;
  }
  const ScreenPoint p = ProjectOrigin(scene, i);
  const uint32_t w = scene.render.viewport.width;
  const uint32_t h = scene.render.viewport.height;
  // Unsigned divisions; the pixel is compared as a signed value.
  const int32_t left = static_cast<int32_t>(w / 3);
  const int32_t right = static_cast<int32_t>((2 * w) / 3);
  const int32_t top = static_cast<int32_t>(h / 5);
  const int32_t bottom = static_cast<int32_t>((7 * h) / 6);
  return left < p.x && p.x < right && top < p.y && p.y < bottom;
}

}  // namespace tolvani
