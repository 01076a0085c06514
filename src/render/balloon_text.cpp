#include "render/balloon_text.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <list>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/limits.h"
#include "base/platform_services.h"
#include "model/motion.h"
#include "model/scene_state.h"
#include "model/story_rules.h"
#include "model/timeline.h"
#include "render/text_rasterizer.h"

namespace tolvani {

class BalloonCardCache {
 public:
  struct Card {
    std::u16string text;  // the laid-out text (LaidOutBalloonText)
    gfx::Handle view = gfx::kNone;
    uint32_t side = 0;
    uint64_t lastFrame = 0;  // the frame that last bound this card
  };
  // Lookups by string_view, so finding a card copies no text.
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view s) const { return std::hash<std::u16string_view>{}(s); }
  };
  using CardList = std::list<Card>;

  gfx::IGraphicsDevice* device = nullptr;  // the device the views belong to
  ITextRasterizer* rasterizer = nullptr;   // the rasteriser that drew them
  uint64_t frame = 1;                      // frames begun since the cache was made, plus 1
  uint32_t frameSide = 0;                  // side of the cards bound this frame; 0: not chosen
  size_t bytes = 0;                        // device bytes of the cached cards
  CardList cards;                          // most recently used first
  std::unordered_map<std::u16string, CardList::iterator, TextHash, std::equal_to<>> byText;
  std::vector<uint8_t> pixels;             // scratch card image, reused between renders
  std::vector<std::u16string_view> texts;  // scratch: a frame's texts, for counting them

  void Release(CardList::iterator card) {
    if (device) device->Release(card->view);
    bytes -= BalloonCardBytes(card->side);
    byText.erase(card->text);
    cards.erase(card);
  }
  void ReleaseAll() {
    if (device) {
      for (const Card& card : cards) device->Release(card.view);
    }
    Forget();
  }
  void Forget() {
    cards.clear();
    byText.clear();
    bytes = 0;
  }
};

namespace {

NearViewCentreQuery g_nearViewCentre = nullptr;

size_t CardPixelBytes(uint32_t side) {
  return static_cast<size_t>(side) * side * 4;
}

// Whether `cards` cards of `side` fit the budget. Divides rather than
// multiplies: a count of cards times a card's bytes overflows a 32-bit
// size_t (WebAssembly) long before the count is absurd.
bool CardsFit(size_t cards, uint32_t side) {
  return cards <= kBalloonCardBudgetBytes / BalloonCardBytes(side);
}

void FillWhite(std::vector<uint8_t>& pixels, uint32_t side) {
  pixels.resize(CardPixelBytes(side));
  std::memset(pixels.data(), 0xFF, pixels.size());
}

BalloonCardCache& CacheFor(RenderState& render) {
  if (!render.balloonCards) render.balloonCards = std::make_shared<BalloonCardCache>();
  BalloonCardCache& cache = *render.balloonCards;
  if (cache.device != render.device) {
    // Views of another device cannot be released through this one; forget them.
    cache.Forget();
    cache.device = render.device;
  }
  if (cache.rasterizer != render.textRasterizer) {
    cache.ReleaseAll();
    cache.rasterizer = render.textRasterizer;
  }
  return cache;
}

// Distinct cards the frame may bind: the white card, and one per distinct
// text of the visible models' timelines at the current step (Explore mode's
// proximity test is left out: it can only empty a text). Texts are only
// compared when their count alone does not fit the budget at full size.
size_t CountFrameCards(CCoreMotion3D& scene, BalloonCardCache& cache) {
  const std::vector<CTimeLine>& lines = SceneState.timeLines;
  const size_t n = std::min(lines.size(), scene.models.size());
  auto textOf = [&](size_t i) -> std::u16string_view {
    if (!scene.models[i].visible || !lines[i].HasEntry(scene.currentStep)) return {};
    return LaidOutBalloonText(lines[i].entries[static_cast<size_t>(scene.currentStep)].text);
  };
  size_t count = 1;
  for (size_t i = 1; i < n; ++i) count += textOf(i).empty() ? 0 : 1;
  if (CardsFit(count, kBalloonCardSize)) return count;
  cache.texts.clear();
  for (size_t i = 1; i < n; ++i) {
    const std::u16string_view text = textOf(i);
    if (!text.empty()) cache.texts.push_back(text);
  }
  std::sort(cache.texts.begin(), cache.texts.end());
  const auto last = std::unique(cache.texts.begin(), cache.texts.end());
  const size_t distinct = static_cast<size_t>(last - cache.texts.begin());
  cache.texts.clear();  // the views die with the frame
  return 1 + distinct;
}

// Draws the card image for text at side x side into cache.pixels. False
// when the rasteriser failed; pixels then hold a white card.
bool DrawCard(BalloonCardCache& cache, std::u16string_view text, uint32_t side) {
  if (text.empty() || !cache.rasterizer) {
    FillWhite(cache.pixels, side);
    return true;
  }
  cache.pixels.resize(CardPixelBytes(side));
  const bool ok = cache.rasterizer->RenderCard(std::u16string(text), side, cache.pixels);
  if (!ok || cache.pixels.size() != CardPixelBytes(side)) {
    FillWhite(cache.pixels, side);
    return false;
  }
  return true;
}

// A new side x side texture and view holding cache.pixels; kNone on failure.
gfx::Handle UploadCard(gfx::IGraphicsDevice& device, const std::vector<uint8_t>& pixels,
                       uint32_t side) {
  gfx::TextureDesc desc;
  desc.width = side;
  desc.height = side;
  desc.format = gfx::TextureFormat::BGRA8;
  desc.usage = gfx::TextureUsage::RenderTarget;
  desc.mipmapped = true;  // legible when drawn small
  gfx::Handle texture = gfx::kNone;
  if (gfx::Failed(device.CreateTexture2D(desc, &texture))) return gfx::kNone;
  gfx::Handle view = gfx::kNone;
  if (gfx::Failed(device.UpdateTexture(texture, pixels.data(), side * 4)) ||
      gfx::Failed(device.CreateShaderResourceView(texture, &view))) {
    device.Release(texture);
    return gfx::kNone;
  }
  device.Release(texture);  // the view keeps it alive
  return view;
}

// The shared balloon texture made with the renderer, for cards that are not
// cached: it gets the full-size card of text, or a white card when the
// rasteriser failed (rasterized false).
gfx::Handle UseSharedTexture(RenderState& render, BalloonCardCache& cache, std::u16string_view text,
                             bool rasterized) {
  if (render.balloonTexture == gfx::kNone) return render.balloonTextureView;
  if (!rasterized) {
    FillWhite(cache.pixels, kBalloonCardSize);
  } else if (cache.pixels.size() != CardPixelBytes(kBalloonCardSize)) {
    DrawCard(cache, text, kBalloonCardSize);  // white if it fails
  }
  render.device->UpdateTexture(render.balloonTexture, cache.pixels.data(), kBalloonCardSize * 4);
  return render.balloonTextureView;
}

// Makes room for `need` more bytes: first cards beyond the count capacity
// that neither this frame nor the previous one bound, then, while over the
// budget, the least recently drawn cards (those bound this frame last).
void MakeRoom(BalloonCardCache& cache, size_t need) {
  while (cache.cards.size() >= kBalloonCardCacheCapacity &&
         cache.cards.back().lastFrame + 1 < cache.frame) {
    cache.Release(std::prev(cache.cards.end()));
  }
  while (!cache.cards.empty() && cache.bytes + need > kBalloonCardBudgetBytes) {
    cache.Release(std::prev(cache.cards.end()));
  }
}

}  // namespace

