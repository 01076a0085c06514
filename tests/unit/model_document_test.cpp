// The document's open sequence end to end: file layout, messages, what the
// scene holds after failures, preparation and the start state.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "base/full_path.h"
#include "base/program_directory.h"
#include "base/text_conversion.h"
#include "document/document.h"
#include "model/archive.h"
#include "model/scene_state.h"
#include "render/null_device.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::ProjectBuilder;
using testing::U16;

constexpr char16_t kBadFormat[] = u"予期しないファイル形式です。";

struct CountingObserver : IDocumentObserver {
  std::vector<int> hints;
  void OnUpdate(int hint) override { hints.push_back(hint); }
};

// A small project holding every record kind.
ProjectBuilder FullProject() {
  ProjectBuilder b;
  b.version = 1.1f;
  b.auxNames = {u"aux"};
  b.playMode = PlayMode::kWalk;
  b.glideDuration = 900;
  b.fieldOfView = 45.0f;
  b.camera.position = {0, 0, -50};
  b.AddMaterial(u"plain", 1, 0, 0, 1);
  b.AddTexturedMaterial(u"tex", u"img.bmp", 3, 2, 4);
  CModel& box = b.AddTriangleModel(u"box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                                   {{0, 1, 2}, {1, 3, 2}}, 1);
  box.animations = {testing::MakeAnimation(1, 4), testing::MakeAnimation(1, 2)};
  box.animationNames = {u"spin", u"hop"};
  box.materialSets = {{0, 1}};
  b.AddTriangleModel(u"balloon", {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}, {{0, 1, 2}}, 0);
  CTimeLine& t0 = b.AddTimeline(u"box");
  CTimeLineData& e0 = b.AddEntry(t0, EntryState::kShown);
  e0.animationName = u"hop";
  e0.motion.position = {1, 2, 3};
  e0.motion.scale = {2, 2, 2};
  e0.soundName = u"beep";
  b.AddEntry(t0, EntryState::kShown).text = u"second";
  CTimeLine& t1 = b.AddTimeline(u"fukidashi");
  b.AddEntry(t1, EntryState::kShown).text = u"こんにちは";
  b.AddSound(u"beep", testing::PcmFormat(1, 8000, 8), {1, 2, 3, 4});
  b.AddSound(u"boop", testing::PcmFormat(2, 8000, 16), {5, 6, 7, 8});
  return b;
}

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSceneStateForTests();
    EnsureSceneRoot();
    root().render.device = &device_;
    auto backend = std::make_unique<NullSoundBackend>();
    backend_ = backend.get();
    SceneState.audio = new CAudio(std::move(backend));
    dir_ = testing::MakeTempDir();
    SetProgramDirectory(U16(dir_));
    doc_ = std::make_unique<CPlayerDoc>();
    doc_->AddObserver(&observer_);
  }
  void TearDown() override {
    doc_.reset();
    if (SceneState.sceneRoot) SceneState.sceneRoot->ResetScene();
    ResetSceneStateForTests();
    SetProgramDirectory(u"");
  }

  CCoreMotion3D& root() { return *SceneState.sceneRoot; }
  std::u16string Write(const Bytes& bytes, const std::string& name) {
    const std::string path = dir_ + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return U16(path);
  }

  NullGraphicsDevice device_;
  NullSoundBackend* backend_ = nullptr;
  testing::RecordingPlatform platform_;
  CountingObserver observer_;
  std::string dir_;
  std::unique_ptr<CPlayerDoc> doc_;
};

