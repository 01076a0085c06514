// libFuzzer target: the player's open sequence on arbitrary bytes, read from
// memory: the document's own reset, read, preparation (null device, null
// sound backend), start state and the view's reset, in the order of
// CPlayerDoc::OnOpenDocument. Then the view plays what was opened: a few
// ticks with their frames, a click at the centre, a wheel notch and one more
// frame, so playback and drawing are fuzzed as well as the reader. After
// each input the scene is reset and every device object and voice made for
// it must be gone (leaks abort).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/program_directory.h"
#include "document/document.h"
#include "headless/headless_view.h"
#include "model/archive.h"
#include "model/scene_state.h"
#include "playback/player_view.h"
#include "render/balloon_text.h"
#include "render/null_device.h"
#include "support/test_helpers.h"

using namespace tolvani;

namespace {

[[noreturn]] void Fail(const char* what) {
  std::perror(what);
  std::abort();
}

struct Session {
  // Kept requests are cleared after every input, so memory stays flat.
  tolvani::testing::RecordingPlatform platform;
  NullGraphicsDevice device;
  NullSoundBackend* backend = nullptr;
  headless::HeadlessView headless;
  size_t baselineObjects = 0;
  int64_t clock = 0;
  Session() {
    // The null device compiles an entry when its name is in the shader text.
    SetProgramDirectory(tolvani::testing::U16(tolvani::testing::MakeProgramDirectory()));
    // Only sizes are needed; copies of large buffers would slow every run.
    device.SetKeepBufferContents(false);
    device.SetKeepTextureContents(false);
    auto b = std::make_unique<NullSoundBackend>(true);
    backend = b.get();
    if (headless.Create(&device, nullptr, std::move(b)) != 0) Fail("renderer");
    headless.view().OnSize(640, 480);
    // Ten seconds pass between inputs, so links keep being opened.
    headless.view().links.SetClock([this] { return clock; });
    baselineObjects = device.LiveObjectCount();
  }
};

[[noreturn]] void Leak(const char* what, size_t count) {
  std::fprintf(stderr, "leak after the input: %zu %s\n", count, what);
  std::abort();
}

// What a viewer does first with an opened story.
void Play(headless::HeadlessView& headless) {
  CPlayerView& view = headless.view();
  headless.Draw();  // the first paint
  for (int i = 0; i < 3; ++i) headless.Tick();
  view.OnLButtonDown(320, 240);
  view.OnLButtonUp(320, 240);
  view.OnMouseWheel(-120, 320, 240);
  headless.Tick();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Session* session = new Session();
  CCoreMotion3D& root = *SceneState.sceneRoot;
  session->clock += LinkOpener::kWindowMs;

  CPlayerDoc::ResetScene();
  bool ok = true;
  if (size > 0) {
    try {
      CArchive ar(data, size);
      session->headless.document().Serialize(ar);
    } catch (...) {
      (void)LoadErrorMessage(std::current_exception(), u"fuzz.zvmov");
      ok = false;
    }
  }
  if (ok) {
    CPlayerDoc::PrepareScene();
    CPlayerDoc::SetStartState();
    session->headless.document().UpdateAllViews(1);
  }
  // A failed read still leaves a partly filled scene on screen.
  Play(session->headless);

  // Everything made for this input must be released by the resets.
  root.ResetScene();
  ReleaseBalloonCards(root);
  SceneState.audio->ReleaseVoices();
  NullGraphicsDevice& device = session->device;
  if (device.LiveObjectCount() != session->baselineObjects)
    Leak("device objects", device.LiveObjectCount() - session->baselineObjects);
  if (!session->backend->voices().empty()) Leak("voices", session->backend->voices().size());
  device.ClearRecords();
  session->platform.Clear();
  return 0;
}
