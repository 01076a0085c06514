// The OpenGL device's kept background and unseen depth (see opengl_device.h).
//
// The renderer draws a camera-free background pass into a freshly cleared
// target and clears the depth after it, so on a software rasteriser the
// same full-view picture was shaded again every frame: a third of the
// demo's drawing. Its colour is a function of the recorded commands, the
// constants they read and the buffers and textures they use, so a frame
// whose opening equals the kept one bit for bit (and nothing was written
// since) gets the kept colour back with one copy.
#include <algorithm>
#include <cstring>

#include "render/gl/gl_api.h"
#include "render/gl/opengl_device.h"
#include "render/gl/shader_variants.h"

namespace tolvani::gl {

size_t OpenGLDevice::BackgroundEnd() const {
  // Colour and depth cleared before the first draw, so nothing from an
  // earlier frame shows through; the depth cleared again after a draw.
  bool colourCleared = false, depthCleared = false, drawn = false;
  for (size_t i = 0; i < commands_.size(); ++i) {
    switch (commands_[i].kind) {
      case CommandKind::ClearColor:
        if (!drawn) colourCleared = true;
        break;
      case CommandKind::ClearDepth:
        if (drawn) return colourCleared && depthCleared ? i : 0;
        depthCleared = true;
        break;
      case CommandKind::Draw:
        if (!colourCleared || !depthCleared) return 0;
        drawn = true;
        break;
    }
  }
  return 0;
}

size_t OpenGLDevice::ConstantsOf(size_t end) const {
  // Copies are made in recording order, so the opening's constants are the
  // front of the batch.
  size_t bytes = 0;
  for (size_t i = 0; i < end; ++i) {
    const Command& c = commands_[i];
    if (c.kind == CommandKind::Draw && c.hasConstants) {
      bytes = std::max<size_t>(bytes, size_t{c.constantsOffset} +
                                          std::max(c.constantsSize, kMinUniformRangeBytes));
    }
  }
  return std::min(bytes, batch_.size());
}

bool OpenGLDevice::Opens(const Opening& opening, size_t end, size_t bytes) {
  if (!opening.valid || opening.fbo != frameFbo_ || opening.width != frameWidth_ ||
      opening.height != frameHeight_ || opening.commands.size() != end ||
      opening.constants.size() != bytes) {
    return false;
  }
  for (size_t i = 0; i < end; ++i) {
    const Command& c = commands_[i];
    if (!SameCommand(opening.commands[i], c)) return false;
    if (c.kind != CommandKind::Draw || !c.hasConstants) continue;
    // The background pass lights with the last frame's view direction,
    // which an unlit draw never reads.
    const Object* program = Find(c.bindings.pixelShader, Kind::PixelShader);
    const bool viewUnread =
        program != nullptr && program->viewOnlyLights && c.variant == kUnlitMask;
    if (!SameConstants(opening.constants.data() + c.constantsOffset,
                       batch_.data() + c.constantsOffset, c.constantsSize, viewUnread)) {
      return false;
    }
  }
  return true;
}

void OpenGLDevice::Remember(Opening& opening, size_t end, size_t bytes) const {
  opening.valid = true;
  opening.commands.assign(commands_.begin(), commands_.begin() + static_cast<ptrdiff_t>(end));
  opening.constants.assign(batch_.begin(), batch_.begin() + static_cast<ptrdiff_t>(bytes));
  opening.fbo = frameFbo_;
  opening.width = frameWidth_;
  opening.height = frameHeight_;
}

size_t OpenGLDevice::IssueBackground() {
  if (!keepBackground_ || backgroundBroken_) return 0;
  const size_t end = BackgroundEnd();
  if (end == 0) return 0;
  if (copyTarget_.fbo != frameFbo_ || copyTarget_.width != frameWidth_ ||
      copyTarget_.height != frameHeight_ || !copyTarget_.known) {
    copyTarget_ = CopyTarget{};
    copyTarget_.fbo = frameFbo_;
    copyTarget_.width = frameWidth_;
    copyTarget_.height = frameHeight_;
    copyTarget_.known = true;
    glBindFramebuffer(GL_FRAMEBUFFER, frameFbo_);
    GLint sampleBuffers = 0;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
    copyTarget_.multisampled = sampleBuffers != 0;
  }
  // A single-sample copy would lose the samples.
  if (copyTarget_.multisampled) return 0;

  const size_t bytes = ConstantsOf(end);
  // The clears before the first draw are issued either way: a browser
  // clears a composited canvas at its next clear or draw, which must not
  // come after the copy.
  size_t clears = 0;
  while (commands_[clears].kind != CommandKind::Draw) Issue(commands_[clears++]);
  if (Opens(kept_, end, bytes) && CopyBackground(false)) {
    ++backgroundReuses_;
    seenIsKept_ = true;
    return end;
  }
  for (size_t i = clears; i < end; ++i) Issue(commands_[i]);
  // Kept only once the same opening comes twice in a row: a single frame
  // (a thumbnail) or an animated background never pays for the copy.
  const bool steady = seenIsKept_ ? Opens(kept_, end, bytes) : Opens(seen_, end, bytes);
  seenIsKept_ = false;
  if (steady && CopyBackground(true)) {
    ++backgroundKeeps_;
    Remember(kept_, end, bytes);
    seenIsKept_ = true;
  } else {
    Remember(seen_, end, bytes);
  }
  return end;
}

bool OpenGLDevice::CopyBackground(bool keep) {
  const int width = frameWidth_, height = frameHeight_;
  if (width <= 0 || height <= 0) return false;
  // Checked for errors until a copy each way has worked on this target,
  // or always where checks cost little. Errors left by others are not this
  // copy's (a lost context repeats one only a few times).
  bool& checked = keep ? copyTarget_.keepChecked : copyTarget_.restoreChecked;
  const bool verify = !kErrorChecksWait || !checked;
  for (int i = 0; verify && i < 8 && glGetError() != GL_NO_ERROR; ++i) {
  }
  if (keep && (keptTexture_ == 0 || keptWidth_ != width || keptHeight_ != height)) {
    ReleaseKeptTexture();
    glGenTextures(1, &keptTexture_);
    glBindTexture(GL_TEXTURE_2D, keptTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    keptWidth_ = width;
    keptHeight_ = height;
  }
  if (keptTexture_ == 0 || keptWidth_ != width || keptHeight_ != height) return false;
  // Framebuffer objects are not shared between contexts: one for this copy.
  GLuint copyFbo = 0;
  glGenFramebuffers(1, &copyFbo);
  glBindFramebuffer(GL_FRAMEBUFFER, copyFbo);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, keptTexture_, 0);
  bool ok = !verify || glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (ok) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, keep ? frameFbo_ : copyFbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, keep ? copyFbo : frameFbo_);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  }
  glBindFramebuffer(GL_FRAMEBUFFER, frameFbo_);
  glDeleteFramebuffers(1, &copyFbo);
  ok = ok && (!verify || glGetError() == GL_NO_ERROR);
  if (ok) checked = true;
  if (!ok) {
    // A target the copy cannot reach (its format, the context): drawn as
    // recorded from now on.
    backgroundBroken_ = true;
    ForgetBackground();
    ReleaseKeptTexture();
  }
  return ok;
}

