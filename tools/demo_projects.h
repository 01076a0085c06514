// The shipped projects: the start-up demo and one example per other play mode.
#pragma once

#include "builder/project_builder.h"

namespace tolvani::demo {

builder::ProjectBuilder MakeMainDemo();     // Main.zvmov, Glide
builder::ProjectBuilder MakeWalkExample();  // examples/walk.zvmov
builder::ProjectBuilder MakeExploreExample();
builder::ProjectBuilder MakeScrollExample();
builder::ProjectBuilder MakeOrbitExample();

}  // namespace tolvani::demo
