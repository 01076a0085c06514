// The OpenGL device's kept pictures and unseen depth (see opengl_device.h).
//
// The renderer draws a camera-free background pass into a freshly cleared
// target and clears the depth after it, then the scene in timeline order,
// so on a software rasteriser the same full-view backdrop (a third of the
// demo's drawing) and, under a still camera, the same ground (another
// third) were shaded again every frame. A copy of the target costs a
// fraction of that.
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
      bytes = std::max<size_t>(
          bytes, size_t{c.constantsOffset} + std::max(c.constantsSize, kMinUniformRangeBytes));
    }
  }
  return std::min(bytes, batch_.size());
}

size_t OpenGLDevice::SharedWith(const Opening& opening, size_t limit) {
  if (!opening.valid || opening.fbo != frameFbo_ || opening.width != frameWidth_ ||
      opening.height != frameHeight_) {
    return 0;
  }
  limit = std::min({limit, opening.commands.size(), commands_.size()});
  for (size_t i = 0; i < limit; ++i) {
    const Command& c = commands_[i];
    if (!SameCommand(opening.commands[i], c)) return i;
    if (c.kind != CommandKind::Draw || !c.hasConstants) continue;
    const size_t to = size_t{c.constantsOffset} + c.constantsSize;
    if (to > opening.constants.size() || to > batch_.size()) return i;
    // The background pass lights with the last frame's view direction,
    // which an unlit draw never reads.
    const Object* program = Find(c.bindings.pixelShader, Kind::PixelShader);
    const bool viewUnread =
        program != nullptr && program->viewOnlyLights && c.variant == kUnlitMask;
    if (!SameConstants(opening.constants.data() + c.constantsOffset,
                       batch_.data() + c.constantsOffset, c.constantsSize, viewUnread)) {
      return i;
    }
  }
  return limit;
}

void OpenGLDevice::Remember(Opening& opening, size_t count) const {
  opening.valid = true;
  opening.commands.assign(commands_.begin(), commands_.begin() + static_cast<ptrdiff_t>(count));
  const size_t bytes = ConstantsOf(count);
  opening.constants.assign(batch_.begin(), batch_.begin() + static_cast<ptrdiff_t>(bytes));
  opening.fbo = frameFbo_;
  opening.width = frameWidth_;
  opening.height = frameHeight_;
}

bool OpenGLDevice::KnowTarget() {
  if (copyTarget_.known && copyTarget_.fbo == frameFbo_ && copyTarget_.width == frameWidth_ &&
      copyTarget_.height == frameHeight_) {
    return !copyTarget_.multisampled;
  }
  copyTarget_ = CopyTarget{};
  copyTarget_.fbo = frameFbo_;
  copyTarget_.width = frameWidth_;
  copyTarget_.height = frameHeight_;
  copyTarget_.known = true;
  glBindFramebuffer(GL_FRAMEBUFFER, frameFbo_);
  GLint sampleBuffers = 0;
  glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
  copyTarget_.multisampled = sampleBuffers != 0;
  if (!kGles && !copyTarget_.multisampled) {
    // A depth copy needs a buffer of exactly the target's depth format.
    const GLenum depthName = frameFbo_ == 0 ? GL_DEPTH : GL_DEPTH_ATTACHMENT;
    const GLenum stencilName = frameFbo_ == 0 ? GL_STENCIL : GL_STENCIL_ATTACHMENT;
    GLint type = GL_NONE, bits = 0, stencil = 0, component = GL_NONE;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, depthName,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    if (type != GL_NONE) {
      glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, depthName,
                                            GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &bits);
      glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, depthName,
                                            GL_FRAMEBUFFER_ATTACHMENT_COMPONENT_TYPE, &component);
      glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, stencilName,
                                            GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE, &stencil);
    }
    if (glGetError() == GL_NO_ERROR) {
      if (component == GL_FLOAT && bits == 32) {
        copyTarget_.depthFormat = stencil == 8 ? GL_DEPTH32F_STENCIL8 : GL_DEPTH_COMPONENT32F;
      } else if (bits == 24) {
        copyTarget_.depthFormat = stencil == 8 ? GL_DEPTH24_STENCIL8 : GL_DEPTH_COMPONENT24;
      } else if (bits == 16 && stencil == 0) {
        copyTarget_.depthFormat = GL_DEPTH_COMPONENT16;
      }
    }
  }
  return !copyTarget_.multisampled;
}

