#include "audio/openal/openal_sound_backend.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "audio/null_sound_backend.h"
#include "base/platform_services.h"
#include "base/text_conversion.h"

namespace tolvani {

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);         // E_FAIL
constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000Eu);  // E_OUTOFMEMORY
constexpr int32_t kInvalidCall = static_cast<int32_t>(0x88960001u);  // XAUDIO2_E_INVALID_CALL

using SampleType = OpenAlSoundBackend::SampleType;

ALCdevice* Dev(void* p) {
  return static_cast<ALCdevice*>(p);
}
ALCcontext* Ctx(void* p) {
  return static_cast<ALCcontext*>(p);
}

// Clears the pending error so that the next check sees only what follows.
void ClearAlError() {
  (void)alGetError();
}

int32_t AlResult() {
  switch (alGetError()) {
    case AL_NO_ERROR:
      return kOk;
    case AL_OUT_OF_MEMORY:
      return kOutOfMemory;
    default:
      return kFail;
  }
}

// The engine's failure texts, with the result code as %#X: warnings.
void WarnResult(const char* format, int32_t hr) {
  char text[96];
  std::snprintf(text, sizeof text, format, static_cast<unsigned>(hr));
  Platform().Warning("audio", FromUtf8(text));
}

uint16_t BytesOf(SampleType t) {
  switch (t) {
    case SampleType::U8:
      return 1;
    case SampleType::S16:
      return 2;
    case SampleType::S24:
      return 3;
    case SampleType::S32:
    case SampleType::F32:
      return 4;
    case SampleType::F64:
      return 8;
  }
  return 0;
}

// AL buffer format for an output sample type and channel count; 0 when none.
ALenum AlFormat(SampleType t, uint16_t channels, bool mcFormats) {
  static constexpr ALenum kU8[] = {
      AL_FORMAT_MONO8,  AL_FORMAT_STEREO8, 0, AL_FORMAT_QUAD8, 0, AL_FORMAT_51CHN8,
      AL_FORMAT_61CHN8, AL_FORMAT_71CHN8};
  static constexpr ALenum kS16[] = {
      AL_FORMAT_MONO16,  AL_FORMAT_STEREO16, 0, AL_FORMAT_QUAD16, 0, AL_FORMAT_51CHN16,
      AL_FORMAT_61CHN16, AL_FORMAT_71CHN16};
  static constexpr ALenum kF32[] = {
      AL_FORMAT_MONO_FLOAT32, AL_FORMAT_STEREO_FLOAT32, 0, AL_FORMAT_QUAD32, 0, AL_FORMAT_51CHN32,
      AL_FORMAT_61CHN32,      AL_FORMAT_71CHN32};
  if (channels < 1 || channels > 8) return 0;
  if (channels > 2 && !mcFormats) return 0;
  const size_t i = channels - 1u;
  switch (t) {
    case SampleType::U8:
      return kU8[i];
    case SampleType::S16:
      return kS16[i];
    case SampleType::F32:
      return kF32[i];
    default:
      return 0;
  }
}

// Left and right weights of each input channel in the stereo downmix, in the
// WAVE channel order for that count (centre at -3 dB, LFE left out).
struct Weights {
  float l, r;
};
constexpr float kH = 0.70710678f;
const Weights* DownmixWeights(uint16_t channels) {
  static const Weights k3[] = {{1, 0}, {0, 1}, {kH, kH}};                            // FL FR FC
  static const Weights k4[] = {{1, 0}, {0, 1}, {kH, 0}, {0, kH}};                    // FL FR BL BR
  static const Weights k5[] = {{1, 0}, {0, 1}, {kH, kH}, {kH, 0}, {0, kH}};          // + BL BR
  static const Weights k6[] = {{1, 0}, {0, 1}, {kH, kH}, {0, 0}, {kH, 0}, {0, kH}};  // 5.1
  static const Weights k7[] = {{1, 0},       {0, 1},  {kH, kH}, {0, 0},
                               {0.5f, 0.5f}, {kH, 0}, {0, kH}};  // 6.1: BC SL SR
  static const Weights k8[] = {{1, 0},  {0, 1},  {kH, kH}, {0, 0},
                               {kH, 0}, {0, kH}, {kH, 0},  {0, kH}};  // 7.1
  switch (channels) {
    case 3:
      return k3;
    case 4:
      return k4;
    case 5:
      return k5;
    case 6:
      return k6;
    case 7:
      return k7;
    case 8:
      return k8;
    default:
      return nullptr;
  }
}

