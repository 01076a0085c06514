#include "support/scene_reset.h"

#include "audio/audio.h"
#include "base/program_directory.h"
#include "model/scene_state.h"
#include "support/test_helpers.h"

namespace tolvani {

void ResetSceneStateForTests() {
  delete SceneState.audio;
  SceneState.audio = nullptr;
  delete SceneState.sceneRoot;
  SceneState.sceneRoot = nullptr;
  SceneState.timeLines.clear();
  SceneState.fileVersion = 0.0f;
}

namespace testing {

FreshScene::FreshScene(const std::string& shaderText)
    : programDirectory_(MakeProgramDirectory(shaderText)) {
  ResetSceneStateForTests();
  SetProgramDirectory(U16(programDirectory_));
}

FreshScene::~FreshScene() {
  ResetSceneStateForTests();
  SetProgramDirectory(u"");
}

}  // namespace testing

}  // namespace tolvani
