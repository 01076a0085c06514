// The companion's small rules: reading time, output names, the script
// language it shares with `simulate`.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "render_tool/autoplay.h"
#include "render_tool/output_file.h"
#include "script/script.h"
#include "support/test_helpers.h"

namespace tolvani::render_tool {
namespace {

TEST(AutoplayReadingTime, GrowsWithTheTextUpToEightSeconds) {
  const struct {
    size_t characters;
    int ticks;
  } cases[] = {{0, 50}, {1, 52}, {30, 110}, {108, 266}, {109, 267}, {100000, 267}};
  for (const auto& c : cases) EXPECT_EQ(ReadingTicks(c.characters), c.ticks) << c.characters;
}

TEST(RenderOutputFile, CommitRenamesAndAbandonRemoves) {
  const std::string dir = testing::MakeTempDir();
  std::string error;
  {
    OutputFile kept;
    ASSERT_TRUE(kept.Reserve(dir + "kept.mp4", &error)) << error;
    EXPECT_EQ(std::string(PendingOutputPath()), kept.temporaryPath());
    std::ofstream(kept.temporaryPath()) << "data";
    ASSERT_TRUE(kept.Commit(&error)) << error;
    OutputFile dropped;
    ASSERT_TRUE(dropped.Reserve(dir + "dropped.mp4", &error)) << error;
    EXPECT_TRUE(std::filesystem::exists(dropped.temporaryPath()));
  }
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names.push_back(e.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"kept.mp4"});
  EXPECT_EQ(std::string(PendingOutputPath()), "");
  OutputFile nowhere;
  EXPECT_FALSE(nowhere.Reserve(dir + "no/such/folder/x.png", &error));
}

TEST(RenderOutputFile, ExtensionIsLowerCasedAndOfTheLastName) {
  EXPECT_EQ(ExtensionOf("a/b.MP4"), "mp4");
  EXPECT_EQ(ExtensionOf("x.y/file"), "");
  EXPECT_EQ(ExtensionOf("clip.webm"), "webm");
  EXPECT_EQ(ExtensionOf("noext"), "");
}

TEST(ScriptLanguage, ReportsTheLineOfTheFirstError) {
  const std::string dir = testing::MakeTempDir();
  const struct {
    const char* text;
    const char* why;  // empty: accepted
  } cases[] = {
      {"# comment\n\ntick 3\nclick 1 2\nwheel -120\nopen a b.zvmov\n", ""},
      {"tick\ntick x\n", "line 2: not an integer: 'x'"},
      {"keydown Q\n", "line 1: unknown key 'Q'"},
      {"tick 1000001\n", "line 1: tick count out of range (0 to 1000000)"},
      {"jump 1\n", "line 1: unknown command 'jump'"},
  };
  for (const auto& c : cases) {
    std::ofstream(dir + "s.txt") << c.text;
    std::vector<script::Command> commands;
    std::string why;
    const bool ok = script::ReadScript(dir + "s.txt", &commands, &why);
    EXPECT_EQ(ok, std::string(c.why).empty()) << c.text;
    EXPECT_EQ(why, c.why);
    if (ok) {
      ASSERT_EQ(commands.size(), 4u);
      EXPECT_EQ(commands[3].path, "a b.zvmov");
    }
  }
}

}  // namespace
}  // namespace tolvani::render_tool