void OpenGLDevice::ReleaseKeptTexture() {
  if (keptTexture_ != 0) glDeleteTextures(1, &keptTexture_);
  keptTexture_ = 0;
  keptWidth_ = keptHeight_ = 0;
  kept_.valid = false;
}

void OpenGLDevice::SetKeepBackground(bool on) {
  keepBackground_ = on;
  backgroundBroken_ = false;
  ForgetBackground();
  if (!on && MakeCurrent()) ReleaseKeptTexture();
}

void OpenGLDevice::ForgetBackgroundUsing(gfx::Handle written) {
  for (Opening* opening : {&kept_, &seen_}) {
    for (const Command& c : opening->commands) {
      if (c.kind != CommandKind::Draw) continue;
      const Bindings& b = c.bindings;
      const Object* view = Find(b.view, Kind::View);
      if (b.vertexBuffer == written || b.view == written ||
          (view != nullptr && view->target == written)) {
        opening->valid = false;
        break;
      }
    }
  }
}

void OpenGLDevice::MarkUnseenDepth(size_t first) {
  unseen_.assign(commands_.size(), 0);
  bool depthReadLater = false;
  for (size_t i = commands_.size(); i-- > first;) {
    const Command& c = commands_[i];
    if (c.kind == CommandKind::ClearDepth) {
      depthReadLater = false;
    } else if (c.kind == CommandKind::Draw) {
      const bool tested = Find(c.bindings.depthStencilView, Kind::DepthStencilView) != nullptr;
      if (c.shortcut == BlendShortcut::DepthOnly && (!tested || !depthReadLater)) {
        unseen_[i] = 1;
      } else if (tested) {
        depthReadLater = true;
      }
    }
  }
}

}  // namespace tolvani::gl
