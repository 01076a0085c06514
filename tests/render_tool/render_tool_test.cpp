// `tolvani render` and `tolvani thumbnail` end to end: the programs run as
// a user runs them, without a display (DISPLAY and WAYLAND_DISPLAY unset),
// and their files are read back. The comparison with the player's window
// (PlayerScreenshot.*) needs an X server and runs under run_under_x.sh.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QImage>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "builder/heavy_projects.h"
#include "media_probe.h"
#include "support/test_helpers.h"

namespace tolvani::testing {
namespace {

const std::string kBin = TOLVANI_BIN_DIR;
const std::string kDemo = kBin + "/Main.zvmov";

struct RunResult {
  int status = -1;
  std::string err;
};

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs `tolvani ARGS` with no display in the environment, after prefix (a
// command such as `timeout` that runs it).
RunResult Tolvani(const std::string& args, const std::string& dir, const std::string& prefix = "") {
  const std::string err = dir + "stderr.txt";
  // run_gl.sh: under the sanitizer build, Mesa stays loaded for the leak check.
  const std::string command = prefix + "env -u DISPLAY -u WAYLAND_DISPLAY " +
                              Quote(TOLVANI_RUN_GL) + " " + Quote(kBin + "/tolvani") + " " + args +
                              " >/dev/null 2>" + Quote(err);
  const int raw = std::system(command.c_str());
  RunResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream in(err);
  std::stringstream text;
  text << in.rdbuf();
  r.err = text.str();
  return r;
}

QImage LoadRgb(const std::string& path) {
  return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB888);
}

double Psnr(const QImage& a, const std::vector<uint8_t>& rgb) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    const uint8_t* row = a.constScanLine(y);
    const uint8_t* other = rgb.data() + static_cast<size_t>(y) * a.width() * 3;
    for (int i = 0; i < a.width() * 3; ++i) {
      const double d = static_cast<double>(row[i]) - other[i];
      sum += d * d;
    }
  }
  const double mse = sum / (static_cast<double>(a.width()) * a.height() * 3);
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

bool NoFilesBut(const std::string& dir, const std::vector<std::string>& allowed) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) return false;
  }
  return true;
}

// The demo for 3 s: its fade-in opens in silence, and the greeting that
// follows (from tick 46, 1.38 s) starts the music box and a chime.
class RenderCommandVideo : public ::testing::TestWithParam<const char*> {};

