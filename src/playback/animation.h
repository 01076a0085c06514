// Animation selection by name for the story steps.
#pragma once

#include <cstdint>
#include <string>

#include "model/motion.h"

namespace tolvani {

// Model i plays the last animation named exactly `name` (code units,
// case-sensitive) from frame 0. With no match, or no model i, nothing changes.
void SelectAnimationByName(CCoreMotion3D& scene, int32_t i, const std::u16string& name);

// After an open, with currentStep set: every model that has a timeline plays
// the first animation named as its timeline's entry at currentStep (an empty
// name when there is no such entry), or none (-1); frame counters restart.
void SelectInitialAnimations();

}  // namespace tolvani
