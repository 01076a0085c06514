#include "render/gl/shader_variants.h"

#include <cstring>

#include "render/shader_constants.h"
#include "render/shader_interface.h"

namespace tolvani::gl {
namespace {

constexpr const char* kDefines[] = {"TOLVANI_NO_SPECULAR", "TOLVANI_NO_DIFFUSE"};

float FloatAt(const uint8_t* bytes, size_t offset) {
  float f;
  std::memcpy(&f, bytes + offset, sizeof f);
  return f;
}

}  // namespace

unsigned VariantsNamedIn(const std::string& source) {
  unsigned bits = 0;
  for (int b = 0; b < 2; ++b)
    if (ContainsIdentifier(source, kDefines[b])) bits |= 1u << b;
  unsigned masks = 0;
  for (unsigned m = 1; m < kVariantCount; ++m)
    if ((m & bits) == m) masks |= 1u << m;
  return masks;
}

std::string VariantDefines(unsigned mask) {
  std::string lines;
  for (int b = 0; b < 2; ++b)
    if (mask & (1u << b)) lines += std::string("#define ") + kDefines[b] + "\n";
  return lines;
}

unsigned VariantFor(const uint8_t* constants, size_t size) {
  if (constants == nullptr || size < sizeof(ShaderConstants)) return 0;
  const size_t specular = offsetof(ShaderConstants, specular);
  const size_t diffuse = offsetof(ShaderConstants, diffuse);
  unsigned mask = 0;
  // == 0 holds for -0 as well; NaN keeps the general shader.
  if (FloatAt(constants, specular) == 0.0f && FloatAt(constants, specular + 4) == 0.0f &&
      FloatAt(constants, specular + 8) == 0.0f) {
    mask |= 1;
  }
  if (FloatAt(constants, diffuse) == 0.0f) mask |= 2;
  return mask;
}

bool MaterialAlphaIsOne(const uint8_t* constants, size_t size) {
  if (constants == nullptr || size < sizeof(ShaderConstants)) return false;
  return FloatAt(constants, offsetof(ShaderConstants, color) + 12) == 1.0f;
}

bool MaterialAlphaIsZero(const uint8_t* constants, size_t size) {
  if (constants == nullptr || size < sizeof(ShaderConstants)) return false;
  return FloatAt(constants, offsetof(ShaderConstants, color) + 12) == 0.0f;
}

bool SameConstants(const uint8_t* a, const uint8_t* b, size_t size, bool viewUnread) {
  if (!viewUnread || size < sizeof(ShaderConstants)) return std::memcmp(a, b, size) == 0;
  const size_t from = offsetof(ShaderConstants, viewDirection);
  const size_t to = offsetof(ShaderConstants, viewDirection2) + sizeof(Vec4);
  return std::memcmp(a, b, from) == 0 && std::memcmp(a + to, b + to, size - to) == 0;
}

bool AllTexelsOpaque(const uint8_t* data, uint32_t width, uint32_t height, uint32_t rowPitch) {
  if (data == nullptr) return false;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = data + static_cast<size_t>(y) * rowPitch;
    // AND of the alpha bytes: 255 only when every one of them is.
    uint8_t all = 0xFF;
    for (uint32_t x = 0; x < width; ++x) all &= row[static_cast<size_t>(x) * 4 + 3];
    if (all != 0xFF) return false;
  }
  return true;
}

}  // namespace tolvani::gl
