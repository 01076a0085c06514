// What the core asks of the desktop, for the command-line tools: no box is
// ever shown and nothing is ever opened. Message-box texts and open requests
// are kept in order and passed to optional listeners as they happen (simulate
// prints them as events); developer diagnostics and warnings go to standard
// error, one line each, or nowhere. Installs itself as the process's
// platform for its lifetime (one at a time).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/platform_services.h"

namespace tolvani::headless {

class ToolPlatform : public IPlatformServices {
 public:
  enum class Diagnostics {
    StandardError,  // "subsystem: text" and a newline
    Dropped,
  };

  explicit ToolPlatform(Diagnostics diagnostics);
  ~ToolPlatform() override;
  ToolPlatform(const ToolPlatform&) = delete;
  ToolPlatform& operator=(const ToolPlatform&) = delete;

  // Called after the request is kept; may be empty.
  std::function<void(const std::u16string& text)> onMessage;
  std::function<void(const std::u16string& target)> onOpen;

  const std::vector<std::u16string>& messages() const { return messages_; }
  const std::vector<std::u16string>& opened() const { return opened_; }

  void ShowMessage(const std::u16string& text, MessageIcon icon) override;
  void OpenDocument(const std::u16string& target) override;
  void Diagnostic(std::string_view subsystem, const std::u16string& text) override;

 private:
  Diagnostics diagnostics_;
  std::vector<std::u16string> messages_;
  std::vector<std::u16string> opened_;
};

// One diagnostic line as the tools print it: "subsystem: text" and one
// newline, in UTF-8. A text that ends in a newline of its own (a few of the
// core's do) does not get a second one.
std::string DiagnosticLine(std::string_view subsystem, const std::u16string& text);

}  // namespace tolvani::headless
