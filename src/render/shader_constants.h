// ShaderConstants: the one constant buffer of the shader program, rewritten
// before every draw of a mesh group. Bound to slot 0 of the vertex and pixel
// stages; the OpenGL build reads it as the std140 uniform block
// "ShaderConstants" at binding 0 (every member is a vec4 or mat4, so std140
// adds no padding).
//
// Matrices are written so that the shader sees the row-vector conventions of
// base/math.h: world and worldViewProjection are stored transposed (GLSL
// then reads the original matrix and computes p * M); bone matrices are
// copied as stored in the model (GLSL reads their transpose and computes
// B * p).
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/math.h"

namespace tolvani {

constexpr int kShaderBoneCount = 36;

struct ShaderConstants {
  Matrix4 world;                    // offset 0: worldMatrix, transposed
  Matrix4 worldViewProjection;      // offset 64: world * view * projection, transposed
  Matrix4 bones[kShaderBoneCount];  // offset 128: bone 0 first, as stored
  Vec4 viewDirection;               // offset 2432: (x, y, z, 0), normalised
  Vec4 viewDirection2;              // offset 2448: the same again
  Vec4 color;                       // offset 2464: material colour r, g, b, a
  Vec4 ambient;                     // offset 2480: (ambient*0.25 x3, 1)
  Vec4 specular;                    // offset 2496: (specular x3, colour alpha)
  Vec4 diffuse;                     // offset 2512: (diffuse, 0, 0, 0)
  Vec4 emissive;                    // offset 2528: (emissive, 0, 0, 0)
  Vec4 power;                       // offset 2544: (power, 0, 0, 0)
};

constexpr uint32_t kShaderConstantsSize = 2560;

static_assert(sizeof(Matrix4) == 64);
static_assert(sizeof(Vec4) == 16);
static_assert(sizeof(ShaderConstants) == kShaderConstantsSize);
static_assert(offsetof(ShaderConstants, world) == 0);
static_assert(offsetof(ShaderConstants, worldViewProjection) == 64);
static_assert(offsetof(ShaderConstants, bones) == 128);
static_assert(offsetof(ShaderConstants, viewDirection) == 2432);
static_assert(offsetof(ShaderConstants, viewDirection2) == 2448);
static_assert(offsetof(ShaderConstants, color) == 2464);
static_assert(offsetof(ShaderConstants, ambient) == 2480);
static_assert(offsetof(ShaderConstants, specular) == 2496);
static_assert(offsetof(ShaderConstants, diffuse) == 2512);
static_assert(offsetof(ShaderConstants, emissive) == 2528);
static_assert(offsetof(ShaderConstants, power) == 2544);

}  // namespace tolvani
