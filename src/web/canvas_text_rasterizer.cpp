#include "web/canvas_text_rasterizer.h"

#include "web/card_layout.h"

// The page's side (canvas_text_rasterizer.js). Texts are UTF-16 units at a
// wasm address; lengths in units; coordinates in layout units.
extern "C" {
// Makes the canvas size x size, white, ready for text; 0 without a canvas.
int tolvani_card_begin(uint32_t size);
// The font's ascent and descent (positive) into out[0] and out[1].
void tolvani_card_font(double* out);
double tolvani_card_measure(const char16_t* text, uint32_t length);
void tolvani_card_draw(const char16_t* text, uint32_t length, double x, double baseline);
// Copies the canvas into pixels (size x size x 4 bytes, B, G, R, A); 0 on failure.
int tolvani_card_read(uint8_t* pixels, uint32_t size);
}

namespace tolvani::web {

bool CanvasTextRasterizer::RenderCard(const std::u16string& text, uint32_t size,
                                      std::vector<uint8_t>& pixels) {
  if (size == 0 || size > 8192) return false;
  if (tolvani_card_begin(size) == 0) return false;
  const std::u16string cardText = CardText(text);
  double metrics[2] = {};
  tolvani_card_font(metrics);
  const CardFont font{metrics[0], metrics[1]};
  const auto measure = [](std::u16string_view piece) {
    return tolvani_card_measure(piece.data(), static_cast<uint32_t>(piece.size()));
  };
  for (const CardLine& line : LayOutCard(cardText, font, measure)) {
    if (line.length == 0) continue;
    tolvani_card_draw(cardText.data() + line.begin, static_cast<uint32_t>(line.length), line.x,
                      line.baseline);
  }
  pixels.resize(static_cast<size_t>(size) * size * 4);
  return tolvani_card_read(pixels.data(), size) != 0;
}

}  // namespace tolvani::web
