// CWavData (one stored sound) and CAudio (the sound container: the sounds
// and the backend that plays them, one voice per sound).
//
// CAudio stored order: N; N x CWavData (the in-memory stop entry "停止" is
// not written: N = sounds - 1 when storing).
// CWavData stored order: size; name; cbSize; nAvgBytesPerSec; nBlockAlign;
// nChannels; nSamplesPerSec; wBitsPerSample; wFormatTag; size bytes of data.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/sound_name_index.h"
#include "base/sound_backend.h"

namespace tolvani {

class CArchive;

inline constexpr char16_t kStopSoundName[] = u"停止";

struct CWavData {
  CWavData() = default;
  explicit CWavData(std::u16string n) : name(std::move(n)) {}
  WaveFormat format;
  std::u16string name;
  // Sample bytes; owned by the container (freed by ReleaseVoices), shared by copies.
  std::shared_ptr<std::vector<uint8_t>> data;
  int32_t size = 0;
  VoiceHandle voice = 0;
  void Serialize(CArchive& ar);
};

class CAudio {
 public:
  // Takes the backend (engine and output already set up, or not).
  explicit CAudio(std::unique_ptr<ISoundBackend> backend);
  ~CAudio();  // ReleaseVoices, then the backend goes
  CAudio(const CAudio&) = delete;
  CAudio& operator=(const CAudio&) = delete;

  std::vector<CWavData> sounds;

  void Serialize(CArchive& ar);
  // One voice per sound, then the stop entry. Without an engine: nothing.
  // Float samples of each sound given a voice are cleaned first: NaN to 0,
  // infinities and values beyond +-1 clamped.
  int32_t PrepareVoices();
  // Plays name (A-Z case folded, first match) once or looping; "停止" stops all.
  // Every request, whatever its name, is then reported to onPlay (if set)
  // with its result. Names are looked up through an index built when the
  // voices are prepared, or at the first request after `sounds` was
  // replaced or resized (a name edited in place is not seen until then).
  int32_t Play(const std::u16string& name, bool loop);
  std::function<void(const std::u16string& name, bool loop, int32_t result)> onPlay;
  int32_t SubmitBuffer(size_t index, uint32_t loopCount);
  // Destroys every voice, then frees every data array. The list stays.
  void ReleaseVoices();

  ISoundBackend* backend() { return backend_.get(); }

 private:
  int32_t PlayRequest(const std::u16string& name, bool loop);

  std::unique_ptr<ISoundBackend> backend_;
  SoundNameIndex names_;
};

}  // namespace tolvani
