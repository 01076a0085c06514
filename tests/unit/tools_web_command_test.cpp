// `tolvani web`: the folder it writes from a stand-in web build
// (TOLVANI_WEB_DIR), the snippet it prints, and what it refuses to touch.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/test_helpers.h"

namespace tolvani {
namespace {

std::string BinDir() {
  const std::string cli = TOLVANI_CLI;
  return cli.substr(0, cli.rfind('/') + 1);
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool Exists(const std::string& path) {
  struct stat s {};
  return ::stat(path.c_str(), &s) == 0;
}

// A web build with the four required files, a later page's extra script,
// and what must not be copied: a hidden file and a sub-folder.
std::string StandInWebBuild() {
  const std::string dir = testing::MakeTempDir();
  for (const char* name :
       {"player.html", "player_glue.js", "tolvani_player.js", "tolvani_player.wasm", "extra.js"})
    Write(dir + name, std::string("content of ") + name);
  Write(dir + ".hidden", "no");
  ::mkdir((dir + "sub").c_str(), 0755);
  return dir;
}

struct WebRun {
  int status = -1;
  std::string out;
};

WebRun Web(const std::string& args, const std::string& webDir) {
  int status = -1;
  std::string out = testing::RunCommand(
      "TOLVANI_WEB_DIR='" + webDir + "' '" + TOLVANI_CLI + "' web " + args + " 2>/dev/null",
      &status);
  return {status, out};
}

const std::string kWalk = BinDir() + "examples/walk.zvmov";

TEST(WebCommand, WritesTheBuildAndTheCartoonAndPrintsTheIframe) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::string web = StandInWebBuild();
  const std::string site = testing::MakeTempDir();
  const std::string dir = site + "nested/my site";
  const WebRun r = Web("'" + kWalk + "' -o '" + dir + "'", web);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "<iframe src=\"my%20site/player.html?file=walk.zvmov\" title=\"walk\" width=\"640\" "
            "height=\"480\" style=\"border:0\" allow=\"fullscreen\"></iframe>\n");
  for (const char* name :
       {"player.html", "player_glue.js", "tolvani_player.js", "tolvani_player.wasm", "extra.js"})
    EXPECT_EQ(Read(dir + "/" + name), Read(web + name)) << name;
  EXPECT_EQ(Read(dir + "/walk.zvmov"), Read(kWalk));
  EXPECT_FALSE(Exists(dir + "/.hidden"));
  EXPECT_FALSE(Exists(dir + "/sub"));
  // Nothing but the folder is left beside it (no half-built folder).
  int status = -1;
  EXPECT_EQ(testing::RunCommand("ls -A '" + site + "nested'", &status), "my site\n");
}

TEST(WebCommand, ANameIsEncodedInTheAddressAndEscapedInTheTitle) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::string site = testing::MakeTempDir();
  const std::string cartoon = site + "a&b \"x\".zvmov";
  Write(cartoon, Read(kWalk));
  const WebRun r = Web("'" + cartoon + "' -o '" + site + "out'", StandInWebBuild());
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("src=\"out/player.html?file=a%26b%20%22x%22.zvmov\""), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("title=\"a&amp;b &quot;x&quot;\""), std::string::npos) << r.out;
}

TEST(WebCommand, RefusesWithoutWriting) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::string site = testing::MakeTempDir();
  const std::string broken = site + "broken.zvmov";
  Write(broken, Read(kWalk).substr(0, 300));
  Write(site + "notes.txt", "text");
  Write(site + "a file", "text");
  const std::string incomplete = StandInWebBuild();
  std::remove((incomplete + "tolvani_player.wasm").c_str());
  const std::string out = site + "out";
  const struct {
    const char* what;
    std::string args;
    std::string webDir;
    int status;
  } kCases[] = {
      {"not a project", "'" + site + "notes.txt' -o '" + out + "'", StandInWebBuild(), 1},
      {"a project that does not open", "'" + broken + "' -o '" + out + "'", StandInWebBuild(), 1},
      {"no web build", "'" + kWalk + "' -o '" + out + "'", site + "absent", 1},
      {"an incomplete web build", "'" + kWalk + "' -o '" + out + "'", incomplete, 1},
      {"a file as the folder", "'" + kWalk + "' -o '" + site + "a file'", StandInWebBuild(), 1},
      {"no folder", "'" + kWalk + "'", StandInWebBuild(), 2},
      {"-o without its folder", "'" + kWalk + "' -o", StandInWebBuild(), 2},
      {"an unknown option", "'" + kWalk + "' -o '" + out + "' --fast", StandInWebBuild(), 2},
  };
  for (const auto& c : kCases) {
    const WebRun r = Web(c.args, c.webDir);
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(r.out, "") << c.what;
    EXPECT_FALSE(Exists(out)) << c.what;
    EXPECT_EQ(Read(site + "a file"), "text") << c.what;
  }
}

TEST(WebCommand, AFolderOfOthersNeedsForceAndKeepsTheirFiles) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::string web = StandInWebBuild();
  const std::string dir = testing::MakeTempDir();
  Write(dir + "index.html", "theirs");
  Write(dir + "player.html", "theirs too");
  EXPECT_EQ(Web("'" + kWalk + "' -o '" + dir + "'", web).status, 1);
  EXPECT_EQ(Read(dir + "player.html"), "theirs too");
  EXPECT_FALSE(Exists(dir + "walk.zvmov"));

  EXPECT_EQ(Web("'" + kWalk + "' -o '" + dir + "' --force", web).status, 0);
  EXPECT_EQ(Read(dir + "index.html"), "theirs");
  EXPECT_EQ(Read(dir + "player.html"), Read(web + "player.html"));
  EXPECT_EQ(Read(dir + "walk.zvmov"), Read(kWalk));
}

TEST(WebCommand, AnEarlierExportIsReplacedWithoutForce) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::string web = StandInWebBuild();
  const std::string site = testing::MakeTempDir();
  const std::string dir = site + "out/";
  ASSERT_EQ(Web("'" + kWalk + "' -o '" + dir + "'", web).status, 0);
  Write(dir + "notes.html", "added by hand");
  Write(web + "player.html", "a newer page");
  ASSERT_EQ(Web("'" + BinDir() + "examples/orbit.zvmov' -o '" + dir + "'", web).status, 0);
  EXPECT_EQ(Read(dir + "player.html"), "a newer page");
  EXPECT_EQ(Read(dir + "orbit.zvmov"), Read(BinDir() + "examples/orbit.zvmov"));
  // The earlier cartoon was the export's own; the hand-made page is not.
  EXPECT_FALSE(Exists(dir + "walk.zvmov"));
  EXPECT_EQ(Read(dir + "notes.html"), "added by hand");
}

}  // namespace
}  // namespace tolvani
