// Builds the demo project that ships beside the player as Main.zvmov:
// a checkered floor, a spinning cube (one bone, one animation) and a speech
// balloon whose text leads through three steps, in Glide mode; a chime
// sounds as each later step begins.
//
//   tolvani-make-demo OUTPUT.zvmov
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "base/math.h"
#include "builder/project_builder.h"

using namespace tolvani;
using tolvani::builder::ProjectBuilder;

namespace {

Vec3 Add(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 Scale(Vec3 a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}

// Appends a quad centred at c with half extents u (right) and v (up) as
// seen from its front (normal u x v). Its two triangles run clockwise on
// screen when seen from the front, the winding the renderer draws.
void AddQuad(CModel& m, Vec3 c, Vec3 u, Vec3 v, int32_t material, bool cardUvs = false) {
  const int32_t base = static_cast<int32_t>(m.vertices.size());
  const Vec3 corners[4] = {Add(c, Add(Scale(u, -1), Scale(v, -1))), Add(c, Add(Scale(u, -1), v)),
                           Add(c, Add(u, v)), Add(c, Add(u, Scale(v, -1)))};
  // Texture coordinates: v = 0 is the image's first (top) row.
  const CUV uv[4] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
  const float repeat = cardUvs ? 1.0f : 4.0f;
  for (const Vec3& p : corners) {
    m.vertices.push_back(p);
    m.bones.push_back(0);
    m.parents.push_back(-1);
    m.weights.push_back(1.0f);
  }
  const int order[2][3] = {{0, 1, 2}, {0, 2, 3}};
  for (const auto& tri : order) {
    CFace face;
    face.material = material;
    for (int k : tri) {
      face.indices.push_back(base + k);
      face.uvs.push_back({uv[k].u * repeat, uv[k].v * repeat});
    }
    m.faces.Append(face);
  }
}

CMotion Pose(Vec3 position, Vec3 rotation = {0, 0, 0}, Vec3 scale = {1, 1, 1}) {
  CMotion m;
  m.position = position;
  m.rotation = rotation;
  m.scale = scale;
  return m;
}

// A two-note chime (E6 then B5, each fading out), 16-bit mono at 22050 Hz.
std::vector<uint8_t> Chime() {
  constexpr int kRate = 22050;
  constexpr float kNotes[2] = {1318.5f, 987.8f};
  constexpr int kNoteSamples = kRate * 35 / 100;
  std::vector<uint8_t> data;
  for (float frequency : kNotes) {
    for (int i = 0; i < kNoteSamples; ++i) {
      const float t = static_cast<float>(i) / kRate;
      const float envelope = std::exp(-6.0f * t) * std::min(1.0f, static_cast<float>(i) / 64.0f);
      const float v = 0.45f * envelope * std::sin(6.2831853f * frequency * t);
      const auto sample = static_cast<int16_t>(std::lround(v * 32767.0f));
      data.push_back(static_cast<uint8_t>(sample & 0xFF));
      data.push_back(static_cast<uint8_t>((sample >> 8) & 0xFF));
    }
  }
  return data;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tolvani-make-demo OUTPUT.zvmov\n");
    return 2;
  }
  ProjectBuilder b;
  b.version = 1.1f;
  b.playMode = 1;  // Glide
  b.fieldOfView = 30.0f;

  // Materials.
  CMaterial& floor = b.AddMaterial(u"Floor", 1, 1, 1, 1);
  floor.textureName = u"checker.bmp";
  floor.ambient = 1.2f;
  floor.diffuse = 0.7f;
  floor.image = PixelMatrix(64, 64, CV_8UC3);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const bool light = ((x / 32) + (y / 32)) % 2 == 0;
      uint8_t* px = floor.image.ptr<uint8_t>(y) + x * 3;
      px[0] = light ? 200 : 90;   // blue
      px[1] = light ? 220 : 120;  // green
      px[2] = light ? 230 : 110;  // red
    }
  }
  b.AddMaterial(u"CubeRed", 0.9f, 0.25f, 0.2f, 1).specular = 0.4f;
  b.AddMaterial(u"CubeYellow", 0.95f, 0.8f, 0.2f, 1).specular = 0.4f;
  b.AddMaterial(u"CubeGreen", 0.3f, 0.75f, 0.35f, 1).specular = 0.4f;
  for (int i = 1; i <= 3; ++i) b.materials[i].power = 20.0f;
  CMaterial& card = b.AddMaterial(u"ZavroFukidashiMaterial", 1, 1, 1, 1);
  card.ambient = 4.0f;  // a card reads as flat white paper
  card.diffuse = 0.0f;

  // Model 0 belongs to the camera timeline and has no geometry.
  b.AddModel(u"Camera");

  CModel& ground = b.AddModel(u"Ground");
  AddQuad(ground, {0, 0, 0}, {400, 0, 0}, {0, 0, -400}, 0);

  CModel& cube = b.AddModel(u"Cube");
  const float h = 60.0f;
  AddQuad(cube, {0, h, h}, {h, 0, 0}, {0, h, 0}, 1);       // front (+z)
  AddQuad(cube, {0, h, -h}, {-h, 0, 0}, {0, h, 0}, 1);     // back
  AddQuad(cube, {h, h, 0}, {0, 0, -h}, {0, h, 0}, 2);      // right (+x)
  AddQuad(cube, {-h, h, 0}, {0, 0, h}, {0, h, 0}, 2);      // left
  AddQuad(cube, {0, 2 * h, 0}, {h, 0, 0}, {0, 0, -h}, 3);  // top
  AddQuad(cube, {0, 0.5f, 0}, {h, 0, 0}, {0, 0, h}, 3);    // bottom
  // One bone turning about y: a full turn in 120 frames (3.6 s).
  Animation spin(1);
  for (int f = 0; f < 120; ++f) {
    spin[0].push_back(MatrixRotationY(static_cast<float>(f) * 6.2831853f / 120.0f));
  }
  cube.animations.push_back(spin);
  cube.animationNames.push_back(u"spin");

  CModel& balloon = b.AddModel(u"Balloon");
  AddQuad(balloon, {0, 0, 0}, {110, 0, 0}, {0, 70, 0}, 4, true);
  for (size_t i = 0; i < balloon.bones.size(); ++i) balloon.bones[i] = -1;

  // Timelines: 0 camera, then one per model; three steps.
  CTimeLine& camera = b.AddTimeline(u"Camera");
  CTimeLine& groundLine = b.AddTimeline(u"Ground");
  CTimeLine& cubeLine = b.AddTimeline(u"Cube");
  CTimeLine& balloonLine = b.AddTimeline(u"fukidashi");
  const char16_t* texts[3] = {u"Tolvani へようこそ! この吹き出しをクリックしてください。",
                              u"カメラが次の場面へ移ります。",
                              u"おしまい。クリックで最初に戻ります。"};
  const CMotion cameraPoses[3] = {Pose({0, -160, -850}, {10.7f, 0, 0}),
                                  Pose({60, -130, -620}, {11.0f, -14.0f, 0}),
                                  Pose({-40, -170, -700}, {13.0f, 10.0f, 0})};
  b.camera = cameraPoses[0];
  for (int step = 0; step < 3; ++step) {
    b.AddEntry(camera, 2).motion = cameraPoses[step];
    b.AddEntry(groundLine, 2).motion = Pose({0, 0, 0});
    CTimeLineData& c = b.AddEntry(cubeLine, 2);
    c.motion = Pose({-110.0f + 40.0f * static_cast<float>(step), 0, -40});
    c.animationName = u"spin";
    CTimeLineData& t = b.AddEntry(balloonLine, 2);
    t.motion = Pose({130, 120, -20});
    t.text = texts[step];
    t.jumpEnabled = step == 2 ? 1 : 0;
    t.jumpTarget = 0;
    if (step > 0) t.soundName = u"chime";
  }
  b.AddSound(u"chime", builder::PcmFormat(1, 22050, 16), Chime());

  try {
    b.WriteFile(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tolvani-make-demo: %s\n", e.what());
    return 1;
  }
  return 0;
}
