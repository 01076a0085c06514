// Files from strangers: only regular files are read, names with any bytes
// open, and a file full of broken textures cannot lock the user in message
// boxes.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <malloc.h>

#include <cstring>
#include <functional>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/limits.h"
#include "base/native_path.h"
#include "base/program_directory.h"
#include "document/document.h"
#include "model/archive.h"
#include "model/scene_state.h"
#include "prepare/texture_budget.h"
#include "render/null_device.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using testing::U16;

class UntrustedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSceneStateForTests();
    EnsureSceneRoot();
    SceneState.sceneRoot->render.device = &device;
    SceneState.audio = new CAudio(std::make_unique<NullSoundBackend>());
    dir = testing::MakeTempDir();
    SetProgramDirectory(U16(dir));
    doc = std::make_unique<CPlayerDoc>();
  }
  void TearDown() override {
    doc.reset();
    if (SceneState.sceneRoot) SceneState.sceneRoot->ResetScene();
    ResetSceneStateForTests();
    SetProgramDirectory(u"");
  }

  NullGraphicsDevice device;
  testing::RecordingPlatform platform;
  std::string dir;
  std::unique_ptr<CPlayerDoc> doc;
};

TEST_F(UntrustedFileTest, OnlyRegularFilesAreReadAndNothingElseBlocks) {
  TOLVANI_SKIP_IN_WASM("pipes, sockets and /dev files of Linux");
  const std::string fifo = dir + "fifo.zvmov";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string zero = dir + "zero.zvmov";
  ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
  const std::string null = dir + "null.zvmov";
  ASSERT_EQ(::symlink("/dev/null", null.c_str()), 0);
  const std::string folder = dir + "folder.zvmov";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string socketPath = dir + "s.zvmov";
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  for (const std::string& path : {fifo, zero, null, folder, socketPath}) {
    platform.Clear();
    EXPECT_FALSE(doc->OnOpenDocument(U16(path))) << path;
    // The invalid-path message, and no empty project in place of the file.
    EXPECT_EQ(platform.MessageTexts(),
              std::vector<std::u16string>{U16(path) + u" に正しくないパスが含まれています。"})
        << path;
    EXPECT_EQ(doc->path(), u"") << path;
  }
  ::close(sock);
  // A regular file still reads.
  testing::ProjectBuilder b;
  b.AddTimeline(u"t");
  const std::string good = dir + "good.zvmov";
  testing::WriteBytes(good, b.Build());
  EXPECT_TRUE(doc->OnOpenDocument(U16(good)));
}

