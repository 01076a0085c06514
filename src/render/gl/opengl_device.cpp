#include "render/gl/opengl_device.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "base/platform_services.h"
#include "base/text_conversion.h"
#include "render/gl/shader_variants.h"

namespace tolvani::gl {
namespace {

constexpr size_t kMaxShaderSourceBytes = 1 << 20;

// Fixed attribute locations by semantic; the shader declares attributes
// named after the semantics.
constexpr const char* kSemantics[] = {"POSITION", "NORMAL", "TEXCOORD", "BONE", "PARENT", "WEIGHT"};
constexpr int kSemanticCount = 6;

int SemanticLocation(const char* semantic) {
  if (semantic == nullptr) return -1;
  for (int i = 0; i < kSemanticCount; ++i) {
    if (std::strcmp(semantic, kSemantics[i]) == 0) return i;
  }
  return -1;
}

void Diagnose(const std::string& text) {
  Platform().Diagnostic("render", FromUtf8(text));
}

// Component count of the vertex input named name declared in source, or 0.
int DeclaredInputComponents(const std::string& source, const char* name) {
  const std::regex re(std::string(R"((^|[;\s)])in\s+(float|vec2|vec3|vec4)\s+)") + name +
                      R"(\s*;)");
  std::smatch m;
  if (!std::regex_search(source, m, re)) return 0;
  const std::string type = m[2].str();
  if (type == "float") return 1;
  return type[3] - '0';
}

}  // namespace

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
  if (!epoxy_is_desktop_gl()) return fail("the context is not desktop OpenGL");
  const int version = epoxy_gl_version();
  major_ = version / 10;
  minor_ = version % 10;
  if (major_ < 3 || (major_ == 3 && minor_ < 3)) {
    return fail("OpenGL 3.3 core is needed, got " + std::to_string(major_) + "." +
                std::to_string(minor_));
  }
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  maxTextureSize_ = maxSize;
  GLint alignment = 0;
  glGetIntegerv(GL_UNIFORM_BUFFER_OFFSET_ALIGNMENT, &alignment);
  if (alignment > 0) uniformAlignment_ = static_cast<uint32_t>(alignment);
  glGenBuffers(1, &batchBuffer_);
  clipControl_ = version >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control");
  Diagnose("OpenGL " + std::to_string(major_) + "." + std::to_string(minor_) +
           (clipControl_ ? ", clip control" : ", depth remap in the vertex shader"));
  return true;
}

