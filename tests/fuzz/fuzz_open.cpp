// libFuzzer target: the player's open sequence on arbitrary bytes, read from
// memory: the document's own reset, read, preparation (null device, null
// sound backend), start state and the view's reset, in the order of
// CPlayerDoc::OnOpenDocument. After each input the scene is reset
// and every device object and voice must be gone (leaks abort).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/platform_services.h"
#include "document/document.h"
#include "model/archive.h"
#include "model/scene_state.h"
#include "playback/player_view.h"
#include "render/null_device.h"

using namespace tolvani;

namespace {

class QuietServices : public IPlatformServices {
 public:
  void ShowMessage(const std::u16string&, MessageIcon) override {}
  void OpenDocument(const std::u16string&) override {}
  void Diagnostic(std::string_view, const std::u16string&) override {}
};

struct Session {
  QuietServices services;
  NullSoundBackend* backend = nullptr;
  CPlayerDoc document;
  CPlayerView view;
  Session() {
    SetPlatform(&services);
    EnsureSceneRoot();
    auto b = std::make_unique<NullSoundBackend>(true);
    backend = b.get();
    SceneState.audio = new CAudio(std::move(b));
    view.AttachDocument(&document);
  }
};

[[noreturn]] void Leak(const char* what, size_t count) {
  std::fprintf(stderr, "leak after the input: %zu %s\n", count, what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Session* session = new Session();
  CCoreMotion3D& root = *SceneState.sceneRoot;
  NullGraphicsDevice device;
  root.render.device = &device;

  CPlayerDoc::ResetScene();
  bool ok = true;
  if (size > 0) {
    try {
      CArchive ar(data, size);
      session->document.Serialize(ar);
    } catch (...) {
      (void)LoadErrorMessage(std::current_exception(), u"fuzz.zvmov");
      ok = false;
    }
  }
  if (ok) {
    CPlayerDoc::PrepareScene();
    CPlayerDoc::SetStartState();
    session->document.UpdateAllViews(1);
  }

  // Everything made for this input must be released by the resets.
  root.ResetScene();
  SceneState.audio->ReleaseVoices();
  root.render.device = nullptr;
  if (device.LiveObjectCount() != 0) Leak("device objects", device.LiveObjectCount());
  if (!session->backend->voices().empty()) Leak("voices", session->backend->voices().size());
  return 0;
}
