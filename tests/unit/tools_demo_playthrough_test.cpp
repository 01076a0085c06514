// The shipped projects (Main.zvmov and the examples beside the tool in the
// build tree) open cleanly and can be played to their end through their own
// mode's input with `tolvani simulate`, at 4:3 and at 2.4:1. Balloon clicks
// are found by projecting the balloon's position with the camera the
// simulator reports, so a balloon outside the view cannot be clicked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/math.h"
#include "base/text_conversion.h"
#include "base/version.h"
#include "model/scene_state.h"
#include "model/story_rules.h"
#include "support/scene_reset.h"
#include "support/simulate_state.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

std::string BinDir() {
  const std::string cli = TOLVANI_CLI;
  return cli.substr(0, cli.rfind('/') + 1);
}

std::vector<std::string> RunCommand(const std::string& command, int* status) {
  return testing::Lines(testing::RunCommand(command, status));
}

// What the test needs of a project: mode, field of view, timelines, and
// which features of the format its models and materials use.
struct Project {
  PlayMode playMode{};
  float fieldOfView = 0;
  std::vector<CTimeLine> lines;
  std::set<std::string> features;
};

Project Load(const std::string& path) {
  Project p;
  EXPECT_TRUE(testing::WithOpenedProject(path, [&] {
    p.playMode = SceneState.sceneRoot->playMode;
    p.fieldOfView = SceneState.sceneRoot->fieldOfView;
    p.lines = SceneState.timeLines;
    for (const CModel& m : SceneState.sceneRoot->models) {
      if (m.collisionMaterial >= 0) p.features.insert("walkable ground");
      if (!m.materialSets.empty()) p.features.insert("material sets");
      for (const Animation& a : m.animations)
        if (a.size() >= 2) p.features.insert("skinning");
    }
    for (const CMaterial& m : SceneState.sceneRoot->materials)
      if (!m.image.empty()) p.features.insert(std::to_string(m.image.channels()) + " channels");
  })) << path;
  return p;
}

using State = testing::SimulateState;
using testing::NumberAfter;
using testing::ParseState;

// Client point of timeline i's origin at `step`, seen with the reported camera.
std::pair<int, int> ScreenPoint(const Project& p, size_t i, int step, const CMotion& camera, int w,
                                int h, bool* inView) {
  const Vec4 clip = testing::ClipOfOrigin(p.lines[i].EntryWorldMatrix(step), camera,
                                          p.playMode == PlayMode::kOrbit, p.fieldOfView, w, h);
  const float x = clip.x / clip.w, y = clip.y / clip.w;
  *inView = clip.w > 0 && x > -0.98f && x < 0.98f && y > -0.98f && y < 0.98f;
  return {static_cast<int>((x + 1) * 0.5f * static_cast<float>(w)),
          static_cast<int>((1 - y) * 0.5f * static_cast<float>(h))};
}

bool OverlayShown(const Project& p, int step) {
  return testing::OverlayShown(p.lines, step);
}
using testing::Repeat;

struct Playthrough {
  const char* file;
  PlayMode mode;
  std::vector<int> steps;  // the steps the story passes through, in order
};

