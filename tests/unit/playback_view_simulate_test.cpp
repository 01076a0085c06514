// `tolvani simulate`: the headless view driven by a script, as a process.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/test_helpers.h"

namespace tolvani {
namespace {

struct SimRun {
  int status = -1;
  std::vector<std::string> lines;  // standard output
  std::string errors;              // standard error
};

SimRun Simulate(const std::string& project, const std::string& script) {
  const std::string dir = testing::MakeTempDir();
  std::ofstream(dir + "script.txt") << script;
  const std::string command = std::string("'") + TOLVANI_CLI + "' simulate '" + project + "' '" +
                              dir + "script.txt' 2>'" + dir + "err.txt'";
  SimRun run;
  FILE* out = popen(command.c_str(), "r");
  if (!out) return run;
  std::string current;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), out)) > 0) current.append(buf.data(), n);
  const int status = pclose(out);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  size_t start = 0;
  for (size_t nl; (nl = current.find('\n', start)) != std::string::npos; start = nl + 1) {
    run.lines.push_back(current.substr(start, nl - start));
  }
  std::ifstream err(dir + "err.txt");
  run.errors.assign(std::istreambuf_iterator<char>(err), {});
  return run;
}

std::string Project() {
  testing::ProjectBuilder b;
  b.AddMaterial(u"m");
  CModel& m = b.AddTriangleModel(u"box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  m.animations.push_back(testing::MakeAnimation(1, 4));
  m.animationNames.push_back(u"spin");
  CTimeLine& t = b.AddTimeline(u"camera");
  b.AddEntry(t, EntryState::kShown).animationName = u"spin";
  return testing::WriteTempFile(b.Build());
}

TEST(Simulate, RunsTheScriptAndPrintsStateLines) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const SimRun run = Simulate(Project(),
                              "# a comment\n"
                              "\n"
                              "state\n"
                              "tick 3\n"
                              "draw\n"
                              "ldown 5 6\nmove 7 8\nlup 7 8\nkeydown Left\nkeyup 0x41\n"
                              "wheel 120\nwheel -120 3 4\nsize 99 600\nstate\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  ASSERT_EQ(run.lines.size(), 2u);
  // The first paint is one frame; three ticks repaint three times; draw one more.
  EXPECT_NE(run.lines[0].find("\"frames\":1}"), std::string::npos) << run.lines[0];
  EXPECT_NE(run.lines[1].find("\"frames\":5}"), std::string::npos) << run.lines[1];
  EXPECT_NE(run.lines[0].find("\"event\":\"state\",\"currentStep\":0"), std::string::npos);
  EXPECT_NE(run.lines[0].find("\"animationFrame\":0"), std::string::npos);
  EXPECT_NE(run.lines[1].find("\"animationFrame\":3"), std::string::npos) << run.lines[1];
  EXPECT_NE(run.lines[1].find("\"soundPlayed\":[false]"), std::string::npos);
}

TEST(Simulate, MessagesAreEventsAndAFailedOpenRunsOn) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::string missing = testing::MakeTempDir() + "missing.zvmov";
  const SimRun run = Simulate(missing, "tick\nopen " + missing + "\nstate\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  ASSERT_EQ(run.lines.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(run.lines[i].rfind("{\"event\":\"message\",\"text\":\"", 0), 0u) << run.lines[i];
    EXPECT_NE(run.lines[i].find("missing.zvmov"), std::string::npos);
  }
  EXPECT_NE(run.lines[2].find("\"models\":[]"), std::string::npos);
  EXPECT_NE(run.lines[2].find("\"frames\":2}"), std::string::npos) << run.lines[2];
}

TEST(Simulate, MalformedLinesStopBeforeAnythingRuns) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::string project = Project();
  const struct {
    const char* script;
    const char* line;
  } cases[] = {{"state\nfly 1 2\n", "line 2"},
               {"tick x\n", "line 1"},
               {"\n# c\nclick 1\n", "line 3"},
               {"keydown Space\n", "line 1"},
               {"tick 99999999\n", "line 1"},
               {"wheel 1 2\n", "line 1"},
               {"open\n", "line 1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    const SimRun run = Simulate(project, c.script);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.lines.empty());
    EXPECT_NE(run.errors.find(c.line), std::string::npos) << run.errors;
  }
}

// A project shaped like the demo: camera model without geometry, a ground,
// and a balloon card straight ahead of the camera at every step, the last
// step jumping back to the first. Step i's balloon asks for sounds[i].
struct StepSound {
  std::u16string name;
  bool loops = false;
};
std::string BalloonStory(const std::vector<StepSound>& sounds) {
  testing::ProjectBuilder b;
  b.playMode = PlayMode::kGlide;
  b.AddMaterial(u"Floor");
  b.AddMaterial(u"FukidashiMaterial");
  b.AddModel(u"Camera");
  b.AddTriangleModel(u"Ground", {{-400, 0, -400}, {-400, 0, 1200}, {1200, 0, -400}}, {{0, 1, 2}});
  b.AddTriangleModel(u"Balloon", {{-55, -35, 0}, {55, -35, 0}, {55, 35, 0}, {-55, 35, 0}},
                     {{0, 1, 2}, {0, 2, 3}}, 1);
  b.AddSound(u"beep", testing::PcmFormat(1, 8000, 8), {1, 2, 3});
  CTimeLine& camera = b.AddTimeline(u"Camera");
  CTimeLine& ground = b.AddTimeline(u"Ground");
  CTimeLine& balloon = b.AddTimeline(u"fukidashi");
  for (size_t step = 0; step < sounds.size(); ++step) {
    b.AddEntry(camera, EntryState::kShown).motion.position =
        Vec3{0, -160, -850};  // eye at (0, 160, 850)
    b.AddEntry(ground, EntryState::kShown);
    CTimeLineData& e = b.AddEntry(balloon, EntryState::kShown);
    e.motion.position = Vec3{0, 160, 0};
    e.text = u"click me";
    e.jumpEnabled = step + 1 == sounds.size() ? 1 : 0;
    e.soundName = sounds[step].name;
    e.soundLoops = sounds[step].loops;
  }
  return testing::WriteTempFile(b.Build());
}

TEST(Simulate, AClickOnTheBalloonAdvancesTheStory) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const SimRun run = Simulate(BalloonStory({{}, {}, {}}),
                              "click 5 5\nstate\n"
                              "click 330 235\nstate\n"
                              "tick 50\nclick 330 235\nstate\n"
                              "tick 50\nclick 330 235\nstate\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  ASSERT_EQ(run.lines.size(), 4u);
  const char* steps[] = {"\"currentStep\":0,", "\"currentStep\":1,", "\"currentStep\":2,",
                         "\"currentStep\":0,"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_NE(run.lines[i].find(steps[i]), std::string::npos) << run.lines[i];
  }
}

// Every sound request is an event: a stored sound (names fold A-Z case), the
// stop-all name and a name of no stored sound; a request without a name is not.
TEST(Simulate, EverySoundRequestIsAPlayEvent) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const SimRun run = Simulate(BalloonStory({{u"BEEP", true}, {u"停止"}, {u"nosuch", true}, {}}),
                              "click 330 235\ntick 50\nclick 330 235\ntick 50\nclick 330 235\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  const std::vector<std::string> expected = {
      R"({"event":"play","name":"BEEP","loop":true,"ok":true})",
      R"({"event":"play","name":"停止","loop":false,"ok":true})",
      R"({"event":"play","name":"nosuch","loop":true,"ok":false})",
  };
  EXPECT_EQ(run.lines, expected);
}

}  // namespace
}  // namespace tolvani
