#include "document/scene_reset.h"

#include "audio/audio.h"
#include "model/scene_state.h"

namespace tolvani {

void ResetSceneStateForTests() {
  delete SceneState.audio;
  SceneState.audio = nullptr;
  delete SceneState.sceneRoot;
  SceneState.sceneRoot = nullptr;
  SceneState.timeLines.clear();
  SceneState.fileVersion = 0.0f;
}

}  // namespace tolvani
