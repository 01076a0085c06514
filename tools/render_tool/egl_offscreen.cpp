#include "render_tool/egl_offscreen.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstring>

namespace tolvani::render_tool {

std::unique_ptr<EglSurfacelessContext> EglSurfacelessContext::Create(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return nullptr;
  };
  if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless")) {
    return fail("EGL has no surfaceless platform (EGL_MESA_platform_surfaceless)");
  }
  EGLDisplay display =
      eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (display == EGL_NO_DISPLAY) return fail("no EGL surfaceless display");
  EGLint major = 0, minor = 0;
  if (!eglInitialize(display, &major, &minor)) return fail("EGL does not initialise");
  std::unique_ptr<EglSurfacelessContext> result(new EglSurfacelessContext);
  result->display_ = display;
  if (!eglBindAPI(EGL_OPENGL_API)) return fail("EGL has no desktop OpenGL");
  const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                               3,
                               EGL_CONTEXT_MINOR_VERSION,
                               3,
                               EGL_CONTEXT_OPENGL_PROFILE_MASK,
                               EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                               EGL_NONE};
  EGLConfig config = EGL_NO_CONFIG_KHR;
  if (!epoxy_has_egl_extension(display, "EGL_KHR_no_config_context")) {
    const EGLint wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, &config, 1, &count) || count < 1) {
      return fail("no EGL configuration for OpenGL");
    }
  }
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
  if (context == EGL_NO_CONTEXT) return fail("cannot create an OpenGL 3.3 core context");
  result->context_ = context;
  if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
    return fail("cannot make the OpenGL context current without a surface");
  }
  return result;
}

EglSurfacelessContext::~EglSurfacelessContext() {
  if (display_ == nullptr) return;
  eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (context_) eglDestroyContext(display_, context_);
  eglTerminate(display_);
  eglReleaseThread();
}

bool EglSurfacelessContext::MakeCurrent() {
  if (context_ == nullptr) return false;
  if (eglGetCurrentContext() == context_) return true;
  return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
}

const void* EglSurfacelessContext::CurrentKey() const {
  return eglGetCurrentContext();
}

OffscreenFramebuffer::~OffscreenFramebuffer() {
  Release();
}

void OffscreenFramebuffer::Release() {
  if (fbo_) glDeleteFramebuffers(1, &fbo_);
  if (color_) glDeleteRenderbuffers(1, &color_);
  if (depth_) glDeleteRenderbuffers(1, &depth_);
  fbo_ = color_ = depth_ = 0;
}

bool OffscreenFramebuffer::Create(int width, int height, std::string* error) {
  GLint limit = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &limit);
  if (width < 1 || height < 1 || width > limit || height > limit) {
    if (error) *error = "frame size out of range (1 to " + std::to_string(limit) + ")";
    return false;
  }
  width_ = width;
  height_ = height;
  glGenRenderbuffers(1, &color_);
  glBindRenderbuffer(GL_RENDERBUFFER, color_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glGenRenderbuffers(1, &depth_);
  glBindRenderbuffer(GL_RENDERBUFFER, depth_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glGenFramebuffers(1, &fbo_);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth_);
  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  if (status != GL_FRAMEBUFFER_COMPLETE) {
    if (error) *error = "framebuffer incomplete";
    return false;
  }
  // A fresh window starts black and opaque.
  glClearColor(0, 0, 0, 1);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  if (glGetError() != GL_NO_ERROR) {
    if (error) *error = "cannot allocate the frame";
    return false;
  }
  return true;
}

void OffscreenFramebuffer::Finish() {
  glFinish();
}

void OffscreenFramebuffer::ReadRgba(std::vector<uint8_t>& out, bool bottomUp) {
  const size_t row = static_cast<size_t>(width_) * 4;
  std::vector<uint8_t>& target = bottomUp ? out : bottomUp_;
  target.resize(row * static_cast<size_t>(height_));
  glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, target.data());
  if (bottomUp) return;
  // OpenGL's row 0 is the bottom one.
  out.resize(target.size());
  for (int y = 0; y < height_; ++y) {
    std::memcpy(out.data() + row * static_cast<size_t>(y),
                bottomUp_.data() + row * static_cast<size_t>(height_ - 1 - y), row);
  }
}

}  // namespace tolvani::render_tool