// One input sample as a float, full scale at 1.
float Decode(const uint8_t* p, SampleType t) {
  switch (t) {
    case SampleType::U8:
      return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
    case SampleType::S16: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return static_cast<float>(v) / 32768.0f;
    }
    case SampleType::S24: {
      const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 |
                                             static_cast<uint32_t>(p[1]) << 16 |
                                             static_cast<uint32_t>(p[2]) << 24) >>
                        8;
      return static_cast<float>(v) / 8388608.0f;
    }
    case SampleType::S32: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return static_cast<float>(static_cast<double>(v) / 2147483648.0);
    }
    case SampleType::F32: {
      float v;
      std::memcpy(&v, p, 4);
      return std::isfinite(v) ? v : 0.0f;
    }
    case SampleType::F64: {
      double v;
      std::memcpy(&v, p, 8);
      if (!std::isfinite(v)) return 0.0f;
      return static_cast<float>(std::clamp(v, -1e30, 1e30));
    }
  }
  return 0.0f;
}

void Encode(float v, SampleType t, uint8_t* p) {
  if (t == SampleType::F32) {
    std::memcpy(p, &v, 4);
    return;
  }
  // S16 (the only other conversion target).
  const float c = std::clamp(v, -1.0f, 1.0f);
  const int16_t s = static_cast<int16_t>(std::lrint(c * 32767.0f));
  std::memcpy(p, &s, 2);
}

}  // namespace

OpenAlSoundBackend::OpenAlSoundBackend() {
  ALCdevice* device = alcOpenDevice(nullptr);
  if (!device) {
    WarnResult("Failed to init XAudio2 engine: %#X\n", kFail);
    return;
  }
  ALCcontext* context = alcCreateContext(device, nullptr);
  if (!context) {
    WarnResult("Failed creating mastering voice: %#X\n", kFail);
    alcCloseDevice(device);
    return;
  }
  device_ = device;
  context_ = context;
  InitExtensions();
}

OpenAlSoundBackend::OpenAlSoundBackend(LoopbackTag, uint32_t sampleRate, int channels) {
  if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return;
  auto openLoopback = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
      alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
  auto isSupported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
      alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
  void* render = reinterpret_cast<void*>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
  if (!openLoopback || !isSupported || !render) return;
  ALCdevice* device = openLoopback(nullptr);
  if (!device) return;
  const ALCenum layout = channels == 1 ? ALC_MONO_SOFT : ALC_STEREO_SOFT;
  if (!isSupported(device, static_cast<ALCsizei>(sampleRate), layout, ALC_SHORT_SOFT)) {
    alcCloseDevice(device);
    return;
  }
  const ALCint attrs[] = {ALC_FREQUENCY,
                          static_cast<ALCint>(sampleRate),
                          ALC_FORMAT_CHANNELS_SOFT,
                          layout,
                          ALC_FORMAT_TYPE_SOFT,
                          ALC_SHORT_SOFT,
                          0};
  ALCcontext* context = alcCreateContext(device, attrs);
  if (!context) {
    alcCloseDevice(device);
    return;
  }
  device_ = device;
  context_ = context;
  loopback_ = true;
  renderSamples_ = render;
  outChannels_ = channels;
  InitExtensions();
}

std::unique_ptr<OpenAlSoundBackend> OpenAlSoundBackend::CreateLoopback(uint32_t sampleRate,
                                                                       int channels) {
  if (channels != 1 && channels != 2) return nullptr;
  if (sampleRate < 8000 || sampleRate > 192000) return nullptr;
  std::unique_ptr<OpenAlSoundBackend> backend(
      new OpenAlSoundBackend(LoopbackTag{}, sampleRate, channels));
  if (!backend->HasEngine()) return nullptr;
  return backend;
}

OpenAlSoundBackend::~OpenAlSoundBackend() {
  if (!context_) return;
  MakeCurrent();
  for (auto& [handle, voice] : voices_) {
    alSourceStop(voice.source);
    alDeleteSources(1, &voice.source);
    alDeleteBuffers(1, &voice.buffer);
  }
  voices_.clear();
  if (alcGetCurrentContext() == Ctx(context_)) alcMakeContextCurrent(nullptr);
  alcDestroyContext(Ctx(context_));
  alcCloseDevice(Dev(device_));
  context_ = nullptr;
  device_ = nullptr;
}

void OpenAlSoundBackend::InitExtensions() {
  if (!MakeCurrent()) return;
  hasFloat32_ = alIsExtensionPresent("AL_EXT_FLOAT32") == AL_TRUE;
  hasMcFormats_ = alIsExtensionPresent("AL_EXT_MCFORMATS") == AL_TRUE;
  ClearAlError();
}

bool OpenAlSoundBackend::MakeCurrent() const {
  if (!context_) return false;
  if (alcGetCurrentContext() == Ctx(context_)) return true;
  return alcMakeContextCurrent(Ctx(context_)) == ALC_TRUE;
}

