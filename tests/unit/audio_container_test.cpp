// The sound container: stored form, voices, play by name, stop-all,
// submission failures and teardown order, on the null backend.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>

#include "audio/audio.h"
#include "audio/null_sound_backend.h"
#include "model/archive.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using testing::PcmFormat;
using VoiceState = NullSoundBackend::VoiceState;
using Op = NullSoundBackend::Op;

CWavData Sound(const std::u16string& name, std::vector<uint8_t> bytes) {
  CWavData w;
  w.name = name;
  w.format = PcmFormat(1, 8000, 8);
  w.size = static_cast<int32_t>(bytes.size());
  w.data = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
  return w;
}

struct Container {
  explicit Container(std::vector<CWavData> sounds, bool engine = true) {
    auto b = std::make_unique<NullSoundBackend>(engine);
    backend = b.get();
    audio = std::make_unique<CAudio>(std::move(b));
    audio->sounds = std::move(sounds);
  }
  NullSoundBackend* backend;
  std::unique_ptr<CAudio> audio;
  VoiceState State(size_t i) const { return backend->StateOf(audio->sounds[i].voice); }
};

std::vector<uint8_t> Store(CAudio& audio) {
  std::vector<uint8_t> bytes;
  CArchive ar(bytes);
  audio.Serialize(ar);
  return bytes;
}

TEST(AudioStoredForm, FieldsInStoredOrderAndStopEntryLeftOut) {
  // size, name, cbSize, nAvgBytesPerSec, nBlockAlign, nChannels,
  // nSamplesPerSec, wBitsPerSample, wFormatTag, data.
  std::vector<uint8_t> bytes;
  {
    CArchive ar(bytes);
    ar.WriteInt32(1);
    ar.WriteInt32(3);
    ar.WriteString(u"ping");
    ar.WriteUInt16(11);
    ar.WriteUInt32(22);
    ar.WriteUInt16(33);
    ar.WriteUInt16(44);
    ar.WriteUInt32(55);
    ar.WriteUInt16(66);
    ar.WriteUInt16(77);
    ar.WriteBytes("\x01\x02\x03", 3);
  }
  Container c(
      {Sound(u"a", {1}), Sound(u"b", {2}), Sound(u"c", {3}), Sound(u"d", {4}), Sound(u"e", {5})});
  c.audio->ReleaseVoices();
  CArchive in(bytes.data(), bytes.size());
  c.audio->Serialize(in);
  ASSERT_EQ(c.audio->sounds.size(), 1u);  // cut from 5 to 1
  const CWavData& w = c.audio->sounds[0];
  EXPECT_EQ(w.name, u"ping");
  EXPECT_EQ(w.size, 3);
  EXPECT_EQ(w.format.cbSize, 11);
  EXPECT_EQ(w.format.nAvgBytesPerSec, 22u);
  EXPECT_EQ(w.format.nBlockAlign, 33);
  EXPECT_EQ(w.format.nChannels, 44);
  EXPECT_EQ(w.format.nSamplesPerSec, 55u);
  EXPECT_EQ(w.format.wBitsPerSample, 66);
  EXPECT_EQ(w.format.wFormatTag, 77);
  ASSERT_TRUE(w.data);
  EXPECT_EQ(*w.data, (std::vector<uint8_t>{1, 2, 3}));

  // Storing writes every entry but the last (the stop entry) and reads back.
  Container d({Sound(u"x", {9, 8}), Sound(u"y", {}), CWavData(kStopSoundName)});
  const std::vector<uint8_t> stored = Store(*d.audio);
  Container e({});
  CArchive back(stored.data(), stored.size());
  e.audio->Serialize(back);
  ASSERT_EQ(e.audio->sounds.size(), 2u);
  EXPECT_EQ(e.audio->sounds[0].name, u"x");
  EXPECT_EQ(*e.audio->sounds[0].data, (std::vector<uint8_t>{9, 8}));
  EXPECT_EQ(e.audio->sounds[1].size, 0);
  ASSERT_TRUE(e.audio->sounds[1].data);
  EXPECT_TRUE(e.audio->sounds[1].data->empty());
  EXPECT_EQ(back.Remaining(), 0u);
}

