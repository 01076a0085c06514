// NullGraphicsDevice: a graphics device without a GPU, for the headless
// tools and the tests.
//
// It validates like a real device (see the refusals below), keeps reference
// counts and a live-object count, keeps the memory of textures and buffers so
// that tests can read back what was written, records every draw, clear and
// present (bounded, see draws()), and can be told to fail chosen calls.
//
// Refusals (each returns gfx::kInvalidArg unless stated, and creates nothing):
//  - CreateTexture2D with a zero side or a side above gfx::kMaxTextureSize;
//  - CreateVertexBuffer of 0 bytes or with no data; CreateVertexBufferOfSize
//    of 0 bytes;
//  - UpdateVertexBuffer with no data, of 0 bytes, or of a range reaching
//    past the buffer's end;
//  - CreateConstantBuffer of 0 bytes or a size that is not a multiple of 16;
//  - UpdateConstantBuffer of any size but the buffer's own;
//  - MapTexture of a texture that is not Dynamic or is already mapped;
//  - UpdateTexture of a texture that is not RenderTarget, or a row pitch
//    below width * 4 or not a multiple of 4;
//  - any operation on a handle that is unknown, released, or of the wrong
//    kind (a view where a texture is expected and so on);
//  - CompileShaderFromFile when the file cannot be read or is larger than
//    gfx::kMaxShaderSourceBytes (gfx::kFail), or its text does not name the
//    entry point as a whole identifier (gfx::kFail), or the profile does
//    not start with "vs_" or "ps_"; the source is not compiled;
//  - CreateVertexShader / CreatePixelShader from a blob of the other stage;
//    CreatePixelShader without a live vertex shader (gfx::kFail);
//  - CreateInputLayout of anything but the six semantics once each (1 to 4
//    components), or without a vertex-shader blob;
//  - CreateSwapChain of a zero side;
//  - CreateRenderTargetView before CreateSwapChain (gfx::kFail);
//  - CreateDepthStencilView of a zero side;
//  - ResizeBuffers before CreateSwapChain (gfx::kFail), to a zero side, or
//    while a render-target view of the back buffer is still alive.
// Setters and Draw never fail; they record what they were given.
//
// Reference counting: each Create returns one reference; Release drops one.
// A shader resource view holds a reference to its texture, so releasing the
// texture right after making the view keeps it alive. Releasing an unknown or
// already released handle is counted in BadReleaseCount() and ignored.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/graphics_device.h"

namespace tolvani {

class NullGraphicsDevice : public gfx::IGraphicsDevice {
 public:
  // Operations whose calls are counted and can be made to fail.
  enum class Op : uint8_t {
    CreateVertexBuffer,
    CreateConstantBuffer,
    UpdateConstantBuffer,
    CreateTexture2D,
    MapTexture,
    UpdateTexture,
    CreateShaderResourceView,
    CompileShaderFromFile,
    CreateVertexShader,
    CreateInputLayout,
    CreatePixelShader,
    CreateRasterizerState,
    CreateSamplerState,
    CreateBlendState,
    CreateSwapChain,
    ResizeBuffers,
    CreateRenderTargetView,
    CreateDepthStencilView,
    Present,
    CreateVertexBufferOfSize,
    UpdateVertexBuffer,
    kCount
  };

  enum class Kind : uint8_t {
    None,  // unknown or released handle
    VertexBuffer,
    ConstantBuffer,
    Texture,
    ShaderResourceView,
    ShaderBlob,
    VertexShader,
    PixelShader,
    InputLayout,
    RasterizerState,
    SamplerState,
    BlendState,
    RenderTargetView,
    DepthStencilView,
  };

  // Size of the constants copy kept with every draw (ShaderConstants).
  static constexpr uint32_t kConstantsSize = 2560;

  // Everything bound when Draw was called. Handles are as bound (they may
  // have been released since; see Alive()). constants holds the first
  // kConstantsSize bytes of the bound constant buffer at the time of the
  // draw (zeros when none was bound or the buffer is smaller).
  struct DrawRecord {
    gfx::Handle vertexBuffer = gfx::kNone;
    uint32_t stride = 0;
    uint32_t offset = 0;
    uint32_t vertexCount = 0;
    uint32_t startVertex = 0;
    gfx::Handle vertexShader = gfx::kNone;
    gfx::Handle pixelShader = gfx::kNone;
    std::string pixelShaderEntry;  // "PS", "PS_TEX"... (entry of its blob)
    gfx::Handle inputLayout = gfx::kNone;
    gfx::Handle shaderResource = gfx::kNone;
    gfx::Handle sampler = gfx::kNone;
    gfx::Handle constantBuffer = gfx::kNone;
    gfx::Handle renderTarget = gfx::kNone;
    gfx::Handle depthStencil = gfx::kNone;
    gfx::Handle blendState = gfx::kNone;
    gfx::Handle rasterizerState = gfx::kNone;
    gfx::Viewport viewport;
    bool triangleList = false;  // SetTriangleListTopology was called before
    std::array<uint8_t, kConstantsSize> constants{};
  };

