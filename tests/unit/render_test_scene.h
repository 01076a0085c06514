// A scene built in code on the null device, with the renderer created, for
// the frame-drawing and balloon tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/program_directory.h"
#include "model/model_records.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "model/timeline.h"
#include "render/balloon_text.h"
#include "render/null_device.h"
#include "render/renderer.h"
#include "render/shader_constants.h"
#include "render/text_rasterizer.h"
#include "support/test_helpers.h"

namespace tolvani::rendertest {

// Which model and group a draw belongs to.
struct DrawSource {
  int model = -1;
  int group = -1;
};

class SceneFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDirectory(testing::U16(testing::MakeProgramDirectory()));
    SceneState.timeLines.clear();
    scene = std::make_unique<CCoreMotion3D>();
    scene->width = 640;
    scene->height = 480;
    scene->currentStep = 0;
    ASSERT_FALSE(gfx::Failed(CreateRenderer(*scene, &device, Rasterizer())));
    device.ClearRecords();
  }

  void TearDown() override {
    ReleaseBalloonCards(*scene);
    DestroyRenderer(*scene);
    scene.reset();
    SceneState.timeLines.clear();
    SetProgramDirectory(u"");
  }

  virtual ITextRasterizer* Rasterizer() { return nullptr; }

  int AddMaterial(const std::u16string& name, float r = 1, float g = 1, float b = 1, float a = 1) {
    CMaterial m;
    m.name = name;
    m.color[0] = r;
    m.color[1] = g;
    m.color[2] = b;
    m.color[3] = a;
    scene->materials.push_back(m);
    return static_cast<int>(scene->materials.size()) - 1;
  }

  // A model with one three-vertex group per material index, and its timeline
  // with `states.size()` entries of those states.
  int AddObject(const std::u16string& timelineName, const std::vector<int32_t>& groupMaterials,
                const std::vector<EntryState>& states = {EntryState::kShown}) {
    const int index = static_cast<int>(scene->models.size());
    CModel model;
    model.name = timelineName;
    for (size_t g = 0; g < groupMaterials.size(); ++g) {
      MeshGroup group;
      group.material = groupMaterials[g];
      group.vertices.resize(3 + g);  // distinct counts per group
      for (MeshVertex& v : group.vertices) v = MeshVertex{{0, 0, 0}, {0, 0, 1}, {0, 0}, -1, -1, 1};
      EXPECT_FALSE(gfx::Failed(device.CreateVertexBuffer(
          group.vertices.data(), static_cast<uint32_t>(group.vertices.size() * sizeof(MeshVertex)),
          &group.vertexBuffer)));
      sources[group.vertexBuffer] = DrawSource{index, static_cast<int>(g)};
      model.groups.push_back(std::move(group));
    }
    scene->models.push_back(std::move(model));
    CTimeLine line;
    line.name = timelineName;
    for (EntryState s : states) {
      CTimeLineData e;
      e.state = s;
      line.entries.push_back(e);
    }
    SceneState.timeLines.push_back(std::move(line));
    return index;
  }

  DrawSource SourceOf(const NullGraphicsDevice::DrawRecord& d) const {
    auto it = sources.find(d.vertexBuffer);
    return it == sources.end() ? DrawSource{} : it->second;
  }

  // Models drawn by the last frame(s), in draw order.
  std::vector<int> DrawnModels() const {
    std::vector<int> out;
    for (const auto& d : device.draws()) out.push_back(SourceOf(d).model);
    return out;
  }

  static ShaderConstants ConstantsOf(const NullGraphicsDevice::DrawRecord& d) {
    ShaderConstants c;
    static_assert(sizeof(c) == NullGraphicsDevice::kConstantsSize);
    std::memcpy(&c, d.constants.data(), sizeof(c));
    return c;
  }

  NullGraphicsDevice device;
  std::unique_ptr<CCoreMotion3D> scene;
  testing::RecordingPlatform platform;
  std::map<gfx::Handle, DrawSource> sources;
};

}  // namespace tolvani::rendertest