TEST(AudioStoredForm, BadCountsAndSizesFailBeforeAllocating) {
  auto load = [](const std::function<void(CArchive&)>& write) {
    std::vector<uint8_t> bytes;
    {
      CArchive ar(bytes);
      write(ar);
    }
    Container c({});
    CArchive in(bytes.data(), bytes.size());
    try {
      c.audio->Serialize(in);
    } catch (const ArchiveError& e) {
      return e.cause();
    }
    return ArchiveCause::none;
  };
  auto header = [](CArchive& ar, int32_t size) {
    ar.WriteInt32(size);
    ar.WriteString(u"s");
    for (int i = 0; i < 7; ++i) (i == 1 || i == 4) ? ar.WriteUInt32(0) : ar.WriteUInt16(0);
  };
  EXPECT_EQ(load([](CArchive& ar) { ar.WriteInt32(-1); }), ArchiveCause::endOfFile);
  EXPECT_EQ(load([](CArchive& ar) { ar.WriteInt32(0x7FFFFFFF); }), ArchiveCause::endOfFile);
  EXPECT_EQ(load([&](CArchive& ar) {
              ar.WriteInt32(1);
              header(ar, -5);
            }),
            ArchiveCause::endOfFile);
  EXPECT_EQ(load([&](CArchive& ar) {
              ar.WriteInt32(1);
              header(ar, 2000000000);
              ar.WriteBytes("abc", 3);
            }),
            ArchiveCause::endOfFile);
  EXPECT_EQ(load([&](CArchive& ar) {
              ar.WriteInt32(1);
              header(ar, 3);
              ar.WriteBytes("abc", 3);
            }),
            ArchiveCause::none);
}

TEST(AudioVoices, OneVoicePerSoundThenTheStopEntry) {
  Container c({Sound(u"a", {1}), Sound(u"b", {2})});
  EXPECT_FALSE(c.audio->PrepareVoices() < 0);
  ASSERT_EQ(c.audio->sounds.size(), 3u);
  EXPECT_NE(c.audio->sounds[0].voice, 0u);
  EXPECT_NE(c.audio->sounds[1].voice, 0u);
  EXPECT_EQ(c.audio->sounds[2].name, u"停止");
  EXPECT_EQ(c.audio->sounds[2].voice, 0u);
  EXPECT_FALSE(c.audio->sounds[2].data);

  // No sounds: the stop entry alone. No engine: nothing at all.
  Container empty({});
  empty.audio->PrepareVoices();
  ASSERT_EQ(empty.audio->sounds.size(), 1u);
  Container silent({Sound(u"a", {1})}, false);
  silent.audio->PrepareVoices();
  ASSERT_EQ(silent.audio->sounds.size(), 1u);
  EXPECT_EQ(silent.audio->sounds[0].voice, 0u);
  EXPECT_LT(silent.audio->Play(u"a", false), 0);
  EXPECT_EQ(silent.backend->CallCount(Op::CreateSourceVoice), 0u);
}

TEST(AudioVoices, VoiceCreationFailureStopsThere) {
  testing::RecordingPlatform platform;
  Container c({Sound(u"a", {1}), Sound(u"b", {2}), Sound(u"c", {3})});
  c.audio->sounds[1].format.wFormatTag = 2;  // not PCM: refused
  EXPECT_LT(c.audio->PrepareVoices(), 0);
  ASSERT_EQ(c.audio->sounds.size(), 3u);  // no stop entry
  EXPECT_NE(c.audio->sounds[0].voice, 0u);
  EXPECT_EQ(c.audio->sounds[1].voice, 0u);
  EXPECT_FALSE(c.audio->sounds[1].data);  // freed
  EXPECT_EQ(c.audio->sounds[2].voice, 0u);
  EXPECT_TRUE(c.audio->sounds[2].data);
  ASSERT_EQ(platform.diagnostics.size(), 1u);
  EXPECT_EQ(platform.diagnostics[0].first, "audio");
  EXPECT_EQ(platform.diagnostics[0].second, u"Error creating source voice\n");
}

TEST(AudioPlay, RestartLoopAndStopAll) {
  Container c({Sound(u"a", {1, 2, 3}), Sound(u"b", {4})});
  c.audio->PrepareVoices();
  const VoiceHandle a = c.audio->sounds[0].voice;
  EXPECT_EQ(c.audio->Play(u"a", false), 0);
  EXPECT_EQ(c.State(0), VoiceState::Playing);
  EXPECT_EQ(c.audio->Play(u"a", true), 0);  // restart, now looping
  EXPECT_EQ(c.State(0), VoiceState::Looping);
  EXPECT_EQ(c.audio->Play(u"b", false), 0);  // plays alongside
  EXPECT_EQ(c.State(0), VoiceState::Looping);
  EXPECT_EQ(c.State(1), VoiceState::Playing);
  ASSERT_EQ(c.backend->plays().size(), 3u);
  EXPECT_EQ(c.backend->plays()[0].voice, a);
  EXPECT_EQ(c.backend->plays()[0].loopCount, 0u);
  EXPECT_EQ(c.backend->plays()[0].dataSize, 3u);
  EXPECT_EQ(c.backend->plays()[1].loopCount, kLoopInfinite);
  // Each play stops, flushes and submits once before starting.
  EXPECT_EQ(c.backend->CallCount(Op::FlushSourceBuffers), 3u);
  EXPECT_EQ(c.backend->CallCount(Op::SubmitSourceBuffer), 3u);

  EXPECT_EQ(c.audio->Play(u"停止", false), 0);
  EXPECT_EQ(c.State(0), VoiceState::Stopped);
  EXPECT_EQ(c.State(1), VoiceState::Stopped);
  EXPECT_EQ(c.backend->plays().size(), 3u);
  EXPECT_EQ(c.backend->CallCount(Op::FlushSourceBuffers), 3u);  // nothing flushed
  EXPECT_EQ(c.backend->BadHandleCount(), 0u);
}

