// What the core asks of the browser page around the player: message boxes
// become the page's HTML dialog (same texts, an OK button; the page keeps
// running, nothing waits for it), web links (http, https) open in a new tab
// without an opener and nothing else opens, diagnostics and warnings go to
// the browser's console. Installs itself as the process's platform for its
// lifetime.
#pragma once

#include "base/platform_services.h"

namespace tolvani::web {

class WebPlatform : public IPlatformServices {
 public:
  WebPlatform();
  ~WebPlatform() override;
  WebPlatform(const WebPlatform&) = delete;
  WebPlatform& operator=(const WebPlatform&) = delete;

  void ShowMessage(const std::u16string& text, MessageIcon icon) override;
  void OpenDocument(const std::u16string& target) override;
  void Diagnostic(std::string_view subsystem, const std::u16string& text) override;
  void Warning(std::string_view subsystem, const std::u16string& text) override;
};

}  // namespace tolvani::web
