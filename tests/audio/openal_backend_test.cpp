// The OpenAL backend under the sound container, rendered through a loopback
// device, and the audio library pin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/openal/library_pin.h"
#include "audio/openal/openal_sound_backend.h"
#include "support/test_helpers.h"

namespace tolvani {
namespace {

using testing::PcmFormat;
using testing::RecordingPlatform;

constexpr uint32_t kRate = 44100;
// Frames over which OpenAL Soft fades a stopped or restarted voice.
constexpr size_t kFade = 64;

// Sample i of a square wave: +amp for the first half of each period, -amp after.
float Square(size_t i, size_t period, float amp) {
  return (i % period) < period / 2 ? amp : -amp;
}

std::vector<uint8_t> Pcm16(const std::vector<float>& samples) {
  std::vector<uint8_t> out(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    const int16_t v = static_cast<int16_t>(std::lrint(samples[i] * 32767.0f));
    std::memcpy(&out[i * 2], &v, 2);
  }
  return out;
}

std::vector<float> SquareWave(size_t frames, size_t period, float amp) {
  std::vector<float> s(frames);
  for (size_t i = 0; i < frames; ++i) s[i] = Square(i, period, amp);
  return s;
}

// The container over a loopback backend; `out` keeps the backend to render.
struct Rig {
  OpenAlSoundBackend* backend = nullptr;
  std::unique_ptr<CAudio> audio;
  int channels = 1;

  explicit Rig(int outChannels = 1) : channels(outChannels) {
    auto b = OpenAlSoundBackend::CreateLoopback(kRate, outChannels);
    if (!b) return;
    backend = b.get();
    audio = std::make_unique<CAudio>(std::move(b));
  }
  bool ok() const { return backend != nullptr; }

  void Add(const std::u16string& name, const WaveFormat& format, std::vector<uint8_t> bytes) {
    CWavData w(name);
    w.format = format;
    w.size = static_cast<int32_t>(bytes.size());
    w.data = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
    audio->sounds.push_back(std::move(w));
  }

