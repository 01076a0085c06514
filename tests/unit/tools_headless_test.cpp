// The headless host of the view and the tools' platform services: paints
// around ticks, repaints only when asked, teardown after a failed creation,
// opens by the file system's bytes, one line per diagnostic, and the shader
// stand-in that leaves nothing behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/null_sound_backend.h"
#include "base/native_path.h"
#include "base/program_directory.h"
#include "headless/headless_view.h"
#include "headless/shader_stand_in.h"
#include "headless/tool_platform.h"
#include "model/scene_state.h"
#include "render/null_device.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using headless::HeadlessView;
using headless::ToolPlatform;

// Everything written to standard error while `run` runs.
template <typename Run>
std::string CapturedStderr(Run run) {
  const std::string path = testing::MakeTempDir() + "stderr.txt";
  std::fflush(stderr);
  const int saved = ::dup(2);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(fd, 2);
  ::close(fd);
  run();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ToolPlatform, EveryDiagnosticIsOneLineOrNothing) {
  struct Case {
    ToolPlatform::Diagnostics mode;
    std::u16string text;
    bool warning;
    std::string expected;
  };
  const Case cases[] = {
      {ToolPlatform::Diagnostics::StandardError, u"plain", false, "sub: plain\n"},
      // Texts that bring their own newline do not get a second one.
      {ToolPlatform::Diagnostics::StandardError, u"own newline\n", false, "sub: own newline\n"},
      {ToolPlatform::Diagnostics::StandardError, u"", false, "sub: \n"},
      {ToolPlatform::Diagnostics::StandardError, u"マテリアル", true, "sub: マテリアル\n"},
      {ToolPlatform::Diagnostics::Dropped, u"plain", false, ""},
      {ToolPlatform::Diagnostics::Dropped, u"loud", true, ""},
  };
  for (const Case& c : cases) {
    ToolPlatform platform(c.mode);
    const std::string written = CapturedStderr([&] {
      if (c.warning) {
        Platform().Warning("sub", c.text);
      } else {
        Platform().Diagnostic("sub", c.text);
      }
    });
    EXPECT_EQ(written, c.expected) << c.expected;
  }
}

TEST(ToolPlatform, KeepsRequestsInOrderAndInstallsItselfForItsLifetime) {
  std::vector<size_t> seenAt;
  {
    ToolPlatform platform(ToolPlatform::Diagnostics::Dropped);
    EXPECT_EQ(&Platform(), &platform);
    platform.onMessage = [&](const std::u16string&) {
      seenAt.push_back(platform.messages().size());
    };
    Platform().ShowMessage(u"first", MessageIcon::Error);
    Platform().OpenDocument(u"https://example.org/");  // no listener: kept only
    Platform().ShowMessage(u"second", MessageIcon::None);
    EXPECT_EQ(platform.messages(), (std::vector<std::u16string>{u"first", u"second"}));
    EXPECT_EQ(platform.opened(), std::vector<std::u16string>{u"https://example.org/"});
  }
  // The listener ran after each text was kept.
  EXPECT_EQ(seenAt, (std::vector<size_t>{1, 2}));
  EXPECT_EQ(dynamic_cast<ToolPlatform*>(&Platform()), nullptr);
}

// Logs the paints of the host.
class PaintLog : public headless::IPaintTarget {
 public:
  void BeginPaint() override { events += "["; }
  void EndPaint() override { events += "]"; }
  std::string events;
};

