// The graphics device of the player on OpenGL 3.3 core (Qt's
// QOpenGLFunctions_3_3_Core).
//
// Contexts: the device creates its own context in Qt's global share group
// (Qt::AA_ShareOpenGLContexts must be set before the QApplication exists)
// and makes it current on an offscreen surface for resource work outside
// painting, so the renderer and the scene can be built before the window is
// first shown. Buffers, textures, samplers and programs are shared with the
// widget's context; vertex array objects are not, so the device keeps one
// per context. Drawing happens only between BeginFrame and EndFrame, with
// the caller's (widget's) context current and its framebuffer given.
//
// Conventions kept from the renderer's original platform: clip z runs 0..w
// (glClipControl, or a remap in the vertex shader where it is missing);
// depth test LESS with writes; counter-clockwise triangles are front faces
// and are culled; textures are uploaded row 0 first (v = 0 samples the
// image's first row); the constant buffer is the std140 uniform block
// "ShaderConstants" at binding 0; colour blending src-alpha/inv-src-alpha
// with alpha one/inv-src-alpha so the window's alpha stays 1.
#pragma once

#include <QtGui/qopengl.h>
#include <QMetaObject>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/graphics_device.h"

class QOpenGLContext;
class QOffscreenSurface;
class QOpenGLFunctions_3_3_Core;

namespace tolvani::gl {

class OpenGLDevice final : public gfx::IGraphicsDevice {
 public:
  OpenGLDevice();
  ~OpenGLDevice() override;
  OpenGLDevice(const OpenGLDevice&) = delete;
  OpenGLDevice& operator=(const OpenGLDevice&) = delete;

  // Creates the device's context and offscreen surface. Needs a
  // QGuiApplication and the global share context. Returns false (with a
  // reason in *error) when no OpenGL 3.3 core context can be made.
  bool Initialize(std::string* error);
  // Deletes every object still alive and the device's context. Also run by
  // the destructor.
  void Shutdown();

  // Drawing bracket: the caller's context is current; fbo is the framebuffer
  // to draw into, fbWidth x fbHeight pixels.
  void BeginFrame(GLuint fbo, int fbWidth, int fbHeight);
  void EndFrame();
  bool inFrame() const { return inFrame_; }

  // Facts about the context, for diagnostics and tests.
  int majorVersion() const { return major_; }
  int minorVersion() const { return minor_; }
  bool usesClipControl() const { return clipControl_ != nullptr; }
  int maxTextureSize() const { return maxTextureSize_; }
  uint32_t drawCount() const { return drawCount_; }
  uint32_t presentCount() const { return presentCount_; }
  size_t liveObjectCount() const { return objects_.size(); }

  // IGraphicsDevice
  int32_t CreateVertexBuffer(const void* data, uint32_t byteWidth, gfx::Handle* out) override;
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
    GLuint name = 0;    // GL object (buffer, texture, shader, program, sampler)
    uint32_t size = 0;  // buffer bytes
    uint32_t width = 0, height = 0;
    gfx::TextureFormat format = gfx::TextureFormat::RGBA8;
    bool mipmapped = false;                   // texture: full chain, own trilinear sampling
    gfx::Handle target = gfx::kNone;          // view: its texture; pixel shader: its vertex shader
    bool vertexStage = false;                 // blob
    std::string source;                       // blob, vertex shader: the compiled text
    std::vector<uint8_t> staging;             // texture while mapped
    std::vector<gfx::InputElement> elements;  // input layout
  };

  bool MakeCurrent();
  Object* Find(gfx::Handle handle, Kind kind);
  gfx::Handle Add(Object object);
  void Destroy(Object& object);
  void AddRef(gfx::Handle handle);
  GLuint VertexArrayForCurrentContext();
  GLuint CompileStage(bool vertexStage, const std::string& source, std::string* log);

  QOpenGLContext* context_ = nullptr;
  QOffscreenSurface* surface_ = nullptr;
  QOpenGLFunctions_3_3_Core* f_ = nullptr;
  QOpenGLContext* functionsContext_ = nullptr;
  using ClipControlFn = void (*)(GLenum, GLenum);
  ClipControlFn clipControl_ = nullptr;
  int major_ = 0, minor_ = 0;
  int maxTextureSize_ = 0;

  std::unordered_map<gfx::Handle, Object> objects_;
  gfx::Handle nextHandle_ = 1;
  struct ContextVao {
    GLuint vao = 0;
    QMetaObject::Connection destroyed;
  };
  std::unordered_map<QOpenGLContext*, ContextVao> vaos_;

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
  gfx::Handle lastVertexShader_ = gfx::kNone;

  bool swapChain_ = false;
  uint32_t bufferWidth_ = 0, bufferHeight_ = 0;
  bool inFrame_ = false;
  GLuint frameFbo_ = 0;
  int frameWidth_ = 0, frameHeight_ = 0;
  uint32_t drawCount_ = 0, presentCount_ = 0;
};

}  // namespace tolvani::gl