// Plays `file` at w x h: each round replays the script so far, reads the
// last state and appends the input its mode takes next. Returns the steps
// passed through (consecutive repeats removed) and the simulator's output.
std::vector<int> Play(const Playthrough& play, int w, int h, std::vector<std::string>* out) {
  const std::string path = BinDir() + play.file;
  const Project p = Load(path);
  EXPECT_EQ(StoredValue(p.playMode), StoredValue(play.mode));
  const std::string dir = testing::MakeTempDir();
  std::string script = "size " + std::to_string(w) + " " + std::to_string(h) + "\nstate\n";
  std::set<std::pair<int, size_t>> clicked;
  std::vector<int> steps;
  const std::string tickState = "tick\nstate\n";
  for (int round = 0; round < 40; ++round) {
    switch (play.mode) {
      case PlayMode::kWalk:     // a few steps forward first; the ground sets the eye height
      case PlayMode::kExplore:  // the walk also brings the balloon into the middle band
        script += "keydown W\n" + Repeat(tickState, 6) + "keyup W\n" + Repeat(tickState, 2);
        break;
      case PlayMode::kScroll:  // ten notches towards the viewer pass one step
        script += Repeat("wheel -120\nstate\n", 10) + tickState;
        break;
      default:  // Glide and Orbit: wait for the glide and any fade
        script += Repeat(tickState, 50);
        break;
    }
    std::ofstream(dir + "script.txt") << script;
    int status = -1;
    *out = RunCommand("'" TOLVANI_CLI "' simulate '" + path + "' '" + dir + "script.txt' 2>&1",
                      &status);
    EXPECT_EQ(status, 0);
    steps.clear();
    State last;
    for (const std::string& line : *out) {
      if (line.find("\"event\":\"state\"") == std::string::npos) continue;
      last = ParseState(line);
      if (steps.empty() || steps.back() != last.step) steps.push_back(last.step);
    }
    if (steps.size() >= play.steps.size()) {
      steps.resize(play.steps.size());
      break;
    }
    if (play.mode == PlayMode::kScroll) continue;
    const bool gliding = (play.mode == PlayMode::kGlide || play.mode == PlayMode::kOrbit) &&
                         last.step > 0 && last.progress < 1;
    if (gliding || OverlayShown(p, last.step)) continue;
    // Click the first shown balloon not clicked at this step before (a
    // choice thus takes each way once), else the first shown one.
    std::vector<size_t> shown;
    for (size_t i = 1; i < p.lines.size(); ++i)
      if (p.lines[i].IsBalloon() && p.lines[i].ShownAt(last.step)) shown.push_back(i);
    if (shown.empty()) {
      ADD_FAILURE() << play.file << ": no balloon at step " << last.step;
      break;
    }
    size_t pick = shown[0];
    for (size_t i : shown)
      if (!clicked.count({last.step, i})) {
        pick = i;
        break;
      }
    clicked.insert({last.step, pick});
    bool inView = false;
    const auto [x, y] = ScreenPoint(p, pick, last.step, last.camera, w, h, &inView);
    EXPECT_TRUE(inView) << play.file << " step " << last.step << " at " << w << "x" << h;
    // Explore: the balloon has spoken, so it takes clicks.
    if (play.mode == PlayMode::kExplore) {
      EXPECT_TRUE(last.soundPlayed.at(pick)) << "step " << last.step;
    }
    script += "click " + std::to_string(x) + " " + std::to_string(y) + "\n";
  }
  return steps;
}

class DemoPlaythrough : public ::testing::TestWithParam<Playthrough> {};

TEST_P(DemoPlaythrough, OpensWithoutMessages) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  int status = -1;
  const auto lines =
      RunCommand("'" TOLVANI_CLI "' inspect '" + BinDir() + GetParam().file + "'", &status);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\"ok\":true,\"messages\":[]"), std::string::npos)
      << lines[0].substr(0, 200);
}

// 4:3, cinema width and a full 21:9 screen.
TEST_P(DemoPlaythrough, PlaysToTheEndAtFourToThreeAndCinemaWidth) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  for (const auto& [w, h] : {std::pair{640, 480}, std::pair{1920, 800}, std::pair{2560, 1080}}) {
    std::vector<std::string> out;
    const std::vector<int> steps = Play(GetParam(), w, h, &out);
    EXPECT_EQ(steps, GetParam().steps) << GetParam().file << " at " << w << "x" << h;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shipped, DemoPlaythrough,
    ::testing::Values(
        // The fade-in and the fade-out advance by themselves (steps 0 and
        // 8); the choice at step 6 first jumps back to 5, then goes on; the
        // last balloon starts again.
        Playthrough{"Main.zvmov", PlayMode::kGlide, {0, 1, 2, 3, 4, 5, 6, 5, 6, 7, 8, 9, 0}},
        Playthrough{"examples/walk.zvmov", PlayMode::kWalk, {0, 1, 2, 3, 4, 0}},
        Playthrough{"examples/explore.zvmov", PlayMode::kExplore, {0, 1, 2, 3, 0}},
        // Scroll wraps to the start after its last step.
        Playthrough{"examples/scroll.zvmov", PlayMode::kScroll, {0, 1, 2, 3, 4, 5, 6, 0}},
        Playthrough{"examples/orbit.zvmov", PlayMode::kOrbit, {0, 1, 2, 3, 4, 0}}),
    [](const ::testing::TestParamInfo<Playthrough>& info) {
      std::string name = info.param.file;
      name = name.substr(name.rfind('/') + 1);
      return name.substr(0, name.find('.'));
    });

