#include "render/null_device.h"

#include <algorithm>
#include <cstring>

#include "render/shader_interface.h"

namespace tolvani {

namespace {

const std::vector<uint8_t> kEmptyBytes;

constexpr uint8_t kUnwrittenTexel = 0xCD;

}  // namespace

NullGraphicsDevice::Object NullGraphicsDevice::OfKind(Kind kind) {
  Object o;
  o.kind = kind;
  return o;
}

NullGraphicsDevice::NullGraphicsDevice() = default;
NullGraphicsDevice::~NullGraphicsDevice() = default;

void NullGraphicsDevice::FailCall(Op op, uint64_t n) {
  failAt_.emplace_back(op, n);
}

void NullGraphicsDevice::FailAlways(Op op, bool fail) {
  failAlways_[static_cast<size_t>(op)] = fail;
}

bool NullGraphicsDevice::ShouldFail(Op op) {
  const size_t i = static_cast<size_t>(op);
  const uint64_t n = ++calls_[i];
  if (failAlways_[i]) return true;
  for (const auto& [failOp, failN] : failAt_) {
    if (failOp == op && failN == n) return true;
  }
  return false;
}

gfx::Handle NullGraphicsDevice::Add(Object object) {
  const gfx::Handle h = next_++;
  objects_.emplace(h, std::move(object));
  return h;
}

NullGraphicsDevice::Object* NullGraphicsDevice::Find(gfx::Handle h, Kind kind) {
  auto it = objects_.find(h);
  if (it == objects_.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

const NullGraphicsDevice::Object* NullGraphicsDevice::Find(gfx::Handle h) const {
  auto it = objects_.find(h);
  return it == objects_.end() ? nullptr : &it->second;
}

NullGraphicsDevice::Kind NullGraphicsDevice::KindOf(gfx::Handle h) const {
  const Object* o = Find(h);
  return o ? o->kind : Kind::None;
}

uint32_t NullGraphicsDevice::RefCount(gfx::Handle h) const {
  const Object* o = Find(h);
  return o ? o->refs : 0;
}

size_t NullGraphicsDevice::LiveObjectCount(Kind kind) const {
  return static_cast<size_t>(std::count_if(
      objects_.begin(), objects_.end(), [kind](const auto& p) { return p.second.kind == kind; }));
}

gfx::Handle NullGraphicsDevice::TextureOf(gfx::Handle h) const {
  const Object* o = Find(h);
  if (!o) return gfx::kNone;
  if (o->kind == Kind::Texture) return h;
  if (o->kind == Kind::ShaderResourceView) return o->target;
  return gfx::kNone;
}

gfx::TextureDesc NullGraphicsDevice::TextureDescOf(gfx::Handle h) const {
  const Object* o = Find(TextureOf(h));
  return o ? o->desc : gfx::TextureDesc{};
}

uint32_t NullGraphicsDevice::RowPitchOf(gfx::Handle h) const {
  const Object* o = Find(TextureOf(h));
  return o ? o->rowPitch : 0;
}

std::array<uint8_t, 4> NullGraphicsDevice::Texel(gfx::Handle h, uint32_t x, uint32_t y) const {
  std::array<uint8_t, 4> texel{};
  const Object* o = Find(TextureOf(h));
  if (!o || x >= o->desc.width || y >= o->desc.height || o->bytes.empty()) return texel;
  std::memcpy(texel.data(), o->bytes.data() + static_cast<size_t>(y) * o->rowPitch + x * 4u, 4);
  return texel;
}

const std::vector<uint8_t>& NullGraphicsDevice::TextureMemory(gfx::Handle h) const {
  const Object* o = Find(TextureOf(h));
  return o ? o->bytes : kEmptyBytes;
}

const std::vector<uint8_t>& NullGraphicsDevice::BufferContents(gfx::Handle h) const {
  const Object* o = Find(h);
  if (!o || (o->kind != Kind::VertexBuffer && o->kind != Kind::ConstantBuffer)) return kEmptyBytes;
  return o->bytes;
}

uint32_t NullGraphicsDevice::BufferSize(gfx::Handle h) const {
  const Object* o = Find(h);
  if (!o || (o->kind != Kind::VertexBuffer && o->kind != Kind::ConstantBuffer)) return 0;
  return o->size;
}

std::string NullGraphicsDevice::ShaderEntry(gfx::Handle h) const {
  const Object* o = Find(h);
  if (!o) return {};
  if (o->kind != Kind::ShaderBlob && o->kind != Kind::VertexShader && o->kind != Kind::PixelShader)
    return {};
  return o->entry;
}

void NullGraphicsDevice::ClearRecords() {
  draws_.clear();
  clears_.clear();
  depthClears_.clear();
  events_.clear();
  presents_ = 0;
  frameStartEvent_ = 0;
}

// ---- resources --------------------------------------------------------------

int32_t NullGraphicsDevice::CreateVertexBuffer(const void* data, uint32_t byteWidth,
                                               gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateVertexBuffer)) return gfx::kFail;
  if (byteWidth == 0 || !data) return gfx::kInvalidArg;
  Object o;
  o.kind = Kind::VertexBuffer;
  o.size = byteWidth;
  if (keepBufferContents_) {
    const auto* p = static_cast<const uint8_t*>(data);
    o.bytes.assign(p, p + byteWidth);
  }
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreateVertexBufferOfSize(uint32_t byteWidth, gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateVertexBufferOfSize)) return gfx::kFail;
  if (byteWidth == 0) return gfx::kInvalidArg;
  Object o;
  o.kind = Kind::VertexBuffer;
  o.size = byteWidth;
  if (keepBufferContents_) o.bytes.assign(byteWidth, 0xCD);  // unwritten bytes stand out
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t NullGraphicsDevice::UpdateVertexBuffer(gfx::Handle buffer, uint32_t offset,
                                               const void* data, uint32_t byteWidth) {
  if (ShouldFail(Op::UpdateVertexBuffer)) return gfx::kFail;
  Object* o = Find(buffer, Kind::VertexBuffer);
  // Compared without adding, so that no offset wraps past the check.
  if (!o || !data || byteWidth == 0 || offset > o->size || byteWidth > o->size - offset) {
    return gfx::kInvalidArg;
  }
  if (keepBufferContents_) std::memcpy(o->bytes.data() + offset, data, byteWidth);
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreateConstantBuffer(uint32_t byteWidth, gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateConstantBuffer)) return gfx::kFail;
  if (byteWidth == 0 || byteWidth % 16 != 0) return gfx::kInvalidArg;
  Object o;
  o.kind = Kind::ConstantBuffer;
  o.size = byteWidth;
  o.bytes.assign(byteWidth, 0);
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t NullGraphicsDevice::UpdateConstantBuffer(gfx::Handle buffer, const void* data,
                                                 uint32_t byteWidth) {
  if (ShouldFail(Op::UpdateConstantBuffer)) return gfx::kFail;
  Object* o = Find(buffer, Kind::ConstantBuffer);
  if (!o || !data || byteWidth != o->size) return gfx::kInvalidArg;
  std::memcpy(o->bytes.data(), data, byteWidth);
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreateTexture2D(const gfx::TextureDesc& desc, gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateTexture2D)) return gfx::kFail;
  if (desc.width == 0 || desc.height == 0 || desc.width > gfx::kMaxTextureSize ||
      desc.height > gfx::kMaxTextureSize)
    return gfx::kInvalidArg;
  Object o;
  o.kind = Kind::Texture;
  o.desc = desc;
  o.rowPitch = desc.width * 4 + (desc.usage == gfx::TextureUsage::Dynamic ? rowPitchPadding_ : 0);
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t NullGraphicsDevice::MapTexture(gfx::Handle texture, gfx::MappedTexture* out) {
  if (!out) return gfx::kInvalidArg;
  *out = {};
  if (ShouldFail(Op::MapTexture)) return gfx::kFail;
  Object* o = Find(texture, Kind::Texture);
  if (!o || o->desc.usage != gfx::TextureUsage::Dynamic || o->mapped) return gfx::kInvalidArg;
  // Write-discard: the previous contents are gone.
  const size_t bytes = static_cast<size_t>(o->rowPitch) * o->desc.height;
  std::vector<uint8_t>& memory = keepTextureContents_ ? o->bytes : scratch_;
  if (keepTextureContents_) {
    memory.assign(bytes, kUnwrittenTexel);
  } else if (memory.size() < bytes) {
    memory.resize(bytes);
  }
  o->mapped = true;
  out->data = memory.data();
  out->rowPitch = o->rowPitch;
  return gfx::kOk;
}

void NullGraphicsDevice::UnmapTexture(gfx::Handle texture) {
  if (Object* o = Find(texture, Kind::Texture)) o->mapped = false;
}

int32_t NullGraphicsDevice::UpdateTexture(gfx::Handle texture, const void* data,
                                          uint32_t rowPitch) {
  if (ShouldFail(Op::UpdateTexture)) return gfx::kFail;
  Object* o = Find(texture, Kind::Texture);
  if (!o || !data || o->desc.usage != gfx::TextureUsage::RenderTarget ||
      rowPitch < o->desc.width * 4 || rowPitch % 4 != 0)
    return gfx::kInvalidArg;
  o->bytes.resize(static_cast<size_t>(o->rowPitch) * o->desc.height);
  const auto* src = static_cast<const uint8_t*>(data);
  for (uint32_t y = 0; y < o->desc.height; ++y) {
    std::memcpy(o->bytes.data() + static_cast<size_t>(y) * o->rowPitch,
                src + static_cast<size_t>(y) * rowPitch, o->desc.width * 4u);
  }
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreateShaderResourceView(gfx::Handle texture, gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateShaderResourceView)) return gfx::kFail;
  Object* t = Find(texture, Kind::Texture);
  if (!t) return gfx::kInvalidArg;
  ++t->refs;
  Object o;
  o.kind = Kind::ShaderResourceView;
  o.target = texture;
  *out = Add(std::move(o));
  return gfx::kOk;
}