TEST(AudioPlay, StopAllSkipsTheLastEntryEvenWithoutTheStopEntry) {
  // Without the stop entry (a voice creation failed) the stop name leaves
  // the last real sound playing.
  Container d({Sound(u"a", {1}), Sound(u"b", {2}), Sound(u"c", {3})});
  d.audio->PrepareVoices();
  d.audio->sounds.pop_back();  // as if the stop entry had never been appended
  d.audio->Play(u"a", true);
  d.audio->Play(u"c", true);
  d.audio->Play(u"停止", false);
  EXPECT_EQ(d.State(0), VoiceState::Stopped);
  EXPECT_EQ(d.State(2), VoiceState::Looping);
}

TEST(AudioPlay, NameMatchingFoldsOnlyAsciiLettersAndTakesTheFirst) {
  Container c({Sound(u"Beep", {1}), Sound(u"BEEP", {2}), Sound(u"ｂｅｅｐ", {3}),
               Sound(u"Élan", {4}), Sound(u"", {5}), Sound(u"停止", {6})});
  c.audio->PrepareVoices();
  auto played = [&] { return c.backend->plays().back().voice; };
  EXPECT_EQ(c.audio->Play(u"bEeP", false), 0);
  EXPECT_EQ(played(), c.audio->sounds[0].voice);    // first of two matches
  EXPECT_LT(c.audio->Play(u"ＢＥＥＰ", false), 0);  // full-width: exact only
  EXPECT_EQ(c.audio->Play(u"ｂｅｅｐ", false), 0);
  EXPECT_EQ(played(), c.audio->sounds[2].voice);
  EXPECT_LT(c.audio->Play(u"élan", false), 0);  // É is not folded
  EXPECT_EQ(c.audio->Play(u"ÉLAN", false), 0);
  EXPECT_EQ(played(), c.audio->sounds[3].voice);
  EXPECT_EQ(c.audio->Play(u"", false), 0);  // empty matches the empty name
  EXPECT_EQ(played(), c.audio->sounds[4].voice);
  const size_t before = c.backend->plays().size();
  EXPECT_EQ(c.audio->Play(u"停止", true), 0);  // never played as a sound
  EXPECT_EQ(c.backend->plays().size(), before);
  EXPECT_LT(c.audio->Play(u"nothing", false), 0);

  Container none({});
  EXPECT_LT(none.audio->Play(u"停止", false), 0);
  EXPECT_LT(none.audio->Play(u"", false), 0);
}

TEST(AudioPlay, IndexedLookupAgreesWithComparingEveryName) {
  // Many short names over a few letters, so names repeat in and across
  // letter case: every request plays what a search through the whole list
  // (A-Z folded, first match) finds.
  const std::u16string letters = u"aAbBéÉ停";
  std::mt19937 random(17);
  auto randomName = [&] {
    std::u16string name(random() % 4, u' ');
    for (char16_t& c : name) c = letters[random() % letters.size()];
    return name;
  };
  std::vector<CWavData> sounds;
  for (int i = 0; i < 300; ++i) sounds.push_back(Sound(randomName(), {static_cast<uint8_t>(i)}));
  Container c(sounds);
  c.audio->PrepareVoices();
  auto fold = [](std::u16string s) {
    for (char16_t& ch : s) ch = ch >= u'A' && ch <= u'Z' ? static_cast<char16_t>(ch + 32) : ch;
    return s;
  };
  for (int r = 0; r < 500; ++r) {
    const std::u16string name = randomName();
    if (name == kStopSoundName) continue;
    size_t expected = c.audio->sounds.size();
    for (size_t i = 0; i < c.audio->sounds.size() && expected == c.audio->sounds.size(); ++i) {
      if (fold(c.audio->sounds[i].name) == fold(name)) expected = i;
    }
    const size_t before = c.backend->plays().size();
    const int32_t result = c.audio->Play(name, false);
    if (expected == c.audio->sounds.size()) {
      EXPECT_LT(result, 0);
      EXPECT_EQ(c.backend->plays().size(), before);
    } else {
      ASSERT_EQ(result, 0);
      EXPECT_EQ(c.backend->plays().back().voice, c.audio->sounds[expected].voice);
    }
  }
}

