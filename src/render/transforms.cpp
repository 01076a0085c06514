#include "render/transforms.h"

#include "model/model_records.h"
#include "model/motion.h"
#include "model/timeline.h"
#include "render/shader_constants.h"

namespace tolvani {

namespace {

Matrix4 RotationZYX(const Vec3& degrees) {
  const Matrix4 rz = MatrixRotationZ(DegToRad(degrees.z));
  const Matrix4 ry = MatrixRotationY(DegToRad(degrees.y));
  const Matrix4 rx = MatrixRotationX(DegToRad(degrees.x));
  return MatrixMultiply(MatrixMultiply(rz, ry), rx);
}

Matrix4 Scaling(const Vec3& v) {
  return MatrixScaling(v.x, v.y, v.z);
}
Matrix4 Translation(const Vec3& v) {
  return MatrixTranslation(v.x, v.y, v.z);
}

}  // namespace

// The camera's values are used directly as the world-to-view transform;
// nothing is inverted.
Matrix4 CMotion::ComputeViewMatrix() const {
  Matrix4 v = MatrixMultiply(Scaling(scale), Translation(position));
  return MatrixMultiply(v, RotationZYX(rotation));
}

Matrix4 CMotion::ComputePivotViewMatrix() const {
  Matrix4 v = MatrixMultiply(Translation(pivot), Scaling(scale));
  v = MatrixMultiply(v, RotationZYX(rotation));
  return MatrixMultiply(v, Translation(position));
}

Matrix4 CMotion::WorldMatrix() const {
  Matrix4 w = MatrixMultiply(Scaling(scale), RotationZYX(rotation));
  return MatrixMultiply(w, Translation(position));
}

Matrix4 CTimeLine::EntryWorldMatrix(int32_t i) const {
  if (!HasEntry(i)) return Matrix4::Identity();
  return entries[static_cast<size_t>(i)].motion.WorldMatrix();
}

void FillBoneMatrices(const CModel& model, Matrix4* slots) {
  const int32_t a = model.currentAnimation;
  if (a < 0 || static_cast<size_t>(a) >= model.animations.size()) {
    for (int i = 0; i < kBoneSlotCount; ++i) slots[i] = Matrix4::Identity();
    return;
  }
  const Animation& animation = model.animations[static_cast<size_t>(a)];
  const int32_t frame = model.animationFrame;
  for (int i = 0; i < kBoneSlotCount; ++i) {
    if (static_cast<size_t>(i) >= animation.size()) break;
    const std::vector<Matrix4>& track = animation[static_cast<size_t>(i)];
    if (frame >= 0 && static_cast<size_t>(frame) < track.size()) {
      slots[i] = track[static_cast<size_t>(frame)];
    } else {
      slots[i] = Matrix4::Identity();
    }
  }
}

void FillBoneMatrices(const CModel& model, ShaderConstants& constants) {
  static_assert(kShaderBoneCount == kBoneSlotCount);
  FillBoneMatrices(model, constants.bones);
}

}  // namespace tolvani
