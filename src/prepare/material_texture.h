// Material textures: each textured material's embedded BGR(A) image becomes
// an RGBA device texture and its shader resource view.
#pragma once

#include "base/graphics_device.h"
#include "model/model_records.h"

namespace tolvani {

// Returns true when textureView was created. On failure shows
// "<textureName>の読み込みに失敗しました。" (a message box when showMessage,
// otherwise a diagnostic), empties textureName and returns false.
bool BuildMaterialTexture(CMaterial& material, gfx::IGraphicsDevice* device,
                          bool showMessage = true);

}  // namespace tolvani
