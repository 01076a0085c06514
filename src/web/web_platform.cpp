#include "web/web_platform.h"

#include <emscripten.h>

#include <string>

#include "base/text_conversion.h"
#include "playback/web_links.h"

namespace tolvani::web {
namespace {

// The page's side (player_glue.js): Module.tolvani.* receive UTF-8 texts.
EM_JS(void, PageShowMessage, (const char* text, int icon),
      { Module.tolvani.showMessage(UTF8ToString(text), icon); });
EM_JS(void, PageOpenLink, (const char* target), { Module.tolvani.openLink(UTF8ToString(target)); });
EM_JS(void, PageConsole, (int warning, const char* line), {
  const text = UTF8ToString(line);
  if (warning)
    console.warn(text);
  else
    console.log(text);
});

std::string Line(std::string_view subsystem, const std::u16string& text) {
  return std::string(subsystem) + ": " + ToUtf8(text);
}

}  // namespace

WebPlatform::WebPlatform() {
  SetPlatform(this);
}

WebPlatform::~WebPlatform() {
  SetPlatform(nullptr);
}

void WebPlatform::ShowMessage(const std::u16string& text, MessageIcon icon) {
  PageShowMessage(ToUtf8(text).c_str(), static_cast<int>(icon));
}

void WebPlatform::OpenDocument(const std::u16string& target) {
  // The page can open web pages only: a local path (the desktop's help
  // page) would resolve against the page's own address.
  if (!IsWebLink(target)) {
    Warning("app", u"not opened (not a web address): " + target);
    return;
  }
  PageOpenLink(ToUtf8(target).c_str());
}

void WebPlatform::Diagnostic(std::string_view subsystem, const std::u16string& text) {
  PageConsole(0, Line(subsystem, text).c_str());
}

void WebPlatform::Warning(std::string_view subsystem, const std::u16string& text) {
  PageConsole(1, Line(subsystem, text).c_str());
}

}  // namespace tolvani::web
