// Draws a balloon card: black, horizontally and vertically centred,
// word-wrapped text at 50 px on an opaque white square. The Qt shell
// implements it with QPainter; headless runs have none (cards stay white).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvani {

constexpr uint32_t kBalloonCardSize = 1024;

class ITextRasterizer {
 public:
  virtual ~ITextRasterizer() = default;
  // Fills pixels (size x size, 4 bytes each, B, G, R, A order, row 0 first)
  // with the card for text. Returns false on failure.
  virtual bool RenderCard(const std::u16string& text, uint32_t size,
                          std::vector<uint8_t>& pixels) = 0;
};

}  // namespace tolvani
