// The graphics device of the player on OpenGL 3.3 core.
//
// OpenGL functions come from libepoxy rather than from Qt: epoxy resolves
// them on whichever context is current, GLX or EGL, so the same device
// draws in the player's window (Qt's context) and in the render companion's
// EGL surfaceless context without a display, and links without Qt. The
// contexts themselves belong to an IGlContext given to Initialize.
//
// Contexts: the device has a context of its own (in the player: one in Qt's
// global share group, current on an offscreen surface) for resource work
// outside painting, so the renderer and the scene can be built before the
// window is first shown. Buffers, textures, samplers and programs are shared
// with the window's context; vertex array objects are not, so the device
// keeps one per context. Drawing happens only between BeginFrame and
// EndFrame, with the caller's context current and its framebuffer given.
//
// Constants: a constant buffer is a copy in memory. Within a frame, clears
// and draws are recorded with the constants each draw sees, and issued
// together at Present or EndFrame (or before a call that changes or releases
// a resource): every recorded draw's constants go to the GPU in one upload
// of one uniform buffer, each draw binding its range of it. A steady frame
// thus uploads constants once, never once per draw. Draws whose constants
// equal the last copy share it, and a batch is issued early once it holds
// kMaxBatchBytes of constants or kMaxBatchCommands commands, so a frame of
// any number of draws costs time, not memory.
//
// Unchanged frames: with SetSkipUnchangedFrames on, a frame presented with
// exactly the commands, constants and target of the last issued frame, and
// no texture written since, is not issued again: the target still holds
// its image. The comparison is of the recorded frame itself (bit for bit),
// never a guess. A frame that had to be issued in parts (a full batch, a
// resource written or released in the middle of it) is always issued.
//
// Kept pictures: a frame that opens with a colour and a depth clear,
// draws, and then clears the depth again (the renderer's background pass)
// leaves only colour behind at that depth clear; the draws after it leave
// colour and depth. Both are functions of the recorded commands, the
// constants they read and the buffers and textures they use. So once a
// frame's first commands equal, bit for bit, those of the frame before
// (the view direction aside where an unlit draw does not read it, see
// kViewOnlyLightsName), the target is copied there: the background's
// colour, and the colour and depth after the scene's first draws that are
// the same again (a still camera: the ground, the house). A later frame
// that opens with the same commands, with no buffer or texture they draw
// from written or released since, gets the copy instead of drawing them.
// Not used on a multisampled target nor above kMaxKeptPixels; the scene's
// copy not on OpenGL ES (whose default framebuffer's depth format is not
// known).
//
// Unseen depth: a depth-only draw (see SetBlendShortcuts) that no later draw
// of the frame depth-tests against, before the frame ends or the depth is
// cleared, changes nothing anyone sees and is not issued. Only decided for
// the work issued at Present, where the rest of the frame is known.
//
// OpenGL ES 3.0 (WebGL2, the WebAssembly build): the same device compiled
// against emscripten's GLES3 headers (render/gl/gl_api.h holds the
// differences): the shaders' first lines become `#version 300 es` and
// `precision highp float;`, BGRA data is swizzled to RGBA on upload, bound
// uniform ranges are padded to the whole constant block, and clip z is
// always remapped in the vertex shader. A lost context makes MakeCurrent
// fail: calls then return gfx::kFail (and draws are dropped), never crash.
//
// Conventions kept from the renderer's original platform: clip z runs 0..w
// (glClipControl, or a remap in the vertex shader where it is missing);
// depth test LESS with writes; counter-clockwise triangles are front faces
// and are culled; textures are uploaded row 0 first (v = 0 samples the
// image's first row); the constant buffer is the std140 uniform block
// "ShaderConstants" at binding 0; colour blending src-alpha/inv-src-alpha
// with alpha one/inv-src-alpha so the window's alpha stays 1.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/graphics_device.h"
#include "render/gl/gl_context.h"

namespace tolvani::gl {

// BGRA pixels (rowPitch bytes a row, at least width * 4) as tightly packed
// RGBA: the upload of BGRA textures where the context takes no BGRA data.
std::vector<uint8_t> BgraToRgba(const uint8_t* data, uint32_t width, uint32_t height,
                                uint32_t rowPitch);

class OpenGLDevice final : public gfx::IGraphicsDevice {
 public:
  OpenGLDevice();
  ~OpenGLDevice() override;
  OpenGLDevice(const OpenGLDevice&) = delete;
  OpenGLDevice& operator=(const OpenGLDevice&) = delete;

  // Takes the device's contexts and makes its own one current. Returns
  // false (with a reason in *error) when it is not OpenGL 3.3 core or newer.
  bool Initialize(std::unique_ptr<IGlContext> context, std::string* error);
  // Deletes every object still alive, then lets the contexts go. Also run
  // by the destructor.
  void Shutdown();

