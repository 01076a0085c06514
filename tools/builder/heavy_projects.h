// Projects that press on one resource each, built in code for the tests and
// for bench/heavy_inputs.sh: many balloon cards on screen at once, one very
// long balloon text, many step-start sounds with long names, many tiny
// textured materials, and legitimately large models and images.
//
// Every project is in Glide mode with timeline 0 on a "Camera" model whose
// step-0 pose is the camera, so step 0 shows everything at once.
#pragma once

#include <string>

#include "builder/project_builder.h"

namespace tolvani::builder {

// `count` balloons, each with its own text ("Balloon 17: ..."), laid out in a
// square grid that fills the view at step 0.
ProjectBuilder MakeBalloonCrowd(int count);

// One balloon filling most of the view and showing `text` at step 0.
ProjectBuilder MakeBalloonWithText(const std::u16string& text);

// `sounds` stored sounds: all but the last named by `nameLength` characters
// (distinct in their last characters), the last one "bell"; and `timelines`
// timelines shown at step 0 whose entry asks for "BELL" (matched, letter
// case folded, only after every other name has been compared).
ProjectBuilder MakeSoundCrowd(int timelines, int sounds, int nameLength);

// `count` materials, each textured with its own 1 x 1 three-channel image.
ProjectBuilder MakeTinyTextures(int count);

// One square `side` x `side` three-channel image on a quad filling the view.
ProjectBuilder MakeLargeImage(int side);

// One model: a `cells` x `cells` grid of quads (two triangles each) facing
// the camera, about 48 * 2 * cells^2 bytes of faces.
ProjectBuilder MakeLargeModel(int cells);

}  // namespace tolvani::builder
