#include "render/balloon_text.h"

#include <cstring>
#include <functional>
#include <list>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/platform_services.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "model/timeline.h"
#include "render/text_rasterizer.h"

namespace tolvani {

class BalloonCardCache {
 public:
  struct Card {
    std::u16string text;
    gfx::Handle view = gfx::kNone;
    uint64_t lastFrame = 0;  // the frame that last bound this card
  };
  // Lookups by string_view, so finding a card copies no text.
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view s) const { return std::hash<std::u16string_view>{}(s); }
  };

  gfx::IGraphicsDevice* device = nullptr;  // the device the views belong to
  ITextRasterizer* rasterizer = nullptr;   // the rasteriser that drew them
  uint64_t frame = 1;                      // frames begun since the cache was made, plus 1
  std::list<Card> cards;                   // most recently used first
  std::unordered_map<std::u16string, std::list<Card>::iterator, TextHash, std::equal_to<>> byText;
  std::vector<uint8_t> pixels;  // scratch card image, reused between renders

  void ReleaseAll() {
    if (device) {
      for (const Card& card : cards) device->Release(card.view);
    }
    cards.clear();
    byText.clear();
  }
};

namespace {

constexpr uint32_t kCardBytes = kBalloonCardSize * kBalloonCardSize * 4;
constexpr uint32_t kCardRowPitch = kBalloonCardSize * 4;

NearViewCentreQuery g_nearViewCentre = nullptr;

void FillWhite(std::vector<uint8_t>& pixels) {
  pixels.resize(kCardBytes);
  std::memset(pixels.data(), 0xFF, pixels.size());
}

BalloonCardCache& CacheFor(RenderState& render) {
  if (!render.balloonCards) render.balloonCards = std::make_shared<BalloonCardCache>();
  BalloonCardCache& cache = *render.balloonCards;
  if (cache.device != render.device) {
    // Views of another device cannot be released through this one; forget them.
    cache.cards.clear();
    cache.byText.clear();
    cache.device = render.device;
  }
  if (cache.rasterizer != render.textRasterizer) {
    cache.ReleaseAll();
    cache.rasterizer = render.textRasterizer;
  }
  return cache;
}

// Draws the card image for text into cache.pixels. False when the rasteriser
// failed; pixels then hold a white card.
bool DrawCard(BalloonCardCache& cache, std::u16string_view text) {
  if (text.empty() || !cache.rasterizer) {
    FillWhite(cache.pixels);
    return true;
  }
  cache.pixels.resize(kCardBytes);
  const bool ok =
      cache.rasterizer->RenderCard(std::u16string(text), kBalloonCardSize, cache.pixels);
  if (!ok || cache.pixels.size() != kCardBytes) {
    FillWhite(cache.pixels);
    return false;
  }
  return true;
}

// A new texture and view holding cache.pixels; kNone on failure.
gfx::Handle UploadCard(gfx::IGraphicsDevice& device, const std::vector<uint8_t>& pixels) {
  gfx::TextureDesc desc;
  desc.width = kBalloonCardSize;
  desc.height = kBalloonCardSize;
  desc.format = gfx::TextureFormat::BGRA8;
  desc.usage = gfx::TextureUsage::RenderTarget;
  desc.mipmapped = true;  // legible when drawn small
  gfx::Handle texture = gfx::kNone;
  if (gfx::Failed(device.CreateTexture2D(desc, &texture))) return gfx::kNone;
  gfx::Handle view = gfx::kNone;
  if (gfx::Failed(device.UpdateTexture(texture, pixels.data(), kCardRowPitch)) ||
      gfx::Failed(device.CreateShaderResourceView(texture, &view))) {
    device.Release(texture);
    return gfx::kNone;
  }
  device.Release(texture);  // the view keeps it alive
  return view;
}

// The shared balloon texture made with the renderer: used for cards that are
// not cached (failed rasterisation, texture creation refused).
gfx::Handle UseSharedTexture(RenderState& render, const std::vector<uint8_t>& pixels) {
  if (render.balloonTexture != gfx::kNone) {
    render.device->UpdateTexture(render.balloonTexture, pixels.data(), kCardRowPitch);
  }
  return render.balloonTextureView;
}

}  // namespace