  // Drawing bracket: the caller's context is current; fbo is the framebuffer
  // to draw into, fbWidth x fbHeight pixels.
  void BeginFrame(unsigned fbo, int fbWidth, int fbHeight);
  void EndFrame();
  bool inFrame() const { return inFrame_; }

  // Facts about the context, for diagnostics and tests.
  int majorVersion() const { return major_; }
  int minorVersion() const { return minor_; }
  bool usesClipControl() const { return clipControl_; }
  int maxTextureSize() const { return maxTextureSize_; }
  uint32_t drawCount() const { return drawCount_; }
  uint32_t presentCount() const { return presentCount_; }
  // Draws issued with a lighting variant (render/gl/
  // shader_variants.h) since start-up.
  uint32_t variantDrawCount() const { return variantDrawCount_; }
  // Bounds of one batch of recorded frame work (see Constants above).
  static constexpr size_t kMaxBatchBytes = size_t{4} << 20;
  static constexpr size_t kMaxBatchCommands = 4096;
  // The most bytes of constants one batch has held since start-up.
  size_t largestBatchBytes() const { return largestBatch_; }
  // On by default; off, every draw uses the general program (for tests).
  void SetVariantsEnabled(bool on) { variantsEnabled_ = on; }
  // Blend shortcuts, on by default (see kMaterialAlphaName in render/gl/
  // shader_variants.h): a blended draw with alpha exactly 1 everywhere is
  // issued without blending, one with alpha exactly 0 everywhere (it leaves
  // every colour as it is) with its colour writes off, depth as before.
  // Off, every draw is issued as recorded (for tests).
  void SetBlendShortcuts(bool on) { blendShortcuts_ = on; }
  // Draws issued unblended / without colour writes by a shortcut, since
  // start-up.
  uint32_t unblendedDrawCount() const { return unblendedDrawCount_; }
  uint32_t depthOnlyDrawCount() const { return depthOnlyDrawCount_; }
  // Kept pictures and unseen depth (above), on by default; off, every
  // command is issued as recorded (for tests). Turning it off lets the
  // copies go.
  void SetKeepPictures(bool on);
  // Frames that got the kept background / scene picture, copies taken,
  // and depth-only draws left out as unseen, since start-up.
  uint64_t backgroundReuseCount() const { return backgroundReuses_; }
  uint64_t sceneReuseCount() const { return sceneReuses_; }
  uint64_t pictureKeepCount() const { return pictureKeeps_; }
  uint64_t unseenDrawCount() const { return unseenDraws_; }
  // The largest target (in pixels) whose pictures are kept: they cost up
  // to two colour buffers and a depth buffer of the target's size.
  static constexpr uint64_t kMaxKeptPixels = uint64_t{4096} * 4096;
  // Off, mipmapped textures allocate level by level as without
  // glTexStorage2D (for tests); on by default where the context has it.
  void SetTextureStorageAllowed(bool on) { texStorageAllowed_ = on; }
  size_t liveObjectCount() const { return objects_.size(); }
  // Calls refused for want of memory (gfx::kOutOfMemory) since start-up. The
  // scene leaves out what could not be made; a caller that must not show a
  // partial picture (the thumbnailer) checks this.
  uint32_t outOfMemoryCount() const { return outOfMemoryCount_; }

  // Off by default. Only for a target that keeps its contents between
  // frames (a window framebuffer with partial updates, an offscreen one).
  void SetSkipUnchangedFrames(bool on);
  // The target was recreated or drawn over by someone else: the next frame
  // is issued whatever it holds.
  void ForgetLastFrame() { lastFrameValid_ = false; }
  // Times recorded work reached a target (whole frames or parts of one),
  // and frames not issued because they equalled the last one, since start-up.
  uint64_t issueCount() const { return issueCount_; }
  uint64_t skippedFrameCount() const { return skippedFrames_; }