size_t BalloonCardBytes(uint32_t side) {
  size_t bytes = 0;
  for (uint32_t s = side; s > 0; s /= 2) {
    bytes += CardPixelBytes(s);
    if (s == 1) break;
  }
  return bytes;
}

uint32_t BalloonCardSide(int viewWidth, int viewHeight, size_t cards) {
  const int longer = std::max(viewWidth, viewHeight);
  uint32_t side = kBalloonCardSize;
  while (side > kBalloonCardMinSide && static_cast<int>(side / 2) >= longer) side /= 2;
  while (side > kBalloonCardMinSide && !CardsFit(std::max<size_t>(cards, 1), side)) {
    side /= 2;
  }
  return side;
}

std::u16string_view LaidOutBalloonText(std::u16string_view text) {
  if (text.size() <= kBalloonTextMaxUnits) return text;
  size_t n = kBalloonTextMaxUnits;
  const char16_t last = text[n - 1];
  if (last >= 0xD800 && last <= 0xDBFF) --n;  // a high surrogate whose pair is cut
  return text.substr(0, n);
}

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
  if (scene.playMode == PlayMode::kExplore && !BalloonNearViewCentre(scene, index)) return {};
  const CTimeLine& line = timeLines[static_cast<size_t>(index)];
  if (!line.HasEntry(scene.currentStep)) return {};
  return line.entries[static_cast<size_t>(scene.currentStep)].text;
}

void BeginBalloonFrame(CCoreMotion3D& scene) {
  RenderState& render = scene.render;
  if (!render.device) return;
  BalloonCardCache& cache = CacheFor(render);
  ++cache.frame;
  cache.frameSide = BalloonCardSide(scene.width, scene.height, CountFrameCards(scene, cache));
}

gfx::Handle RenderBalloonCard(CCoreMotion3D& scene, int index) {
  RenderState& render = scene.render;
  if (!render.device) return gfx::kNone;
  BalloonCardCache& cache = CacheFor(render);
  if (cache.frameSide == 0) cache.frameSide = BalloonCardSide(scene.width, scene.height, 1);
  const uint32_t side = cache.frameSide;
  // Without a rasteriser every card is the same white square.
  const std::u16string_view text =
      cache.rasterizer ? LaidOutBalloonText(BalloonTextView(scene, index)) : std::u16string_view();

  auto found = cache.byText.find(text);
  if (found != cache.byText.end()) {
    if (found->second->side == side) {
      cache.cards.splice(cache.cards.begin(), cache.cards, found->second);
      found->second->lastFrame = cache.frame;
      return found->second->view;
    }
    cache.Release(found->second);  // drawn again at this frame's size
  }

  if (!DrawCard(cache, text, side)) {
    Platform().Diagnostic("render", u"RenderD2DContentIntoSurface");
    return UseSharedTexture(render, cache, text, false);
  }
  const size_t bytes = BalloonCardBytes(side);
  MakeRoom(cache, bytes);
  const gfx::Handle view = UploadCard(*render.device, cache.pixels, side);
  if (view == gfx::kNone) return UseSharedTexture(render, cache, text, true);

  cache.cards.push_front(BalloonCardCache::Card{std::u16string(text), view, side, cache.frame});
  cache.byText.emplace(cache.cards.front().text, cache.cards.begin());
  cache.bytes += bytes;
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

size_t BalloonCardBytesCached(const CCoreMotion3D& scene) {
  return scene.render.balloonCards ? scene.render.balloonCards->bytes : 0;
}

}  // namespace tolvani
