// libFuzzer target: the player's open sequence on arbitrary bytes, read from
// memory: the document's own reset, read, preparation (null device, null
// sound backend), start state and the view's reset, in the order of
// CPlayerDoc::OnOpenDocument. Then the view plays what was opened: a few
// ticks with their frames, a click at the centre, a wheel notch and one more
// frame, so playback and drawing are fuzzed as well as the reader. After
// each input the scene is reset and every device object and voice made for
// it must be gone (leaks abort).
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/platform_services.h"
#include "base/program_directory.h"
#include "base/text_conversion.h"
#include "document/document.h"
#include "model/archive.h"
#include "model/scene_state.h"
#include "playback/player_view.h"
#include "render/balloon_text.h"
#include "render/null_device.h"

using namespace tolvani;

namespace {

class QuietServices : public IPlatformServices {
 public:
  void ShowMessage(const std::u16string&, MessageIcon) override {}
  void OpenDocument(const std::u16string&) override {}
  void Diagnostic(std::string_view, const std::u16string&) override {}
};

[[noreturn]] void Fail(const char* what) {
  std::perror(what);
  std::abort();
}

// A stand-in program directory whose shader file names every entry point
// (the null device compiles an entry when its name is in the text).
std::u16string MakeProgramDirectory() {
  char pattern[] = "/tmp/tolvani-fuzz-XXXXXX";
  if (!mkdtemp(pattern)) Fail("mkdtemp");
  const std::string dir = std::string(pattern) + "/";
  if (mkdir((dir + "DoNotTouch").c_str(), 0700) != 0) Fail("mkdir");
  FILE* f = std::fopen((dir + "DoNotTouch/CoreShader.glsl").c_str(), "w");
  if (!f) Fail("shader file");
  std::fputs("VS PS PS_TEX\n", f);
  std::fclose(f);
  return FromUtf8(dir);
}

struct Session {
  QuietServices services;
  NullGraphicsDevice device;
  NullSoundBackend* backend = nullptr;
  CPlayerDoc document;
  CPlayerView view;
  size_t baselineObjects = 0;
  int64_t clock = 0;
  Session() {
    SetPlatform(&services);
    SetProgramDirectory(MakeProgramDirectory());
    // Only sizes are needed; copies of large buffers would slow every run.
    device.SetKeepBufferContents(false);
    device.SetKeepTextureContents(false);
    EnsureSceneRoot();
    auto b = std::make_unique<NullSoundBackend>(true);
    backend = b.get();
    view.AttachDocument(&document);
    if (view.OnCreate(&device, nullptr, std::move(b)) != 0) Fail("renderer");
    view.OnSize(640, 480);
    // Ten seconds pass between inputs, so links keep being opened.
    view.links.SetClock([this] { return clock; });
    baselineObjects = device.LiveObjectCount();
  }
};

[[noreturn]] void Leak(const char* what, size_t count) {
  std::fprintf(stderr, "leak after the input: %zu %s\n", count, what);
  std::abort();
}

// What a viewer does first with an opened story.
void Play(CPlayerView& view) {
  view.OnDraw();  // the first paint
  for (int i = 0; i < 3; ++i) {
    view.OnTimer();
    view.OnDraw();
  }
  view.OnLButtonDown(320, 240);
  view.OnLButtonUp(320, 240);
  view.OnMouseWheel(-120, 320, 240);
  view.OnTimer();
  view.OnDraw();
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
  // A failed read still leaves a partly filled scene on screen.
  Play(session->view);

  // Everything made for this input must be released by the resets.
  root.ResetScene();
  ReleaseBalloonCards(root);
  SceneState.audio->ReleaseVoices();
  NullGraphicsDevice& device = session->device;
  if (device.LiveObjectCount() != session->baselineObjects)
    Leak("device objects", device.LiveObjectCount() - session->baselineObjects);
  if (!session->backend->voices().empty()) Leak("voices", session->backend->voices().size());
  device.ClearRecords();
  return 0;
}
