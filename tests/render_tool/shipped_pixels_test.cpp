// Every shipped cartoon (Main.zvmov and the examples beside the tool) shows
// its first balloon readably at 4:3 and at 21:9: `tolvani simulate` brings
// the story to the first step with a balloon that takes clicks (the glide
// and any fade over, in Explore once the balloon has spoken), `tolvani
// render` draws that moment with the same script, and the PNG is read back
// around the balloon's centre, projected with the camera the simulator
// reports. The card must be there (mostly white, not covered by geometry)
// and carry its text (dark pixels).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/math.h"
#include "model/scene_state.h"
#include "model/story_rules.h"
#include "support/scene_reset.h"
#include "support/simulate_state.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

const std::string kBin = TOLVANI_BIN_DIR;

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// What the test needs of a project.
struct Project {
  PlayMode playMode{};
  float fieldOfView = 0;
  std::vector<CTimeLine> lines;
};

Project Load(const std::string& path) {
  Project p;
  EXPECT_TRUE(testing::WithOpenedProject(path, [&] {
    p.playMode = SceneState.sceneRoot->playMode;
    p.fieldOfView = SceneState.sceneRoot->fieldOfView;
    p.lines = SceneState.timeLines;
  })) << path;
  return p;
}

using State = testing::SimulateState;
using testing::NumberAfter;
using testing::ParseState;

// Pixel of timeline i's origin at `step` seen with `camera` in a w x h
// picture (x right, y down); false when behind the eye.
bool Project2d(const Project& p, size_t i, int step, const CMotion& camera, int w, int h, int* px,
               int* py) {
  const Vec4 clip = testing::ClipOfOrigin(p.lines[i].EntryWorldMatrix(step), camera,
                                          p.playMode == PlayMode::kOrbit, p.fieldOfView, w, h);
  if (clip.w <= 0) return false;
  *px = static_cast<int>((clip.x / clip.w + 1) * 0.5f * static_cast<float>(w));
  *py = static_cast<int>((1 - clip.y / clip.w) * 0.5f * static_cast<float>(h));
  return true;
}

bool OverlayShown(const Project& p, int step) {
  return testing::OverlayShown(p.lines, step);
}
using testing::Repeat;

// The first timeline with a balloon shown at `step`, or 0 (timeline 0 is
// the camera).
size_t FirstBalloon(const Project& p, int step) {
  for (size_t i = 1; i < p.lines.size(); ++i)
    if (p.lines[i].IsBalloon() && p.lines[i].ShownAt(step)) return i;
  return 0;
}

struct Moment {
  std::string script;
  State state;
  size_t balloon = 0;  // 0: none reached
};

// Extends a script with the input the cartoon's mode takes (walking forward
// in Walk and Explore, waiting otherwise) until the story rests at a step
// with a balloon that takes clicks; then lets kSettleTicks more pass so
// every fade has ended, and reads the state once more.
Moment FirstBalloonMoment(const std::string& path, const Project& p, int w, int h) {
  constexpr int kSettleTicks = 60;
  const std::string dir = testing::MakeTempDir();
  const std::string tickState = "tick\nstate\n";
  Moment m;
  m.script = "size " + std::to_string(w) + " " + std::to_string(h) + "\n";
  for (int round = 0; round < 20; ++round) {
    const bool settle = m.balloon != 0;
    if (settle)
      m.script += "tick " + std::to_string(kSettleTicks) + "\nstate\n";
    else if (p.playMode == PlayMode::kWalk || p.playMode == PlayMode::kExplore)
      m.script += "keydown W\n" + Repeat(tickState, 6) + "keyup W\n" + Repeat(tickState, 2);
    else
      m.script += Repeat(tickState, 20);
    std::ofstream(dir + "script.txt") << m.script;
    int status = -1;
    const auto out = testing::Lines(testing::RunCommand(
        "'" TOLVANI_CLI "' simulate " + Quote(path) + " " + Quote(dir + "script.txt"), &status));
    EXPECT_EQ(status, 0);
    for (const std::string& line : out)
      if (line.find("\"event\":\"state\"") != std::string::npos) m.state = ParseState(line);
    if (settle) return m;
    const bool gliding = p.playMode != PlayMode::kWalk && p.playMode != PlayMode::kExplore &&
                         p.playMode != PlayMode::kScroll && m.state.step > 0 &&
                         m.state.progress < 1;
    const size_t b = FirstBalloon(p, m.state.step);
    if (gliding || OverlayShown(p, m.state.step) || b == 0) continue;
    if (p.playMode == PlayMode::kExplore &&
        (b >= m.state.soundPlayed.size() || !m.state.soundPlayed[b]))
      continue;
    m.balloon = b;
  }
  m.balloon = 0;
  return m;
}

// Share of white and count of dark pixels in a square around (x, y).
struct Patch {
  int pixels = 0, white = 0, dark = 0;
};

