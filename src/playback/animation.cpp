// Animation selection by name.
#include "playback/animation.h"

#include <algorithm>

#include "model/scene_state.h"

namespace tolvani {

void SelectAnimationByName(CCoreMotion3D& scene, int32_t i, const std::u16string& name) {
  if (i < 0 || static_cast<size_t>(i) >= scene.models.size()) return;
  CModel& model = scene.models[static_cast<size_t>(i)];
  // Later duplicates win.
  for (size_t k = 0; k < model.animationNames.size(); ++k) {
    if (model.animationNames[k] == name) {
      model.currentAnimation = static_cast<int32_t>(k);
      model.animationFrame = 0;
    }
  }
}

void SelectInitialAnimations() {
  CCoreMotion3D* scene = SceneState.sceneRoot;
  if (!scene) return;
  const size_t count = std::min(SceneState.timeLines.size(), scene->models.size());
  for (size_t i = 0; i < count; ++i) {
    CModel& model = scene->models[i];
    const std::u16string name = SceneState.timeLines[i].EntryAnimationName(scene->currentStep);
    model.currentAnimation = -1;
    for (size_t k = 0; k < model.animationNames.size(); ++k) {
      if (model.animationNames[k] == name) {
        model.currentAnimation = static_cast<int32_t>(k);
        break;
      }
    }
    model.animationFrame = 0;
  }
}

}  // namespace tolvani
