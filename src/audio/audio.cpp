#include "audio/audio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/platform_services.h"
#include "base/text_conversion.h"
#include "model/archive.h"

namespace tolvani {

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFalse = 1;  // S_FALSE: nothing was done
constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);

// Smallest stored CWavData: size, an empty string (one length byte), the
// seven format fields.
constexpr size_t kMinStoredWavBytes = 4 + 1 + 2 + 4 + 2 + 2 + 4 + 2 + 2;

// Float samples as the mixer must see them: NaN becomes silence, infinities
// and values beyond full scale are clamped to +-1. Other formats are left
// as they are (integer samples cannot leave their range).
template <typename T>
void CleanFloatSamples(std::vector<uint8_t>& bytes) {
  const size_t n = bytes.size() / sizeof(T);
  uint8_t* p = bytes.data();
  for (size_t i = 0; i < n; ++i, p += sizeof(T)) {
    T v;
    std::memcpy(&v, p, sizeof v);
    const T clean = std::isnan(v) ? T(0) : std::clamp(v, T(-1), T(1));
    if (std::memcmp(&clean, &v, sizeof v) != 0) std::memcpy(p, &clean, sizeof clean);
  }
}

constexpr uint16_t kFormatIeeeFloat = 3;

void CleanSamples(CWavData& sound) {
  if (!sound.data || sound.format.wFormatTag != kFormatIeeeFloat) return;
  if (sound.format.wBitsPerSample == 32) CleanFloatSamples<float>(*sound.data);
  if (sound.format.wBitsPerSample == 64) CleanFloatSamples<double>(*sound.data);
}

}  // namespace

void CWavData::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    const int32_t stored = std::max<int32_t>(size, 0);
    ar.WriteInt32(stored);
    ar.WriteString(name);
    ar.WriteUInt16(format.cbSize);
    ar.WriteUInt32(format.nAvgBytesPerSec);
    ar.WriteUInt16(format.nBlockAlign);
    ar.WriteUInt16(format.nChannels);
    ar.WriteUInt32(format.nSamplesPerSec);
    ar.WriteUInt16(format.wBitsPerSample);
    ar.WriteUInt16(format.wFormatTag);
    // The sample bytes; a missing or short array is padded with silence so
    // the stream stays readable.
    const size_t have = data ? std::min<size_t>(data->size(), static_cast<size_t>(stored)) : 0;
    if (have > 0) ar.WriteBytes(data->data(), have);
    for (size_t i = have; i < static_cast<size_t>(stored); ++i) ar.WriteByte(0);
    return;
  }
  size = ar.ReadInt32();
  name = ar.ReadString();
  format.cbSize = ar.ReadUInt16();
  format.nAvgBytesPerSec = ar.ReadUInt32();
  format.nBlockAlign = ar.ReadUInt16();
  format.nChannels = ar.ReadUInt16();
  format.nSamplesPerSec = ar.ReadUInt32();
  format.wBitsPerSample = ar.ReadUInt16();
  format.wFormatTag = ar.ReadUInt16();
  // A negative size, or more bytes than the stream still holds, ends the
  // load before anything is allocated.
  if (size < 0) throw ArchiveError(ArchiveCause::endOfFile);
  ar.RequireRemaining(static_cast<uint64_t>(size), 1);
  // Grown in cache-sized steps: each step's zero fill is overwritten while
  // still in cache, instead of zeroing the whole array in memory first.
  auto bytes = std::make_shared<std::vector<uint8_t>>();
  const size_t total = static_cast<size_t>(size);
  bytes->reserve(total);
  constexpr size_t kStep = size_t{256} << 10;
  for (size_t at = 0; at < total;) {
    const size_t step = std::min(kStep, total - at);
    bytes->resize(at + step);
    ar.ReadBytes(bytes->data() + at, step);
    at += step;
  }
  data = std::move(bytes);
}

CAudio::CAudio(std::unique_ptr<ISoundBackend> backend) : backend_(std::move(backend)) {}

CAudio::~CAudio() {
  ReleaseVoices();
  backend_.reset();  // output voice and engine
  sounds.clear();
}

