#include "prepare/material_texture.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/platform_services.h"

namespace tolvani {

namespace {

// Writes the image's BGR(A) pixels as RGBA texels, row by row at rowPitch.
void ConvertToRgba(const PixelMatrix& image, uint8_t* dst, uint32_t rowPitch) {
  const int channels = image.channels();
  if (channels != 3 && channels != 4) return;  // no texel is written
  const int width = image.cols();
  for (int y = 0; y < image.rows(); ++y) {
    const uint8_t* s = image.row(y);
    uint8_t* d = dst + static_cast<size_t>(y) * rowPitch;
    if (channels == 3) {
      for (int x = 0; x < width; ++x, s += 3, d += 4) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        d[3] = 255;
      }
    } else {
      for (int x = 0; x < width; ++x, s += 4, d += 4) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        d[3] = s[3];
      }
    }
  }
}

// Source pixels [Begin(i), Begin(i + 1)) make destination pixel i when
// `from` pixels shrink to `to` (to <= from): every source pixel counts once.
size_t Begin(size_t i, size_t from, size_t to) {
  return i * from / to;
}

// The image shrunk to width x height texels (each no larger than the
// image's side) as RGBA, each texel the rounded mean of the source pixels
// its area covers (a 3-channel image is opaque). One pass over the image,
// with one row of sums.
void DownscaleToRgba(const PixelMatrix& image, uint32_t width, uint32_t height, uint8_t* dst,
                     uint32_t rowPitch) {
  const int channels = image.channels();
  if (channels != 3 && channels != 4) return;
  const size_t n = static_cast<size_t>(channels);
  const size_t srcW = static_cast<size_t>(image.cols()), srcH = static_cast<size_t>(image.rows());
  std::vector<uint64_t> sums(static_cast<size_t>(width) * 4);
  for (uint32_t ty = 0; ty < height; ++ty) {
    std::fill(sums.begin(), sums.end(), 0);
    const size_t y0 = Begin(ty, srcH, height), y1 = Begin(ty + 1, srcH, height);
    for (size_t y = y0; y < y1; ++y) {
      const uint8_t* s = image.row(static_cast<int>(y));
      for (uint32_t tx = 0; tx < width; ++tx) {
        uint64_t* sum = &sums[static_cast<size_t>(tx) * 4];
        for (size_t x = Begin(tx, srcW, width), x1 = Begin(tx + 1, srcW, width); x < x1; ++x) {
          const uint8_t* p = s + x * n;
          sum[0] += p[2];
          sum[1] += p[1];
          sum[2] += p[0];
          sum[3] += n == 4 ? p[3] : 255;
        }
      }
    }
    uint8_t* d = dst + static_cast<size_t>(ty) * rowPitch;
    for (uint32_t tx = 0; tx < width; ++tx) {
      const uint64_t area = (y1 - y0) * (Begin(tx + 1, srcW, width) - Begin(tx, srcW, width));
      for (size_t k = 0; k < 4; ++k) {
        d[tx * 4 + k] = static_cast<uint8_t>((sums[tx * 4 + k] + area / 2) / area);
      }
    }
  }
}

}  // namespace

uint32_t CappedTextureSide(int side, uint32_t maxSide) {
  const uint32_t s = side < 0 ? 0u : static_cast<uint32_t>(side);
  return std::min(s, std::max<uint32_t>(maxSide, 1));
}

bool BuildMaterialTexture(CMaterial& material, gfx::IGraphicsDevice* device, bool showMessage,
                          TextureBudget* budget) {
  const PixelMatrix& image = material.image;
  bool ok = false;
  gfx::Handle texture = gfx::kNone;
  // The device refuses zero sides and sides above its limit itself.
  const bool usableImage = device != nullptr && (budget == nullptr || budget->Take());
  if (usableImage) {
    gfx::TextureDesc desc;
    desc.width = static_cast<uint32_t>(image.cols());
    desc.height = static_cast<uint32_t>(image.rows());
    bool downscale = false;
    // An image the device would refuse is not downscaled: it fails as in
    // the player.
    const bool fits = desc.width <= gfx::kMaxTextureSize && desc.height <= gfx::kMaxTextureSize;
    if (budget != nullptr && budget->limits().maxSide < gfx::kMaxTextureSize && fits) {
      desc.width = CappedTextureSide(image.cols(), budget->limits().maxSide);
      desc.height = CappedTextureSide(image.rows(), budget->limits().maxSide);
      downscale = desc.width != static_cast<uint32_t>(image.cols()) ||
                  desc.height != static_cast<uint32_t>(image.rows());
    }
    desc.format = gfx::TextureFormat::RGBA8;
    desc.usage = gfx::TextureUsage::Dynamic;
    if (!gfx::Failed(device->CreateTexture2D(desc, &texture)) && texture != gfx::kNone) {
      gfx::MappedTexture mapped;
      if (!gfx::Failed(device->MapTexture(texture, &mapped)) && mapped.data &&
          mapped.rowPitch >= desc.width * 4u) {
        if (downscale) {
          DownscaleToRgba(image, desc.width, desc.height, mapped.data, mapped.rowPitch);
        } else {
          ConvertToRgba(image, mapped.data, mapped.rowPitch);
        }
        device->UnmapTexture(texture);
        gfx::Handle view = gfx::kNone;
        if (!gfx::Failed(device->CreateShaderResourceView(texture, &view)) && view != gfx::kNone) {
          material.textureView = view;
          ok = true;
        }
      } else if (mapped.data) {
        device->UnmapTexture(texture);
      }
      device->Release(texture);
    }
  }
  if (budget != nullptr && !budget->limits().keepImages) material.image = PixelMatrix();
  if (!ok) {
    const std::u16string text = material.textureName + u"の読み込みに失敗しました。";
    if (showMessage) {
      Platform().ShowMessage(text, MessageIcon::None);
    } else {
      Platform().Diagnostic("prepare", text);
    }
    material.textureName.clear();
  }
  return ok;
}

}  // namespace tolvani