void NullGraphicsDevice::Release(gfx::Handle handle) {
  auto it = objects_.find(handle);
  if (it == objects_.end()) {
    ++badReleases_;
    return;
  }
  if (--it->second.refs > 0) return;
  const Kind kind = it->second.kind;
  const gfx::Handle target = it->second.target;
  objects_.erase(it);
  if (kind == Kind::ShaderResourceView) Release(target);
}

// ---- shader program ---------------------------------------------------------

int32_t NullGraphicsDevice::CompileShaderFromFile(const std::string& path, const char* entry,
                                                  const char* profile, gfx::Handle* blob) {
  if (!blob) return gfx::kInvalidArg;
  *blob = gfx::kNone;
  if (ShouldFail(Op::CompileShaderFromFile)) return gfx::kFail;
  if (!entry || !*entry || !profile) return gfx::kInvalidArg;
  const std::string prof = profile;
  const bool vertex = prof.rfind("vs_", 0) == 0;
  if (!vertex && prof.rfind("ps_", 0) != 0) return gfx::kInvalidArg;
  std::string text;
  if (gfx::Failed(ReadShaderSource(path, &text, nullptr))) return gfx::kFail;
  if (!ContainsIdentifier(text, entry)) return gfx::kFail;
  Object o;
  o.kind = Kind::ShaderBlob;
  o.entry = entry;
  o.vertexStage = vertex;
  *blob = Add(std::move(o));
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreateVertexShader(gfx::Handle blob, gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateVertexShader)) return gfx::kFail;
  Object* b = Find(blob, Kind::ShaderBlob);
  if (!b || !b->vertexStage) return gfx::kInvalidArg;
  Object o;
  o.kind = Kind::VertexShader;
  o.entry = b->entry;
  o.vertexStage = true;
  *out = Add(std::move(o));
  lastVertexShader_ = *out;
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreateInputLayout(const gfx::InputElement* elements, uint32_t count,
                                              gfx::Handle vertexShaderBlob, gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateInputLayout)) return gfx::kFail;
  Object* b = Find(vertexShaderBlob, Kind::ShaderBlob);
  if (!IsCompleteInputLayout(elements, count) || !b || !b->vertexStage) return gfx::kInvalidArg;
  Object o;
  o.kind = Kind::InputLayout;
  *out = Add(std::move(o));
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreatePixelShader(gfx::Handle blob, gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreatePixelShader)) return gfx::kFail;
  Object* b = Find(blob, Kind::ShaderBlob);
  if (!b || b->vertexStage) return gfx::kInvalidArg;
  if (!Find(lastVertexShader_, Kind::VertexShader)) return gfx::kFail;
  Object o;
  o.kind = Kind::PixelShader;
  o.entry = b->entry;
  *out = Add(std::move(o));
  return gfx::kOk;
}