size_t OpenGLDevice::IssueOpening() {
  if (!keepPictures_ || picturesBroken_) return 0;
  const size_t end = BackgroundEnd();
  if (end == 0 || !KnowTarget()) return 0;
  // The clears before the first draw are issued either way: a browser
  // clears a composited canvas at its next clear or draw, which must not
  // come after a copy.
  size_t at = 0;
  while (commands_[at].kind != CommandKind::Draw) Issue(commands_[at++]);

  // The longest kept picture this frame opens with.
  const size_t count = commands_.size();
  const Picture* restored = nullptr;
  for (Picture* picture : {&scene_, &background_}) {
    const size_t length = picture->opening.commands.size();
    if (length < end || length > count || SharedWith(picture->opening, length) != length) {
      continue;
    }
    if (CopyPicture(*picture, false, picture == &scene_)) {
      ++(picture == &scene_ ? sceneReuses_ : backgroundReuses_);
      restored = picture;
      at = length;
      break;
    }
  }

  // What this frame shares with the last one is kept, to be copied from
  // the next frame on: only then, so that a single frame (a thumbnail) or
  // a changing picture never pays for a copy.
  constexpr size_t kMaxRemembered = 1024;
  const size_t shared = SharedWith(seen_, count);
  Remember(seen_, std::min(count, kMaxRemembered));
  auto keep = [&](Picture& picture, size_t length, bool depth) {
    for (; at < length; ++at) Issue(commands_[at]);
    if (CopyPicture(picture, true, depth)) {
      ++pictureKeeps_;
      Remember(picture.opening, length);
    }
  };
  if (restored == &scene_) return at;
  if (uint64_t(frameWidth_) * uint64_t(frameHeight_) > kMaxKeptPixels) return at;
  if (restored == nullptr && shared > end) keep(background_, end, false);
  // The scene's picture: after its leading draws, up to the first that
  // differs from the last frame's.
  if (!kGles && copyTarget_.depthFormat != 0 && shared > end + 1) keep(scene_, shared, true);
  return at;
}

bool OpenGLDevice::CopyPicture(Picture& picture, bool keep, bool depth) {
  const int width = frameWidth_, height = frameHeight_;
  if (width <= 0 || height <= 0) return false;
  // Checked for errors until a copy each way has worked on this target,
  // or always where checks cost little. Errors left by others are not this
  // copy's (a lost context repeats one only a few times).
  bool& checked = keep ? copyTarget_.keepChecked : copyTarget_.restoreChecked;
  const bool verify = !kErrorChecksWait || !checked;
  for (int i = 0; verify && i < 8 && glGetError() != GL_NO_ERROR; ++i) {
  }
  if (keep && (picture.colour == 0 || picture.width != width || picture.height != height ||
               (depth && picture.depth == 0))) {
    ReleasePicture(picture);
    glGenTextures(1, &picture.colour);
    glBindTexture(GL_TEXTURE_2D, picture.colour);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (depth) {
      glGenRenderbuffers(1, &picture.depth);
      glBindRenderbuffer(GL_RENDERBUFFER, picture.depth);
      glRenderbufferStorage(GL_RENDERBUFFER, copyTarget_.depthFormat, width, height);
      glBindRenderbuffer(GL_RENDERBUFFER, 0);
    }
    picture.width = width;
    picture.height = height;
  }
  if (picture.colour == 0 || picture.width != width || picture.height != height ||
      (depth && picture.depth == 0)) {
    return false;
  }
  // Framebuffer objects are not shared between contexts: one for this copy.
  GLuint copyFbo = 0;
  glGenFramebuffers(1, &copyFbo);
  glBindFramebuffer(GL_FRAMEBUFFER, copyFbo);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, picture.colour, 0);
  const GLenum depthAttachment = copyTarget_.depthFormat == GL_DEPTH24_STENCIL8 ||
                                         copyTarget_.depthFormat == GL_DEPTH32F_STENCIL8
                                     ? GL_DEPTH_STENCIL_ATTACHMENT
                                     : GL_DEPTH_ATTACHMENT;
  if (depth) {
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, depthAttachment, GL_RENDERBUFFER, picture.depth);
  }
  bool ok = !verify || glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (ok) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, keep ? frameFbo_ : copyFbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, keep ? copyFbo : frameFbo_);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    // Stencil too where the format has it: a whole-format copy is a plain
    // copy of memory on a software rasteriser, a part of one is drawn.
    GLbitfield mask = GL_COLOR_BUFFER_BIT;
    if (depth) mask |= GL_DEPTH_BUFFER_BIT;
    if (depth && depthAttachment == GL_DEPTH_STENCIL_ATTACHMENT) mask |= GL_STENCIL_BUFFER_BIT;
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, mask, GL_NEAREST);
  }
  glBindFramebuffer(GL_FRAMEBUFFER, frameFbo_);
  glDeleteFramebuffers(1, &copyFbo);
  ok = ok && (!verify || glGetError() == GL_NO_ERROR);
  if (ok) {
    checked = true;
  } else if (depth) {
    // A depth buffer the copy cannot match: no scene pictures here.
    copyTarget_.depthFormat = 0;
    ReleasePicture(scene_);
  } else {
    // A target the copy cannot reach (its format, the context): drawn as
    // recorded from now on.
    picturesBroken_ = true;
    ForgetPictures();
    ReleasePicture(background_);
    ReleasePicture(scene_);
  }
  return ok;
}

void OpenGLDevice::ReleasePicture(Picture& picture) {
  if (picture.colour != 0) glDeleteTextures(1, &picture.colour);
  if (picture.depth != 0) glDeleteRenderbuffers(1, &picture.depth);
  picture.colour = picture.depth = 0;
  picture.width = picture.height = 0;
  picture.opening.valid = false;
}

void OpenGLDevice::ForgetPictures() {
  background_.opening.valid = scene_.opening.valid = seen_.valid = false;
}

void OpenGLDevice::SetKeepPictures(bool on) {
  keepPictures_ = on;
  picturesBroken_ = false;
  ForgetPictures();
  if (!on && MakeCurrent()) {
    ReleasePicture(background_);
    ReleasePicture(scene_);
  }
}

void OpenGLDevice::ForgetPicturesUsing(gfx::Handle written) {
  for (Opening* opening : {&background_.opening, &scene_.opening, &seen_}) {
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
