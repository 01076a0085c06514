// Writes the Qt balloon cards of the given texts as PNG files, for the
// browser test that holds the canvas cards against them
// (tests/browser/audio_text.test.mjs).
//   qt_card_writer OUT_DIR SIZE TEXT...   writes OUT_DIR/card<N>.png, N from 0
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/qt/qt_text_rasterizer.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: qt_card_writer OUT_DIR SIZE TEXT...\n");
    return 2;
  }
  // Fonts need an application, not a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int size = std::atoi(argv[2]);
  if (size < 1 || size > 8192) {
    std::fprintf(stderr, "qt_card_writer: SIZE must be 1 to 8192\n");
    return 2;
  }
  tolvani::QtTextRasterizer rasterizer;
  for (int i = 3; i < argc; ++i) {
    std::vector<uint8_t> pixels;
    if (!rasterizer.RenderCard(QString::fromUtf8(argv[i]).toStdU16String(),
                               static_cast<uint32_t>(size), pixels)) {
      std::fprintf(stderr, "qt_card_writer: no card for text %d\n", i - 3);
      return 1;
    }
    // The card's B, G, R, A bytes are a little-endian ARGB32 image.
    QImage image(pixels.data(), size, size, size * 4, QImage::Format_ARGB32);
    const QString file =
        QStringLiteral("%1/card%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(i - 3);
    if (!image.save(file, "PNG")) {
      std::fprintf(stderr, "qt_card_writer: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
