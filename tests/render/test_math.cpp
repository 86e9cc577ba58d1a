#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "render/math.h"

namespace {

constexpr float kHalfPi = std::numbers::pi_v<float> / 2;

struct Point3d {
    double x, y, z;
};

// Independent reference: rotate a point the way each axis rotation is described (right-handed,
// Rx turns y towards z, Ry turns z towards x, Rz turns x towards y), in double precision.
Point3d refRotateX(Point3d p, double a) {
    return {p.x, p.y * std::cos(a) - p.z * std::sin(a), p.y * std::sin(a) + p.z * std::cos(a)};
}
Point3d refRotateY(Point3d p, double a) {
    return {p.z * std::sin(a) + p.x * std::cos(a), p.y, p.z * std::cos(a) - p.x * std::sin(a)};
}
Point3d refRotateZ(Point3d p, double a) {
    return {p.x * std::cos(a) - p.y * std::sin(a), p.x * std::sin(a) + p.y * std::cos(a), p.z};
}
Point3d refObject(Point3d p, const Vec3& a, const Vec3& t) {
    p = refRotateZ(refRotateY(refRotateX(p, a.x), a.y), a.z);
    return {p.x + t.x, p.y + t.y, p.z + t.z};
}
Point3d refView(Point3d p, const Vec3& t, const Vec3& a) {
    p = {p.x + t.x, p.y + t.y, p.z + t.z};
    return refRotateZ(refRotateY(refRotateX(p, a.x), a.y), a.z);
}

Vec4 apply(const Matrix4& m, float x, float y, float z) {
    return transformPoint({x, y, z, 1}, m);
}

void expectNear(const Vec4& got, Point3d want, double tol) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

Matrix4 randomMatrix(std::mt19937& rng) {
    std::uniform_real_distribution<float> d(-4.0f, 4.0f);
    Matrix4 m;
    for (float& e : m.m) e = d(rng);
    return m;
}

TEST(MathMultiply, SumsEachElementLeftToRightInSinglePrecision) {
    // Row (1, 1, 1, 1) times four columns whose exact sums are 2, 2, 2 and 6. Left to right in
    // float (spacing 8 near 1e8, so 1e8 + 1, 1e8 + 2 and 1e8 + 3 round back to 1e8):
    //   (1e8, 1, -1e8, 1) -> 1,  (1, 1e8, -1e8, 1) -> 1,  (1, 1, 1e8, -1e8) -> 0,
    //   (3, 1e8, 3, -1e8) -> 0.
    // Other groupings, other orders or a double accumulator give another result for one of them.
    const float columns[4][4] = {
        {1e8f, 1, -1e8f, 1}, {1, 1e8f, -1e8f, 1}, {1, 1, 1e8f, -1e8f}, {3, 1e8f, 3, -1e8f}};
    Matrix4 left = {}, right = {};
    for (int c = 0; c < 4; ++c) {
        left.m[c] = 1.0f;
        for (int k = 0; k < 4; ++k) right.m[4 * k + c] = columns[c][k];
    }
    Matrix4 out;
    multiply(out, left, right);
    EXPECT_EQ(out.m[0], 1.0f);
    EXPECT_EQ(out.m[1], 1.0f);
    EXPECT_EQ(out.m[2], 0.0f);
    EXPECT_EQ(out.m[3], 0.0f);
    EXPECT_EQ(out.m[4], 0.0f);

    // Element (r, c) is row r of left times column c of right: with left = rows of 1..16 and
    // right = the identity scaled per column by (1, 10, 100, 1000), out[4r+c] = left[4r+c]*10^c.
    Matrix4 a, b = {};
    for (int i = 0; i < 16; ++i) a.m[i] = float(i + 1);
    b.m[0] = 1, b.m[5] = 10, b.m[10] = 100, b.m[15] = 1000;
    multiply(out, a, b);
    EXPECT_EQ(out.m[0], 1.0f);
    EXPECT_EQ(out.m[6], 700.0f);
    EXPECT_EQ(out.m[11], 12000.0f);
    EXPECT_EQ(out.m[13], 140.0f);
}

TEST(MathMultiply, AgreesWithDoubleReferenceAndAppliesLeftFirst) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        const Matrix4 a = randomMatrix(rng), b = randomMatrix(rng);
        Matrix4 out;
        multiply(out, a, b);
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                double want = 0;
                for (int k = 0; k < 4; ++k) want += double(a.m[4 * r + k]) * b.m[4 * k + c];
                ASSERT_NEAR(out.m[4 * r + c], want, 1e-4);
            }
        }
    }
    // (A * B) applied to a point applies A first: translate by (1, 0, 0), then scale x by 3.
    Matrix4 move = identityMatrix(), scale = identityMatrix(), both;
    move.m[12] = 1;
    scale.m[0] = 3;
    multiply(both, move, scale);
    EXPECT_EQ(apply(both, 2, 0, 0).x, 9.0f);  // (2 + 1) * 3, not 2 * 3 + 1
}

