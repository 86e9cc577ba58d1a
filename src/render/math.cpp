#include "render/math.h"

#include <cmath>

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
    const float* a = left.m;
    const float* b = right.m;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            // Summed left to right in single precision; golden frames depend on this order.
            out.m[4 * r + c] = a[4 * r + 0] * b[c] + a[4 * r + 1] * b[4 + c] +
                               a[4 * r + 2] * b[8 + c] + a[4 * r + 3] * b[12 + c];
        }
    }
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

Vec4 transformPoint(const Vec4& p, const Matrix4& m) {
    const float* e = m.m;
    return {p.x * e[0] + p.y * e[4] + p.z * e[8] + e[12],
            p.x * e[1] + p.y * e[5] + p.z * e[9] + e[13],
            p.x * e[2] + p.y * e[6] + p.z * e[10] + e[14], 0.0f};
}

Vec4 transformDirection(const Vec4& d, const Matrix4& m) {
    const float* e = m.m;
    return {d.x * e[0] + d.y * e[4] + d.z * e[8], d.x * e[1] + d.y * e[5] + d.z * e[9],
            d.x * e[2] + d.y * e[6] + d.z * e[10], 0.0f};
}
