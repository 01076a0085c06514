// The device textures one open may create, and how large. Texel memory
// follows the file (an image's RGBA texels take at most 4/3 of its stored
// bytes), but every texture also costs a fixed overhead in the device and
// the driver (Mesa: about a kilobyte per texture object, whatever its
// size), so a file of a million 1 x 1 images would need gigabytes for what
// it stores in 60 MB. The number of textures is therefore bounded per file;
// materials past the bound are drawn untextured, as when a texture cannot be
// built.
//
// A caller that only needs a small picture (the thumbnailer) may also cap
// the texture side, so that a large image is uploaded downscaled, and have
// images freed once uploaded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/graphics_device.h"

namespace tolvani {

// Device textures one open may create: far above any authored cartoon
// (a few hundred textured materials at most), and some 20 MB of driver
// objects at the most.
inline constexpr size_t kMaxTexturesPerFile = 16384;

struct TextureLimits {
  // Textures created per open.
  size_t maxTextures = kMaxTexturesPerFile;
  // Largest texture side, in texels. An image with a longer side is
  // uploaded downscaled (box filter) to at most this side; each side is
  // capped on its own (textures are sampled in [0, 1] coordinates). At
  // gfx::kMaxTextureSize nothing is downscaled: a larger image fails as the
  // device refuses it.
  uint32_t maxSide = gfx::kMaxTextureSize;
  // Whether a material keeps its image once its texture is built (the
  // player and inspect do; a thumbnail needs only the texture).
  bool keepImages = true;
};

// Limits of every later open in this process (default: TextureLimits{}).
void SetTextureLimits(const TextureLimits& limits);
const TextureLimits& ProcessTextureLimits();

// What is left of one open's texture budget, taken by its materials in
// file order.
class TextureBudget {
 public:
  explicit TextureBudget(const TextureLimits& limits = ProcessTextureLimits())
      : limits_(limits), left_(limits.maxTextures) {}

  const TextureLimits& limits() const { return limits_; }
  size_t Left() const { return left_; }
  // Takes one texture; false (and nothing taken) when none is left.
  bool Take() {
    if (left_ == 0) return false;
    --left_;
    return true;
  }

 private:
  TextureLimits limits_;
  size_t left_;
};

}  // namespace tolvani
