// What every graphics device checks of a shader program the same way, so
// that a program one device accepts is not refused by another: reading the
// source file, finding an entry point in it, and the vertex input layout
// (see IGraphicsDevice::CompileShaderFromFile and CreateInputLayout).
#pragma once

#include <cstdint>
#include <string>

#include "base/graphics_device.h"

namespace tolvani {

// True when word occurs in text as a whole identifier (letters, digits and
// '_' on neither side): "PS" is not found in "PS_TEX". An empty word is
// never found.
bool ContainsIdentifier(const std::string& text, const std::string& word);

// Reads at most gfx::kMaxShaderSourceBytes of the file at path into *text.
// gfx::kOk, or gfx::kFail (with *why set) when the file cannot be read or
// is larger than that bound.
int32_t ReadShaderSource(const std::string& path, std::string* text, std::string* why);

// The vertex input semantics; a semantic's index is its attribute location.
inline constexpr const char* kInputSemantics[] = {"POSITION", "NORMAL", "TEXCOORD",
                                                  "BONE",     "PARENT", "WEIGHT"};
inline constexpr int kInputSemanticCount = 6;

// Index of semantic in kInputSemantics, -1 when it is none of them.
int InputSemanticIndex(const char* semantic);

// True for a layout of exactly kInputSemanticCount elements naming every
// semantic once, each with 1 to 4 components.
bool IsCompleteInputLayout(const gfx::InputElement* elements, uint32_t count);

}  // namespace tolvani