TEST_P(RenderCommandVideo, StreamsFramesSoundAndFirstPicture) {
  const std::string dir = MakeTempDir();
  const std::string ext = GetParam();
  ASSERT_EQ(
      Tolvani("render " + Quote(kDemo) + " -o " + Quote(dir + "first.png") + " --size 640x360", dir)
          .status,
      0);
  const QImage first = LoadRgb(dir + "first.png");
  ASSERT_EQ(first.size(), QSize(640, 360));
  std::ofstream(dir + "script.txt") << "tick 1000\n";
  const std::string out = dir + "demo." + ext;
  const RunResult run =
      Tolvani("render " + Quote(kDemo) + " -o " + Quote(out) +
                  " --size 640x360 --max-seconds 3 --script " + Quote(dir + "script.txt"),
              dir);
  ASSERT_EQ(run.status, 0) << run.err;

  const MediaProbe media = ProbeMedia(out);
  ASSERT_TRUE(media.ok) << media.error;
  EXPECT_EQ(media.videoStreams, 1);
  EXPECT_EQ(media.audioStreams, 1);
  EXPECT_EQ(media.videoCodec, ext == "mp4" ? "h264" : "vp9");
  EXPECT_EQ(media.audioCodec, ext == "mp4" ? "aac" : "opus");
  EXPECT_EQ(media.width, 640);
  EXPECT_EQ(media.height, 360);
  EXPECT_NEAR(media.frames, 100, 1);
  EXPECT_EQ(media.sampleRate, 48000);
  // Silence during the fade-in, sound from the greeting's tick on.
  EXPECT_LT(Rms(media, 0.0, 1.3), 1e-3);
  EXPECT_GT(Rms(media, 1.45, 1.9), 0.02);
  const double onset = Onset(media, 0.02);
  EXPECT_GE(onset, 1.36);
  EXPECT_LE(onset, 1.42);
  EXPECT_GE(Psnr(first, media.firstFrame), 35.0);
  EXPECT_TRUE(NoFilesBut(dir, {"first.png", "script.txt", "demo." + ext, "stderr.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Containers, RenderCommandVideo, ::testing::Values("mp4", "webm"));

TEST(ThumbnailCommand, DrawsTheSceneWithoutADisplay) {
  const std::string dir = MakeTempDir();
  // The drawing, not the machine's speed, is under test: no time limit.
  const RunResult run =
      Tolvani("thumbnail " + Quote(kDemo) + " " + Quote(dir + "t.png") + " --time-limit 3600", dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const QImage image = LoadRgb(dir + "t.png");
  EXPECT_EQ(image.width(), 256);
  EXPECT_EQ(image.height(), 192);
  // The white balloon card and the green ground are there.
  int green = 0, white = 0;
  for (int y = 0; y < image.height(); ++y) {
    const uint8_t* row = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      const uint8_t* p = row + 3 * x;
      if (p[1] > p[0] + 30 && p[1] > p[2] + 30) ++green;
      if (p[0] > 245 && p[1] > 245 && p[2] > 245) ++white;
    }
  }
  EXPECT_GT(green, 5000);
  EXPECT_GT(white, 1000);
}

TEST(ThumbnailCommand, FadeInIsWaitedFor) {
  // A black veil over the whole view on a red background, fading out over
  // 0.6 s from the first step.
  ProjectBuilder b;
  b.version = 1.1f;
  b.playMode = PlayMode::kGlide;
  b.fadeDuration = 600;
  b.backgroundColor = 0x000000E0;  // red 224
  b.AddMaterial(u"ZavroFadeInMaterial", 0, 0, 0, 1);
  b.AddModel(u"Camera");
  // Both windings: whichever way the pass culls, one covers the view.
  b.AddTriangleModel(u"Veil", {{-60, -60, 0}, {-60, 60, 0}, {60, 60, 0}, {60, -60, 0}},
                     {{0, 1, 2}, {0, 2, 3}, {0, 2, 1}, {0, 3, 2}}, 0);
  b.AddEntry(b.AddTimeline(u"Camera"), EntryState::kShown);
  b.AddEntry(b.AddTimeline(u"FadeIn"), EntryState::kShown);
  const std::string dir = MakeTempDir();
  const std::string project = WriteTempFile(b.Build());
  const RunResult run = Tolvani(
      "thumbnail " + Quote(project) + " " + Quote(dir + "t.png") + " --size 64 --time-limit 3600",
      dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const QImage image = LoadRgb(dir + "t.png");
  ASSERT_FALSE(image.isNull());
  const uint8_t* centre = image.constScanLine(image.height() / 2) + 3 * (image.width() / 2);
  EXPECT_GT(centre[0], 200) << "the veil still covers the scene";
}

TEST(ThumbnailCommand, FirstFrameOfAFadeIsBlack) {
  // The same veil seen by `render -o x.png`: the first paint is covered,
  // which is what the thumbnail waits out.
  ProjectBuilder b;
  b.version = 1.1f;
  b.playMode = PlayMode::kGlide;
  b.fadeDuration = 600;
  b.backgroundColor = 0x000000E0;
  b.AddMaterial(u"ZavroFadeInMaterial", 0, 0, 0, 1);
  b.AddModel(u"Camera");
  b.AddTriangleModel(u"Veil", {{-60, -60, 0}, {-60, 60, 0}, {60, 60, 0}, {60, -60, 0}},
                     {{0, 1, 2}, {0, 2, 3}, {0, 2, 1}, {0, 3, 2}}, 0);
  b.AddEntry(b.AddTimeline(u"Camera"), EntryState::kShown);
  b.AddEntry(b.AddTimeline(u"FadeIn"), EntryState::kShown);
  const std::string dir = MakeTempDir();
  const RunResult run = Tolvani("render " + Quote(WriteTempFile(b.Build())) + " -o " +
                                    Quote(dir + "f.png") + " --size 160x120",
                                dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const QImage image = LoadRgb(dir + "f.png");
  ASSERT_FALSE(image.isNull());
  EXPECT_LT(image.constScanLine(60)[3 * 80], 40);
}

struct BadCase {
  const char* name;
  const char* command;   // FILE and OUT stand for the paths
  const char* contents;  // the project file, nullptr: none at all
  int status;
  const char* message;  // part of standard error
};

void PrintTo(const BadCase& c, std::ostream* os) {
  *os << c.name;
}

class RenderToolBadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(RenderToolBadInput, MessageStatusAndNoOutput) {
  const BadCase& c = GetParam();
  const std::string dir = MakeTempDir();
  const std::string file = dir + "in.zvmov";
  if (c.contents) std::ofstream(file, std::ios::binary) << c.contents;
  std::string args = c.command;
  for (size_t at; (at = args.find("FILE")) != std::string::npos;) args.replace(at, 4, Quote(file));
  if (const size_t at = args.find("OUT"); at != std::string::npos) {
    args.replace(at, 3, Quote(dir + "out"));
  }
  const RunResult run = Tolvani(args, dir);
  EXPECT_EQ(run.status, c.status) << run.err;
  EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  std::vector<std::string> allowed{"stderr.txt"};
  if (c.contents) allowed.push_back("in.zvmov");
  EXPECT_TRUE(NoFilesBut(dir, allowed)) << "a file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderToolBadInput,
    ::testing::Values(
        BadCase{"missing_mp4", "render FILE -o OUT.mp4", nullptr, 1, "が見つかりませんでした"},
        BadCase{"garbage_webm", "render FILE -o OUT.webm", "not a project", 1,
                "予期しないファイル形式です"},
        BadCase{"garbage_png", "render FILE -o OUT.png", "\x01\x00\x00", 1,
                "予期しないファイル形式です"},
        BadCase{"garbage_thumbnail", "thumbnail FILE OUT.png --time-limit 3600", "xx", 1,
                "予期しないファイル形式です"},
        BadCase{"unknown_extension", "render FILE -o OUT.avi", "xx", 2, ".mp4, .webm or .png"},
        BadCase{"odd_video_size", "render FILE -o OUT.mp4 --size 641x360", "xx", 2, "even"},
        BadCase{"bad_script", "render FILE -o OUT.png --script FILE", "tick x", 2, "line 1"},
        BadCase{"both_inputs", "render FILE -o OUT.png --script FILE --autoplay", "", 2, "exclude"},
        BadCase{"thumbnail_size", "thumbnail FILE OUT.png --size 0", "xx", 2, "--size"},
        BadCase{"size_overflow", "render FILE -o OUT.png --size 4294967496x4294967496", "xx", 2,
                "--size takes WxH"},
        BadCase{"size_tail", "render FILE -o OUT.png --size 200x200x", "xx", 2, "--size"},
        BadCase{"render_not_a_project", "render FILE.txt -o OUT.png", "xx", 1,
                "is not a project file (.zvmov)"},
        BadCase{"thumbnail_not_a_project", "thumbnail FILE.bak OUT.png", "xx", 1,
                "is not a project file (.zvmov)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RenderCommand, MessagesAreThoseOfInspect) {
  const std::string dir = MakeTempDir();
  const std::string file = dir + "in.zvmov";
  std::ofstream(file, std::ios::binary) << "not a project";
  const std::string json = dir + "inspect.json";
  std::system(
      (Quote(kBin + "/tolvani") + " inspect " + Quote(file) + " >" + Quote(json) + " 2>/dev/null")
          .c_str());
  std::ifstream in(json);
  std::stringstream text;
  text << in.rdbuf();
  const std::string report = text.str();
  const size_t start = report.find("\"messages\":[\"");
  ASSERT_NE(start, std::string::npos) << report;
  const size_t from = start + 13;
  const std::string first = report.substr(from, report.find('"', from) - from);
  const RunResult run = Tolvani("render " + Quote(file) + " -o " + Quote(dir + "x.png"), dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(first), std::string::npos) << first << "\n" << run.err;
}

TEST(RenderCommand, AutoplayReadsTheDemoToItsLastStep) {
  const std::string dir = MakeTempDir();
  const RunResult run = Tolvani("render " + Quote(kDemo) + " -o " + Quote(dir + "end.png") +
                                    " --autoplay --size 160x100 --max-seconds 120",
                                dir);
  ASSERT_EQ(run.status, 0) << run.err;
  // Ten steps with a choice between them (one balloon jumps back, one goes
  // on): read through, the story ends at its last step, in about 60 s.
  EXPECT_NE(run.err.find("step 10 of 10"), std::string::npos) << run.err;
  int frames = 0;
  const size_t done = run.err.find("done: ");
  ASSERT_NE(done, std::string::npos) << run.err;
  ASSERT_EQ(std::sscanf(run.err.c_str() + done, "done: %d frames", &frames), 1);
  EXPECT_GT(frames, 1500);
  EXPECT_LT(frames, 2500);
}

TEST(RenderCommand, AutoplayRefusesWalkStories) {
  ProjectBuilder b;
  b.version = 1.1f;
  b.playMode = PlayMode::kWalk;
  b.AddModel(u"Camera");
  b.AddEntry(b.AddTimeline(u"Camera"), EntryState::kShown);
  const std::string dir = MakeTempDir();
  const RunResult run = Tolvani(
      "render " + Quote(WriteTempFile(b.Build())) + " -o " + Quote(dir + "x.mp4") + " --autoplay",
      dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("needs a --script"), std::string::npos) << run.err;
  EXPECT_TRUE(NoFilesBut(dir, {"stderr.txt"}));
}

// Interrupted, hung up or with standard error gone, a render finishes its
// file up to the last frame and leaves no temporary file. The signal is
// sent once the file has grown, whatever the machine's speed.
class RenderCommandStops : public ::testing::TestWithParam<const char*> {};

TEST_P(RenderCommandStops, FinishesTheFileUpToTheLastFrame) {
  const std::string dir = MakeTempDir();
  const std::string out = dir + "cut.webm";
  std::ofstream(dir + "stop.sh") << "\"$@\" & pid=$!\n"
                                 << "until [ -n \"$(find " << Quote(dir)
                                 << " -name '.cut.webm.*' -size +8k)\" ]; do\n"
                                 << "  kill -0 $pid 2>/dev/null || exit 99\n  sleep 0.1\ndone\n"
                                 << "kill -" << GetParam() << " $pid\nwait $pid\n";
  const RunResult run =
      Tolvani("render " + Quote(kDemo) + " -o " + Quote(out) + " --size 320x240 --max-seconds 600",
              dir, "bash " + Quote(dir + "stop.sh") + " ");
  EXPECT_EQ(run.status, 0) << run.err;
  if (std::string(GetParam()) != "PIPE") {
    EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
  }
  const MediaProbe media = ProbeMedia(out);
  ASSERT_TRUE(media.ok) << media.error;
  EXPECT_GT(media.frames, 10);
  EXPECT_LT(media.frames, 20000);
  // The sound is as long as the picture.
  EXPECT_NEAR(static_cast<double>(media.samples.size()) / media.channels / media.sampleRate,
              media.frames * 0.03, 0.1);
  EXPECT_TRUE(NoFilesBut(dir, {"cut.webm", "stop.sh", "stderr.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Signals, RenderCommandStops, ::testing::Values("INT", "HUP", "PIPE"));

// Output names are bytes and files, never text to convert or URLs.
TEST(RenderCommand, OutputNamesAreLocalFilesOfTheirOwnBytes) {
  const std::string dir = MakeTempDir();
  std::filesystem::create_directories(dir + "pipe:");
  std::filesystem::create_directories(dir + "http:/127.0.0.1:8099");
  std::ofstream(dir + "s.txt") << "tick 5\n";
  const std::string video = "cd " + Quote(dir) + " && env -u DISPLAY -u WAYLAND_DISPLAY " +
                            Quote(TOLVANI_RUN_GL) + " " + Quote(kBin + "/tolvani") + " render " +
                            Quote(kDemo) + " --size 160x120 --script s.txt -o ";
  for (const char* name : {"pipe:/x.webm", "http://127.0.0.1:8099/x.mp4"}) {
    const std::string command =
        video + Quote(name) + " >" + Quote(dir + "stdout.bin") + " 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << name;
    EXPECT_EQ(std::filesystem::file_size(dir + "stdout.bin"), 0u) << name;
  }
  EXPECT_TRUE(ProbeMedia(dir + "pipe:/x.webm").ok);
  EXPECT_TRUE(ProbeMedia(dir + "http:/127.0.0.1:8099/x.mp4").ok);

  // A name that is not UTF-8 gets the picture under exactly that name.
  const std::string latin1 = dir + "caf\xe9.png";
  const std::string thumb = dir + "\xff\xfe.png";
  ASSERT_EQ(
      Tolvani("render " + Quote(kDemo) + " -o " + Quote(latin1) + " --size 160x120", dir).status,
      0);
  ASSERT_EQ(
      Tolvani("thumbnail " + Quote(kDemo) + " " + Quote(thumb) + " --size 32 --time-limit 3600",
              dir)
          .status,
      0);
  for (const std::string& name : {latin1, thumb}) {
    std::ifstream in(name, std::ios::binary);
    char magic[4] = {};
    in.read(magic, 4);
    EXPECT_EQ(std::string(magic + 1, 3), "PNG") << "no picture under the name asked for";
  }
  EXPECT_TRUE(NoFilesBut(
      dir, {"pipe:", "http:", "s.txt", "stdout.bin", "stderr.txt", "caf\xe9.png", "\xff\xfe.png"}));
}

// The thumbnail draws at the size asked (4:3 fitted into N x N).
TEST(ThumbnailCommand, DrawsAtTheSizeAsked) {
  const std::string dir = MakeTempDir();
  const RunResult run = Tolvani(
      "thumbnail " + Quote(kDemo) + " " + Quote(dir + "t.png") + " --size 1024 --time-limit 3600",
      dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(LoadRgb(dir + "t.png").size(), QSize(1024, 768));
}

// Out of memory under the ceiling: a message, status 1, no file. The
// drawing process needs more than 64 MB for the driver alone.
TEST(ThumbnailCommand, GivesUpAtTheMemoryCeiling) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' address space leaves no room for a data limit";
#endif
  const std::string dir = MakeTempDir();
  const RunResult run = Tolvani("thumbnail " + Quote(kDemo) + " " + Quote(dir + "t.png") +
                                    " --memory-limit 64 --time-limit 3600",
                                dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("tolvani thumbnail: gave up:"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("64 MB"), std::string::npos) << run.err;
  EXPECT_TRUE(NoFilesBut(dir, {"stderr.txt"}));
}

// The time limit ends a drawing that does not finish, whatever it is
// blocked on: here a drawing process told to block before it draws, so the
// outcome does not depend on the machine's speed.
TEST(ThumbnailCommand, GivesUpAtTheTimeLimit) {
  const std::string dir = MakeTempDir();
  const RunResult run =
      Tolvani("thumbnail " + Quote(kDemo) + " " + Quote(dir + "t.png") + " --time-limit 1", dir,
              "env TOLVANI_THUMBNAIL_TEST_STALL=1 ");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("gave up: the time limit (1 s) ran out"), std::string::npos) << run.err;
  EXPECT_TRUE(NoFilesBut(dir, {"stderr.txt"}));
}

// A legitimately large image (8192 x 8192, 192 MB stored) fits the default
// 512 MB ceiling: the thumbnail uploads it downscaled and frees its samples.
// Its pixels reach the picture: the image fills the view.
TEST(ThumbnailCommand, ALargeImageFitsTheMemoryCeiling) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' address space leaves no room for a data limit";
#endif
  const std::string dir = MakeTempDir();
  const std::string project = dir + "large.zvmov";
  builder::MakeLargeImage(8192).WriteFile(project);
  const RunResult run = Tolvani(
      "thumbnail " + Quote(project) + " " + Quote(dir + "t.png") + " --size 64 --time-limit 3600",
      dir);
  std::filesystem::remove(project);
  ASSERT_EQ(run.status, 0) << run.err;
  // Out of memory, the texture would fail and the quad be drawn untextured.
  EXPECT_EQ(run.err.find("picture.bmp"), std::string::npos) << run.err;
  const QImage image = LoadRgb(dir + "t.png");
  ASSERT_EQ(image.size(), QSize(64, 48));
}

// A model of 320,000 triangles (19 MB stored) thumbnails within a 256 MB
// ceiling, drawn as under the default one: its drawing vertices stream into
// the device's buffer instead of being built whole beside it (that took
// some 320 MB here; streamed, about 205 MB). Under a ceiling too low for it
// (the device's buffer is refused at 140 MB here) there is no thumbnail,
// never one without the model.
TEST(ThumbnailCommand, ALargeModelFitsALoweredCeilingAndFailsCleanlyBelowIt) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' address space leaves no room for a data limit";
#endif
  const std::string dir = MakeTempDir();
  const std::string project = dir + "model.zvmov";
  builder::MakeLargeModel(400).WriteFile(project);
  const std::string args = "thumbnail " + Quote(project) + " --size 128 --time-limit 3600 ";
  const RunResult lowered = Tolvani(args + Quote(dir + "lowered.png") + " --memory-limit 256", dir);
  const RunResult usual = Tolvani(args + Quote(dir + "usual.png"), dir);
  const RunResult tooLow = Tolvani(args + Quote(dir + "low.png") + " --memory-limit 140", dir);
  std::filesystem::remove(project);
  ASSERT_EQ(lowered.status, 0) << lowered.err;
  ASSERT_EQ(usual.status, 0) << usual.err;
  EXPECT_EQ(LoadRgb(dir + "lowered.png"), LoadRgb(dir + "usual.png"));
  EXPECT_EQ(tooLow.status, 1);
  EXPECT_NE(tooLow.err.find("gave up"), std::string::npos) << tooLow.err;
  EXPECT_TRUE(NoFilesBut(dir, {"lowered.png", "usual.png", "stderr.txt"}));
}

// A pipe nobody writes is not a project: it is refused at once (the reader
// opens without blocking and takes regular files only), well inside the time
// limit, and nothing is left.
TEST(ThumbnailCommand, RefusesAPipeWithoutWaiting) {
  const std::string dir = MakeTempDir();
  const std::string fifo = dir + "slow.zvmov";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const RunResult run =
      Tolvani("thumbnail " + Quote(fifo) + " " + Quote(dir + "t.png") + " --time-limit 3600", dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("slow.zvmov"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("gave up"), std::string::npos) << run.err;
  EXPECT_TRUE(NoFilesBut(dir, {"slow.zvmov", "stderr.txt"}));
}

TEST(ThumbnailCommand, RefusesFilesAboveTheLimit) {
  const std::string dir = MakeTempDir();
  const std::string big = dir + "big.zvmov";
  std::ofstream(big, std::ios::binary) << std::string(2 * 1024 * 1024 + 1, 'x');
  const RunResult run =
      Tolvani("thumbnail " + Quote(big) + " " + Quote(dir + "t.png") + " --max-megabytes 2", dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("larger than 2 MB"), std::string::npos) << run.err;
  EXPECT_TRUE(NoFilesBut(dir, {"big.zvmov", "stderr.txt"}));
}

// The player refuses a window its graphics device could not draw, before
// it needs a display.
TEST(PlayerCommandLine, RefusesWindowsLargerThanTheDevice) {
  const std::string dir = MakeTempDir();
  for (const char* geometry : {"-qwindowgeometry 16000x16000", "--qwindowgeometry=8193x600+0+0",
                               "-geometry =640x99999999999999999999"}) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " +
                                Quote(kBin + "/tolvani-player") + " " + geometry + " 2>" +
                                Quote(dir + "err.txt");
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 2) << geometry;
    std::ifstream in(dir + "err.txt");
    std::string err;
    std::getline(in, err);
    EXPECT_NE(err.find("larger than the 8192 x 8192 pixels"), std::string::npos) << err;
  }
}

// A code page that cannot be used is named: the render tool refuses to read
// (no output), the player says it keeps CP932 before anything else.
TEST(CodePage, AnUnusableCodePageIsNamed) {
  const std::string dir = MakeTempDir();
  const std::string env = "TOLVANI_CODEPAGE=NO-SUCH-CODE-PAGE ";
  const RunResult render =
      Tolvani("render " + Quote(kBin + "/Main.zvmov") + " -o " + Quote(dir + "x.png"), dir, env);
  EXPECT_EQ(render.status, 2);
  EXPECT_NE(render.err.find("TOLVANI_CODEPAGE"), std::string::npos) << render.err;
  EXPECT_TRUE(NoFilesBut(dir, {"stderr.txt"}));
  const std::string command = env + "env -u DISPLAY -u WAYLAND_DISPLAY " +
                              Quote(kBin + "/tolvani-player") + " -qwindowgeometry 9000x9000 2>" +
                              Quote(dir + "err.txt");
  EXPECT_NE(std::system(command.c_str()), -1);
  std::ifstream in(dir + "err.txt");
  std::string first;
  std::getline(in, first);
  EXPECT_NE(first.find("TOLVANI_CODEPAGE"), std::string::npos) << first;
}

// The player's window and the companion draw the same pixels for the same
// frame: 10 ticks of the demo, at the size of the player's view.
TEST(PlayerScreenshot, RenderEqualsTheWindowPixelForPixel) {
  const std::string dir = MakeTempDir();
  const std::string shot = dir + "window.png";
  const std::string player = Quote(kBin + "/tolvani-player") + " " + Quote(kDemo) +
                             " --screenshot " + Quote(shot) + " --ticks 10 >/dev/null 2>&1";
  ASSERT_EQ(std::system(player.c_str()), 0);
  const QImage window = LoadRgb(shot);
  ASSERT_FALSE(window.isNull());
  std::ofstream(dir + "script.txt") << "tick 10\n";
  const std::string size = std::to_string(window.width()) + "x" + std::to_string(window.height());
  const RunResult run = Tolvani("render " + Quote(kDemo) + " -o " + Quote(dir + "render.png") +
                                    " --size " + size + " --script " + Quote(dir + "script.txt"),
                                dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const QImage rendered = LoadRgb(dir + "render.png");
  ASSERT_EQ(rendered.size(), window.size());
  long differing = 0;
  for (int y = 0; y < window.height(); ++y) {
    for (int x = 0; x < window.width(); ++x) {
      if (window.pixel(x, y) != rendered.pixel(x, y)) ++differing;
    }
  }
  EXPECT_EQ(differing, 0) << "of " << window.width() * window.height() << " pixels";
}

}  // namespace
}  // namespace tolvani::testing