TEST(MathRotate, QuarterTurnsMapTheNamedAxes) {
    Matrix4 m = identityMatrix();
    rotateX(m, kHalfPi);
    expectNear(apply(m, 0, 1, 0), {0, 0, 1}, 1e-6);
    expectNear(apply(m, 0, 0, 1), {0, -1, 0}, 1e-6);
    expectNear(apply(m, 1, 0, 0), {1, 0, 0}, 0);

    m = identityMatrix();
    rotateY(m, kHalfPi);
    expectNear(apply(m, 0, 0, 1), {1, 0, 0}, 1e-6);
    expectNear(apply(m, 1, 0, 0), {0, 0, -1}, 1e-6);
    expectNear(apply(m, 0, 1, 0), {0, 1, 0}, 0);

    m = identityMatrix();
    rotateZ(m, kHalfPi);
    expectNear(apply(m, 1, 0, 0), {0, 1, 0}, 1e-6);
    expectNear(apply(m, 0, 1, 0), {-1, 0, 0}, 1e-6);
    expectNear(apply(m, 0, 0, 1), {0, 0, 1}, 0);

    // Angle 0 leaves any matrix exactly as it was.
    std::mt19937 rng(3);
    const Matrix4 r = randomMatrix(rng);
    Matrix4 same = r;
    rotateX(same, 0);
    rotateY(same, 0);
    rotateZ(same, 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(same.m[i], r.m[i]) << i;
}

TEST(MathRotate, AppendsAfterWhatTheMatrixAlreadyDoes) {
    // Translate by (0, 1, 0), then rotate a quarter turn about X: the origin lands on (0, 0, 1).
    // Prepending instead would leave it at (0, 1, 0).
    Matrix4 m = identityMatrix();
    m.m[13] = 1;
    rotateX(m, kHalfPi);
    expectNear(apply(m, 0, 0, 0), {0, 0, 1}, 1e-6);

    std::mt19937 rng(11);
    std::uniform_real_distribution<float> angle(-7.0f, 7.0f), coord(-50.0f, 50.0f);
    for (int trial = 0; trial < 200; ++trial) {
        const float a = angle(rng), tx = coord(rng), ty = coord(rng), tz = coord(rng);
        Matrix4 x = identityMatrix(), y = identityMatrix(), z = identityMatrix();
        for (Matrix4* t : {&x, &y, &z}) t->m[12] = tx, t->m[13] = ty, t->m[14] = tz;
        rotateX(x, a);
        rotateY(y, a);
        rotateZ(z, a);
        const Point3d p{tx + 1.0, ty - 2.0, tz + 3.0};
        expectNear(apply(x, 1, -2, 3), refRotateX(p, a), 1e-4);
        expectNear(apply(y, 1, -2, 3), refRotateY(p, a), 1e-4);
        expectNear(apply(z, 1, -2, 3), refRotateZ(p, a), 1e-4);
    }
}

TEST(MathPlacement, ZeroAnglesGivePureTranslation) {
    const Vec3 zero{0, 0, 0}, t{1.5f, -2.25f, 300.0f};
    Matrix4 object, view;
    objectMatrix(zero, object, t);
    viewMatrix(t, view, zero);
    Matrix4 want = identityMatrix();
    want.m[12] = 1.5f, want.m[13] = -2.25f, want.m[14] = 300.0f;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(object.m[i], want.m[i]) << i;
        EXPECT_EQ(view.m[i], want.m[i]) << i;
    }
}