// ---- states and targets -----------------------------------------------------

int32_t NullGraphicsDevice::CreateRasterizerState(gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateRasterizerState)) return gfx::kFail;
  *out = Add(OfKind(Kind::RasterizerState));
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreateSamplerState(gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateSamplerState)) return gfx::kFail;
  *out = Add(OfKind(Kind::SamplerState));
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreateBlendState(gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateBlendState)) return gfx::kFail;
  *out = Add(OfKind(Kind::BlendState));
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreateSwapChain(uint32_t width, uint32_t height) {
  if (ShouldFail(Op::CreateSwapChain)) return gfx::kFail;
  if (width == 0 || height == 0) return gfx::kInvalidArg;
  hasSwapChain_ = true;
  swapChainWidth_ = width;
  swapChainHeight_ = height;
  return gfx::kOk;
}

int32_t NullGraphicsDevice::ResizeBuffers(uint32_t width, uint32_t height) {
  if (ShouldFail(Op::ResizeBuffers)) return gfx::kFail;
  if (!hasSwapChain_) return gfx::kFail;
  if (width == 0 || height == 0 || LiveObjectCount(Kind::RenderTargetView) != 0)
    return gfx::kInvalidArg;
  swapChainWidth_ = width;
  swapChainHeight_ = height;
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreateRenderTargetView(gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateRenderTargetView)) return gfx::kFail;
  if (!hasSwapChain_) return gfx::kFail;
  *out = Add(OfKind(Kind::RenderTargetView));
  return gfx::kOk;
}

