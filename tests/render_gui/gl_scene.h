// A scene drawn through the OpenGL device into an offscreen framebuffer,
// for pixel tests and the llvmpipe frame benchmark. Needs a QGuiApplication
// created after InitGlEnvironment() (an X display: run under xvfb-run).
#pragma once

#include <QImage>

#include <memory>
#include <string>
#include <vector>

#include "model/model_records.h"
#include "model/motion.h"
#include "render/gl/opengl_device.h"
#include "render/qt/qt_text_rasterizer.h"

class QOpenGLFramebufferObject;

namespace tolvani::glscene {

// Sets the default surface format (3.3 core, depth buffer), context sharing,
// the xcb platform and a private XDG_RUNTIME_DIR. Call before the
// QGuiApplication exists.
void InitGlEnvironment();

// Emissive-only material: the shader shows its colour (times the texture)
// unlit, so pixel values are exact.
CMaterial FlatMaterial(const std::u16string& name, float r, float g, float b, float a = 1);

// Two clockwise triangles (as seen with x right, y up) covering the
// rectangle at depth z, u running left to right and v top to bottom.
std::vector<MeshVertex> Quad(float x0, float y0, float x1, float y1, float z);
// The same rectangle wound the other way (culled).
std::vector<MeshVertex> ReversedQuad(float x0, float y0, float x1, float y1, float z);

class GlScene {
 public:
  GlScene(int width, int height);
  ~GlScene();
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }

  CCoreMotion3D& scene() { return *scene_; }
  gl::OpenGLDevice& device() { return device_; }

  int AddMaterial(const CMaterial& material);
  // A model with one group per (vertices, material) and its timeline with
  // one shown entry per text (at least one).
  int AddObject(const std::u16string& timelineName,
                const std::vector<std::pair<std::vector<MeshVertex>, int>>& groups,
                const std::vector<std::u16string>& texts = {u""});

  // Draws one frame and returns it (top row first).
  QImage Frame();
  // Draws one frame and waits until the rasteriser has finished it.
  void DrawAndFinish();

 private:
  bool ok_ = false;
  std::string error_;
  gl::OpenGLDevice device_;
  QtTextRasterizer rasterizer_;
  std::unique_ptr<CCoreMotion3D> scene_;
  std::unique_ptr<QOpenGLFramebufferObject> fbo_;
  int width_, height_;
};

}  // namespace tolvani::glscene