  // IGraphicsDevice
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
  enum class Kind : uint8_t {
    VertexBuffer,
    ConstantBuffer,
    Texture,
    View,
    Blob,
    VertexShader,
    InputLayout,
    PixelShader,
    RasterizerState,
    SamplerState,
    BlendState,
    RenderTargetView,
    DepthStencilView,
  };
  struct Object {
    explicit Object(Kind k) : kind(k) {}
    Kind kind;
    int refs = 1;
    unsigned name = 0;  // GL object (buffer, texture, shader, program, sampler)
    uint32_t size = 0;  // buffer bytes
    uint32_t width = 0, height = 0;
    gfx::TextureFormat format = gfx::TextureFormat::RGBA8;
    gfx::TextureUsage usage = gfx::TextureUsage::Dynamic;
    bool mapped = false;              // texture: between MapTexture and UnmapTexture
    bool mipmapped = false;           // texture: full chain, own trilinear sampling
    bool opaque = false;              // texture: its last upload had alpha 255 everywhere
    bool materialAlpha = false;       // pixel blob and shader: names kMaterialAlphaName
    bool viewOnlyLights = false;      // pixel blob and shader: names kViewOnlyLightsName
    bool readsTextures = true;        // pixel shader: has uniforms outside its blocks
    gfx::Handle target = gfx::kNone;  // view: its texture; pixel shader: its vertex shader
    bool vertexStage = false;         // blob
    std::string source;               // blob, vertex shader: the compiled text
    // Pixel blob: compiled stages, pixel shader: linked programs, of the
    // variants by mask (0 where there is none; [0] stays 0).
    unsigned variants[4] = {};
    std::vector<uint8_t> staging;             // texture while mapped; constant buffer contents
    uint64_t batch = 0;                       // constant buffer: batch of batchOffset
    uint32_t batchOffset = 0;                 // constant buffer: its copy in the batch
    std::vector<gfx::InputElement> elements;  // input layout
  };

  bool MakeCurrent();
  Object* Find(gfx::Handle handle, Kind kind);
  gfx::Handle Add(Object object);
  void Destroy(Object& object);
  void AddRef(gfx::Handle handle);
  unsigned VertexArrayForCurrentContext();
  // Counts a refusal for want of memory; returns gfx::kOutOfMemory.
  int32_t OutOfMemory();
  // A vertex buffer of byteWidth bytes, filled from data unless it is null.
  int32_t MakeVertexBuffer(const void* data, uint32_t byteWidth, gfx::Handle* out);
  // Writes a texture's whole top level (and rebuilds its chain).
  int32_t Upload(gfx::Handle handle, Object& texture, const void* data, uint32_t rowPitch);

  // Recorded frame work, issued by Flush.
  enum class CommandKind : uint8_t { ClearColor, ClearDepth, Draw };
  enum class BlendShortcut : uint8_t {
    None,
    Unblended,  // alpha 1 everywhere: blending would give the source colour
    DepthOnly,  // alpha 0 everywhere: blending would keep the target colour
  };
  struct Bindings;
  struct Command;
  // Issues and drops the recorded work (part of a frame unless at Present).
  void Flush(bool frameEnd = false);
  // Issues the recorded work to the frame's target (frameEnd: the rest of
  // the frame is in it), then drops it.
  void IssueRecorded(bool frameEnd = false);
  void DropRecorded();
  void Issue(const Command& command);
  // Whether the recorded frame equals the last issued one, bit for bit.
  bool SameAsLastFrame() const;
  // Whether two recorded commands do the same, bit for bit.
  static bool SameCommand(const Command& a, const Command& b);
  // The shortcut a draw with the bound state, program and constants allows.
  BlendShortcut ShortcutFor(Object& program, const Object* constants);
  // Gives constants a copy in the current batch (flushing a full one first).
  void CopyConstants(Object& constants);
  // Kept pictures (opengl_background.cpp). Issues the recorded opening of
  // a frame, from a kept picture where it may; returns how many commands
  // it has dealt with.
  size_t IssueOpening();
  // Index of the depth clear that closes the recorded background, 0 when
  // the recorded work does not open with one.
  size_t BackgroundEnd() const;
  // Bytes of the batch the first `count` commands read.
  size_t ConstantsOf(size_t count) const;
  // Marks in unseen_ the depth-only draws of the recorded work, from
  // `first` on, whose depth nothing reads.
  void MarkUnseenDepth(size_t first);
  // No kept picture or remembered opening may be used any more ...
  void ForgetPictures();
  // ... or none that draws from `written` (a buffer, texture or view
  // written or released).
  void ForgetPicturesUsing(gfx::Handle written);
  // Asks what copies need to know of the frame's target (once per target);
  // false where copies are not used.
  bool KnowTarget();

  std::unique_ptr<IGlContext> context_;
  bool clipControl_ = false;
  bool texStorage_ = false;  // glTexStorage2D: a mipmap chain in one allocation
  bool texStorageAllowed_ = true;
  int major_ = 0, minor_ = 0;
  int maxTextureSize_ = 0;

  std::unordered_map<gfx::Handle, Object> objects_;
  gfx::Handle nextHandle_ = 1;
  std::unordered_map<const void*, unsigned> vaos_;  // context key -> vertex array

