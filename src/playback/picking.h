// Geometric queries on the objects of the current step: the balloon under a
// client point, the walkable ground below the walker, and whether an
// object's origin projects near the middle of the view.
//
// All queries use the models' loaded geometry (bind pose; skeletal animation
// is not applied), placed by the entry world matrix of the scene's
// currentStep, and the viewport, view and projection matrices the renderer
// used last (scene.render). Matrices are row-vector (p * M). Model i belongs
// to timeline i (SceneState.timeLines); model 0 is never a candidate.
//
// Faces give triangles in this test order: 3 indices (i0, i1, i2) give
// (i0, i1, i2); 4 indices give (i0, i2, i3) then (i0, i1, i2); any other count
// gives none. A triangle with a vertex index outside the model's vertices is
// skipped. A matrix that cannot be inverted gives no hit.
//
// Nothing here allocates.
#pragma once

#include <cstdint>

#include "base/graphics_device.h"
#include "base/math.h"
#include "model/model_records.h"
#include "model/motion.h"

namespace tolvani {

// Index of the nearest face of model hit by the view ray through client
// point (x, y), or -1. worldView places the model in view space; projection
// supplies the focal scales (its [0][0] and [1][1]). distance receives the
// ray parameter of the hit, which equals the hit's view-space depth. A model
// that is not visible, or a worldView that cannot be inverted, returns -1
// and leaves distance untouched; otherwise distance starts at 1.0e6 and only
// a strictly smaller parameter replaces it.
int32_t HitTestScreenPoint(const CModel& model, int32_t x, int32_t y, const gfx::Viewport& viewport,
                           const Matrix4& worldView, const Matrix4& projection, float& distance);

// Index of the nearest face on the model's collisionMaterial hit by the
// world-space ray (origin, direction), or -1. world places the model.
// distance (set to 1.0e6 first) receives the parameter along the world
// direction, so with a unit direction it is a world distance whatever the
// object's scale.
int32_t HitTestRay(const CModel& model, const Vec3& origin, const Vec3& direction, float& distance,
                   const Matrix4& world);

// The nearest visible balloon (a timeline named with "fukidashi" in any
// letter case) under client point (x, y). On true, scene.pickedModel holds
// its index; on false pickedModel is unchanged. On equal depth the lower
// index wins.
bool PickBalloon(CCoreMotion3D& scene, int32_t x, int32_t y);

// Distance along direction from the negated origin (camera convention:
// origin is a negated point) to the walkable faces of the first object, in
// timeline order, that is shown at the step, has a collisionMaterial and is
// met by the ray. With no such candidate at all (nothing walkable shown, or
// fewer than two timelines) it reports a hit at 10200. False when there are
// candidates but none is met.
bool ProbeGround(const CCoreMotion3D& scene, const Vec3& origin, const Vec3& direction,
                 float& distance);

// Client pixel position of timeline i's entry origin at the current step.
struct ScreenPoint {
  int32_t x = 0;
  int32_t y = 0;
};
ScreenPoint ProjectOrigin(const CCoreMotion3D& scene, int32_t i);

// Whether model i is visible and its origin projects strictly inside the
// band from a third to two thirds of the viewport width (integer divisions)
// and from a fifth of the height to seven sixths of it. False for an index
// that is not both a timeline and a model.
bool IsNearViewCentre(CCoreMotion3D& scene, int32_t i);

}  // namespace tolvani
