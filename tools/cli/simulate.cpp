// `tolvani simulate FILE SCRIPT`: the player's view logic, headless.
//
// The view is created on the null graphics device and the null sound
// backend with a 640 x 480 viewport, FILE is opened as at start-up (a failed
// open still runs on with what the scene holds), one frame is drawn as by
// the window's first paint, then the script runs one command per line.
// Output is JSON Lines on standard output (play, open, message and state
// events). A malformed script line is reported on standard error with its
// line number and exit status 2, before anything runs.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "headless/headless_view.h"
#include "headless/shader_stand_in.h"
#include "headless/tool_platform.h"
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

  // Messages and open requests become events; diagnostics go to stderr.
  headless::ToolPlatform platform(headless::ToolPlatform::Diagnostics::StandardError);
  platform.onMessage = [](const std::u16string& text) {
    Event e("message");
    e.json().Key("text");
    e.json().String(text);
  };
  platform.onOpen = [](const std::u16string& target) {
    Event e("open");
    e.json().Key("target");
    e.json().String(target);
  };
  NullGraphicsDevice device;
  device.SetKeepBufferContents(false);
  headless::HeadlessView headless;
  CPlayerView& view = headless.view();
  int created;
  {
    const headless::ShaderStandIn standIn("simulate");
    created = headless.Create(&device, nullptr, std::make_unique<NullSoundBackend>());
  }
  if (created < 0) {
    std::fprintf(stderr, "tolvani simulate: the view could not be created\n");
    return 1;
  }
  SceneState.audio->onPlay = ReportPlay;
  view.OnSize(kViewportWidth, kViewportHeight);
  headless.Open(args[0]);
  headless.Draw();  // the window's first paint

  for (const script::Command& c : commands) {
    switch (c.cmd) {
      case script::Cmd::Tick:
        for (long i = 0; i < c.a; ++i) headless.Tick();
        break;
      case script::Cmd::Draw:
        headless.Draw();
        break;
      case script::Cmd::State:
        WriteState(view, device);
        break;
      default:
        script::ApplyInput(c, view, headless.document());
        break;
    }
  }
  return 0;
}

}  // namespace tolvani::cli
