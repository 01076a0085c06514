// The tick allocates nothing in steady state: every operator new of this
// test binary is counted.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <set>

#include "audio/null_sound_backend.h"
#include "document/document.h"
#include "headless/headless_view.h"
#include "model/scene_state.h"
#include "playback/player_view.h"
#include "render/null_device.h"
#include "render/text_rasterizer.h"
#include "support/scene_reset.h"
#include "support/test_helpers.h"

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

// Opens the project built by b in a headless view drawing on device (with
// the text rasteriser, if any) and a null sound backend.
bool Open(headless::HeadlessView& headless, NullGraphicsDevice& device,
          const testing::ProjectBuilder& b, ITextRasterizer* rasterizer = nullptr) {
  return headless.Create(&device, rasterizer, std::make_unique<NullSoundBackend>()) == 0 &&
         headless.document().OnOpenDocument(testing::U16(testing::WriteTempFile(b.Build())));
}

TEST(ViewTick, AllocatesNothingInSteadyState) {
  testing::RecordingPlatform platform;
  testing::FreshScene fresh;

  // A project with animated models and several timelines.
  testing::ProjectBuilder b;
  b.AddMaterial(u"m");
  for (int i = 0; i < 4; ++i) {
    CModel& m = b.AddTriangleModel(u"model", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    m.animations.push_back(testing::MakeAnimation(2, 10));
    m.animationNames.push_back(u"walk");
    CTimeLine& t = b.AddTimeline(u"object");
    b.AddEntry(t, EntryState::kShown).animationName = u"walk";
  }
  NullGraphicsDevice device;
  headless::HeadlessView headless;
  CPlayerView& view = headless.view();
  ASSERT_TRUE(Open(headless, device, b));
  for (int i = 0; i < 5; ++i) view.OnTimer();  // warm-up

  const uint64_t before = g_allocations.load();
  for (int i = 0; i < 200; ++i) view.OnTimer();
  const uint64_t after = g_allocations.load();
  EXPECT_EQ(after - before, 0u);
  EXPECT_EQ(headless.host().invalidations, 205);
  // The animations did run (the counters moved), so the loop was not empty.
  EXPECT_NE(SceneState.sceneRoot->models[0].animationFrame, 0);
}

TEST(ViewTick, ExploringOverGroundAllocatesNothing) {
  testing::RecordingPlatform platform;
  testing::FreshScene fresh;

  // A walkable ground under the camera and a balloon ahead, which speaks
  // during the warm-up.
  testing::ProjectBuilder b;
  b.playMode = PlayMode::kExplore;  // Explore: walking, a frame per tick and the proximity sounds
  b.AddMaterial(u"m");
  b.AddModel(u"camera");
  CModel& ground = b.AddTriangleModel(
      u"ground", {{-5000, 0, -5000}, {-5000, 0, 15000}, {15000, 0, -5000}}, {{0, 1, 2}});
  ground.collisionMaterial = 0;
  b.AddTriangleModel(u"balloon", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  b.AddEntry(b.AddTimeline(u"camera"), EntryState::kShown);
  b.AddEntry(b.AddTimeline(u"ground"), EntryState::kShown).motion.position = Vec3{0, -300, 0};
  CTimeLineData& e = b.AddEntry(b.AddTimeline(u"fukidashi"), EntryState::kShown);
  e.soundName = u"a sound name longer than any SSO";
  e.motion.position = Vec3{0, -100, -500};  // straight ahead of the walker's eye
  NullGraphicsDevice device;
  headless::HeadlessView headless;
  CPlayerView& view = headless.view();
  ASSERT_TRUE(Open(headless, device, b));
  view.OnKeyDown(vk::kUp);
  view.OnKeyDown(vk::kLeft);
  // The null device's own record of each frame is emptied before every
  // tick (keeping its capacity), so only the view's work is counted.
  for (int i = 0; i < 5; ++i) {  // warm-up
    device.ClearRecords();
    view.OnTimer();
  }

  const uint64_t before = g_allocations.load();
  for (int i = 0; i < 200; ++i) {
    device.ClearRecords();
    view.OnTimer();
  }
  const uint64_t after = g_allocations.load();
  EXPECT_EQ(after - before, 0u);
  EXPECT_TRUE(SceneState.timeLines[2].soundPlayed);  // the balloon spoke
  // The walk did run: forward and sideways, 200 above the ground.
  EXPECT_GT(SceneState.sceneRoot->camera.position.z, 4000.0f);
  EXPECT_GT(SceneState.sceneRoot->camera.position.x, 3000.0f);
  EXPECT_EQ(SceneState.sceneRoot->camera.position.y, 100.0f);
}

// Fills the card with one grey; counts the cards it was asked for.
class CountingRasterizer : public ITextRasterizer {
 public:
  bool RenderCard(const std::u16string&, uint32_t size, std::vector<uint8_t>& pixels) override {
    ++renders;
    pixels.assign(static_cast<size_t>(size) * size * 4, 0x80);
    return true;
  }
  int renders = 0;
};

TEST(ViewTick, TwentyBalloonsOnScreenAllocateNothing) {
  testing::RecordingPlatform platform;
  testing::FreshScene fresh;

  // Twenty balloons, each with its own text (longer than any short-string
  // buffer), all shown at once: more cards than the cache's base capacity.
  constexpr int kBalloons = 20;
  testing::ProjectBuilder b;
  b.AddMaterial(u"ZavroFukidashiMaterial");
  b.AddModel(u"camera");
  b.AddEntry(b.AddTimeline(u"camera"), EntryState::kShown);
  for (int i = 0; i < kBalloons; ++i) {
    b.AddTriangleModel(u"balloon", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    b.AddEntry(b.AddTimeline(u"fukidashi")).text =
        u"balloon text long enough to live on the heap, number " + std::u16string(1, u'A' + i);
  }
  NullGraphicsDevice device;
  CountingRasterizer rasterizer;
  headless::HeadlessView headless;
  CPlayerView& view = headless.view();
  ASSERT_TRUE(Open(headless, device, b, &rasterizer));
  // A tick and the repaint it asks for, with the device's records emptied
  // (keeping their capacity) so only the player's work is counted.
  auto tick = [&] {
    device.ClearRecords();
    view.OnTimer();
    view.OnDraw();
  };
  for (int i = 0; i < 5; ++i) tick();  // warm-up
  ASSERT_EQ(rasterizer.renders, kBalloons);

  const uint64_t before = g_allocations.load();
  for (int i = 0; i < 200; ++i) tick();
  const uint64_t after = g_allocations.load();
  EXPECT_EQ(after - before, 0u);
  // Every balloon was drawn with its own card, none drawn again.
  std::set<gfx::Handle> cards;
  for (const NullGraphicsDevice::DrawRecord& d : device.draws()) cards.insert(d.shaderResource);
  EXPECT_EQ(cards.size(), static_cast<size_t>(kBalloons));
  EXPECT_EQ(rasterizer.renders, kBalloons);
}

}  // namespace
}  // namespace tolvani
