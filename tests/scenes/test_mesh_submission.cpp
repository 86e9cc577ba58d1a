#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "scene_test_support.h"
#include "scenes/mesh_submission.h"

namespace {

Matrix4 identity() {
    return identityMatrix();
}

float planeValue(const Plane& p, const RenderVertex& v) {
    return p.nx * v.x + p.ny * v.y + p.nz * v.z - p.d;
}

void place(TestMesh& mesh, float x, float y, float z) {
    setMeshPosition(mesh.placement, x, y, z);
    placeMesh(mesh.placement);
}

// Independent transform of a point: scale, rotate about X, Y, Z, move; then the camera's
// move and rotations, in double precision.
struct Pose {
    double scale, ax, ay, az, tx, ty, tz;
};

void rotate(double& x, double& y, double& z, double ax, double ay, double az) {
    double c = std::cos(ax), s = std::sin(ax);
    double y1 = y * c - z * s, z1 = y * s + z * c;
    y = y1;
    z = z1;
    c = std::cos(ay), s = std::sin(ay);
    double x1 = x * c + z * s;
    z1 = -x * s + z * c;
    x = x1;
    z = z1;
    c = std::cos(az), s = std::sin(az);
    x1 = x * c - y * s;
    y1 = x * s + y * c;
    x = x1;
    y = y1;
}

struct P3 {
    double x, y, z;
};

P3 referenceTransform(const Vec4& p, const Pose& object, const Pose& camera) {
    double x = p.x * object.scale, y = p.y * object.scale, z = p.z * object.scale;
    rotate(x, y, z, object.ax, object.ay, object.az);
    x += object.tx + camera.tx;
    y += object.ty + camera.ty;
    z += object.tz + camera.tz;
    rotate(x, y, z, camera.ax, camera.ay, camera.az);
    return {x, y, z};
}

// Sutherland-Hodgman written the textbook way: every edge's ends classified afresh.
std::vector<P3> referenceClip(std::vector<P3> polygon, const ViewVolume& volume, int mask) {
    for (int p = 0; p < 6; ++p) {
        if (!(mask & (1 << p))) continue;
        const Plane& pl = volume.planes[p];
        auto value = [&](const P3& q) { return pl.nx * q.x + pl.ny * q.y + pl.nz * q.z - pl.d; };
        std::vector<P3> out;
        for (size_t i = 0; i < polygon.size(); ++i) {
            const P3& a = polygon[i];
            const P3& b = polygon[(i + 1) % polygon.size()];
            const double va = value(a), vb = value(b);
            if (va >= 0) out.push_back(a);
            if ((va >= 0) != (vb >= 0)) {
                const double t = va / (va - vb);
                out.push_back(
                    {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)});
            }
        }
        polygon = out;
        if (polygon.empty()) break;
    }
    return polygon;
}

}  // namespace

TEST(MeshSubmission, BoundsCode) {
    TestContext t;
    TestMesh box = makeBox(1, 1, 1);
    // In front, well inside: 0.
    place(box, 0, 0, -50);
    EXPECT_EQ(testMeshBounds(*box, box.placement, identity(), *t.volume), 0);
    // Behind the camera every corner fails the near plane: -1 at once.
    place(box, 0, 0, 50);
    EXPECT_EQ(testMeshBounds(*box, box.placement, identity(), *t.volume), -1);
    EXPECT_FLOAT_EQ(box.placement.viewBounds[7].z, 51.0f);
    // Across the left side plane only (x = -(4/3) tan 50deg * 50 = -79.45 at z = -50): bit 4.
    place(box, -79.45f, 0, -50);
    EXPECT_EQ(testMeshBounds(*box, box.placement, identity(), *t.volume), 1 << kPlaneLeft);
    // Across the near plane (z from 0.5 to -1.5) and, behind it, all four side planes.
    place(box, 0, 0, -0.5f);
    EXPECT_EQ(testMeshBounds(*box, box.placement, identity(), *t.volume), 0x3D);
    // Beyond the far plane.
    place(box, 0, 0, -3002);
    EXPECT_EQ(testMeshBounds(*box, box.placement, identity(), *t.volume), -1);
    // Scale 0 collapses every corner onto the position, which is inside.
    box.placement.scale = 0.0f;
    place(box, 0, 0, -50);
    EXPECT_EQ(testMeshBounds(*box, box.placement, identity(), *t.volume), 0);
    for (const Vec4& c : box.placement.viewBounds) EXPECT_EQ(c.z, -50.0f);
}