OpenAlSoundBackend::Voice* OpenAlSoundBackend::Find(VoiceHandle h) {
  auto it = voices_.find(h);
  return it == voices_.end() ? nullptr : &it->second;
}

bool OpenAlSoundBackend::ChooseLayout(const WaveFormat& f, Layout* layout) const {
  if (!NullSoundBackend::FormatSupported(f)) return false;
  Layout l;
  if (f.wFormatTag == 3) {
    l.in = f.wBitsPerSample == 32 ? SampleType::F32 : SampleType::F64;
  } else {
    l.in = f.wBitsPerSample == 8    ? SampleType::U8
           : f.wBitsPerSample == 16 ? SampleType::S16
           : f.wBitsPerSample == 24 ? SampleType::S24
                                    : SampleType::S32;
  }
  l.inChannels = f.nChannels;
  l.inBlock = f.nBlockAlign;
  l.rate = f.nSamplesPerSec;
  // Channels: as stored when AL has a layout for them, else a stereo downmix.
  const bool direct =
      l.in == SampleType::U8 || l.in == SampleType::S16 || (l.in == SampleType::F32 && hasFloat32_);
  const SampleType probe = direct ? l.in : (hasFloat32_ ? SampleType::F32 : SampleType::S16);
  l.outChannels = AlFormat(probe, f.nChannels, hasMcFormats_) != 0 ? f.nChannels : 2;
  if (direct && l.outChannels == l.inChannels) {
    l.out = l.in;
  } else if (l.in == SampleType::U8 || l.in == SampleType::S16) {
    l.out = SampleType::S16;  // a downmix of integer data
  } else {
    l.out = hasFloat32_ ? SampleType::F32 : SampleType::S16;
  }
  l.alFormat = AlFormat(l.out, l.outChannels, hasMcFormats_);
  if (l.alFormat == 0) return false;
  *layout = l;
  return true;
}

int32_t OpenAlSoundBackend::CreateSourceVoice(const WaveFormat& format, VoiceHandle* out) {
  if (!out) return kFail;
  *out = 0;
  if (!MakeCurrent()) return kInvalidCall;
  Voice v;
  if (!ChooseLayout(format, &v.layout)) return kFail;
  ClearAlError();
  alGenSources(1, &v.source);
  if (int32_t hr = AlResult(); hr < 0) return hr;
  alGenBuffers(1, &v.buffer);
  if (int32_t hr = AlResult(); hr < 0) {
    alDeleteSources(1, &v.source);
    ClearAlError();
    return hr;
  }
  // Plain playback: at the listener, no distance attenuation. Multichannel
  // data keeps AL's virtual speaker panning (not AL_SOFT_direct_channels,
  // which drops channels the output lacks, e.g. both of stereo on mono).
  alSourcei(v.source, AL_SOURCE_RELATIVE, AL_TRUE);
  alSource3f(v.source, AL_POSITION, 0.0f, 0.0f, 0.0f);
  alSourcef(v.source, AL_ROLLOFF_FACTOR, 0.0f);
  if (int32_t hr = AlResult(); hr < 0) {
    alDeleteSources(1, &v.source);
    alDeleteBuffers(1, &v.buffer);
    ClearAlError();
    return hr;
  }
  *out = next_++;
  if (next_ == 0) next_ = 1;
  voices_.emplace(*out, v);
  return kOk;
}

void OpenAlSoundBackend::DestroyVoice(VoiceHandle voice) {
  auto it = voices_.find(voice);
  if (it == voices_.end() || !MakeCurrent()) return;
  // The source first: it holds the buffer.
  std::erase(held_, it->second.source);
  alSourceStop(it->second.source);
  alDeleteSources(1, &it->second.source);
  alDeleteBuffers(1, &it->second.buffer);
  ClearAlError();
  voices_.erase(it);
}

int32_t OpenAlSoundBackend::Stop(VoiceHandle voice) {
  Voice* v = Find(voice);
  if (!v || !MakeCurrent()) return kInvalidCall;
  ClearAlError();
  alSourceStop(v->source);
  return AlResult();
}

int32_t OpenAlSoundBackend::FlushSourceBuffers(VoiceHandle voice) {
  Voice* v = Find(voice);
  if (!v || !MakeCurrent()) return kInvalidCall;
  ClearAlError();
  ALint state = AL_INITIAL;
  alGetSourcei(v->source, AL_SOURCE_STATE, &state);
  // A playing source keeps its current data (AL cannot detach it then).
  if (state == AL_PLAYING || state == AL_PAUSED) return AlResult();
  alSourcei(v->source, AL_BUFFER, 0);
  return AlResult();
}