TEST(AudioPlay, ARequestAfterTheListWasReplacedFindsTheNewNames) {
  Container c({Sound(u"old", {1})});
  c.audio->PrepareVoices();
  EXPECT_EQ(c.audio->Play(u"old", false), 0);
  std::vector<CWavData> next = {Sound(u"first", {1}), Sound(u"Second", {2})};
  c.audio->sounds = std::move(next);
  c.audio->PrepareVoices();
  EXPECT_LT(c.audio->Play(u"old", false), 0);
  EXPECT_EQ(c.audio->Play(u"SECOND", false), 0);
  EXPECT_EQ(c.backend->plays().back().voice, c.audio->sounds[1].voice);
  c.audio->sounds.pop_back();  // the stop entry
  c.audio->sounds.pop_back();
  EXPECT_LT(c.audio->Play(u"second", false), 0);
  EXPECT_EQ(c.audio->Play(u"first", false), 0);
}

TEST(AudioPlay, SubmissionFailureSilencesTheSoundUntilTheNextLoad) {
  Container c({Sound(u"a", {1, 2}), Sound(u"b", {3})});
  c.audio->PrepareVoices();
  const VoiceHandle a = c.audio->sounds[0].voice;
  c.backend->FailCall(Op::SubmitSourceBuffer, 1);
  testing::RecordingPlatform platform;
  const int32_t hr = c.audio->Play(u"A", false);
  EXPECT_EQ(static_cast<uint32_t>(hr), 0x80004005u);
  using Line = std::pair<std::string, std::u16string>;
  EXPECT_EQ(platform.warnings,
            std::vector<Line>{Line("audio", u"Error 0X80004005 submitting source buffer\n")});
  EXPECT_TRUE(platform.diagnostics.empty());
  EXPECT_EQ(c.audio->sounds[0].voice, 0u);
  EXPECT_FALSE(c.audio->sounds[0].data);
  EXPECT_EQ(c.backend->destroyed(), std::vector<VoiceHandle>{a});
  EXPECT_EQ(c.backend->CallCount(Op::Start), 0u);
  EXPECT_LT(c.audio->Play(u"a", false), 0);
  EXPECT_EQ(c.audio->Play(u"b", false), 0);
}

// Checks at every DestroyVoice that no sample array has been freed yet, and
// at its own destruction that every voice is gone.
class OrderCheckingBackend : public NullSoundBackend {
 public:
  std::vector<std::weak_ptr<std::vector<uint8_t>>> watched;
  bool* freedBeforeDestroy;
  bool* voicesLeftAtDestruction;
  OrderCheckingBackend(bool* a, bool* b) : freedBeforeDestroy(a), voicesLeftAtDestruction(b) {}
  ~OrderCheckingBackend() override { *voicesLeftAtDestruction = !voices().empty(); }
  void DestroyVoice(VoiceHandle v) override {
    for (auto& w : watched)
      if (w.expired()) *freedBeforeDestroy = true;
    NullSoundBackend::DestroyVoice(v);
  }
};

TEST(AudioTeardown, VoicesGoBeforeTheirDataAndBeforeTheEngine) {
  bool freedBeforeDestroy = false, voicesLeft = true;
  auto backend = std::make_unique<OrderCheckingBackend>(&freedBeforeDestroy, &voicesLeft);
  OrderCheckingBackend* b = backend.get();
  {
    CAudio audio(std::move(backend));
    audio.sounds = {Sound(u"a", {1}), Sound(u"b", {2}), Sound(u"c", {3})};
    audio.PrepareVoices();
    for (const CWavData& w : audio.sounds)
      if (w.data) b->watched.push_back(w.data);
    audio.ReleaseVoices();
    EXPECT_FALSE(freedBeforeDestroy);
    EXPECT_EQ(b->destroyed().size(), 3u);
    for (const CWavData& w : audio.sounds) {
      EXPECT_EQ(w.voice, 0u);
      EXPECT_FALSE(w.data);
    }
    EXPECT_EQ(audio.sounds.size(), 4u);  // the entries stay

    // Again for the destructor.
    audio.sounds = {Sound(u"d", {4}), Sound(u"e", {5})};
    audio.PrepareVoices();
    b->watched.clear();
    for (const CWavData& w : audio.sounds)
      if (w.data) b->watched.push_back(w.data);
  }
  EXPECT_FALSE(freedBeforeDestroy);
  EXPECT_FALSE(voicesLeft);
}

