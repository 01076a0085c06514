// The web player's sound backend and balloon card rasteriser without the
// player: tests/browser/audio_text.test.mjs drives these functions from
// tests/browser/audio_text.html (Module._probe_*), in a real browser.
#include <emscripten.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "base/text_conversion.h"
#include "web/canvas_text_rasterizer.h"
#include "web/web_audio_backend.h"

using tolvani::CAudio;
using tolvani::CWavData;
using tolvani::web::CanvasTextRasterizer;
using tolvani::web::WebAudioBackend;

namespace {

std::vector<uint8_t>& Card() {
  static std::vector<uint8_t> pixels;
  return pixels;
}

std::unique_ptr<CAudio>& Audio() {
  static std::unique_ptr<CAudio> audio;
  return audio;
}

WebAudioBackend* Backend() {
  return Audio() ? static_cast<WebAudioBackend*>(Audio()->backend()) : nullptr;
}

}  // namespace

extern "C" {

// The card for text (UTF-8) at size x size: the address of its B, G, R, A
// bytes, or 0 when the rasteriser failed.
EMSCRIPTEN_KEEPALIVE uint8_t* probe_card(const char* text, int size) {
  CanvasTextRasterizer rasterizer;
  std::vector<uint8_t>& pixels = Card();
  pixels.clear();
  if (!rasterizer.RenderCard(tolvani::FromUtf8(text), static_cast<uint32_t>(size), pixels)) {
    return nullptr;
  }
  return pixels.data();
}

// A new sound container on a new Web Audio backend; the page's id of the
// backend (0: no Web Audio).
EMSCRIPTEN_KEEPALIVE int probe_audio_reset() {
  Audio().reset();
  Audio() = std::make_unique<CAudio>(std::make_unique<WebAudioBackend>());
  return Backend()->id();
}

// Adds a sound: format tag (1 PCM, 3 float), channels, rate, bits, and
// `size` bytes of data (copied).
EMSCRIPTEN_KEEPALIVE void probe_audio_add(const char* name, int tag, int channels, int rate,
                                          int bits, const uint8_t* data, int size) {
  CWavData sound(tolvani::FromUtf8(name));
  sound.format.wFormatTag = static_cast<uint16_t>(tag);
  sound.format.nChannels = static_cast<uint16_t>(channels);
  sound.format.nSamplesPerSec = static_cast<uint32_t>(rate);
  sound.format.wBitsPerSample = static_cast<uint16_t>(bits);
  sound.format.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
  sound.format.nAvgBytesPerSec = sound.format.nBlockAlign * sound.format.nSamplesPerSec;
  sound.data = std::make_shared<std::vector<uint8_t>>(data, data + size);
  sound.size = size;
  Audio()->sounds.push_back(std::move(sound));
}

// PrepareVoices' result (0: voices made; 1: no engine).
EMSCRIPTEN_KEEPALIVE int probe_audio_prepare() {
  return Audio()->PrepareVoices();
}

// Play's result: negative on failure.
EMSCRIPTEN_KEEPALIVE int probe_audio_play(const char* name, int loop) {
  return Audio()->Play(tolvani::FromUtf8(name), loop != 0);
}

EMSCRIPTEN_KEEPALIVE void probe_audio_gain(float gain) {
  Backend()->SetMasterGain(gain);
}

EMSCRIPTEN_KEEPALIVE void probe_audio_pause(int paused) {
  Backend()->SetPaused(paused != 0);
}

// The voice handle of sound `index` (0: none).
EMSCRIPTEN_KEEPALIVE unsigned probe_audio_voice(int index) {
  const auto& sounds = Audio()->sounds;
  return index >= 0 && static_cast<size_t>(index) < sounds.size() ? sounds[index].voice : 0;
}

}  // extern "C"
