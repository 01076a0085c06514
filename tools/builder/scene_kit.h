// Building blocks for projects made in code (the demo and the examples):
// poses, cameras, geometry appended to a model, procedural images and
// synthesised PCM sounds.
//
// Geometry conventions: every triangle is wound so that it runs clockwise on
// screen when seen from the side it faces (the side the renderer draws);
// helpers take that side as an "outward" direction. Each appended vertex
// gets the given bone, parent and weight (bone -1: not skinned).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/math.h"
#include "model/model_records.h"
#include "model/motion.h"

namespace tolvani::builder {

Vec3 Add(Vec3 a, Vec3 b);
Vec3 Sub(Vec3 a, Vec3 b);
Vec3 Scale(Vec3 a, float s);

CMotion Pose(Vec3 position, Vec3 rotation = {0, 0, 0}, Vec3 scale = {1, 1, 1});

// A camera that looks at `target` from `distance` units away, turned by
// yawDeg about y and pitchDeg down (positive pitch looks down).
struct CameraRig {
  Vec3 target;
  float distance = 600;
  float yawDeg = 0;
  float pitchDeg = 8;

  // The camera motion: position is the negated eye, rotation (pitch, yaw, 0).
  CMotion Motion() const;
  Vec3 Eye() const;
  // World point of a view-space point (x right, y up, -z ahead).
  Vec3 FromView(Vec3 view) const;
  // A pose at view-space point `view` whose front (+z) faces the camera
  // horizontally (rotation y = -yaw).
  CMotion Facing(Vec3 view) const;
};

// Skinning of appended vertices.
struct Skin {
  int32_t bone = -1;
  int32_t parent = -1;
  float weight = 1.0f;
};

int32_t AddVertex(CModel& m, Vec3 p, Skin skin = {});
// A triangle of existing vertices, reordered to face `outward`.
void AddTriangle(CModel& m, int32_t a, int32_t b, int32_t c, Vec3 outward, int32_t material,
                 CUV ua = {0, 0}, CUV ub = {0, 0}, CUV uc = {0, 0});
// A quad centred at c with half extents u (right) and v (up) facing u x v;
// uvs run 0..repeat across it, v = 0 at the top edge.
void AddQuad(CModel& m, Vec3 c, Vec3 u, Vec3 v, int32_t material, float repeat = 1.0f,
             Skin skin = {});
// An axis-aligned box facing outwards.
void AddBox(CModel& m, Vec3 centre, Vec3 half, int32_t material, Skin skin = {});
// An ellipsoid of `slices` x `stacks` facets facing outwards; skinFor picks
// each vertex's skin from its position (null: `skin` for all).
void AddEllipsoid(CModel& m, Vec3 centre, Vec3 radii, int32_t material, int slices = 16,
                  int stacks = 10, Skin skin = {},
                  const std::function<Skin(Vec3)>& skinFor = nullptr);
// A flat model for the background and overlay passes: covers the whole view
// (-50..50) at depth z (-1..1, larger is nearer).
void AddScreenQuad(CModel& m, int32_t material, float z);
// A speech balloon facing +z: a rounded card of half extents (w, h) with a
// tail under it, on cardMaterial, mapped so the square text card keeps its
// aspect; a dark rim behind it on rimMaterial.
void AddBalloonShape(CModel& m, float w, float h, int32_t cardMaterial, int32_t rimMaterial);
// A height-field square of half size `half` centred at the origin, `cells`
// per side, facing up: visible faces on `material` (uvs repeat `repeat`
// times) and the same triangles on `walkable` when it is >= 0.
void AddTerrain(CModel& m, float half, int cells, const std::function<float(float, float)>& height,
                int32_t material, int32_t walkable, float repeat);

// An image of width x height with 3 or 4 channels; fill receives x, y and
// the pixel's samples in blue, green, red (, alpha) order.
PixelMatrix MakeImage(int width, int height, int channels,
                      const std::function<void(int x, int y, uint8_t* px)>& fill);
// Smooth value noise in 0..1, repeating every `period` units.
float Noise2(float x, float y, int period, uint32_t seed);

// Sounds: 16-bit mono PCM at `rate` samples per second.
// A bell-like chime on `frequency` Hz lasting `seconds`.
std::vector<uint8_t> SynthChime(uint32_t rate, float frequency, float seconds, float volume = 0.3f);
// A music-box loop: one note per entry of `notes` (Hz, 0 for a rest), each
// `beat` seconds long, with `bass` notes (one per bar of four beats); the
// note tails wrap around the end so the loop repeats seamlessly.
std::vector<uint8_t> SynthLoop(uint32_t rate, const std::vector<float>& notes,
                               const std::vector<float>& bass, float beat, float volume = 0.18f);

}  // namespace tolvani::builder
