#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scene_test_support.h"
#include "scenes/mesh_submission.h"
#include "scenes/ring_builder.h"

namespace {

const Material kRingMaterial{{1, 0, 0, 0}, -1, kShaderLitColour};

// The 8 triangles of segment i, written from the table: corners as (segment, vertex) where
// segment 1 means the next one; normal 0 up, 1 down, 2 inward, 3 outward.
struct Expected {
    int corners[3];
    int normal;
};
std::vector<Expected> expectedRingFaces(int v, int n0, int segments) {
    std::vector<Expected> faces;
    for (int i = 0; i < segments; ++i) {
        const int c = v + 4 * i;
        const int x = v + 4 * ((i + 1) % segments);
        const int up = n0, down = n0 + 1, in = n0 + 2 + 2 * i, out = n0 + 3 + 2 * i;
        const Expected segment[8] = {
            {{x + 0, x + 1, c + 1}, up},   {{x + 0, c + 1, c + 0}, up},
            {{x + 1, x + 2, c + 2}, in},   {{x + 1, c + 2, c + 1}, in},
            {{x + 2, x + 3, c + 3}, down}, {{x + 2, c + 3, c + 2}, down},
            {{x + 3, x + 0, c + 0}, out},  {{x + 3, c + 0, c + 3}, out},
        };
        faces.insert(faces.end(), segment, segment + 8);
    }
    return faces;
}

Matrix4 model(float ax, float ay, float az, float x, float y, float z) {
    Matrix4 m;
    objectMatrix(Vec3{ax, ay, az}, m, Vec3{x, y, z});
    return m;
}

}  // namespace

TEST(RingBuilder, TriangularWasher) {
    TestContext t;
    RenderContext& c = *t.context;
    c.vertexCount = 7;  // earlier geometry: the ring's indices start after it
    c.normalCount = 4;
    c.uvCount = 2;
    // Tilted towards the camera so that the top shows, far enough to need no clipping.
    const Matrix4 m = model(0.5f, 0.2f, 0.0f, 0.0f, 0.0f, -100.0f);
    buildRing(&kRingMaterial, identityMatrix(), c, m, 3, 10.0f, 5.0f, 2.0f);
    EXPECT_EQ(c.vertexCount, 7 + 12);
    EXPECT_EQ(c.normalCount, 4 + 2 + 6);
    EXPECT_EQ(c.uvCount, 2 + 1);
    EXPECT_EQ(c.uvs[2].u, 0.0f);
    EXPECT_EQ(c.uvs[2].v, 0.0f);

    // 24 faces before culling; those facing the camera are appended in table order.
    const std::vector<Expected> all = expectedRingFaces(7, 4, 3);
    ASSERT_EQ(all.size(), 24u);
    int next = 0;
    for (const Expected& e : all) {
        const Vec4 normal = c.normals[e.normal];
        const RenderVertex& p = c.vertices[e.corners[0]];
        const float facing = normal.x * p.x + normal.y * p.y + normal.z * p.z;
        if (facing > 0.0f) continue;
        ASSERT_LT(next, c.faceCount);
        const Face& f = c.faces[next++];
        EXPECT_EQ(f.cornerCount, 3);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(f.vertexIndex[k], e.corners[k]);
            EXPECT_EQ(f.normalIndex[k], e.normal);
            EXPECT_EQ(f.uvIndex[k], 2);
        }
        EXPECT_EQ(f.faceNormal.x, normal.x);
        EXPECT_EQ(f.facing, facing);
        EXPECT_EQ(f.material, &kRingMaterial);
    }
    EXPECT_EQ(next, c.faceCount);
    EXPECT_GT(next, 4);
    EXPECT_LT(next, 24);
}