  // Pipeline bindings, applied at each draw on the current context.
  struct Bindings {
    gfx::Handle renderTargetView = gfx::kNone, depthStencilView = gfx::kNone;
    gfx::Viewport viewport;
    gfx::Handle rasterizer = gfx::kNone, blend = gfx::kNone;
    gfx::Handle vertexShader = gfx::kNone, pixelShader = gfx::kNone, layout = gfx::kNone;
    gfx::Handle vertexBuffer = gfx::kNone;
    uint32_t stride = 0, offset = 0;
    gfx::Handle constantBuffer = gfx::kNone, sampler = gfx::kNone, view = gfx::kNone;
  } bound_;
  struct Command {
    CommandKind kind = CommandKind::Draw;
    float clear[4] = {};  // ClearColor: rgba; ClearDepth: depth in [0]
    Bindings bindings;
    bool hasConstants = false;
    uint32_t constantsOffset = 0, constantsSize = 0;  // range of the batch buffer
    uint32_t vertexCount = 0, startVertex = 0;
    unsigned variant = 0;                          // mask of the pixel program to use
    BlendShortcut shortcut = BlendShortcut::None;  // same pixels, less work
  };
  std::vector<Command> commands_;  // recorded since the last flush
  std::vector<uint8_t> batch_;     // constants of the recorded draws
  uint64_t batchNumber_ = 1;       // counts flushes
  uint32_t lastCopyOffset_ = 0;    // the copy made last in batch_ ...
  uint32_t lastCopySize_ = 0;      // ... and its size, 0 when none
  size_t largestBatch_ = 0;
  unsigned batchBuffer_ = 0;  // the uniform buffer batch_ is uploaded to
  size_t batchBufferSize_ = 0;
  uint32_t uniformAlignment_ = 256;  // GL_UNIFORM_BUFFER_OFFSET_ALIGNMENT
  gfx::Handle lastVertexShader_ = gfx::kNone;
  bool variantsEnabled_ = true;
  uint32_t variantDrawCount_ = 0;
  bool blendShortcuts_ = true;
  uint32_t unblendedDrawCount_ = 0, depthOnlyDrawCount_ = 0;

  // The last frame issued whole, kept for comparison (storage reused).
  bool skipUnchanged_ = false;
  bool lastFrameValid_ = false;
  bool frameSplit_ = false;  // part of the current frame was issued already
  std::vector<Command> lastCommands_;
  std::vector<uint8_t> lastBatch_;
  unsigned lastFbo_ = 0;
  int lastWidth_ = 0, lastHeight_ = 0;
  uint64_t issueCount_ = 0, skippedFrames_ = 0;

  // Kept pictures: a frame's first commands with the constants they read,
  // and the target's colour (and depth) after them.
  struct Opening {
    bool valid = false;
    std::vector<Command> commands;
    std::vector<uint8_t> constants;
    unsigned fbo = 0;
    int width = 0, height = 0;
  };
  struct Picture {
    Opening opening;
    unsigned colour = 0;  // texture
    unsigned depth = 0;   // renderbuffer in the target's depth format, 0: none
    int width = 0, height = 0;
  };
  // How many of the recorded commands, up to `limit`, open like `opening`.
  size_t SharedWith(const Opening& opening, size_t limit);
  void Remember(Opening& opening, size_t count) const;
  // Copies the target's colour (and depth) into the picture (keep) or back;
  // false (and nothing written) on a GL error.
  bool CopyPicture(Picture& picture, bool keep, bool depth);
  void ReleasePicture(Picture& picture);
  bool keepPictures_ = true;
  bool picturesBroken_ = false;  // a copy failed: not tried again
  bool frameStart_ = false;      // the next issue starts the frame
  Picture background_, scene_;
  Opening seen_;  // the last frame's first commands
  // What copies need to know of the frame's target, asked once per target.
  struct CopyTarget {
    unsigned fbo = 0;
    int width = 0, height = 0;
    bool known = false, multisampled = false;
    unsigned depthFormat = 0;                          // 0: unknown, no depth copies
    bool keepChecked = false, restoreChecked = false;  // a copy each way worked
  } copyTarget_;
  uint64_t backgroundReuses_ = 0, sceneReuses_ = 0, pictureKeeps_ = 0, unseenDraws_ = 0;
  std::vector<uint8_t> unseen_;  // per recorded command, 1: not issued

  bool swapChain_ = false;
  uint32_t bufferWidth_ = 0, bufferHeight_ = 0;
  bool inFrame_ = false;
  unsigned frameFbo_ = 0;
  int frameWidth_ = 0, frameHeight_ = 0;
  uint32_t drawCount_ = 0, presentCount_ = 0;
  uint32_t outOfMemoryCount_ = 0;
};

}  // namespace tolvani::gl
