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

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
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

namespace tolvani::cli {
namespace {

constexpr long kMaxTicksPerLine = 1000000;
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

void WriteVec3(JsonWriter& json, const Vec3& v) {
  json.BeginArray();
  json.Float(v.x);
  json.Float(v.y);
  json.Float(v.z);
  json.EndArray();
}

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

enum class Cmd {
  Size,
  Tick,
  Draw,
  Click,
  LDown,
  LUp,
  RDown,
  RUp,
  DblClk,
  Move,
  KeyDown,
  KeyUp,
  Wheel,
  Open,
  State
};

struct Command {
  Cmd cmd;
  long a = 0, b = 0, c = 0;
  bool hasPoint = false;
  std::string path;
};

bool ParseInt(const std::string& token, long* out) {
  if (token.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(token.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < -2147483647L || v > 2147483647L) return false;
  *out = v;
  return true;
}

bool ParseKey(const std::string& token, long* out) {
  static const struct {
    const char* name;
    long code;
  } kKeys[] = {{"Left", 0x25}, {"Up", 0x26}, {"Right", 0x27}, {"Down", 0x28},
               {"A", 0x41},    {"D", 0x44},  {"W", 0x57},     {"S", 0x53}};
  for (const auto& k : kKeys) {
    if (token == k.name) {
      *out = k.code;
      return true;
    }
  }
  if (token.size() == 4 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    char* end = nullptr;
    const long v = std::strtol(token.c_str() + 2, &end, 16);
    if (*end == '\0' && std::isxdigit(static_cast<unsigned char>(token[2])) &&
        std::isxdigit(static_cast<unsigned char>(token[3]))) {
      *out = v;
      return true;
    }
  }
  return false;
}

// Parses one non-blank, non-comment line; false with *why on error.
bool ParseLine(const std::string& line, Command* out, std::string* why) {
  std::istringstream in(line);
  std::vector<std::string> t;
  for (std::string w; in >> w;) t.push_back(w);
  const std::string& name = t[0];
  const size_t args = t.size() - 1;
  auto need = [&](size_t n) {
    if (args != n) *why = "'" + name + "' takes " + std::to_string(n) + " argument(s)";
    return args == n;
  };
  auto ints = [&](size_t from, std::initializer_list<long*> outs) {
    size_t i = from;
    for (long* o : outs) {
      if (!ParseInt(t[i], o)) {
        *why = "not an integer: '" + t[i] + "'";
        return false;
      }
      ++i;
    }
    return true;
  };
  static const struct {
    const char* name;
    Cmd cmd;
  } kPointCommands[] = {{"click", Cmd::Click}, {"ldown", Cmd::LDown}, {"lup", Cmd::LUp},
                        {"rdown", Cmd::RDown}, {"rup", Cmd::RUp},     {"dblclk", Cmd::DblClk},
                        {"move", Cmd::Move}};
  for (const auto& pc : kPointCommands) {
    if (name == pc.name) {
      out->cmd = pc.cmd;
      return need(2) && ints(1, {&out->a, &out->b});
    }
  }
  if (name == "size") {
    out->cmd = Cmd::Size;
    return need(2) && ints(1, {&out->a, &out->b});
  }
  if (name == "tick") {
    out->cmd = Cmd::Tick;
    out->a = 1;
    if (args > 1) {
      *why = "'tick' takes at most 1 argument";
      return false;
    }
    if (args == 1 && !ints(1, {&out->a})) return false;
    if (out->a < 0 || out->a > kMaxTicksPerLine) {
      *why = "tick count out of range (0 to " + std::to_string(kMaxTicksPerLine) + ")";
      return false;
    }
    return true;
  }
  if (name == "draw" || name == "state") {
    out->cmd = name == "draw" ? Cmd::Draw : Cmd::State;
    return need(0);
  }
  if (name == "keydown" || name == "keyup") {
    out->cmd = name == "keydown" ? Cmd::KeyDown : Cmd::KeyUp;
    if (!need(1)) return false;
    if (!ParseKey(t[1], &out->a)) {
      *why = "unknown key '" + t[1] + "'";
      return false;
    }
    return true;
  }
  if (name == "wheel") {
    out->cmd = Cmd::Wheel;
    if (args != 1 && args != 3) {
      *why = "'wheel' takes DELTA [X Y]";
      return false;
    }
    out->hasPoint = args == 3;
    return args == 1 ? ints(1, {&out->a}) : ints(1, {&out->a, &out->b, &out->c});
  }
  if (name == "open") {
    out->cmd = Cmd::Open;
    // The path is the rest of the line, so it may contain spaces.
    const size_t at = line.find("open");
    std::string path = line.substr(at + 4);
    const size_t first = path.find_first_not_of(" \t");
    const size_t last = path.find_last_not_of(" \t\r");
    if (first == std::string::npos) {
      *why = "'open' needs a file";
      return false;
    }
    out->path = path.substr(first, last - first + 1);
    return true;
  }
  *why = "unknown command '" + name + "'";
  return false;
}

bool ReadScript(const std::string& source, std::vector<Command>* commands) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (source != "-") {
    file.open(source, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "tolvani simulate: cannot read script '%s'\n", source.c_str());
      return false;
    }
    in = &file;
  }
  std::string line;
  size_t number = 0;
  while (std::getline(*in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    Command c;
    std::string why;
    if (!ParseLine(line.substr(first), &c, &why)) {
      std::fprintf(stderr, "tolvani simulate: line %zu: %s\n", number, why.c_str());
      return false;
    }
    commands->push_back(std::move(c));
  }
  return true;
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
  json.BeginObject();
  json.Key("position");
  WriteVec3(json, camera.position);
  json.Key("rotation");
  WriteVec3(json, camera.rotation);
  json.Key("scale");
  WriteVec3(json, camera.scale);
  json.Key("pivot");
  WriteVec3(json, camera.pivot);
  json.EndObject();
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
  std::vector<Command> commands;
  if (!ReadScript(args[1], &commands)) return 2;

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

  for (const Command& c : commands) {
    const int x = static_cast<int>(c.a), y = static_cast<int>(c.b);
    switch (c.cmd) {
      case Cmd::Size:
        view.OnSize(x, y);
        break;
      case Cmd::Tick:
        for (long i = 0; i < c.a; ++i) {
          host.invalidated = false;
          view.OnTimer();
          if (host.invalidated) view.OnDraw();
          host.invalidated = false;
        }
        break;
      case Cmd::Draw:
        view.OnDraw();
        break;
      case Cmd::Click:
        view.OnLButtonDown(x, y);
        view.OnLButtonUp(x, y);
        break;
      case Cmd::LDown:
        view.OnLButtonDown(x, y);
        break;
      case Cmd::LUp:
        view.OnLButtonUp(x, y);
        break;
      case Cmd::RDown:
        view.OnRButtonDown(x, y);
        break;
      case Cmd::RUp:
        view.OnRButtonUp(x, y);
        break;
      case Cmd::DblClk:
        view.OnLButtonDblClk(x, y);
        break;
      case Cmd::Move:
        view.OnMouseMove(x, y);
        break;
      case Cmd::KeyDown:
        view.OnKeyDown(static_cast<uint32_t>(c.a));
        break;
      case Cmd::KeyUp:
        view.OnKeyUp(static_cast<uint32_t>(c.a));
        break;
      case Cmd::Wheel:
        view.OnMouseWheel(static_cast<int>(c.a), c.hasPoint ? static_cast<int>(c.b) : 0,
                          c.hasPoint ? static_cast<int>(c.c) : 0);
        break;
      case Cmd::Open:
        document.OpenDocumentFile(FromNativePath(c.path));
        break;
      case Cmd::State:
        WriteState(view, device);
        break;
    }
  }

  view.OnDestroy();
  view.AttachDocument(nullptr);
  SetPlatform(nullptr);
  return 0;
}

}  // namespace tolvani::cli