int32_t OpenAlSoundBackend::SubmitSourceBuffer(VoiceHandle voice, const uint8_t* data,
                                               uint32_t size, uint32_t loopCount) {
  Voice* v = Find(voice);
  if (!v || !MakeCurrent()) return kInvalidCall;
  const Layout& l = v->layout;
  const uint32_t frames = size / l.inBlock;
  if (frames == 0 || !data) return kFail;
  ClearAlError();
  ALint state = AL_INITIAL;
  alGetSourcei(v->source, AL_SOURCE_STATE, &state);
  if (state == AL_PLAYING || state == AL_PAUSED) return kInvalidCall;
  // The buffer cannot be refilled while a source holds it.
  alSourcei(v->source, AL_BUFFER, 0);
  if (int32_t hr = AlResult(); hr < 0) return hr;

  const uint8_t* upload = data;
  uint64_t bytes = static_cast<uint64_t>(frames) * l.inBlock;
  if (!l.Direct()) {
    const uint16_t outBytes = BytesOf(l.out);
    bytes = static_cast<uint64_t>(frames) * l.outChannels * outBytes;
    if (bytes > static_cast<uint64_t>(INT_MAX)) return kOutOfMemory;
    scratch_.assign(static_cast<size_t>(bytes), 0);
    const uint16_t inBytes = BytesOf(l.in);
    const Weights* w = l.outChannels == l.inChannels ? nullptr : DownmixWeights(l.inChannels);
    uint8_t* dst = scratch_.data();
    for (uint32_t i = 0; i < frames; ++i) {
      const uint8_t* src = data + static_cast<size_t>(i) * l.inBlock;
      if (w) {
        float left = 0.0f;
        float right = 0.0f;
        for (uint16_t c = 0; c < l.inChannels; ++c) {
          const float s = Decode(src + static_cast<size_t>(c) * inBytes, l.in);
          left += w[c].l * s;
          right += w[c].r * s;
        }
        Encode(left, l.out, dst);
        Encode(right, l.out, dst + outBytes);
        dst += 2u * outBytes;
      } else {
        for (uint16_t c = 0; c < l.inChannels; ++c) {
          Encode(Decode(src + static_cast<size_t>(c) * inBytes, l.in), l.out, dst);
          dst += outBytes;
        }
      }
    }
    upload = scratch_.data();
  }
  if (bytes > static_cast<uint64_t>(INT_MAX)) return kOutOfMemory;
  alBufferData(v->buffer, l.alFormat, upload, static_cast<ALsizei>(bytes),
               static_cast<ALsizei>(l.rate));
  int32_t hr = AlResult();
  if (upload != data) {
    scratch_.clear();
    scratch_.shrink_to_fit();
  }
  if (hr < 0) return hr;
  alSourcei(v->source, AL_BUFFER, static_cast<ALint>(v->buffer));
  alSourcei(v->source, AL_LOOPING, loopCount == kLoopInfinite ? AL_TRUE : AL_FALSE);
  return AlResult();
}

int32_t OpenAlSoundBackend::Start(VoiceHandle voice) {
  Voice* v = Find(voice);
  if (!v || !MakeCurrent()) return kInvalidCall;
  ClearAlError();
  alSourcePlay(v->source);
  return AlResult();
}

void OpenAlSoundBackend::SetMasterGain(float gain) {
  if (!MakeCurrent()) return;
  const float clamped = gain > 0.0f ? (gain < 1.0f ? gain : 1.0f) : 0.0f;  // NaN gives 0
  alListenerf(AL_GAIN, clamped);
}

void OpenAlSoundBackend::SetPaused(bool paused) {
  if (!MakeCurrent()) return;
  if (paused) {
    for (const auto& [handle, voice] : voices_) {
      ALint state = 0;
      alGetSourcei(voice.source, AL_SOURCE_STATE, &state);
      if (state != AL_PLAYING) continue;
      alSourcePause(voice.source);
      held_.push_back(voice.source);
    }
    return;
  }
  for (unsigned source : held_) {
    // Only a source still held resumes; one stopped or destroyed stays so.
    if (!alIsSource(source)) continue;
    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    if (state == AL_PAUSED) alSourcePlay(source);
  }
  held_.clear();
}

bool OpenAlSoundBackend::RenderSamples(int16_t* out, uint32_t frames) {
  if (!loopback_ || !out || frames == 0 || frames > (1u << 24) || !MakeCurrent()) return false;
  auto render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(renderSamples_);
  render(Dev(device_), out, static_cast<ALCsizei>(frames));
  return true;
}

}  // namespace tolvani
