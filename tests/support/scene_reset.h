// Tearing the process-wide scene down between tests, and a fresh scene in a
// stand-in program directory for the length of a test.
#pragma once

#include <functional>
#include <string>

namespace tolvani {

// Destroys the scene root (if any) and the sound container (if any), clears
// the timelines and fileVersion.
void ResetSceneStateForTests();

namespace testing {

// For its lifetime: a scene state with nothing left from an earlier test and
// the program directory pointed at a fresh folder whose
// DoNotTouch/CoreShader.glsl holds shaderText (the null device compiles an
// entry point when its name appears in the text). Afterwards the scene state
// is reset again and the default program directory restored. Declare it
// before the view, the document and the device of a fixture.
class FreshScene {
 public:
  explicit FreshScene(const std::string& shaderText = "VS PS PS_TEX");
  ~FreshScene();
  FreshScene(const FreshScene&) = delete;
  FreshScene& operator=(const FreshScene&) = delete;

  // The stand-in program directory, with a trailing '/'.
  const std::string& programDirectory() const { return programDirectory_; }

 private:
  std::string programDirectory_;
};

// Opens the project at `path` as the player does, with a null graphics
// device and sound backend and a recording platform, calls `read` while the
// scene is open, then resets the scene. Returns whether the project opened
// (`read` is called either way, so it sees what a failed open leaves).
bool WithOpenedProject(const std::string& path, const std::function<void()>& read);

}  // namespace testing
}  // namespace tolvani
