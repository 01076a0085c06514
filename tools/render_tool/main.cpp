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
      "       tolvani thumbnail FILE OUT.png [--size N]\n",
      out);
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
      PrintUsage(stdout);
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
