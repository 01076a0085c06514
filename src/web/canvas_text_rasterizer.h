// Balloon cards drawn on a 2D canvas (canvas_text_rasterizer.js holds the
// page's side): the Qt card's layout (card_layout.h) in 50 px
// "Noto Sans CJK JP", else the browser's Japanese sans-serif, black on
// opaque white, laid out on the 1024-unit square and drawn scaled to the
// card's side. The canvas is an OffscreenCanvas where the browser has one,
// else a <canvas> element never added to the page.
#pragma once

#include "render/text_rasterizer.h"

namespace tolvani::web {

class CanvasTextRasterizer : public ITextRasterizer {
 public:
  // pixels: size x size texels of B, G, R, A bytes (A 255), row 0 first, as
  // the Qt rasteriser gives them. False when the page has no 2D canvas.
  bool RenderCard(const std::u16string& text, uint32_t size, std::vector<uint8_t>& pixels) override;
};

}  // namespace tolvani::web
