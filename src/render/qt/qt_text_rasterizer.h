// Balloon cards drawn with QPainter: black text in the balloon font, 50 px
// on the 1024-unit layout square, centred and word-wrapped over the whole
// card, on opaque white.
#pragma once

#include <QFont>
#include <QString>

#include "render/text_rasterizer.h"

namespace tolvani {

class QtTextRasterizer : public ITextRasterizer {
 public:
  QtTextRasterizer();
  // pixels: size x size texels of B, G, R, A bytes, row 0 first.
  bool RenderCard(const std::u16string& text, uint32_t size, std::vector<uint8_t>& pixels) override;

 private:
  QFont font_;
};

// The text a card lays out: combining marks beyond
// kBalloonTextMaxMarksPerCharacter in a row are left out.
QString BalloonLayoutText(const std::u16string& text);

}  // namespace tolvani
