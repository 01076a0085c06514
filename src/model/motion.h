// CMotion (a pose) and CCoreMotion3D (the scene root).
//
// CMotion stored order: position x,y,z; rotation x,y,z (degrees); scale x,y,z.
// The pivot is run-time only.
//
// CCoreMotion3D stored order (version tests compare the float32 file version):
//  auxNames; auxValue; backgroundColor; [>= 0.4: playMode];
//  [formatTag == "zvmov": M materials count, D models count];
//  [>= 0.84: glideDuration, fadeDuration]; [>= 1.1: fieldOfView]; camera;
//  [formatTag == "zvmov": M materials, D models].
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/graphics_device.h"
#include "base/math.h"
#include "model/model_records.h"
#include "model/story_rules.h"

namespace tolvani {

class CArchive;
class ITextRasterizer;
class BalloonCardCache;

struct CMotion {
  Vec3 pivot{0, 0, 0};
  Vec3 position{0, 0, 0};
  Vec3 rotation{0, 0, 0};  // degrees about x, y, z
  Vec3 scale{1, 1, 1};
  void Serialize(CArchive& ar);

  // View matrix in every mode but Orbit: S(scale) T(position) Rz Ry Rx.
  Matrix4 ComputeViewMatrix() const;
  // Orbit view matrix: T(pivot) S(scale) Rz Ry Rx T(position).
  Matrix4 ComputePivotViewMatrix() const;
  // Entry world matrix: S(scale) Rz Ry Rx T(position); pivot ignored.
  Matrix4 WorldMatrix() const;
};

// Everything the renderer keeps; members of the scene root so that picking
// and playback find them there. Handles are owned (one reference each).
struct RenderState {
  gfx::IGraphicsDevice* device = nullptr;     // not owned; outlives every project
  ITextRasterizer* textRasterizer = nullptr;  // not owned
  bool hasWindow = false;
  gfx::Handle swapChain = gfx::kNone;  // non-zero once the swap chain exists
  gfx::Handle renderTargetView = gfx::kNone;
  gfx::Handle depthStencilView = gfx::kNone;
  gfx::Handle rasterizerState = gfx::kNone;
  gfx::Handle samplerState = gfx::kNone;
  gfx::Handle blendState = gfx::kNone;
  gfx::Viewport viewport;
  gfx::Handle inputLayout = gfx::kNone;
  gfx::Handle vertexShader = gfx::kNone;
  gfx::Handle pixelShader = gfx::kNone;
  gfx::Handle texturedPixelShader = gfx::kNone;
  gfx::Handle constantBuffer = gfx::kNone;
  gfx::Handle balloonTexture = gfx::kNone;
  gfx::Handle balloonTextureView = gfx::kNone;
  // Rendered balloon cards by text (balloon_text.h); released by
  // ReleaseBalloonCards from the renderer's teardown.
  std::shared_ptr<BalloonCardCache> balloonCards;
  Matrix4 worldMatrix = Matrix4::Identity();
  Matrix4 viewMatrix = Matrix4::Identity();
  Matrix4 projectionMatrix = Matrix4::Identity();
  Vec4 viewDirection{0, 0, -1, 0};
};

class CCoreMotion3D {
 public:
  CCoreMotion3D();
  ~CCoreMotion3D();
  CCoreMotion3D(const CCoreMotion3D&) = delete;
  CCoreMotion3D& operator=(const CCoreMotion3D&) = delete;

  // Run-time playback state.
  int32_t currentStep = -1;
  int32_t pickedModel = -1;
  // Stored settings.
  uint32_t backgroundColor = 0x005A411E;  // red low byte, then green, then blue
  CMotion camera;
  PlayMode playMode = PlayMode::kGlide;
  std::u16string formatTag;  // "zvmov" set by the document
  float fadeLevel = 0.0f;
  bool advanceRequested = false;
  int32_t glideDuration = 1500;  // ms
  int32_t fadeDuration = 1500;   // ms
  float fieldOfView = 30.0f;     // degrees, vertical
  int32_t width = 160;           // back-buffer size
  int32_t height = 120;
  RenderState render;
  std::vector<CModel> models;
  std::vector<CMaterial> materials;
  int32_t auxValue = 300;
  NameList auxNames;

  // fileVersion: the version read just before (SceneState.fileVersion).
  void Serialize(CArchive& ar, float fileVersion);
  // Camera to default; models and materials destroyed after their device
  // resources are released; auxNames emptied; currentStep and pickedModel -1;
  // backgroundColor 0x005A411E. Renderer objects and settings stay.
  void ResetScene();
  bool HasZvmovTag() const { return formatTag == u"zvmov"; }
};

}  // namespace tolvani