void OpenGLDevice::Shutdown() {
  if (context_ == nullptr) return;
  commands_.clear();
  if (MakeCurrent()) {
    for (auto& [handle, object] : objects_) Destroy(object);
    if (batchBuffer_ != 0) glDeleteBuffers(1, &batchBuffer_);
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
  const gfx::Handle dependent = it->second.kind == Kind::View ? it->second.target : gfx::kNone;
  if (MakeCurrent()) Destroy(it->second);
  objects_.erase(it);
  if (dependent != gfx::kNone) Release(dependent);
}

// --- resources ---------------------------------------------------------------

int32_t OpenGLDevice::CreateVertexBuffer(const void* data, uint32_t byteWidth, gfx::Handle* out) {
  if (out == nullptr || data == nullptr || byteWidth == 0) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (!MakeCurrent()) return gfx::kFail;
  Object o(Kind::VertexBuffer);
  glGenBuffers(1, &o.name);
  glBindBuffer(GL_ARRAY_BUFFER, o.name);
  glBufferData(GL_ARRAY_BUFFER, byteWidth, data, GL_STATIC_DRAW);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  if (glGetError() == GL_OUT_OF_MEMORY) {
    Destroy(o);
    return gfx::kOutOfMemory;
  }
  o.size = byteWidth;
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t OpenGLDevice::CreateConstantBuffer(uint32_t byteWidth, gfx::Handle* out) {
  if (out == nullptr || byteWidth == 0 || byteWidth % 16 != 0) return gfx::kInvalidArg;
  *out = gfx::kNone;
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
  o.mipmapped = desc.mipmapped;
  glGenTextures(1, &o.name);
  glBindTexture(GL_TEXTURE_2D, o.name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(desc.width),
               static_cast<GLsizei>(desc.height), 0,
               desc.format == gfx::TextureFormat::BGRA8 ? GL_BGRA : GL_RGBA, GL_UNSIGNED_BYTE,
               nullptr);
  if (desc.mipmapped) {
    // The chain is allocated by the first mipmap generation; its sampling
    // is the texture's own (Draw binds no sampler object for it).
    int levels = 1;
    while ((std::max(desc.width, desc.height) >> levels) > 0) ++levels;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels - 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glGenerateMipmap(GL_TEXTURE_2D);
  } else {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glBindTexture(GL_TEXTURE_2D, 0);
  const GLenum err = glGetError();
  if (err != GL_NO_ERROR) {
    Destroy(o);
    return err == GL_OUT_OF_MEMORY ? gfx::kOutOfMemory : gfx::kFail;
  }
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t OpenGLDevice::MapTexture(gfx::Handle texture, gfx::MappedTexture* out) {
  Object* o = Find(texture, Kind::Texture);
  if (o == nullptr || out == nullptr) return gfx::kInvalidArg;
  o->staging.assign(static_cast<size_t>(o->width) * o->height * 4, 0);
  out->data = o->staging.data();
  out->rowPitch = o->width * 4;
  return gfx::kOk;
}

void OpenGLDevice::UnmapTexture(gfx::Handle texture) {
  Object* o = Find(texture, Kind::Texture);
  if (o == nullptr || o->staging.empty()) return;
  std::vector<uint8_t> pixels = std::move(o->staging);
  o->staging.clear();
  UpdateTexture(texture, pixels.data(), o->width * 4);
}

int32_t OpenGLDevice::UpdateTexture(gfx::Handle texture, const void* data, uint32_t rowPitch) {
  Object* o = Find(texture, Kind::Texture);
  if (o == nullptr || data == nullptr || rowPitch < o->width * 4 || rowPitch % 4 != 0) {
    return gfx::kInvalidArg;
  }
  Flush();  // recorded draws sample the old contents
  if (!MakeCurrent()) return gfx::kFail;
  glBindTexture(GL_TEXTURE_2D, o->name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rowPitch / 4));
  // Row 0 of the data is row 0 of the texture (t = 0): no flip.
  glTexSubImage2D(
      GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(o->width), static_cast<GLsizei>(o->height),
      o->format == gfx::TextureFormat::BGRA8 ? GL_BGRA : GL_RGBA, GL_UNSIGNED_BYTE, data);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  if (o->mipmapped) glGenerateMipmap(GL_TEXTURE_2D);
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

GLuint OpenGLDevice::CompileStage(bool vertexStage, const std::string& source, std::string* log) {
  GLuint shader = glCreateShader(vertexStage ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
  const char* text = source.c_str();
  const GLint length = static_cast<GLint>(source.size());
  glShaderSource(shader, 1, &text, &length);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok != GL_TRUE) {
    GLint logLength = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &logLength);
    if (log && logLength > 0) {
      log->resize(static_cast<size_t>(logLength));
      glGetShaderInfoLog(shader, logLength, nullptr, log->data());
    }
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

int32_t OpenGLDevice::CompileShaderFromFile(const std::string& path, const char* entry,
                                            const char* profile, gfx::Handle* blob) {
  if (blob == nullptr || entry == nullptr || profile == nullptr) return gfx::kInvalidArg;
  *blob = gfx::kNone;
  const std::string prof = profile;
  bool vertexStage;
  if (prof.rfind("vs_", 0) == 0) {
    vertexStage = true;
  } else if (prof.rfind("ps_", 0) == 0) {
    vertexStage = false;
  } else {
    return gfx::kInvalidArg;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    Diagnose("shader source not found: " + path);
    return gfx::kFail;
  }
  std::string text;
  text.resize(kMaxShaderSourceBytes + 1);
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  if (text.size() > kMaxShaderSourceBytes) {
    Diagnose("shader source too large: " + path);
    return gfx::kFail;
  }
  if (!ContainsIdentifier(text, entry)) {
    Diagnose(std::string("shader source has no entry point ") + entry);
    return gfx::kFail;
  }
  if (!MakeCurrent()) return gfx::kFail;
  std::string source = std::string("#version 330 core\n#define ") + entry + "\n";
  if (vertexStage && !clipControl_) source += "#define TOLVANI_DEPTH_REMAP\n";
  source += "#line 1\n";
  source += text;
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
    // Variants that do not compile are simply not used.
    const unsigned masks = VariantsNamedIn(text);
    for (unsigned m = 1; m < kVariantCount; ++m) {
      if (!(masks & (1u << m))) continue;
      const std::string variant = std::string("#version 330 core\n#define ") + entry + "\n" +
                                  VariantDefines(m) + "#line 1\n" + text;
      std::string variantLog;
      o.variants[m] = CompileStage(false, variant, &variantLog);
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
  if (out == nullptr || elements == nullptr || count == 0) return gfx::kInvalidArg;
  *out = gfx::kNone;
  Object* b = Find(vertexShaderBlob, Kind::Blob);
  if (b == nullptr || !b->vertexStage) return gfx::kInvalidArg;
  if (count != kSemanticCount) return gfx::kInvalidArg;
  Object o(Kind::InputLayout);
  bool seen[kSemanticCount] = {};
  for (uint32_t i = 0; i < count; ++i) {
    const int location = SemanticLocation(elements[i].semantic);
    if (location < 0 || seen[location] || elements[i].components < 1 ||
        elements[i].components > 4) {
      return gfx::kInvalidArg;
    }
    seen[location] = true;
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
  for (unsigned m = 1; m < kVariantCount; ++m) {
    if (b->variants[m] != 0) o.variants[m] = LinkProgram(vs->name, b->variants[m]);
  }
  *out = Add(std::move(o));
  return gfx::kOk;
}

GLuint OpenGLDevice::LinkProgram(GLuint vs, GLuint ps) {
  const GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, ps);
  for (int i = 0; i < kSemanticCount; ++i) glBindAttribLocation(program, i, kSemantics[i]);
  glLinkProgram(program);
  glDetachShader(program, vs);
  glDetachShader(program, ps);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    GLint logLength = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &logLength);
    std::string log(static_cast<size_t>(std::max(logLength, 1)), '\0');
    glGetProgramInfoLog(program, logLength, nullptr, log.data());
    Diagnose("shader program does not link: " + log);
    glDeleteProgram(program);
    return 0;
  }
  const GLuint block = glGetUniformBlockIndex(program, "ShaderConstants");
  if (block != GL_INVALID_INDEX) {
    glUniformBlockBinding(program, block, 0);
    GLint size = 0;
    glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_DATA_SIZE, &size);
    if (size != 2560) Diagnose("ShaderConstants block is " + std::to_string(size) + " bytes");
  }
  // Every sampler of the program reads texture unit 0.
  GLint previous = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
  glUseProgram(program);
  GLint uniforms = 0;
  glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &uniforms);
  for (GLint i = 0; i < uniforms; ++i) {
    char name[256];
    GLint arraySize = 0;
    GLenum type = 0;
    glGetActiveUniform(program, static_cast<GLuint>(i), sizeof name, nullptr, &arraySize, &type,
                       name);
    if (type == GL_SAMPLER_2D) glUniform1i(glGetUniformLocation(program, name), 0);
  }
  glUseProgram(static_cast<GLuint>(previous));
  return program;
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

// --- bindings and drawing ----------------------------------------------------

void OpenGLDevice::BeginFrame(unsigned fbo, int fbWidth, int fbHeight) {
  commands_.clear();
  batch_.clear();
  inFrame_ = true;
  frameFbo_ = fbo;
  frameWidth_ = fbWidth;
  frameHeight_ = fbHeight;
  if (MakeCurrent()) glBindFramebuffer(GL_FRAMEBUFFER, fbo);
}

void OpenGLDevice::EndFrame() {
  Flush();
  if (inFrame_ && MakeCurrent()) {
    // Leave the state the window system expects for composing the window.
    glBindVertexArray(0);
    glUseProgram(0);
    glBindSampler(0, 0);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
  }
  inFrame_ = false;
}

void OpenGLDevice::SetRenderTargets(gfx::Handle renderTargetView, gfx::Handle depthStencilView) {
  bound_.renderTargetView = renderTargetView;
  bound_.depthStencilView = depthStencilView;
}

void OpenGLDevice::SetViewport(const gfx::Viewport& viewport) {
  bound_.viewport = viewport;
}
void OpenGLDevice::SetRasterizerState(gfx::Handle state) {
  bound_.rasterizer = state;
}
void OpenGLDevice::SetBlendState(gfx::Handle state) {
  bound_.blend = state;
}
void OpenGLDevice::SetVertexShader(gfx::Handle shader) {
  bound_.vertexShader = shader;
}
void OpenGLDevice::SetPixelShader(gfx::Handle shader) {
  bound_.pixelShader = shader;
}
void OpenGLDevice::SetInputLayout(gfx::Handle layout) {
  bound_.layout = layout;
}
void OpenGLDevice::SetVertexBuffer(gfx::Handle buffer, uint32_t stride, uint32_t offset) {
  bound_.vertexBuffer = buffer;
  bound_.stride = stride;
  bound_.offset = offset;
}
void OpenGLDevice::SetConstantBuffer(gfx::Handle buffer) {
  bound_.constantBuffer = buffer;
}
void OpenGLDevice::SetSampler(gfx::Handle sampler) {
  bound_.sampler = sampler;
}
void OpenGLDevice::SetShaderResource(gfx::Handle view) {
  bound_.view = view;
}
void OpenGLDevice::SetTriangleListTopology() {}

void OpenGLDevice::ClearRenderTarget(gfx::Handle renderTargetView, const float rgba[4]) {
  if (!inFrame_ || rgba == nullptr || Find(renderTargetView, Kind::RenderTargetView) == nullptr) {
    return;
  }
  Command& c = commands_.emplace_back();
  c.kind = CommandKind::ClearColor;
  std::copy(rgba, rgba + 4, c.clear);
}

void OpenGLDevice::ClearDepth(gfx::Handle depthStencilView, float depth) {
  if (!inFrame_ || Find(depthStencilView, Kind::DepthStencilView) == nullptr) return;
  Command& c = commands_.emplace_back();
  c.kind = CommandKind::ClearDepth;
  c.clear[0] = depth;
}

GLuint OpenGLDevice::VertexArrayForCurrentContext() {
  const void* current = context_->CurrentKey();
  auto it = vaos_.find(current);
  if (it != vaos_.end()) return it->second;
  GLuint vao = 0;
  glGenVertexArrays(1, &vao);
  if (current != context_->OwnKey()) {
    context_->WatchDestruction(current, [this, current] { vaos_.erase(current); });
  }
  vaos_.emplace(current, vao);
  return vao;
}

void OpenGLDevice::Draw(uint32_t vertexCount, uint32_t startVertex) {
  if (!inFrame_ || vertexCount == 0) return;
  Object* program = Find(bound_.pixelShader, Kind::PixelShader);
  Object* layout = Find(bound_.layout, Kind::InputLayout);
  Object* buffer = Find(bound_.vertexBuffer, Kind::VertexBuffer);
  if (program == nullptr || layout == nullptr || buffer == nullptr || bound_.stride == 0) return;
  if (Find(bound_.vertexShader, Kind::VertexShader) == nullptr) return;
  if (Find(bound_.renderTargetView, Kind::RenderTargetView) == nullptr) return;
  // Never read past the end of the buffer.
  const uint64_t available =
      buffer->size > bound_.offset ? (buffer->size - bound_.offset) / bound_.stride : 0;
  if (startVertex >= available) return;
  vertexCount = static_cast<uint32_t>(std::min<uint64_t>(vertexCount, available - startVertex));

  Command& c = commands_.emplace_back();
  c.kind = CommandKind::Draw;
  c.bindings = bound_;
  c.vertexCount = vertexCount;
  c.startVertex = startVertex;
  if (Object* constants = Find(bound_.constantBuffer, Kind::ConstantBuffer)) {
    // Draws that see the same contents share one copy in the batch.
    if (constants->batch != batchNumber_) {
      const size_t offset =
          (batch_.size() + uniformAlignment_ - 1) / uniformAlignment_ * uniformAlignment_;
      batch_.resize(offset + constants->size);
      std::memcpy(batch_.data() + offset, constants->staging.data(), constants->size);
      constants->batch = batchNumber_;
      constants->batchOffset = static_cast<uint32_t>(offset);
    }
    c.hasConstants = true;
    c.constantsOffset = constants->batchOffset;
    c.constantsSize = constants->size;
    if (variantsEnabled_) {
      const unsigned mask = VariantFor(constants->staging.data(), constants->staging.size());
      if (mask != 0 && program->variants[mask] != 0) c.variant = mask;
    }
  }
  ++drawCount_;
}

void OpenGLDevice::Flush() {
  if (commands_.empty()) return;
  if (MakeCurrent()) {
    if (!batch_.empty()) {
      // One upload for the whole batch, into fresh storage (earlier frames
      // may still read the old one) of a size that only grows, so the
      // driver can recycle it.
      glBindBuffer(GL_UNIFORM_BUFFER, batchBuffer_);
      batchBufferSize_ = std::max(batch_.size(), batchBufferSize_);
      glBufferData(GL_UNIFORM_BUFFER, static_cast<GLsizeiptr>(batchBufferSize_), nullptr,
                   GL_STREAM_DRAW);
      glBufferSubData(GL_UNIFORM_BUFFER, 0, static_cast<GLsizeiptr>(batch_.size()), batch_.data());
      glBindBuffer(GL_UNIFORM_BUFFER, 0);
    }
    for (const Command& c : commands_) Issue(c);
  }
  commands_.clear();
  batch_.clear();
  ++batchNumber_;
}

void OpenGLDevice::Issue(const Command& c) {
  glBindFramebuffer(GL_FRAMEBUFFER, frameFbo_);
  if (c.kind == CommandKind::ClearColor) {
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(c.clear[0], c.clear[1], c.clear[2], c.clear[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    return;
  }
  if (c.kind == CommandKind::ClearDepth) {
    glDisable(GL_SCISSOR_TEST);
    glDepthMask(GL_TRUE);
    glClearDepth(c.clear[0]);
    glClear(GL_DEPTH_BUFFER_BIT);
    return;
  }
  // Every object was checked when the draw was recorded, and none has been
  // released since (Release flushes first).
  const Bindings& b = c.bindings;
  Object* program = Find(b.pixelShader, Kind::PixelShader);
  Object* layout = Find(b.layout, Kind::InputLayout);
  Object* buffer = Find(b.vertexBuffer, Kind::VertexBuffer);
  if (program == nullptr || layout == nullptr || buffer == nullptr) return;

  const gfx::Viewport& vp = b.viewport;
  glViewport(static_cast<GLint>(vp.topLeftX),
             frameHeight_ - static_cast<GLint>(vp.topLeftY + vp.height),
             static_cast<GLsizei>(vp.width), static_cast<GLsizei>(vp.height));
  glDepthRange(vp.minDepth, vp.maxDepth);
  if (clipControl_) glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);

  const bool depth = Find(b.depthStencilView, Kind::DepthStencilView) != nullptr;
  if (depth) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
  } else {
    glDisable(GL_DEPTH_TEST);
  }
  glEnable(GL_CULL_FACE);
  if (Find(b.rasterizer, Kind::RasterizerState)) {
    glFrontFace(GL_CCW);
    glCullFace(GL_FRONT);
  } else {
    // The pipeline's default: clockwise front faces, back faces culled.
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
  }
  if (Find(b.blend, Kind::BlendState)) {
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_BLEND);
  }
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

  if (c.variant != 0) {
    glUseProgram(program->variants[c.variant]);
    ++variantDrawCount_;
  } else {
    glUseProgram(program->name);
  }
  if (c.hasConstants) {
    glBindBufferRange(GL_UNIFORM_BUFFER, 0, batchBuffer_, static_cast<GLintptr>(c.constantsOffset),
                      static_cast<GLsizeiptr>(c.constantsSize));
  } else {
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, 0);
  }
  glActiveTexture(GL_TEXTURE0);
  GLuint textureName = 0;
  bool ownSampling = false;
  if (Object* view = Find(b.view, Kind::View)) {
    if (Object* texture = Find(view->target, Kind::Texture)) {
      textureName = texture->name;
      ownSampling = texture->mipmapped;
    }
  }
  glBindTexture(GL_TEXTURE_2D, textureName);
  // A mipmapped texture samples trilinearly through its own parameters; the
  // bound sampler reads the top level only.
  Object* sampler = ownSampling ? nullptr : Find(b.sampler, Kind::SamplerState);
  glBindSampler(0, sampler ? sampler->name : 0);

  glBindVertexArray(VertexArrayForCurrentContext());
  glBindBuffer(GL_ARRAY_BUFFER, buffer->name);
  for (const gfx::InputElement& e : layout->elements) {
    const GLuint location = static_cast<GLuint>(SemanticLocation(e.semantic));
    glEnableVertexAttribArray(location);
    glVertexAttribPointer(
        location, static_cast<GLint>(e.components), GL_FLOAT, GL_FALSE,
        static_cast<GLsizei>(b.stride),
        reinterpret_cast<const void*>(static_cast<uintptr_t>(b.offset + e.offset)));
  }
  glDrawArrays(GL_TRIANGLES, static_cast<GLint>(c.startVertex),
               static_cast<GLsizei>(c.vertexCount));
}

int32_t OpenGLDevice::Present() {
  Flush();
  ++presentCount_;
  // The widget composes its framebuffer after painting; nothing to swap here.
  return gfx::kOk;
}

}  // namespace tolvani::gl
