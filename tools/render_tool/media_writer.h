// A video file with sound through FFmpeg's libraries: MP4 (H.264 + AAC) or
// WebM (VP9 + Opus). Frames come at a constant 100/3 per second (one per
// 30 ms tick, timestamps in units of 3/100 s, exact); sound comes as signed
// 16-bit stereo at 48000 Hz, 1440 frames per tick.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/story_rules.h"

namespace tolvani::render_tool {

enum class Container { Mp4, WebM };

struct MediaSettings {
  Container container = Container::Mp4;
  int width = 1280, height = 720;  // even, 2 to 8192
  // 0 (smallest file) to 100 (best picture); mapped to the codec's
  // constant-quality scale.
  int quality = 70;
};

constexpr int kSampleRate = 48000;
constexpr int kChannels = 2;
constexpr int kSamplesPerTick = kSampleRate * kTickPeriodMs / 1000;  // 1440

class MediaWriter {
 public:
  MediaWriter();
  ~MediaWriter();  // an unfinished file is closed without its trailer
  MediaWriter(const MediaWriter&) = delete;
  MediaWriter& operator=(const MediaWriter&) = delete;

  // Creates the file at path, a local file name of any bytes (never read
  // as a URL or protocol; the container is taken from settings, not from
  // the name). False with a reason in *error.
  bool Open(const std::string& path, const MediaSettings& settings, std::string* error);
  // One picture: width x height RGBA bytes, row 0 the top row, or the
  // bottom row with bottomUp (as OpenGL reads them).
  bool WriteFrame(const uint8_t* rgba, bool bottomUp, std::string* error);
  // Interleaved stereo samples, any count.
  bool WriteAudio(const int16_t* samples, int frames, std::string* error);
  // Drains the encoders and writes the trailer.
  bool Finish(std::string* error);

  int64_t framesWritten() const;
  // Seconds spent in conversion and encoding so far.
  double encodeSeconds() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace tolvani::render_tool