  std::vector<int16_t> Render(uint32_t frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * channels);
    EXPECT_TRUE(backend->RenderSamples(out.data(), frames));
    return out;
  }
};

int Peak(const std::vector<int16_t>& s, size_t from = 0, size_t to = SIZE_MAX) {
  int peak = 0;
  for (size_t i = from; i < std::min(to, s.size()); ++i) peak = std::max(peak, std::abs(s[i]));
  return peak;
}

// Frames at which channel `ch` rises through zero (with hysteresis so that
// dither near zero does not count).
std::vector<size_t> RisingEdges(const std::vector<int16_t>& s, int channels, int ch,
                                int threshold) {
  std::vector<size_t> edges;
  bool low = false;
  for (size_t f = 0; f * channels + ch < s.size(); ++f) {
    const int v = s[f * channels + ch];
    if (v < -threshold) low = true;
    if (low && v > threshold) {
      edges.push_back(f);
      low = false;
    }
  }
  return edges;
}

// Largest sample difference between a and b over [from, to) frames of one channel.
int MaxDiff(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t from, size_t to) {
  int d = 0;
  for (size_t i = from; i < std::min({to, a.size(), b.size()}); ++i) {
    d = std::max(d, std::abs(a[i] - b[i]));
  }
  return d;
}

#define REQUIRE_LOOPBACK(rig) \
  if (!(rig).ok()) GTEST_SKIP() << "ALC_SOFT_loopback is not available"

TEST(OpenAlLoopback, PlaysSquareWaveRestartsLoopsAndStops) {
  Rig rig;
  REQUIRE_LOOPBACK(rig);
  // 0.1 s of a 441 Hz square wave (period 100 frames).
  rig.Add(u"Beep", PcmFormat(1, kRate, 16), Pcm16(SquareWave(4410, 100, 0.5f)));
  ASSERT_GE(rig.audio->PrepareVoices(), 0);
  ASSERT_EQ(rig.backend->VoiceCount(), 1u);

  // Nothing plays before the first Play.
  EXPECT_LE(Peak(rig.Render(512)), 4);

  // Once: the wave at its own period, then silence after the data.
  ASSERT_GE(rig.audio->Play(u"beep", false), 0);
  const std::vector<int16_t> first = rig.Render(2000);
  EXPECT_GT(Peak(first), 8000);
  const std::vector<size_t> edges = RisingEdges(first, 1, 0, 4000);
  ASSERT_GE(edges.size(), 15u);
  for (size_t i = 1; i < edges.size(); ++i) EXPECT_EQ(edges[i] - edges[i - 1], 100u) << i;
  const std::vector<int16_t> rest = rig.Render(4410);  // frames 2000 to 6410
  EXPECT_GT(Peak(rest, 0, 2000), 8000);
  EXPECT_LE(Peak(rest, 2600), 4) << "a sound played once must end with its data";

  // A second Play restarts from the first sample: the same output as the
  // first. 2050 frames in, a continuation would be half a period out of
  // phase. OpenAL cross-fades a stopped voice over its first 64 frames.
  ASSERT_GE(rig.audio->Play(u"BEEP", false), 0);
  const std::vector<int16_t> again = rig.Render(2050);
  EXPECT_LE(MaxDiff(first, again, 0, 2000), 4);
  // ...even while it is still playing.
  ASSERT_GE(rig.audio->Play(u"beep", false), 0);
  const std::vector<int16_t> restarted = rig.Render(2000);
  EXPECT_LE(MaxDiff(first, restarted, kFade, 2000), 4);

  // Looping: the wave goes on well past the data's length.
  ASSERT_GE(rig.audio->Play(u"beep", true), 0);
  const std::vector<int16_t> looped = rig.Render(3 * 4410);
  EXPECT_GT(Peak(looped, 2 * 4410 + 100), 8000);
  EXPECT_EQ(RisingEdges(looped, 1, 0, 4000).size(), 3u * 44u);

  // Stop-all silences it; a restart without looping ends again.
  ASSERT_GE(rig.audio->Play(kStopSoundName, false), 0);
  const std::vector<int16_t> stopped = rig.Render(4410);
  EXPECT_LE(Peak(stopped, kFade), 4);
  ASSERT_GE(rig.audio->Play(u"beep", false), 0);
  const std::vector<int16_t> after = rig.Render(2000);
  EXPECT_LE(MaxDiff(first, after, kFade, 2000), 4);
  EXPECT_LE(Peak(rig.Render(8000), 3000), 4);
}

// The master gain scales every voice; pausing holds a sound where it is
// and resuming plays on from there; a sound stopped meanwhile stays stopped.
TEST(OpenAlLoopback, MasterGainAndPauseHoldTheSoundWhereItIs) {
  Rig rig;
  REQUIRE_LOOPBACK(rig);
  rig.Add(u"beep", PcmFormat(1, kRate, 16), Pcm16(SquareWave(4410, 100, 0.5f)));
  ASSERT_GE(rig.audio->PrepareVoices(), 0);
  ASSERT_GE(rig.audio->Play(u"beep", true), 0);
  const int full = Peak(rig.Render(1000));
  // A new gain applies from the next mixing update on, smoothed over some
  // frames: look at the end of a longer stretch.
  rig.backend->SetMasterGain(0.5f);
  const int half = Peak(rig.Render(6000), 5000);
  EXPECT_NEAR(half * 2, full, full / 20);
  rig.backend->SetMasterGain(std::nanf(""));  // taken as silence
  EXPECT_LE(Peak(rig.Render(6000), 5000), 4);
  rig.backend->SetMasterGain(7.0f);  // clamped to 1
  EXPECT_NEAR(Peak(rig.Render(6000), 5000), full, full / 20);

  ASSERT_GE(rig.audio->Play(u"beep", false), 0);
  ASSERT_GT(Peak(rig.Render(3200)), 8000);
  // 3200 frames played; paused, nothing plays however long.
  rig.backend->SetPaused(true);
  EXPECT_LE(Peak(rig.Render(8000), kFade), 4);
  // Resumed, the remaining 1210 frames play, then silence.
  rig.backend->SetPaused(false);
  const std::vector<int16_t> rest = rig.Render(3000);
  EXPECT_GT(Peak(rest, 600, 1100), 8000);
  EXPECT_LE(Peak(rest, 1500), 4);

  ASSERT_GE(rig.audio->Play(u"beep", false), 0);
  rig.backend->SetPaused(true);
  ASSERT_GE(rig.audio->Play(kStopSoundName, false), 0);
  rig.backend->SetPaused(false);
  EXPECT_LE(Peak(rig.Render(2000), kFade), 4);
}

TEST(OpenAlLoopback, DifferentSoundsMix) {
  // Each sound alone, then both started together: the mix is their sum.
  const auto a = Pcm16(SquareWave(8820, 100, 0.2f));
  const auto b = Pcm16(SquareWave(8820, 64, 0.15f));
  auto render = [&](bool withA, bool withB) {
    Rig rig;
    if (!rig.ok()) return std::vector<int16_t>();
    rig.Add(u"a", PcmFormat(1, kRate, 16), a);
    rig.Add(u"b", PcmFormat(1, kRate, 16), b);
    EXPECT_GE(rig.audio->PrepareVoices(), 0);
    if (withA) {
      EXPECT_GE(rig.audio->Play(u"a", false), 0);
    }
    if (withB) {
      EXPECT_GE(rig.audio->Play(u"b", false), 0);
    }
    return rig.Render(4000);
  };
  const auto onlyA = render(true, false);
  if (onlyA.empty()) GTEST_SKIP() << "ALC_SOFT_loopback is not available";
  const auto onlyB = render(false, true);
  const auto both = render(true, true);
  ASSERT_EQ(both.size(), onlyA.size());
  EXPECT_GT(Peak(onlyA), 4000);
  EXPECT_GT(Peak(onlyB), 3000);
  int worst = 0;
  for (size_t i = 0; i < both.size(); ++i) {
    worst = std::max(worst, std::abs(both[i] - (onlyA[i] + onlyB[i])));
  }
  EXPECT_LE(worst, 8);
  // The same name twice never overlaps itself: a repeated Play is one sound.
  Rig rig;
  rig.Add(u"a", PcmFormat(1, kRate, 16), a);
  ASSERT_GE(rig.audio->PrepareVoices(), 0);
  rig.audio->Play(u"a", false);
  rig.audio->Play(u"a", false);
  EXPECT_LE(MaxDiff(rig.Render(4000), onlyA, 0, 4000), 4);
}

// One 100-frame square period in each supported format, at amplitude 0.5.
struct FormatCase {
  const char* label;
  uint16_t tag;
  uint16_t bits;
  uint16_t channels;
};

std::vector<uint8_t> EncodeSquare(const FormatCase& c, size_t frames) {
  const size_t bytes = c.bits / 8u;
  std::vector<uint8_t> out(frames * c.channels * bytes);
  uint8_t* p = out.data();
  for (size_t i = 0; i < frames; ++i) {
    const float v = Square(i, 100, 0.5f);
    for (uint16_t ch = 0; ch < c.channels; ++ch, p += bytes) {
      if (c.tag == 3 && c.bits == 32) {
        std::memcpy(p, &v, 4);
      } else if (c.tag == 3) {
        const double d = v;
        std::memcpy(p, &d, 8);
      } else if (c.bits == 8) {
        *p = static_cast<uint8_t>(128 + std::lrint(v * 127.0f));
      } else if (c.bits == 16) {
        const int16_t s = static_cast<int16_t>(std::lrint(v * 32767.0f));
        std::memcpy(p, &s, 2);
      } else if (c.bits == 24) {
        const int32_t s = static_cast<int32_t>(std::lrint(v * 8388607.0f));
        p[0] = static_cast<uint8_t>(s);
        p[1] = static_cast<uint8_t>(s >> 8);
        p[2] = static_cast<uint8_t>(s >> 16);
      } else {
        const int32_t s = static_cast<int32_t>(std::lrint(static_cast<double>(v) * 2147483647.0));
        std::memcpy(p, &s, 4);
      }
    }
  }
  return out;
}

WaveFormat FormatOf(const FormatCase& c) {
  WaveFormat f = PcmFormat(c.channels, kRate, c.bits);
  f.wFormatTag = c.tag;
  return f;
}

TEST(OpenAlLoopback, EverySupportedFormatPlaysTheSameWave) {
  const FormatCase cases[] = {
      {"pcm8 mono", 1, 8, 1},     {"pcm16 stereo", 1, 16, 2}, {"pcm24 mono", 1, 24, 1},
      {"pcm32 stereo", 1, 32, 2}, {"float32 mono", 3, 32, 1}, {"float64 stereo", 3, 64, 2},
      {"pcm16 3ch", 1, 16, 3},    {"pcm24 4ch", 1, 24, 4},    {"pcm8 5ch", 1, 8, 5},
      {"float32 5.1", 3, 32, 6},  {"float64 7ch", 3, 64, 7},  {"pcm16 7.1", 1, 16, 8},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.label);
    Rig rig(2);
    REQUIRE_LOOPBACK(rig);
    rig.Add(u"s", FormatOf(c), EncodeSquare(c, 2205));
    ASSERT_GE(rig.audio->PrepareVoices(), 0);
    ASSERT_GE(rig.audio->Play(u"s", false), 0);
    const std::vector<int16_t> out = rig.Render(4000);
    // Both output channels carry the wave at its period, and it ends with the data.
    for (int ch = 0; ch < 2; ++ch) {
      const std::vector<size_t> edges = RisingEdges(out, 2, ch, 2000);
      ASSERT_GE(edges.size(), 20u) << "channel " << ch;
      for (size_t i = 1; i < edges.size(); ++i) EXPECT_EQ(edges[i] - edges[i - 1], 100u);
      EXPECT_EQ(edges.size(), 22u) << "channel " << ch;
    }
    EXPECT_LE(Peak(out, 2 * 2400), 4);
  }
}