Patch Measure(const QImage& image, int x, int y, int half) {
  Patch patch;
  for (int v = y - half; v <= y + half; ++v)
    for (int u = x - half; u <= x + half; ++u) {
      if (u < 0 || v < 0 || u >= image.width() || v >= image.height()) continue;
      const QRgb c = image.pixel(u, v);
      const int lo = std::min({qRed(c), qGreen(c), qBlue(c)});
      const int hi = std::max({qRed(c), qGreen(c), qBlue(c)});
      ++patch.pixels;
      if (lo >= 225) ++patch.white;
      if (hi <= 100) ++patch.dark;
    }
  return patch;
}

struct Case {
  const char* file;
  int w, h;
};

class ShippedPixels : public ::testing::TestWithParam<Case> {};

TEST_P(ShippedPixels, FirstBalloonIsInViewUncoveredAndHoldsText) {
  const Case c = GetParam();
  const std::string path = kBin + "/" + c.file;
  const Project p = Load(path);
  const Moment m = FirstBalloonMoment(path, p, c.w, c.h);
  ASSERT_NE(m.balloon, 0u) << "no balloon taking clicks reached";

  const std::string dir = testing::MakeTempDir();
  std::ofstream(dir + "script.txt") << m.script;
  const std::string png = dir + "frame.png";
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " + Quote(TOLVANI_RUN_GL) + " " +
                              Quote(TOLVANI_CLI) + " render " + Quote(path) + " -o " + Quote(png) +
                              " --size " + std::to_string(c.w) + "x" + std::to_string(c.h) +
                              " --script " + Quote(dir + "script.txt") + " >/dev/null 2>&1";
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << command;
  const QImage image = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB888);
  ASSERT_EQ(image.size(), QSize(c.w, c.h));
  if (const char* keep = std::getenv("TOLVANI_KEEP_PNG"))
    image.save(QString::fromStdString(
        std::string(keep) + "/" + std::string(c.file).substr(std::string(c.file).rfind('/') + 1) +
        "_" + std::to_string(c.w) + ".png"));

  int x = -1, y = -1;
  ASSERT_TRUE(Project2d(p, m.balloon, m.state.step, m.state.camera, c.w, c.h, &x, &y))
      << "balloon behind the eye at step " << m.state.step;
  SCOPED_TRACE("step " + std::to_string(m.state.step) + ", balloon centre " + std::to_string(x) +
               "," + std::to_string(y));
  EXPECT_TRUE(x >= 0 && x < c.w && y >= 0 && y < c.h);
  // A square a sixth of the picture's height around the centre lies within
  // the card and crosses its text: the shipped balloons measure 75-85 %
  // white and 5-12 % dark there; a tree, the ground or the backdrop in
  // front of the card, or a card without text, falls well short.
  const Patch patch = Measure(image, x, y, c.h / 12);
  ASSERT_GT(patch.pixels, 0);
  EXPECT_GE(patch.white * 10, patch.pixels * 6) << patch.white << " white of " << patch.pixels;
  EXPECT_GE(patch.dark * 50, patch.pixels) << patch.dark << " dark of " << patch.pixels;
}

// Opaque draws go without blending, invisible ones (a finished fade)
// without colour writes, a steady background pass comes from a kept copy;
// frames of every shipped cartoon, at rest, in motion and mid-fade, must be
// those of issuing every command as recorded, byte for byte.
TEST(ShippedPixels, DrawingShortcutsKeepEveryFrame) {
  const struct {
    const char* file;
    int ticks;
  } cases[] = {{"Main.zvmov", 0},
               {"Main.zvmov", 20},
               {"Main.zvmov", 150},
               {"examples/walk.zvmov", 60},
               {"examples/explore.zvmov", 60},
               {"examples/scroll.zvmov", 60},
               {"examples/orbit.zvmov", 60}};
  const std::string dir = testing::MakeTempDir();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " tick " + std::to_string(c.ticks));
    std::ofstream(dir + "script.txt") << "tick " << c.ticks << "\n";
    std::string frames[2];
    for (int reference = 0; reference < 2; ++reference) {
      const std::string png = dir + "frame" + std::to_string(reference) + ".png";
      const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY TOLVANI_DRAW_AS_RECORDED=" +
                                  std::to_string(reference) + " " + Quote(TOLVANI_RUN_GL) + " " +
                                  Quote(TOLVANI_CLI) + " render " + Quote(kBin + "/" + c.file) +
                                  " -o " + Quote(png) + " --size 640x360 --script " +
                                  Quote(dir + "script.txt") + " >/dev/null 2>&1";
      const int raw = std::system(command.c_str());
      ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << command;
      std::ifstream in(png, std::ios::binary);
      frames[reference].assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_GT(frames[0].size(), 1000u);
    EXPECT_TRUE(frames[0] == frames[1]);
  }
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedPixels, ::testing::ValuesIn([] {
                           std::vector<Case> cases;
                           for (const char* file :
                                {"Main.zvmov", "examples/walk.zvmov", "examples/explore.zvmov",
                                 "examples/scroll.zvmov", "examples/orbit.zvmov"})
                             for (const auto& [w, h] : {std::pair{640, 480}, std::pair{2560, 1080}})
                               cases.push_back({file, w, h});
                           return cases;
                         }()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           std::string name = info.param.file;
                           name = name.substr(name.rfind('/') + 1);
                           return name.substr(0, name.find('.')) + "_" +
                                  std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
                         });

}  // namespace
}  // namespace tolvani
