// Renderer set-up, resize and teardown, and the shader program.
#include <iterator>
#include <string>

#include "base/native_path.h"
#include "base/platform_services.h"
#include "base/program_directory.h"
#include "model/archive.h"
#include "model/mesh_vertex.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "render/balloon_text.h"
#include "render/renderer.h"
#include "render/shader_constants.h"
#include "render/text_rasterizer.h"

namespace tolvani {
namespace {

// The swap chain has no handle of its own on the device interface; the
// render state only needs to know that it exists.
constexpr gfx::Handle kSwapChainPresent = 1;

void ReleaseHandle(gfx::IGraphicsDevice* device, gfx::Handle& handle) {
  if (handle != gfx::kNone) {
    if (device) device->Release(handle);
    handle = gfx::kNone;
  }
}

// Back-buffer view, depth buffer, target binding, viewport and blend state
// at the current size. Results are not checked: a missing view simply
// leaves its handle empty.
void CreateTargetViews(CCoreMotion3D& scene) {
  RenderState& r = scene.render;
  gfx::IGraphicsDevice* d = r.device;
  d->CreateRenderTargetView(&r.renderTargetView);
  d->CreateDepthStencilView(static_cast<uint32_t>(scene.width), static_cast<uint32_t>(scene.height),
                            &r.depthStencilView);
  d->SetRenderTargets(r.renderTargetView, r.depthStencilView);
  r.viewport.topLeftX = 0;
  r.viewport.topLeftY = 0;
  r.viewport.width = static_cast<uint32_t>(scene.width);
  r.viewport.height = static_cast<uint32_t>(scene.height);
  r.viewport.minDepth = 0.0f;
  r.viewport.maxDepth = 1.0f;
  d->SetViewport(r.viewport);
  d->CreateBlendState(&r.blendState);
  d->SetBlendState(r.blendState);
}

// Compiles one entry point; shows the load message on failure.
int32_t CompileEntry(gfx::IGraphicsDevice* d, const std::string& path, const char* entry,
                     const char* profile, gfx::Handle* blob) {
  *blob = gfx::kNone;
  if (gfx::Failed(d->CompileShaderFromFile(path, entry, profile, blob))) {
    ReleaseHandle(d, *blob);
    Platform().ShowMessage(u"hlsl読み込み失敗", MessageIcon::None);
    return gfx::kFail;
  }
  return gfx::kOk;
}

}  // namespace

int32_t CreateRenderer(CCoreMotion3D& scene, gfx::IGraphicsDevice* device,
                       ITextRasterizer* textRasterizer) {
  RenderState& r = scene.render;
  if (device == nullptr) return gfx::kFail;
  r.device = device;
  r.textRasterizer = textRasterizer;
  r.hasWindow = true;

  if (r.swapChain == gfx::kNone) {
    if (gfx::Failed(device->CreateSwapChain(static_cast<uint32_t>(scene.width),
                                            static_cast<uint32_t>(scene.height)))) {
      return gfx::kFail;
    }
    r.swapChain = kSwapChainPresent;
  }

  CreateTargetViews(scene);

  int32_t hr = device->CreateRasterizerState(&r.rasterizerState);
  device->CreateSamplerState(&r.samplerState);  // result not checked
  if (!gfx::Failed(hr)) {
    device->SetRasterizerState(r.rasterizerState);
    gfx::TextureDesc desc;
    desc.width = kBalloonCardSize;
    desc.height = kBalloonCardSize;
    desc.format = gfx::TextureFormat::BGRA8;
    desc.usage = gfx::TextureUsage::RenderTarget;
    desc.mipmapped = true;  // balloon cards are drawn far below 1024 texels
    ReleaseHandle(device, r.balloonTexture);
    hr = device->CreateTexture2D(desc, &r.balloonTexture);
    if (!gfx::Failed(hr)) {
      ReleaseHandle(device, r.balloonTextureView);
      hr = device->CreateShaderResourceView(r.balloonTexture, &r.balloonTextureView);
    }
  }

  if (gfx::Failed(LoadShaderProgram(scene))) return gfx::kFail;
  return hr;
}

void ResizeRenderer(CCoreMotion3D& scene, int width, int height) {
  RenderState& r = scene.render;
  if (width < 100 || height < 100) return;
  if (r.device == nullptr || r.renderTargetView == gfx::kNone || r.depthStencilView == gfx::kNone ||
      r.swapChain == gfx::kNone) {
    return;
  }
  scene.width = width;
  scene.height = height;
  r.device->SetRenderTargets(gfx::kNone, gfx::kNone);
  ReleaseHandle(r.device, r.blendState);
  ReleaseHandle(r.device, r.renderTargetView);
  ReleaseHandle(r.device, r.depthStencilView);
  r.device->ResizeBuffers(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
  CreateTargetViews(scene);
}

void DestroyRenderer(CCoreMotion3D& scene) {
  scene.ResetScene();
  ReleaseBalloonCards(scene);
  RenderState& r = scene.render;
  gfx::IGraphicsDevice* d = r.device;
  ReleaseHandle(d, r.samplerState);
  ReleaseHandle(d, r.balloonTexture);
  ReleaseHandle(d, r.balloonTextureView);
  ReleaseHandle(d, r.blendState);
  ReleaseHandle(d, r.rasterizerState);
  ReleaseHandle(d, r.constantBuffer);
  ReleaseHandle(d, r.vertexShader);
  ReleaseHandle(d, r.pixelShader);
  ReleaseHandle(d, r.texturedPixelShader);
  ReleaseHandle(d, r.inputLayout);
  r.swapChain = gfx::kNone;  // owned by the device itself
  ReleaseHandle(d, r.renderTargetView);
  ReleaseHandle(d, r.depthStencilView);
  r.textRasterizer = nullptr;
  r.hasWindow = false;
  r.device = nullptr;
}

int32_t LoadShaderProgram(CCoreMotion3D& scene) {
  RenderState& r = scene.render;
  gfx::IGraphicsDevice* d = r.device;
  if (d == nullptr) return gfx::kFail;
  const std::string path = ToNativePath(ProgramDirectory() + u"DoNotTouch/CoreShader.glsl");

  gfx::Handle vsBlob = gfx::kNone;
  if (gfx::Failed(CompileEntry(d, path, "VS", "vs_4_1", &vsBlob))) return gfx::kFail;
  if (gfx::Failed(d->CreateVertexShader(vsBlob, &r.vertexShader))) {
    ReleaseHandle(d, vsBlob);
    Platform().ShowMessage(u"バーテックスシェーダー作成失敗", MessageIcon::None);
    return gfx::kFail;
  }
  const int32_t layoutResult =
      d->CreateInputLayout(kMeshVertexLayout, static_cast<uint32_t>(std::size(kMeshVertexLayout)),
                           vsBlob, &r.inputLayout);
  ReleaseHandle(d, vsBlob);
  if (gfx::Failed(layoutResult)) return gfx::kFail;

  struct PixelEntry {
    const char* entry;
    gfx::Handle* target;
  };
  const PixelEntry pixelEntries[] = {{"PS", &r.pixelShader}, {"PS_TEX", &r.texturedPixelShader}};
  for (const PixelEntry& pe : pixelEntries) {
    gfx::Handle blob = gfx::kNone;
    if (gfx::Failed(CompileEntry(d, path, pe.entry, "ps_4_1", &blob))) return gfx::kFail;
    const int32_t created = d->CreatePixelShader(blob, pe.target);
    ReleaseHandle(d, blob);
    if (gfx::Failed(created)) {
      Platform().ShowMessage(u"ピクセルシェーダー作成失敗", MessageIcon::None);
      return gfx::kFail;
    }
  }

  if (gfx::Failed(d->CreateConstantBuffer(kShaderConstantsSize, &r.constantBuffer))) {
    return gfx::kFail;
  }
  return gfx::kOk;
}

}  // namespace tolvani