TEST(OpenAlLoopback, RefusesFormatsTheEngineCannotPlay) {
  Rig rig;
  REQUIRE_LOOPBACK(rig);
  auto bad = [](uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int blockDelta) {
    WaveFormat f = PcmFormat(channels, rate, bits);
    f.wFormatTag = tag;
    f.nBlockAlign = static_cast<uint16_t>(f.nBlockAlign + blockDelta);
    return f;
  };
  const WaveFormat refused[] = {
      bad(2, 1, kRate, 16, 0),       // ADPCM
      bad(0xFFFE, 2, kRate, 16, 0),  // extensible
      bad(1, 1, kRate, 12, 0),      bad(3, 1, kRate, 16, 0), bad(1, 0, kRate, 16, 0),
      bad(1, 9, kRate, 16, 0),      bad(1, 1, 0, 16, 0),     bad(1, 1, 384001, 16, 0),
      bad(1, 2, kRate, 16, 1),
  };
  for (const WaveFormat& f : refused) {
    VoiceHandle v = 77;
    EXPECT_LT(rig.backend->CreateSourceVoice(f, &v), 0)
        << f.wFormatTag << " " << f.nChannels << " " << f.wBitsPerSample;
    EXPECT_EQ(v, 0u);
  }
  EXPECT_EQ(rig.backend->VoiceCount(), 0u);

  // The container stops making voices at the first refusal.
  const auto wave = Pcm16(SquareWave(441, 100, 0.5f));
  rig.Add(u"one", PcmFormat(1, kRate, 16), wave);
  rig.Add(u"adpcm", bad(2, 1, kRate, 16, 0), wave);
  rig.Add(u"three", PcmFormat(1, kRate, 16), wave);
  EXPECT_LT(rig.audio->PrepareVoices(), 0);
  EXPECT_NE(rig.audio->sounds[0].voice, 0u);
  EXPECT_EQ(rig.audio->sounds[1].voice, 0u);
  EXPECT_EQ(rig.audio->sounds[2].voice, 0u);
  EXPECT_EQ(rig.backend->VoiceCount(), 1u);
}

