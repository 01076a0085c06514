#include "demo_common.h"

#include <algorithm>
#include <cmath>

namespace tolvani::demo {

using namespace builder;

namespace {

uint8_t Byte(float v) {
  return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
}
// Writes an RGB colour into a blue, green, red (, alpha) pixel.
void Put(uint8_t* px, float r, float g, float b) {
  px[0] = Byte(b);
  px[1] = Byte(g);
  px[2] = Byte(r);
}
float Mix(float a, float b, float t) {
  return a + (b - a) * std::clamp(t, 0.0f, 1.0f);
}

PixelMatrix SkyImage() {
  constexpr int kSize = 256;
  return MakeImage(kSize, kSize, 3, [](int x, int y, uint8_t* px) {
    const float fy = static_cast<float>(y) / kSize;
    const float fx = static_cast<float>(x) / kSize;
    // Sky: deep blue at the top to a pale horizon.
    float r = Mix(70, 205, fy / 0.72f), g = Mix(130, 228, fy / 0.72f),
          b = Mix(215, 246, fy / 0.72f);
    // Clouds in the upper part.
    const float cloud =
        Noise2(fx * 8, fy * 14, 8, 7) * 0.7f + Noise2(fx * 16, fy * 28, 16, 9) * 0.3f;
    const float c =
        std::clamp((cloud - 0.55f) * 4.0f, 0.0f, 1.0f) * std::clamp(1.2f - fy * 1.8f, 0.0f, 1.0f);
    r = Mix(r, 255, c);
    g = Mix(g, 255, c);
    b = Mix(b, 255, c);
    // Far mountains, then near hills.
    const float far =
        0.62f - 0.10f * std::sin(fx * 6.2832f * 2 + 0.5f) - 0.05f * std::sin(fx * 6.2832f * 5);
    if (fy > far) {
      const float snow = fy < far + 0.025f && far < 0.56f ? 1.0f : 0.0f;
      r = Mix(118, 245, snow);
      g = Mix(150, 248, snow);
      b = Mix(178, 252, snow);
    }
    const float near =
        0.74f - 0.05f * std::sin(fx * 6.2832f * 3 + 1.7f) - 0.02f * std::sin(fx * 6.2832f * 9);
    if (fy > near) {
      const float shade = Noise2(fx * 32, fy * 32, 32, 3);
      r = 70 + 30 * shade;
      g = 140 + 35 * shade;
      b = 70 + 20 * shade;
    }
    Put(px, r, g, b);
  });
}

PixelMatrix GrassImage() {
  constexpr int kSize = 128;
  return MakeImage(kSize, kSize, 3, [](int x, int y, uint8_t* px) {
    const float fx = static_cast<float>(x) / kSize, fy = static_cast<float>(y) / kSize;
    const float n = Noise2(fx * 8, fy * 8, 8, 11) * 0.6f + Noise2(fx * 32, fy * 32, 32, 5) * 0.4f;
    float r = 78 + 40 * n, g = 150 + 45 * n, b = 62 + 20 * n;
    // A few small flowers.
    const float f = Noise2(fx * 64, fy * 64, 64, 21);
    if (f > 0.86f) {
      const bool yellow = Noise2(fx * 4, fy * 4, 4, 2) > 0.5f;
      r = 250;
      g = yellow ? 225 : 250;
      b = yellow ? 80 : 245;
    }
    Put(px, r, g, b);
  });
}

PixelMatrix TreeImage() {
  constexpr int kW = 64, kH = 128;
  return MakeImage(kW, kH, 4, [](int x, int y, uint8_t* px) {
    const float dx = static_cast<float>(x) - 31.5f, dy = static_cast<float>(y) - 44.0f;
    const float wobble = 3.0f * Noise2(static_cast<float>(x) / 8, static_cast<float>(y) / 8, 8, 4);
    const bool crown = dx * dx + dy * dy * 0.8f < (28 + wobble) * (28 + wobble);
    const bool trunk = std::abs(dx) < 5.0f && y > 60;
    if (crown) {
      const float light = std::clamp(0.5f - (dx + dy) / 70.0f, 0.0f, 1.0f);
      const float n = Noise2(static_cast<float>(x) / 5, static_cast<float>(y) / 5, 16, 8);
      Put(px, 40 + 60 * light + 20 * n, 110 + 70 * light + 25 * n, 45 + 30 * light);
      px[3] = 255;
    } else if (trunk) {
      Put(px, 120, 80, 45);
      px[3] = 255;
    } else {
      Put(px, 60, 120, 50);
      px[3] = 0;
    }
  });
}

}  // namespace

CommonMaterials AddCommonMaterials(ProjectBuilder& b) {
  CommonMaterials m;
  m.card = static_cast<int32_t>(b.materials.size());
  CMaterial& card = b.AddMaterial(u"ZavroFukidashiMaterial", 1, 1, 1, 1);
  card.ambient = 4.0f;  // flat white paper: ambient * 0.25 = 1
  card.diffuse = 0.0f;
  m.rim = static_cast<int32_t>(b.materials.size());
  CMaterial& rim = b.AddMaterial(u"BalloonRim", 0.25f, 0.2f, 0.3f, 1);
  rim.ambient = 4.0f;
  rim.diffuse = 0.0f;
  m.sky = static_cast<int32_t>(b.materials.size());
  CMaterial& sky = b.AddMaterial(u"Sky", 1, 1, 1, 1);
  sky.ambient = 4.0f;
  sky.diffuse = 0.0f;
  sky.textureName = u"sky.bmp";
  sky.image = SkyImage();
  m.grass = static_cast<int32_t>(b.materials.size());
  CMaterial& grass = b.AddMaterial(u"Grass", 1, 1, 1, 1);
  grass.ambient = 2.6f;
  grass.diffuse = 0.4f;
  grass.textureName = u"grass.bmp";
  grass.image = GrassImage();
  m.tree = static_cast<int32_t>(b.materials.size());
  CMaterial& tree = b.AddMaterial(u"Tree", 1, 1, 1, 1);
  tree.ambient = 3.2f;
  tree.diffuse = 0.2f;
  tree.textureName = u"tree.png";
  tree.image = TreeImage();
  m.bark = static_cast<int32_t>(b.materials.size());
  b.AddMaterial(u"Bark", 0.5f, 0.35f, 0.2f, 1);
  return m;
}

CModel& AddBalloon(ProjectBuilder& b, const std::u16string& name, const CommonMaterials& mats,
                   float w, float h) {
  CModel& m = b.AddModel(name);
  m.smoothingAngle = 0;
  AddBalloonShape(m, w, h, mats.card, mats.rim);
  return m;
}

CModel& AddSkyBackdrop(ProjectBuilder& b, const CommonMaterials& mats) {
  CModel& m = b.AddModel(u"SkyBackground");
  AddScreenQuad(m, mats.sky, 0.0f);
  return m;
}

void AddTree(CModel& m, Vec3 base, float height, const CommonMaterials& mats) {
  const float half = height / 4;  // the image is twice as tall as wide
  const Vec3 c = Add(base, {0, height / 2, 0});
  // Four cards, back to back in two crossed planes, so the tree shows from every side.
  AddQuad(m, c, {half, 0, 0}, {0, height / 2, 0}, mats.tree);
  AddQuad(m, c, {-half, 0, 0}, {0, height / 2, 0}, mats.tree);
  AddQuad(m, c, {0, 0, half}, {0, height / 2, 0}, mats.tree);
  AddQuad(m, c, {0, 0, -half}, {0, height / 2, 0}, mats.tree);
}

void AddCommonSounds(ProjectBuilder& b, bool withLoop) {
  constexpr uint32_t kRate = 22050;
  const WaveFormat pcm = PcmFormat(1, kRate, 16);
  const float chimes[4] = {1046.5f, 1318.5f, 1568.0f, 2093.0f};
  const char16_t* names[4] = {u"chime1", u"chime2", u"chime3", u"chime4"};
  for (int i = 0; i < 4; ++i) b.AddSound(names[i], pcm, SynthChime(kRate, chimes[i], 0.9f));
  b.AddSound(u"bell", pcm, SynthChime(kRate, 523.25f, 1.6f, 0.35f));
  if (withLoop) {
    const float C5 = 523.25f, E5 = 659.25f, G5 = 783.99f, A4 = 440.0f, F4 = 349.23f, G4 = 392.0f,
                B4 = 493.88f, D5 = 587.33f;
    b.AddSound(u"loop", pcm,
               SynthLoop(kRate, {C5, E5, G5, E5, A4, C5, E5, C5, F4, A4, C5, A4, G4, B4, D5, B4},
                         {130.81f, 110.0f, 87.31f, 98.0f}, 0.3f));
  }
}

void FillEntries(ProjectBuilder& b, CTimeLine& t, int steps, EntryState state) {
  for (int i = 0; i < steps; ++i) b.AddEntry(t, state);
}

}  // namespace tolvani::demo