class HeadlessViewTest : public ::testing::Test {
 protected:
  std::string Project() {
    testing::ProjectBuilder b;
    b.AddMaterial(u"m");
    b.AddTriangleModel(u"box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    b.AddEntry(b.AddTimeline(u"camera"), EntryState::kShown);
    return testing::WriteTempFile(b.Build());
  }

  testing::RecordingPlatform platform;
  testing::FreshScene fresh;
  NullGraphicsDevice device;
  PaintLog paints;
  HeadlessView headless{&paints};
};

TEST_F(HeadlessViewTest, TicksPaintAndServeTheRepaintOnlyWhenAsked) {
  ASSERT_EQ(headless.Create(&device, nullptr, std::make_unique<NullSoundBackend>()), 0);
  EXPECT_EQ(headless.host().timerPeriodMs, kTickPeriodMs);
  ASSERT_TRUE(headless.Open(Project()));
  headless.Draw();
  EXPECT_EQ(paints.events, "[]");
  EXPECT_EQ(device.presentCount(), 1u);

  // The tick runs inside a paint, then the repaint it asked for follows.
  headless.Tick();
  EXPECT_EQ(paints.events, "[][][]");
  EXPECT_EQ(device.presentCount(), 2u);
  EXPECT_EQ(headless.host().invalidations, 1);
  EXPECT_FALSE(headless.host().repaintRequested);

  // Without a scene the tick asks nothing, so nothing is drawn after it.
  headless.Destroy();
  paints.events.clear();
  headless.Tick();
  EXPECT_EQ(paints.events, "[]");
  EXPECT_EQ(device.presentCount(), 2u);
}

TEST_F(HeadlessViewTest, DestroyReleasesWhatAFailedCreationMadeOnce) {
  device.FailAlways(NullGraphicsDevice::Op::CreateConstantBuffer);
  EXPECT_LT(headless.Create(&device, nullptr, std::make_unique<NullSoundBackend>()), 0);
  EXPECT_GT(device.LiveObjectCount(), 0u);  // states and shaders were made
  headless.Destroy();
  EXPECT_EQ(device.LiveObjectCount(), 0u);
  EXPECT_EQ(SceneState.sceneRoot, nullptr);
  // A second destruction (and the destructor's) finds nothing to do.
  EnsureSceneRoot();
  headless.Destroy();
  EXPECT_NE(SceneState.sceneRoot, nullptr);
}

TEST_F(HeadlessViewTest, OpensAPathByTheFileSystemsOwnBytes) {
  ASSERT_EQ(headless.Create(&device, nullptr, std::make_unique<NullSoundBackend>()), 0);
  // A Latin-1 file name: not UTF-8, still a file.
  const std::string path = testing::MakeTempDir() + "caf\xE9.zvmov";
  std::ifstream source(Project(), std::ios::binary);
  std::ofstream(path, std::ios::binary) << source.rdbuf();
  EXPECT_TRUE(headless.Open(path));
  EXPECT_TRUE(platform.MessageTexts().empty());
  EXPECT_EQ(SceneState.timeLines.size(), 1u);
}

TEST(ShaderStandIn, StandsInOnlyWhileNeededAndLeavesNothingBehind) {
  testing::RecordingPlatform platform;
  testing::FreshScene withShader;  // its program directory holds a shader
  {
    const headless::ShaderStandIn standIn("test");
    EXPECT_FALSE(standIn.active());
    EXPECT_EQ(ProgramDirectory(), testing::U16(withShader.programDirectory()));
  }
  EXPECT_TRUE(platform.diagnostics.empty());

  const std::u16string empty = testing::U16(testing::MakeTempDir());
  SetProgramDirectory(empty);
  std::string folder;
  {
    const headless::ShaderStandIn standIn("test");
    ASSERT_TRUE(standIn.active());
    folder = ToNativePath(ProgramDirectory());
    EXPECT_NE(ProgramDirectory(), empty);
    std::ifstream shader(folder + "DoNotTouch/CoreShader.glsl");
    std::string text;
    std::getline(shader, text);
    EXPECT_EQ(text, "VS PS PS_TEX");
  }
  EXPECT_EQ(ProgramDirectory(), empty);
  struct stat info;
  EXPECT_NE(::stat(folder.c_str(), &info), 0);  // removed
  ASSERT_EQ(platform.diagnostics.size(), 1u);
  EXPECT_EQ(platform.diagnostics[0].first, "test");
}

}  // namespace
}  // namespace tolvani
