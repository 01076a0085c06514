// The examples: one small project per play mode other than Glide.
//  walk.zvmov     Walk: a path up a slope; a balloon opens a web page.
//  explore.zvmov  Explore: terraces; a bell and a well speak when looked at.
//  scroll.zvmov   Scroll: the wheel moves the camera around a village.
//  orbit.zvmov    Orbit: balloons on a ring around a clock tower.
#include <cmath>

#include "demo_common.h"
#include "demo_projects.h"

namespace tolvani::demo {

using namespace builder;

namespace {

constexpr float kPi = 3.14159265f;

int32_t Index(const ProjectBuilder& b) {
  return static_cast<int32_t>(b.materials.size());
}

int32_t Plain(ProjectBuilder& b, const char16_t* name, float r, float g, float bl) {
  const int32_t index = Index(b);
  CMaterial& m = b.AddMaterial(name, r, g, bl, 1);
  m.ambient = 1.6f;
  m.diffuse = 0.75f;
  m.specular = 0.2f;
  m.power = 20.0f;
  return index;
}

// A new project of `mode` with the common materials, the camera model and
// the sky backdrop (models and timelines 0 and 1).
struct Scene {
  ProjectBuilder b;
  CommonMaterials mats;
  int steps = 0;
  std::deque<CTimeLine*> lines;

