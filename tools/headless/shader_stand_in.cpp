#include "headless/shader_stand_in.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "base/native_path.h"
#include "base/platform_services.h"
#include "base/program_directory.h"

namespace tolvani::headless {

namespace {
constexpr char kShaderPath[] = "DoNotTouch/CoreShader.glsl";
// The entry points the renderer compiles; the null device looks for the
// names in the text.
constexpr char kEntryNames[] = "VS PS PS_TEX\n";
}  // namespace

ShaderStandIn::ShaderStandIn(const char* subsystem) {
  const std::string beside = ToNativePath(ProgramDirectory()) + kShaderPath;
  if (std::ifstream(beside).good()) return;
  char pattern[] = "/tmp/tolvani-simulate.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return;
  folder_ = std::string(pattern) + "/";
  ::mkdir((folder_ + "DoNotTouch").c_str(), 0700);
  std::ofstream(folder_ + kShaderPath) << kEntryNames;
  Platform().Diagnostic(subsystem, u"no shader source beside the program; using a stand-in");
  previous_ = ProgramDirectory();
  SetProgramDirectory(FromNativePath(folder_));
}

ShaderStandIn::~ShaderStandIn() {
  if (folder_.empty()) return;
  SetProgramDirectory(previous_);
  std::remove((folder_ + kShaderPath).c_str());
  ::rmdir((folder_ + "DoNotTouch").c_str());
  ::rmdir(folder_.c_str());
}

}  // namespace tolvani::headless
