// Writes the still scene of bench/still_scene.sh: 32 plain boards in a 8 x 4
// grid before a fixed camera, Glide mode, one step, no animation, no
// balloon text, no fade. Every tick of it draws the same frame.
//
//   tolvani-still-scene-project OUTPUT.zvmov
#include <cstdio>
#include <exception>
#include <string>

#include "builder/project_builder.h"
#include "builder/scene_kit.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tolvani-still-scene-project OUTPUT.zvmov\n");
    return 2;
  }
  using namespace tolvani;
  using namespace tolvani::builder;
  constexpr int kColumns = 8, kRows = 4;
  ProjectBuilder b;
  b.playMode = PlayMode::kGlide;
  const CameraRig rig{{0, 0, 0}, 900, 0, 0};
  b.camera = rig.Motion();
  b.AddModel(u"Camera");
  b.AddEntry(b.AddTimeline(u"Camera"), EntryState::kShown).motion = b.camera;
  for (int i = 0; i < kColumns * kRows; ++i) {
    const std::u16string name = u"Board" + std::u16string(1, static_cast<char16_t>(u'A' + i));
    const int32_t material = static_cast<int32_t>(b.materials.size());
    b.AddMaterial(name, 0.2f + 0.02f * static_cast<float>(i), 0.5f, 0.8f);
    CModel& board = b.AddModel(name);
    AddQuad(board, {0, 0, 0}, {40, 0, 0}, {0, 40, 0}, material);
    const float x = -350.0f + 100.0f * static_cast<float>(i % kColumns);
    const float y = 150.0f - 100.0f * static_cast<float>(i / kColumns);
    b.AddEntry(b.AddTimeline(name), EntryState::kShown).motion = Pose({x, y, 0});
  }
  try {
    b.WriteFile(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tolvani-still-scene-project: %s\n", e.what());
    return 1;
  }
  return 0;
}