int32_t NullGraphicsDevice::CreateDepthStencilView(uint32_t width, uint32_t height,
                                                   gfx::Handle* out) {
  if (!out) return gfx::kInvalidArg;
  *out = gfx::kNone;
  if (ShouldFail(Op::CreateDepthStencilView)) return gfx::kFail;
  if (width == 0 || height == 0) return gfx::kInvalidArg;
  Object o;
  o.kind = Kind::DepthStencilView;
  o.desc.width = width;
  o.desc.height = height;
  *out = Add(std::move(o));
  return gfx::kOk;
}

// ---- bindings and drawing -----------------------------------------------------

void NullGraphicsDevice::SetRenderTargets(gfx::Handle rtv, gfx::Handle dsv) {
  state_.renderTarget = rtv;
  state_.depthStencil = dsv;
}
void NullGraphicsDevice::SetViewport(const gfx::Viewport& viewport) {
  state_.viewport = viewport;
}
void NullGraphicsDevice::SetRasterizerState(gfx::Handle s) {
  state_.rasterizerState = s;
}
void NullGraphicsDevice::SetBlendState(gfx::Handle s) {
  state_.blendState = s;
}

void NullGraphicsDevice::ClearRenderTarget(gfx::Handle rtv, const float rgba[4]) {
  ClearRecord c;
  c.renderTarget = rtv;
  if (rgba) std::copy(rgba, rgba + 4, c.rgba.begin());
  events_.push_back({EventKind::Clear, clears_.size()});
  clears_.push_back(c);
}

