// The vertex of every vertex buffer: eleven floats, 44 bytes, no padding.
#pragma once

#include <cstddef>

#include "base/graphics_device.h"
#include "base/math.h"

namespace tolvani {

struct MeshVertex {
  Vec3 position;  // offset 0, model space
  Vec3 normal;    // offset 12
  Vec2 uv;        // offset 24
  float bone;     // offset 32, bone slot as a float, -1 for none
  float parent;   // offset 36, second bone slot, -1 for none
  float weight;   // offset 40, blend weight, 1 when none is given
};
static_assert(sizeof(MeshVertex) == 44);
static_assert(offsetof(MeshVertex, normal) == 12);
static_assert(offsetof(MeshVertex, uv) == 24);
static_assert(offsetof(MeshVertex, bone) == 32);
static_assert(offsetof(MeshVertex, parent) == 36);
static_assert(offsetof(MeshVertex, weight) == 40);

inline constexpr gfx::InputElement kMeshVertexLayout[6] = {
    {"POSITION", 3, 0}, {"NORMAL", 3, 12}, {"TEXCOORD", 2, 24},
    {"BONE", 1, 32},    {"PARENT", 1, 36}, {"WEIGHT", 1, 40},
};

}  // namespace tolvani