TEST_F(DocumentTest, FullProjectLoadsAndIsPrepared) {
  const ProjectBuilder b = FullProject();
  const std::u16string path = Write(b.Build(), "full.zvmov");
  std::vector<std::u16string> recorded;
  doc_->onPathRecorded = [&](const std::u16string& p) { recorded.push_back(p); };
  ASSERT_TRUE(doc_->OnOpenDocument(path));
  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_FALSE(doc_->modified());
  EXPECT_EQ(doc_->path(), path);
  EXPECT_EQ(doc_->title(), u"full.zvmov");
  EXPECT_EQ(recorded, std::vector<std::u16string>{path});
  EXPECT_EQ(observer_.hints, std::vector<int>{1});

  EXPECT_EQ(SceneState.fileVersion, 1.1f);
  EXPECT_EQ(root().playMode, PlayMode::kWalk);
  EXPECT_EQ(root().glideDuration, 900);
  EXPECT_EQ(root().fieldOfView, 45.0f);
  EXPECT_EQ(root().auxNames, std::vector<std::u16string>{u"aux"});
  ASSERT_EQ(root().materials.size(), 2u);
  ASSERT_EQ(root().models.size(), 2u);
  ASSERT_EQ(SceneState.timeLines.size(), 2u);
  EXPECT_EQ(SceneState.timeLines[1].entries[0].text, u"こんにちは");

  // Preparation: normals, groups with buffers, the texture, the voices.
  EXPECT_FALSE(root().models[0].faces.normal.empty());
  ASSERT_FALSE(root().models[0].groups.empty());
  EXPECT_NE(root().models[0].groups[0].vertexBuffer, gfx::kNone);
  EXPECT_EQ(root().materials[0].textureView, gfx::kNone);
  EXPECT_NE(root().materials[1].textureView, gfx::kNone);
  ASSERT_EQ(SceneState.audio->sounds.size(), 3u);
  EXPECT_NE(SceneState.audio->sounds[0].voice, 0u);
  EXPECT_EQ(SceneState.audio->sounds[2].name, kStopSoundName);

  // Start state: step 0, last model picked, camera from timeline 0 entry 0,
  // the entry's animation selected.
  EXPECT_EQ(root().currentStep, 0);
  EXPECT_EQ(root().pickedModel, 1);
  EXPECT_EQ(root().camera.position, (Vec3{1, 2, 3}));
  EXPECT_EQ(root().camera.scale, (Vec3{2, 2, 2}));
  EXPECT_EQ(root().models[0].currentAnimation, 1);
  EXPECT_EQ(root().models[1].currentAnimation, -1);

  // Storing the loaded scene gives the same bytes back (with the stored
  // camera, which the open replaced by the first entry's pose).
  root().camera = b.camera;
  Bytes again;
  CArchive w(again);
  doc_->Serialize(w);
  EXPECT_EQ(again, b.Build());
}

TEST_F(DocumentTest, EveryTruncationGivesOneFormatMessage) {
  const Bytes full = FullProject().Build();
  for (size_t cut = 1; cut < full.size(); ++cut) {
    platform_.Clear();
    const std::u16string path = Write(Bytes(full.begin(), full.begin() + cut), "cut.zvmov");
    ASSERT_FALSE(doc_->OnOpenDocument(path)) << cut;
    ASSERT_EQ(platform_.MessageTexts(), std::vector<std::u16string>{kBadFormat}) << cut;
    ASSERT_EQ(platform_.messages[0].icon, MessageIcon::Exclamation);
    ASSERT_TRUE(doc_->modified());
    // Nothing is prepared after a failed read.
    for (const CModel& m : root().models) ASSERT_TRUE(m.groups.empty()) << cut;
    for (const CMaterial& m : root().materials) ASSERT_EQ(m.textureView, gfx::kNone) << cut;
    for (const CWavData& s : SceneState.audio->sounds) ASSERT_EQ(s.voice, 0u) << cut;
    ASSERT_EQ(root().currentStep, -1);
  }
  EXPECT_EQ(device_.LiveObjectCount(), 0u);
  EXPECT_TRUE(observer_.hints.empty());
}

TEST_F(DocumentTest, CorruptedBytesNeverCrashTheOpen) {
  const Bytes full = FullProject().Build();
  for (size_t at = 0; at < full.size(); ++at) {
    for (uint8_t value : {uint8_t{0xFF}, uint8_t{0x80}, uint8_t{0x7F}}) {
      if (full[at] == value) continue;
      Bytes bad = full;
      bad[at] = value;
      platform_.Clear();
      const bool ok = doc_->OnOpenDocument(Write(bad, "bad.zvmov"));
      if (!ok) {
        ASSERT_EQ(platform_.messages.size(), 1u) << at;
      }
    }
  }
  if (SceneState.sceneRoot) SceneState.sceneRoot->ResetScene();
  EXPECT_EQ(device_.LiveObjectCount(), 0u);
}

