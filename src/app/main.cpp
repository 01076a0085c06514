// tolvani-player [Qt options] [--new-window] [--screenshot PNG [--ticks N]]
//                [FILE] [--help] [--version]
// Options take their value as the next argument or after '='. The standard
// Qt options (-platform, -qwindowgeometry, -style, ...) are accepted and
// left to QApplication.
#include <QApplication>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/app_icon.h"
#include "app/application_bus.h"
#include "app/gl_format.h"
#include "app/huge_page_heap.h"
#include "app/main_frame.h"
#include "app/native_path_qt.h"
#include "app/player_app.h"
#include "base/graphics_device.h"
#include "base/memory_policy.h"
#include "base/version.h"
#include "model/archive.h"

namespace {

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: tolvani-player [OPTION]... [FILE]\n"
      "Plays an interactive 3D cartoon; without FILE, Main.zvmov beside the program.\n"
      "When a player is already running, FILE opens in its window and this one exits.\n"
      "\n"
      "  --new-window      start a window of its own even when a player is running\n"
      "  --screenshot=PNG  show the window, run N ticks, save the next frame, exit\n"
      "                    (always in a window of its own)\n"
      "  --ticks=N         ticks of 30 ms before the screenshot (default 0)\n"
      "  -h, --help        show this text\n"
      "  --version         show the version\n"
      "\n"
      "Options also take their value as the next argument (--ticks 45).\n"
      "Qt's standard options are accepted too, e.g. -platform NAME,\n"
      "-qwindowgeometry WxH+X+Y, -qwindowtitle TITLE, -style STYLE, -reverse.\n",
      out);
}

