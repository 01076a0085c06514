// The OpenGL device's frame: bindings, clears and draws recorded with the
// constants each draw sees, and issued in batches (see opengl_device.h).
#include <algorithm>
#include <cstring>

#include "render/gl/gl_api.h"
#include "render/gl/opengl_device.h"
#include "render/gl/shader_program.h"
#include "render/gl/shader_variants.h"
#include "render/shader_interface.h"

namespace tolvani::gl {

static_assert(kMinUniformRangeBytes == 0 ||
              kMinUniformRangeBytes == static_cast<uint32_t>(kShaderConstantsBlockBytes));

// --- bindings and drawing ----------------------------------------------------

void OpenGLDevice::BeginFrame(unsigned fbo, int fbWidth, int fbHeight) {
  // Work left from an unfinished frame is dropped, and with it every copy
  // of constants it made.
  DropRecorded();
  frameSplit_ = false;
  frameStart_ = true;
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
  if (commands_.size() >= kMaxBatchCommands) Flush();
  Command& c = commands_.emplace_back();
  c.kind = CommandKind::ClearColor;
  std::copy(rgba, rgba + 4, c.clear);
}

void OpenGLDevice::ClearDepth(gfx::Handle depthStencilView, float depth) {
  if (!inFrame_ || Find(depthStencilView, Kind::DepthStencilView) == nullptr) return;
  if (commands_.size() >= kMaxBatchCommands) Flush();
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

  if (commands_.size() >= kMaxBatchCommands) Flush();
  Object* constants = Find(bound_.constantBuffer, Kind::ConstantBuffer);
  if (constants != nullptr) CopyConstants(*constants);  // may flush as well

  Command& c = commands_.emplace_back();
  c.kind = CommandKind::Draw;
  c.bindings = bound_;
  c.vertexCount = vertexCount;
  c.startVertex = startVertex;
  if (constants != nullptr) {
    c.hasConstants = true;
    c.constantsOffset = constants->batchOffset;
    c.constantsSize = constants->size;
    if (variantsEnabled_) {
      const unsigned mask = VariantFor(constants->staging.data(), constants->staging.size());
      if (mask != 0 && program->variants[mask] != 0) c.variant = mask;
    }
  }
  if (blendShortcuts_) c.shortcut = ShortcutFor(*program, constants);
  ++drawCount_;
}

OpenGLDevice::BlendShortcut OpenGLDevice::ShortcutFor(Object& program, const Object* constants) {
  if (!program.materialAlpha || constants == nullptr ||
      Find(bound_.blend, Kind::BlendState) == nullptr) {
    return BlendShortcut::None;
  }
  const uint8_t* bytes = constants->staging.data();
  const size_t size = constants->staging.size();
  // Zero times any texel's alpha is zero.
  if (MaterialAlphaIsZero(bytes, size)) return BlendShortcut::DepthOnly;
  if (!MaterialAlphaIsOne(bytes, size)) return BlendShortcut::None;
  if (!program.readsTextures) return BlendShortcut::Unblended;
  // A texture is only read where the program has a sampler; without one
  // bound, or with one not written whole, the alpha is unknown.
  const Object* view = Find(bound_.view, Kind::View);
  const Object* texture = view ? Find(view->target, Kind::Texture) : nullptr;
  return texture != nullptr && texture->opaque ? BlendShortcut::Unblended : BlendShortcut::None;
}

void OpenGLDevice::CopyConstants(Object& constants) {
  // Draws that see the same contents share one copy in the batch: those
  // since the buffer was last written, and those whose contents equal the
  // copy made last (a renderer rewriting the same constants before every
  // draw).
  if (constants.batch == batchNumber_) return;
  const uint32_t size = constants.size;
  if (lastCopySize_ == size &&
      std::memcmp(batch_.data() + lastCopyOffset_, constants.staging.data(), size) == 0) {
    constants.batch = batchNumber_;
    constants.batchOffset = lastCopyOffset_;
    return;
  }
  size_t offset = (batch_.size() + uniformAlignment_ - 1) / uniformAlignment_ * uniformAlignment_;
  if (!batch_.empty() && offset + std::max(size, kMinUniformRangeBytes) > kMaxBatchBytes) {
    // The batch is full: issue what it holds and start the next one, so
    // that a frame of any number of draws keeps a bounded copy.
    Flush();
    offset = 0;
  }
  // Zero padding up to the range a draw binds where that must cover the
  // whole block.
  batch_.resize(offset + std::max(size, kMinUniformRangeBytes));
  largestBatch_ = std::max(largestBatch_, batch_.size());
  std::memcpy(batch_.data() + offset, constants.staging.data(), size);
  constants.batch = batchNumber_;
  constants.batchOffset = static_cast<uint32_t>(offset);
  lastCopyOffset_ = static_cast<uint32_t>(offset);
  lastCopySize_ = size;
}

void OpenGLDevice::Flush(bool frameEnd) {
  if (!commands_.empty()) {
    // Part of a frame reaches the target before its end: the frame as a
    // whole is never recorded, so neither it nor the next can be skipped.
    frameSplit_ = true;
    lastFrameValid_ = false;
  }
  IssueRecorded(frameEnd);
  DropRecorded();
}

void OpenGLDevice::IssueRecorded(bool frameEnd) {
  if (commands_.empty() || !MakeCurrent()) return;
  if (!batch_.empty()) {
    // One upload for the whole batch, into fresh storage (earlier batches
    // may still read the old one) of a size that only grows up to the
    // batch bound, so the driver can recycle it.
    glBindBuffer(GL_UNIFORM_BUFFER, batchBuffer_);
    batchBufferSize_ = std::max(batch_.size(), batchBufferSize_);
    glBufferData(GL_UNIFORM_BUFFER, static_cast<GLsizeiptr>(batchBufferSize_), nullptr,
                 GL_STREAM_DRAW);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, static_cast<GLsizeiptr>(batch_.size()), batch_.data());
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
  }
  size_t first = 0;
  if (frameStart_) first = IssueOpening();
  frameStart_ = false;
  const bool leaveUnseen = frameEnd && keepPictures_;
  if (leaveUnseen) MarkUnseenDepth(first);
  for (size_t i = first; i < commands_.size(); ++i) {
    if (leaveUnseen && unseen_[i] != 0) {
      ++unseenDraws_;
      continue;
    }
    Issue(commands_[i]);
  }
  ++issueCount_;
}