void NullGraphicsDevice::ClearDepth(gfx::Handle dsv, float depth) {
  events_.push_back({EventKind::ClearDepth, depthClears_.size()});
  depthClears_.push_back({dsv, depth});
}

void NullGraphicsDevice::SetVertexShader(gfx::Handle s) {
  state_.vertexShader = s;
}
void NullGraphicsDevice::SetPixelShader(gfx::Handle s) {
  state_.pixelShader = s;
}
void NullGraphicsDevice::SetInputLayout(gfx::Handle l) {
  state_.inputLayout = l;
}

void NullGraphicsDevice::SetVertexBuffer(gfx::Handle buffer, uint32_t stride, uint32_t offset) {
  state_.vertexBuffer = buffer;
  state_.stride = stride;
  state_.offset = offset;
}

void NullGraphicsDevice::SetConstantBuffer(gfx::Handle b) {
  state_.constantBuffer = b;
}
void NullGraphicsDevice::SetSampler(gfx::Handle s) {
  state_.sampler = s;
}
void NullGraphicsDevice::SetShaderResource(gfx::Handle v) {
  state_.shaderResource = v;
}
void NullGraphicsDevice::SetTriangleListTopology() {
  state_.triangleList = true;
}

void NullGraphicsDevice::Draw(uint32_t vertexCount, uint32_t startVertex) {
  DrawRecord d = state_;
  d.vertexCount = vertexCount;
  d.startVertex = startVertex;
  d.pixelShaderEntry = ShaderEntry(state_.pixelShader);
  d.constants.fill(0);
  if (const Object* cb = Find(state_.constantBuffer); cb && cb->kind == Kind::ConstantBuffer) {
    std::memcpy(d.constants.data(), cb->bytes.data(),
                std::min<size_t>(cb->bytes.size(), kConstantsSize));
  }
  events_.push_back({EventKind::Draw, draws_.size()});
  draws_.push_back(std::move(d));
  // A frame that never ends (no Present) must not grow without bound either.
  if (events_.size() - frameStartEvent_ > kMaxFrameEvents) {
    frameStartEvent_ = events_.size() - kMaxFrameEvents / 2;
    DropRecordsBefore(frameStartEvent_);
  }
}

void NullGraphicsDevice::DropRecordsBefore(size_t eventIndex) {
  size_t dropped[3] = {0, 0, 0};  // draws, clears, depth clears
  for (size_t i = 0; i < eventIndex; ++i) {
    const EventKind kind = events_[i].kind;
    if (kind != EventKind::Present) ++dropped[static_cast<size_t>(kind)];
  }
  draws_.erase(draws_.begin(), draws_.begin() + static_cast<std::ptrdiff_t>(dropped[0]));
  clears_.erase(clears_.begin(), clears_.begin() + static_cast<std::ptrdiff_t>(dropped[1]));
  depthClears_.erase(depthClears_.begin(),
                     depthClears_.begin() + static_cast<std::ptrdiff_t>(dropped[2]));
  events_.erase(events_.begin(), events_.begin() + static_cast<std::ptrdiff_t>(eventIndex));
  for (Event& e : events_) {
    if (e.kind != EventKind::Present) e.index -= dropped[static_cast<size_t>(e.kind)];
  }
  frameStartEvent_ -= eventIndex;
}

int32_t NullGraphicsDevice::Present() {
  if (ShouldFail(Op::Present)) return gfx::kFail;
  events_.push_back({EventKind::Present, presents_});
  ++presents_;
  // Records beyond the limit go, the frame just presented stays.
  if (draws_.size() > kRetainedDraws) DropRecordsBefore(frameStartEvent_);
  frameStartEvent_ = events_.size();
  return gfx::kOk;
}

}  // namespace tolvani