TEST(OpenAlLoopback, SubmissionCutsToWholeBlocksAndRejectsBadCalls) {
  Rig rig;
  REQUIRE_LOOPBACK(rig);
  VoiceHandle v = 0;
  ASSERT_GE(rig.backend->CreateSourceVoice(PcmFormat(2, kRate, 16), &v), 0);
  const std::vector<uint8_t> bytes(4 * 1000 + 3, 0x40);
  // Less than one block, or no data: nothing to play.
  EXPECT_LT(rig.backend->SubmitSourceBuffer(v, bytes.data(), 3, 0), 0);
  EXPECT_LT(rig.backend->SubmitSourceBuffer(v, bytes.data(), 0, 0), 0);
  EXPECT_LT(rig.backend->SubmitSourceBuffer(v, nullptr, 400, 0), 0);
  // A ragged size plays its whole blocks: 1000 frames of a constant level.
  ASSERT_GE(
      rig.backend->SubmitSourceBuffer(v, bytes.data(), static_cast<uint32_t>(bytes.size()), 0), 0);
  ASSERT_GE(rig.backend->Start(v), 0);
  // Submitting under a playing voice is refused; the playing data stays.
  EXPECT_LT(rig.backend->SubmitSourceBuffer(v, bytes.data(), 400, 0), 0);
  const std::vector<int16_t> out = rig.Render(1500);
  EXPECT_GT(Peak(out, 100, 900), 8000);
  EXPECT_LE(Peak(out, 1100), 4);
  // Unknown and destroyed handles fail; destroying twice is harmless.
  EXPECT_LT(rig.backend->Start(v + 100), 0);
  rig.backend->DestroyVoice(v);
  rig.backend->DestroyVoice(v);
  EXPECT_LT(rig.backend->Stop(v), 0);
  EXPECT_LT(rig.backend->FlushSourceBuffers(v), 0);
  EXPECT_LT(rig.backend->SubmitSourceBuffer(v, bytes.data(), 400, 0), 0);
  EXPECT_EQ(rig.backend->VoiceCount(), 0u);
  EXPECT_LT(rig.backend->CreateSourceVoice(PcmFormat(1, kRate, 16), nullptr), 0);
  // Bad render requests.
  int16_t one[2];
  EXPECT_FALSE(rig.backend->RenderSamples(nullptr, 10));
  EXPECT_FALSE(rig.backend->RenderSamples(one, 0));
  EXPECT_EQ(OpenAlSoundBackend::CreateLoopback(kRate, 3), nullptr);
  EXPECT_EQ(OpenAlSoundBackend::CreateLoopback(100, 1), nullptr);
}

