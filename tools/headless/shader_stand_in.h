// The null graphics device compiles nothing: the renderer's creation only
// needs a shader source that names the entry points. When none lies beside
// the program (a build without the player's files, or `tolvani` installed
// apart from them), a ShaderStandIn points the program directory at a
// private folder holding one, for as long as it lives; then it puts the
// program directory back and removes the folder.
//
// Hold one only around the view's creation: while it lives the start-up
// project and the help page are looked for in the private folder.
#pragma once

#include <string>

namespace tolvani::headless {

class ShaderStandIn {
 public:
  // subsystem: the name the diagnostic is reported under ("simulate").
  explicit ShaderStandIn(const char* subsystem);
  ~ShaderStandIn();
  ShaderStandIn(const ShaderStandIn&) = delete;
  ShaderStandIn& operator=(const ShaderStandIn&) = delete;

  // Whether the stand-in is in use (no source beside the program and the
  // private folder could be made).
  bool active() const { return !folder_.empty(); }

 private:
  std::string folder_;       // with a trailing '/'; empty when not in use
  std::u16string previous_;  // the program directory to restore
};

}  // namespace tolvani::headless