TEST(RingBuilder, GeometryInPlace) {
    TestContext t;
    RenderContext& c = *t.context;
    // Unrotated at z = -100: segment 0 sits at angle 0 on the +z side.
    buildRing(&kRingMaterial, identityMatrix(), c, model(0, 0, 0, 0, 0, -100), 4, 10.0f, 5.0f,
              2.0f);
    const float expected[4][3] = {{0, 1, -85}, {0, 1, -90}, {0, -1, -90}, {0, -1, -85}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(c.vertices[k].x, expected[k][0], 1e-5f);
        EXPECT_EQ(c.vertices[k].y, expected[k][1]);
        EXPECT_NEAR(c.vertices[k].z, expected[k][2], 1e-5f);
        EXPECT_EQ(c.vertices[k].w, 0.0f);
    }
    // Segment 1 at 90 degrees: outer top (15, 1, 0) -> (15, 1, -100).
    EXPECT_NEAR(c.vertices[4].x, 15.0f, 1e-5f);
    EXPECT_NEAR(c.vertices[4].z, -100.0f, 1e-5f);
    // Normals: up, down, then segment 0's inward and outward at 45 degrees.
    EXPECT_EQ(c.normals[0].y, 1.0f);
    EXPECT_EQ(c.normals[1].y, -1.0f);
    EXPECT_NEAR(c.normals[2].x, -std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(c.normals[2].z, -std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(c.normals[3].x, std::sqrt(0.5f), 1e-6f);
    EXPECT_EQ(c.normals[3].w, 0.0f);
}

TEST(RingBuilder, SegmentCountLimits) {
    TestContext t;
    RenderContext& c = *t.context;
    const Matrix4 m = model(0.5f, 0, 0, 0, 0, -100);
    // n <= 0: only the two cap normals and the uv.
    for (int n : {0, -5}) {
        resetContext(c);
        buildRing(&kRingMaterial, identityMatrix(), c, m, n, 10, 5, 2);
        EXPECT_EQ(c.vertexCount, 0);
        EXPECT_EQ(c.normalCount, 2);
        EXPECT_EQ(c.uvCount, 1);
        EXPECT_EQ(c.faceCount, 0);
    }
    // Above 128 the ring is built with 128 segments.
    resetContext(c);
    buildRing(&kRingMaterial, identityMatrix(), c, m, 500, 10, 5, 2);
    EXPECT_EQ(c.vertexCount, 4 * 128);
    EXPECT_EQ(c.normalCount, 2 + 2 * 128);
    EXPECT_LE(c.faceCount, 1024);
}

TEST(RingBuilder, DegenerateWidthAndThickness) {
    TestContext t;
    RenderContext& c = *t.context;
    const Matrix4 m = model(0.5f, 0, 0, 0, 0, -100);
    // Width 0: the top faces have no area but still face the camera and are appended.
    buildRing(&kRingMaterial, identityMatrix(), c, m, 8, 10, 0, 2);
    int up = 0;
    for (int f = 0; f < c.faceCount; ++f) up += c.faces[f].normalIndex[0] == 0;
    EXPECT_EQ(up, 2 * 8);

    // Thickness 0: top and bottom coincide; of each pair only the side facing the camera.
    resetContext(c);
    buildRing(&kRingMaterial, identityMatrix(), c, m, 8, 10, 5, 0);
    int top = 0, bottom = 0;
    for (int f = 0; f < c.faceCount; ++f) {
        top += c.faces[f].normalIndex[0] == 0;
        bottom += c.faces[f].normalIndex[0] == 1;
    }
    EXPECT_EQ(top, 16);
    EXPECT_EQ(bottom, 0);
}

TEST(RingBuilder, ClippedAroundTheCamera) {
    // A ring around the camera crosses every plane: each appended corner lies inside all six.
    TestContext t;
    RenderContext& c = *t.context;
    buildRing(&kRingMaterial, identityMatrix(), c, model(1.3f, 0.2f, 0.1f, 0, 0, -5), 32, 3, 20, 6);
    ASSERT_GT(c.faceCount, 0);
    EXPECT_GT(c.vertexCount, 4 * 32);  // clipping made corners
    for (int f = 0; f < c.faceCount; ++f) {
        for (int k = 0; k < 3; ++k) {
            const RenderVertex& v = c.vertices[c.faces[f].vertexIndex[k]];
            const float tol = 1e-4f * (1 + std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z));
            for (const Plane& p : t.volume->planes) {
                EXPECT_GE(p.nx * v.x + p.ny * v.y + p.nz * v.z - p.d, -tol);
            }
        }
    }
}

TEST(RingBuilder, CapacityIsNeverOverrun) {
    TestContext t;
    RenderContext& c = *t.context;
    // 128-segment rings around the camera: 512 vertices each plus clipping, far more than fits.
    for (int i = 0; i < 400; ++i) {
        buildRing(&kRingMaterial, identityMatrix(), c,
                  model(0.01f * i, 0.3f, 0.2f, 0, 0, -3.0f - 0.01f * i), 128, 2, 30, 8);
        ASSERT_TRUE(countsWithinCapacity(c)) << i;
    }
    EXPECT_TRUE(c.warnedThisFrame);
}
