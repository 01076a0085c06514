// Tearing the process-wide scene down between runs (tests, tools).
#pragma once

namespace tolvani {

// Destroys the scene root (if any) and the sound container (if any), clears
// the timelines and fileVersion.
void ResetSceneStateForTests();

}  // namespace tolvani