TEST_F(DocumentTest, TruncationInsideTheSecondOfThreeTimelines) {
  ProjectBuilder b = FullProject();
  b.timelines.clear();
  CTimeLine& t0 = b.AddTimeline(u"first");
  b.AddEntry(t0, EntryState::kShown).text = u"a";
  CTimeLine& t1 = b.AddTimeline(u"second");
  b.AddEntry(t1, EntryState::kShown).text = u"b";
  b.AddEntry(t1, EntryState::kShown).text = u"c";
  CTimeLine& t2 = b.AddTimeline(u"third");
  b.AddEntry(t2, EntryState::kShown);
  const Bytes full = b.Build();
  auto sizeOf = [](CTimeLine t) {
    Bytes out;
    CArchive w(out);
    t.Serialize(w);
    return out.size();
  };
  Bytes sounds;
  {
    ProjectBuilder onlySounds;
    onlySounds.zvmov = true;
    onlySounds.sounds = b.sounds;
    const Bytes empty = ProjectBuilder().Build();
    const Bytes withSounds = onlySounds.Build();
    sounds.resize(withSounds.size() - empty.size() + 4);  // count + records
  }
  const size_t t2Start = full.size() - (sounds.size()) - sizeOf(b.timelines[2]);
  const size_t t1Start = t2Start - sizeOf(b.timelines[1]);
  // Inside the second entry of the second timeline.
  CTimeLine header = b.timelines[1];
  header.entries.clear();
  CTimeLine one = header;
  one.entries.push_back(b.timelines[1].entries[0]);
  const size_t entryBytes = sizeOf(one) - sizeOf(header);
  // In its motion, after the text "c".
  const size_t cut = t1Start + sizeOf(header) + entryBytes + 50;
  ASSERT_LT(cut, t2Start);
  ASSERT_FALSE(doc_->OnOpenDocument(Write(Bytes(full.begin(), full.begin() + cut), "t.zvmov")));
  EXPECT_EQ(platform_.MessageTexts(), std::vector<std::u16string>{kBadFormat});
  ASSERT_EQ(SceneState.timeLines.size(), 3u);
  EXPECT_EQ(SceneState.timeLines[0].name, u"first");
  ASSERT_EQ(SceneState.timeLines[0].entries.size(), 1u);
  EXPECT_EQ(SceneState.timeLines[1].name, u"second");
  ASSERT_EQ(SceneState.timeLines[1].entries.size(), 2u);
  EXPECT_EQ(SceneState.timeLines[1].entries[0].text, u"b");
  EXPECT_EQ(SceneState.timeLines[1].entries[1].text, u"c");
  EXPECT_EQ(SceneState.timeLines[2].name, u"");
  EXPECT_TRUE(SceneState.timeLines[2].entries.empty());
  // The scene root was read, but nothing was prepared.
  EXPECT_EQ(root().models.size(), 2u);
  EXPECT_EQ(root().playMode, PlayMode::kWalk);
  EXPECT_TRUE(root().models[0].groups.empty());
  EXPECT_EQ(root().materials[1].textureView, gfx::kNone);
  EXPECT_EQ(root().currentStep, -1);
  EXPECT_EQ(root().pickedModel, -1);
}

TEST_F(DocumentTest, ExtensionDecidesWhetherAnythingIsRead) {
  const Bytes full = FullProject().Build();
  ASSERT_TRUE(doc_->OnOpenDocument(Write(full, "UPPER.ZVMOV")));
  EXPECT_EQ(root().models.size(), 2u);
  for (const char* name : {"p.zvmov.bak", "noextension", "dot.", "z.zvmo"}) {
    observer_.hints.clear();
    EXPECT_TRUE(doc_->OnOpenDocument(Write(Bytes{1, 2, 3}, name))) << name;
    EXPECT_EQ(root().models.size(), 2u) << name;  // nothing cleared
    EXPECT_EQ(observer_.hints, std::vector<int>{1});
  }
  EXPECT_TRUE(doc_->OnOpenDocument(U16(dir_ + "missing.txt")));
  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_EQ(doc_->title(), u"UPPER.ZVMOV");
  EXPECT_FALSE(HasProjectExtension(u"/a.zvmov/b"));
  EXPECT_TRUE(HasProjectExtension(u"a.zVmOv"));
}