// Qt's own options (QGuiApplication, QApplication, the xcb plugin), known
// here only so that their values are not taken for the project file.
void AddQtOptions(QCommandLineParser& parser) {
  const char* withValue[] = {"platform",
                             "platformpluginpath",
                             "platformtheme",
                             "plugin",
                             "qwindowgeometry",
                             "qwindowicon",
                             "qwindowtitle",
                             "session",
                             "style",
                             "stylesheet",
                             "display",
                             "geometry",
                             "title",
                             "name",
                             "visual",
                             "qmljsdebugger",
                             "fn",
                             "font",
                             "bg",
                             "fg",
                             "btn"};
  const char* flags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
  for (const char* name : withValue) {
    QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : flags) {
    QCommandLineOption option(QString::fromLatin1(name));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
}

// A window geometry ([=]WxH[+X+Y], as Qt and X read it) whose width or
// height exceeds the largest picture the graphics device must draw: the
// window's frame buffers would take gigabytes. Geometries without a size
// are left to Qt.
bool GeometryTooLarge(const QString& geometry) {
  static const QRegularExpression kSize(QStringLiteral("^=?(\\d+)[xX](\\d+)"));
  const QRegularExpressionMatch m = kSize.match(geometry);
  if (!m.hasMatch()) return false;
  for (int i = 1; i <= 2; ++i) {
    bool ok = false;
    const qulonglong side = m.captured(i).toULongLong(&ok);
    if (!ok || side > tolvani::gfx::kMaxTextureSize) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Before Qt and the OpenGL driver start their threads: the software
  // rasteriser allocates and frees megabytes per frame.
  tolvani::KeepFreedMemory();
  // Everything is checked before QApplication exists, so --help, --version
  // and usage errors need no display.
  QStringList arguments;
  // Each argument's own bytes: fromLocal8Bit would replace those of a file
  // name that are not UTF-8.
  for (int i = 0; i < argc; ++i) arguments << tolvani::PathFromNative(QByteArray(argv[i]));
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version"));
  const QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(),
                                      QStringLiteral("PNG"));
  const QCommandLineOption ticks(QStringLiteral("ticks"), QString(), QStringLiteral("N"));
  const QCommandLineOption newWindow(QStringLiteral("new-window"));
  // How the session bus starts the player for the D-Bus activatable
  // desktop entry: wait for Activate or Open.
  QCommandLineOption busService(QStringLiteral("gapplication-service"));
  busService.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOptions({help, version, screenshot, ticks, newWindow, busService});
  AddQtOptions(parser);
  parser.addPositionalArgument(QStringLiteral("FILE"), QString());
  if (!parser.parse(arguments)) {
    std::fprintf(stderr, "tolvani-player: %s\n", qPrintable(parser.errorText()));
    PrintUsage(stderr);
    return 2;
  }
  if (parser.isSet(help)) {
    PrintUsage(stdout);
    return 0;
  }
  if (parser.isSet(version)) {
    std::printf("Tolvani %s\n", tolvani::kTolvaniVersion);
    return 0;
  }
  if (!tolvani::CArchive::CodePageRefusal().empty()) {
    // The player still opens files, with their texts in CP932; say why the
    // code page asked for is not used.
    std::fprintf(stderr, "tolvani-player: %s\n", tolvani::CArchive::CodePageRefusal().c_str());
  }
  for (const char* name : {"qwindowgeometry", "geometry"}) {
    const QString value = parser.value(QString::fromLatin1(name));
    if (GeometryTooLarge(value)) {
      std::fprintf(stderr,
                   "tolvani-player: the window geometry '%s' is larger than the %u x %u pixels "
                   "the graphics device can draw\n",
                   qPrintable(value), tolvani::gfx::kMaxTextureSize, tolvani::gfx::kMaxTextureSize);
      return 2;
    }
  }
  tolvani::PlayerOptions options;
  if (parser.isSet(screenshot)) options.screenshot = parser.value(screenshot);
  if (parser.isSet(ticks)) {
    bool ok = false;
    const long long n = parser.value(ticks).toLongLong(&ok);
    if (!ok || n < 0 || n > 1000000) {
      std::fprintf(stderr, "tolvani-player: bad tick count '%s'\n",
                   qPrintable(parser.value(ticks)));
      return 2;
    }
    options.ticks = static_cast<int>(n);
  }
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) {
    std::fprintf(stderr, "tolvani-player: only one project file may be given\n");
    return 2;
  }
  if (!files.isEmpty()) options.file = files.front();

  // A window will show: start once more with the heap on huge pages (no
  // thread runs yet; --help, --version and usage errors stay quick).
  tolvani::RestartWithHugePageHeap(argv);
  tolvani::SetDefaultOpenGlFormat();

  QApplication application(argc, argv);
  QApplication::setWindowIcon(tolvani::ProgramIcon());
  QGuiApplication::setDesktopFileName(QString::fromLatin1(tolvani::kBusName));

  // One window for many files: the first player takes the bus name, a
  // later one hands its file over and ends. A screenshot run always has
  // a window of its own.
  const bool serviceMode = parser.isSet(busService);
  std::unique_ptr<tolvani::ApplicationService> service;
  if (!parser.isSet(newWindow) && options.screenshot.isEmpty()) {
    service = std::make_unique<tolvani::ApplicationService>();
    switch (service->Claim()) {
      case tolvani::BusClaim::Owner:
        break;
      case tolvani::BusClaim::NameTaken:
        if (serviceMode) return 0;  // the running player serves the bus
        if (tolvani::HandToRunningPlayer(options.file,
                                         qEnvironmentVariable("DESKTOP_STARTUP_ID")) ==
            tolvani::HandOver::Delivered) {
          return 0;
        }
        std::fprintf(stderr,
                     "tolvani-player: the running player did not answer; starting another\n");
        service.reset();
        break;
      case tolvani::BusClaim::NoBus:
        service.reset();
        break;
    }
  }

  tolvani::CPlayerApp app;
  bool started = false;
  auto start = [&](const QString& file) {
    tolvani::PlayerOptions first = options;
    if (serviceMode) first.file = file;
    started = true;
    return app.InitInstance(first);
  };
  if (service) {
    service->onOpen = [&](const QString& path) {
      if (!started) {
        if (!start(path)) QCoreApplication::exit(1);
        return;
      }
      if (app.mainFrame() != nullptr) app.mainFrame()->OpenHandedOver(path);
    };
    service->onAction = [&](const QString& name) {
      if (name != QLatin1String(tolvani::kActionOpenDialog)) return false;
      if (!started && !start(QString())) {
        QCoreApplication::exit(1);
        return true;
      }
      if (app.mainFrame() != nullptr) {
        app.mainFrame()->BringToFront();
        app.mainFrame()->FileOpen();
      }
      return true;
    };
  }
  if (serviceMode && service) {
    // Started by the bus: the first request says what to open. Nobody
    // asking within the bus's own activation timeout means nobody will.
    constexpr int kFirstRequestWaitMs = 25000;
    QTimer::singleShot(kFirstRequestWaitMs, &application, [&] {
      if (!started) QCoreApplication::exit(0);
    });
    service->SetReady(true);
  } else {
    if (!start(options.file)) return app.ExitInstance(1);
    if (service) service->SetReady(true);
  }
  const int loop = QApplication::exec();
  if (service) service->SetReady(false);
  const int code = app.ExitInstance(loop);
  service.reset();
  return code;
}