// Between them the shipped projects use every feature of the format the
// player supports; links only in an example, never in the start-up demo.
TEST(DemoPlaythrough, TheShippedProjectsUseEveryFeature) {
  std::set<std::string> used;
  for (const char* file : {"Main.zvmov", "examples/walk.zvmov", "examples/explore.zvmov",
                           "examples/scroll.zvmov", "examples/orbit.zvmov"}) {
    const Project p = Load(BinDir() + file);
    used.insert(p.features.begin(), p.features.end());
    used.insert("mode " + std::to_string(StoredValue(p.playMode)));
    for (const CTimeLine& t : p.lines) {
      for (const std::u16string_view mark :
           {kFadeInMark, kFadeOutMark, kEffectMark, kBackgroundMark})
        if (NameHas(t.name, mark)) used.insert(ToUtf8(mark));
      for (const CTimeLineData& e : t.entries) {
        if (e.state != EntryState::kShown) continue;
        if (t.IsBalloon()) used.insert("balloons");
        if (t.IsBalloon() && e.jumpEnabled) used.insert("jumps");
        if (!e.soundName.empty()) used.insert(e.soundLoops ? "looping sound" : "sound");
        if (e.text.rfind(u"http", 0) == 0) {
          used.insert("links");
          EXPECT_STRNE(file, "Main.zvmov");
        }
      }
    }
  }
  const std::set<std::string> all = {"mode 1",     "mode 2",        "mode 3",         "mode 4",
                                     "mode 5",     "balloons",      "jumps",          "links",
                                     "FadeIn",     "FadeOut",       "Effect",         "Background",
                                     "sound",      "looping sound", "skinning",       "3 channels",
                                     "4 channels", "material sets", "walkable ground"};
  EXPECT_EQ(used, all);
}

// What the shipped projects promise besides their steps: the demo's
// background loop starts with the greeting and the goodbye stops it; the
// walk follows the ground up and down and asks once to open its web page;
// in Explore the bell and the well speak when looked at.
TEST(DemoPlaythrough, SoundsLinksAndGroundOfTheExamples) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  std::vector<std::string> out;
  Play(Playthrough{"Main.zvmov", PlayMode::kGlide, {0, 1, 2, 3, 4, 5, 6, 5, 6, 7, 8, 9}}, 640, 480,
       &out);
  int loopAt = -1, stopAt = -1;
  for (int i = 0; i < static_cast<int>(out.size()); ++i) {
    if (out[i].find("\"name\":\"loop\",\"loop\":true,\"ok\":true") != std::string::npos) loopAt = i;
    if (out[i].find("\"name\":\"停止\"") != std::string::npos) stopAt = i;
  }
  EXPECT_GE(loopAt, 0);
  EXPECT_GT(stopAt, loopAt);

  Play(Playthrough{"examples/walk.zvmov", PlayMode::kWalk, {0, 1, 2, 3}}, 640, 480, &out);
  int opens = 0;
  std::set<float> eyeHeights;
  for (const std::string& line : out) {
    if (line.find("\"event\":\"state\"") != std::string::npos)
      eyeHeights.insert(ParseState(line).camera.position.y);
    if (line.find("\"event\":\"open\"") != std::string::npos) {
      ++opens;
      EXPECT_NE(line.find("\"target\":\"https://doc.qt.io/\""), std::string::npos) << line;
    }
  }
  EXPECT_EQ(opens, 1);
  EXPECT_GT(eyeHeights.size(), 8u);  // the eye rises and falls with the meadow

  Play(Playthrough{"examples/explore.zvmov", PlayMode::kExplore, {0, 1, 2, 3}}, 1920, 800, &out);
  std::set<std::string> spoken;
  for (const std::string& line : out)
    for (const char* name : {"bell", "chime4"})
      if (line.find(std::string("\"name\":\"") + name + "\"") != std::string::npos)
        spoken.insert(name);
  EXPECT_EQ(spoken, (std::set<std::string>{"bell", "chime4"}));
}

// Command-line conventions of the tool: --version, --help per command.
TEST(ToolCommandLine, VersionAndHelp) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::string version = std::string("tolvani ") + kTolvaniVersion;
  const struct {
    const char* args;
    int status;
    const char* firstLine;
  } cases[] = {
      {"--version", 0, version.c_str()},
      {"--help", 0, "usage: tolvani inspect FILE [--geometry]"},
      {"inspect --help", 0, "usage: tolvani inspect FILE [--geometry]"},
      {"simulate -h", 0, "usage: tolvani simulate FILE SCRIPT"},
      {"simulate x.zvmov script --help", 0, "usage: tolvani simulate FILE SCRIPT"},
      {"render --help", 0,
       "usage: tolvani render FILE -o OUT [--script SCRIPT | --autoplay] [--size WxH]"},
      // Each command's help is its own.
      {"thumbnail x.zvmov out.png -h", 0, "usage: tolvani thumbnail FILE OUT.png [--size N]"},
      {"thumbnail --help", 0, "usage: tolvani thumbnail FILE OUT.png [--size N]"},
      {"web x.zvmov -o out -h", 0, "usage: tolvani web FILE -o DIR [--force]"},
      {"frobnicate 2>/dev/null", 2, ""},
  };
  for (const auto& c : cases) {
    int status = -1;
    const auto lines = RunCommand(std::string("'" TOLVANI_CLI "' ") + c.args, &status);
    EXPECT_EQ(status, c.status) << c.args;
    EXPECT_EQ(lines.empty() ? "" : lines[0], c.firstLine) << c.args;
  }
}

}  // namespace
}  // namespace tolvani
