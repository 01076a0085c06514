// Helpers shared by the tests: temporary files and directories, a stand-in
// program directory, and a platform that records instead of showing.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/platform_services.h"
#include "base/program_directory.h"
#include "builder/project_builder.h"

// Skips a test that needs what a WebAssembly build under Node lacks:
// starting another program (popen of the native tools), glibc's heap
// statistics, or Linux's errno for a file-system corner. `why` says which.
#if defined(__EMSCRIPTEN__)
#define TOLVANI_SKIP_IN_WASM(why) GTEST_SKIP() << "not under WebAssembly: " << why
#else
#define TOLVANI_SKIP_IN_WASM(why) static_cast<void>(0)
#endif

namespace tolvani::testing {

using namespace tolvani::builder;

// Writes bytes to a new file `name` in a fresh private temporary directory;
// returns its path.
std::string WriteTempFile(const std::vector<uint8_t>& bytes,
                          const std::string& name = "project.zvmov");
// A fresh private temporary directory (with a trailing '/'), removed with
// its contents when the process exits.
std::string MakeTempDir();
// A fresh directory to stand in for the program's own: it holds
// DoNotTouch/CoreShader.glsl with shaderText (the null device compiles an
// entry point when its name appears in the text).
std::string MakeProgramDirectory(const std::string& shaderText = "VS PS PS_TEX");
std::u16string U16(const std::string& utf8);

// Runs a shell command and returns its standard output; *status gets its
// exit status, -1 when it did not exit normally.
std::string RunCommand(const std::string& command, int* status);
// The lines of text, without their '\n'; an unterminated last line is
// dropped (a tool's output always ends its lines).
std::vector<std::string> Lines(const std::string& text);

// Records what the core asks of the desktop; installs itself for its
// lifetime, so no test ever blocks on a message box.
class RecordingPlatform : public IPlatformServices {
 public:
  RecordingPlatform();
  ~RecordingPlatform() override;

  struct Message {
    std::u16string text;
    MessageIcon icon;
  };
  std::vector<Message> messages;
  std::vector<std::u16string> opened;
  std::vector<std::pair<std::string, std::u16string>> diagnostics;
  std::vector<std::pair<std::string, std::u16string>> warnings;

  void ShowMessage(const std::u16string& text, MessageIcon icon) override;
  void OpenDocument(const std::u16string& target) override;
  void Diagnostic(std::string_view subsystem, const std::u16string& text) override;
  void Warning(std::string_view subsystem, const std::u16string& text) override;

  std::vector<std::u16string> MessageTexts() const;
  void Clear();
};

}  // namespace tolvani::testing
