// `tolvani simulate FILE SCRIPT`: the player's view logic, headless.
//
// The view is created on the null graphics device and the null sound
// backend with a 640 x 480 viewport, FILE is opened as at start-up (a failed
// open still runs on with what the scene holds), one frame is drawn as by
// the window's first paint, then the script runs one command per line.
// Output is JSON Lines on standard output (play, open, message and state
// events). A malformed script line is reported on standard error with its
// line number and exit status 2, before anything runs.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/native_path.h"
#include "base/platform_services.h"
#include "base/program_directory.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "document/document.h"
#include "model/archive.h"
#include "model/scene_state.h"
#include "playback/player_view.h"
#include "render/null_device.h"
#include "script/script.h"

namespace tolvani::cli {
namespace {

constexpr int kViewportWidth = 640;
constexpr int kViewportHeight = 480;

// One JSON Lines event per writer: the object, a newline, a flush.
class Event {
 public:
  explicit Event(const char* name) : json_(stdout) {
    json_.BeginObject();
    json_.Key("event");
    json_.Utf8String(name);
  }
  ~Event() {
    json_.EndObject();
    json_.Finish();
  }
  JsonWriter& json() { return json_; }

 private:
  JsonWriter json_;
};

// Messages and open requests become events; diagnostics go to stderr.
class EventPlatform : public IPlatformServices {
 public:
  void ShowMessage(const std::u16string& text, MessageIcon) override {
    Event e("message");
    e.json().Key("text");
    e.json().String(text);
  }
  void OpenDocument(const std::u16string& target) override {
    Event e("open");
    e.json().Key("target");
    e.json().String(target);
  }
  void Diagnostic(std::string_view subsystem, const std::u16string& text) override {
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(subsystem.size()), subsystem.data(),
                 ToUtf8(text).c_str());
  }
};

// Every sound request the view makes, with its result; requests without a
// name are not reported.
void ReportPlay(const std::u16string& name, bool loop, int32_t result) {
  if (name.empty()) return;
  Event e("play");
  e.json().Key("name");
  e.json().String(name);
  e.json().Key("loop");
  e.json().Bool(loop);
  e.json().Key("ok");
  e.json().Bool(result >= 0);
}

// The window around the headless view: a repaint request is remembered and
// served after the tick, as the window's paint would.
class HeadlessHost : public IViewHost {
 public:
  void StartTimer(int) override {}
  void Invalidate() override { invalidated = true; }
  void SetCapture() override { ++captures; }
  void ReleaseCapture() override { --captures; }
  bool invalidated = false;
  int captures = 0;
};

void WriteState(const CPlayerView& view, const NullGraphicsDevice& device) {
  const CCoreMotion3D* s = SceneState.sceneRoot;
  Event e("state");
  JsonWriter& json = e.json();
  json.Key("currentStep");
  json.Int(s ? s->currentStep : -1);
  json.Key("previousStep");
  json.Int(view.previousStep);
  json.Key("stepProgress");
  json.Float(view.stepProgress);
  json.Key("fadeLevel");
  json.Float(s ? s->fadeLevel : 0.0f);
  json.Key("advanceRequested");
  json.Bool(s && s->advanceRequested);
  json.Key("pickedModel");
  json.Int(s ? s->pickedModel : -1);
  json.Key("spinSpeed");
  json.Float(view.spinSpeed);
  const CMotion camera = s ? s->camera : CMotion{};
  json.Key("camera");
  WriteMotion(json, camera);
  json.Key("models");
  json.BeginArray();
  if (s) {
    for (const CModel& m : s->models) {
      json.BeginObject();
      json.Key("visible");
      json.Bool(m.visible);
      json.Key("currentAnimation");
      json.Int(m.currentAnimation);
      json.Key("animationFrame");
      json.Int(m.animationFrame);
      json.EndObject();
    }
  }
  json.EndArray();
  json.Key("soundPlayed");
  json.BeginArray();
  for (const CTimeLine& line : SceneState.timeLines) json.Bool(line.soundPlayed);
  json.EndArray();
  json.Key("frames");
  json.UInt(device.presentCount());
}

// The null device compiles nothing: it only needs a shader source that
// names the entry points. When none lies beside the program (a build
// without the player's files), a stand-in in a private folder serves for
// the view's creation. Returns the folder to remove afterwards, or "".
std::string ProvideShaderSource() {
  const std::string beside = ToUtf8(ProgramDirectory()) + "DoNotTouch/CoreShader.glsl";
  if (std::ifstream(beside).good()) return {};
  char pattern[] = "/tmp/tolvani-simulate.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return {};
  const std::string dir = std::string(pattern) + "/";
  ::mkdir((dir + "DoNotTouch").c_str(), 0700);
  std::ofstream(dir + "DoNotTouch/CoreShader.glsl") << "VS PS PS_TEX\n";
  Platform().Diagnostic("simulate", u"no shader source beside the program; using a stand-in");
  SetProgramDirectoryForTests(FromUtf8(dir));
  return dir;
}

void RemoveShaderSource(const std::string& dir) {
  if (dir.empty()) return;
  SetProgramDirectoryForTests(u"");
  std::remove((dir + "DoNotTouch/CoreShader.glsl").c_str());
  ::rmdir((dir + "DoNotTouch").c_str());
  ::rmdir(dir.c_str());
}

}  // namespace

int RunSimulate(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::fprintf(stderr,
                 "usage: tolvani simulate FILE SCRIPT   (SCRIPT '-' reads standard input)\n");
    return 2;
  }
  std::vector<script::Command> commands;
  std::string why;
  if (!script::ReadScript(args[1], &commands, &why)) {
    std::fprintf(stderr, "tolvani simulate: %s\n", why.c_str());
    return 2;
  }

  EventPlatform platform;
  SetPlatform(&platform);
  EnsureSceneRoot();
  NullGraphicsDevice device;
  device.SetKeepBufferContents(false);
  HeadlessHost host;
  CPlayerDoc document;
  CPlayerView view;
  view.SetHost(&host);
  view.AttachDocument(&document);
  const std::string standIn = ProvideShaderSource();
  const int created = view.OnCreate(&device, nullptr, std::make_unique<NullSoundBackend>());
  RemoveShaderSource(standIn);
  if (created < 0) {
    std::fprintf(stderr, "tolvani simulate: the view could not be created\n");
    view.OnDestroy();
    view.AttachDocument(nullptr);
    SetPlatform(nullptr);
    return 1;
  }
  SceneState.audio->onPlay = ReportPlay;
  view.OnSize(kViewportWidth, kViewportHeight);
  document.OnOpenDocument(FromNativePath(args[0]));
  view.OnUpdate(0);
  view.OnDraw();  // the window's first paint
  host.invalidated = false;

  for (const script::Command& c : commands) {
    switch (c.cmd) {
      case script::Cmd::Tick:
        for (long i = 0; i < c.a; ++i) {
          host.invalidated = false;
          view.OnTimer();
          if (host.invalidated) view.OnDraw();
          host.invalidated = false;
        }
        break;
      case script::Cmd::Draw:
        view.OnDraw();
        break;
      case script::Cmd::State:
        WriteState(view, device);
        break;
      default:
        script::ApplyInput(c, view, document);
        break;
    }
  }

  view.OnDestroy();
  view.AttachDocument(nullptr);
  SetPlatform(nullptr);
  return 0;
}

}  // namespace tolvani::cli
