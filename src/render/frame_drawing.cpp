// One frame: background pass, perspective pass, overlay pass, present.
#include <cstdint>
#include <string_view>

#include "base/platform_services.h"
#include "model/model_records.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "model/story_rules.h"
#include "model/timeline.h"
#include "render/balloon_text.h"
#include "render/renderer.h"
#include "render/shader_constants.h"
#include "render/transforms.h"

namespace tolvani {

namespace {

constexpr int kFadeFinished = 2;
constexpr uint32_t kVertexStride = sizeof(MeshVertex);

Matrix4 FlatProjection() {
  return MatrixOrthoOffCenterRH(-50, 50, -50, 50, -1, 1);
}

// Whether model i is drawn by a flat pass: it has a timeline, is visible, is
// shown at the current step, and its timeline name is in the pass's class.
template <typename NameTest>
bool DrawnInFlatPass(const CCoreMotion3D& scene, size_t i, NameTest nameTest) {
  const std::vector<CTimeLine>& timeLines = SceneState.timeLines;
  if (i >= timeLines.size()) return false;
  if (!scene.models[i].visible) return false;
  const CTimeLine& line = timeLines[i];
  if (!line.HasEntry(scene.currentStep)) return false;
  if (line.entries[static_cast<size_t>(scene.currentStep)].state != EntryState::kShown) {
    return false;
  }
  return nameTest(line.name);
}

// Material index of group g after the model's material-set substitution.
int32_t ResolveMaterial(const CModel& model, const MeshGroup& group) {
  int32_t m = group.material;
  const int32_t set = model.currentAnimation;
  if (!model.materialSets.empty() && set >= 0 &&
      static_cast<size_t>(set) < model.materialSets.size()) {
    const auto& list = model.materialSets[static_cast<size_t>(set)];
    // In 64 bits: material and base are arbitrary file values.
    const int64_t d = int64_t{group.material} - int64_t{model.materialSetBase};
    if (d >= 0 && static_cast<uint64_t>(d) < list.size()) {
      m = static_cast<int32_t>(int64_t{list[static_cast<size_t>(d)]} +
                               int64_t{model.materialSetBase});
    }
  }
  return m;
}

}  // namespace

int DrawModel(CCoreMotion3D& scene, CModel& model, int index, const Matrix4& view,
              const Matrix4& projection) {
  RenderState& render = scene.render;
  gfx::IGraphicsDevice* device = render.device;
  int result = 0;
  if (!device) return result;

  for (const MeshGroup& group : model.groups) {
    const int32_t m = ResolveMaterial(model, group);
    if (m < 0 || static_cast<size_t>(m) >= scene.materials.size()) {
      Platform().Diagnostic("render", u"マテリアルが範囲を超えています！\n");
      continue;
    }
    CMaterial& material = scene.materials[static_cast<size_t>(m)];

    // Fades move fadeLevel by one step per drawn group.
    const float step = 1.0f / DurationFrames(scene.fadeDuration);
    if (material.name == kFadeInMaterial) {
      scene.fadeLevel -= step;
      if (scene.fadeLevel < 0.0f) {
        scene.fadeLevel = 0.0f;
        result = kFadeFinished;
      }
      material.color[3] = scene.fadeLevel;
    } else if (material.name == kFadeOutMaterial) {
      scene.fadeLevel += step;
      if (scene.fadeLevel > 1.0f) {
        scene.fadeLevel = 1.0f;
        result = kFadeFinished;
      }
      material.color[3] = scene.fadeLevel;
    }

    ShaderConstants constants;
    constants.world = MatrixTranspose(render.worldMatrix);
    constants.worldViewProjection =
        MatrixTranspose(MatrixMultiply(MatrixMultiply(render.worldMatrix, view), projection));
    FillBoneMatrices(model, constants);
    constants.viewDirection = render.viewDirection;
    constants.viewDirection2 = render.viewDirection;
    constants.color =
        Vec4{material.color[0], material.color[1], material.color[2], material.color[3]};
    const float ambient = material.ambient * 0.25f;
    constants.ambient = Vec4{ambient, ambient, ambient, 1.0f};
    constants.specular =
        Vec4{material.specular, material.specular, material.specular, material.color[3]};
    constants.diffuse = Vec4{material.diffuse, 0, 0, 0};
    constants.emissive = Vec4{material.emissive, 0, 0, 0};
    constants.power = Vec4{material.power, 0, 0, 0};
    // A failed update leaves the previous draw's constants; the group is
    // still drawn.
    device->UpdateConstantBuffer(render.constantBuffer, &constants, sizeof(constants));

    device->SetConstantBuffer(render.constantBuffer);
    device->SetInputLayout(render.inputLayout);
    device->SetVertexBuffer(group.vertexBuffer, kVertexStride, 0);

    if (material.name == kBalloonMaterial) {
      BindBalloonGroup(scene, index);
    } else if (material.textureName.empty()) {
      device->SetPixelShader(render.pixelShader);
    } else {
      device->SetPixelShader(render.texturedPixelShader);
      device->SetSampler(render.samplerState);
      device->SetShaderResource(material.textureView);
    }

    device->Draw(static_cast<uint32_t>(group.VertexCount()), 0);
  }
  return result;
}

int32_t DrawFrame(CCoreMotion3D& scene) {
  RenderState& render = scene.render;
  gfx::IGraphicsDevice* device = render.device;
  if (!device) return gfx::kFail;
  std::vector<CTimeLine>& timeLines = SceneState.timeLines;
  BeginBalloonFrame(scene);

  const uint32_t bg = scene.backgroundColor;
  const float clear[4] = {static_cast<float>(bg & 0xFF) / 255.0f,
                          static_cast<float>((bg >> 8) & 0xFF) / 255.0f,
                          static_cast<float>((bg >> 16) & 0xFF) / 255.0f, 1.0f};
  device->ClearRenderTarget(render.renderTargetView, clear);
  device->ClearDepth(render.depthStencilView, 1.0f);

  // The vertex shader and topology are bound before the first background
  // pass as well; later frames keep them from the previous frame.
  device->SetVertexShader(render.vertexShader);
  device->SetTriangleListTopology();

  const Matrix4 identity = Matrix4::Identity();
  const Matrix4 flat = FlatProjection();

  // Background pass.
  render.worldMatrix = identity;
  for (size_t i = 0; i < scene.models.size(); ++i) {
    if (DrawnInFlatPass(scene, i, IsBackgroundName)) {
      DrawModel(scene, scene.models[i], -1, identity, flat);
    }
  }

  device->ClearDepth(render.depthStencilView, 1.0f);

  render.viewMatrix = scene.playMode == PlayMode::kOrbit ? scene.camera.ComputePivotViewMatrix()
                                                         : scene.camera.ComputeViewMatrix();
  const Matrix4& v = render.viewMatrix;
  render.viewDirection = Vec4Normalize(Vec4{-v.m[0][2], -v.m[1][2], -v.m[2][2], 0.0f});
  render.projectionMatrix = MatrixPerspectiveFovRH(
      DegToRad(scene.fieldOfView),
      static_cast<float>(scene.width) / static_cast<float>(scene.height), 1.0f, 50000.0f);

  device->SetVertexShader(render.vertexShader);
  device->SetTriangleListTopology();

  // Main pass: every model with a timeline, timeline 0 (the camera) excluded.
  for (size_t i = 1; i < timeLines.size(); ++i) {
    if (i >= scene.models.size()) continue;
    CModel& model = scene.models[i];
    if (!model.visible) continue;
    const CTimeLine& line = timeLines[i];
    if (IsFlatPassName(line.name)) continue;
    render.worldMatrix = line.EntryWorldMatrix(scene.currentStep);
    DrawModel(scene, model, static_cast<int>(i), render.viewMatrix, render.projectionMatrix);
  }

  // Overlay pass: depth-tested against the main pass, no depth clear.
  render.worldMatrix = identity;
  for (size_t i = 0; i < scene.models.size(); ++i) {
    if (DrawnInFlatPass(scene, i, IsOverlayName)) {
      if (DrawModel(scene, scene.models[i], -1, identity, flat) == kFadeFinished) {
        scene.advanceRequested = true;
      }
    }
  }

  return device->Present();
}

}  // namespace tolvani
