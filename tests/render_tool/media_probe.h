// Reads a video file back with libavformat for the render tests: its
// streams, every decoded picture counted, the first one as RGB, and the
// sound as interleaved float stereo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvani::testing {

struct MediaProbe {
  bool ok = false;
  std::string error;
  int videoStreams = 0, audioStreams = 0;
  std::string videoCodec, audioCodec;
  int width = 0, height = 0;
  int frames = 0;                   // decoded pictures
  std::vector<uint8_t> firstFrame;  // width x height RGB, row 0 the top row
  int sampleRate = 0, channels = 0;
  std::vector<float> samples;  // interleaved
};

MediaProbe ProbeMedia(const std::string& path);

// Root mean square of the sound between two times in seconds, all channels.
double Rms(const MediaProbe& media, double from, double to);
// The first time (s) a sample's magnitude exceeds level, or -1.
double Onset(const MediaProbe& media, double level);

}  // namespace tolvani::testing
