#include "web/web_audio_backend.h"

#include "audio/null_sound_backend.h"

// The page's side (web_audio_backend.js). Voices are named by the backend's
// id and the voice handle; pointers and sizes are wasm addresses and bytes.
extern "C" {
int tolvani_audio_open();
void tolvani_audio_close(int backend);
void tolvani_audio_destroy(int backend, uint32_t voice);
// 0: done; 1: the voice is playing; 2: the browser refused the buffer.
int tolvani_audio_submit(int backend, uint32_t voice, const uint8_t* data, uint32_t frames,
                         int channels, int sampleType, uint32_t rate, int loop);
void tolvani_audio_flush(int backend, uint32_t voice);
void tolvani_audio_start(int backend, uint32_t voice);
void tolvani_audio_stop(int backend, uint32_t voice);
void tolvani_audio_gain(int backend, float gain);
void tolvani_audio_pause(int backend, int paused);
}

namespace tolvani::web {

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);         // E_FAIL
constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000Eu);  // E_OUTOFMEMORY
constexpr int32_t kInvalidCall = static_cast<int32_t>(0x88960001u);  // XAUDIO2_E_INVALID_CALL

// The page's answers to tolvani_audio_submit.
constexpr int kSubmitDone = 0;
constexpr int kSubmitPlaying = 1;

using SampleType = WebAudioBackend::SampleType;

SampleType TypeOf(const WaveFormat& f) {
  if (f.wFormatTag == 3) return f.wBitsPerSample == 32 ? SampleType::kF32 : SampleType::kF64;
  switch (f.wBitsPerSample) {
    case 8:
      return SampleType::kU8;
    case 16:
      return SampleType::kS16;
    case 24:
      return SampleType::kS24;
    default:
      return SampleType::kS32;
  }
}

}  // namespace

WebAudioBackend::WebAudioBackend() : id_(tolvani_audio_open()) {}

WebAudioBackend::~WebAudioBackend() {
  if (id_ != 0) tolvani_audio_close(id_);
}

int32_t WebAudioBackend::CreateSourceVoice(const WaveFormat& format, VoiceHandle* out) {
  if (!out) return kFail;
  *out = 0;
  if (id_ == 0) return kInvalidCall;
  if (!NullSoundBackend::FormatSupported(format)) return kFail;
  Voice v;
  v.type = TypeOf(format);
  v.channels = format.nChannels;
  v.blockAlign = format.nBlockAlign;
  v.rate = format.nSamplesPerSec;
  *out = next_++;
  if (next_ == 0) next_ = 1;
  voices_.emplace(*out, v);
  return kOk;
}

void WebAudioBackend::DestroyVoice(VoiceHandle voice) {
  auto it = voices_.find(voice);
  if (it == voices_.end()) return;
  tolvani_audio_destroy(id_, voice);
  voices_.erase(it);
}

int32_t WebAudioBackend::Stop(VoiceHandle voice) {
  if (!voices_.contains(voice)) return kInvalidCall;
  tolvani_audio_stop(id_, voice);
  return kOk;
}

int32_t WebAudioBackend::FlushSourceBuffers(VoiceHandle voice) {
  if (!voices_.contains(voice)) return kInvalidCall;
  tolvani_audio_flush(id_, voice);
  return kOk;
}

int32_t WebAudioBackend::SubmitSourceBuffer(VoiceHandle voice, const uint8_t* data, uint32_t size,
                                            uint32_t loopCount) {
  auto it = voices_.find(voice);
  if (it == voices_.end()) return kInvalidCall;
  const Voice& v = it->second;
  // Whole blocks only: the page reads frames x blockAlign bytes, never more.
  const uint32_t frames = size / v.blockAlign;
  if (frames == 0 || !data) return kFail;
  const int result =
      tolvani_audio_submit(id_, voice, data, frames, v.channels, static_cast<int>(v.type), v.rate,
                           loopCount == kLoopInfinite ? 1 : 0);
  if (result == kSubmitDone) return kOk;
  return result == kSubmitPlaying ? kInvalidCall : kOutOfMemory;
}

int32_t WebAudioBackend::Start(VoiceHandle voice) {
  if (!voices_.contains(voice)) return kInvalidCall;
  tolvani_audio_start(id_, voice);
  return kOk;
}

void WebAudioBackend::SetMasterGain(float gain) {
  if (id_ == 0) return;
  const float clamped = gain > 0.0f ? (gain < 1.0f ? gain : 1.0f) : 0.0f;  // NaN gives 0
  tolvani_audio_gain(id_, clamped);
}

void WebAudioBackend::SetPaused(bool paused) {
  if (id_ != 0) tolvani_audio_pause(id_, paused ? 1 : 0);
}

}  // namespace tolvani::web
