// Encodes on a thread of its own, so the next frame is drawn while the last
// one is converted and compressed. Frames wait in a short queue (at most
// kQueueDepth); Submit blocks while it is full, so memory stays bounded.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render_tool/media_writer.h"

namespace tolvani::render_tool {

class EncoderThread {
 public:
  static constexpr size_t kQueueDepth = 3;

  // Takes an opened writer; it is used only by the thread until Finish.
  explicit EncoderThread(MediaWriter& writer);
  ~EncoderThread();  // stops without finishing the file
  EncoderThread(const EncoderThread&) = delete;
  EncoderThread& operator=(const EncoderThread&) = delete;

  // One frame (RGBA, the writer's size, bottom row first) and its tick of
  // sound. The vectors
  // are taken; spare ones come back through Recycle. False once encoding
  // has failed.
  bool Submit(std::vector<uint8_t>& rgba, std::vector<int16_t>& samples);
  // Gives back an emptied picture buffer of an encoded frame, if any, to
  // avoid allocating one per frame.
  void Recycle(std::vector<uint8_t>& rgba);
  // Encodes what is queued, then finishes the file. False with *error.
  bool Finish(std::string* error);

 private:
  struct Job {
    std::vector<uint8_t> rgba;
    std::vector<int16_t> samples;
  };
  void Run();

  MediaWriter& writer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  std::vector<std::vector<uint8_t>> spare_;
  bool closing_ = false;
  bool failed_ = false;
  std::string error_;
  std::thread thread_;
};

}  // namespace tolvani::render_tool
