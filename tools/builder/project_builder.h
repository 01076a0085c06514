// Projects built in code (the demo, the examples, test projects) and stored with the archive's
// storing direction, in the project file layout:
//   N timelines (int32), file version (float32), scene root, N timelines,
//   stored sounds (count + records; no stop entry).
//
//   ProjectBuilder b;
//   b.version = 1.1f;
//   CModel& m = b.AddTriangleModel(u"box", {{0,0,0},{1,0,0},{0,1,0}}, {{0,1,2}}, 0);
//   b.AddTexturedMaterial(u"mat", u"tex.png", 2, 2, 3);
//   CTimeLine& t = b.AddTimeline(u"box");
//   b.AddEntry(t, EntryState::kShown).text = u"hello";
//   b.AddSound(u"beep", PcmFormat(1, 8000, 8), {1, 2, 3});
//   std::string path = WriteTempFile(b.Build());
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "base/sound_backend.h"
#include "model/model_records.h"
#include "model/motion.h"
#include "model/story_rules.h"
#include "model/timeline.h"

namespace tolvani::builder {

// A stored sound, written exactly as the sound container stores one.
struct SoundSpec {
  std::u16string name;
  WaveFormat format;
  std::vector<uint8_t> data;
  int32_t size = -1;  // -1: data.size(); otherwise stored as given (bad files)
};

// An uncompressed PCM format block.
WaveFormat PcmFormat(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample);

class ProjectBuilder {
 public:
  // Stored settings of the scene root. Items absent from older versions are
  // left out when version is below their threshold (0.4, 0.84, 1.1), and a
  // model's parents and weights below 0.91.
  float version = 1.1f;
  std::vector<std::u16string> auxNames;
  int32_t auxValue = 300;
  uint32_t backgroundColor = 0x005A411E;
  PlayMode playMode = PlayMode::kGlide;
  int32_t glideDuration = 1500;
  int32_t fadeDuration = 1500;
  float fieldOfView = 30.0f;
  CMotion camera;
  // False: write neither the material/model block nor the sounds (a scene
  // root whose format tag is not "zvmov").
  bool zvmov = true;
  // False: stop after the timelines (no sound block at all).
  bool writeSounds = true;

  // Deques: references returned by the Add functions stay valid.
  std::deque<CMaterial> materials;
  std::deque<CModel> models;
  std::deque<CTimeLine> timelines;
  std::deque<SoundSpec> sounds;

  CModel& AddModel(const std::u16string& name);
  // A model from vertices and triangles, every face on `material`, uvs
  // (0,0),(1,0),(0,1) per triangle, bones 0, parents -1, weights 1.
  CModel& AddTriangleModel(const std::u16string& name, const std::vector<Vec3>& vertices,
                           const std::vector<std::array<int32_t, 3>>& triangles,
                           int32_t material = 0);
  CMaterial& AddMaterial(const std::u16string& name, float r = 1, float g = 1, float b = 1,
                         float a = 1);
  // A textured material with a width x height image of 3 or 4 channels whose
  // sample (x, y, k) is (x * 7 + y * 13 + k * 31) & 0xFF.
  CMaterial& AddTexturedMaterial(const std::u16string& name, const std::u16string& textureName,
                                 int width, int height, int channels);
  CTimeLine& AddTimeline(const std::u16string& name);
  // An entry with the given state, appended to timeline t (the reference
  // is valid until the next entry is added to t).
  CTimeLineData& AddEntry(CTimeLine& t, EntryState state = EntryState::kShown);
  SoundSpec& AddSound(const std::u16string& name, const WaveFormat& format,
                      std::vector<uint8_t> data);

  std::vector<uint8_t> Build() const;
  // Writes Build() to path (UTF-8).
  void WriteFile(const std::string& path) const;
};

// The sample pattern of AddTexturedMaterial.
uint8_t TestSample(int x, int y, int k);
// An animation of `tracks` bone tracks with `frames` matrices each; matrix
// (track, frame) is the identity with m[3][0] = track and m[3][1] = frame.
Animation MakeAnimation(int tracks, int frames);

// Writes bytes to path (UTF-8); throws std::runtime_error on failure.
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace tolvani::builder
