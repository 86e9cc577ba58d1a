// Matrix and vector math of the renderer.
//
// Conventions used everywhere in the renderer:
// - Matrix4 is row-major: element (row r, column c) is m[4*r + c].
// - Points are row vectors multiplied on the left, p' = p * M, so the translation sits in
//   m[12], m[13], m[14] and a product A * B applied to a point applies A first, then B.
// - Camera space is right-handed: x right, y up, the camera looks down -z.
// - Angles are radians; all arithmetic is single precision.
#pragma once

struct Vec3 {
    float x, y, z;
};

// Positions and normals travel as four floats; w is 0 for both (the renderer never reads it
// as a homogeneous coordinate, but the lighting sums over all four components).
struct Vec4 {
    float x, y, z, w;
};

struct Matrix4 {
    float m[16];
};

Matrix4 identityMatrix();

// out = left * right; out must not alias either input.
void multiply(Matrix4& out, const Matrix4& left, const Matrix4& right);

// M <- M * R(angle): the rotation acts after everything M already does.
void rotateX(Matrix4& m, float angle);
void rotateY(Matrix4& m, float angle);
void rotateZ(Matrix4& m, float angle);

// Rx(ax) * Ry(ay) * Rz(az) * T(t): rotate about X, Y, Z, then move by t.
void objectMatrix(const Vec3& angles, Matrix4& out, const Vec3& translation);
// T(t) * Rx(ax) * Ry(ay) * Rz(az): move by t first, then rotate (the camera).
void viewMatrix(const Vec3& translation, Matrix4& out, const Vec3& angles);

// p * M for a point (x, y, z, 1); the result's w is 0.
Vec4 transformPoint(const Vec4& p, const Matrix4& m);
// The upper-left 3x3 of M applied to a direction; the result's w is 0.
Vec4 transformDirection(const Vec4& d, const Matrix4& m);