TEST(MeshSubmission, BehindCameraAppendsNothing) {
    TestContext t;
    TestMesh box = makeBox(1, 1, 1);
    place(box, 0, 0, 50);
    const int code = testMeshBounds(*box, box.placement, identity(), *t.volume);
    ASSERT_EQ(code, -1);
    submitMesh(*box, box.placement, identity(), *t.context, code);
    EXPECT_EQ(t.context->vertexCount, 0);
    EXPECT_EQ(t.context->normalCount, 0);
    EXPECT_EQ(t.context->uvCount, 0);
    EXPECT_EQ(t.context->faceCount, 0);
}

TEST(MeshSubmission, WhollyInsideAppendsEverythingAndTheFrontFaces) {
    TestContext t;
    RenderContext& c = *t.context;
    // Something is already in the context: indices must move past it.
    c.vertexCount = 5;
    c.uvCount = 2;
    c.normalCount = 3;
    c.faceCount = 1;
    TestMesh box = makeBox(1, 1, 1);
    place(box, 0, 0, -50);
    submitMesh(*box, box.placement, identity(), c,
               testMeshBounds(*box, box.placement, identity(), *t.volume));
    EXPECT_EQ(c.vertexCount, 5 + 8);
    EXPECT_EQ(c.uvCount, 2 + 1);
    EXPECT_EQ(c.normalCount, 3 + 6);
    // Vertex 7 is (1, 1, 1), moved to z = -49.
    EXPECT_EQ(c.vertices[5 + 7].x, 1.0f);
    EXPECT_EQ(c.vertices[5 + 7].y, 1.0f);
    EXPECT_EQ(c.vertices[5 + 7].z, -49.0f);
    EXPECT_EQ(c.vertices[5 + 7].w, 0.0f);
    // From the origin only the +z side faces the camera: box faces 8 (4, 5, 7) and 9 (4, 7, 6).
    ASSERT_EQ(c.faceCount, 1 + 2);
    const int expected[2][3] = {{4, 5, 7}, {4, 7, 6}};
    for (int f = 0; f < 2; ++f) {
        const Face& face = c.faces[1 + f];
        EXPECT_EQ(face.cornerCount, 3);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(face.vertexIndex[k], 5 + expected[f][k]);
            EXPECT_EQ(face.uvIndex[k], 2 + 0);
            EXPECT_EQ(face.normalIndex[k], 3 + 4);
        }
        EXPECT_EQ(face.faceNormal.z, 1.0f);
        EXPECT_EQ(face.facing, -49.0f);  // (0, 0, 1) . (-1, -1, -49)
        EXPECT_EQ(face.material, box.material.get());
    }
}

TEST(MeshSubmission, FacingExactlyZeroIsDrawn) {
    TestContext t;
    // In the plane y = 0, which holds the camera: the normal is (0, -1, 0) or (0, 1, 0) and
    // the first corner has y = 0.
    TestMesh tri = makeTriangle({-1, 0, -5, 0}, {1, 0, -5, 0}, {0, 0, -7, 0});
    place(tri, 0, 0, 0);
    submitMesh(*tri, tri.placement, identity(), *t.context,
               testMeshBounds(*tri, tri.placement, identity(), *t.volume));
    ASSERT_EQ(t.context->faceCount, 1);
    EXPECT_EQ(t.context->faces[0].facing, 0.0f);
}

