// The script language of `simulate` and `render --script` on any bytes:
// what separates words, what makes a line malformed, the bounds, and what
// an error message may quote.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "render_tool/render_options.h"
#include "script/script.h"
#include "support/test_helpers.h"

namespace tolvani::script {
namespace {

using namespace std::string_literals;

TEST(ScriptBytes, ControlCharactersBlanksAndCommentsLineByLine) {
  const struct {
    std::string text;
    const char* why;  // empty: accepted
    size_t commands;
  } cases[] = {
      {"\f\n", "line 1: control character 0x0C at byte 1", 0},
      {"tick\n\v", "line 2: control character 0x0B at byte 1", 0},
      {"tick\n\r\r\n", "line 2: control character 0x0D at byte 1", 0},
      {"click 1\0002\n"s, "line 1: control character 0x00 at byte 8", 0},
      {"draw\x7f\n", "line 1: control character 0x7F at byte 5", 0},
      {"tick\r\ndraw\r\n", "", 2},              // CRLF lines
      {" \t click\t1  2 \t\n\n", "", 1},        // only spaces and tabs separate
      {"# \x01\x02 anything\n  #\f\n", "", 0},  // comments are not read
      {"click 2147483648 0\n", "line 1: not an integer: '2147483648'", 0},
      {"wheel +120\nkeydown 0x2F\n", "", 2},
      {"tick 600000\ntick 400000\ntick 1\n",
       "line 3: the script's ticks add up to more than 1000000", 0},
      {"\xff\xfe 1\n", "line 1: unknown command '\\xFF\\xFE'", 0},
  };
  for (const auto& c : cases) {
    std::vector<Command> commands;
    std::string why;
    const bool ok = ParseScript(c.text, &commands, &why);
    EXPECT_EQ(ok, std::string(c.why).empty()) << c.text;
    EXPECT_EQ(why, c.why);
    if (ok) {
      EXPECT_EQ(commands.size(), c.commands) << c.text;
    }
  }
}

TEST(ScriptBytes, OpenTakesTheRestOfTheLineAsBytes) {
  std::vector<Command> commands;
  std::string why;
  ASSERT_TRUE(ParseScript("open \t a  b\xe9.zvmov \t\n", &commands, &why)) << why;
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].path, "a  b\xe9.zvmov");
  EXPECT_FALSE(ParseScript("open \t\n", &commands, &why));
  EXPECT_EQ(why, "line 1: 'open' needs a file");
}

TEST(ScriptBytes, ErrorsQuoteAShortPrefixOfTheWord) {
  std::vector<Command> commands;
  std::string why;
  ASSERT_FALSE(ParseScript("keydown " + std::string(5000, 'K') + "\n", &commands, &why));
  EXPECT_EQ(why, "line 1: unknown key '" + std::string(kMaxQuotedBytes, 'K') + "...'");
}

TEST(ScriptBounds, LineAndScriptLengths) {
  const std::string longest = "#" + std::string(kMaxLineBytes - 1, 'x') + "\n";
  const std::string tooLong = "tick\n#" + std::string(kMaxLineBytes, 'x') + "\n";
  std::string full;  // exactly kMaxScriptBytes of "tick 0" lines and comment padding
  while (full.size() + 7 <= kMaxScriptBytes) full += "tick 0\n";
  full += "#" + std::string(kMaxScriptBytes - full.size() - 2, 'p') + "\n";
  ASSERT_EQ(full.size(), kMaxScriptBytes);
  const struct {
    std::string text;
    const char* why;
  } cases[] = {
      {longest, ""},
      {tooLong, "line 2: longer than 8192 bytes"},
      {full, ""},
      {full + "\n", "the script is longer than 1048576 bytes"},
  };
  for (const auto& c : cases) {
    std::vector<Command> commands;
    std::string why;
    EXPECT_EQ(ParseScript(c.text, &commands, &why), std::string(c.why).empty());
    EXPECT_EQ(why, c.why);
  }
}

