// What the core asks of the desktop around it. The Qt shell shows modal
// message boxes and opens links with the desktop's handler; headless tools
// and tests record the requests instead, so nothing ever blocks on a box.
#pragma once

#include <string>
#include <string_view>

namespace tolvani {

enum class MessageIcon { None, Exclamation, Error };

class IPlatformServices {
 public:
  virtual ~IPlatformServices() = default;
  // A modal message box with an OK button; returns when it is closed.
  virtual void ShowMessage(const std::u16string& text, MessageIcon icon) = 0;
  // "Open" a link or a document with the system's default handler.
  virtual void OpenDocument(const std::u16string& target) = 0;
  // A developer diagnostic (never shown to the user). Subsystem is a short
  // name such as "render" or "audio". Debug level: silent unless asked for.
  virtual void Diagnostic(std::string_view subsystem, const std::u16string& text) = 0;
  // A warning for whoever runs the program from a terminal (a failed sound
  // engine, a rejected sound buffer); still never shown in the window. The
  // default treats it as a diagnostic.
  virtual void Warning(std::string_view subsystem, const std::u16string& text) {
    Diagnostic(subsystem, text);
  }
};

// Process-wide services; never null (a default writes diagnostics to stderr
// and prints messages to stderr as well).
IPlatformServices& Platform();
// Installs services for the process (the window shell, a tool, a test).
// Passing nullptr restores the default. Not owned.
void SetPlatform(IPlatformServices* services);

}  // namespace tolvani
