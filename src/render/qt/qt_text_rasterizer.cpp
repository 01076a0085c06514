#include "render/qt/qt_text_rasterizer.h"

#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <QtEndian>
#include <cstring>

namespace tolvani {

QtTextRasterizer::QtTextRasterizer() {
  // "Meiryo" alone falls back to a Latin-only font; the CJK family after it
  // draws the whole card when Meiryo is not installed.
  font_.setFamilies(QStringList{QStringLiteral("Meiryo"), QStringLiteral("Noto Sans CJK JP")});
  font_.setPixelSize(50);
  font_.setWeight(QFont::Normal);
  font_.setStyle(QFont::StyleNormal);
}

bool QtTextRasterizer::RenderCard(const std::u16string& text, uint32_t size,
                                  std::vector<uint8_t>& pixels) {
  if (size == 0 || size > 8192) return false;
  // Format_ARGB32 keeps each texel as a native-endian 0xAARRGGBB word: on a
  // little-endian machine its bytes are B, G, R, A, the card's layout.
  static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "card bytes assume a little-endian host");
  QImage image(static_cast<int>(size), static_cast<int>(size), QImage::Format_ARGB32);
  if (image.isNull()) return false;
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    if (!painter.isActive()) return false;
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(font_);
    painter.setPen(Qt::black);
    const QString qtext = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    painter.drawText(QRect(0, 0, static_cast<int>(size), static_cast<int>(size)),
                     Qt::AlignCenter | Qt::TextWordWrap, qtext);
  }
  const size_t rowBytes = static_cast<size_t>(size) * 4;
  pixels.resize(rowBytes * size);
  for (uint32_t y = 0; y < size; ++y) {
    std::memcpy(pixels.data() + rowBytes * y, image.constScanLine(static_cast<int>(y)), rowBytes);
  }
  return true;
}

}  // namespace tolvani
