// Matrices built from poses and animations: the camera's view matrices, an
// entry's world matrix (motion.h, timeline.h declare those as members) and
// the bone matrices handed to the vertex shader.
#pragma once

#include "base/math.h"

namespace tolvani {

class CModel;
struct ShaderConstants;

// Bone slots in the constant buffer.
constexpr int kBoneSlotCount = 36;

// Writes the bone matrices of the model's current animation frame into
// slots[0 .. 35], as stored (not transposed):
//  - with a valid currentAnimation, slot i holds frame animationFrame of bone
//    i, or the identity when that frame is outside bone i's frames; slots
//    from the animation's bone count on are left untouched;
//  - with no animation or currentAnimation out of range, all 36 slots are
//    the identity.
void FillBoneMatrices(const CModel& model, Matrix4* slots);
// The same, into the bone area of a constant-buffer image.
void FillBoneMatrices(const CModel& model, ShaderConstants& constants);

}  // namespace tolvani