TEST(MathPlacement, ObjectRotatesThenMovesViewMovesThenRotates) {
    // Quarter turn about Z and t = (10, 0, 0). The point (1, 0, 0):
    // object: rotate to (0, 1, 0), then move to (10, 1, 0);
    // view:   move to (11, 0, 0), then rotate to (0, 11, 0).
    const Vec3 angles{0, 0, kHalfPi}, t{10, 0, 0};
    Matrix4 object, view;
    objectMatrix(angles, object, t);
    viewMatrix(t, view, angles);
    expectNear(apply(object, 1, 0, 0), {10, 1, 0}, 1e-5);
    expectNear(apply(view, 1, 0, 0), {0, 11, 0}, 1e-5);

    std::mt19937 rng(5);
    std::uniform_real_distribution<float> angle(-4.0f, 4.0f), coord(-100.0f, 100.0f);
    for (int trial = 0; trial < 300; ++trial) {
        const Vec3 a{angle(rng), angle(rng), angle(rng)};
        const Vec3 tr{coord(rng), coord(rng), coord(rng)};
        const float x = coord(rng), y = coord(rng), z = coord(rng);
        objectMatrix(a, object, tr);
        viewMatrix(tr, view, a);
        expectNear(apply(object, x, y, z), refObject({x, y, z}, a, tr), 2e-3);
        expectNear(apply(view, x, y, z), refView({x, y, z}, tr, a), 2e-3);
        // The object matrix keeps its translation exactly; the rotation part is shared.
        EXPECT_EQ(object.m[12], tr.x);
        EXPECT_EQ(object.m[13], tr.y);
        EXPECT_EQ(object.m[14], tr.z);
        for (int i = 0; i < 12; ++i) ASSERT_EQ(object.m[i], view.m[i]) << i;
        EXPECT_EQ(object.m[15], 1.0f);
        EXPECT_EQ(view.m[15], 1.0f);
    }
}

TEST(MathTransform, PointUsesRowsZeroToThreeDirectionRowsZeroToTwo) {
    Matrix4 m;
    for (int i = 0; i < 16; ++i) m.m[i] = float(i + 1);
    // (1, 2, 3) * M: x' = 1*1 + 2*5 + 3*9 + 13 = 51, y' = 2 + 12 + 30 + 14 = 58,
    // z' = 3 + 14 + 33 + 15 = 65. The input w is ignored and the output w is 0.
    const Vec4 p = transformPoint({1, 2, 3, 7}, m);
    EXPECT_EQ(p.x, 51.0f);
    EXPECT_EQ(p.y, 58.0f);
    EXPECT_EQ(p.z, 65.0f);
    EXPECT_EQ(p.w, 0.0f);
    // Without the translation row: 38, 44, 50.
    const Vec4 d = transformDirection({1, 2, 3, 7}, m);
    EXPECT_EQ(d.x, 38.0f);
    EXPECT_EQ(d.y, 44.0f);
    EXPECT_EQ(d.z, 50.0f);
    EXPECT_EQ(d.w, 0.0f);
    // Summed left to right, the translation last: with column (1, 1e8, -1e8, 1),
    // ((1 + 1e8) - 1e8) + 1 = 1 in float; with column (1, 1, 1e8, -1e8), 0. Exact sums are 2.
    Matrix4 s = {};
    s.m[0] = 1, s.m[4] = 1e8f, s.m[8] = -1e8f, s.m[12] = 1;
    s.m[1] = 1, s.m[5] = 1, s.m[9] = 1e8f, s.m[13] = -1e8f;
    const Vec4 q = transformPoint({1, 1, 1, 0}, s);
    EXPECT_EQ(q.x, 1.0f);
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_EQ(transformDirection({1, 1, 1, 0}, s).x, 0.0f);
    EXPECT_EQ(transformDirection({1, 1, 1, 0}, s).y, 1e8f);
}

TEST(MathTransform, ComposesLikeTheMatrixProduct) {
    // For placements (last column 0, 0, 0, 1), p * (A * B) = (p * A) * B.
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> angle(-4.0f, 4.0f), coord(-20.0f, 20.0f);
    for (int trial = 0; trial < 200; ++trial) {
        Matrix4 a, b, ab;
        objectMatrix({angle(rng), angle(rng), angle(rng)}, a, {coord(rng), coord(rng), coord(rng)});
        viewMatrix({coord(rng), coord(rng), coord(rng)}, b, {angle(rng), angle(rng), angle(rng)});
        multiply(ab, a, b);
        const Vec4 p{coord(rng), coord(rng), coord(rng), 1};
        const Vec4 once = transformPoint(p, ab);
        const Vec4 twice = transformPoint(transformPoint(p, a), b);
        expectNear(once, {twice.x, twice.y, twice.z}, 1e-3);
        const Vec4 dOnce = transformDirection(p, ab);
        const Vec4 dTwice = transformDirection(transformDirection(p, a), b);
        expectNear(dOnce, {dTwice.x, dTwice.y, dTwice.z}, 1e-3);
    }
}

}  // namespace
