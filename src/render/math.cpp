#include "render/math.h"

#include <cmath>

#include "lanes/lanes.h"

namespace {

// The rotations below are written for row vectors: p' = p * R.
Matrix4 rotationX(float c, float s) {
    return {{1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1}};
}

Matrix4 rotationY(float c, float s) {
    return {{c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1}};
}

Matrix4 rotationZ(float c, float s) {
    return {{c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
}

Matrix4 translation(const Vec3& t) {
    Matrix4 m = identityMatrix();
    m.m[12] = t.x;
    m.m[13] = t.y;
    m.m[14] = t.z;
    return m;
}

// M <- M * R through a temporary, so that M is never read after being partly overwritten.
void appendRotation(Matrix4& m, const Matrix4& r) {
    Matrix4 product;
    multiply(product, m, r);
    m = product;
}

Matrix4 eulerRotation(const Vec3& angles) {
    Matrix4 r = identityMatrix();
    rotateX(r, angles.x);
    rotateY(r, angles.y);
    rotateZ(r, angles.z);
    return r;
}

}  // namespace

Matrix4 identityMatrix() {
    return {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
}

void multiply(Matrix4& out, const Matrix4& left, const Matrix4& right) {
    // Row r of the product is a[r][0] * b's row 0 + ... + a[r][3] * b's row 3, summed left to
    // right in single precision (golden frames depend on this order): four columns at once.
    using L = Lanes<4>;
    const L::Float b[4] = {L::loadFloats(right.m), L::loadFloats(right.m + 4),
                           L::loadFloats(right.m + 8), L::loadFloats(right.m + 12)};
    L::Float rows[4];
    for (int r = 0; r < 4; ++r) {
        const float* a = left.m + 4 * r;
        rows[r] = L::splat(a[0]) * b[0] + L::splat(a[1]) * b[1] + L::splat(a[2]) * b[2] +
                  L::splat(a[3]) * b[3];
    }
    for (int r = 0; r < 4; ++r) L::store(out.m + 4 * r, rows[r]);
}

void rotateX(Matrix4& m, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    appendRotation(m, rotationX(c, s));
}

void rotateY(Matrix4& m, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    appendRotation(m, rotationY(c, s));
}

void rotateZ(Matrix4& m, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    appendRotation(m, rotationZ(c, s));
}

void objectMatrix(const Vec3& angles, Matrix4& out, const Vec3& t) {
    const Matrix4 r = eulerRotation(angles);
    multiply(out, r, translation(t));
}

void viewMatrix(const Vec3& t, Matrix4& out, const Vec3& angles) {
    const Matrix4 r = eulerRotation(angles);
    multiply(out, translation(t), r);
}

// x * row 0 + y * row 1 + z * row 2 (+ row 3), in that order, three columns at once; the
// fourth lane is left out of the result.
Vec4 transformPoint(const Vec4& p, const Matrix4& m) {
    using L = Lanes<4>;
    const L::Float v = L::splat(p.x) * L::loadFloats(m.m) + L::splat(p.y) * L::loadFloats(m.m + 4) +
                       L::splat(p.z) * L::loadFloats(m.m + 8) + L::loadFloats(m.m + 12);
    return {v[0], v[1], v[2], 0.0f};
}

Vec4 transformDirection(const Vec4& d, const Matrix4& m) {
    using L = Lanes<4>;
    const L::Float v = L::splat(d.x) * L::loadFloats(m.m) + L::splat(d.y) * L::loadFloats(m.m + 4) +
                       L::splat(d.z) * L::loadFloats(m.m + 8);
    return {v[0], v[1], v[2], 0.0f};
}
