#include "base/program_directory.h"

#if defined(__linux__)
#include <unistd.h>
#endif

#include "base/native_path.h"
#include "base/text_conversion.h"

namespace tolvani {

namespace {
std::u16string& ProgramDirectoryOverride() {
  static std::u16string dir;
  return dir;
}
}  // namespace

std::u16string ProgramDirectory() {
  if (!ProgramDirectoryOverride().empty()) return ProgramDirectoryOverride();
#if defined(__linux__)
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return u"./";
  std::string path(buf, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  path.erase(slash == std::string::npos ? 0 : slash + 1);
  if (path.empty()) path = "./";
  return FromNativePath(path);  // the directory's own bytes, UTF-8 or not
#else
  return u"./";
#endif
}

void SetProgramDirectory(const std::u16string& dir) {
  std::u16string d = dir;
  if (!d.empty() && d.back() != u'/') d.push_back(u'/');
  ProgramDirectoryOverride() = d;
}

}  // namespace tolvani
