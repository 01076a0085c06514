// Output written under a temporary name beside the final one and renamed
// into place only when complete, so a failed or interrupted run never
// leaves a partial file under the name asked for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvani::render_tool {

class OutputFile {
 public:
  // Reserves a hidden temporary file in the directory of path. False with
  // *error when the directory cannot take it.
  bool Reserve(const std::string& path, std::string* error);
  ~OutputFile();  // removes the temporary file unless committed
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& temporaryPath() const { return temporary_; }
  // Renames the temporary file to the final path.
  bool Commit(std::string* error);

 private:
  std::string final_;
  std::string temporary_;
  bool committed_ = false;
};

// The temporary name of the output being written, for a signal handler
// that must remove it (async-signal-safe to read); empty when none.
const char* PendingOutputPath();

// Writes width x height RGBA pixels (row 0 the top row) as an RGB PNG,
// scaled with smoothing to fit fit x fit when fit > 0, into the existing
// file at path (the temporary file; path taken as bytes).
bool WritePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height,
              int fit, std::string* error);

// The lower-cased extension of path after its last '.', or "".
std::string ExtensionOf(const std::string& path);

}  // namespace tolvani::render_tool
