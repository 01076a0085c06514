// The command lines of `render` and `thumbnail`, parsed without drawing
// anything (the tests and the fuzzer use them alone). Every number is read
// whole with a range check: a value that overflows or has trailing bytes is
// a usage error, never wrapped or cut.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvani::render_tool {

// Frame sides of `render --size` in pixels; 8192 is the largest picture the
// graphics device must accept.
constexpr int kMinRenderSide = 100;
constexpr int kMaxRenderSide = 8192;
constexpr double kMaxRenderSeconds = 24.0 * 3600.0;

struct RenderOptions {
  std::string input, output;  // as given: bytes, not necessarily UTF-8
  std::string script;
  bool autoplay = false;
  int width = 1280, height = 720;
  double maxSeconds = 600;
  int quality = 70;
};

// Thumbnail budgets: the file size accepted, the run's wall-clock time and
// the private writable memory of the drawing process (see docs/limits.md).
constexpr int kMaxThumbnailSide = 4096;
constexpr long long kThumbnailFileMegabytes = 512;
constexpr int kThumbnailSeconds = 5;
constexpr long long kThumbnailMemoryMegabytes = 512;

// The longest texture side a thumbnail of `size` pixels uploads (larger
// images are downscaled): twice the picture's side, which leaves room for a
// texture seen magnified, at least kThumbnailMinTextureSide, at most the
// device's 8192.
constexpr int kThumbnailMinTextureSide = 512;
uint32_t ThumbnailTextureSide(int size);

struct ThumbnailOptions {
  std::string input, output;
  int size = 256;  // fitted into size x size
  long long maxMegabytes = kThumbnailFileMegabytes;
  int timeLimitSeconds = kThumbnailSeconds;
  long long memoryLimitMegabytes = kThumbnailMemoryMegabytes;
};

// A decimal integer in [low, high] (an optional leading '+'), the whole text.
bool ParseWholeNumber(std::string_view text, long long low, long long high, long long* out);
// "WxH" (or "WXH"), each side in [low, high].
bool ParseSize(std::string_view text, int low, int high, int* width, int* height);

// False with a message in *why on a usage error.
bool ParseRenderOptions(const std::vector<std::string>& args, RenderOptions* o, std::string* why);
bool ParseThumbnailOptions(const std::vector<std::string>& args, ThumbnailOptions* o,
                           std::string* why);

}  // namespace tolvani::render_tool
