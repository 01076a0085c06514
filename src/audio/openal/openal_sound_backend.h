// OpenAlSoundBackend: the sound backend of the player, on OpenAL Soft.
//
// One device and one context per backend; one AL source and one AL buffer per
// voice. Accepts exactly the formats NullSoundBackend::FormatSupported accepts
// (PCM 8/16/24/32-bit, IEEE float 32/64-bit, 1 to 8 channels) and refuses the
// rest with E_FAIL. Formats OpenAL cannot take directly are converted when the
// data is submitted: 24/32-bit integer and 64-bit float become float32 (16-bit
// without AL_EXT_FLOAT32); more than 2 channels use AL_EXT_MCFORMATS where it
// has a layout (4, 6, 7, 8 channels in the WAVE order), else a plain downmix
// to stereo.
//
// SubmitSourceBuffer copies the data into the voice's buffer (alBufferData), so
// the caller may free it at any time after the call. Sizes are cut to whole
// blocks; nothing left fails. Loop count kLoopInfinite loops, any other value
// plays the data once. Stop keeps the data; Start after Stop restarts from the
// first sample. Submitting while the voice plays fails: stop it first.
//
// When the device or the context cannot be made, the documented messages go to
// standard output and HasEngine() is false; every voice call then fails.
//
// Not thread-safe: every call on the user-interface thread. Each call makes the
// backend's context current, so several backends may live in one process.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "base/sound_backend.h"

namespace tolvani {

class OpenAlSoundBackend : public ISoundBackend {
 public:
  // Opens the default output device (alcOpenDevice(nullptr)).
  OpenAlSoundBackend();
  ~OpenAlSoundBackend() override;
  OpenAlSoundBackend(const OpenAlSoundBackend&) = delete;
  OpenAlSoundBackend& operator=(const OpenAlSoundBackend&) = delete;

  // A backend on an ALC_SOFT_loopback device that renders only when asked
  // (RenderSamples), for deterministic checks without a sound device.
  // sampleRate in Hz (8000 to 192000), channels 1 or 2, 16-bit output.
  // Returns nullptr when the extension or the format is not available.
  static std::unique_ptr<OpenAlSoundBackend> CreateLoopback(uint32_t sampleRate, int channels);

  // Loopback only: mixes the next `frames` frames into out (frames x channels
  // interleaved signed 16-bit samples). False (out untouched) on a device
  // backend, without an engine or for frames outside 1 to 1 << 24.
  bool RenderSamples(int16_t* out, uint32_t frames);

  bool HasEngine() const override { return context_ != nullptr; }
  int32_t CreateSourceVoice(const WaveFormat& format, VoiceHandle* out) override;
  void DestroyVoice(VoiceHandle voice) override;
  int32_t Stop(VoiceHandle voice) override;
  int32_t FlushSourceBuffers(VoiceHandle voice) override;
  int32_t SubmitSourceBuffer(VoiceHandle voice, const uint8_t* data, uint32_t size,
                             uint32_t loopCount) override;
  int32_t Start(VoiceHandle voice) override;
  // The listener's gain; pausing holds the playing sources (alSourcePause)
  // and resumes only those still held.
  void SetMasterGain(float gain) override;
  void SetPaused(bool paused) override;

  // Voices made and not destroyed.
  size_t VoiceCount() const { return voices_.size(); }

  // How a voice's data reaches its AL buffer.
  enum class SampleType : uint8_t { U8, S16, S24, S32, F32, F64 };
  struct Layout {
    int alFormat = 0;  // AL buffer format
    SampleType in = SampleType::S16;
    SampleType out = SampleType::S16;  // U8, S16 or F32
    uint16_t inChannels = 0;
    uint16_t outChannels = 0;  // inChannels, or 2 for a downmix
    uint32_t rate = 0;
    uint16_t inBlock = 0;  // bytes per input frame
    bool Direct() const { return in == out && inChannels == outChannels; }
  };

 private:
  struct Voice {
    unsigned source = 0;
    unsigned buffer = 0;
    Layout layout;
  };
  struct LoopbackTag {};
  OpenAlSoundBackend(LoopbackTag, uint32_t sampleRate, int channels);

  void InitExtensions();
  bool MakeCurrent() const;
  Voice* Find(VoiceHandle h);
  bool ChooseLayout(const WaveFormat& format, Layout* layout) const;

  void* device_ = nullptr;   // ALCdevice*
  void* context_ = nullptr;  // ALCcontext*
  bool loopback_ = false;
  bool hasFloat32_ = false;
  bool hasMcFormats_ = false;
  void* renderSamples_ = nullptr;  // alcRenderSamplesSOFT
  int outChannels_ = 0;            // loopback output channels
  std::map<VoiceHandle, Voice> voices_;
  VoiceHandle next_ = 1;
  std::vector<uint8_t> scratch_;
  std::vector<unsigned>
      held_;  // sources paused by SetPaused(true)  // converted data before upload
};

}  // namespace tolvani