  struct ClearRecord {
    gfx::Handle renderTarget = gfx::kNone;
    std::array<float, 4> rgba{};
  };

  struct DepthClearRecord {
    gfx::Handle depthStencil = gfx::kNone;
    float depth = 0;
  };

  // The order of recorded events: index is into draws(), clears(),
  // depthClears() for the matching kind; presents carry their ordinal.
  enum class EventKind : uint8_t { Draw, Clear, ClearDepth, Present };
  struct Event {
    EventKind kind;
    size_t index;
  };

  NullGraphicsDevice();
  ~NullGraphicsDevice() override;

  // ---- configuration ------------------------------------------------------
  // Mapped Dynamic textures get rows of width * 4 + extraBytes bytes.
  void SetRowPitchPadding(uint32_t extraBytes) { rowPitchPadding_ = extraBytes; }
  // Whether vertex buffers keep a copy of their bytes (default true). Large
  // headless runs turn it off to save memory; the size is kept either way.
  void SetKeepBufferContents(bool keep) { keepBufferContents_ = keep; }
  // Whether Dynamic textures keep their memory after UnmapTexture (default
  // true). When off, every mapping writes into one reused scratch block and
  // Texel() reads zeros (one mapping at a time in that mode).
  void SetKeepTextureContents(bool keep) { keepTextureContents_ = keep; }
  // The n-th call (1-based, counted since the device was made) of op fails
  // with gfx::kFail. Several may be set.
  void FailCall(Op op, uint64_t n);
  // Every call of op fails from now on (or stops failing).
  void FailAlways(Op op, bool fail = true);
  uint64_t CallCount(Op op) const { return calls_[static_cast<size_t>(op)]; }

  // ---- inspection ---------------------------------------------------------
  Kind KindOf(gfx::Handle h) const;
  bool Alive(gfx::Handle h) const { return KindOf(h) != Kind::None; }
  uint32_t RefCount(gfx::Handle h) const;
  // Objects still alive (leak checks), in all or of one kind.
  size_t LiveObjectCount() const { return objects_.size(); }
  size_t LiveObjectCount(Kind kind) const;
  uint64_t BadReleaseCount() const { return badReleases_; }

  // Texture of a texture or of a shader resource view; kNone otherwise.
  gfx::Handle TextureOf(gfx::Handle textureOrView) const;
  // Description of a texture (or of the texture behind a view).
  gfx::TextureDesc TextureDescOf(gfx::Handle textureOrView) const;
  uint32_t RowPitchOf(gfx::Handle textureOrView) const;
  // Texel (x, y) as its four stored bytes (RGBA8: r, g, b, a). Texture memory
  // starts filled with 0xCD, so unwritten texels can be told apart. Out of
  // range or not a texture: all zero.
  std::array<uint8_t, 4> Texel(gfx::Handle textureOrView, uint32_t x, uint32_t y) const;
  // Raw texture memory, height rows of RowPitchOf bytes; empty if none.
  const std::vector<uint8_t>& TextureMemory(gfx::Handle textureOrView) const;
  // Bytes of a vertex or constant buffer (empty when contents are not kept).
  // A buffer made by CreateVertexBufferOfSize starts filled with 0xCD.
  const std::vector<uint8_t>& BufferContents(gfx::Handle buffer) const;
  uint32_t BufferSize(gfx::Handle buffer) const;
  // Entry point of a shader blob or of the shader made from it.
  std::string ShaderEntry(gfx::Handle blobOrShader) const;

  bool HasSwapChain() const { return hasSwapChain_; }
  uint32_t SwapChainWidth() const { return swapChainWidth_; }
  uint32_t SwapChainHeight() const { return swapChainHeight_; }

  // Recorded events since the device was made or ClearRecords, bounded so
  // that a run of any length stays flat: when more than kRetainedDraws draws
  // are held at a Present, everything before the frame that Present ends is
  // forgotten (the last frame is always whole); a frame of more than
  // kMaxFrameEvents events keeps its latest half. Event indices stay
  // consistent with the vectors; Present events keep their ordinals.
  static constexpr size_t kRetainedDraws = 1024;
  static constexpr size_t kMaxFrameEvents = 65536;
  const std::vector<DrawRecord>& draws() const { return draws_; }
  const std::vector<ClearRecord>& clears() const { return clears_; }
  const std::vector<DepthClearRecord>& depthClears() const { return depthClears_; }
  const std::vector<Event>& events() const { return events_; }
  size_t presentCount() const { return presents_; }
  // Forgets recorded draws, clears and presents (objects stay).
  void ClearRecords();