void CAudio::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    // The last entry is the in-memory stop entry.
    const size_t n = sounds.empty() ? 0 : sounds.size() - 1;
    ar.WriteInt32(static_cast<int32_t>(n));
    for (size_t i = 0; i < n; ++i) sounds[i].Serialize(ar);
    return;
  }
  const int32_t n = ar.ReadCount(kMinStoredWavBytes);
  // Entries that go must not leave a voice reading their data.
  for (size_t i = static_cast<size_t>(n); i < sounds.size(); ++i) {
    if (sounds[i].voice != 0 && backend_) backend_->DestroyVoice(sounds[i].voice);
    sounds[i].voice = 0;
  }
  sounds.resize(static_cast<size_t>(n));
  for (CWavData& sound : sounds) sound.Serialize(ar);
}

int32_t CAudio::PrepareVoices() {
  if (!backend_ || !backend_->HasEngine()) return kFalse;
  for (CWavData& sound : sounds) {
    VoiceHandle voice = 0;
    const int32_t hr = backend_->CreateSourceVoice(sound.format, &voice);
    if (hr < 0) {
      Platform().Diagnostic("audio", u"Error creating source voice\n");
      sound.voice = 0;
      sound.data.reset();
      return hr;
    }
    // Once per load: one bad sample must not poison the whole mix.
    CleanSamples(sound);
    sound.voice = voice;
  }
  sounds.emplace_back(kStopSoundName);
  names_.Build(sounds);  // names are folded once per load, not per request
  return kOk;
}

int32_t CAudio::Play(const std::u16string& name, bool loop) {
  const int32_t result = PlayRequest(name, loop);
  if (onPlay) onPlay(name, loop, result);
  return result;
}

int32_t CAudio::PlayRequest(const std::u16string& name, bool loop) {
  if (sounds.empty()) return kFail;
  if (name == kStopSoundName) {
    // Every entry but the last, which is the stop entry itself.
    for (size_t i = 0; i + 1 < sounds.size(); ++i) {
      if (sounds[i].voice != 0 && backend_) backend_->Stop(sounds[i].voice);
    }
    return kOk;
  }
  if (!names_.Covers(sounds)) names_.Build(sounds);
  const size_t i = names_.Find(sounds, name);
  if (i == SoundNameIndex::kNone) return kFail;
  const VoiceHandle voice = sounds[i].voice;
  if (voice == 0 || !backend_) return kFail;
  backend_->Stop(voice);
  const int32_t hr = SubmitBuffer(i, loop ? kLoopInfinite : 0);
  if (hr < 0) return hr;
  return backend_->Start(voice);
}

int32_t CAudio::SubmitBuffer(size_t index, uint32_t loopCount) {
  if (index >= sounds.size() || !backend_) return kFail;
  CWavData& sound = sounds[index];
  if (sound.voice == 0) return kFail;
  backend_->FlushSourceBuffers(sound.voice);
  // Never hand out more bytes than the array holds.
  const size_t held = sound.data ? sound.data->size() : 0;
  const uint32_t bytes =
      static_cast<uint32_t>(std::min<size_t>(held, static_cast<size_t>(std::max(sound.size, 0))));
  const int32_t hr = backend_->SubmitSourceBuffer(
      sound.voice, sound.data ? sound.data->data() : nullptr, bytes, loopCount);
  if (hr < 0) {
    char text[64];
    std::snprintf(text, sizeof text, "Error %#X submitting source buffer\n",
                  static_cast<unsigned>(hr));
    Platform().Warning("audio", FromUtf8(text));
    backend_->DestroyVoice(sound.voice);
    sound.voice = 0;
    sound.data.reset();
  }
  return hr;
}

void CAudio::ReleaseVoices() {
  // Voices first: the engine may still read the data until its voice is gone.
  for (CWavData& sound : sounds) {
    if (sound.voice != 0 && backend_) backend_->DestroyVoice(sound.voice);
    sound.voice = 0;
  }
  for (CWavData& sound : sounds) sound.data.reset();
}

}  // namespace tolvani
