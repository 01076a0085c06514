// The process-wide scene: reached directly by every subsystem, only ever
// from the user-interface thread.
#pragma once

#include <vector>

#include "model/motion.h"
#include "model/timeline.h"

namespace tolvani {

class CAudio;

struct SceneStateT {
  CCoreMotion3D* sceneRoot = nullptr;  // exists from start-up until the view is destroyed
  std::vector<CTimeLine> timeLines;    // timeline i drives model i
  CAudio* audio = nullptr;             // created and destroyed by the view
  float fileVersion = 0.0f;
};

extern SceneStateT SceneState;

// Creates the scene root if there is none (process start, tests).
void EnsureSceneRoot();

}  // namespace tolvani