TEST(OpenAlDevice, NullDriverOpensQuietly) {
  // ALSOFT_DRIVERS=null (set by the test registration) gives a device.
  ::testing::internal::CaptureStdout();
  auto backend = std::make_unique<OpenAlSoundBackend>();
  const std::string printed = ::testing::internal::GetCapturedStdout();
  if (!backend->HasEngine()) GTEST_SKIP() << "no OpenAL device (run with ALSOFT_DRIVERS=null)";
  EXPECT_EQ(printed, "");
  EXPECT_FALSE(backend->RenderSamples(nullptr, 1));
  CAudio audio(std::move(backend));
  CWavData w(u"x");
  w.format = PcmFormat(1, 22050, 8);
  w.data = std::make_shared<std::vector<uint8_t>>(2205, 200);
  w.size = 2205;
  audio.sounds.push_back(w);
  EXPECT_GE(audio.PrepareVoices(), 0);
  EXPECT_EQ(audio.sounds.size(), 2u);  // the stop entry follows
  EXPECT_GE(audio.Play(u"x", true), 0);
  EXPECT_GE(audio.Play(kStopSoundName, false), 0);
}

TEST(NoSoundDevice, EngineFailsWithTheDiagnosticAndStaysSilent) {
  const char* drivers = std::getenv("ALSOFT_DRIVERS");
  if (!drivers || std::string(drivers) != "tolvani-no-such-driver") {
    GTEST_SKIP() << "needs ALSOFT_DRIVERS=tolvani-no-such-driver";
  }
  RecordingPlatform platform;
  auto backend = std::make_unique<OpenAlSoundBackend>();
  using Line = std::pair<std::string, std::u16string>;
  EXPECT_EQ(platform.warnings,
            std::vector<Line>{Line("audio", u"Failed to init XAudio2 engine: 0X80004005\n")});
  EXPECT_FALSE(backend->HasEngine());
  VoiceHandle v = 5;
  EXPECT_LT(backend->CreateSourceVoice(PcmFormat(1, kRate, 16), &v), 0);
  EXPECT_EQ(v, 0u);
  CAudio audio(std::move(backend));
  CWavData w(u"x");
  w.format = PcmFormat(1, kRate, 16);
  w.data = std::make_shared<std::vector<uint8_t>>(200, 1);
  w.size = 200;
  audio.sounds.push_back(w);
  audio.PrepareVoices();
  EXPECT_EQ(audio.sounds.size(), 1u);  // no voice, no stop entry
  EXPECT_EQ(audio.sounds[0].voice, 0u);
  EXPECT_LT(audio.Play(u"x", false), 0);
  // The loopback device does not need a driver.
  EXPECT_NE(OpenAlSoundBackend::CreateLoopback(kRate, 1), nullptr);
}

