// The audio output under the sound container. The OpenAL backend plays
// through the sound device; the null backend accepts PCM formats and records
// what plays. Results follow the HRESULT style: negative is failure.
#pragma once

#include <cstdint>
#include <string>

namespace tolvani {

// The stored wave format block (the platform's WAVEFORMATEX, 18 bytes).
struct WaveFormat {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;
};

using VoiceHandle = uint32_t;  // 0: none
constexpr uint32_t kLoopInfinite = 255;

class ISoundBackend {
 public:
  virtual ~ISoundBackend() = default;
  // Engine and output voice exist. False: nothing can play; the container
  // then makes no voices.
  virtual bool HasEngine() const = 0;
  virtual int32_t CreateSourceVoice(const WaveFormat& format, VoiceHandle* out) = 0;
  virtual void DestroyVoice(VoiceHandle voice) = 0;  // returns once the data is no longer read
  virtual int32_t Stop(VoiceHandle voice) = 0;
  virtual int32_t FlushSourceBuffers(VoiceHandle voice) = 0;
  // Queues the whole data once (loopCount 0) or looping (kLoopInfinite).
  // The data stays owned by the caller until the voice is destroyed.
  virtual int32_t SubmitSourceBuffer(VoiceHandle voice, const uint8_t* data, uint32_t size,
                                     uint32_t loopCount) = 0;
  virtual int32_t Start(VoiceHandle voice) = 0;
  // The master gain over every voice: 0 silent, 1 the data as stored;
  // values outside 0 to 1 (and NaN, taken as 0) are clamped. Kept across
  // voices made later. A backend without output may ignore it.
  virtual void SetMasterGain(float gain) { (void)gain; }
  // true: every playing voice holds where it is; false: the voices held so
  // resume from there. A voice stopped or restarted meanwhile is not
  // resumed. A backend without output may ignore it.
  virtual void SetPaused(bool paused) { (void)paused; }
};

}  // namespace tolvani
