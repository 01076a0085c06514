// Material textures: each textured material's embedded BGR(A) image becomes
// an RGBA device texture and its shader resource view.
#pragma once

#include "base/graphics_device.h"
#include "model/model_records.h"
#include "prepare/texture_budget.h"

namespace tolvani {

// Returns true when textureView was created. On failure, or when `budget`
// has no texture left, shows "<textureName>の読み込みに失敗しました。" (a
// message box when showMessage, otherwise a diagnostic), empties
// textureName and returns false. With a budget, an image with a side above
// its limits' maxSide is uploaded downscaled, and the image is freed once
// the texture is built when its limits say so; without one the texture has
// the image's own sides and the image stays.
bool BuildMaterialTexture(CMaterial& material, gfx::IGraphicsDevice* device,
                          bool showMessage = true, TextureBudget* budget = nullptr);

// The side a texture of an image side `side` gets under a cap of maxSide
// texels: side itself when it fits, else maxSide (at least 1).
uint32_t CappedTextureSide(int side, uint32_t maxSide);

}  // namespace tolvani
