#include "base/math.h"

#include <cmath>

namespace tolvani {

Matrix4 Matrix4::Identity() {
  Matrix4 r;
  r.m[0][0] = r.m[1][1] = r.m[2][2] = r.m[3][3] = 1.0f;
  return r;
}

bool operator==(const Matrix4& a, const Matrix4& b) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (a.m[i][j] != b.m[i][j]) return false;
  return true;
}

float DegToRad(float degrees) {
  return static_cast<float>(static_cast<double>(degrees) * 0.017453292519943295);
}

Matrix4 MatrixTranslation(float x, float y, float z) {
  Matrix4 r = Matrix4::Identity();
  r.m[3][0] = x;
  r.m[3][1] = y;
  r.m[3][2] = z;
  return r;
}

Matrix4 MatrixScaling(float x, float y, float z) {
  Matrix4 r;
  r.m[0][0] = x;
  r.m[1][1] = y;
  r.m[2][2] = z;
  r.m[3][3] = 1.0f;
  return r;
}

namespace {
// Sine and cosine in double, narrowed to float.
void SinCos(float radians, float* s, float* c) {
  *s = static_cast<float>(std::sin(static_cast<double>(radians)));
  *c = static_cast<float>(std::cos(static_cast<double>(radians)));
}
}  // namespace

Matrix4 MatrixRotationX(float radians) {
  float s, c;
  SinCos(radians, &s, &c);
  Matrix4 r = Matrix4::Identity();
  r.m[1][1] = c;
  r.m[1][2] = s;
  r.m[2][1] = -s;
  r.m[2][2] = c;
  return r;
}

Matrix4 MatrixRotationY(float radians) {
  float s, c;
  SinCos(radians, &s, &c);
  Matrix4 r = Matrix4::Identity();
  r.m[0][0] = c;
  r.m[0][2] = -s;
  r.m[2][0] = s;
  r.m[2][2] = c;
  return r;
}

Matrix4 MatrixRotationZ(float radians) {
  float s, c;
  SinCos(radians, &s, &c);
  Matrix4 r = Matrix4::Identity();
  r.m[0][0] = c;
  r.m[0][1] = s;
  r.m[1][0] = -s;
  r.m[1][1] = c;
  return r;
}

Matrix4 MatrixMultiply(const Matrix4& a, const Matrix4& b) {
  Matrix4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                  a.m[i][3] * b.m[3][j];
    }
  }
  return r;
}

Matrix4 MatrixTranspose(const Matrix4& a) {
  Matrix4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = a.m[j][i];
  return r;
}

bool MatrixInverse(const Matrix4& a, Matrix4* out) {
  const float* m = a.data();
  float inv[16];
  inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
           m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
  inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] -
           m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
  inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
           m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
  inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] -
            m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
  inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] -
           m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
  inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
           m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
  inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
           m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
  inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
            m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
  inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
           m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
  inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
           m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
  inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
            m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
  inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
            m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
  inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
           m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
  inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
           m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
  inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
            m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
  inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
            m[8] * m[1] * m[6] - m[8] * m[2] * m[5];

  const float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
  if (det == 0.0f || !std::isfinite(det)) return false;
  const float invDet = 1.0f / det;
  float* o = out->data();
  for (int i = 0; i < 16; ++i) o[i] = inv[i] * invDet;
  return true;
}

Matrix4 MatrixPerspectiveFovRH(float fovy, float aspect, float zn, float zf) {
  Matrix4 r;
  const float yScale = 1.0f / std::tan(fovy / 2.0f);
  r.m[0][0] = yScale / aspect;
  r.m[1][1] = yScale;
  r.m[2][2] = zf / (zn - zf);
  r.m[2][3] = -1.0f;
  r.m[3][2] = zn * zf / (zn - zf);
  r.m[3][3] = 0.0f;
  return r;
}

Matrix4 MatrixOrthoOffCenterRH(float l, float r, float b, float t, float zn, float zf) {
  Matrix4 o = Matrix4::Identity();
  o.m[0][0] = 2.0f / (r - l);
  o.m[1][1] = 2.0f / (t - b);
  o.m[2][2] = 1.0f / (zn - zf);
  o.m[3][0] = (l + r) / (l - r);
  o.m[3][1] = (t + b) / (b - t);
  o.m[3][2] = zn / (zn - zf);
  return o;
}

Vec4 Vec3Transform(const Vec3& v, const Matrix4& m) {
  Vec4 r;
  r.x = v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0];
  r.y = v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1];
  r.z = v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + m.m[3][2];
  r.w = v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + m.m[3][3];
  return r;
}

Vec3 Vec3TransformCoord(const Vec3& v, const Matrix4& m) {
  const Vec4 h = Vec3Transform(v, m);
  return Vec3{h.x / h.w, h.y / h.w, h.z / h.w};
}

Vec4 Vec4Transform(const Vec4& v, const Matrix4& m) {
  Vec4 r;
  r.x = v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + v.w * m.m[3][0];
  r.y = v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + v.w * m.m[3][1];
  r.z = v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + v.w * m.m[3][2];
  r.w = v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + v.w * m.m[3][3];
  return r;
}

Vec4 Vec4Normalize(const Vec4& v) {
  const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z + v.w * v.w);
  if (len == 0.0f) return Vec4{0, 0, 0, 0};
  return Vec4{v.x / len, v.y / len, v.z / len, v.w / len};
}

namespace {
Vec3 Sub(const Vec3& a, const Vec3& b) {
  return Vec3{a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
}  // namespace

bool IntersectTri(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& origin,
                  const Vec3& direction, float* t) {
  // Moller-Trumbore; a zero determinant (ray parallel to the plane or a
  // degenerate triangle) is a miss. The sign of det is not tested, so both
  // faces hit.
  const Vec3 e1 = Sub(p1, p0);
  const Vec3 e2 = Sub(p2, p0);
  const Vec3 p = Cross(direction, e2);
  const float det = Dot(e1, p);
  if (det == 0.0f || !std::isfinite(det)) return false;
  const float invDet = 1.0f / det;
  const Vec3 s = Sub(origin, p0);
  const float u = Dot(s, p) * invDet;
  if (!(u >= 0.0f && u <= 1.0f)) return false;
  const Vec3 q = Cross(s, e1);
  const float v = Dot(direction, q) * invDet;
  if (!(v >= 0.0f && u + v <= 1.0f)) return false;
  const float dist = Dot(e2, q) * invDet;
  if (!(dist >= 0.0f)) return false;
  if (t) *t = dist;
  return true;
}

}  // namespace tolvani
