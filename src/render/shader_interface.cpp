#include "render/shader_interface.h"

#include <cstring>
#include <fstream>

namespace tolvani {

bool ContainsIdentifier(const std::string& text, const std::string& word) {
  auto identChar = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  };
  if (word.empty()) return false;
  for (size_t pos = text.find(word); pos != std::string::npos; pos = text.find(word, pos + 1)) {
    const size_t end = pos + word.size();
    if ((pos == 0 || !identChar(text[pos - 1])) && (end >= text.size() || !identChar(text[end])))
      return true;
  }
  return false;
}

int32_t ReadShaderSource(const std::string& path, std::string* text, std::string* why) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (why) *why = "shader source not found: " + path;
    return gfx::kFail;
  }
  // One byte more than allowed tells a file at the bound from a larger one.
  text->resize(gfx::kMaxShaderSourceBytes + 1);
  file.read(text->data(), static_cast<std::streamsize>(text->size()));
  text->resize(static_cast<size_t>(file.gcount()));
  if (text->size() > gfx::kMaxShaderSourceBytes) {
    text->clear();
    if (why) *why = "shader source too large: " + path;
    return gfx::kFail;
  }
  return gfx::kOk;
}

int InputSemanticIndex(const char* semantic) {
  if (semantic == nullptr) return -1;
  for (int i = 0; i < kInputSemanticCount; ++i) {
    if (std::strcmp(semantic, kInputSemantics[i]) == 0) return i;
  }
  return -1;
}

bool IsCompleteInputLayout(const gfx::InputElement* elements, uint32_t count) {
  if (elements == nullptr || count != kInputSemanticCount) return false;
  bool seen[kInputSemanticCount] = {};
  for (uint32_t i = 0; i < count; ++i) {
    const int index = InputSemanticIndex(elements[i].semantic);
    if (index < 0 || seen[index] || elements[i].components < 1 || elements[i].components > 4)
      return false;
    seen[index] = true;
  }
  return true;
}

}  // namespace tolvani
