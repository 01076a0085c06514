#include "render/gl/opengl_device.h"

#include <algorithm>
#include <cstring>

#include "base/platform_services.h"
#include "base/text_conversion.h"
#include "render/gl/gl_api.h"
#include "render/gl/shader_program.h"
#include "render/gl/shader_variants.h"
#include "render/shader_interface.h"

namespace tolvani::gl {
namespace {

void Diagnose(const std::string& text) {
  Platform().Diagnostic("render", FromUtf8(text));
}

// Levels of a full mipmap chain down to 1 x 1.
int MipLevelCount(uint32_t width, uint32_t height) {
  int levels = 1;
  while ((std::max(width, height) >> levels) > 0) ++levels;
  return levels;
}

// The pixel layout the texture data is handed over in.
GLenum UploadFormat(gfx::TextureFormat format) {
#ifdef __EMSCRIPTEN__
  (void)format;
  return GL_RGBA;  // BGRA data is swizzled first
#else
  return format == gfx::TextureFormat::BGRA8 ? GL_BGRA : GL_RGBA;
#endif
}

}  // namespace

std::vector<uint8_t> BgraToRgba(const uint8_t* data, uint32_t width, uint32_t height,
                                uint32_t rowPitch) {
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = data + static_cast<size_t>(y) * rowPitch;
    uint8_t* out = rgba.data() + static_cast<size_t>(y) * width * 4;
    for (uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = in[3];
    }
  }
  return rgba;
}

namespace {}  // namespace

OpenGLDevice::OpenGLDevice() = default;

OpenGLDevice::~OpenGLDevice() {
  Shutdown();
}

bool OpenGLDevice::Initialize(std::unique_ptr<IGlContext> context, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    Diagnose(why);
    context_.reset();
    return false;
  };
  context_ = std::move(context);
  if (context_ == nullptr) return fail("no OpenGL context");
  if (!context_->MakeCurrent()) return fail("cannot make the OpenGL context current");
#ifdef __EMSCRIPTEN__
  // WebGL2 is OpenGL ES 3.0, which has everything the device uses.
  GLint esMajor = 0, esMinor = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &esMajor);
  glGetIntegerv(GL_MINOR_VERSION, &esMinor);
  major_ = esMajor;
  minor_ = esMinor;
  if (major_ < 3) return fail("OpenGL ES 3.0 (WebGL2) is needed, got " + std::to_string(major_));
  const bool clipControl = false;
  const bool texStorage = true;  // part of OpenGL ES 3.0
#else
  if (!epoxy_is_desktop_gl()) return fail("the context is not desktop OpenGL");
  const int version = epoxy_gl_version();
  major_ = version / 10;
  minor_ = version % 10;
  if (major_ < 3 || (major_ == 3 && minor_ < 3)) {
    return fail("OpenGL 3.3 core is needed, got " + std::to_string(major_) + "." +
                std::to_string(minor_));
  }
  const bool clipControl = version >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control");
  const bool texStorage = version >= 42 || epoxy_has_gl_extension("GL_ARB_texture_storage");
#endif
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  maxTextureSize_ = maxSize;
  GLint alignment = 0;
  glGetIntegerv(GL_UNIFORM_BUFFER_OFFSET_ALIGNMENT, &alignment);
  if (alignment > 0) uniformAlignment_ = static_cast<uint32_t>(alignment);
  glGenBuffers(1, &batchBuffer_);
  clipControl_ = clipControl;
  texStorage_ = texStorage;
  Diagnose(std::string(kGles ? "OpenGL ES " : "OpenGL ") + std::to_string(major_) + "." +
           std::to_string(minor_) +
           (clipControl_ ? ", clip control" : ", depth remap in the vertex shader"));
  return true;
}

void OpenGLDevice::Shutdown() {
  if (context_ == nullptr) return;
  commands_.clear();
  if (MakeCurrent()) {
    for (auto& [handle, object] : objects_) Destroy(object);
    if (batchBuffer_ != 0) glDeleteBuffers(1, &batchBuffer_);
    ReleasePicture(background_);
    ReleasePicture(scene_);
    // Only the device's own vertex array can be deleted here; the others
    // belong to contexts that delete them with themselves.
    auto own = vaos_.find(context_->OwnKey());
    if (own != vaos_.end() && context_->CurrentKey() == context_->OwnKey()) {
      glDeleteVertexArrays(1, &own->second);
    }
  }
  objects_.clear();
  context_->StopWatching();
  vaos_.clear();
  context_.reset();
  batchBuffer_ = 0;
  batchBufferSize_ = 0;
}

