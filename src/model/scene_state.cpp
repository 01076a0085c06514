// The process-wide scene state.
#include "model/scene_state.h"

namespace tolvani {

SceneStateT SceneState;

void EnsureSceneRoot() {
  if (!SceneState.sceneRoot) SceneState.sceneRoot = new CCoreMotion3D();
}

}  // namespace tolvani