TEST_F(DocumentTest, EmptyFileClearsAndSucceeds) {
  ASSERT_TRUE(doc_->OnOpenDocument(Write(FullProject().Build(), "full.zvmov")));
  ASSERT_TRUE(doc_->OnOpenDocument(Write({}, "empty.zvmov")));
  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_TRUE(root().models.empty());
  EXPECT_TRUE(root().materials.empty());
  EXPECT_TRUE(SceneState.timeLines.empty());
  EXPECT_EQ(root().currentStep, 0);
  EXPECT_EQ(root().pickedModel, -1);
  EXPECT_FALSE(doc_->modified());
  EXPECT_EQ(device_.LiveObjectCount(), 0u);
  EXPECT_EQ(root().camera.position, (Vec3{0, 0, 0}));
}

TEST_F(DocumentTest, MissingFileNamesThePath) {
  const std::u16string path = U16(dir_ + "nowhere.zvmov");
  EXPECT_FALSE(doc_->OnOpenDocument(path));
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_EQ(platform_.messages[0].text, path + u" が見つかりませんでした。");
  EXPECT_EQ(platform_.messages[0].icon, MessageIcon::Exclamation);
  EXPECT_FALSE(doc_->modified());
  EXPECT_TRUE(observer_.hints.empty());
}

TEST_F(DocumentTest, ErrorMessagesByCause) {
  auto message = [](auto error, const std::u16string& path) {
    return LoadErrorMessage(std::make_exception_ptr(error), path);
  };
  for (ArchiveCause c : {ArchiveCause::endOfFile, ArchiveCause::badIndex, ArchiveCause::badClass,
                         ArchiveCause::badSchema})
    EXPECT_EQ(message(ArchiveError(c), u"p"), kBadFormat);
  const std::u16string failed = u"ドキュメントを開くことに失敗しました。";
  for (ArchiveCause c : {ArchiveCause::genericException, ArchiveCause::readOnly,
                         ArchiveCause::writeOnly, ArchiveCause::bufferFull})
    EXPECT_EQ(message(ArchiveError(c), u"p"), failed);
  EXPECT_EQ(message(ArchiveInvalidArgument(), u"p"), failed);
  EXPECT_EQ(message(std::bad_alloc(), u"p"), failed);
  EXPECT_EQ(message(FileError(FileCause::accessDenied, u"x"), u"/a/b.zvmov"),
            u"/a/b.zvmov へのアクセスは拒否されました。");
  EXPECT_EQ(message(FileError(FileCause::tooManyOpenFiles, u"x"), u"q"),
            u"開いているファイルが多すぎるため、q を開けませんでした。");
  EXPECT_EQ(message(FileError(FileCause::hardIO, u""), u""),
            u"無題のファイル へのアクセス中にハードウェア I/O エラーが報告されました。");
  EXPECT_EQ(message(FileError(FileCause::generic, u""), u"g"),
            u"g へのアクセス中に不明なエラーが発生しました。");
  EXPECT_EQ(message(FileError(FileCause::badPath, u""), u"g"),
            u"g に正しくないパスが含まれています。");
}

TEST_F(DocumentTest, CameraComesFromTheFirstEntryOnlyWhenShown) {
  ProjectBuilder b = FullProject();
  b.camera.position = {9, 8, 7};
  b.timelines[0].entries[0].state = EntryState::kHidden;
  ASSERT_TRUE(doc_->OnOpenDocument(Write(b.Build(), "hidden.zvmov")));
  EXPECT_EQ(root().camera.position, (Vec3{9, 8, 7}));

  b.timelines.clear();
  ASSERT_TRUE(doc_->OnOpenDocument(Write(b.Build(), "none.zvmov")));
  EXPECT_EQ(root().camera.position, (Vec3{9, 8, 7}));
  EXPECT_TRUE(SceneState.timeLines.empty());

  ProjectBuilder shown = FullProject();
  shown.AddTimeline(u"extra");
  shown.timelines[0].entries.clear();  // timeline 0 without entries
  shown.camera.position = {4, 4, 4};
  ASSERT_TRUE(doc_->OnOpenDocument(Write(shown.Build(), "noentries.zvmov")));
  EXPECT_EQ(root().camera.position, (Vec3{4, 4, 4}));
}

