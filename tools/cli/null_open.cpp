#include "cli/null_open.h"

#include <memory>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/native_path.h"
#include "document/document.h"
#include "headless/headless_view.h"
#include "model/scene_state.h"
#include "render/null_device.h"

namespace tolvani::cli {

bool OpenWithNullDevices(const std::string& file, const std::function<void(bool ok)>& whileOpen) {
  NullGraphicsDevice device;
  // Nothing reads the device's copies back here; keep memory to the scene.
  device.SetKeepBufferContents(false);
  device.SetKeepTextureContents(false);
  bool ok = false;
  {
    // The view's reset runs after the open, as in the player; the device
    // and the sound container stand in for the view's creation.
    headless::HeadlessView headless;
    SceneState.sceneRoot->render.device = &device;
    SceneState.audio = new CAudio(std::make_unique<NullSoundBackend>(true));
    ok = headless.document().OnOpenDocument(FromNativePath(file));
    if (whileOpen) whileOpen(ok);
  }
  // Teardown in the player's order: device objects, sounds, scene root.
  SceneState.sceneRoot->ResetScene();
  delete SceneState.audio;
  SceneState.audio = nullptr;
  delete SceneState.sceneRoot;
  SceneState.sceneRoot = nullptr;
  SceneState.timeLines.clear();
  return ok;
}

}  // namespace tolvani::cli