std::vector<std::u16string> AudioDiagnostics(const RecordingPlatform& platform) {
  std::vector<std::u16string> out;
  for (const auto& [subsystem, text] : platform.diagnostics) {
    if (subsystem == "audio") out.push_back(text);
  }
  return out;
}

TEST(AudioLibraryPin, LoadsTheOpenAlLibraryAndFreesItAtTheEnd) {
  RecordingPlatform platform;
  std::string path;
  {
    Xaudio2DllUnloadWorkaround_LoadLibraryVersion pin;
    ASSERT_TRUE(
        pin.FindPathByClsid(Xaudio2DllUnloadWorkaround_LoadLibraryVersion::AudioLibrarySymbol()));
    path = pin.path();
    EXPECT_NE(path.find("libopenal"), std::string::npos) << path;
    EXPECT_FALSE(pin.loaded());
    pin.LoadByPath();
    EXPECT_TRUE(pin.loaded());
  }
  const std::vector<std::u16string> expected = {
      u"<<Created>>\n",    u"XAudio2 DLL: path found\n", testing::U16(path), u"\n",
      u"Load SUCCEEDED\n", u"Free SUCCEEDED\n",          u"<<Destroyed>>\n"};
  EXPECT_EQ(AudioDiagnostics(platform), expected);
}

TEST(AudioLibraryPin, FailedLookupLoadsAndFreesNothing) {
  RecordingPlatform platform;
  {
    Xaudio2DllUnloadWorkaround_LoadLibraryVersion pin;
    const int notInAnyLibrary = 0;
    auto heap = std::make_unique<int>(0);
    EXPECT_FALSE(pin.FindPathByClsid(heap.get()));
    EXPECT_FALSE(pin.FindPathByClsid(nullptr));
    EXPECT_FALSE(pin.FindPathByClsid(&notInAnyLibrary));
    EXPECT_TRUE(pin.path().empty());
    EXPECT_FALSE(pin.loaded());
  }
  const std::u16string failed = u"XAudio2 DLL: find by CLSID: FAILED: GetLastError()\n";
  const std::vector<std::u16string> expected = {u"<<Created>>\n", failed, failed, failed,
                                                u"<<Destroyed>>\n"};
  EXPECT_EQ(AudioDiagnostics(platform), expected);
}