  Scene(PlayMode mode, int stepCount) : steps(stepCount) {
    b.version = 1.1f;
    b.playMode = mode;
    b.fieldOfView = 30.0f;
    mats = AddCommonMaterials(b);
    b.AddModel(u"Camera");
    Line(u"Camera", EntryState::kShown);
    AddSkyBackdrop(b, mats);
    Line(u"SkyBackground", EntryState::kShown);
  }
  // A timeline with one entry per step, all in `state`.
  CTimeLine& Line(const std::u16string& name, EntryState state) {
    CTimeLine& t = b.AddTimeline(name);
    FillEntries(b, t, steps, state);
    lines.push_back(&t);
    return t;
  }
  CTimeLine& camera() { return *lines[0]; }
};

// A balloon shown at `step` only, at `pose`, with text and sound.
CTimeLineData& ShowAt(CTimeLine& t, int step, const CMotion& pose, const char16_t* text,
                      const char16_t* sound = u"") {
  CTimeLineData& e = t.entries[static_cast<size_t>(step)];
  e.state = EntryState::kShown;
  e.motion = pose;
  e.text = text;
  e.soundName = sound;
  return e;
}

// Walkable ground: the terrain is drawn with grass and walked on through
// the invisible "Walkable" faces. These cover only the middle of the drawn
// ground, so a walker stopped at their edge still sees ground ahead and
// never stands at the end of the world looking at the backdrop alone.
constexpr float kDrawnGroundHalf = 2400.0f;
constexpr float kWalkableHalf = 1150.0f;

CModel& AddWalkableGround(Scene& s, const std::function<float(float, float)>& height) {
  const int32_t walkable = Plain(s.b, u"Walkable", 1, 0, 1);
  CModel& ground = s.b.AddModel(u"Ground");
  AddTerrain(ground, kDrawnGroundHalf, 48, height, s.mats.grass, -1, 24.0f);
  AddTerrain(ground, kWalkableHalf, 23, height, -1, walkable, 1.0f);
  ground.collisionMaterial = walkable;
  s.Line(u"Ground", EntryState::kShown);
  return ground;
}

}  // namespace

ProjectBuilder MakeWalkExample() {
  constexpr int kSteps = 5;
  Scene s(PlayMode::kWalk, kSteps);
  // A meadow that rises 100 units between z = 0 and z = -1000.
  auto height = [](float x, float z) {
    const float t = std::clamp(-z / 1000.0f, 0.0f, 1.0f);
    return 100.0f * t * t * (3 - 2 * t) + 12.0f * std::sin(x / 160.0f) * std::sin(z / 190.0f);
  };
  AddWalkableGround(s, height);
  CModel& trees = s.b.AddModel(u"Trees");
  for (int i = 0; i < 12; ++i) {
    const float z = 900.0f - 230.0f * static_cast<float>(i);
    const float x = (i % 2 ? 1.0f : -1.0f) * (330.0f + 60.0f * static_cast<float>(i % 3));
    AddTree(trees, {x, height(x, z) - 5, z}, 280.0f + 20.0f * static_cast<float>(i % 4), s.mats);
  }
  s.Line(u"Trees", EntryState::kShown);
  AddBalloon(s.b, u"fukidashi", s.mats, 100, 64);
  CTimeLine& talk = s.Line(u"fukidashi", EntryState::kHidden);

  const char16_t* texts[kSteps] = {
      u"歩いてみよう!\n矢印キーか WASD で歩けます。\nドラッグで向きを変えられます。\nLet's walk! "
      u"Use the arrow keys\nor WASD; drag to look around.",
      u"坂を上ると、目の高さも\n地面に合わせて変わります。\nWalk up the slope:\nyour eyes follow "
      u"the ground.",
      u"このふきだしをクリックすると\nWeb ページ (Qt のドキュメント)\nが開きます。\nClicking this "
      u"balloon opens\na web page: the Qt documentation.",
      u"https://doc.qt.io/\nQt のドキュメント / the Qt documentation",
      u"お散歩おつかれさま!\nクリックで最初から。\nThanks for the walk!\nClick to start again.",
  };
  const char16_t* sounds[kSteps] = {u"chime1", u"chime2", u"chime3", u"chime4", u"bell"};
  for (int i = 0; i < kSteps; ++i) {
    const float z = 1000.0f - 450.0f * static_cast<float>(i);
    const Vec3 eye{0, height(0, z) + 200, z};
    CameraRig rig{Add(eye, {0, 0, -700}), 700, 0, 0};
    s.camera().entries[i].motion = rig.Motion();
    // Halfway between the eye and eye height over the balloon's ground, so
    // the balloon stays well inside the view where the slope is steep.
    const float bz = z - 600;
    CMotion pose = Pose({0, (eye.y + height(0, bz) + 200) / 2 + 15, bz});
    ShowAt(talk, i, pose, texts[i], sounds[i]);
  }
  talk.entries[kSteps - 1].jumpEnabled = 1;
  talk.entries[kSteps - 1].jumpTarget = 0;
  s.b.camera = s.camera().entries[0].motion;
  AddCommonSounds(s.b, false);
  return std::move(s.b);
}

ProjectBuilder MakeExploreExample() {
  constexpr int kSteps = 4;
  Scene s(PlayMode::kExplore, kSteps);
  // Two terraces joined by a ramp: 0 in front, 90 behind z = -450.
  auto height = [](float, float z) {
    const float t = std::clamp((-z - 300.0f) / 150.0f, 0.0f, 1.0f);
    return 90.0f * t;
  };
  AddWalkableGround(s, height);
  CModel& trees = s.b.AddModel(u"Trees");
  for (int i = 0; i < 10; ++i) {
    const float a = 2 * kPi * static_cast<float>(i) / 10.0f;
    const float x = 1100 * std::cos(a), z = 1100 * std::sin(a);
    AddTree(trees, {x, height(x, z) - 5, z}, 320, s.mats);
  }
  s.Line(u"Trees", EntryState::kShown);

  // Objects that speak when the walker looks at them (no bones: they start
  // their sound once per step when they come into the view's middle band).
  const int32_t stone = Plain(s.b, u"Stone", 0.65f, 0.62f, 0.58f);
  const int32_t brass = Plain(s.b, u"Brass", 0.95f, 0.75f, 0.3f);
  const int32_t water = Plain(s.b, u"Water", 0.3f, 0.55f, 0.9f);
  CModel& bell = s.b.AddModel(u"BellTower");
  AddBox(bell, {-45, 130, 0}, {10, 130, 10}, stone);
  AddBox(bell, {45, 130, 0}, {10, 130, 10}, stone);
  AddBox(bell, {0, 270, 0}, {65, 10, 20}, stone);
  AddEllipsoid(bell, {0, 215, 0}, {32, 40, 32}, brass, 14, 8);
  CTimeLine& bellLine = s.Line(u"BellTower", EntryState::kShown);
  CModel& well = s.b.AddModel(u"Well");
  AddEllipsoid(well, {0, 30, 0}, {70, 30, 70}, stone, 16, 6);
  AddEllipsoid(well, {0, 58, 0}, {55, 4, 55}, water, 16, 4);
  CTimeLine& wellLine = s.Line(u"Well", EntryState::kShown);
  const CMotion bellPose = Pose({-500, height(0, -900), -900});
  const CMotion wellPose = Pose({500, 0, -100});
  for (int i = 0; i < kSteps; ++i) {
    bellLine.entries[i].motion = bellPose;
    bellLine.entries[i].soundName = u"bell";
    wellLine.entries[i].motion = wellPose;
    wellLine.entries[i].soundName = u"chime4";
  }

  AddBalloon(s.b, u"fukidashi", s.mats, 80, 52);
  CTimeLine& talk = s.Line(u"fukidashi", EntryState::kHidden);
  struct Spot {
    Vec3 eye;
    float yaw;          // degrees; ignored when looking at an object
    const CMotion* at;  // an object that should speak at the step start, or null
    const char16_t* text;
  };
  // Each step starts looking at its balloon; at steps 1 and 2 a speaking
  // object stands a little to the right of it, inside the view's middle band.
  const Spot spots[kSteps] = {
      {{0, 200, 700},
       0,
       nullptr,
       u"ここは探検モード。\n見つめたものがしゃべります。\nExplore: things speak when\nyou look at "
       u"them. Look at a\nballoon, then click it."},
      {{-150, 200, 200},
       0,
       &bellPose,
       u"右の鐘を見てごらん。\n坂を上ると高い段に出ます。\nLook at the bell tower; the\nramp leads "
       u"up to the terrace."},
      {{100, 200, 700},
       0,
       &wellPose,
       u"井戸も見つめるとしゃべるよ。\nThe well speaks too, once\nper step, when you look at it."},
      {{0, 290, -700},
       180,
       nullptr,
       u"探検はおしまい。\nクリックで最初から。\nThat's all!\nClick to start again."},
  };
  constexpr float kRadToDeg = 57.29578f;
  for (int i = 0; i < kSteps; ++i) {
    const Spot& sp = spots[i];
    float yaw = sp.yaw;
    if (sp.at) {
      const Vec3 d = Sub(sp.at->position, sp.eye);
      yaw = std::atan2(d.x, -d.z) * kRadToDeg - 6.0f;
    }
    CameraRig rig{{0, 0, 0}, 600, yaw, 0};
    // Place the rig so that its eye is at the spot.
    rig.target = Add(sp.eye, Sub(rig.target, rig.Eye()));
    rig.target.y = sp.eye.y;
    s.camera().entries[i].motion = rig.Motion();
    const float side = sp.at ? -42.0f : 0.0f;  // about 4 degrees to the left
    ShowAt(talk, i, rig.Facing({side, 20, -600}), sp.text, u"chime1");
  }
  talk.entries[kSteps - 1].jumpEnabled = 1;
  talk.entries[kSteps - 1].jumpTarget = 0;
  s.b.camera = s.camera().entries[0].motion;
  AddCommonSounds(s.b, false);
  return std::move(s.b);
}

ProjectBuilder MakeScrollExample() {
  constexpr int kSteps = 7;
  Scene s(PlayMode::kScroll, kSteps);
  CModel& ground = s.b.AddModel(u"Ground");
  AddQuad(ground, {0, 0, 0}, {1800, 0, 0}, {0, 0, -1800}, s.mats.grass, 14.0f);
  s.Line(u"Ground", EntryState::kShown);
  // A ring of little houses around a pond.
  const int32_t wall = Plain(s.b, u"Wall", 0.96f, 0.9f, 0.75f);
  const int32_t roofs[3] = {Plain(s.b, u"RoofRed", 0.8f, 0.25f, 0.2f),
                            Plain(s.b, u"RoofBlue", 0.25f, 0.4f, 0.8f),
                            Plain(s.b, u"RoofGreen", 0.3f, 0.6f, 0.3f)};
  const int32_t water = Plain(s.b, u"Pond", 0.3f, 0.55f, 0.9f);
  CModel& village = s.b.AddModel(u"Village");
  for (int i = 0; i < 6; ++i) {
    const float a = 2 * kPi * static_cast<float>(i) / 6.0f;
    const Vec3 c{520 * std::sin(a), 0, -520 * std::cos(a)};
    AddBox(village, Add(c, {0, 60, 0}), {70, 60, 70}, wall);
    AddBox(village, Add(c, {0, 135, 0}), {80, 15, 80}, roofs[i % 3]);
  }
  AddEllipsoid(village, {0, 1, 0}, {260, 2, 200}, water, 24, 4);
  AddTree(village, {-200, 0, 300}, 300, s.mats);
  AddTree(village, {240, 0, 280}, 260, s.mats);
  s.Line(u"Village", EntryState::kShown);
  AddBalloon(s.b, u"fukidashi", s.mats, 91, 56);
  CTimeLine& talk = s.Line(u"fukidashi", EntryState::kHidden);
  const char16_t* texts[kSteps] = {
      u"スクロールモード:\nマウスのホイールを手前に\n回すと進みます。\nScroll: turn the mouse "
      u"wheel\ntowards you to move on.",
      u"ホイールを回すたびに、カメラが\n次の場面へ少しずつ動きます。\nEach notch moves the "
      u"camera\na tenth of the way.",
      u"赤い屋根の家。\nA house with a red roof.",
      u"青い屋根の家。\nAnd one with a blue roof.",
      u"池のまわりを一周します。\nWe go once around the pond.",
      u"もうすぐ一周。\nAlmost round.",
      u"最後の場面です。次のひと回しで\n最初に戻ります。\nThe last scene: the next\nnotches bring "
      u"you back\nto the start.",
  };
  const char16_t* sounds[kSteps] = {u"bell",   u"chime1", u"chime2", u"chime3",
                                    u"chime4", u"chime2", u"chime1"};
  for (int i = 0; i < kSteps; ++i) {
    const float yaw = -40.0f + 50.0f * static_cast<float>(i);
    CameraRig rig{{0, 120, 0}, 1300, yaw, 12};
    s.camera().entries[i].motion = rig.Motion();
    CMotion pose = rig.Facing({0, 0.08f * 1300, -0.7f * 1300});
    const float scale = 1300.0f / 700.0f;
    pose.scale = {scale, scale, scale};
    ShowAt(talk, i, pose, texts[i], sounds[i]);
  }
  s.b.camera = s.camera().entries[0].motion;
  AddCommonSounds(s.b, false);
  return std::move(s.b);
}

ProjectBuilder MakeOrbitExample() {
  constexpr int kSteps = 5;
  // The ring of balloons: its lowest balloon's tail (1.45 half heights
  // below its centre) stays above the ground.
  constexpr float kRingCentreY = 360.0f;
  constexpr float kRingHalfHeight = 200.0f;
  Scene s(PlayMode::kOrbit, kSteps);
  CModel& ground = s.b.AddModel(u"Ground");
  AddQuad(ground, {0, 0, 0}, {1800, 0, 0}, {0, 0, -1800}, s.mats.grass, 14.0f);
  s.Line(u"Ground", EntryState::kShown);
  const int32_t stone = Plain(s.b, u"Stone", 0.85f, 0.8f, 0.7f);
  const int32_t face = Plain(s.b, u"ClockFace", 0.98f, 0.97f, 0.9f);
  const int32_t hand = Plain(s.b, u"Hands", 0.15f, 0.12f, 0.2f);
  const int32_t roof = Plain(s.b, u"Roof", 0.3f, 0.4f, 0.75f);
  CModel& tower = s.b.AddModel(u"ClockTower");
  AddBox(tower, {0, 200, -60}, {70, 200, 50}, stone);
  AddEllipsoid(tower, {0, 300, -8}, {55, 55, 3}, face, 24, 6);
  AddBox(tower, {0, 322, -4}, {3, 24, 2}, hand);
  AddBox(tower, {14, 300, -4}, {16, 3, 2}, hand);
  AddBox(tower, {0, 415, -60}, {85, 15, 65}, roof);
  s.Line(u"ClockTower", EntryState::kShown);
  // Lanterns mark the places on the ring where the balloons appear.
  const int32_t lamp = Plain(s.b, u"Lantern", 1.0f, 0.8f, 0.35f);
  CModel& lanterns = s.b.AddModel(u"Lanterns");
  for (int i = 0; i < kSteps; ++i) {
    const float a = 2 * kPi * static_cast<float>(i) / kSteps + kPi / 2;
    AddEllipsoid(lanterns, {380 * std::cos(a), kRingCentreY + kRingHalfHeight * std::sin(a), 20},
                 {18, 18, 18}, lamp, 12, 8);
  }
  s.Line(u"Lanterns", EntryState::kShown);
  AddBalloon(s.b, u"fukidashi", s.mats, 165, 100);
  CTimeLine& talk = s.Line(u"fukidashi", EntryState::kHidden);
  const char16_t* texts[kSteps] = {
      u"オービットモード:\nカメラはふきだしのまわりを\n回ります。\nOrbit: the camera "
      u"circles\naround the balloons.",
      u"ドラッグすると回転し、手を\n離してもしばらく回り続けます。\nDrag to spin; the spin\nslows "
      u"down by itself.",
      u"ホイールで大きさが変わります。\nThe wheel zooms in and out.",
      u"ふきだしは時計台のまわりに\n並んでいます。\nThe balloons stand in a ring\naround the clock "
      u"tower.",
      u"ひと回りしました。\nクリックで最初から。\nRound we go!\nClick to start again.",
  };
  const char16_t* sounds[kSteps] = {u"bell", u"chime1", u"chime2", u"chime3", u"chime4"};
  for (int i = 0; i < kSteps; ++i) {
    const float a = 2 * kPi * static_cast<float>(i) / kSteps + kPi / 2;
    const Vec3 at{380 * std::cos(a), kRingCentreY + kRingHalfHeight * std::sin(a), 60};
    ShowAt(talk, i, Pose(at), texts[i], sounds[i]);
    s.camera().entries[i].motion = Pose({0, 0, -1000}, {12, 0, 0});
  }
  talk.entries[kSteps - 1].jumpEnabled = 1;
  talk.entries[kSteps - 1].jumpTarget = 0;
  s.b.camera = s.camera().entries[0].motion;
  AddCommonSounds(s.b, false);
  return std::move(s.b);
}

}  // namespace tolvani::demo
