#include "render/qt/qt_text_rasterizer.h"

#include <QChar>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <QtEndian>
#include <cstring>

#include "base/limits.h"

namespace tolvani {

namespace {

bool IsMark(char32_t c) {
  const QChar::Category category = QChar::category(c);
  return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
         category == QChar::Mark_Enclosing;
}

}  // namespace

QString BalloonLayoutText(const std::u16string& text) {
  QString out;
  out.reserve(static_cast<qsizetype>(text.size()));
  int marks = 0;  // combining marks in a row so far
  for (size_t i = 0; i < text.size();) {
    const char16_t unit = text[i];
    char32_t c = unit;
    size_t n = 1;
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1])) {
      c = QChar::surrogateToUcs4(unit, text[i + 1]);
      n = 2;
    }
    marks = IsMark(c) ? marks + 1 : 0;
    if (marks <= kBalloonTextMaxMarksPerCharacter) {
      out.append(reinterpret_cast<const QChar*>(text.data() + i), static_cast<qsizetype>(n));
    }
    i += n;
  }
  return out;
}

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
    // The layout is the same at every size; smaller cards are drawn scaled.
    if (size != kBalloonCardSize) {
      const qreal scale = static_cast<qreal>(size) / kBalloonCardSize;
      painter.scale(scale, scale);
    }
    constexpr int kSide = static_cast<int>(kBalloonCardSize);
    painter.drawText(QRect(0, 0, kSide, kSide), Qt::AlignCenter | Qt::TextWordWrap,
                     BalloonLayoutText(text));
  }
  const size_t rowBytes = static_cast<size_t>(size) * 4;
  pixels.resize(rowBytes * size);
  for (uint32_t y = 0; y < size; ++y) {
    std::memcpy(pixels.data() + rowBytes * y, image.constScanLine(static_cast<int>(y)), rowBytes);
  }
  return true;
}

}  // namespace tolvani
