#include "gl_scene.h"
#include "app/qt_gl_context.h"
#include "base/program_directory.h"

#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/gl_format.h"
#include "model/scene_state.h"
#include "model/timeline.h"
#include "prepare/material_texture.h"
#include "render/renderer.h"
#include "support/test_helpers.h"

#ifndef TOLVANI_SHADER_PATH
#error "TOLVANI_SHADER_PATH must name shaders/CoreShader.glsl"
#endif

namespace tolvani::glscene {

void InitGlEnvironment() {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
  if (!std::getenv("XDG_RUNTIME_DIR")) {
    char pattern[] = "/tmp/tolvani-xdg-XXXXXX";
    if (char* dir = mkdtemp(pattern)) setenv("XDG_RUNTIME_DIR", dir, 1);
  }
  SetDefaultOpenGlFormat();
}

CMaterial FlatMaterial(const std::u16string& name, float r, float g, float b, float a) {
  CMaterial m;
  m.name = name;
  m.color[0] = r;
  m.color[1] = g;
  m.color[2] = b;
  m.color[3] = a;
  m.emissive = 1.0f;
  return m;
}

namespace {
MeshVertex V(float x, float y, float z, float u, float v) {
  return MeshVertex{{x, y, z}, {0, 0, 1}, {u, v}, -1, -1, 1};
}
}  // namespace

std::vector<MeshVertex> Quad(float x0, float y0, float x1, float y1, float z) {
  return {V(x0, y0, z, 0, 1), V(x0, y1, z, 0, 0), V(x1, y0, z, 1, 1),
          V(x1, y0, z, 1, 1), V(x0, y1, z, 0, 0), V(x1, y1, z, 1, 0)};
}

std::vector<MeshVertex> ReversedQuad(float x0, float y0, float x1, float y1, float z) {
  std::vector<MeshVertex> q = Quad(x0, y0, x1, y1, z);
  std::swap(q[1], q[2]);
  std::swap(q[4], q[5]);
  return q;
}

GlScene::GlScene(int width, int height) : width_(width), height_(height) {
  if (!device_.Initialize(QtGlContext::Create(&error_), &error_)) return;
  const std::string dir = testing::MakeTempDir();
  std::filesystem::create_directories(dir + "DoNotTouch");
  std::filesystem::copy_file(TOLVANI_SHADER_PATH, dir + "DoNotTouch/CoreShader.glsl",
                             std::filesystem::copy_options::overwrite_existing);
  SetProgramDirectory(testing::U16(dir));
  SceneState.timeLines.clear();
  scene_ = std::make_unique<CCoreMotion3D>();
  scene_->currentStep = 0;
  if (gfx::Failed(CreateRenderer(*scene_, &device_, &rasterizer_))) {
    error_ = "CreateRenderer failed";
    return;
  }
  ResizeRenderer(*scene_, width, height);
  // The device's own context is current after creation; the framebuffer
  // belongs to it.
  QOpenGLFramebufferObjectFormat format;
  format.setAttachment(QOpenGLFramebufferObject::Depth);
  fbo_ = std::make_unique<QOpenGLFramebufferObject>(width, height, format);
  if (!fbo_->isValid()) {
    error_ = "framebuffer incomplete";
    return;
  }
  ok_ = true;
}

GlScene::~GlScene() {
  if (scene_) DestroyRenderer(*scene_);
  scene_.reset();
  fbo_.reset();
  SceneState.timeLines.clear();
  SetProgramDirectory(u"");
  device_.Shutdown();
}

int GlScene::AddMaterial(const CMaterial& material) {
  scene_->materials.push_back(material);
  CMaterial& m = scene_->materials.back();
  if (!m.textureName.empty()) BuildMaterialTexture(m, &device_);
  return static_cast<int>(scene_->materials.size()) - 1;
}

int GlScene::AddObject(const std::u16string& timelineName,
                       const std::vector<std::pair<std::vector<MeshVertex>, int>>& groups,
                       const std::vector<std::u16string>& texts) {
  CModel model;
  for (const auto& [vertices, material] : groups) {
    MeshGroup group;
    group.vertices.assign(vertices.begin(), vertices.end());
    group.material = material;
    device_.CreateVertexBuffer(group.vertices.data(),
                               static_cast<uint32_t>(group.vertices.size() * sizeof(MeshVertex)),
                               &group.vertexBuffer);
    model.groups.push_back(std::move(group));
  }
  scene_->models.push_back(std::move(model));
  CTimeLine line;
  line.name = timelineName;
  for (const std::u16string& text : texts) {
    CTimeLineData e;
    e.state = EntryState::kShown;
    e.text = text;
    line.entries.push_back(e);
  }
  SceneState.timeLines.push_back(std::move(line));
  return static_cast<int>(scene_->models.size()) - 1;
}

QImage GlScene::Frame() {
  device_.BeginFrame(fbo_->handle(), width_, height_);
  DrawFrame(*scene_);
  device_.EndFrame();
  return fbo_->toImage();
}

void GlScene::DrawAndFinish() {
  device_.BeginFrame(fbo_->handle(), width_, height_);
  DrawFrame(*scene_);
  device_.EndFrame();
  if (QOpenGLContext* context = QOpenGLContext::currentContext()) context->functions()->glFinish();
}

}  // namespace tolvani::glscene
