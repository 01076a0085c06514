// Small matrix and vector module with the row-vector conventions used
// throughout the player:
//  - Matrix4 is 4 x 4 single-precision floats stored row by row (m[row][col]).
//  - Points are row vectors transformed as p * M; translation sits in the
//    fourth row; Multiply(A, B) = A * B applies A first.
//  - Angles are degrees in the data; DegToRad gives the float of the double
//    product with 0.017453292519943295. Sine and cosine are taken in double
//    and narrowed to float.
// All arithmetic is float32 unless stated; the build keeps FMA contraction off.
#pragma once

#include <cstdint>

namespace tolvani {

struct Vec2 {
  float x = 0, y = 0;
};

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

struct Vec4 {
  float x = 0, y = 0, z = 0, w = 0;
};

inline bool operator==(const Vec3& a, const Vec3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

struct Matrix4 {
  float m[4][4] = {};
  static Matrix4 Identity();
  const float* data() const { return &m[0][0]; }
  float* data() { return &m[0][0]; }
};
bool operator==(const Matrix4& a, const Matrix4& b);

float DegToRad(float degrees);

Matrix4 MatrixTranslation(float x, float y, float z);
Matrix4 MatrixScaling(float x, float y, float z);
Matrix4 MatrixRotationX(float radians);
Matrix4 MatrixRotationY(float radians);
Matrix4 MatrixRotationZ(float radians);
// a * b: a applies first.
Matrix4 MatrixMultiply(const Matrix4& a, const Matrix4& b);
Matrix4 MatrixTranspose(const Matrix4& a);
// General inverse; returns false (and leaves *out unspecified) when singular.
bool MatrixInverse(const Matrix4& a, Matrix4* out);
// Right-handed perspective by vertical field of view; clip z runs 0..w.
Matrix4 MatrixPerspectiveFovRH(float fovy, float aspect, float zn, float zf);
// Right-handed off-centre orthographic; clip z runs 0..1.
Matrix4 MatrixOrthoOffCenterRH(float l, float r, float b, float t, float zn, float zf);

// (v.x, v.y, v.z, 1) * m, divided by the resulting w.
Vec3 Vec3TransformCoord(const Vec3& v, const Matrix4& m);
// (v.x, v.y, v.z, 1) * m, without division.
Vec4 Vec3Transform(const Vec3& v, const Matrix4& m);
Vec4 Vec4Transform(const Vec4& v, const Matrix4& m);
Vec4 Vec4Normalize(const Vec4& v);

// Ray-triangle test: on a hit stores the ray parameter (in units of the
// direction's length) in *t and returns true. Both faces count.
bool IntersectTri(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& origin,
                  const Vec3& direction, float* t);

}  // namespace tolvani
