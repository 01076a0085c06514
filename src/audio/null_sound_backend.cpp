#include "audio/null_sound_backend.h"

namespace tolvani {

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);         // E_FAIL
constexpr int32_t kInvalidCall = static_cast<int32_t>(0x88960001u);  // XAUDIO2_E_INVALID_CALL

}  // namespace

bool NullSoundBackend::FormatSupported(const WaveFormat& f) {
  const bool pcm = f.wFormatTag == 1 && (f.wBitsPerSample == 8 || f.wBitsPerSample == 16 ||
                                         f.wBitsPerSample == 24 || f.wBitsPerSample == 32);
  const bool ieeeFloat = f.wFormatTag == 3 && (f.wBitsPerSample == 32 || f.wBitsPerSample == 64);
  if (!pcm && !ieeeFloat) return false;
  if (f.nChannels < 1 || f.nChannels > 8) return false;
  if (f.nSamplesPerSec < 1 || f.nSamplesPerSec > 384000) return false;
  return f.nBlockAlign == f.nChannels * (f.wBitsPerSample / 8);
}

bool NullSoundBackend::ShouldFail(Op op) {
  const size_t i = static_cast<size_t>(op);
  const uint64_t n = ++calls_[i];
  if (failAlways_[i]) return true;
  for (const auto& [failOp, failN] : failAt_) {
    if (failOp == op && failN == n) return true;
  }
  return false;
}

NullSoundBackend::Voice* NullSoundBackend::Find(VoiceHandle h) {
  auto it = voices_.find(h);
  if (it == voices_.end()) {
    ++badHandles_;
    return nullptr;
  }
  return &it->second;
}

const NullSoundBackend::Voice* NullSoundBackend::FindVoice(VoiceHandle h) const {
  auto it = voices_.find(h);
  return it == voices_.end() ? nullptr : &it->second;
}

NullSoundBackend::VoiceState NullSoundBackend::StateOf(VoiceHandle h) const {
  const Voice* v = FindVoice(h);
  return v ? v->state : VoiceState::Stopped;
}

int32_t NullSoundBackend::CreateSourceVoice(const WaveFormat& format, VoiceHandle* out) {
  if (!out) return kFail;
  *out = 0;
  if (ShouldFail(Op::CreateSourceVoice)) return kFail;
  if (!hasEngine_) return kInvalidCall;
  if (!FormatSupported(format)) return kFail;
  Voice v;
  v.format = format;
  *out = next_++;
  voices_.emplace(*out, v);
  return kOk;
}

void NullSoundBackend::DestroyVoice(VoiceHandle voice) {
  auto it = voices_.find(voice);
  if (it == voices_.end()) {
    ++badHandles_;
    return;
  }
  voices_.erase(it);
  destroyed_.push_back(voice);
}

int32_t NullSoundBackend::Stop(VoiceHandle voice) {
  if (ShouldFail(Op::Stop)) return kFail;
  Voice* v = Find(voice);
  if (!v) return kInvalidCall;
  v->state = VoiceState::Stopped;
  return kOk;
}

int32_t NullSoundBackend::FlushSourceBuffers(VoiceHandle voice) {
  if (ShouldFail(Op::FlushSourceBuffers)) return kFail;
  Voice* v = Find(voice);
  if (!v) return kInvalidCall;
  v->queued = false;
  v->data = nullptr;
  v->dataSize = 0;
  v->loopCount = 0;
  return kOk;
}

int32_t NullSoundBackend::SubmitSourceBuffer(VoiceHandle voice, const uint8_t* data, uint32_t size,
                                             uint32_t loopCount) {
  if (ShouldFail(Op::SubmitSourceBuffer)) return kFail;
  Voice* v = Find(voice);
  if (!v) return kInvalidCall;
  if (size > 0 && !data) return kFail;
  v->queued = true;
  v->data = data;
  v->dataSize = size;
  v->loopCount = loopCount;
  return kOk;
}

int32_t NullSoundBackend::Start(VoiceHandle voice) {
  if (ShouldFail(Op::Start)) return kFail;
  Voice* v = Find(voice);
  if (!v) return kInvalidCall;
  v->state = v->queued && v->loopCount == kLoopInfinite ? VoiceState::Looping : VoiceState::Playing;
  ++v->starts;
  plays_.push_back({voice, v->queued ? v->loopCount : 0, v->queued ? v->dataSize : 0});
  return kOk;
}

void NullSoundBackend::SetMasterGain(float gain) {
  masterGain_ = gain > 0.0f ? (gain < 1.0f ? gain : 1.0f) : 0.0f;  // NaN gives 0
}

void NullSoundBackend::SetPaused(bool paused) {
  paused_ = paused;
}

}  // namespace tolvani
