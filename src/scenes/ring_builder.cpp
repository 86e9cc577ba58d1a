#include "scenes/ring_builder.h"

#include <cmath>

#include "scenes/mesh_submission.h"

namespace {

// 2pi as the float nearest to it, widened to double.
constexpr double kTwoPi = 6.2831854820251465;

// Corner offsets of the 8 triangles of a segment: 0..3 are this segment's vertices, 4..7 the
// next segment's; the normal slot is 0 = up, 1 = down, 2 = inward, 3 = outward.
struct RingTriangle {
    int corner[3];
    int normal;
};
constexpr RingTriangle kSegmentTriangles[8] = {
    {{4, 5, 1}, 0}, {{4, 1, 0}, 0},  // top
    {{5, 6, 2}, 2}, {{5, 2, 1}, 2},  // inner wall
    {{6, 7, 3}, 1}, {{6, 3, 2}, 1},  // bottom
    {{7, 4, 0}, 3}, {{7, 0, 3}, 3},  // outer wall
};

}  // namespace

void buildRing(const Material* material, const Matrix4& view, RenderContext& context,
               const Matrix4& model, int32_t n, float radius, float width, float thickness) {
    if (n > kMaxRingSegments) n = kMaxRingSegments;
    const int segments = n > 0 ? n : 0;
    if (!contextHasRoom(context, 4 * segments, 1, 2 + 2 * segments, 0, "ring")) return;

    Matrix4 toCamera;
    multiply(toCamera, model, view);
    const int v0 = context.vertexCount;
    const int u0 = context.uvCount;
    const int n0 = context.normalCount;

    const float inner = radius;
    const float outer = radius + width;
    const float h = thickness * 0.5f;
    const double step = segments > 0 ? kTwoPi / segments : 0.0;

    context.normals[n0] = transformDirection(Vec4{0.0f, 1.0f, 0.0f, 0.0f}, toCamera);
    context.normals[n0 + 1] = transformDirection(Vec4{0.0f, -1.0f, 0.0f, 0.0f}, toCamera);
    for (int i = 0; i < segments; ++i) {
        const double theta = i * step;
        const double s = std::sin(theta);
        const double c = std::cos(theta);
        const float outerX = static_cast<float>(outer * s);
        const float outerZ = static_cast<float>(outer * c);
        const float innerX = static_cast<float>(inner * s);
        const float innerZ = static_cast<float>(inner * c);
        const int v = v0 + 4 * i;
        storeVertex(context, v + 0, transformPoint(Vec4{outerX, h, outerZ, 0.0f}, toCamera));
        storeVertex(context, v + 1, transformPoint(Vec4{innerX, h, innerZ, 0.0f}, toCamera));
        storeVertex(context, v + 2, transformPoint(Vec4{innerX, -h, innerZ, 0.0f}, toCamera));
        storeVertex(context, v + 3, transformPoint(Vec4{outerX, -h, outerZ, 0.0f}, toCamera));

        const double phi = (i + 0.5) * step;
        const float sp = static_cast<float>(std::sin(phi));
        const float cp = static_cast<float>(std::cos(phi));
        context.normals[n0 + 2 + 2 * i] = transformDirection(Vec4{-sp, 0.0f, -cp, 0.0f}, toCamera);
        context.normals[n0 + 3 + 2 * i] = transformDirection(Vec4{sp, 0.0f, cp, 0.0f}, toCamera);
    }
    context.uvs[u0] = Uv{0.0f, 0.0f};
    markOutside(context, v0, v0 + 4 * segments, kAllPlanes);
    context.vertexCount += 4 * segments;
    context.normalCount += 2 + 2 * segments;
    context.uvCount += 1;

    // Each face is submitted as soon as it is built: submission reads nothing of the faces after
    // it, so the order and the result are those of a whole ring built first, and no storage is
    // shared between shows drawn at once. One face record serves them all: each face sets every
    // field it uses, and the rest stay zero.
    Face face{};
    face.cornerCount = 3;
    face.material = material;
    for (int i = 0; i < segments; ++i) {
        const int c = v0 + 4 * i;
        const int x = v0 + 4 * ((i + 1) % segments);
        const int normalSlot[4] = {n0, n0 + 1, n0 + 2 + 2 * i, n0 + 3 + 2 * i};
        for (const RingTriangle& t : kSegmentTriangles) {
            for (int k = 0; k < 3; ++k) {
                const int offset = t.corner[k];
                face.vertexIndex[k] = offset < 4 ? c + offset : x + offset - 4;
                face.uvIndex[k] = u0;
                face.normalIndex[k] = normalSlot[t.normal];
            }
            face.faceNormal = context.normals[normalSlot[t.normal]];
            submitBuiltFaces(context, &face, 1, material, "ring");
        }
    }
}