TEST(MeshSubmission, NearPlaneCut) {
    // One corner in front: one triangle, two new corners on z = -0.1.
    {
        TestContext t;
        TestMesh tri =
            makeTriangle({0, 0.1f, -1, 0}, {0.05f, -0.05f, 1, 0}, {-0.05f, -0.05f, 1, 0});
        place(tri, 0, 0, 0);
        const int code = testMeshBounds(*tri, tri.placement, identity(), *t.volume);
        ASSERT_GT(code, 0);
        ASSERT_TRUE(code & 1);
        submitMesh(*tri, tri.placement, identity(), *t.context, code);
        RenderContext& c = *t.context;
        ASSERT_EQ(c.faceCount, 1);
        EXPECT_EQ(c.faces[0].vertexIndex[0], 0);  // the corner in front is kept, first
        for (int k = 1; k < 3; ++k) {
            EXPECT_GE(c.faces[0].vertexIndex[k], 3);  // made by clipping, after the mesh's
            EXPECT_NEAR(c.vertices[c.faces[0].vertexIndex[k]].z, -0.1f, 1e-6f);
        }
        // The edge from (0, 0.1, -1) to (0.05, -0.05, 1) meets z = -0.1 at t = 0.45: the uv
        // (0, 0) -> (1, 0) gives u = 0.45.
        EXPECT_NEAR(c.uvs[c.faces[0].uvIndex[1]].u, 0.45f, 1e-6f);
        EXPECT_NEAR(c.vertices[c.faces[0].vertexIndex[1]].x, 0.0225f, 1e-6f);
        EXPECT_EQ(c.vertexCount, 3 + 2);
        EXPECT_EQ(c.uvCount, 4 + 2);
        EXPECT_EQ(c.normalCount, 1 + 2);
    }
    // Two corners in front: a quadrilateral, two triangles (c0, c1, c2) and (c0, c2, c3).
    {
        TestContext t;
        TestMesh tri = makeTriangle({-0.05f, 0, -1, 0}, {0.05f, 0, -1, 0}, {0, 0.1f, 1, 0});
        place(tri, 0, 0, 0);
        const int code = testMeshBounds(*tri, tri.placement, identity(), *t.volume);
        submitMesh(*tri, tri.placement, identity(), *t.context, code);
        RenderContext& c = *t.context;
        ASSERT_EQ(c.faceCount, 2);
        EXPECT_EQ(c.faces[0].vertexIndex[0], c.faces[1].vertexIndex[0]);
        EXPECT_EQ(c.faces[0].vertexIndex[2], c.faces[1].vertexIndex[1]);
        int onPlane = 0;
        for (int f = 0; f < 2; ++f) {
            for (int k = 0; k < 3; ++k) {
                const float z = c.vertices[c.faces[f].vertexIndex[k]].z;
                EXPECT_TRUE(z == -1.0f || std::fabs(z + 0.1f) < 1e-6f) << z;
                if (c.faces[f].vertexIndex[k] >= 3) ++onPlane;
            }
            EXPECT_EQ(c.faces[f].cornerCount, 3);
        }
        EXPECT_EQ(c.vertexCount, 3 + 2);
        EXPECT_EQ(onPlane, 3);  // two new corners, one of them shared by both triangles
    }
}

TEST(MeshSubmission, NewCornerNormalsAreRenormalised) {
    TestContext t;
    RenderContext& c = *t.context;
    // An edge from z = -1 to z = +1 crosses z = -0.1 at t = 0.45 (x = 0 throughout).
    c.vertices[0] = RenderVertex{0, 0, -1, 0, 0, 0};
    c.vertices[1] = RenderVertex{0, 0, 1, 0, 0, 0};
    c.vertices[2] = RenderVertex{0, 0.01f, -1, 0, 0, 0};
    c.normals[0] = Vec4{1, 0, 0, 0};
    c.normals[1] = Vec4{0, 1, 0, 0};
    c.normals[2] = Vec4{1, 0, 0, 0};
    c.uvs[0] = Uv{0, 0};
    c.vertexCount = 3;
    c.normalCount = 3;
    c.uvCount = 1;
    ClipPolygon polygon{{{0, 0, 0}, {1, 0, 1}, {2, 0, 2}}, 3};
    ASSERT_EQ(clipPolygon(c, *t.volume, 1 << kPlaneNear, polygon), 4);
    // (0.55, 0.45, 0, 0) divided by its length 0.7106...
    const Vec4 n = c.normals[polygon.corners[1].normal];
    const float length = std::sqrt(0.55f * 0.55f + 0.45f * 0.45f);
    EXPECT_NEAR(n.x, 0.55f / length, 1e-6f);
    EXPECT_NEAR(n.y, 0.45f / length, 1e-6f);
    // Opposite normals cancel at t = 0.5: the zero normal is kept as it is, not NaN.
    c.normals[1] = Vec4{-1, 0, 0, 0};
    c.vertices[1].z = 0.8f;  // t = (0.1 - 1) / (-1.8) = 0.5
    ClipPolygon again{{{0, 0, 0}, {1, 0, 1}, {2, 0, 2}}, 3};
    ASSERT_EQ(clipPolygon(c, *t.volume, 1 << kPlaneNear, again), 4);
    const Vec4 zero = c.normals[again.corners[1].normal];
    EXPECT_FALSE(std::isnan(zero.x));
    EXPECT_NEAR(zero.x, 0.0f, 1e-6f);
}

