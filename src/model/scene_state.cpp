// The process-wide scene state and the program directory.
#include "model/scene_state.h"

#include <unistd.h>

#include "audio/audio.h"
#include "model/archive.h"

namespace tolvani {

SceneStateT SceneState;

namespace {
std::u16string& ProgramDirectoryOverride() {
  static std::u16string dir;
  return dir;
}
}  // namespace

void EnsureSceneRoot() {
  if (!SceneState.sceneRoot) SceneState.sceneRoot = new CCoreMotion3D();
}

void ResetSceneStateForTests() {
  delete SceneState.audio;
  SceneState.audio = nullptr;
  delete SceneState.sceneRoot;
  SceneState.sceneRoot = nullptr;
  SceneState.timeLines.clear();
  SceneState.fileVersion = 0.0f;
}

std::u16string ProgramDirectory() {
  if (!ProgramDirectoryOverride().empty()) return ProgramDirectoryOverride();
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return u"./";
  std::string path(buf, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  path.erase(slash == std::string::npos ? 0 : slash + 1);
  if (path.empty()) path = "./";
  return FromUtf8(path);
}

void SetProgramDirectoryForTests(const std::u16string& dir) {
  std::u16string d = dir;
  if (!d.empty() && d.back() != u'/') d.push_back(u'/');
  ProgramDirectoryOverride() = d;
}

}  // namespace tolvani