void SetNearViewCentreQuery(NearViewCentreQuery query) {
  g_nearViewCentre = query;
}

bool BalloonNearViewCentre(CCoreMotion3D& scene, int index) {
  return g_nearViewCentre ? g_nearViewCentre(scene, index) : true;
}

std::u16string BalloonText(CCoreMotion3D& scene, int index) {
  return std::u16string(BalloonTextView(scene, index));
}

std::u16string_view BalloonTextView(CCoreMotion3D& scene, int index) {
  const std::vector<CTimeLine>& timeLines = SceneState.timeLines;
  if (index < 0 || static_cast<size_t>(index) >= timeLines.size()) return {};
  if (scene.playMode == 4 && !BalloonNearViewCentre(scene, index)) return {};
  const CTimeLine& line = timeLines[static_cast<size_t>(index)];
  if (!line.HasEntry(scene.currentStep)) return {};
  return line.entries[static_cast<size_t>(scene.currentStep)].text;
}

void BeginBalloonFrame(CCoreMotion3D& scene) {
  if (scene.render.balloonCards) ++scene.render.balloonCards->frame;
}

gfx::Handle RenderBalloonCard(CCoreMotion3D& scene, int index) {
  RenderState& render = scene.render;
  if (!render.device) return gfx::kNone;
  BalloonCardCache& cache = CacheFor(render);
  // Without a rasteriser every card is the same white square.
  const std::u16string_view text =
      cache.rasterizer ? BalloonTextView(scene, index) : std::u16string_view();

  auto found = cache.byText.find(text);
  if (found != cache.byText.end()) {
    cache.cards.splice(cache.cards.begin(), cache.cards, found->second);
    found->second->lastFrame = cache.frame;
    return found->second->view;
  }

  if (!DrawCard(cache, text)) {
    Platform().Diagnostic("render", u"RenderD2DContentIntoSurface");
    return UseSharedTexture(render, cache.pixels);
  }
  const gfx::Handle view = UploadCard(*render.device, cache.pixels);
  if (view == gfx::kNone) return UseSharedTexture(render, cache.pixels);

  cache.cards.push_front(BalloonCardCache::Card{std::u16string(text), view, cache.frame});
  cache.byText.emplace(cache.cards.front().text, cache.cards.begin());
  // Beyond the capacity only cards that neither this frame nor the previous
  // one bound are released: the cache grows to the number of cards on
  // screen instead of redrawing them every frame.
  while (cache.cards.size() > kBalloonCardCacheCapacity &&
         cache.cards.back().lastFrame + 1 < cache.frame) {
    BalloonCardCache::Card& last = cache.cards.back();
    render.device->Release(last.view);
    cache.byText.erase(last.text);
    cache.cards.pop_back();
  }
  return view;
}

void BindBalloonGroup(CCoreMotion3D& scene, int index) {
  RenderState& render = scene.render;
  if (!render.device) return;
  render.device->SetPixelShader(render.texturedPixelShader);
  render.device->SetSampler(render.samplerState);
  const gfx::Handle view = RenderBalloonCard(scene, index);
  render.device->SetShaderResource(view);
}

void ReleaseBalloonCards(CCoreMotion3D& scene) {
  RenderState& render = scene.render;
  if (!render.balloonCards) return;
  render.balloonCards->ReleaseAll();
  render.balloonCards.reset();
}

size_t BalloonCardCount(const CCoreMotion3D& scene) {
  return scene.render.balloonCards ? scene.render.balloonCards->cards.size() : 0;
}

}  // namespace tolvani
