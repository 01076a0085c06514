// The graphics device interface: every operation the renderer and the scene
// preparation ask of the graphics platform. Implementations: the OpenGL
// device of the player (src/render/gl) and the null device (headless tools,
// tests). Results follow the HRESULT style: negative is failure.
//
// Handles are small integers, 0 meaning "none". A Create call that fails
// leaves kNone in its out handle. Each handle returned by a Create call
// carries one reference; Release drops it. A shader resource view
// keeps its texture alive, so the texture handle may be released right after
// the view has been made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvani::gfx {

using Handle = uint32_t;
constexpr Handle kNone = 0;

constexpr int32_t kOk = 0;
constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);         // E_FAIL
constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057u);   // E_INVALIDARG
constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000Eu);  // E_OUTOFMEMORY
inline bool Failed(int32_t hr) {
  return hr < 0;
}

// Largest texture side a device must accept; larger ones are refused.
constexpr uint32_t kMaxTextureSize = 8192;

// Largest shader source file a device reads; a larger one fails to compile.
constexpr size_t kMaxShaderSourceBytes = size_t{1} << 20;

enum class TextureFormat : uint8_t {
  RGBA8,  // material textures: texel bytes red, green, blue, alpha
  BGRA8,  // the balloon card texture: texel bytes blue, green, red, alpha
};

enum class TextureUsage : uint8_t {
  Dynamic,       // written once through MapTexture (material textures)
  RenderTarget,  // written whole through UpdateTexture (the balloon card)
};

struct TextureDesc {
  uint32_t width = 0;
  uint32_t height = 0;
  TextureFormat format = TextureFormat::RGBA8;
  TextureUsage usage = TextureUsage::Dynamic;
  // A full mip chain, rebuilt from the top level after every write, and
  // sampled trilinearly with all its levels whatever sampler is bound (the
  // balloon card, drawn far smaller than its 1024 texels). Without it a
  // texture has the one level the sampler reads.
  bool mipmapped = false;
};

struct MappedTexture {
  uint8_t* data = nullptr;  // row 0 first; row r starts at data + r * rowPitch
  uint32_t rowPitch = 0;    // bytes, at least width * 4
};

// One element of the vertex input layout: float components at a byte offset.
struct InputElement {
  const char* semantic;  // "POSITION", "NORMAL", "TEXCOORD", "BONE", "PARENT", "WEIGHT"
  uint32_t components;   // 1 to 4
  uint32_t offset;       // bytes from the start of the vertex
};

struct Viewport {
  uint32_t topLeftX = 0, topLeftY = 0, width = 0, height = 0;
  float minDepth = 0.0f, maxDepth = 1.0f;
};

class IGraphicsDevice {
 public:
  virtual ~IGraphicsDevice() = default;

  // --- resources -----------------------------------------------------------
  // Vertex buffer holding exactly byteWidth bytes copied from data. No data
  // or byteWidth 0 is refused.
  virtual int32_t CreateVertexBuffer(const void* data, uint32_t byteWidth, Handle* out) = 0;
  // Vertex buffer of byteWidth bytes to be filled in ranges with
  // UpdateVertexBuffer, so that a large buffer never needs a whole copy in
  // memory beside it. Bytes not yet written read as unspecified values.
  // byteWidth 0 is refused (kInvalidArg).
  virtual int32_t CreateVertexBufferOfSize(uint32_t byteWidth, Handle* out) = 0;
  // Copies byteWidth bytes from data into bytes [offset, offset + byteWidth)
  // of a vertex buffer (either kind of creation). No data, 0 bytes, a range
  // reaching past the buffer's end, or a handle that is not a live vertex
  // buffer is refused (kInvalidArg) and writes nothing. A draw made before
  // the call sees the contents as they were when it was made.
  virtual int32_t UpdateVertexBuffer(Handle buffer, uint32_t offset, const void* data,
                                     uint32_t byteWidth) = 0;
  // Constant buffer bound to slot 0 of both shader stages. byteWidth is a
  // non-zero multiple of 16; anything else is refused (kInvalidArg).
  virtual int32_t CreateConstantBuffer(uint32_t byteWidth, Handle* out) = 0;
  // Discarding map, copy of the whole buffer, unmap: byteWidth must be the
  // buffer's own size (a shorter or longer write is refused, kInvalidArg).
  // On failure nothing is written and the buffer keeps its previous
  // contents. A draw sees the contents as they were when it was made.
  virtual int32_t UpdateConstantBuffer(Handle buffer, const void* data, uint32_t byteWidth) = 0;
  // A texture of one mip level (or a full chain when desc.mipmapped). A
  // zero side, or one above kMaxTextureSize
  // (or the platform's own limit), is refused.
  virtual int32_t CreateTexture2D(const TextureDesc& desc, Handle* out) = 0;
  // Write-discard mapping of a Dynamic texture; a texture of the other
  // usage, or one already mapped, is refused (kInvalidArg). The contents
  // become the texture's at UnmapTexture.
  virtual int32_t MapTexture(Handle texture, MappedTexture* out) = 0;
  virtual void UnmapTexture(Handle texture) = 0;
  // Replaces the whole contents of a RenderTarget texture; rows of rowPitch
  // bytes, row 0 first. A Dynamic texture (written through MapTexture only),
  // a rowPitch below width * 4 or not a multiple of 4 is refused
  // (kInvalidArg).
  virtual int32_t UpdateTexture(Handle texture, const void* data, uint32_t rowPitch) = 0;
  virtual int32_t CreateShaderResourceView(Handle texture, Handle* out) = 0;
  virtual void Release(Handle handle) = 0;

