// Writes the seed corpus of the open-sequence fuzzer: small projects that
// reach every record type, both file-version branches, textures of 3 and 4
// channels, every face shape, sounds, and one project large enough for the
// multi-threaded reading and preparation paths. Usage: fuzz_make_seeds DIR
#include <cstdio>
#include <string>
#include <vector>

#include "support/test_helpers.h"

using namespace tolvani;
using namespace tolvani::testing;

namespace {

ProjectBuilder Rich(float version) {
  ProjectBuilder b;
  b.version = version;
  b.playMode = PlayMode::kOrbit;
  b.auxNames = {u"a", u"b"};
  b.AddMaterial(u"plain", 0.5f, 0.5f, 0.5f, 1);
  b.AddTexturedMaterial(u"ZavroFukidashiMaterial", u"card.png", 3, 2, 4);
  b.AddTexturedMaterial(u"tex", u"t.bmp", 2, 3, 3);
  CModel& m =
      b.AddTriangleModel(u"ground", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0.5f}, {2, 2, 2}},
                         {{0, 1, 2}, {1, 3, 2}}, 0);
  m.smoothingAngle = 45;
  m.collisionMaterial = 2;
  CFace quad;
  quad.material = 1;
  quad.indices = {0, 1, 3, 2};
  quad.uvs = {{0, 0}, {1, 0}, {1, 1}};
  m.faces.Append(quad);
  CFace line;
  line.material = 2;
  line.indices = {3, 4};
  m.faces.Append(line);
  CFace pent;
  pent.material = 1;
  pent.indices = {0, 1, 2, 3, 4};
  m.faces.Append(pent);
  m.animations = {MakeAnimation(2, 3), MakeAnimation(1, 1)};
  m.animationNames = {u"idle", u"walk"};
  m.materialSets = {{0, 1}, {1}};
  m.materialSetBase = 1;
  b.AddTriangleModel(u"balloon", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, 1);
  CTimeLine& t0 = b.AddTimeline(u"ground");
  CTimeLineData& e0 = b.AddEntry(t0, EntryState::kShown);
  e0.animationName = u"walk";
  e0.soundName = u"beep";
  e0.motion.position = {0, 1, -5};
  CTimeLineData& e1 = b.AddEntry(t0, EntryState::kShown);
  e1.jumpEnabled = 1;
  e1.jumpTarget = 0;
  e1.soundName = u"停止";
  CTimeLine& t1 = b.AddTimeline(u"Fukidashi 1");
  b.AddEntry(t1, EntryState::kShown).text = u"こんにちは";
  b.AddEntry(t1, EntryState::kHidden).text = u"http://example.com/";
  b.AddSound(u"beep", PcmFormat(1, 8000, 8), {128, 130, 126, 128});
  b.AddSound(u"Loop", PcmFormat(2, 22050, 16), {0, 0, 1, 0, 0, 1, 1, 0});
  return b;
}

void Write(const std::string& dir, const std::string& name, const ProjectBuilder& b) {
  const auto bytes = b.Build();
  const std::string path = dir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Large enough for the reader's and the preparation's multi-threaded paths:
// a 512 x 512 four-channel texture (1 MiB of samples) and 131,072 faces
// (triangles without uvs, to keep the file small).
ProjectBuilder Large() {
  ProjectBuilder b;
  b.playMode = PlayMode::kGlide;
  b.AddMaterial(u"plain");
  b.AddTexturedMaterial(u"big", u"big.png", 512, 512, 4);
  CModel& m = b.AddModel(u"mesh");
  constexpr int kGrid = 256;  // kGrid x kGrid vertices
  for (int y = 0; y < kGrid; ++y)
    for (int x = 0; x < kGrid; ++x)
      m.vertices.push_back({static_cast<float>(x), static_cast<float>(y), (x * y) % 7 * 0.1f});
  m.smoothingAngle = 60;
  CFace face;
  for (int k = 0; k < 131072; ++k) {
    const int x = k / 2 % (kGrid - 1), y = k / 2 / (kGrid - 1) % (kGrid - 1);
    const int v = y * kGrid + x;
    face.material = k % 2;
    face.indices = k % 2 ? std::vector<int32_t>{v, v + 1, v + kGrid + 1}
                         : std::vector<int32_t>{v, v + kGrid + 1, v + kGrid};
    m.faces.Append(face);
  }
  CTimeLine& t = b.AddTimeline(u"mesh");
  b.AddEntry(t, EntryState::kShown);
  b.AddEntry(t, EntryState::kShown);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: fuzz_make_seeds DIR\n", stderr);
    return 2;
  }
  const std::string dir = argv[1];
  Write(dir, "rich_1_1", Rich(1.1f));
  Write(dir, "rich_0_9", Rich(0.9f));
  Write(dir, "rich_0_3", Rich(0.3f));
  ProjectBuilder empty;
  Write(dir, "empty_scene", empty);
  ProjectBuilder noSounds = Rich(1.1f);
  noSounds.sounds.clear();
  Write(dir, "no_sounds", noSounds);
  ProjectBuilder tagless = Rich(1.1f);
  tagless.zvmov = false;
  Write(dir, "tagless", tagless);
  ProjectBuilder badIndices = Rich(1.1f);
  CFace bad;
  bad.indices = {0, 99, -4};
  badIndices.models[0].faces.Append(bad);
  badIndices.models[0].bones.resize(1);
  Write(dir, "bad_indices", badIndices);
  Write(dir, "large", Large());
  return 0;
}
