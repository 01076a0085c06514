#include "prepare/material_texture.h"

#include <cstring>

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

}  // namespace

bool BuildMaterialTexture(CMaterial& material, gfx::IGraphicsDevice* device, bool showMessage) {
  const PixelMatrix& image = material.image;
  bool ok = false;
  gfx::Handle texture = gfx::kNone;
  // The device refuses zero sides and sides above its limit itself.
  const bool usableImage = device != nullptr;
  if (usableImage) {
    gfx::TextureDesc desc;
    desc.width = static_cast<uint32_t>(image.cols());
    desc.height = static_cast<uint32_t>(image.rows());
    desc.format = gfx::TextureFormat::RGBA8;
    desc.usage = gfx::TextureUsage::Dynamic;
    if (!gfx::Failed(device->CreateTexture2D(desc, &texture)) && texture != gfx::kNone) {
      gfx::MappedTexture mapped;
      if (!gfx::Failed(device->MapTexture(texture, &mapped)) && mapped.data &&
          mapped.rowPitch >= desc.width * 4u) {
        ConvertToRgba(image, mapped.data, mapped.rowPitch);
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
