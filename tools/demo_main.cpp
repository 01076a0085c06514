// Main.zvmov: the demo that opens at start-up. A little character, Poko,
// greets the viewer, shows a backdrop, skeletal animation with changing
// colours, a choice that jumps back, and says goodbye behind a fade-out.
// Glide mode; every step's balloon sits on the view's vertical centre line
// after the glide, inside the top nine tenths of the view and at most 80 %
// of its width at 4:3, so it is on screen at any width from 4:3 to 21:9.
// Texts are broken by hand into lines the card holds inside its outline.
#include <cmath>

#include "demo_common.h"
#include "demo_projects.h"

namespace tolvani::demo {

using namespace builder;

namespace {

constexpr float kPi = 3.14159265f;
constexpr int kSteps = 10;
// The balloon model's size is made for a camera 700 units away; entries
// scale it with the step's distance, so it covers the same part of the view.
constexpr float kReference = 700.0f;
// Balloon sizes and places as fractions of the step's camera distance d,
// at 0.7 d in front of the eye, where the view's half height is 0.188 d and
// its half width at 4:3 0.25 d (30 degree vertical field of view).
constexpr float kBalloonHalfWidth = 0.13f;
constexpr float kBalloonHalfHeight = 0.075f;
constexpr float kBalloonRise = 0.085f;  // top edge at 0.164 d with the rim
constexpr float kChoiceHalfWidth = 0.085f;
constexpr float kChoiceOffset = 0.11f;  // outer edges at 0.2 d

// Poko's two bones: 0 the body (bobbing, turning), 1 the right arm, which
// turns about the shoulder on top of the body's motion.
const Vec3 kShoulder{48, 95, 0};

Matrix4 ArmMatrix(float radians, const Matrix4& body) {
  return MatrixMultiply(
      MatrixMultiply(MatrixMultiply(MatrixTranslation(-kShoulder.x, -kShoulder.y, -kShoulder.z),
                                    MatrixRotationZ(radians)),
                     MatrixTranslation(kShoulder.x, kShoulder.y, kShoulder.z)),
      body);
}

// An animation of two bone tracks over `frames` frames.
Animation MakeTwoBoneAnimation(int frames, float (*bob)(float), float (*turn)(float),
                               float (*arm)(float)) {
  Animation a(2);
  for (int f = 0; f < frames; ++f) {
    const float t = static_cast<float>(f) / static_cast<float>(frames);
    const Matrix4 body = MatrixMultiply(MatrixRotationY(turn(t)), MatrixTranslation(0, bob(t), 0));
    a[0].push_back(body);
    a[1].push_back(ArmMatrix(arm(t), body));
  }
  return a;
}

int32_t Index(const ProjectBuilder& b) {
  return static_cast<int32_t>(b.materials.size());
}

CMaterial& Plain(ProjectBuilder& b, const char16_t* name, float r, float g, float bl,
                 float specular = 0.2f) {
  CMaterial& m = b.AddMaterial(name, r, g, bl, 1);
  m.ambient = 1.6f;
  m.diffuse = 0.75f;
  m.specular = specular;
  m.power = 24.0f;
  return m;
}

void BuildPoko(ProjectBuilder& b, CModel& poko) {
  // Substitutable materials first: body and cheek, then their variants.
  const int32_t base = Index(b);
  Plain(b, u"PokoBody", 0.45f, 0.72f, 0.95f);
  Plain(b, u"PokoCheek", 0.98f, 0.75f, 0.78f);
  Plain(b, u"PokoBodyDance", 1.0f, 0.62f, 0.25f);
  Plain(b, u"PokoCheekBlush", 0.95f, 0.3f, 0.38f);
  const int32_t eye = Index(b);
  Plain(b, u"PokoEye", 0.08f, 0.07f, 0.12f, 0.8f);
  const int32_t belly = Index(b);
  Plain(b, u"PokoBelly", 0.98f, 0.95f, 0.85f);
  const int32_t feet = Index(b);
  Plain(b, u"PokoFeet", 0.95f, 0.6f, 0.2f);
  const int32_t body = base, cheek = base + 1;

  poko.smoothingAngle = 70.0f;
  const Skin onBody{0, -1, 1};
  AddEllipsoid(poko, {0, 75, 0}, {58, 68, 52}, body, 18, 12, onBody);
  AddEllipsoid(poko, {0, 66, 30}, {38, 44, 26}, belly, 14, 8, onBody);
  AddEllipsoid(poko, {0, 165, 0}, {50, 46, 46}, body, 18, 12, onBody);
  AddEllipsoid(poko, {-30, 207, 0}, {12, 24, 10}, body, 10, 6, onBody);
  AddEllipsoid(poko, {30, 207, 0}, {12, 24, 10}, body, 10, 6, onBody);
  AddEllipsoid(poko, {-18, 172, 42}, {7, 9, 5}, eye, 10, 6, onBody);
  AddEllipsoid(poko, {18, 172, 42}, {7, 9, 5}, eye, 10, 6, onBody);
  AddEllipsoid(poko, {-32, 154, 37}, {10, 6, 5}, cheek, 10, 6, onBody);
  AddEllipsoid(poko, {32, 154, 37}, {10, 6, 5}, cheek, 10, 6, onBody);
  AddEllipsoid(poko, {-64, 92, 0}, {28, 11, 11}, body, 10, 6, onBody);
  // The right arm: bone 1, blended half with the body at the shoulder.
  AddEllipsoid(poko, {66, 95, 0}, {30, 11, 11}, body, 10, 6, {}, [](Vec3 p) {
    return p.x < 52 ? Skin{1, 0, 0.5f} : Skin{1, -1, 1.0f};
  });
  AddEllipsoid(poko, {-24, 9, 14}, {20, 9, 26}, feet, 10, 6);
  AddEllipsoid(poko, {24, 9, 14}, {20, 9, 26}, feet, 10, 6);

  poko.animationNames = {u"idle", u"wave", u"dance"};
  poko.animations.push_back(MakeTwoBoneAnimation(
      60, [](float t) { return 3.0f * std::sin(2 * kPi * t); }, [](float) { return 0.0f; },
      [](float t) { return -0.15f + 0.08f * std::sin(2 * kPi * t); }));
  poko.animations.push_back(MakeTwoBoneAnimation(
      40, [](float t) { return 2.0f * std::sin(2 * kPi * t); }, [](float) { return 0.0f; },
      [](float t) { return 1.1f + 0.45f * std::sin(4 * kPi * t); }));
  poko.animations.push_back(MakeTwoBoneAnimation(
      60, [](float t) { return 12.0f * std::abs(std::sin(2 * kPi * t)); },
      [](float t) { return 0.35f * std::sin(2 * kPi * t); },
      [](float t) { return 0.9f + 0.7f * std::sin(8 * kPi * t); }));
  // One substitution list per animation, counted from the body material.
  poko.materialSetBase = base;
  poko.materialSets = {{0, 1}, {0, 3}, {2, 3}};
}

void BuildHouse(ProjectBuilder& b, CModel& house) {
  const int32_t wall = Index(b);
  Plain(b, u"Wall", 0.96f, 0.9f, 0.75f);
  const int32_t roof = Index(b);
  Plain(b, u"Roof", 0.8f, 0.25f, 0.2f);
  const int32_t door = Index(b);
  Plain(b, u"Door", 0.45f, 0.28f, 0.15f);
  const int32_t glass = Index(b);
  Plain(b, u"Window", 0.55f, 0.8f, 0.95f, 0.9f);
  const Vec3 c{-400, 0, -330};
  AddBox(house, Add(c, {0, 70, 0}), {90, 70, 70}, wall);
  AddQuad(house, Add(c, {0, 170, 40}), {105, 0, 0}, {0, 32, -42}, roof);
  AddQuad(house, Add(c, {0, 170, -40}), {-105, 0, 0}, {0, 32, 42}, roof);
  for (float side : {-1.0f, 1.0f}) {
    const int32_t a = AddVertex(house, Add(c, {side * 90, 140, -70}));
    const int32_t m = AddVertex(house, Add(c, {side * 90, 202, 0}));
    const int32_t d = AddVertex(house, Add(c, {side * 90, 140, 70}));
    AddTriangle(house, a, m, d, {side, 0, 0}, wall);
  }
  AddQuad(house, Add(c, {-30, 45, 71}), {18, 0, 0}, {0, 45, 0}, door);
  AddQuad(house, Add(c, {35, 85, 71}), {20, 0, 0}, {0, 18, 0}, glass);
}

PixelMatrix SparkleImage() {
  return MakeImage(256, 256, 4, [](int x, int y, uint8_t* px) {
    px[0] = 140;
    px[1] = 235;
    px[2] = 255;
    px[3] = 0;
    // Four-pointed stars on a coarse grid, only near the left, right and
    // bottom edges of the view: the balloon above Poko stays clear at every
    // aspect ratio. (Image rows run top to bottom.)
    const int cx = (x / 32) * 32 + 16, cy = (y / 32) * 32 + 16;
    const float edge = std::min(std::min(cx, 255 - cx), 255 - cy);
    if (edge > 48 || Noise2(static_cast<float>(cx) / 32, static_cast<float>(cy) / 32, 8, 5) < 0.45f)
      return;
    const float dx = std::abs(static_cast<float>(x - cx)),
                dy = std::abs(static_cast<float>(y - cy));
    const float star = std::max(0.0f, 1.0f - (dx * dy) / 6.0f - (dx + dy) / 14.0f);
    px[3] = static_cast<uint8_t>(std::min(255.0f, star * 400.0f));
  });
}

}  // namespace

ProjectBuilder MakeMainDemo() {
  ProjectBuilder b;
  b.version = 1.1f;
  b.playMode = PlayMode::kGlide;
  b.glideDuration = 1500;
  b.fadeDuration = 1500;
  b.fieldOfView = 30.0f;
  b.backgroundColor = 0x00C8A070;  // shown only behind the backdrop's edges
  const CommonMaterials mats = AddCommonMaterials(b);

  // Models, one per timeline, in drawing order.
  b.AddModel(u"Camera");
  AddSkyBackdrop(b, mats);
  CModel& ground = b.AddModel(u"Ground");
  AddQuad(ground, {0, 0, 0}, {1800, 0, 0}, {0, 0, -1800}, mats.grass, 14.0f);
  CModel& house = b.AddModel(u"House");
  BuildHouse(b, house);
  CModel& poko = b.AddModel(u"Poko");
  BuildPoko(b, poko);
  CModel& trees = b.AddModel(u"Trees");
  for (const auto& t : {std::pair<Vec3, float>{{-650, 0, -560}, 300},
                        {{-180, 0, -760}, 360},
                        {{280, 0, -600}, 320},
                        {{600, 0, -320}, 280},
                        {{760, 0, -860}, 380},
                        {{-860, 0, -220}, 300},
                        {{-1000, 0, 250}, 260},
                        {{1050, 0, 150}, 240}})
    AddTree(trees, t.first, t.second, mats);
  AddBalloon(b, u"fukidashi", mats, kBalloonHalfWidth * kReference,
             kBalloonHalfHeight * kReference);
  AddBalloon(b, u"fukidashi_again", mats, kChoiceHalfWidth * kReference, 0.06f * kReference);
  AddBalloon(b, u"fukidashi_next", mats, kChoiceHalfWidth * kReference, 0.06f * kReference);
  const int32_t sparkle = Index(b);
  CMaterial& sparkleMat = b.AddMaterial(u"Sparkles", 1, 1, 1, 1);
  sparkleMat.ambient = 4.0f;
  sparkleMat.diffuse = 0.0f;
  sparkleMat.textureName = u"sparkles.png";
  sparkleMat.image = SparkleImage();
  AddScreenQuad(b.AddModel(u"Sparkles"), sparkle, 0.9f);
  const int32_t fadeIn = Index(b);
  CMaterial& fadeInMat = b.AddMaterial(u"ZavroFadeInMaterial", 0.06f, 0.05f, 0.12f, 1);
  fadeInMat.ambient = 4.0f;
  fadeInMat.diffuse = 0.0f;
  AddScreenQuad(b.AddModel(u"FadeIn"), fadeIn, 0.95f);
  const int32_t fadeOut = Index(b);
  CMaterial& fadeOutMat = b.AddMaterial(u"ZavroFadeOutMaterial", 0.06f, 0.05f, 0.12f, 0);
  fadeOutMat.ambient = 4.0f;
  fadeOutMat.diffuse = 0.0f;
  AddScreenQuad(b.AddModel(u"FadeOut"), fadeOut, 0.95f);

  // Timelines, one per model.
  CTimeLine& camera = b.AddTimeline(u"Camera");
  CTimeLine& sky = b.AddTimeline(u"SkyBackground");
  CTimeLine& groundLine = b.AddTimeline(u"Ground");
  CTimeLine& houseLine = b.AddTimeline(u"House");
  CTimeLine& pokoLine = b.AddTimeline(u"Poko");
  CTimeLine& treeLine = b.AddTimeline(u"Trees");
  CTimeLine& balloon = b.AddTimeline(u"fukidashi");
  CTimeLine& again = b.AddTimeline(u"fukidashi_again");
  CTimeLine& next = b.AddTimeline(u"fukidashi_next");
  CTimeLine& sparkles = b.AddTimeline(u"SparkleEffect");
  CTimeLine& fadeInLine = b.AddTimeline(u"FadeIn");
  CTimeLine& fadeOutLine = b.AddTimeline(u"FadeOut");
  for (CTimeLine* t : {&camera, &sky, &groundLine, &houseLine, &pokoLine, &treeLine, &balloon,
                       &again, &next, &sparkles, &fadeInLine, &fadeOutLine})
    FillEntries(b, *t, kSteps, EntryState::kHidden);
  for (CTimeLine* t : {&camera, &sky, &groundLine, &houseLine, &pokoLine, &treeLine})
    for (auto& e : t->entries) e.state = EntryState::kShown;

  struct Step {
    CameraRig rig;
    const char16_t* animation;
    const char16_t* text;  // the main balloon; null: hidden
    const char16_t* sound;
  };
  const Vec3 target{0, 175, 0};
  const Step steps[kSteps] = {
      {{target, 900, 0, 6}, u"idle", u"Tolvani へようこそ!\nWelcome to Tolvani!", nullptr},
      {{target, 700, 0, 8},
       u"wave",
       u"やあ、ぼくはポコ!\nふきだしをクリックすると\nお話が進むよ。\nHi, I'm Poko! Click a "
       u"balloon\nto move the story on.",
       u"chime1"},
      {{target, 720, -28, 8},
       u"idle",
       u"Tolvani は 3D のまんがを\n再生するプレーヤーです。\nクリックでカメラが次の場面へ。\n"
       u"Tolvani plays 3D cartoons:\na click moves the camera\non to the next scene.",
       u"chime2"},
      {{target, 760, 32, 4},
       u"idle",
       u"うしろの山と空は背景です。\nいつもいちばん奥に描かれます。\nThe sky and the mountains "
       u"are\na backdrop, drawn behind\neverything else.",
       u"chime3"},
      {{target, 680, 12, 10},
       u"wave",
       u"ぼくの腕は骨で動くんだ。\nほっぺの色もアニメーション\nと一緒に変わるよ。\nMy arm moves on "
       u"bones, and my\ncheeks change colour with it.",
       u"chime2"},
      {{target, 700, -12, 8},
       u"dance",
       u"ダンスの時間!\n体の色も変わるよ。\nDance time!\nWatch my colours change.",
       u"chime4"},
      {{target, 740, 0, 8}, u"idle", nullptr, nullptr},
      {{target, 700, 25, 10},
       u"wave",
       u"楽しかった?\nそろそろお別れの時間です。\nDid you enjoy it? It is almost\ntime to say "
       u"goodbye.",
       u"chime3"},
      {{target, 950, 0, 12}, u"wave", u"さようなら!\nGoodbye!", u"停止"},
      {{target, 820, 0, 6},
       u"idle",
       u"おしまい\nThe End\n\nクリックで最初から\nClick to play again",
       u"bell"},
  };
  b.camera = steps[0].rig.Motion();
  for (int s = 0; s < kSteps; ++s) {
    const Step& st = steps[s];
    const float d = st.rig.distance;
    const float scale = d / kReference;
    camera.entries[s].motion = st.rig.Motion();
    pokoLine.entries[s].animationName = st.animation;
    pokoLine.entries[s].motion = Pose({0, 0, 0}, {0, -st.rig.yawDeg, 0});
    if (st.text) {
      CTimeLineData& e = balloon.entries[s];
      e.state = EntryState::kShown;
      e.text = st.text;
      if (st.sound) e.soundName = st.sound;  // the fade-in opens in silence
      e.motion = st.rig.Facing({0, kBalloonRise * d, -0.7f * d});
      e.motion.scale = {scale, scale, scale};
    }
  }
  // Step 6: a choice. "Once more" jumps back to the dance, "Next" goes on.
  {
    const CameraRig& rig = steps[6].rig;
    const float d = rig.distance, scale = d / kReference;
    CTimeLineData& a = again.entries[6];
    a.state = EntryState::kShown;
    a.text = u"もう一回!\nOnce more!";
    a.soundName = u"chime1";
    a.jumpEnabled = 1;
    a.jumpTarget = 5;
    a.motion = rig.Facing({-kChoiceOffset * d, kBalloonRise * d, -0.7f * d});
    a.motion.scale = {scale, scale, scale};
    CTimeLineData& n = next.entries[6];
    n.state = EntryState::kShown;
    n.text = u"つぎへ\nNext";
    n.motion = rig.Facing({kChoiceOffset * d, kBalloonRise * d, -0.7f * d});
    n.motion.scale = {scale, scale, scale};
  }
  // The end: back to the start.
  balloon.entries[9].jumpEnabled = 1;
  balloon.entries[9].jumpTarget = 0;
  // The background loop starts with Poko's greeting and runs until the
  // goodbye stops every sound.
  groundLine.entries[1].soundName = u"loop";
  groundLine.entries[1].soundLoops = true;
  sparkles.entries[5].state = EntryState::kShown;
  fadeInLine.entries[0].state = EntryState::kShown;
  fadeOutLine.entries[8].state = EntryState::kShown;
  AddCommonSounds(b, true);
  return b;
}

}  // namespace tolvani::demo