TEST(ScriptFiles, ReadInPiecesLikeInMemory) {
  // Lines cross the reader's 64 KiB pieces; the result is the same.
  std::string text;
  for (int i = 0; text.size() < 200000; ++i) text += "click " + std::to_string(i) + " 7\n";
  const std::string path = testing::WriteTempFile(std::vector<uint8_t>(text.begin(), text.end()));
  std::vector<Command> fromFile, fromMemory;
  std::string why;
  ASSERT_TRUE(ReadScript(path, &fromFile, &why)) << why;
  ASSERT_TRUE(ParseScript(text, &fromMemory, &why)) << why;
  ASSERT_EQ(fromFile.size(), fromMemory.size());
  for (size_t i = 0; i < fromFile.size(); ++i) ASSERT_EQ(fromFile[i].a, fromMemory[i].a) << i;
}

TEST(ScriptFiles, EndlessAndUnreadableSources) {
  std::vector<Command> commands;
  std::string why;
  // One endless line of zero bytes: refused at the line bound.
  EXPECT_FALSE(ReadScript("/dev/zero", &commands, &why));
  EXPECT_EQ(why, "line 1: longer than 8192 bytes");
  EXPECT_FALSE(ReadScript(testing::MakeTempDir(), &commands, &why));
  EXPECT_EQ(why.rfind("cannot read script", 0), 0u) << why;
  EXPECT_TRUE(commands.empty());
}

// The tool itself: a lone form feed once crashed it.
TEST(ScriptFiles, SimulateReportsTheMalformedLine) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::string dir = testing::MakeTempDir();
  for (const char* line : {"\f", "\v", "\r\r"}) {
    std::ofstream(dir + "s.txt", std::ios::binary) << "tick\n" << line << "\n";
    const std::string command = "'" TOLVANI_CLI "' simulate '" TOLVANI_SOURCE_DIR
                                "/no-such.zvmov' '" +
                                dir + "s.txt' >/dev/null 2>'" + dir + "err.txt'";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 2) << raw;
    std::ifstream in(dir + "err.txt");
    std::string err;
    std::getline(in, err);
    EXPECT_EQ(err.find("tolvani simulate: line 2: control character"), 0u) << err;
  }
}

// Numbers of the render and thumbnail command lines are read whole: an
// overflow once wrapped to an accepted size.
TEST(RenderOptionNumbers, SizesAreReadWholeWithRangeChecks) {
  const struct {
    const char* text;
    int width, height;  // 0: refused
  } cases[] = {
      {"640x480", 640, 480}, {"100X8192", 100, 8192}, {"+200x200", 200, 200},
      {"99x100", 0, 0},      {"100x8193", 0, 0},      {"4294967496x4294967496", 0, 0},
      {"200x200x", 0, 0},    {"200x", 0, 0},          {"x200", 0, 0},
      {"-200x200", 0, 0},    {" 200x200", 0, 0},      {"200x+-200", 0, 0},
  };
  for (const auto& c : cases) {
    int w = 0, h = 0;
    EXPECT_EQ(render_tool::ParseSize(c.text, render_tool::kMinRenderSide,
                                     render_tool::kMaxRenderSide, &w, &h),
              c.width != 0)
        << c.text;
    if (c.width != 0) {
      EXPECT_EQ(w, c.width) << c.text;
      EXPECT_EQ(h, c.height) << c.text;
    }
  }
  render_tool::ThumbnailOptions t;
  std::string why;
  EXPECT_FALSE(render_tool::ParseThumbnailOptions(
      {"a.zvmov", "b.png", "--size", "18446744073709551872"}, &t, &why));
  EXPECT_EQ(why, "--size takes 1 to 4096 pixels");
  EXPECT_TRUE(render_tool::ParseThumbnailOptions(
      {"a.zvmov", "b.png", "--size", "1024", "--memory-limit", "600"}, &t, &why));
  EXPECT_EQ(t.size, 1024);
  EXPECT_EQ(t.memoryLimitMegabytes, 600);
}

}  // namespace
}  // namespace tolvani::script
