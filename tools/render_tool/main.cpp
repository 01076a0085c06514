// tolvani-render: the `render` and `thumbnail` commands of `tolvani`, kept
// in a program of their own so that `tolvani` links only the core. Draws
// with the player's OpenGL device on an EGL surfaceless context: no X, no
// Wayland, no sound device.
//
//   tolvani-render render FILE -o OUT [--script SCRIPT | --autoplay]
//                  [--size WxH] [--max-seconds N] [--quality Q]
//   tolvani-render thumbnail FILE OUT.png [--size N]
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/version.h"
#include "model/archive.h"
#include "render_tool/commands.h"

namespace {

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: tolvani render FILE -o OUT [--script SCRIPT | --autoplay] [--size WxH]\n"
      "                      [--max-seconds N] [--quality Q]\n"
      "         OUT: .mp4 (H.264 + AAC), .webm (VP9 + Opus) or .png (one frame)\n"
      "       tolvani thumbnail FILE OUT.png [--size N]\n"
      "       tolvani render --help | tolvani thumbnail --help\n",
      out);
}

void PrintRenderHelp() {
  std::fputs(
      "usage: tolvani render FILE -o OUT [--script SCRIPT | --autoplay] [--size WxH]\n"
      "                      [--max-seconds N] [--quality Q]\n"
      "Plays FILE headless with the player's own drawing and sound and writes it to OUT,\n"
      "one frame per 30 ms tick. No display or sound device is needed.\n"
      "\n"
      "  -o, --output OUT   .mp4 (H.264 + AAC), .webm (VP9 + Opus) or .png (the last frame)\n"
      "  --script SCRIPT    drive the story with a simulate script ('-': standard input)\n"
      "  --autoplay         move Glide, Scroll and Orbit stories on by themselves\n"
      "  --size WxH         frame size in pixels, each side 100 to 8192 (default 1280x720)\n"
      "  --max-seconds N    stop after N seconds of story, above 0, at most 86400\n"
      "                     (default 600)\n"
      "  --quality Q        0 (smallest file) to 100 (best picture) (default 70)\n"
      "  -h, --help         show this text\n"
      "\n"
      "Exit status: 0 written, 1 FILE cannot be opened or OUT cannot be written,\n"
      "2 usage error. A failed run leaves no file under OUT.\n",
      stdout);
}

void PrintThumbnailHelp() {
  std::fputs(
      "usage: tolvani thumbnail FILE OUT.png [--size N]\n"
      "Draws the first frame of FILE that no fade covers (within 3 s of story), fitted\n"
      "into N x N pixels, as a PNG; file managers call it for previews.\n"
      "\n"
      "  --size N             the largest side, 1 to 4096 (default 256)\n"
      "  --max-megabytes N    refuse larger files (default 512)\n"
      "  --time-limit N       give up after N seconds, 1 to 3600 (default 5)\n"
      "  --memory-limit N     memory of the drawing process in megabytes, from 64\n"
      "                       (default 512)\n"
      "  -h, --help           show this text\n"
      "\n"
      "Exit status: 0 written, 1 no thumbnail, 2 usage error.\n",
      stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h") {
    PrintUsage(stdout);
    return 0;
  }
  if (command == "--version") {
    return std::printf("tolvani-render %s\n", tolvani::kTolvaniVersion) < 0 ? 1 : 0;
  }
  if (command != "render" && command != "thumbnail") {
    std::fprintf(stderr, "tolvani-render: unknown command '%s'\n", command.c_str());
    PrintUsage(stderr);
    return 2;
  }
  // `render --help` and `thumbnail -h` anywhere among the arguments.
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      if (command == "render") {
        PrintRenderHelp();
      } else {
        PrintThumbnailHelp();
      }
      return 0;
    }
  }
  if (!tolvani::CArchive::CodePageRefusal().empty()) {
    // Never read a project's text in a code page other than the one asked for.
    std::fprintf(stderr, "tolvani-render: %s\n", tolvani::CArchive::CodePageRefusal().c_str());
    return 2;
  }
  // Fonts for the balloon cards without any display: Qt's offscreen
  // platform, whatever DISPLAY or WAYLAND_DISPLAY say.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt's own warnings (no runtime directory and the like) are not the
  // user's business here.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  const std::vector<std::string> args(argv + 2, argv + argc);
  // The thumbnail draws in a child process of its own, which makes its
  // application there.
  if (command == "thumbnail") return tolvani::render_tool::RunThumbnail(args, argv[0]);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  return tolvani::render_tool::RunRender(args);
}
