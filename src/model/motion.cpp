// CMotion storage and the scene root: construction, storage and the reset
// between projects. The matrix functions of CMotion live with the renderer.
#include "model/motion.h"

#include "model/archive.h"

namespace tolvani {

namespace {

// Smallest stream sizes of the scene root's lists.
constexpr size_t kMinStringBytes = 1;
// name, colour and five factors, three names.
constexpr size_t kMinMaterialBytes = 1 + 9 * 4 + 3;
// name, V, F, auxValue, smoothingAngle, four counts, collision material, base.
constexpr size_t kMinModelBytes = 1 + 4 * 4 + 4 * 3 + 4 * 3;

void SerializeVec3(CArchive& ar, Vec3& v) {
  if (ar.IsLoading()) {
    v.x = ar.ReadFloat();
    v.y = ar.ReadFloat();
    v.z = ar.ReadFloat();
  } else {
    ar.WriteFloat(v.x);
    ar.WriteFloat(v.y);
    ar.WriteFloat(v.z);
  }
}

}  // namespace

void CMotion::Serialize(CArchive& ar) {
  SerializeVec3(ar, position);
  SerializeVec3(ar, rotation);
  SerializeVec3(ar, scale);
}

CCoreMotion3D::CCoreMotion3D() {
  ResetScene();
  auxValue = 300;
  playMode = PlayMode::kGlide;
  advanceRequested = false;
  fadeLevel = 0.0f;
  glideDuration = 1500;
  fadeDuration = 1500;
  fieldOfView = 30.0f;
}

// Device handles must have been released by ResetScene before; the lists
// and strings go with the members.
CCoreMotion3D::~CCoreMotion3D() = default;

void CCoreMotion3D::Serialize(CArchive& ar, float fileVersion) {
  const bool zvmov = HasZvmovTag();
  if (ar.IsLoading()) {
    const int32_t nNames = ar.ReadCount(kMinStringBytes);
    auxNames.clear();
    auxNames.reserve(static_cast<size_t>(nNames));
    for (int32_t k = 0; k < nNames; ++k) auxNames.push_back(ar.ReadString());
    auxValue = ar.ReadInt32();
    backgroundColor = ar.ReadUInt32();
    if (fileVersion >= 0.4f) playMode = PlayMode{ar.ReadInt32()};
    if (zvmov) {
      const int32_t m = ar.ReadCount(kMinMaterialBytes);
      const int32_t d = ar.ReadCount(kMinModelBytes);
      ar.RequireRemaining(
          static_cast<uint64_t>(m) * kMinMaterialBytes + static_cast<uint64_t>(d) * kMinModelBytes,
          1);
      materials.resize(static_cast<size_t>(m));
      models.resize(static_cast<size_t>(d));
    }
    if (fileVersion >= 0.84f) {
      glideDuration = ar.ReadInt32();
      fadeDuration = ar.ReadInt32();
    }
    if (fileVersion >= 1.1f) fieldOfView = ar.ReadFloat();
    camera.Serialize(ar);
    if (zvmov) {
      for (CMaterial& material : materials) material.Serialize(ar);
      for (CModel& model : models) model.Serialize(ar, fileVersion);
    }
  } else {
    ar.WriteInt32(static_cast<int32_t>(auxNames.size()));
    for (std::u16string_view s : auxNames) ar.WriteString(std::u16string(s));
    ar.WriteInt32(auxValue);
    ar.WriteUInt32(backgroundColor);
    ar.WriteInt32(StoredValue(playMode));
    if (zvmov) {
      ar.WriteInt32(static_cast<int32_t>(materials.size()));
      ar.WriteInt32(static_cast<int32_t>(models.size()));
    }
    ar.WriteInt32(glideDuration);
    ar.WriteInt32(fadeDuration);
    ar.WriteFloat(fieldOfView);
    camera.Serialize(ar);
    if (zvmov) {
      for (CMaterial& material : materials) material.Serialize(ar);
      for (CModel& model : models) model.Serialize(ar, fileVersion);
    }
  }
}

void CCoreMotion3D::ResetScene() {
  camera = CMotion();
  for (CModel& model : models) model.ReleaseDeviceResources(render.device);
  models.clear();
  for (CMaterial& material : materials) {
    if (material.textureView != gfx::kNone && render.device)
      render.device->Release(material.textureView);
    material.textureView = gfx::kNone;
  }
  materials.clear();
  auxNames.clear();
  currentStep = -1;
  pickedModel = -1;
  backgroundColor = 0x005A411E;
}

}  // namespace tolvani
