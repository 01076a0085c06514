// Shader constants and vertices with which the player's shader source draws
// exact colours at known pixels, for the device tests.
#pragma once

#include <string>
#include <vector>

#include "base/graphics_device.h"
#include "model/mesh_vertex.h"
#include "render/shader_constants.h"

namespace tolvani::contract {

inline std::string ShaderPath() {
  return std::string(TOLVANI_SOURCE_DIR) + "/shaders/CoreShader.glsl";
}

// The shader's plain vertex and pixel shaders and the mesh input layout,
// made on `d` (the compiled blobs released); false when a step fails.
inline bool CreatePlainPipeline(gfx::IGraphicsDevice& d, gfx::Handle* vs, gfx::Handle* layout,
                                gfx::Handle* ps) {
  gfx::Handle vsBlob = gfx::kNone, psBlob = gfx::kNone;
  const bool ok = d.CompileShaderFromFile(ShaderPath(), "VS", "vs_4_1", &vsBlob) == gfx::kOk &&
                  d.CreateVertexShader(vsBlob, vs) == gfx::kOk &&
                  d.CreateInputLayout(kMeshVertexLayout, 6, vsBlob, layout) == gfx::kOk &&
                  d.CompileShaderFromFile(ShaderPath(), "PS", "ps_4_1", &psBlob) == gfx::kOk &&
                  d.CreatePixelShader(psBlob, ps) == gfx::kOk;
  if (vsBlob != gfx::kNone) d.Release(vsBlob);
  if (psBlob != gfx::kNone) d.Release(psBlob);
  return ok;
}

// Constants under which the shaders draw a position as given in clip space
// and colour it exactly with rgba (times the texel for PS_TEX): identity
// matrices, emissive 1, no other light.
inline ShaderConstants FlatConstants(float r, float g, float b, float a = 1) {
  ShaderConstants c{};
  c.world = Matrix4::Identity();
  c.worldViewProjection = Matrix4::Identity();
  for (Matrix4& bone : c.bones) bone = Matrix4::Identity();
  c.viewDirection = c.viewDirection2 = Vec4{0, 0, -1, 0};
  c.color = Vec4{r, g, b, a};
  c.ambient = Vec4{0, 0, 0, 1};
  c.specular = Vec4{0, 0, 0, a};
  c.emissive = Vec4{1, 0, 0, 0};
  return c;
}

// Twelve vertices: the clip-space rectangle [x0, x1] x [y0, y1] at depth
// 0.5, wound both ways so that it shows whichever faces are culled.
inline std::vector<MeshVertex> Rectangle(float x0, float y0, float x1, float y1) {
  auto v = [](float x, float y) {
    return MeshVertex{{x, y, 0.5f}, {0, 0, 1}, {0.5f, 0.5f}, -1, -1, 1};
  };
  return {v(x0, y0), v(x1, y0), v(x1, y1), v(x0, y0), v(x1, y1), v(x0, y1),
          v(x0, y0), v(x1, y1), v(x1, y0), v(x0, y0), v(x0, y1), v(x1, y1)};
}

}  // namespace tolvani::contract