// The player itself, on OpenAL Soft's wave writer: opening a project whose
// first step shows an object with a sound puts that sound into the file.
TEST(PlayerWaveOutput, OpenedProjectSoundReachesTheWaveFile) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run_under_x.sh)";
  testing::ProjectBuilder b;
  b.playMode = PlayMode::kGlide;
  b.AddMaterial(u"m");
  b.AddTriangleModel(u"box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  CTimeLine& t = b.AddTimeline(u"box");
  CTimeLineData& e = b.AddEntry(t, EntryState::kShown);
  e.soundName = u"Beep";
  e.soundLoops = true;
  // A whole number of periods, so the loop's seam keeps the period: any
  // stretch of the output shows the pitch, wherever the run stops.
  b.AddSound(u"beep", PcmFormat(1, 22050, 16), Pcm16(SquareWave(2200, 50, 0.5f)));
  const std::string project = testing::WriteTempFile(b.Build());
  const std::string dir = testing::MakeTempDir();
  const std::string wav = dir + "out.wav";
  {
    std::FILE* conf = std::fopen((dir + "alsoft.conf").c_str(), "w");
    ASSERT_NE(conf, nullptr);
    std::fprintf(conf,
                 "[general]\nchannels=stereo\nsample-type=int16\nfrequency=44100\n"
                 "[wave]\nfile=%s\n",
                 wav.c_str());
    std::fclose(conf);
  }
  const std::string command = "ALSOFT_CONF='" + dir + "alsoft.conf' ALSOFT_DRIVERS=wave '" +
                              TOLVANI_PLAYER + "' '" + project + "' --screenshot '" + dir +
                              "shot.png' --ticks 20 > '" + dir + "log.txt' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  std::FILE* f = std::fopen(wav.c_str(), "rb");
  ASSERT_NE(f, nullptr) << "no wave file written";
  std::vector<uint8_t> bytes;
  uint8_t chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) {
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  std::fclose(f);
  ASSERT_GE(bytes.size(), 44u);
  ASSERT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
  ASSERT_EQ(std::memcmp(bytes.data() + 8, "WAVE", 4), 0);
  // The data chunk: 16-bit stereo as configured.
  size_t at = 12;
  size_t dataAt = 0;
  while (at + 8 <= bytes.size()) {
    uint32_t size;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
      dataAt = at + 8;
      break;
    }
    at += 8 + size + (size & 1u);
  }
  ASSERT_NE(dataAt, 0u) << "no data chunk";
  std::vector<int16_t> samples((bytes.size() - dataAt) / 2);
  std::memcpy(samples.data(), bytes.data() + dataAt, samples.size() * 2);
  ASSERT_GT(samples.size(), 2u * 4410u) << "less than 0.1 s written";
  EXPECT_GT(Peak(samples), 4000);
  // The 441 Hz wave (period 100 output frames) on the left channel. The
  // writer mixes in real time, so how much is written varies; a restart of
  // the sound by the player may break one period. Nearly every period is
  // exactly 100 frames: a wrong rate or format would change them all.
  const std::vector<size_t> edges = RisingEdges(samples, 2, 0, 2000);
  ASSERT_GE(edges.size(), 10u);
  size_t exact = 0;
  std::string spacings;
  for (size_t i = 1; i < edges.size(); ++i) {
    const size_t spacing = edges[i] - edges[i - 1];
    if (spacing == 100) ++exact;
    spacings += std::to_string(spacing) + " ";
  }
  EXPECT_GE(exact, 9u) << spacings;
  EXPECT_GE(exact * 10, (edges.size() - 1) * 9) << spacings;
}

}  // namespace
}  // namespace tolvani
