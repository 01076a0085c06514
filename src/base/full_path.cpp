#include "base/full_path.h"

#include <unistd.h>

#include <string_view>
#include <vector>

#include "base/native_path.h"

namespace tolvani {

namespace {

std::u16string CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (buffer.size() >= (1u << 20)) return u"/";
    buffer.resize(buffer.size() * 2);
  }
  return FromNativePath(buffer.data());  // the directory's own bytes
}

}  // namespace

std::u16string FullPath(const std::u16string& path) {
  if (path.empty()) return path;
  const std::u16string whole = path.front() == u'/' ? path : CurrentDirectory() + u"/" + path;
  std::vector<std::u16string_view> parts;
  const std::u16string_view text(whole);
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find(u'/', at);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view part = text.substr(at, end - at);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::u16string out;
  for (std::u16string_view part : parts) {
    out += u'/';
    out += part;
  }
  return out.empty() ? u"/" : out;
}

}  // namespace tolvani
