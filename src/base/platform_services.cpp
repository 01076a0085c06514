// Default platform services: everything goes to standard error.
#include "base/platform_services.h"

#include <cstdio>

#include "base/text_conversion.h"

namespace tolvani {

namespace {

class StderrServices : public IPlatformServices {
 public:
  void ShowMessage(const std::u16string& text, MessageIcon) override {
    std::fprintf(stderr, "message: %s\n", ToUtf8(text).c_str());
  }
  void OpenDocument(const std::u16string& target) override {
    std::fprintf(stderr, "open: %s\n", ToUtf8(target).c_str());
  }
  void Diagnostic(std::string_view subsystem, const std::u16string& text) override {
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(subsystem.size()), subsystem.data(),
                 ToUtf8(text).c_str());
  }
};

StderrServices& DefaultServices() {
  static StderrServices services;
  return services;
}

IPlatformServices* g_services = nullptr;

}  // namespace

IPlatformServices& Platform() {
  return g_services ? *g_services : DefaultServices();
}

void SetPlatform(IPlatformServices* services) {
  g_services = services;
}

}  // namespace tolvani
