// The page's side of CanvasTextRasterizer (canvas_text_rasterizer.h): one
// 2D canvas, kept between cards, on which the C++ side lays out and draws
// each card's lines. An emscripten JavaScript library linked into the player.
mergeInto(LibraryManager.library, {
  $TolvaniCard: {
    kLayoutSide: 1024, // the card's layout square (kBalloonCardSize)
    // 50 units per em; the Japanese font first, then the browser's
    // sans-serif, asked for in Japanese.
    kFontPixels: 50,
    kFamilies: '"Noto Sans CJK JP", sans-serif',
    kReadRows: 256, // rows read back at once, to bound the extra copy
    canvas: null,
    context: null,
    ascent: 0,
    descent: 0,

    // The drawing context on a canvas of side x side pixels; null without one.
    prepare: function (side) {
      var T = TolvaniCard;
      if (!T.canvas) {
        try {
          if (typeof OffscreenCanvas === 'function') T.canvas = new OffscreenCanvas(side, side);
          else if (typeof document !== 'undefined') T.canvas = document.createElement('canvas');
        } catch (e) {
          T.canvas = null;
        }
        if (!T.canvas) return null;
      }
      if (T.canvas.width !== side || T.canvas.height !== side) {
        T.canvas.width = side;
        T.canvas.height = side;
        T.context = null; // a resized canvas resets its state
      }
      if (!T.context) {
        T.context = T.canvas.getContext('2d', { willReadFrequently: true });
        if (!T.context) return null;
      }
      var g = T.context;
      g.setTransform(1, 0, 0, 1, 0, 0);
      g.globalAlpha = 1;
      g.globalCompositeOperation = 'source-over';
      g.fillStyle = '#ffffff';
      g.fillRect(0, 0, side, side);
      if ('lang' in g) g.lang = 'ja';
      g.font = T.kFontPixels + 'px ' + T.kFamilies;
      g.textAlign = 'left';
      g.textBaseline = 'alphabetic';
      if ('fontKerning' in g) g.fontKerning = 'normal';
      g.fillStyle = '#000000';
      var scale = side / T.kLayoutSide;
      g.setTransform(scale, 0, 0, scale, 0, 0);
      T.measureFont(g);
      return g;
    },
    // The font's ascent and descent at 50 px. Chromium rounds them to whole
    // pixels (58 and 14 for 58 and 14.4, a line pitch one pixel short of
    // Qt's), so they are read at kMetricsScale times the size.
    kMetricsScale: 20,
    measureFont: function (g) {
      var T = TolvaniCard;
      var font = g.font;
      g.font = T.kFontPixels * T.kMetricsScale + 'px ' + T.kFamilies;
      var m = g.measureText('');
      g.font = font;
      // Browsers without font bounding boxes: the font's usual proportions.
      T.ascent = typeof m.fontBoundingBoxAscent === 'number' ? m.fontBoundingBoxAscent / T.kMetricsScale : 1.16 * T.kFontPixels;
      T.descent = typeof m.fontBoundingBoxDescent === 'number' ? m.fontBoundingBoxDescent / T.kMetricsScale : 0.288 * T.kFontPixels;
    },
    text: function (ptr, length) {
      var units = HEAPU16.subarray(ptr >>> 1, (ptr >>> 1) + length);
      var parts = [];
      for (var i = 0; i < units.length; i += 4096) {
        parts.push(String.fromCharCode.apply(null, units.subarray(i, i + 4096)));
      }
      return parts.join('');
    },
  },

  tolvani_card_begin__deps: ['$TolvaniCard'],
  tolvani_card_begin: function (side) {
    return TolvaniCard.prepare(side >>> 0) ? 1 : 0;
  },

  tolvani_card_font__deps: ['$TolvaniCard'],
  tolvani_card_font: function (out) {
    HEAPF64[out >>> 3] = TolvaniCard.ascent;
    HEAPF64[(out >>> 3) + 1] = TolvaniCard.descent;
  },

  tolvani_card_measure__deps: ['$TolvaniCard'],
  tolvani_card_measure: function (ptr, length) {
    return TolvaniCard.context.measureText(TolvaniCard.text(ptr, length >>> 0)).width;
  },

  tolvani_card_draw__deps: ['$TolvaniCard'],
  tolvani_card_draw: function (ptr, length, x, baseline) {
    TolvaniCard.context.fillText(TolvaniCard.text(ptr, length >>> 0), x, baseline);
  },

  tolvani_card_read__deps: ['$TolvaniCard'],
  tolvani_card_read: function (pixels, side) {
    var T = TolvaniCard;
    side >>>= 0;
    pixels >>>= 0;
    try {
      for (var y = 0; y < side; y += T.kReadRows) {
        var rows = Math.min(T.kReadRows, side - y);
        var rgba = T.context.getImageData(0, y, side, rows).data;
        var out = HEAPU8.subarray(pixels + y * side * 4, pixels + (y + rows) * side * 4);
        for (var i = 0; i < rgba.length; i += 4) {
          out[i] = rgba[i + 2];
          out[i + 1] = rgba[i + 1];
          out[i + 2] = rgba[i];
          out[i + 3] = 255; // opaque, as the Qt card
        }
      }
    } catch (e) {
      console.warn('tolvani: balloon card not read (' + e + ')');
      return 0;
    } finally {
      // A card beyond the layout size is rare: do not keep its memory.
      if (side > T.kLayoutSide) {
        T.canvas.width = 1;
        T.canvas.height = 1;
        T.context = null;
      }
    }
    return 1;
  },
});
