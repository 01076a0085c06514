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

}  // namespace tolvani::gl
