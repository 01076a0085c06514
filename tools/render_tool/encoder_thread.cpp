#include "render_tool/encoder_thread.h"

namespace tolvani::render_tool {

EncoderThread::EncoderThread(MediaWriter& writer) : writer_(writer) {
  thread_ = std::thread([this] { Run(); });
}

EncoderThread::~EncoderThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool EncoderThread::Submit(std::vector<uint8_t>& rgba, std::vector<int16_t>& samples) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queue_.size() < kQueueDepth || failed_; });
  if (failed_) return false;
  queue_.push_back(Job{std::move(rgba), samples});
  rgba.clear();
  changed_.notify_all();
  return true;
}

void EncoderThread::Recycle(std::vector<uint8_t>& rgba) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!spare_.empty()) {
    rgba = std::move(spare_.back());
    spare_.pop_back();
  }
}

void EncoderThread::Run() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    changed_.notify_all();
    std::string error;
    const bool ok = writer_.WriteFrame(job.rgba.data(), true, &error) &&
                    writer_.WriteAudio(job.samples.data(),
                                       static_cast<int>(job.samples.size() / kChannels), &error);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ok) {
      failed_ = true;
      error_ = error;
      queue_.clear();
      changed_.notify_all();
      return;
    }
    if (spare_.size() < kQueueDepth) spare_.push_back(std::move(job.rgba));
  }
}

bool EncoderThread::Finish(std::string* error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (failed_) {
    *error = error_;
    return false;
  }
  return writer_.Finish(error);
}

}  // namespace tolvani::render_tool
