#include "headless/tool_platform.h"

#include <cstdio>

#include "base/text_conversion.h"

namespace tolvani::headless {

ToolPlatform::ToolPlatform(Diagnostics diagnostics) : diagnostics_(diagnostics) {
  SetPlatform(this);
}

ToolPlatform::~ToolPlatform() {
  SetPlatform(nullptr);
}

void ToolPlatform::ShowMessage(const std::u16string& text, MessageIcon) {
  messages_.push_back(text);
  if (onMessage) onMessage(text);
}

void ToolPlatform::OpenDocument(const std::u16string& target) {
  opened_.push_back(target);
  if (onOpen) onOpen(target);
}

void ToolPlatform::Diagnostic(std::string_view subsystem, const std::u16string& text) {
  if (diagnostics_ == Diagnostics::Dropped) return;
  const std::string line = DiagnosticLine(subsystem, text);
  std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string DiagnosticLine(std::string_view subsystem, const std::u16string& text) {
  std::string line(subsystem);
  line += ": ";
  line += ToUtf8(text);
  if (line.back() != '\n') line += '\n';
  return line;
}

}  // namespace tolvani::headless
