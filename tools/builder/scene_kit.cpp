#include "builder/scene_kit.h"

#include <algorithm>
#include <cmath>

namespace tolvani::builder {
namespace {

constexpr double kPi = 3.14159265358979323846;

Vec3 Cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The world-to-view rotation of a rig and its inverse.
Matrix4 ViewRotation(const CameraRig& rig) {
  return MatrixMultiply(MatrixRotationY(DegToRad(rig.yawDeg)),
                        MatrixRotationX(DegToRad(rig.pitchDeg)));
}
Vec3 RotateBack(const CameraRig& rig, Vec3 v) {
  Matrix4 inv;
  MatrixInverse(ViewRotation(rig), &inv);
  const Vec4 r = Vec3Transform(v, inv);
  return {r.x, r.y, r.z};
}

std::vector<uint8_t> ToPcm16(const std::vector<float>& samples) {
  std::vector<uint8_t> out(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    const float s = std::clamp(samples[i], -1.0f, 1.0f);
    const auto v = static_cast<int16_t>(std::lround(s * 32767.0f));
    out[2 * i] = static_cast<uint8_t>(v & 0xFF);
    out[2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  }
  return out;
}

// A plucked note with a soft attack and exponential decay, added into
// `buffer` from `start`, wrapping around its end.
void AddNote(std::vector<float>& buffer, uint32_t rate, size_t start, float frequency,
             float seconds, float decay, float amplitude) {
  if (frequency <= 0 || buffer.empty()) return;
  const size_t count = static_cast<size_t>(seconds * static_cast<float>(rate));
  for (size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double attack = std::min(1.0, t / 0.006);
    const double env = attack * std::exp(-decay * t);
    const double w = 2 * kPi * frequency * t;
    const double s = std::sin(w) + 0.3 * std::sin(2 * w) + 0.08 * std::sin(3 * w);
    buffer[(start + i) % buffer.size()] += static_cast<float>(amplitude * env * s);
  }
}

}  // namespace

Vec3 Add(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 Sub(Vec3 a, Vec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 Scale(Vec3 a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}

CMotion Pose(Vec3 position, Vec3 rotation, Vec3 scale) {
  CMotion m;
  m.position = position;
  m.rotation = rotation;
  m.scale = scale;
  return m;
}

Vec3 CameraRig::Eye() const {
  const Vec3 forward = RotateBack(*this, {0, 0, -1});
  return Sub(target, Scale(forward, distance));
}

CMotion CameraRig::Motion() const {
  return Pose(Scale(Eye(), -1.0f), {pitchDeg, yawDeg, 0});
}

Vec3 CameraRig::FromView(Vec3 view) const {
  return Add(RotateBack(*this, view), Eye());
}

CMotion CameraRig::Facing(Vec3 view) const {
  return Pose(FromView(view), {0, -yawDeg, 0});
}

int32_t AddVertex(CModel& m, Vec3 p, Skin skin) {
  m.vertices.push_back(p);
  m.bones.push_back(skin.bone);
  m.parents.push_back(skin.parent);
  m.weights.push_back(skin.weight);
  return static_cast<int32_t>(m.vertices.size()) - 1;
}

void AddTriangle(CModel& m, int32_t a, int32_t b, int32_t c, Vec3 outward, int32_t material, CUV ua,
                 CUV ub, CUV uc) {
  const Vec3 pa = m.vertices[static_cast<size_t>(a)];
  const Vec3 n = Cross(Sub(m.vertices[static_cast<size_t>(b)], pa),
                       Sub(m.vertices[static_cast<size_t>(c)], pa));
  CFace face;
  face.material = material;
  if (Dot(n, outward) > 0) {
    face.indices = {a, c, b};
    face.uvs = {ua, uc, ub};
  } else {
    face.indices = {a, b, c};
    face.uvs = {ua, ub, uc};
  }
  m.faces.Append(face);
}

void AddQuad(CModel& m, Vec3 c, Vec3 u, Vec3 v, int32_t material, float repeat, Skin skin) {
  const Vec3 out = Cross(u, v);
  const int32_t bl = AddVertex(m, Sub(c, Add(u, v)), skin);
  const int32_t tl = AddVertex(m, Add(Sub(c, u), v), skin);
  const int32_t tr = AddVertex(m, Add(c, Add(u, v)), skin);
  const int32_t br = AddVertex(m, Sub(Add(c, u), v), skin);
  const CUV uvBl{0, repeat}, uvTl{0, 0}, uvTr{repeat, 0}, uvBr{repeat, repeat};
  AddTriangle(m, bl, tl, tr, out, material, uvBl, uvTl, uvTr);
  AddTriangle(m, bl, tr, br, out, material, uvBl, uvTr, uvBr);
}

void AddBox(CModel& m, Vec3 c, Vec3 h, int32_t material, Skin skin) {
  AddQuad(m, Add(c, {0, 0, h.z}), {h.x, 0, 0}, {0, h.y, 0}, material, 1, skin);
  AddQuad(m, Add(c, {0, 0, -h.z}), {-h.x, 0, 0}, {0, h.y, 0}, material, 1, skin);
  AddQuad(m, Add(c, {h.x, 0, 0}), {0, 0, -h.z}, {0, h.y, 0}, material, 1, skin);
  AddQuad(m, Add(c, {-h.x, 0, 0}), {0, 0, h.z}, {0, h.y, 0}, material, 1, skin);
  AddQuad(m, Add(c, {0, h.y, 0}), {h.x, 0, 0}, {0, 0, -h.z}, material, 1, skin);
  AddQuad(m, Add(c, {0, -h.y, 0}), {h.x, 0, 0}, {0, 0, h.z}, material, 1, skin);
}

void AddEllipsoid(CModel& m, Vec3 c, Vec3 r, int32_t material, int slices, int stacks, Skin skin,
                  const std::function<Skin(Vec3)>& skinFor) {
  auto vertex = [&](Vec3 p) { return AddVertex(m, p, skinFor ? skinFor(p) : skin); };
  auto point = [&](int i, int j) {
    const double theta = kPi * i / stacks;
    const double phi = 2 * kPi * j / slices;
    return Vec3{c.x + r.x * static_cast<float>(std::sin(theta) * std::cos(phi)),
                c.y + r.y * static_cast<float>(std::cos(theta)),
                c.z + r.z * static_cast<float>(std::sin(theta) * std::sin(phi))};
  };
  const int32_t top = vertex(point(0, 0));
  const int32_t first = static_cast<int32_t>(m.vertices.size());
  for (int i = 1; i < stacks; ++i)
    for (int j = 0; j < slices; ++j) vertex(point(i, j));
  const int32_t bottom = vertex(point(stacks, 0));
  auto at = [&](int i, int j) { return first + (i - 1) * slices + (j % slices); };
  auto uv = [&](int i, int j) {
    return CUV{static_cast<float>(j) / static_cast<float>(slices),
               static_cast<float>(i) / static_cast<float>(stacks)};
  };
  auto tri = [&](int32_t a, int32_t b, int32_t d, CUV ua, CUV ub, CUV ud) {
    const Vec3 mid =
        Scale(Add(Add(m.vertices[static_cast<size_t>(a)], m.vertices[static_cast<size_t>(b)]),
                  m.vertices[static_cast<size_t>(d)]),
              1.0f / 3.0f);
    AddTriangle(m, a, b, d, Sub(mid, c), material, ua, ub, ud);
  };
  for (int j = 0; j < slices; ++j) {
    tri(top, at(1, j), at(1, j + 1), uv(0, j), uv(1, j), uv(1, j + 1));
    tri(bottom, at(stacks - 1, j), at(stacks - 1, j + 1), uv(stacks, j), uv(stacks - 1, j),
        uv(stacks - 1, j + 1));
  }
  for (int i = 1; i + 1 < stacks; ++i) {
    for (int j = 0; j < slices; ++j) {
      tri(at(i, j), at(i + 1, j), at(i + 1, j + 1), uv(i, j), uv(i + 1, j), uv(i + 1, j + 1));
      tri(at(i, j), at(i + 1, j + 1), at(i, j + 1), uv(i, j), uv(i + 1, j + 1), uv(i, j + 1));
    }
  }
}

void AddScreenQuad(CModel& m, int32_t material, float z) {
  AddQuad(m, {0, 0, z}, {50, 0, 0}, {0, 50, 0}, material);
}

void AddBalloonShape(CModel& m, float w, float h, int32_t cardMaterial, int32_t rimMaterial) {
  // Texture coordinates keep the square text card's aspect: its full width
  // spans the balloon's width, its middle part the height.
  auto uvOf = [&](Vec3 p) { return CUV{0.5f + p.x / (2 * w), 0.5f - p.y / (2 * w)}; };
  auto outline = [&](float grow, float z, int32_t material) {
    constexpr int kSegments = 40;
    const Vec3 out{0, 0, 1};
    const int32_t centre = AddVertex(m, {0, 0, z});
    std::vector<int32_t> ring;
    for (int k = 0; k < kSegments; ++k) {
      const double a = 2 * kPi * k / kSegments;
      const double cs = std::cos(a), sn = std::sin(a);
      // A superellipse: a card with rounded corners.
      const float x =
          (w + grow) * static_cast<float>((cs < 0 ? -1 : 1) * std::pow(std::abs(cs), 1.0 / 3.0));
      const float y =
          (h + grow) * static_cast<float>((sn < 0 ? -1 : 1) * std::pow(std::abs(sn), 1.0 / 3.0));
      ring.push_back(AddVertex(m, {x, y, z}));
    }
    for (int k = 0; k < kSegments; ++k) {
      const int32_t a = ring[static_cast<size_t>(k)];
      const int32_t b = ring[static_cast<size_t>((k + 1) % kSegments)];
      AddTriangle(m, centre, a, b, out, material, uvOf(m.vertices[static_cast<size_t>(centre)]),
                  uvOf(m.vertices[static_cast<size_t>(a)]),
                  uvOf(m.vertices[static_cast<size_t>(b)]));
    }
    // The tail points down and to the left, towards the speaker.
    const int32_t t0 = AddVertex(m, {-0.30f * w - grow, -0.80f * h, z});
    const int32_t t1 = AddVertex(m, {-0.05f * w + grow, -0.80f * h, z});
    const int32_t t2 = AddVertex(m, {-0.42f * w - grow * 1.5f, -1.45f * h - grow * 1.5f, z});
    AddTriangle(m, t0, t1, t2, out, material, uvOf(m.vertices[static_cast<size_t>(t0)]),
                uvOf(m.vertices[static_cast<size_t>(t1)]),
                uvOf(m.vertices[static_cast<size_t>(t2)]));
  };
  outline(0, 0, cardMaterial);
  outline(0.045f * w, -1.5f, rimMaterial);
}

void AddTerrain(CModel& m, float half, int cells, const std::function<float(float, float)>& height,
                int32_t material, int32_t walkable, float repeat) {
  const int32_t first = static_cast<int32_t>(m.vertices.size());
  const float step = 2 * half / static_cast<float>(cells);
  for (int j = 0; j <= cells; ++j) {
    for (int i = 0; i <= cells; ++i) {
      const float x = -half + step * static_cast<float>(i);
      const float z = -half + step * static_cast<float>(j);
      AddVertex(m, {x, height(x, z), z});
    }
  }
  auto at = [&](int i, int j) { return first + j * (cells + 1) + i; };
  auto uv = [&](int i, int j) {
    return CUV{repeat * static_cast<float>(i) / static_cast<float>(cells),
               repeat * static_cast<float>(j) / static_cast<float>(cells)};
  };
  const Vec3 up{0, 1, 0};
  for (int32_t mat : {material, walkable}) {
    if (mat < 0) continue;
    for (int j = 0; j < cells; ++j) {
      for (int i = 0; i < cells; ++i) {
        AddTriangle(m, at(i, j), at(i + 1, j), at(i + 1, j + 1), up, mat, uv(i, j), uv(i + 1, j),
                    uv(i + 1, j + 1));
        AddTriangle(m, at(i, j), at(i + 1, j + 1), at(i, j + 1), up, mat, uv(i, j),
                    uv(i + 1, j + 1), uv(i, j + 1));
      }
    }
  }
}

PixelMatrix MakeImage(int width, int height, int channels,
                      const std::function<void(int x, int y, uint8_t* px)>& fill) {
  PixelMatrix image(height, width, channels == 4 ? 4 : 3);
  const int n = image.channels();
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.row(y);
    for (int x = 0; x < width; ++x) fill(x, y, row + x * n);
  }
  return image;
}

float Noise2(float x, float y, int period, uint32_t seed) {
  auto hash = [&](int i, int j) {
    i = ((i % period) + period) % period;
    j = ((j % period) + period) % period;
    uint32_t h = static_cast<uint32_t>(i) * 374761393u + static_cast<uint32_t>(j) * 668265263u +
                 seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<float>((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
  };
  const int i = static_cast<int>(std::floor(x));
  const int j = static_cast<int>(std::floor(y));
  const float fx = x - static_cast<float>(i), fy = y - static_cast<float>(j);
  const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  const float a = hash(i, j) + (hash(i + 1, j) - hash(i, j)) * sx;
  const float b = hash(i, j + 1) + (hash(i + 1, j + 1) - hash(i, j + 1)) * sx;
  return a + (b - a) * sy;
}

std::vector<uint8_t> SynthChime(uint32_t rate, float frequency, float seconds, float volume) {
  std::vector<float> s(static_cast<size_t>(seconds * static_cast<float>(rate)), 0.0f);
  const float partials[4][3] = {
      {1.0f, 1.0f, 3.0f}, {2.0f, 0.45f, 4.5f}, {3.01f, 0.22f, 6.0f}, {4.2f, 0.1f, 8.0f}};
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    const double attack = std::min(1.0, t / 0.004);
    double v = 0;
    for (const auto& p : partials)
      v += p[1] * std::exp(-p[2] * t) * std::sin(2 * kPi * frequency * p[0] * t);
    // A short fade at the very end avoids a click.
    const double tail = std::min(1.0, (seconds - t) / 0.02);
    s[i] = static_cast<float>(volume * attack * tail * v / 1.77);
  }
  return ToPcm16(s);
}

std::vector<uint8_t> SynthLoop(uint32_t rate, const std::vector<float>& notes,
                               const std::vector<float>& bass, float beat, float volume) {
  const size_t beatSamples = static_cast<size_t>(beat * static_cast<float>(rate));
  std::vector<float> s(beatSamples * notes.size(), 0.0f);
  for (size_t k = 0; k < notes.size(); ++k)
    AddNote(s, rate, k * beatSamples, notes[k], beat * 3, 2.5f, volume);
  for (size_t k = 0; k < bass.size(); ++k)
    AddNote(s, rate, k * 4 * beatSamples, bass[k], beat * 4, 0.9f, volume * 0.8f);
  return ToPcm16(s);
}

}  // namespace tolvani::builder
