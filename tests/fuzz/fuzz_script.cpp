// libFuzzer target: the command lines the tools read. The first byte picks
// what the rest is:
//   even: a script of `simulate` and `render --script`; when it parses, its
//         input commands run on a headless view (null device, null sound;
//         ticks capped, `open` skipped so no file is touched);
//   odd:  the arguments of `render` and `thumbnail`, separated by NUL bytes.
// Parsing must refuse or accept every input without a crash, a leak or an
// allocation beyond the script bounds.
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audio/null_sound_backend.h"
#include "base/platform_services.h"
#include "base/program_directory.h"
#include "base/text_conversion.h"
#include "document/document.h"
#include "headless/tool_platform.h"
#include "model/scene_state.h"
#include "playback/player_view.h"
#include "render/null_device.h"
#include "render_tool/render_options.h"
#include "script/script.h"

using namespace tolvani;

namespace {

constexpr long kMaxTicksPerInput = 8;

[[noreturn]] void Fail(const char* what) {
  std::perror(what);
  std::abort();
}

// A program directory whose shader file names every entry point.
std::u16string MakeProgramDirectory() {
  char pattern[] = "/tmp/tolvani-fuzz-script-XXXXXX";
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
  headless::ToolPlatform services{headless::ToolPlatform::Diagnostics::Dropped};
  NullGraphicsDevice device;
  CPlayerDoc document;
  CPlayerView view;
  Session() {
    SetPlatform(&services);
    SetProgramDirectory(MakeProgramDirectory());
    device.SetKeepBufferContents(false);
    EnsureSceneRoot();
    view.AttachDocument(&document);
    if (view.OnCreate(&device, nullptr, std::make_unique<NullSoundBackend>(true)) != 0) {
      Fail("renderer");
    }
    view.OnSize(640, 480);
  }
};

void RunScript(std::string_view text) {
  std::vector<script::Command> commands;
  std::string why;
  if (!script::ParseScript(text, &commands, &why)) {
    if (why.empty()) Fail("a refused script without a reason");
    return;
  }
  static Session* session = new Session();
  CPlayerView& view = session->view;
  long ticks = 0;
  for (const script::Command& c : commands) {
    switch (c.cmd) {
      case script::Cmd::Tick:
        for (long i = 0; i < c.a && ticks < kMaxTicksPerInput; ++i, ++ticks) {
          view.OnTimer();
          view.OnDraw();
        }
        break;
      case script::Cmd::Draw:
        view.OnDraw();
        break;
      case script::Cmd::Open:
      case script::Cmd::State:
        break;
      default:
        script::ApplyInput(c, view, session->document);
        break;
    }
  }
  view.OnSize(640, 480);
  session->device.ClearRecords();
}

void ParseArguments(std::string_view bytes) {
  std::vector<std::string> args;
  for (size_t at = 0; at <= bytes.size();) {
    size_t end = bytes.find('\0', at);
    if (end == std::string_view::npos) end = bytes.size();
    args.emplace_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  std::string why;
  render_tool::RenderOptions render;
  if (render_tool::ParseRenderOptions(args, &render, &why)) {
    if (render.width < render_tool::kMinRenderSide || render.width > render_tool::kMaxRenderSide ||
        render.height < render_tool::kMinRenderSide ||
        render.height > render_tool::kMaxRenderSide) {
      Fail("a render size out of range was accepted");
    }
  }
  render_tool::ThumbnailOptions thumbnail;
  if (render_tool::ParseThumbnailOptions(args, &thumbnail, &why)) {
    if (thumbnail.size < 1 || thumbnail.size > render_tool::kMaxThumbnailSide) {
      Fail("a thumbnail size out of range was accepted");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] % 2 == 0) {
    RunScript(rest);
  } else {
    ParseArguments(rest);
  }
  return 0;
}
