// Draws a balloon card: black, horizontally and vertically centred,
// word-wrapped text on an opaque white square. The Qt shell implements it
// with QPainter; headless runs have none (cards stay white).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvani {

// The card's layout square: text is laid out at 50 units per em on a
// kBalloonCardSize x kBalloonCardSize square, whatever the card's texels.
constexpr uint32_t kBalloonCardSize = 1024;

class ITextRasterizer {
 public:
  virtual ~ITextRasterizer() = default;
  // Fills pixels (size x size, 4 bytes each, B, G, R, A order, row 0 first)
  // with the card for text, laid out on the kBalloonCardSize square and
  // drawn scaled by size / kBalloonCardSize (size 1 to 8192). Callers pass
  // at most kBalloonTextMaxUnits units (base/limits.h). Returns false on
  // failure.
  virtual bool RenderCard(const std::u16string& text, uint32_t size,
                          std::vector<uint8_t>& pixels) = 0;
};

}  // namespace tolvani
