// tolvani COMMAND ...: the player's core without a window.
//   tolvani inspect FILE [--geometry]
//   tolvani simulate FILE SCRIPT
//   tolvani web FILE -o DIR [--force]
//   tolvani --help | --version;  tolvani COMMAND --help
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/native_path.h"
#include "base/version.h"
#include "cli/commands.h"
#include "document/document.h"
#include "model/archive.h"

namespace {

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: tolvani inspect FILE [--geometry]\n"
      "       tolvani simulate FILE SCRIPT   (SCRIPT '-' reads standard input)\n"
      "       tolvani render FILE -o OUT [--script SCRIPT | --autoplay] [--size WxH]\n"
      "                      [--max-seconds N] [--quality Q]   (OUT: .mp4, .webm, .png)\n"
      "       tolvani thumbnail FILE OUT.png [--size N]\n"
      "       tolvani web FILE -o DIR [--force]\n"
      "       tolvani COMMAND --help\n"
      "       tolvani --version\n",
      out);
}

constexpr char kInspectHelp[] =
    "usage: tolvani inspect FILE [--geometry]\n"
    "Opens FILE as the player does (null graphics device, null sound backend)\n"
    "and prints the scene as one JSON object: ok, messages, settings, camera,\n"
    "materials, models, timelines and sounds.\n"
    "\n"
    "  --geometry  list every mesh group's vertices as well\n"
    "  -h, --help  show this text\n"
    "\n"
    "Exit status: 0 when the file opened, 1 when it did not or FILE does not end\n"
    "in .zvmov, 2 on a usage error.\n";

constexpr char kSimulateHelp[] =
    "usage: tolvani simulate FILE SCRIPT\n"
    "Runs the player's view logic headless (640 x 480 viewport): FILE is opened\n"
    "as at start-up, one frame is drawn, then SCRIPT runs ('-' reads standard\n"
    "input), one command per line; blank lines and lines starting with # are\n"
    "ignored.\n"
    "\n"
    "  size W H        resize the view\n"
    "  tick [N]        N ticks of 30 ms (default 1), each followed by a frame\n"
    "  draw            one frame\n"
    "  click X Y       left press and release at X, Y\n"
    "  ldown X Y | lup X Y | rdown X Y | rup X Y | dblclk X Y | move X Y\n"
    "  keydown K | keyup K   K: Left Right Up Down A D W S, or a key code 0xNN\n"
    "  wheel DELTA [X Y]     120 per notch; negative turns towards the viewer\n"
    "  open FILE       open another project as a dropped file would\n"
    "  state           print a state line\n"
    "\n"
    "Output is JSON Lines: play, open, message and state events.\n"
    "Exit status: 0 when the script ran, 1 when FILE does not end in .zvmov,\n"
    "2 on a malformed line (control characters, a line over 8192 bytes or a\n"
    "script over 1 MiB included).\n";

// The tools read only project files: any other path (the player ignores
// one silently) is refused with exit status 1, before anything is read.
// Returns false after the message.
bool CheckProjectPath(const char* command, const std::string& file) {
  if (tolvani::HasProjectExtension(tolvani::FromNativePath(file))) return true;
  std::fprintf(stderr, "tolvani %s: '%s' is not a project file (.zvmov); nothing was read\n",
               command, file.c_str());
  return false;
}

// inspect's FILE: its first argument that is not an option. Usage errors
// are left to the command.
std::string InspectFile(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a != "--geometry" && (a.empty() || a[0] != '-' || a == "-")) return a;
  }
  return {};
}

// web's FILE: its first argument that is neither an option nor the folder
// after -o / --output.
std::string WebFile(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o" || a == "--output") {
      ++i;
    } else if (!a.empty() && (a[0] != '-' || a == "-")) {
      return a;
    }
  }
  return {};
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if ((command == "inspect" || command == "simulate" || command == "web") &&
      !tolvani::CArchive::CodePageRefusal().empty()) {
    // Never read a project's text in a code page other than the one asked for.
    std::fprintf(stderr, "tolvani: %s\n", tolvani::CArchive::CodePageRefusal().c_str());
    return 2;
  }
  if (command == "inspect") {
    if (WantsHelp(args)) return std::fputs(kInspectHelp, stdout) < 0 ? 1 : 0;
    const std::string file = InspectFile(args);
    if (!file.empty() && !CheckProjectPath("inspect", file)) return 1;
    return tolvani::cli::RunInspect(args);
  }
  if (command == "simulate") {
    if (WantsHelp(args)) return std::fputs(kSimulateHelp, stdout) < 0 ? 1 : 0;
    if (args.size() == 2 && !CheckProjectPath("simulate", args[0])) return 1;
    return tolvani::cli::RunSimulate(args);
  }
  if (command == "web") {
    if (WantsHelp(args)) return std::fputs(tolvani::cli::kWebHelp, stdout) < 0 ? 1 : 0;
    const std::string file = WebFile(args);
    if (!file.empty() && !CheckProjectPath("web", file)) return 1;
    return tolvani::cli::RunWeb(args);
  }
  if (command == "render" || command == "thumbnail") {
    return tolvani::cli::RunCompanion(command, args);
  }
  if (command == "--help" || command == "-h") {
    PrintUsage(stdout);
    return 0;
  }
  if (command == "--version")
    return std::printf("tolvani %s\n", tolvani::kTolvaniVersion) < 0 ? 1 : 0;
  std::fprintf(stderr, "tolvani: unknown command '%s'\n", command.c_str());
  PrintUsage(stderr);
  return 2;
}