void OpenGLDevice::DropRecorded() {
  commands_.clear();
  batch_.clear();
  ++batchNumber_;
  lastCopySize_ = 0;
}

namespace {

bool SameBits(float a, float b) {
  uint32_t x = 0, y = 0;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

bool SameViewport(const gfx::Viewport& a, const gfx::Viewport& b) {
  return a.topLeftX == b.topLeftX && a.topLeftY == b.topLeftY && a.width == b.width &&
         a.height == b.height && SameBits(a.minDepth, b.minDepth) &&
         SameBits(a.maxDepth, b.maxDepth);
}

}  // namespace

bool OpenGLDevice::SameCommand(const Command& a, const Command& b) {
  const Bindings& x = a.bindings;
  const Bindings& y = b.bindings;
  return a.kind == b.kind && SameBits(a.clear[0], b.clear[0]) && SameBits(a.clear[1], b.clear[1]) &&
         SameBits(a.clear[2], b.clear[2]) && SameBits(a.clear[3], b.clear[3]) &&
         a.hasConstants == b.hasConstants && a.constantsOffset == b.constantsOffset &&
         a.constantsSize == b.constantsSize && a.vertexCount == b.vertexCount &&
         a.startVertex == b.startVertex && a.variant == b.variant && a.shortcut == b.shortcut &&
         x.renderTargetView == y.renderTargetView && x.depthStencilView == y.depthStencilView &&
         SameViewport(x.viewport, y.viewport) && x.rasterizer == y.rasterizer &&
         x.blend == y.blend && x.vertexShader == y.vertexShader && x.pixelShader == y.pixelShader &&
         x.layout == y.layout && x.vertexBuffer == y.vertexBuffer && x.stride == y.stride &&
         x.offset == y.offset && x.constantBuffer == y.constantBuffer && x.sampler == y.sampler &&
         x.view == y.view;
}

bool OpenGLDevice::SameAsLastFrame() const {
  if (!lastFrameValid_ || lastFbo_ != frameFbo_ || lastWidth_ != frameWidth_ ||
      lastHeight_ != frameHeight_ || commands_.size() != lastCommands_.size() ||
      batch_ != lastBatch_) {
    return false;
  }
  for (size_t i = 0; i < commands_.size(); ++i) {
    if (!SameCommand(commands_[i], lastCommands_[i])) return false;
  }
  return true;
}

void OpenGLDevice::SetSkipUnchangedFrames(bool on) {
  skipUnchanged_ = on;
  lastFrameValid_ = false;
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
    ClearDepthValue(c.clear[0]);
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
  SetDepthRange(vp.minDepth, vp.maxDepth);
  if (clipControl_) ClipZeroToOne();

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
  const bool colour = c.shortcut != BlendShortcut::DepthOnly;
  if (c.shortcut == BlendShortcut::Unblended) {
    glDisable(GL_BLEND);
    ++unblendedDrawCount_;
  } else if (!colour) {
    ++depthOnlyDrawCount_;
  } else if (Find(b.blend, Kind::BlendState)) {
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_BLEND);
  }
  glColorMask(colour, colour, colour, colour);

  if (c.variant != 0) {
    glUseProgram(program->variants[c.variant]);
    ++variantDrawCount_;
  } else {
    glUseProgram(program->name);
  }
  if (c.hasConstants) {
    // CopyConstants padded the copy to the bound range.
    glBindBufferRange(GL_UNIFORM_BUFFER, 0, batchBuffer_, static_cast<GLintptr>(c.constantsOffset),
                      static_cast<GLsizeiptr>(std::max(c.constantsSize, kMinUniformRangeBytes)));
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
    const GLuint location = static_cast<GLuint>(InputSemanticIndex(e.semantic));
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
  if (!skipUnchanged_ || frameSplit_ || commands_.empty()) {
    Flush(true);
  } else if (SameAsLastFrame()) {
    DropRecorded();
    ++skippedFrames_;
  } else {
    const uint64_t issued = issueCount_;
    IssueRecorded(true);
    // Keep the issued frame for the next comparison; the storage of the
    // one it replaces is reused for the next frame's recording.
    lastFrameValid_ = issueCount_ != issued;
    lastCommands_.swap(commands_);
    lastBatch_.swap(batch_);
    lastFbo_ = frameFbo_;
    lastWidth_ = frameWidth_;
    lastHeight_ = frameHeight_;
    DropRecorded();
  }
  frameSplit_ = false;
  ++presentCount_;
  // The widget composes its framebuffer after painting; nothing to swap here.
  return gfx::kOk;
}

}  // namespace tolvani::gl
