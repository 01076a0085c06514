// NullSoundBackend: a sound backend without a sound device, for the headless
// tools and the tests. It accepts the formats a real engine plays (PCM,
// wFormatTag 1, with 8/16/24/32 bits; IEEE float, wFormatTag 3, with 32 or 64
// bits; 1 to 8 channels, 1 Hz to 384 kHz, nBlockAlign equal to channels x
// bytes per sample) and refuses others, keeps a state per voice, records every
// call that changes what is heard, and can be told to fail chosen calls.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "base/sound_backend.h"

namespace tolvani {

class NullSoundBackend : public ISoundBackend {
 public:
  enum class VoiceState : uint8_t {
    Stopped,  // made, stopped, or never started
    Playing,  // started on data queued once
    Looping,  // started on data queued with kLoopInfinite
  };

  struct Voice {
    WaveFormat format;
    VoiceState state = VoiceState::Stopped;
    bool queued = false;     // data submitted and not flushed
    uint32_t loopCount = 0;  // of the queued data
    uint32_t dataSize = 0;   // of the queued data
    const uint8_t* data = nullptr;
    uint32_t starts = 0;  // Start calls that succeeded
  };

  // One successful Start: the voice, the loop count and size of its queued data.
  struct PlayRecord {
    VoiceHandle voice = 0;
    uint32_t loopCount = 0;
    uint32_t dataSize = 0;
  };

  enum class Op : uint8_t {
    CreateSourceVoice,
    Stop,
    FlushSourceBuffers,
    SubmitSourceBuffer,
    Start,
    kCount
  };

  explicit NullSoundBackend(bool hasEngine = true) : hasEngine_(hasEngine) {}

  // The n-th call (1-based, counted since the backend was made) of op fails.
  void FailCall(Op op, uint64_t n) { failAt_.emplace_back(op, n); }
  void FailAlways(Op op, bool fail = true) { failAlways_[static_cast<size_t>(op)] = fail; }
  uint64_t CallCount(Op op) const { return calls_[static_cast<size_t>(op)]; }

  // Live voices (made and not destroyed).
  const std::map<VoiceHandle, Voice>& voices() const { return voices_; }
  const Voice* FindVoice(VoiceHandle h) const;
  VoiceState StateOf(VoiceHandle h) const;  // Stopped for unknown voices
  const std::vector<PlayRecord>& plays() const { return plays_; }
  // Handles destroyed so far, in order.
  const std::vector<VoiceHandle>& destroyed() const { return destroyed_; }
  // Calls naming an unknown or destroyed voice.
  uint64_t BadHandleCount() const { return badHandles_; }
  void ClearPlays() { plays_.clear(); }

  // Whether a real engine would play this format.
  static bool FormatSupported(const WaveFormat& format);

  bool HasEngine() const override { return hasEngine_; }
  int32_t CreateSourceVoice(const WaveFormat& format, VoiceHandle* out) override;
  void DestroyVoice(VoiceHandle voice) override;
  int32_t Stop(VoiceHandle voice) override;
  int32_t FlushSourceBuffers(VoiceHandle voice) override;
  int32_t SubmitSourceBuffer(VoiceHandle voice, const uint8_t* data, uint32_t size,
                             uint32_t loopCount) override;
  int32_t Start(VoiceHandle voice) override;
  void SetMasterGain(float gain) override;
  void SetPaused(bool paused) override;
  // The last master gain set (clamped), 1 at first; whether paused.
  float masterGain() const { return masterGain_; }
  bool paused() const { return paused_; }

 private:
  bool ShouldFail(Op op);
  Voice* Find(VoiceHandle h);

  bool hasEngine_;
  float masterGain_ = 1.0f;
  bool paused_ = false;
  std::map<VoiceHandle, Voice> voices_;
  VoiceHandle next_ = 1;
  std::vector<PlayRecord> plays_;
  std::vector<VoiceHandle> destroyed_;
  uint64_t badHandles_ = 0;
  uint64_t calls_[static_cast<size_t>(Op::kCount)] = {};
  bool failAlways_[static_cast<size_t>(Op::kCount)] = {};
  std::vector<std::pair<Op, uint64_t>> failAt_;
};

}  // namespace tolvani