  // --- shader program ------------------------------------------------------
  // Compiles the entry point ("VS", "PS", "PS_TEX") of the source file at
  // path for a profile ("vs_4_1", "ps_4_1"); the result is a code blob.
  // The entry must occur in the source as a whole identifier ("PS" is not
  // found in "PS_TEX"). A file that cannot be read, is larger than
  // kMaxShaderSourceBytes, lacks the entry or does not compile fails
  // (kFail); an empty entry or a profile starting with neither "vs_" nor
  // "ps_" is refused (kInvalidArg).
  virtual int32_t CompileShaderFromFile(const std::string& path, const char* entry,
                                        const char* profile, Handle* blob) = 0;
  // From a vertex-stage blob only (kInvalidArg otherwise).
  virtual int32_t CreateVertexShader(Handle blob, Handle* out) = 0;
  // The layout of the vertex: exactly six elements, one per semantic of
  // InputElement, each of 1 to 4 components; any other list, or a blob
  // that is not of the vertex stage, is refused (kInvalidArg). A device
  // that can read the vertex shader's inputs also fails (kFail) a layout
  // they do not match.
  virtual int32_t CreateInputLayout(const InputElement* elements, uint32_t count,
                                    Handle vertexShaderBlob, Handle* out) = 0;
  // From a pixel-stage blob only (kInvalidArg otherwise). The pixel shader
  // runs with the vertex shader made last; without a live one it fails
  // (kFail).
  virtual int32_t CreatePixelShader(Handle blob, Handle* out) = 0;

  // --- fixed pipeline states -----------------------------------------------
  // Solid fill, counter-clockwise triangles are front faces and are culled.
  virtual int32_t CreateRasterizerState(Handle* out) = 0;
  // Linear min/mag/mip filter, wrap addressing, top mip level only.
  virtual int32_t CreateSamplerState(Handle* out) = 0;
  // Colour: src-alpha, inv-src-alpha; alpha: one, zero (GL keeps window alpha 1).
  virtual int32_t CreateBlendState(Handle* out) = 0;

  // --- swap chain and targets ----------------------------------------------
  // Sizes in pixels; a zero side is refused (kInvalidArg).
  virtual int32_t CreateSwapChain(uint32_t width, uint32_t height) = 0;
  // New back-buffer size. Fails (kFail) without a swap chain; refuses a
  // zero side, and any call while a render-target view of the back buffer
  // is still alive (kInvalidArg): release the views, resize, make new ones.
  virtual int32_t ResizeBuffers(uint32_t width, uint32_t height) = 0;
  // View of back buffer 0 at its current size; fails (kFail) without a
  // swap chain.
  virtual int32_t CreateRenderTargetView(Handle* out) = 0;
  // 32-bit float depth buffer and its view; a zero side is refused
  // (kInvalidArg).
  virtual int32_t CreateDepthStencilView(uint32_t width, uint32_t height, Handle* out) = 0;

  // --- bindings and drawing ------------------------------------------------
  virtual void SetRenderTargets(Handle renderTargetView, Handle depthStencilView) = 0;
  virtual void SetViewport(const Viewport& viewport) = 0;
  virtual void SetRasterizerState(Handle state) = 0;
  virtual void SetBlendState(Handle state) = 0;
  virtual void ClearRenderTarget(Handle renderTargetView, const float rgba[4]) = 0;
  virtual void ClearDepth(Handle depthStencilView, float depth) = 0;
  virtual void SetVertexShader(Handle shader) = 0;
  virtual void SetPixelShader(Handle shader) = 0;
  virtual void SetInputLayout(Handle layout) = 0;
  virtual void SetVertexBuffer(Handle buffer, uint32_t stride, uint32_t offset) = 0;
  virtual void SetConstantBuffer(Handle buffer) = 0;  // slot 0, vertex and pixel stage
  virtual void SetSampler(Handle sampler) = 0;        // slot 0, pixel stage
  virtual void SetShaderResource(Handle view) = 0;    // slot 0, pixel stage
  virtual void SetTriangleListTopology() = 0;
  virtual void Draw(uint32_t vertexCount, uint32_t startVertex) = 0;
  virtual int32_t Present() = 0;
};

}  // namespace tolvani::gfx