TEST(NullSoundBackend, AcceptsPcmAndFloatFormatsOnly) {
  NullSoundBackend b;
  VoiceHandle v;
  EXPECT_EQ(b.CreateSourceVoice(PcmFormat(2, 44100, 16), &v), 0);
  WaveFormat f = PcmFormat(2, 48000, 32);
  f.wFormatTag = 3;
  EXPECT_EQ(b.CreateSourceVoice(f, &v), 0);
  f = PcmFormat(2, 44100, 16);
  f.nBlockAlign = 3;
  EXPECT_LT(b.CreateSourceVoice(f, &v), 0);
  f = PcmFormat(0, 44100, 16);
  EXPECT_LT(b.CreateSourceVoice(f, &v), 0);
  f = PcmFormat(1, 44100, 12);
  EXPECT_LT(b.CreateSourceVoice(f, &v), 0);
  f = PcmFormat(1, 44100, 16);
  f.wFormatTag = 0x55;  // compressed
  EXPECT_LT(b.CreateSourceVoice(f, &v), 0);
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(b.voices().size(), 2u);
}

}  // namespace
}  // namespace tolvani

namespace tolvani {
namespace {

template <typename T>
std::vector<uint8_t> FloatBytes(const std::vector<T>& values) {
  std::vector<uint8_t> bytes(values.size() * sizeof(T));
  std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

template <typename T>
std::vector<T> FloatsOf(const std::vector<uint8_t>& bytes) {
  std::vector<T> values(bytes.size() / sizeof(T));
  std::memcpy(values.data(), bytes.data(), values.size() * sizeof(T));
  return values;
}

TEST(AudioVoices, FloatSamplesAreCleanedOnceWhenTheVoicesArePrepared) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  CWavData f32 = Sound(u"f32", FloatBytes<float>({0.5f, nan, inf, -inf, 1.5f, -2.0f, -0.25f}));
  f32.format = testing::PcmFormat(1, 8000, 32);
  f32.format.wFormatTag = 3;
  CWavData f64 = Sound(u"f64", FloatBytes<double>({std::nan(""), 0.75, -1e300}));
  f64.format = testing::PcmFormat(1, 8000, 64);
  f64.format.wFormatTag = 3;
  // Integer samples are never touched, even when their bytes read as NaN.
  CWavData pcm = Sound(u"pcm", FloatBytes<float>({nan}));
  pcm.format = testing::PcmFormat(1, 8000, 16);
  Container c({f32, f64, pcm});
  ASSERT_EQ(c.audio->PrepareVoices(), 0);
  EXPECT_EQ(FloatsOf<float>(*c.audio->sounds[0].data),
            (std::vector<float>{0.5f, 0.0f, 1.0f, -1.0f, 1.0f, -1.0f, -0.25f}));
  EXPECT_EQ(FloatsOf<double>(*c.audio->sounds[1].data), (std::vector<double>{0.0, 0.75, -1.0}));
  EXPECT_TRUE(std::isnan(FloatsOf<float>(*c.audio->sounds[2].data)[0]));
  // What is submitted for playing is the cleaned data.
  ASSERT_EQ(c.audio->Play(u"f32", false), 0);
  const NullSoundBackend::Voice* voice = c.backend->FindVoice(c.audio->sounds[0].voice);
  ASSERT_NE(voice, nullptr);
  EXPECT_EQ(voice->data, c.audio->sounds[0].data->data());
}

TEST(NullSoundBackendControls, MasterGainIsClampedAndPauseRecorded) {
  NullSoundBackend backend;
  EXPECT_EQ(backend.masterGain(), 1.0f);
  const struct {
    float in, kept;
  } cases[] = {{0.5f, 0.5f}, {0.0f, 0.0f}, {-1.0f, 0.0f}, {2.0f, 1.0f}, {std::nanf(""), 0.0f}};
  for (const auto& c : cases) {
    backend.SetMasterGain(c.in);
    EXPECT_EQ(backend.masterGain(), c.kept) << c.in;
  }
  EXPECT_FALSE(backend.paused());
  backend.SetPaused(true);
  EXPECT_TRUE(backend.paused());
  backend.SetPaused(false);
  EXPECT_FALSE(backend.paused());
}

}  // namespace
}  // namespace tolvani
