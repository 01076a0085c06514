// The tick allocates nothing in steady state: every operator new of this
// test binary is counted.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>

#include "audio/null_sound_backend.h"
#include "model/document.h"
#include "model/scene_state.h"
#include "playback/player_view.h"
#include "render/null_device.h"
#include "support/project_builder.h"

namespace {
std::atomic<uint64_t> g_allocations{0};
}

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace tolvani {
namespace {

class QuietHost : public IViewHost {
 public:
  void StartTimer(int) override {}
  void Invalidate() override { ++invalidations; }
  void SetCapture() override {}
  void ReleaseCapture() override {}
  int invalidations = 0;
};

TEST(ViewTick, AllocatesNothingInSteadyState) {
  testing::RecordingPlatform platform;
  ResetSceneStateForTests();
  EnsureSceneRoot();
  const std::string dir = testing::MakeTempDir();
  std::filesystem::create_directories(dir + "DoNotTouch");
  std::ofstream(dir + "DoNotTouch/CoreShader.glsl") << "VS PS PS_TEX";
  SetProgramDirectoryForTests(testing::U16(dir));

  // A project with animated models and several timelines.
  testing::ProjectBuilder b;
  b.AddMaterial(u"m");
  for (int i = 0; i < 4; ++i) {
    CModel& m = b.AddTriangleModel(u"model", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    m.animations.push_back(testing::MakeAnimation(2, 10));
    m.animationNames.push_back(u"walk");
    CTimeLine& t = b.AddTimeline(u"object");
    b.AddEntry(t, 2).animationName = u"walk";
  }
  const std::string path = testing::WriteTempFile(b.Build());

  NullGraphicsDevice device;
  QuietHost host;
  CPlayerDoc doc;
  CPlayerView view;
  view.SetHost(&host);
  view.AttachDocument(&doc);
  ASSERT_EQ(view.OnCreate(&device, nullptr, std::make_unique<NullSoundBackend>()), 0);
  ASSERT_TRUE(doc.OnOpenDocument(testing::U16(path)));
  for (int i = 0; i < 5; ++i) view.OnTimer();  // warm-up

  const uint64_t before = g_allocations.load();
  for (int i = 0; i < 200; ++i) view.OnTimer();
  const uint64_t after = g_allocations.load();
  EXPECT_EQ(after - before, 0u);
  EXPECT_EQ(host.invalidations, 205);
  // The animations did run (the counters moved), so the loop was not empty.
  EXPECT_NE(SceneState.sceneRoot->models[0].animationFrame, 0);

  view.OnDestroy();
  view.AttachDocument(nullptr);
  ResetSceneStateForTests();
  SetProgramDirectoryForTests(u"");
}

}  // namespace
}  // namespace tolvani