bool OpenGLDevice::MakeCurrent() {
  return context_ != nullptr && context_->MakeCurrent();
}

OpenGLDevice::Object* OpenGLDevice::Find(gfx::Handle handle, Kind kind) {
  if (handle == gfx::kNone) return nullptr;
  auto it = objects_.find(handle);
  if (it == objects_.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

gfx::Handle OpenGLDevice::Add(Object object) {
  gfx::Handle handle = nextHandle_++;
  if (nextHandle_ == gfx::kNone) nextHandle_ = 1;
  objects_.emplace(handle, std::move(object));
  return handle;
}

void OpenGLDevice::AddRef(gfx::Handle handle) {
  auto it = objects_.find(handle);
  if (it != objects_.end()) ++it->second.refs;
}

void OpenGLDevice::Destroy(Object& object) {
  if (context_ == nullptr || object.name == 0) return;
  switch (object.kind) {
    case Kind::VertexBuffer:
    case Kind::ConstantBuffer:
      glDeleteBuffers(1, &object.name);
      break;
    case Kind::Texture:
      glDeleteTextures(1, &object.name);
      break;
    case Kind::Blob:
    case Kind::VertexShader:
      glDeleteShader(object.name);
      for (unsigned& stage : object.variants) {
        if (stage != 0) glDeleteShader(stage);
        stage = 0;
      }
      break;
    case Kind::PixelShader:
      glDeleteProgram(object.name);
      for (unsigned& program : object.variants) {
        if (program != 0) glDeleteProgram(program);
        program = 0;
      }
      break;
    case Kind::SamplerState:
      glDeleteSamplers(1, &object.name);
      break;
    default:
      break;
  }
  object.name = 0;
}

void OpenGLDevice::Release(gfx::Handle handle) {
  auto it = objects_.find(handle);
  if (it == objects_.end()) return;
  if (--it->second.refs > 0) return;
  Flush();  // recorded draws may still use it
  ForgetPicturesUsing(handle);
  const gfx::Handle dependent = it->second.kind == Kind::View ? it->second.target : gfx::kNone;
  if (MakeCurrent()) Destroy(it->second);
  objects_.erase(it);
  if (dependent != gfx::kNone) Release(dependent);
}

// --- resources ---------------------------------------------------------------

int32_t OpenGLDevice::CreateVertexBuffer(const void* data, uint32_t byteWidth, gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (data == nullptr || byteWidth == 0) return gfx::kInvalidArg;
  return MakeVertexBuffer(data, byteWidth, out);
}

int32_t OpenGLDevice::CreateVertexBufferOfSize(uint32_t byteWidth, gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (byteWidth == 0) return gfx::kInvalidArg;
  return MakeVertexBuffer(nullptr, byteWidth, out);
}

int32_t OpenGLDevice::UpdateVertexBuffer(gfx::Handle buffer, uint32_t offset, const void* data,
                                         uint32_t byteWidth) {
  Object* o = Find(buffer, Kind::VertexBuffer);
  // Compared without adding, so that no offset wraps past the check.
  if (o == nullptr || data == nullptr || byteWidth == 0 || offset > o->size ||
      byteWidth > o->size - offset) {
    return gfx::kInvalidArg;
  }
  Flush();                  // recorded draws read the old contents
  lastFrameValid_ = false;  // the last frame may show the old contents
  ForgetPicturesUsing(buffer);
  if (!MakeCurrent()) return gfx::kFail;
  glBindBuffer(GL_ARRAY_BUFFER, o->name);
  glBufferSubData(GL_ARRAY_BUFFER, offset, byteWidth, data);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  if (kErrorChecksWait) return gfx::kOk;
  return glGetError() == GL_OUT_OF_MEMORY ? OutOfMemory() : gfx::kOk;
}

int32_t OpenGLDevice::OutOfMemory() {
  ++outOfMemoryCount_;
  return gfx::kOutOfMemory;
}

int32_t OpenGLDevice::MakeVertexBuffer(const void* data, uint32_t byteWidth, gfx::Handle* out) {
  if (!MakeCurrent()) return gfx::kFail;
  Object o(Kind::VertexBuffer);
  glGenBuffers(1, &o.name);
  glBindBuffer(GL_ARRAY_BUFFER, o.name);
  glBufferData(GL_ARRAY_BUFFER, byteWidth, data, GL_STATIC_DRAW);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  if (!kErrorChecksWait && glGetError() == GL_OUT_OF_MEMORY) {
    Destroy(o);
    return OutOfMemory();
  }
  o.size = byteWidth;
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t OpenGLDevice::CreateConstantBuffer(uint32_t byteWidth, gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (byteWidth == 0 || byteWidth % 16 != 0) return gfx::kInvalidArg;
  if (context_ == nullptr) return gfx::kFail;
  // Contents live in memory; draws read them from the batch buffer.
  Object o(Kind::ConstantBuffer);
  o.staging.assign(byteWidth, 0);
  o.size = byteWidth;
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t OpenGLDevice::UpdateConstantBuffer(gfx::Handle buffer, const void* data,
                                           uint32_t byteWidth) {
  Object* o = Find(buffer, Kind::ConstantBuffer);
  if (o == nullptr || data == nullptr || byteWidth != o->size) return gfx::kInvalidArg;
  std::memcpy(o->staging.data(), data, byteWidth);
  o->batch = 0;  // the next draw copies the new contents into the batch
  return gfx::kOk;
}

int32_t OpenGLDevice::CreateTexture2D(const gfx::TextureDesc& desc, gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = gfx::kNone;
  uint32_t limit = gfx::kMaxTextureSize;
  if (maxTextureSize_ > 0) limit = std::min(limit, static_cast<uint32_t>(maxTextureSize_));
  if (desc.width == 0 || desc.height == 0 || desc.width > limit || desc.height > limit) {
    return gfx::kInvalidArg;
  }
  if (!MakeCurrent()) return gfx::kFail;
  Object o(Kind::Texture);
  o.width = desc.width;
  o.height = desc.height;
  o.format = desc.format;
  o.usage = desc.usage;
  o.mipmapped = desc.mipmapped;
  glGenTextures(1, &o.name);
  glBindTexture(GL_TEXTURE_2D, o.name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  const GLenum format = UploadFormat(desc.format);
  if (desc.mipmapped) {
    // The whole chain is allocated here, without a mipmap generation: on a
    // software rasteriser that is a compiled blit and a pass over every
    // level, paid again by the first upload, which generates the levels.
    // Its sampling is the texture's own (Draw binds no sampler object).
    const int levels = MipLevelCount(desc.width, desc.height);
    if (texStorage_ && texStorageAllowed_) {
      glTexStorage2D(GL_TEXTURE_2D, levels, GL_RGBA8, static_cast<GLsizei>(desc.width),
                     static_cast<GLsizei>(desc.height));
    } else {
      for (int level = 0; level < levels; ++level) {
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8,
                     static_cast<GLsizei>(std::max(desc.width >> level, 1u)),
                     static_cast<GLsizei>(std::max(desc.height >> level, 1u)), 0, format,
                     GL_UNSIGNED_BYTE, nullptr);
      }
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels - 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  } else {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(desc.width),
                 static_cast<GLsizei>(desc.height), 0, format, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glBindTexture(GL_TEXTURE_2D, 0);
  // Sizes were checked above; what is left is want of memory.
  const GLenum err = kErrorChecksWait ? GL_NO_ERROR : glGetError();
  if (err != GL_NO_ERROR) {
    Destroy(o);
    return err == GL_OUT_OF_MEMORY ? OutOfMemory() : gfx::kFail;
  }
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t OpenGLDevice::MapTexture(gfx::Handle texture, gfx::MappedTexture* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = {};
  Object* o = Find(texture, Kind::Texture);
  if (o == nullptr || o->usage != gfx::TextureUsage::Dynamic || o->mapped) {
    return gfx::kInvalidArg;
  }
  o->staging.assign(static_cast<size_t>(o->width) * o->height * 4, 0);
  o->mapped = true;
  out->data = o->staging.data();
  out->rowPitch = o->width * 4;
  return gfx::kOk;
}

void OpenGLDevice::UnmapTexture(gfx::Handle texture) {
  Object* o = Find(texture, Kind::Texture);
  if (o == nullptr || !o->mapped) return;
  o->mapped = false;
  std::vector<uint8_t> pixels = std::move(o->staging);
  o->staging.clear();
  Upload(texture, *o, pixels.data(), o->width * 4);
}

int32_t OpenGLDevice::UpdateTexture(gfx::Handle texture, const void* data, uint32_t rowPitch) {
  Object* o = Find(texture, Kind::Texture);
  if (o == nullptr || data == nullptr || o->usage != gfx::TextureUsage::RenderTarget ||
      rowPitch < o->width * 4 || rowPitch % 4 != 0) {
    return gfx::kInvalidArg;
  }
  return Upload(texture, *o, data, rowPitch);
}

int32_t OpenGLDevice::Upload(gfx::Handle handle, Object& o, const void* data, uint32_t rowPitch) {
  Flush();                  // recorded draws sample the old contents
  lastFrameValid_ = false;  // the last frame may show the old contents
  ForgetPicturesUsing(handle);
  if (!MakeCurrent()) return gfx::kFail;
  std::vector<uint8_t> swizzled;
  if (kSwizzleBgraUploads && o.format == gfx::TextureFormat::BGRA8) {
    swizzled = BgraToRgba(static_cast<const uint8_t*>(data), o.width, o.height, rowPitch);
    data = swizzled.data();
    rowPitch = o.width * 4;
  }
  glBindTexture(GL_TEXTURE_2D, o.name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rowPitch / 4));
  // Row 0 of the data is row 0 of the texture (t = 0): no flip.
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(o.width),
                  static_cast<GLsizei>(o.height), UploadFormat(o.format), GL_UNSIGNED_BYTE, data);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  // The top level is written whole, and the levels below are averages of it.
  o.opaque = AllTexelsOpaque(static_cast<const uint8_t*>(data), o.width, o.height, rowPitch);
  if (o.mipmapped) glGenerateMipmap(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, 0);
  return gfx::kOk;
}

int32_t OpenGLDevice::CreateShaderResourceView(gfx::Handle texture, gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (Find(texture, Kind::Texture) == nullptr) return gfx::kInvalidArg;
  Object o(Kind::View);
  o.target = texture;
  AddRef(texture);  // the view keeps its texture alive
  *out = Add(std::move(o));
  return gfx::kOk;
}

// --- shader program ----------------------------------------------------------

int32_t OpenGLDevice::CompileShaderFromFile(const std::string& path, const char* entry,
                                            const char* profile, gfx::Handle* blob) {
  if (blob == nullptr) return gfx::kInvalidArg;
  *blob = gfx::kNone;
  if (entry == nullptr || *entry == '\0' || profile == nullptr) return gfx::kInvalidArg;
  const std::string prof = profile;
  bool vertexStage;
  if (prof.rfind("vs_", 0) == 0) {
    vertexStage = true;
  } else if (prof.rfind("ps_", 0) == 0) {
    vertexStage = false;
  } else {
    return gfx::kInvalidArg;
  }
  std::string text, why;
  if (gfx::Failed(ReadShaderSource(path, &text, &why))) {
    Diagnose(why);
    return gfx::kFail;
  }
  if (!ContainsIdentifier(text, entry)) {
    Diagnose(std::string("shader source has no entry point ") + entry);
    return gfx::kFail;
  }
  if (!MakeCurrent()) return gfx::kFail;
  StageOptions options;
  options.vertexStage = vertexStage;
  options.depthRemap = !clipControl_;
  std::string source = StageSource(text, entry, options);
  std::string log;
  const GLuint shader = CompileStage(vertexStage, source, &log);
  if (shader == 0) {
    Diagnose(std::string("shader ") + entry + " does not compile: " + log);
    return gfx::kFail;
  }
  Object o(Kind::Blob);
  o.name = shader;
  o.vertexStage = vertexStage;
  if (!vertexStage) {
    o.materialAlpha = ContainsIdentifier(text, kMaterialAlphaName);
    o.viewOnlyLights = ContainsIdentifier(text, kViewOnlyLightsName);
    // Variants that do not compile are simply not used.
    const unsigned masks = VariantsNamedIn(text);
    for (unsigned m = 1; m < kVariantCount; ++m) {
      if (!(masks & (1u << m))) continue;
      StageOptions variantOptions;
      variantOptions.variantMask = m;
      std::string variantLog;
      o.variants[m] = CompileStage(false, StageSource(text, entry, variantOptions), &variantLog);
      if (o.variants[m] == 0) {
        Diagnose(std::string("shader ") + entry + " variant does not compile: " + variantLog);
      }
    }
  }
  o.source = std::move(source);
  *blob = Add(std::move(o));
  return gfx::kOk;
}

int32_t OpenGLDevice::CreateVertexShader(gfx::Handle blob, gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = gfx::kNone;
  Object* b = Find(blob, Kind::Blob);
  if (b == nullptr || !b->vertexStage) return gfx::kInvalidArg;
  if (!MakeCurrent()) return gfx::kFail;
  // The vertex shader keeps its own compiled stage: the blob is released
  // right after, and the pixel shaders link with this one later.
  std::string source = b->source;
  std::string log;
  const GLuint shader = CompileStage(true, source, &log);
  if (shader == 0) return gfx::kFail;
  Object o(Kind::VertexShader);
  o.name = shader;
  o.vertexStage = true;
  o.source = std::move(source);
  *out = Add(std::move(o));
  lastVertexShader_ = *out;
  return gfx::kOk;
}

int32_t OpenGLDevice::CreateInputLayout(const gfx::InputElement* elements, uint32_t count,
                                        gfx::Handle vertexShaderBlob, gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = gfx::kNone;
  Object* b = Find(vertexShaderBlob, Kind::Blob);
  if (b == nullptr || !b->vertexStage || !IsCompleteInputLayout(elements, count)) {
    return gfx::kInvalidArg;
  }
  Object o(Kind::InputLayout);
  for (uint32_t i = 0; i < count; ++i) {
    // The vertex shader must declare the input with the same width.
    if (DeclaredInputComponents(b->source, elements[i].semantic) !=
        static_cast<int>(elements[i].components)) {
      Diagnose(std::string("vertex shader does not declare input ") + elements[i].semantic);
      return gfx::kFail;
    }
    o.elements.push_back(elements[i]);
  }
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t OpenGLDevice::CreatePixelShader(gfx::Handle blob, gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = gfx::kNone;
  Object* b = Find(blob, Kind::Blob);
  if (b == nullptr || b->vertexStage) return gfx::kInvalidArg;
  Object* vs = Find(lastVertexShader_, Kind::VertexShader);
  if (vs == nullptr) {
    Diagnose("pixel shader created before any vertex shader");
    return gfx::kFail;
  }
  if (!MakeCurrent()) return gfx::kFail;
  const GLuint program = LinkProgram(vs->name, b->name);
  if (program == 0) return gfx::kFail;
  Object o(Kind::PixelShader);
  o.name = program;
  o.target = lastVertexShader_;
  o.materialAlpha = b->materialAlpha;
  o.viewOnlyLights = b->viewOnlyLights;
  // The variants differ from the general program only in lighting terms.
  o.readsTextures = HasLooseUniforms(program);
  for (unsigned m = 1; m < kVariantCount; ++m) {
    if (b->variants[m] != 0) o.variants[m] = LinkProgram(vs->name, b->variants[m]);
  }
  *out = Add(std::move(o));
  return gfx::kOk;
}

// --- fixed pipeline states -----------------------------------------------------

int32_t OpenGLDevice::CreateRasterizerState(gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = Add(Object(Kind::RasterizerState));
  return gfx::kOk;
}

int32_t OpenGLDevice::CreateSamplerState(gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (!MakeCurrent()) return gfx::kFail;
  Object o(Kind::SamplerState);
  glGenSamplers(1, &o.name);
  glSamplerParameteri(o.name, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glSamplerParameteri(o.name, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glSamplerParameteri(o.name, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glSamplerParameteri(o.name, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glSamplerParameteri(o.name, GL_TEXTURE_WRAP_R, GL_REPEAT);
  // Only the top mip level is ever sampled.
  glSamplerParameterf(o.name, GL_TEXTURE_MIN_LOD, 0.0f);
  glSamplerParameterf(o.name, GL_TEXTURE_MAX_LOD, 0.0f);
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t OpenGLDevice::CreateBlendState(gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = Add(Object(Kind::BlendState));
  return gfx::kOk;
}

// --- swap chain and targets --------------------------------------------------

int32_t OpenGLDevice::CreateSwapChain(uint32_t width, uint32_t height) {
  if (context_ == nullptr) return gfx::kFail;
  if (width == 0 || height == 0) return gfx::kInvalidArg;
  swapChain_ = true;
  bufferWidth_ = width;
  bufferHeight_ = height;
  return gfx::kOk;
}

int32_t OpenGLDevice::ResizeBuffers(uint32_t width, uint32_t height) {
  if (!swapChain_) return gfx::kFail;
  if (width == 0 || height == 0) return gfx::kInvalidArg;
  // As on the renderer's original platform: views of the old back buffer
  // must be gone first, so no view outlives the size it was made for.
  for (const auto& [handle, object] : objects_) {
    if (object.kind == Kind::RenderTargetView) return gfx::kInvalidArg;
  }
  bufferWidth_ = width;
  bufferHeight_ = height;
  return gfx::kOk;
}

int32_t OpenGLDevice::CreateRenderTargetView(gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (!swapChain_) return gfx::kFail;
  Object o(Kind::RenderTargetView);
  o.width = bufferWidth_;
  o.height = bufferHeight_;
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t OpenGLDevice::CreateDepthStencilView(uint32_t width, uint32_t height, gfx::Handle* out) {
  if (out == nullptr) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (width == 0 || height == 0) return gfx::kInvalidArg;
  // The widget's framebuffer carries the depth buffer.
  Object o(Kind::DepthStencilView);
  o.width = width;
  o.height = height;
  *out = Add(std::move(o));
  return gfx::kOk;
}

}  // namespace tolvani::gl