TEST(MeshSubmission, ClippedCornersLieInsideEveryPlane) {
    // Property: whatever triangle goes in, what comes out has at most 9 corners, every
    // corner inside all six planes, and only two new corners per plane.
    TestContext t;
    RenderContext& c = *t.context;
    std::mt19937 gen(12345);
    std::uniform_real_distribution<float> xy(-3000.0f, 3000.0f);
    std::uniform_real_distribution<float> z(-4000.0f, 200.0f);
    std::uniform_real_distribution<float> small(-2.0f, 2.0f);
    int kept = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        resetContext(c);
        const bool nearCamera = trial % 2 == 0;
        for (int i = 0; i < 3; ++i) {
            c.vertices[i] = nearCamera ? RenderVertex{small(gen), small(gen), small(gen), 0, 0, 0}
                                       : RenderVertex{xy(gen), xy(gen), z(gen), 0, 0, 0};
            c.normals[i] = Vec4{0, 0, 1, 0};
            c.uvs[i] = Uv{0, 0};
        }
        c.vertexCount = c.normalCount = c.uvCount = 3;
        ClipPolygon polygon{{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, 3};
        const int corners = clipPolygon(c, *t.volume, kAllPlanes, polygon);
        ASSERT_LE(corners, 9);
        ASSERT_LE(c.vertexCount, 3 + 12);
        if (corners > 0) ++kept;
        for (int k = 0; k < corners; ++k) {
            const RenderVertex& v = c.vertices[polygon.corners[k].vertex];
            const float tolerance =
                1e-4f * (1.0f + std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z));
            for (const Plane& p : t.volume->planes) {
                ASSERT_GE(planeValue(p, v), -tolerance) << "trial " << trial;
            }
        }
    }
    EXPECT_GT(kept, 1000);  // the property was exercised, not vacuous
}

TEST(MeshSubmission, MatchesAnIndependentTransformAndClip) {
    // A random triangle soup, placed across several planes, compared corner by corner with
    // the textbook pipeline in double precision.
    TestContext t;
    std::mt19937 gen(777);
    std::uniform_real_distribution<float> coord(-30.0f, 30.0f);
    TestMesh soup;
    for (int i = 0; i < 300; ++i) {
        soup.vertices.push_back(MeshVertex{{coord(gen), coord(gen), coord(gen), 0}, {}});
    }
    soup.normals = {{0, 1, 0, 0}};
    soup.uvs = {{0, 0}};
    for (int f = 0; f < 100; ++f) {
        Face face{};
        face.cornerCount = 3;
        for (int k = 0; k < 3; ++k) face.vertexIndex[k] = 3 * f + k;
        soup.faces.push_back(face);
    }
    soup.finish();

    const Pose poses[] = {{1.0, 0.3, -0.4, 0.2, 5, -3, -40},
                          {2.5, 1.0, 0.5, -0.7, 0, 0, -20},
                          {0.7, -0.2, 2.0, 0.1, 30, 10, -10}};
    const Pose camera{1.0, 0.1, -0.2, 0.05, -2, 1, 3};
    Matrix4 view;
    viewMatrix(Vec3{static_cast<float>(camera.tx), static_cast<float>(camera.ty),
                    static_cast<float>(camera.tz)},
               view,
               Vec3{static_cast<float>(camera.ax), static_cast<float>(camera.ay),
                    static_cast<float>(camera.az)});
    int compared = 0;
    for (const Pose& pose : poses) {
        RenderContext& c = *t.context;
        resetContext(c);
        soup.placement.scale = static_cast<float>(pose.scale);
        setMeshRotation(soup.placement, static_cast<float>(pose.ax), static_cast<float>(pose.ay),
                        static_cast<float>(pose.az));
        soup.placement.position = identityMatrix();
        place(soup, static_cast<float>(pose.tx), static_cast<float>(pose.ty),
              static_cast<float>(pose.tz));
        const int code = testMeshBounds(*soup, soup.placement, view, *t.volume);
        ASSERT_GT(code, 0);
        submitMesh(*soup, soup.placement, view, c, code);

        int next = 0;
        for (const Face& face : soup.faces) {
            P3 p[3];
            for (int k = 0; k < 3; ++k) {
                p[k] =
                    referenceTransform(soup.vertices[face.vertexIndex[k]].position, pose, camera);
            }
            // Facing: the camera-space normal (rotation only) against the first corner.
            const double ux = p[1].x - p[0].x, uy = p[1].y - p[0].y, uz = p[1].z - p[0].z;
            const double vx = p[2].x - p[0].x, vy = p[2].y - p[0].y, vz = p[2].z - p[0].z;
            const double facing = (uy * vz - uz * vy) * p[0].x + (uz * vx - ux * vz) * p[0].y +
                                  (ux * vy - uy * vx) * p[0].z;
            if (facing > 0) continue;
            const std::vector<P3> clipped = referenceClip({p[0], p[1], p[2]}, *t.volume, code);
            for (size_t k = 1; k + 1 < clipped.size(); ++k) {
                ASSERT_LT(next, c.faceCount);
                const Face& out = c.faces[next++];
                const P3 expected[3] = {clipped[0], clipped[k], clipped[k + 1]};
                for (int j = 0; j < 3; ++j) {
                    const RenderVertex& v = c.vertices[out.vertexIndex[j]];
                    const double tol = 1e-3 * (1 + std::fabs(expected[j].z));
                    EXPECT_NEAR(v.x, expected[j].x, tol);
                    EXPECT_NEAR(v.y, expected[j].y, tol);
                    EXPECT_NEAR(v.z, expected[j].z, tol);
                }
                ++compared;
            }
        }
        EXPECT_EQ(next, c.faceCount);
    }
    EXPECT_GT(compared, 50);
}

