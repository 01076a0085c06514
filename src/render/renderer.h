// The renderer: device set-up and teardown, the shader program, and frame
// drawing. Its objects live in the scene root's RenderState
// (SceneState.sceneRoot->render) so that picking and playback find them.
#pragma once

#include <cstdint>

#include "base/graphics_device.h"
#include "model/motion.h"

namespace tolvani {

class CModel;

// Device set-up (renderer_device.cpp) ------------------------------------
// Stores the device and text rasteriser, creates the swap chain, targets,
// fixed states, balloon texture, then loads the shader program. Negative on
// failure (the view is then not created).
int32_t CreateRenderer(CCoreMotion3D& scene, gfx::IGraphicsDevice* device,
                       ITextRasterizer* textRasterizer);
// Sizes below 100 on either side, or before creation, are ignored.
void ResizeRenderer(CCoreMotion3D& scene, int width, int height);
// Runs the scene reset, then releases every renderer object.
void DestroyRenderer(CCoreMotion3D& scene);
// Compiles VS, PS and PS_TEX from "<program dir>DoNotTouch/CoreShader.glsl".
int32_t LoadShaderProgram(CCoreMotion3D& scene);

// Frame drawing (frame_drawing.cpp) -------------------------------------
// Background pass, perspective pass, overlay pass, present.
int32_t DrawFrame(CCoreMotion3D& scene);
// 2 when a fade group of this model finished its fade during the call.
int DrawModel(CCoreMotion3D& scene, CModel& model, int index, const Matrix4& view,
              const Matrix4& projection);

}  // namespace tolvani
