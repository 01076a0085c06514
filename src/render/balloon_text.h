// Balloon cards: the picture drawn on a speech balloon's geometry. A card is
// a square BGRA8 texture holding the balloon's text in black, centred and
// word-wrapped, on opaque white (ITextRasterizer draws it; without one every
// card is plain white).
//
// Cards are kept per text in a least-recently-used cache of device
// textures, so a balloon whose text does not change costs one lookup per
// frame (no allocation) instead of a full re-render and upload. Each balloon
// group binds the card of its own text, so several balloons in one frame
// show their own texts.
//
// Card memory is bounded (kBalloonCardBudgetBytes): each frame sizes its
// cards to what the view needs, 1024 x 1024 at most, no wider than the view
// (rounded up to a power of two), and small enough that one card for every
// distinct text the frame may show fits the budget. A cached card of
// another size is drawn again at the frame's size when next bound. Beyond
// kBalloonCardCacheCapacity cards, cards bound neither in the current nor the
// previous frame are released; beyond the budget, the least recently drawn
// cards are released, the current frame's last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/graphics_device.h"
#include "base/limits.h"

namespace tolvani {

class CCoreMotion3D;

// Cards kept per device before the least recently used one not bound in the
// current or previous frame is released.
constexpr size_t kBalloonCardCacheCapacity = 16;

// Device bytes of a card of side x side texels with its mip chain.
size_t BalloonCardBytes(uint32_t side);
// The card side for a frame of viewWidth x viewHeight pixels that may show
// `cards` distinct cards: a power of two from kBalloonCardMinSide to
// kBalloonCardSize, the largest within the view's longer side (rounded up)
// such that `cards` cards of it fit kBalloonCardBudgetBytes.
uint32_t BalloonCardSide(int viewWidth, int viewHeight, size_t cards);
// The part of a balloon text that is laid out: the first
// kBalloonTextMaxUnits UTF-16 units, without splitting a surrogate pair.
std::u16string_view LaidOutBalloonText(std::u16string_view text);

// The text a balloon of timeline index shows at the scene's currentStep:
// empty for an index that is not a timeline (the -1 of the flat passes), for
// a step outside the timeline's entries, and in PlayMode::kExplore
// while the object is not near the view centre.
std::u16string BalloonText(CCoreMotion3D& scene, int index);
// The same text without a copy: a view of the timeline entry's text, valid
// until the timelines change.
std::u16string_view BalloonTextView(CCoreMotion3D& scene, int index);

// Starts a frame (DrawFrame calls it first): the frame's card side, from the
// view's size and the distinct texts of the visible models' timelines at
// the current step (plus the white card), and the cache's eviction.
void BeginBalloonFrame(CCoreMotion3D& scene);

// Makes sure the card for the balloon of timeline index exists and returns
// its shader resource view (the equivalent of drawing the text into the
// balloon surface). A failed rasterisation gives the diagnostic
// "RenderD2DContentIntoSurface" and a white card that is not cached. Returns
// kNone only when no card could be made at all.
gfx::Handle RenderBalloonCard(CCoreMotion3D& scene, int index);

// Pixel stage of a balloon group: textured pixel shader, the sampler, and
// the card of timeline index in shader-resource slot 0.
void BindBalloonGroup(CCoreMotion3D& scene, int index);

// Releases every cached card on the scene's device. The renderer's teardown
// calls it before the device goes away; calling it again does nothing.
void ReleaseBalloonCards(CCoreMotion3D& scene);

// Number of cards currently cached, and their device bytes (tests, benchmarks).
size_t BalloonCardCount(const CCoreMotion3D& scene);
size_t BalloonCardBytesCached(const CCoreMotion3D& scene);

// Whether the object of timeline index projects near the middle of the view;
// decides in Explore mode whether a balloon shows its text. Until picking
// installs the real query with SetNearViewCentreQuery, every object counts
// as near (the text is always shown).
using NearViewCentreQuery = bool (*)(CCoreMotion3D& scene, int index);
void SetNearViewCentreQuery(NearViewCentreQuery query);
bool BalloonNearViewCentre(CCoreMotion3D& scene, int index);

}  // namespace tolvani