TEST(MeshSubmission, FacesSkippingTheClipperAreTheClippersOwn) {
    // Faces whose corners are all inside skip the clipper, and faces wholly outside the first
    // plane that cuts them are dropped before it: the result must be bit for bit what clipping
    // every front face against every plane of the bounds code gives. A grid of shared
    // vertices, placed across the near, side and far planes.
    TestContext withMarks, everyFace;
    TestMesh grid;
    int skippedAll = 0;
    constexpr int kSide = 24;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const float wave = 3.0f * std::sin(0.7f * static_cast<float>(x + 2 * y));
            grid.vertices.push_back(MeshVertex{
                {8.0f * static_cast<float>(x - kSide / 2), wave, -8.0f * static_cast<float>(y), 0},
                {}});
        }
    }
    grid.normals = {{0, 1, 0, 0}};
    grid.uvs = {{0, 0}};
    for (int y = 0; y + 1 < kSide; ++y) {
        for (int x = 0; x + 1 < kSide; ++x) {
            const int a = y * kSide + x, b = a + 1, c = a + kSide, d = c + 1;
            for (const auto& corners : {std::array<int, 3>{a, c, b}, std::array<int, 3>{b, c, d}}) {
                Face face{};
                face.cornerCount = 3;
                for (int k = 0; k < 3; ++k) face.vertexIndex[k] = corners[k];
                grid.faces.push_back(face);
            }
        }
    }
    grid.finish();

    // Cameras over the grid, looking along it, down into it and up across it, and a small
    // grid running under the camera (each plane cutting faces alone somewhere); the larger
    // scale reaches the far plane.
    struct Shot {
        Vec3 move, angles;
        float scale;
    };
    const Shot shots[] = {{{0.0f, -6.0f, 30.0f}, {0.35f, 0.2f, 0.0f}, 1.0f},
                          {{0.0f, -6.0f, 30.0f}, {0.35f, 0.2f, 0.0f}, 40.0f},
                          {{0.0f, -3.0f, 10.0f}, {-0.8f, 0.0f, 0.0f}, 1.0f},
                          {{0.0f, -20.0f, 60.0f}, {0.9f, 0.0f, 0.0f}, 40.0f},
                          {{0.0f, -0.001f, 0.0f}, {0.0f, 0.0f, 0.0f}, 0.001f}};
    for (const Shot& shot : shots) {
        const float scale = shot.scale;
        Matrix4 view;
        viewMatrix(shot.move, view, shot.angles);
        RenderContext& a = *withMarks.context;
        RenderContext& b = *everyFace.context;
        resetContext(a);
        resetContext(b);
        grid.placement.scale = scale;
        place(grid, 0.0f, 0.0f, 0.0f);
        const int code = testMeshBounds(*grid, grid.placement, view, *withMarks.volume);
        if (code <= 0) continue;
        submitMesh(*grid, grid.placement, view, a, code);

        // The same vertices, then every front face through the clipper with the whole code.
        const int count = grid->vertexCount;
        for (int i = 0; i < count; ++i) b.vertices[i] = a.vertices[i];
        b.normals[0] = a.normals[0];
        b.uvs[0] = a.uvs[0];
        b.vertexCount = count;
        b.normalCount = 1;
        b.uvCount = 1;
        Matrix4 normalToCamera;
        multiply(normalToCamera, grid.placement.rigid, view);
        int skipped = 0;
        for (const Face& face : grid.faces) {
            const Vec4 normal = transformDirection(face.faceNormal, normalToCamera);
            const float facing = dot3(normal, vertexPosition(b.vertices[face.vertexIndex[0]]));
            if (facing > 0.0f) continue;
            ClipPolygon polygon;
            polygon.count = 3;
            bool inside = true;
            for (int k = 0; k < 3; ++k) {
                polygon.corners[k] = ClipCorner{face.vertexIndex[k], 0, 0};
                for (const Plane& plane : everyFace.volume->planes) {
                    inside = inside && planeValue(plane, b.vertices[face.vertexIndex[k]]) >= 0.0f;
                }
            }
            if (inside) ++skipped;
            clipAndAppendFace(b, code, polygon, normal, facing, face.material, "face");
        }
        skippedAll += skipped;

        ASSERT_EQ(a.faceCount, b.faceCount);
        ASSERT_EQ(a.vertexCount, b.vertexCount);
        for (int f = 0; f < a.faceCount; ++f) {
            for (int k = 0; k < 3; ++k) {
                const RenderVertex& va = a.vertices[a.faces[f].vertexIndex[k]];
                const RenderVertex& vb = b.vertices[b.faces[f].vertexIndex[k]];
                ASSERT_EQ(std::memcmp(&va, &vb, sizeof va), 0) << "face " << f;
                ASSERT_EQ(a.faces[f].normalIndex[k], b.faces[f].normalIndex[k]);
            }
        }
    }
    EXPECT_GT(skippedAll, 200);  // the shortcut was taken, not only the clipper
}