TEST_F(DocumentTest, VersionedSettingsKeepThePreviousProjectsValues) {
  ProjectBuilder b = FullProject();
  b.playMode = PlayMode::kScroll;
  b.fieldOfView = 45.0f;
  ASSERT_TRUE(doc_->OnOpenDocument(Write(b.Build(), "v11.zvmov")));
  ProjectBuilder old = FullProject();
  old.version = 0.3f;
  old.playMode = PlayMode::kOrbit;  // not stored
  ASSERT_TRUE(doc_->OnOpenDocument(Write(old.Build(), "v03.zvmov")));
  EXPECT_EQ(root().playMode, PlayMode::kScroll);
  EXPECT_EQ(root().glideDuration, 900);
  // 0.3 models carry default bone blend data.
  EXPECT_EQ(root().models[0].parents, std::vector<int32_t>(4, -1));

  ProjectBuilder v10 = FullProject();
  v10.version = 1.0f;
  v10.glideDuration = 1200;
  v10.fieldOfView = 10.0f;  // not stored
  ASSERT_TRUE(doc_->OnOpenDocument(Write(v10.Build(), "v10.zvmov")));
  EXPECT_EQ(root().glideDuration, 1200);
  EXPECT_EQ(root().fieldOfView, 45.0f);
  EXPECT_EQ(SceneState.fileVersion, 1.0f);
  EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(DocumentTest, SoundListIsCutThenGetsTheStopEntry) {
  ProjectBuilder five = FullProject();
  five.sounds.clear();
  for (int i = 0; i < 5; ++i)
    five.AddSound(u"s" + std::u16string(1, char16_t(u'0' + i)), testing::PcmFormat(1, 8000, 8),
                  Bytes(16, static_cast<uint8_t>(i)));
  ASSERT_TRUE(doc_->OnOpenDocument(Write(five.Build(), "five.zvmov")));
  ASSERT_EQ(SceneState.audio->sounds.size(), 6u);

  ProjectBuilder two = FullProject();
  ASSERT_TRUE(doc_->OnOpenDocument(Write(two.Build(), "two.zvmov")));
  ASSERT_EQ(SceneState.audio->sounds.size(), 3u);
  EXPECT_EQ(SceneState.audio->sounds[0].name, u"beep");
  EXPECT_EQ(SceneState.audio->sounds[1].name, u"boop");
  EXPECT_EQ(SceneState.audio->sounds[2].name, kStopSoundName);
  EXPECT_EQ(backend_->voices().size(), 2u);  // the five old voices are gone
}

TEST_F(DocumentTest, WithoutASoundContainerTheSoundBlockIsLeftUnread) {
  delete SceneState.audio;
  SceneState.audio = nullptr;
  ProjectBuilder b = FullProject();
  b.writeSounds = false;
  ASSERT_TRUE(doc_->OnOpenDocument(Write(b.Build(), "nosound.zvmov")));
  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_EQ(root().models.size(), 2u);
}

TEST_F(DocumentTest, FrameworkOpenPath) {
  const Bytes full = FullProject().Build();
  Write(full, "Main.zvmov");
  ASSERT_TRUE(doc_->OnNewDocument());
  EXPECT_EQ(doc_->title(), u"Main.zvmov");
  std::vector<std::u16string> failures;
  doc_->onOpenFailed = [&](const std::u16string& p) { failures.push_back(p); };

  // A failed read (File Open dialog) leaves what was read under no name.
  const Bytes cut(full.begin(), full.begin() + 40);
  const std::u16string bad = Write(cut, "bad.zvmov");
  EXPECT_FALSE(doc_->OnOpenDocument(bad));
  EXPECT_EQ(doc_->title(), u"無題");
  EXPECT_TRUE(doc_->path().empty());
  EXPECT_TRUE(doc_->modified());
  const size_t partial = root().models.size();

  // A file that then cannot be opened changes nothing: no fallback either.
  EXPECT_FALSE(doc_->OpenDocumentFile(U16(dir_ + "gone.zvmov")));
  EXPECT_EQ(doc_->title(), u"無題");
  EXPECT_EQ(root().models.size(), partial);
  EXPECT_EQ(failures, std::vector<std::u16string>{U16(dir_ + "gone.zvmov")});
  failures.clear();

  // The next framework open goes ahead: nothing is ever asked.
  const std::u16string good = Write(full, "good.zvmov");
  EXPECT_TRUE(doc_->OpenDocumentFile(good));
  EXPECT_EQ(doc_->title(), u"good.zvmov");
  EXPECT_EQ(doc_->path(), good);
  EXPECT_FALSE(doc_->modified());
  EXPECT_EQ(root().models.size(), 2u);

  // A read failure through the framework falls back to the start-up project.
  platform_.Clear();
  EXPECT_FALSE(doc_->OpenDocumentFile(bad));
  EXPECT_EQ(platform_.MessageTexts(), std::vector<std::u16string>{kBadFormat});
  EXPECT_EQ(doc_->title(), u"Main.zvmov");
  EXPECT_EQ(root().models.size(), 2u);
  EXPECT_FALSE(doc_->modified());
  EXPECT_EQ(failures, std::vector<std::u16string>{bad});

  // Another extension is ignored entirely: no read, no message, no failure,
  // path and title kept.
  platform_.Clear();
  failures.clear();
  ASSERT_TRUE(doc_->OpenDocumentFile(good));
  EXPECT_FALSE(doc_->OpenDocumentFile(U16(dir_ + "notes.txt")));
  EXPECT_EQ(doc_->title(), u"good.zvmov");
  EXPECT_EQ(doc_->path(), good);
  EXPECT_EQ(root().models.size(), 2u);
  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_TRUE(failures.empty());
}

// A file that cannot be opened at all changes nothing: the scene, path and
// title stay; one message; the framework reports the failure.
TEST_F(DocumentTest, UnopenableFilesChangeNothing) {
  TOLVANI_SKIP_IN_WASM("Linux's errors for a pipe");
  const std::u16string good = Write(FullProject().Build(), "good.zvmov");
  ASSERT_EQ(::mkdir((dir_ + "folder.zvmov").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo((dir_ + "pipe.zvmov").c_str(), 0600), 0);
  struct Case {
    const char* name;
    std::u16string message;
  };
  const Case cases[] = {
      {"gone.zvmov", U16(dir_) + u"gone.zvmov が見つかりませんでした。"},
      {"folder.zvmov", U16(dir_) + u"folder.zvmov に正しくないパスが含まれています。"},
      {"pipe.zvmov", U16(dir_) + u"pipe.zvmov に正しくないパスが含まれています。"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(doc_->OpenDocumentFile(good));
    const int32_t picked = root().pickedModel;
    platform_.Clear();
    observer_.hints.clear();
    std::vector<std::u16string> failures;
    doc_->onOpenFailed = [&](const std::u16string& p) { failures.push_back(p); };
    const std::u16string path = U16(dir_ + c.name);
    EXPECT_FALSE(doc_->OpenDocumentFile(path)) << c.name;
    EXPECT_EQ(platform_.MessageTexts(), std::vector<std::u16string>{c.message}) << c.name;
    EXPECT_EQ(failures, std::vector<std::u16string>{path}) << c.name;
    EXPECT_EQ(doc_->path(), good) << c.name;
    EXPECT_EQ(doc_->title(), u"good.zvmov") << c.name;
    EXPECT_FALSE(doc_->modified()) << c.name;
    EXPECT_EQ(root().models.size(), 2u) << c.name;
    EXPECT_FALSE(root().models[0].groups.empty()) << c.name;
    EXPECT_EQ(root().pickedModel, picked) << c.name;
    EXPECT_TRUE(observer_.hints.empty()) << c.name;
    doc_->onOpenFailed = nullptr;
  }
}

// The recorded path is full: absolute and normalised, whatever was typed.
TEST_F(DocumentTest, RelativePathsAreRecordedInFull) {
  const std::u16string good = Write(FullProject().Build(), "good.zvmov");
  ASSERT_EQ(::mkdir((dir_ + "sub").c_str(), 0700), 0);
  std::vector<std::u16string> recorded;
  doc_->onPathRecorded = [&](const std::u16string& p) { recorded.push_back(p); };
  char before[4096];
  ASSERT_NE(::getcwd(before, sizeof before), nullptr);
  ASSERT_EQ(::chdir((dir_ + "sub").c_str()), 0);
  const bool opened = doc_->OnOpenDocument(u"./../sub//../good.zvmov");
  ASSERT_EQ(::chdir(before), 0);
  ASSERT_TRUE(opened);
  EXPECT_EQ(doc_->path(), good);
  EXPECT_EQ(recorded, std::vector<std::u16string>{good});
}

// The open reports its stages; Done comes once, before any message box.
TEST_F(DocumentTest, OpenStagesEndBeforeTheMessage) {
  using Stage = CPlayerDoc::OpenStage;
  std::vector<Stage> stages;
  size_t messagesAtDone = 99;
  doc_->onOpenStage = [&](Stage s) {
    if (stages.empty() || stages.back() != s) stages.push_back(s);
    if (s == Stage::Done) messagesAtDone = platform_.messages.size();
  };
  const Bytes full = FullProject().Build();
  ASSERT_TRUE(doc_->OnOpenDocument(Write(full, "good.zvmov")));
  EXPECT_EQ(stages,
            (std::vector<Stage>{Stage::Reading, Stage::Preparing, Stage::Sounds, Stage::Done}));
  EXPECT_EQ(messagesAtDone, 0u);

  stages.clear();
  EXPECT_FALSE(doc_->OnOpenDocument(Write(Bytes(full.begin(), full.begin() + 40), "b.zvmov")));
  EXPECT_EQ(stages, (std::vector<Stage>{Stage::Reading, Stage::Done}));
  EXPECT_EQ(messagesAtDone, 0u);
  EXPECT_EQ(platform_.messages.size(), 1u);

  stages.clear();
  platform_.Clear();
  EXPECT_FALSE(doc_->OnOpenDocument(U16(dir_ + "gone.zvmov")));
  EXPECT_EQ(stages, std::vector<Stage>{Stage::Done});
  EXPECT_EQ(messagesAtDone, 0u);

  stages.clear();
  EXPECT_TRUE(doc_->OnOpenDocument(U16(dir_ + "notes.txt")));
  EXPECT_TRUE(stages.empty());
}

TEST(FullPath, AbsoluteAndNormalised) {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  const std::u16string here = U16(cwd);
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"", u""},
      {u"/", u"/"},
      {u"/a/b.zvmov", u"/a/b.zvmov"},
      {u"//a/./b//c.zvmov", u"/a/b/c.zvmov"},
      {u"/a/b/../c.zvmov", u"/a/c.zvmov"},
      {u"/../../x.zvmov", u"/x.zvmov"},
      {u"/a/b/", u"/a/b"},
      {u"/a/..", u"/"},
      {u"/日本/語.zvmov", u"/日本/語.zvmov"},
      {u"x.zvmov", here + u"/x.zvmov"},
      {u"./cases/../cases/glide.zvmov", here + u"/cases/glide.zvmov"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(FullPath(in), out) << ToUtf8(in);
}

TEST_F(DocumentTest, MissingStartUpProjectLeavesAnUntitledEmptyScene) {
  ASSERT_TRUE(doc_->OnNewDocument());
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_EQ(platform_.messages[0].text, U16(dir_) + u"Main.zvmov が見つかりませんでした。");
  EXPECT_EQ(doc_->title(), u"無題");
  EXPECT_TRUE(root().models.empty());
  EXPECT_EQ(root().formatTag, u"zvmov");
}

}  // namespace
}  // namespace tolvani

namespace tolvani {
namespace {

TEST(ProgramDirectory, IsTheExecutablesDirectoryWithATrailingSlash) {
  const std::u16string dir = ProgramDirectory();
#if defined(__linux__)
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  ASSERT_GT(n, 0);
  std::string exe(buf, static_cast<size_t>(n));
  EXPECT_EQ(dir, FromUtf8(exe.substr(0, exe.rfind('/') + 1)));
#else
  EXPECT_EQ(dir, u"./");  // no /proc: the host sets it
#endif
  SetProgramDirectory(u"/opt/x");
  EXPECT_EQ(ProgramDirectory(), u"/opt/x/");
  SetProgramDirectory(u"");
  EXPECT_EQ(ProgramDirectory(), dir);
}

}  // namespace
}  // namespace tolvani
