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

// Opaque and invisible draws. Blending (source alpha over the target)
// leaves the source colour itself where the source alpha is exactly 1, and
// the target's where it is exactly 0, so such draws give the same pixels
// without blending, or without writing colour at all, which a software
// rasteriser does not have to shade, read back and mix. The device can only know a fragment's alpha
// when the pixel source declares how it is made, by naming this identifier:
// "fragColor.a is materialColor.a, times the alpha of the texel sampled
// where the program samples a texture".
inline constexpr const char* kMaterialAlphaName = "TOLVANI_ALPHA_IS_MATERIAL_ALPHA";

// Whether a ShaderConstants block's colour alpha is exactly 1, or 0 (-0
// too) (false when the block is shorter, and for NaN).
bool MaterialAlphaIsOne(const uint8_t* constants, size_t size);
bool MaterialAlphaIsZero(const uint8_t* constants, size_t size);

// Unlit draws. A draw of the variant that leaves out both lighting terms
// (kUnlitMask) reads no view direction where the source declares, by
// naming this identifier, "the view direction is read only by the diffuse
// and specular terms". The device may then take two such draws whose
// constants differ only in the view direction for the same draw.
inline constexpr const char* kViewOnlyLightsName = "TOLVANI_VIEW_ONLY_LIGHTS";
constexpr unsigned kUnlitMask = 3;

// Whether size bytes of constants at a and at b give the same draw: equal
// bytes, except for ShaderConstants' view directions when viewUnread.
bool SameConstants(const uint8_t* a, const uint8_t* b, size_t size, bool viewUnread);

// Whether every texel of a width x height picture of 4-byte texels (alpha
// in the fourth byte, rows rowPitch bytes apart) has alpha 255.
bool AllTexelsOpaque(const uint8_t* data, uint32_t width, uint32_t height, uint32_t rowPitch);

}  // namespace tolvani::gl
