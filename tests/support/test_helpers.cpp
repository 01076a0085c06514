#include "support/test_helpers.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "base/text_conversion.h"

namespace tolvani::testing {

namespace {

// The folders this process made, removed when it exits (not by a forked
// child that exits: it shares them with its parent).
struct TempDirs {
  pid_t owner = ::getpid();
  std::vector<std::string> made;
  ~TempDirs() {
    if (::getpid() != owner) return;
    std::error_code ignored;
    for (const std::string& dir : made) std::filesystem::remove_all(dir, ignored);
  }
};

TempDirs& MadeDirs() {
  static TempDirs dirs;
  return dirs;
}

}  // namespace

std::string MakeTempDir() {
  const char* base = std::getenv("TMPDIR");
  const std::string root = std::string(base && *base ? base : "/tmp") + "/tolvani-test-";
  // Names from the system's entropy rather than mkdtemp's: the WebAssembly
  // C library draws them from a millisecond clock, so runs repeat names and
  // collide with the folders that earlier runs left.
  static std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[17];
    std::snprintf(name, sizeof name, "%08x%08x", entropy(), entropy());
    const std::string dir = root + name;
    if (::mkdir(dir.c_str(), 0700) == 0) {
      MadeDirs().made.push_back(dir);
      return dir + "/";
    }
    if (errno != EEXIST) break;
  }
  throw std::runtime_error("cannot make a temporary folder under " + root);
}

std::string MakeProgramDirectory(const std::string& shaderText) {
  const std::string dir = MakeTempDir();
  if (::mkdir((dir + "DoNotTouch").c_str(), 0700) != 0)
    throw std::runtime_error("mkdir DoNotTouch failed");
  WriteBytes(dir + "DoNotTouch/CoreShader.glsl",
             std::vector<uint8_t>(shaderText.begin(), shaderText.end()));
  return dir;
}

std::string WriteTempFile(const std::vector<uint8_t>& bytes, const std::string& name) {
  const std::string path = MakeTempDir() + name;
  WriteBytes(path, bytes);
  return path;
}

std::u16string U16(const std::string& utf8) {
  return FromUtf8(utf8);
}

std::string RunCommand(const std::string& command, int* status) {
  std::string all;
  *status = -1;
  FILE* out = popen(command.c_str(), "r");
  if (!out) return all;
  std::array<char, 65536> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), out)) > 0) all.append(buf.data(), n);
  const int st = pclose(out);
  if (WIFEXITED(st)) *status = WEXITSTATUS(st);
  return all;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  return lines;
}

// ---------------------------------------------------------------------------

RecordingPlatform::RecordingPlatform() {
  SetPlatform(this);
}
RecordingPlatform::~RecordingPlatform() {
  SetPlatform(nullptr);
}

void RecordingPlatform::ShowMessage(const std::u16string& text, MessageIcon icon) {
  messages.push_back({text, icon});
}
void RecordingPlatform::OpenDocument(const std::u16string& target) {
  opened.push_back(target);
}
void RecordingPlatform::Diagnostic(std::string_view subsystem, const std::u16string& text) {
  diagnostics.emplace_back(std::string(subsystem), text);
}
void RecordingPlatform::Warning(std::string_view subsystem, const std::u16string& text) {
  warnings.emplace_back(std::string(subsystem), text);
}

std::vector<std::u16string> RecordingPlatform::MessageTexts() const {
  std::vector<std::u16string> texts;
  for (const auto& m : messages) texts.push_back(m.text);
  return texts;
}

void RecordingPlatform::Clear() {
  messages.clear();
  opened.clear();
  diagnostics.clear();
  warnings.clear();
}

}  // namespace tolvani::testing
