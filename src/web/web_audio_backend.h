// WebAudioBackend: the sound backend of the web player, on Web Audio
// (web_audio_backend.js holds the page's side).
//
// Accepts exactly the formats NullSoundBackend::FormatSupported accepts, as
// the OpenAL backend does. SubmitSourceBuffer converts the voice's data
// into one AudioBuffer of float32 channels (8-bit unsigned, 16/24/32-bit
// signed, 32/64-bit float; mono and stereo as stored, 3 to 8 channels mixed
// down to stereo with the OpenAL backend's weights), reading exactly the
// whole blocks of `size` bytes and nothing beyond. A rate the browser's
// AudioBuffer refuses (Chromium takes 3 to 768 kHz) is stored at 8 or
// 96 kHz and played at the matching playback rate, so nothing is resampled
// into a larger copy.
//
// Play semantics follow the OpenAL backend: Start plays the buffer from its
// first sample (a new AudioBufferSourceNode per start; a voice already
// playing restarts), looping for kLoopInfinite and once for any other count;
// Stop ends it and keeps the data; submitting while the voice plays fails
// (XAUDIO2_E_INVALID_CALL); FlushSourceBuffers drops the data of a voice
// that is not playing. The master gain is one GainNode per backend; pausing
// holds each playing voice at its position and resumes only those not
// stopped or restarted meanwhile.
//
// The AudioContext (one per page) is made at the first start or the first
// user gesture (pointerdown, keydown, touchstart), whichever comes first;
// browsers make it suspended before a gesture, so each gesture resumes it.
// A browser without Web Audio gives HasEngine() false (the container then
// makes no voices, as with the null backend); a context that cannot be made
// leaves every voice silent without failing a call.
//
// For tests and the page: Module.tolvaniAudio is the page's state
// ({context, starts: source nodes started so far, backends: id -> {master,
// voices: handle -> {buffer, loop, node, rateScale}}}); a page may set
// Module.tolvaniMakeAudioContext to a function returning the context to use
// (an OfflineAudioContext in tests) before the first sound plays.
//
// Not thread-safe: every call on the page's thread.
#pragma once

#include <cstdint>
#include <map>

#include "base/sound_backend.h"

namespace tolvani::web {

class WebAudioBackend : public ISoundBackend {
 public:
  WebAudioBackend();
  ~WebAudioBackend() override;
  WebAudioBackend(const WebAudioBackend&) = delete;
  WebAudioBackend& operator=(const WebAudioBackend&) = delete;

  bool HasEngine() const override { return id_ != 0; }
  int32_t CreateSourceVoice(const WaveFormat& format, VoiceHandle* out) override;
  void DestroyVoice(VoiceHandle voice) override;
  int32_t Stop(VoiceHandle voice) override;
  int32_t FlushSourceBuffers(VoiceHandle voice) override;
  int32_t SubmitSourceBuffer(VoiceHandle voice, const uint8_t* data, uint32_t size,
                             uint32_t loopCount) override;
  int32_t Start(VoiceHandle voice) override;
  void SetMasterGain(float gain) override;
  void SetPaused(bool paused) override;

  // The page's id of this backend (Module.tolvaniAudio.backends); 0 without
  // Web Audio.
  int id() const { return id_; }

  // How stored samples are read (web_audio_backend.js decodes each).
  enum class SampleType : int32_t { kU8, kS16, kS24, kS32, kF32, kF64 };

 private:
  struct Voice {
    SampleType type = SampleType::kS16;
    uint16_t channels = 0;
    uint16_t blockAlign = 0;
    uint32_t rate = 0;
  };

  int id_ = 0;
  std::map<VoiceHandle, Voice> voices_;
  VoiceHandle next_ = 1;
};

}  // namespace tolvani::web