TEST(NativePath, EveryByteStringRoundTripsAndUtf8StaysText) {
  // All single bytes, and sequences that are almost UTF-8.
  std::vector<std::string> names;
  for (int b = 1; b < 256; ++b) names.push_back(std::string(1, static_cast<char>(b)));
  names.insert(names.end(),
               {"caf\xE9.zvmov", "\xC3", "\xC3\xA9\xC3", "\xED\xA0\x80", "\xF0\x9F\x98",
                "\xF0\x9F\x98\x80\xFF", "\xC0\x80", "\xF4\x90\x80\x80", "\xF0\x90\x82\x80\x80"});
  for (const std::string& name : names) {
    EXPECT_EQ(ToNativePath(FromNativePath(name)), name) << ::testing::PrintToString(name);
  }
  // Valid UTF-8 reads as its text; other bytes as U+DC80..U+DCFF.
  EXPECT_EQ(FromNativePath("\xE3\x81\x82/\xF0\x9F\x98\x80"), u"\u3042/\U0001F600");
  EXPECT_EQ(FromNativePath("caf\xE9"), u"caf\xDCE9");
  EXPECT_EQ(DisplayPath(FromNativePath("caf\xE9")), u"caf\uFFFD");
  // A lone surrogate that is no escape has no byte: it becomes U+FFFD.
  EXPECT_EQ(ToNativePath(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST_F(UntrustedFileTest, AFileOpensWhateverBytesItsNameHas) {
  testing::ProjectBuilder b;
  b.AddTimeline(u"t");
  const std::string bytes = dir + "caf\xE9-\xFF\xC3.zvmov";  // Latin-1 and a cut sequence
  testing::WriteBytes(bytes, b.Build());
  const std::u16string path = FromNativePath(bytes);
  EXPECT_TRUE(doc->OnOpenDocument(path));
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(ToNativePath(doc->path()), bytes);
  EXPECT_EQ(SceneState.timeLines.size(), 1u);
  // A missing one is named for people with U+FFFD in place of the bytes.
  EXPECT_FALSE(doc->OnOpenDocument(FromNativePath(dir + "gone\xE9.zvmov")));
  EXPECT_EQ(platform.MessageTexts().back(),
            U16(dir) + u"gone\uFFFD.zvmov が見つかりませんでした。");
}

TEST_F(UntrustedFileTest, OnlyTheFirstThreeFailingTexturesOfAnOpenShowAMessage) {
  testing::ProjectBuilder b;
  for (int i = 0; i < 6; ++i) {
    const std::u16string n = U16(std::to_string(i));
    b.AddTexturedMaterial(u"m" + n, u"t" + n + u".png", 2, 2, 3);
  }
  const std::string path = dir + "textures.zvmov";
  testing::WriteBytes(path, b.Build());
  device.FailAlways(NullGraphicsDevice::Op::CreateTexture2D);
  ASSERT_TRUE(doc->OnOpenDocument(U16(path)));
  EXPECT_EQ(platform.MessageTexts(),
            (std::vector<std::u16string>{u"t0.pngの読み込みに失敗しました。",
                                         u"t1.pngの読み込みに失敗しました。",
                                         u"t2.pngの読み込みに失敗しました。"}));
  size_t reported = 0;
  for (const auto& [subsystem, text] : platform.diagnostics)
    reported += text.find(u"の読み込みに失敗しました。") != std::u16string::npos;
  EXPECT_EQ(reported, 3u);
  // Every open starts counting again.
  platform.Clear();
  ASSERT_TRUE(doc->OnOpenDocument(U16(path)));
  EXPECT_EQ(platform.MessageTexts().size(), 3u);
}

// count materials, each with its own 1 x 1 image of a colour of its own.
void AddTinyTextures(testing::ProjectBuilder& b, int count) {
  for (int i = 0; i < count; ++i) {
    CMaterial& m = b.AddTexturedMaterial(u"", u"t", 1, 1, 3);
    m.image.Fill(
        {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i >> 16)});
  }
}

// Heap bytes in use (the arenas and the large blocks).
size_t HeapInUse() {
#if defined(__GLIBC__)
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#else
  return 0;
#endif
}

TEST_F(UntrustedFileTest, TinyRecordsTakeLessThanEightTimesTheirBytes) {
  TOLVANI_SKIP_IN_WASM("counts heap bytes with glibc's mallinfo2");
  // Files of the smallest records a project can hold, millions of them in
  // the wild: empty names, empty models, empty timelines.
  struct Case {
    const char* name;
    std::function<void(testing::ProjectBuilder&)> fill;
  };
  const Case cases[] = {
      {"names", [](testing::ProjectBuilder& b) { b.auxNames.assign(200000, u""); }},
      {"animation names",
       [](testing::ProjectBuilder& b) {
         CModel& m = b.AddModel(u"");
         for (int i = 0; i < 200000; ++i) m.animationNames.push_back(u"a");
       }},
      {"models",
       [](testing::ProjectBuilder& b) {
         for (int i = 0; i < 40000; ++i) b.AddModel(u"");
       }},
      {"timelines",
       [](testing::ProjectBuilder& b) {
         for (int i = 0; i < 200000; ++i) b.AddTimeline(u"");
       }},
      // 1 x 1 textures of distinct colours, as many as one file may upload
      // and far more (the rest are drawn untextured).
      {"textures at the budget", [](testing::ProjectBuilder& b) { AddTinyTextures(b, 16384); }},
      {"textures past the budget", [](testing::ProjectBuilder& b) { AddTinyTextures(b, 100000); }},
  };
  // The device as inspect configures it: sizes kept, contents not.
  device.SetKeepTextureContents(false);
  device.SetKeepBufferContents(false);
  for (const Case& c : cases) {
    testing::ProjectBuilder b;
    c.fill(b);
    const std::vector<uint8_t> bytes = b.Build();
    const std::string path = dir + "tiny.zvmov";
    testing::WriteBytes(path, bytes);
    CPlayerDoc::ResetScene();
    const size_t before = HeapInUse();
    // The peak as sampled at every stage of the open (each model and
    // texture prepared) and at its end.
    size_t peak = 0;
    doc->onOpenStage = [&peak](CPlayerDoc::OpenStage) { peak = std::max(peak, HeapInUse()); };
    ASSERT_TRUE(doc->OnOpenDocument(U16(path))) << c.name;
    peak = std::max(peak, HeapInUse());
    const size_t used = peak - std::min(before, peak);
    EXPECT_LT(used, kRecordMemoryPerFileByte * bytes.size())
        << c.name << ": " << used << " bytes for " << bytes.size();
  }
}

TEST_F(UntrustedFileTest, OneFileUploadsAtMostItsBudgetOfTextures) {
  testing::ProjectBuilder b;
  AddTinyTextures(b, static_cast<int>(kMaxTexturesPerFile) + 10);
  testing::WriteBytes(dir + "many.zvmov", b.Build());
  ASSERT_TRUE(doc->OnOpenDocument(U16(dir + "many.zvmov")));
  const std::vector<CMaterial>& materials = SceneState.sceneRoot->materials;
  EXPECT_NE(materials[kMaxTexturesPerFile - 1].textureView, gfx::kNone);
  EXPECT_EQ(materials[kMaxTexturesPerFile].textureView, gfx::kNone);
  EXPECT_TRUE(materials.back().textureName.empty());
  EXPECT_EQ(device.CallCount(NullGraphicsDevice::Op::CreateTexture2D), kMaxTexturesPerFile);
  // Three boxes, the other seven as diagnostics.
  EXPECT_EQ(platform.messages.size(), 3u);
  // The next file has a budget of its own.
  testing::ProjectBuilder one;
  AddTinyTextures(one, 1);
  testing::WriteBytes(dir + "one.zvmov", one.Build());
  ASSERT_TRUE(doc->OnOpenDocument(U16(dir + "one.zvmov")));
  EXPECT_NE(SceneState.sceneRoot->materials[0].textureView, gfx::kNone);
}

}  // namespace
}  // namespace tolvani
