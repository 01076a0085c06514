// Lighting variants: pixel programs for materials that leave a lighting
// term out.
//
// On a software rasteriser the pixel shader is most of a frame's cost, and
// most of the scene's area (backdrops, ground, balloon cards) has no
// specular term and often no diffuse one. A pixel shader source may mark
// such variants by naming the defines below; the OpenGL device then
// also compiles the entry with each combination defined and, per draw, uses
// the one the draw's constants allow. A variant must give the same
// colours as the general shader for those constants (for a zero term that
// means dropping the term: x + 0 * y is x for every finite y).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvani::gl {

// Bit 0: materialSpecular.rgb are all zero (TOLVANI_NO_SPECULAR).
// Bit 1: materialDiffuse.x is zero (TOLVANI_NO_DIFFUSE).
constexpr int kVariantCount = 4;  // masks 0..3; 0 is the general shader

// Which of masks 1..3 the source can be compiled for: bit m set when every
// define of mask m is named in the source.
unsigned VariantsNamedIn(const std::string& source);

// "#define X\n" lines for mask.
std::string VariantDefines(unsigned mask);

// The mask a ShaderConstants block allows (0 when it is shorter than the
// block, as for a constant buffer of another layout).
unsigned VariantFor(const uint8_t* constants, size_t size);

}  // namespace tolvani::gl