  // ---- IGraphicsDevice ----------------------------------------------------
  int32_t CreateVertexBuffer(const void* data, uint32_t byteWidth, gfx::Handle* out) override;
  int32_t CreateVertexBufferOfSize(uint32_t byteWidth, gfx::Handle* out) override;
  int32_t UpdateVertexBuffer(gfx::Handle buffer, uint32_t offset, const void* data,
                             uint32_t byteWidth) override;
  int32_t CreateConstantBuffer(uint32_t byteWidth, gfx::Handle* out) override;
  int32_t UpdateConstantBuffer(gfx::Handle buffer, const void* data, uint32_t byteWidth) override;
  int32_t CreateTexture2D(const gfx::TextureDesc& desc, gfx::Handle* out) override;
  int32_t MapTexture(gfx::Handle texture, gfx::MappedTexture* out) override;
  void UnmapTexture(gfx::Handle texture) override;
  int32_t UpdateTexture(gfx::Handle texture, const void* data, uint32_t rowPitch) override;
  int32_t CreateShaderResourceView(gfx::Handle texture, gfx::Handle* out) override;
  void Release(gfx::Handle handle) override;
  int32_t CompileShaderFromFile(const std::string& path, const char* entry, const char* profile,
                                gfx::Handle* blob) override;
  int32_t CreateVertexShader(gfx::Handle blob, gfx::Handle* out) override;
  int32_t CreateInputLayout(const gfx::InputElement* elements, uint32_t count,
                            gfx::Handle vertexShaderBlob, gfx::Handle* out) override;
  int32_t CreatePixelShader(gfx::Handle blob, gfx::Handle* out) override;
  int32_t CreateRasterizerState(gfx::Handle* out) override;
  int32_t CreateSamplerState(gfx::Handle* out) override;
  int32_t CreateBlendState(gfx::Handle* out) override;
  int32_t CreateSwapChain(uint32_t width, uint32_t height) override;
  int32_t ResizeBuffers(uint32_t width, uint32_t height) override;
  int32_t CreateRenderTargetView(gfx::Handle* out) override;
  int32_t CreateDepthStencilView(uint32_t width, uint32_t height, gfx::Handle* out) override;
  void SetRenderTargets(gfx::Handle renderTargetView, gfx::Handle depthStencilView) override;
  void SetViewport(const gfx::Viewport& viewport) override;
  void SetRasterizerState(gfx::Handle state) override;
  void SetBlendState(gfx::Handle state) override;
  void ClearRenderTarget(gfx::Handle renderTargetView, const float rgba[4]) override;
  void ClearDepth(gfx::Handle depthStencilView, float depth) override;
  void SetVertexShader(gfx::Handle shader) override;
  void SetPixelShader(gfx::Handle shader) override;
  void SetInputLayout(gfx::Handle layout) override;
  void SetVertexBuffer(gfx::Handle buffer, uint32_t stride, uint32_t offset) override;
  void SetConstantBuffer(gfx::Handle buffer) override;
  void SetSampler(gfx::Handle sampler) override;
  void SetShaderResource(gfx::Handle view) override;
  void SetTriangleListTopology() override;
  void Draw(uint32_t vertexCount, uint32_t startVertex) override;
  int32_t Present() override;

 private:
  struct Object {
    Kind kind = Kind::None;
    uint32_t refs = 1;
    gfx::TextureDesc desc;            // textures
    uint32_t rowPitch = 0;            // textures
    bool mapped = false;              // textures
    std::vector<uint8_t> bytes;       // texture memory, buffer contents
    uint32_t size = 0;                // buffers
    gfx::Handle target = gfx::kNone;  // views: their texture; shaders: their blob
    std::string entry;                // blobs and shaders
    bool vertexStage = false;         // blobs and shaders
  };

  static Object OfKind(Kind kind);
  // Forgets the records of events [0, eventIndex).
  void DropRecordsBefore(size_t eventIndex);
  // Counts the call and says whether it must fail.
  bool ShouldFail(Op op);
  gfx::Handle Add(Object object);
  Object* Find(gfx::Handle h, Kind kind);
  const Object* Find(gfx::Handle h) const;

  std::unordered_map<gfx::Handle, Object> objects_;
  gfx::Handle next_ = 1;
  uint64_t calls_[static_cast<size_t>(Op::kCount)] = {};
  bool failAlways_[static_cast<size_t>(Op::kCount)] = {};
  std::vector<std::pair<Op, uint64_t>> failAt_;
  uint64_t badReleases_ = 0;
  uint32_t rowPitchPadding_ = 0;
  bool keepBufferContents_ = true;
  bool keepTextureContents_ = true;
  std::vector<uint8_t> scratch_;

  gfx::Handle lastVertexShader_ = gfx::kNone;  // pixel shaders need a live one
  bool hasSwapChain_ = false;
  uint32_t swapChainWidth_ = 0, swapChainHeight_ = 0;

  DrawRecord state_;  // current bindings
  std::vector<DrawRecord> draws_;
  std::vector<ClearRecord> clears_;
  std::vector<DepthClearRecord> depthClears_;
  std::vector<Event> events_;
  size_t presents_ = 0;
  size_t frameStartEvent_ = 0;  // first event after the last Present
};

}  // namespace tolvani
