#include "builder/heavy_projects.h"

#include <cmath>

#include "builder/scene_kit.h"

namespace tolvani::builder {

namespace {

constexpr float kDistance = 600.0f;
// Half the view's height at kDistance with the default 30 degree field of
// view is about 160 units; keep everything within +-140.
constexpr float kHalfView = 140.0f;

std::u16string Ascii(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

// A Glide project with the camera model and its timeline (one entry).
struct Stage {
  ProjectBuilder b;
  CameraRig rig{{0, 0, 0}, kDistance, 0, 0};

  Stage() {
    b.version = 1.1f;
    b.playMode = PlayMode::kGlide;
    b.AddModel(u"Camera");
    CTimeLine& camera = b.AddTimeline(u"Camera");
    b.AddEntry(camera, EntryState::kShown).motion = rig.Motion();
    b.camera = rig.Motion();
  }

  // A model holding one quad of half extents (w, h) facing the camera, shown
  // at step 0 at view-space point (x, y); its timeline entry is returned.
  CTimeLineData& AddQuadModel(const std::u16string& name, float x, float y, float w, float h,
                              int32_t material) {
    CModel& m = b.AddModel(name);
    m.smoothingAngle = 0;
    AddQuad(m, {0, 0, 0}, {w, 0, 0}, {0, h, 0}, material);
    CTimeLine& t = b.AddTimeline(name);
    CTimeLineData& e = b.AddEntry(t, EntryState::kShown);
    e.motion = rig.Facing({x, y, -kDistance});
    return e;
  }

  int32_t CardMaterial() {
    const int32_t index = static_cast<int32_t>(b.materials.size());
    CMaterial& card = b.AddMaterial(u"ZavroFukidashiMaterial", 1, 1, 1, 1);
    card.ambient = 4.0f;  // flat white: ambient * 0.25 = 1
    card.diffuse = 0.0f;
    return index;
  }
};

}  // namespace

ProjectBuilder MakeBalloonCrowd(int count) {
  Stage s;
  const int32_t card = s.CardMaterial();
  const int side = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count)))));
  const float cell = 2 * kHalfView / static_cast<float>(side);
  for (int i = 0; i < count; ++i) {
    const float x = -kHalfView + cell * (static_cast<float>(i % side) + 0.5f);
    const float y = kHalfView - cell * (static_cast<float>(i / side) + 0.5f);
    const std::u16string number = Ascii(std::to_string(i));
    CTimeLineData& e =
        s.AddQuadModel(u"fukidashi" + number, x, y, 0.45f * cell, 0.45f * cell, card);
    e.text = u"Balloon " + number + u": a card of its own";
  }
  return std::move(s.b);
}

ProjectBuilder MakeBalloonWithText(const std::u16string& text) {
  Stage s;
  const int32_t card = s.CardMaterial();
  s.AddQuadModel(u"fukidashi", 0, 0, kHalfView, kHalfView, card).text = text;
  return std::move(s.b);
}

ProjectBuilder MakeSoundCrowd(int timelines, int sounds, int nameLength) {
  Stage s;
  const WaveFormat pcm = PcmFormat(1, 8000, 8);
  for (int i = 0; i + 1 < sounds; ++i) {
    std::u16string name = Ascii(std::to_string(i));
    name.insert(0, static_cast<size_t>(std::max(0, nameLength - static_cast<int>(name.size()))),
                u's');
    s.b.AddSound(name, pcm, {128, 128});
  }
  if (sounds > 0) s.b.AddSound(u"bell", pcm, {128, 128});
  for (int i = 0; i < timelines; ++i) {
    CTimeLine& t = s.b.AddTimeline(u"speaker");
    s.b.AddEntry(t, EntryState::kShown).soundName = u"BELL";
  }
  return std::move(s.b);
}

ProjectBuilder MakeTinyTextures(int count) {
  Stage s;
  for (int i = 0; i < count; ++i) s.b.AddTexturedMaterial(u"", u"t", 1, 1, 3);
  return std::move(s.b);
}

ProjectBuilder MakeLargeImage(int side) {
  Stage s;
  s.b.AddTexturedMaterial(u"Picture", u"picture.bmp", side, side, 3);
  s.AddQuadModel(u"Picture", 0, 0, kHalfView, kHalfView, 0);
  return std::move(s.b);
}

ProjectBuilder MakeLargeModel(int cells) {
  Stage s;
  s.b.AddMaterial(u"Clay", 0.8f, 0.6f, 0.4f, 1);
  CModel& m = s.b.AddModel(u"Sheet");
  const int n = cells + 1;
  const float step = 2 * kHalfView / static_cast<float>(cells);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const float px = -kHalfView + step * static_cast<float>(x);
      const float py = kHalfView - step * static_cast<float>(y);
      AddVertex(m, {px, py, 4.0f * std::sin(px / 9.0f) * std::cos(py / 7.0f)});
    }
  }
  m.faces.indices.reserve(static_cast<size_t>(cells) * cells * 6);
  for (int y = 0; y < cells; ++y) {
    for (int x = 0; x < cells; ++x) {
      const int32_t a = y * n + x, b = a + 1, c = a + n, d = c + 1;
      AddTriangle(m, a, b, d, {0, 0, 1}, 0);
      AddTriangle(m, a, d, c, {0, 0, 1}, 0);
    }
  }
  CTimeLine& t = s.b.AddTimeline(u"Sheet");
  s.b.AddEntry(t, EntryState::kShown).motion = s.rig.Facing({0, 0, -kDistance});
  return std::move(s.b);
}

}  // namespace tolvani::builder