TEST(MeshSubmission, CapacityIsNeverOverrun) {
    TestContext t;
    RenderContext& c = *t.context;
    TestMesh box = makeBox(1, 1, 1);
    // 20000 boxes of 8 vertices would need 160000 vertex slots: the excess boxes are dropped
    // whole, with one warning for the frame.
    place(box, 0, 0, -50);
    const int inside = testMeshBounds(*box, box.placement, identity(), *t.volume);
    for (int i = 0; i < 20000; ++i) submitMesh(*box, box.placement, identity(), c, inside);
    EXPECT_TRUE(countsWithinCapacity(c));
    EXPECT_EQ(c.vertexCount, 12500 * 8);
    EXPECT_EQ(c.faceCount, 12500 * 2);
    EXPECT_TRUE(c.warnedThisFrame);

    // Clipped faces near the end of the arrays: each needs room for its worst case.
    resetContext(c);
    TestMesh big = makeBox(5, 5, 5);
    place(big, 0, 0, -6);  // its front side at z = -1 runs past both side planes
    const int cut = testMeshBounds(*big, big.placement, identity(), *t.volume);
    ASSERT_GT(cut, 0);
    for (int fill = 0; fill < 40; ++fill) {
        resetContext(c);
        c.vertexCount = c.vertexCapacity - 8 - fill;
        c.uvCount = c.uvCapacity - 1 - fill;
        c.normalCount = c.normalCapacity - 6 - fill;
        c.faceCount = c.faceCapacity - fill;
        submitMesh(*big, big.placement, identity(), c, cut);
        ASSERT_TRUE(countsWithinCapacity(c)) << fill;
    }
    // With ample room the same box gives faces; the fill loop above only ever drops.
    resetContext(c);
    submitMesh(*big, big.placement, identity(), c, cut);
    EXPECT_GT(c.faceCount, 0);
}

#ifndef NDEBUG
// The mesh reader refuses faces whose indices leave the mesh; submission only asserts it.
TEST(MeshSubmissionDeathTest, MalformedFacesAreCaughtInDebugBuilds) {
    TestContext t;
    TestMesh tri = makeTriangle({-1, -1, -5, 0}, {1, -1, -5, 0}, {0, 1, -5, 0});
    tri.faces[0].vertexIndex[2] = 3;  // one past the mesh's vertices
    place(tri, 0, 0, 0);
    EXPECT_DEATH(submitMesh(*tri, tri.placement, identity(), *t.context, 0), "faceIsSound");
}
#endif
