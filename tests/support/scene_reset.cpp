#include "support/scene_reset.h"

#include <memory>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/program_directory.h"
#include "document/document.h"
#include "model/scene_state.h"
#include "render/null_device.h"
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

bool WithOpenedProject(const std::string& path, const std::function<void()>& read) {
  RecordingPlatform platform;
  NullGraphicsDevice device;
  ResetSceneStateForTests();
  EnsureSceneRoot();
  SceneState.sceneRoot->render.device = &device;
  SceneState.audio = new CAudio(std::make_unique<NullSoundBackend>());
  bool opened = false;
  {
    CPlayerDoc doc;
    opened = doc.OnOpenDocument(U16(path));
    read();
  }
  SceneState.sceneRoot->ResetScene();
  ResetSceneStateForTests();
  return opened;
}

}  // namespace testing

}  // namespace tolvani
