#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "render/render_context.h"
#include "render/texture.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// A context over a real 640 x 480 framebuffer, with helpers that append like a submitter.
struct Scene {
    std::vector<float> framebuffer = std::vector<float>(640 * 480 * 4, 0.0f);
    TextureTable table{};
    ViewVolume* view = createViewVolume();
    RenderContext* context = createRenderContext(&table, view);
    FrameTarget target{framebuffer.data()};

    ~Scene() {
        destroyRenderContext(context);
        destroyViewVolume(view);
    }

    int vertex(float x, float y, float z) {
        context->vertices[context->vertexCount] = {x, y, z, 0.0f, 0.0f, 0.0f};
        return context->vertexCount++;
    }
    int normal(float x, float y, float z) {
        context->normals[context->normalCount] = {x, y, z, 0.0f};
        return context->normalCount++;
    }
    int uv(float u, float v) {
        context->uvs[context->uvCount] = {u, v};
        return context->uvCount++;
    }
    // A face over the given corners; every corner uses normal 0 and texture coordinate 0 unless
    // the caller changes them.
    Face& face(std::initializer_list<int> vertices, const Material* material) {
        Face& f = context->faces[context->faceCount++];
        f = Face{};
        int i = 0;
        for (int v : vertices) f.vertexIndex[i++] = v;
        f.cornerCount = i;
        f.material = material;
        return f;
    }
    // (0, 0, z), (0, -1, z), (1, 0, z): at z = -5 they project to (320, 240), (320, 280.2) and
    // (360.2, 240), a counter-clockwise right triangle on the screen.
    Face& screenTriangle(const Material* material, float z = -5.0f) {
        const int a = vertex(0, 0, z), b = vertex(0, -1, z), c = vertex(1, 0, z);
        Face& f = face({a, b, c}, material);
        const int n = normal(0, 0, 1);
        for (int i = 0; i < 3; ++i) f.normalIndex[i] = n;
        return f;
    }
    const float* pixel(int px, int py) const { return &framebuffer[4 * (py * 640 + px)]; }
    int drawnCount() const {
        int count = 0;
        for (size_t i = 3; i < framebuffer.size(); i += 4) count += framebuffer[i] != 0.0f;
        return count;
    }
};

Material material(int shader, float r = 0.0f, float g = 0.0f, float b = 0.0f, int texture = -1) {
    return Material{{r, g, b, 1.0f}, texture, shader};
}

Light light(float x, float y, float z, float strength) {
    Light l{};
    l.camera = {x, y, z, 0.0f};
    l.strength = strength;
    return l;
}

TEST(RenderContext, ViewVolumeValues) {
    ViewVolume* view = createViewVolume();
    EXPECT_EQ(view->width, 640.0f);
    EXPECT_EQ(view->height, 480.0f);
    EXPECT_EQ(view->fov, 50.0f);
    EXPECT_EQ(view->aspect, 1.3333334f);
    EXPECT_EQ(view->nearZ, -0.1f);
    EXPECT_EQ(view->farZ, -3000.0f);
    // floor(240 / tan 50deg) = floor(201.38...)
    EXPECT_EQ(view->projScale, 201.0f);

    // Normals of the table (cos 50deg = 0.6427876, sin 50deg = 0.7660444; the side planes
    // (cos A, 0, -4/3 sin A) divided by their length 1.2068), all of unit length, each component
    // exactly the float nearest its true value: a normalisation in float lands one or two ulps
    // off, which shows as 0.6427877 and 0.8463491 at the table's seven digits. The float
    // nearest cos A is 0.64278764 (0.6427876f would be the one below it, 0.64278758).
    const float expected[6][4] = {{0, 0, -1, 0.1f},
                                  {0, 0, 1, -3000},
                                  {0, -0.64278764f, -0.7660444f, 0},
                                  {0, 0.64278764f, -0.7660444f, 0},
                                  {0.5326285f, 0, -0.8463492f, 0},
                                  {-0.5326285f, 0, -0.8463492f, 0}};
    for (int i = 0; i < 6; ++i) {
        const Plane& p = view->planes[i];
        EXPECT_EQ(p.nx, expected[i][0]) << i;
        EXPECT_EQ(p.ny, expected[i][1]) << i;
        EXPECT_EQ(p.nz, expected[i][2]) << i;
        EXPECT_EQ(p.nw, 0.0f);
        EXPECT_EQ(p.d, expected[i][3]) << i;
        EXPECT_NEAR(p.nx * p.nx + p.ny * p.ny + p.nz * p.nz, 1.0f, 1e-6f) << i;
    }

    // The side planes meet the screen edges: a point on the right plane projects to
    // sx = 320 + 201 * 0.8463492 / 0.5326285 = 639.4, one on the left plane to 0.6.
    const Plane& right = view->planes[kPlaneRight];
    const float z = -10.0f, x = -right.nz * z / right.nx;
    EXPECT_NEAR(320.0f - 201.0f * x / z, 639.4f, 0.05f);
    EXPECT_NEAR(320.0f - 201.0f * -x / z, 0.6f, 0.05f);
    destroyViewVolume(view);
}

TEST(RenderContext, CreatedEmptyAtCapacity) {
    Scene s;
    RenderContext& c = *s.context;
    EXPECT_EQ(c.vertexCapacity, 100000);
    EXPECT_EQ(c.uvCapacity, 100000);
    EXPECT_EQ(c.normalCapacity, 100000);
    EXPECT_EQ(c.faceCapacity, 100000);
    EXPECT_EQ(c.maxLights, 16);
    EXPECT_EQ(c.vertexCount + c.uvCount + c.normalCount + c.faceCount + c.lightCount, 0);
    EXPECT_EQ(c.textures, &s.table);
    EXPECT_EQ(c.viewVolume, s.view);
    EXPECT_FALSE(c.warnedThisFrame);
    for (int i : {0, 1, 99999}) {
        EXPECT_EQ(c.faces[i].cornerCount, 0);
        EXPECT_EQ(c.faces[i].material, nullptr);
        EXPECT_EQ(c.faces[i].materialIndex, 0);
    }
    for (const void* array :
         {static_cast<const void*>(c.vertices), static_cast<const void*>(c.uvs),
          static_cast<const void*>(c.normals), static_cast<const void*>(c.faces),
          static_cast<const void*>(c.drawOrder), static_cast<const void*>(c.sortScratch),
          static_cast<const void*>(c.sortKeys)}) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(array) % 64, 0u);
    }

    Light l = light(0, 0, 0, 1);
    s.vertex(1, 2, 3);
    s.uv(0, 0);
    s.normal(0, 0, 1);
    s.face({0, 0, 0}, nullptr);
    addLight(c, &l);
    resetContext(c);
    EXPECT_EQ(c.vertexCount + c.uvCount + c.normalCount + c.faceCount + c.lightCount, 0);
}

TEST(RenderContext, CapacityOverrunsAreRefusedWithOneWarningPerFrame) {
    Scene s;
    RenderContext& c = *s.context;
    c.vertexCount = 99990;
    EXPECT_TRUE(contextHasRoom(c, 10, 5, 5, 5, "mesh"));  // exactly full still fits

    CaptureStdout();
    EXPECT_FALSE(contextHasRoom(c, 11, 0, 0, 0, "mesh"));
    EXPECT_FALSE(contextHasRoom(c, 0, 0, 0, 100001, "ring"));  // same frame: silent
    EXPECT_EQ(GetCapturedStdout(), "render context full: dropped mesh\n");
    EXPECT_TRUE(c.warnedThisFrame);

    c.warnedThisFrame = false;  // the next frame
    CaptureStdout();
    EXPECT_FALSE(contextHasRoom(c, -1, 0, 0, 0, "disc"));  // nonsense requests fit nowhere
    EXPECT_FALSE(contextHasRoom(c, 0, 0, 0, 2147483647, "disc"));
    EXPECT_EQ(GetCapturedStdout(), "render context full: dropped disc\n");

    // The 17th light is dropped; the first 16 stay in order.
    c.warnedThisFrame = false;
    std::vector<Light> lights(17, light(0, 0, 0, 1));
    CaptureStdout();
    for (Light& l : lights) addLight(c, &l);
    EXPECT_EQ(GetCapturedStdout(), "render context full: dropped light\n");
    EXPECT_EQ(c.lightCount, 16);
    EXPECT_EQ(c.lights[15], &lights[15]);
}

TEST(RenderContext, ProjectVertices) {
    Scene s;
    s.vertex(1, 0, -201);    // sx = 320 - 201 * 1 / -201 = 321, sy = 240
    s.vertex(0, 201, -201);  // y up lands above the centre: sy = 240 - 201 = 39
    s.vertex(-2, -1, -67);   // sx = 320 - 6 = 314, sy = 240 + 3 = 243
    projectVertices(*s.context);
    const RenderVertex* v = s.context->vertices;
    EXPECT_EQ(v[0].sx, 321.0f);
    EXPECT_EQ(v[0].sy, 240.0f);
    EXPECT_EQ(v[1].sx, 320.0f);
    EXPECT_EQ(v[1].sy, 39.0f);
    EXPECT_EQ(v[2].sx, 314.0f);
    EXPECT_EQ(v[2].sy, 243.0f);
}

TEST(RenderContext, SortKeysAndOrder) {
    Scene s;
    RenderContext& c = *s.context;
    const Material m = material(kShaderLitColour);
    const int far1 = s.vertex(0, 0, -1), tiny = s.vertex(0, 0, -0.00001f);
    const int a = s.vertex(0, 0, -0.5f), b = s.vertex(0, 0, -3), d = s.vertex(0, 0, -2);
    const int farthest = s.vertex(0, 0, -4);
    s.face({far1, far1, far1}, &m);   // key 65536
    s.face({tiny, tiny, tiny}, &m);   // key 0 (0.65536 truncated)
    s.face({a, b, d}, &m);            // farthest corner -3: key 196608
    s.face({a, a, a, farthest}, &m);  // the fourth corner counts: key 262144
    s.face({far1, a, far1}, &m);      // key 65536 again: after face 0
    sortFaces(c);
    EXPECT_EQ(c.sortKeys[0], 65536);
    EXPECT_EQ(c.sortKeys[1], 0);
    EXPECT_EQ(c.sortKeys[2], 196608);
    EXPECT_EQ(c.sortKeys[3], 262144);
    const int expected[] = {1, 0, 4, 2, 3};
    EXPECT_TRUE(std::equal(expected, expected + 5, c.drawOrder));

    // Behind the camera (z > 0) the key is negative and, read unsigned, sorts last. Values
    // beyond the int32 range saturate instead of overflowing the conversion; NaN corners are
    // ignored, so a face of NaN corners sorts like one without corners (INT32_MIN).
    resetContext(c);
    const int behind = s.vertex(0, 0, 2), veryFar = s.vertex(0, 0, -1e30f);
    const int veryBehind = s.vertex(0, 0, 1e30f), nan = s.vertex(0, 0, NAN);
    const int near = s.vertex(0, 0, -2);
    s.face({behind, behind, behind}, &m);
    s.face({veryFar, veryFar, veryFar}, &m);
    s.face({veryBehind, veryBehind, veryBehind}, &m);
    s.face({nan, nan, nan}, &m);
    s.face({near, near, near}, &m);
    sortFaces(c);
    EXPECT_EQ(c.sortKeys[0], -131072);
    EXPECT_EQ(c.sortKeys[1], INT32_MAX);
    EXPECT_EQ(c.sortKeys[2], INT32_MIN);
    EXPECT_EQ(c.sortKeys[3], INT32_MIN);
    EXPECT_EQ(c.sortKeys[4], 131072);
    const int extremes[] = {4, 1, 2, 3, 0};
    EXPECT_TRUE(std::equal(extremes, extremes + 5, c.drawOrder));
}

TEST(RenderContext, RadixSortMatchesStableSort) {
    Scene s;
    RenderContext& c = *s.context;
    const Material m = material(kShaderLitColour);
    std::mt19937 rng(77);
    for (int round = 0; round < 6; ++round) {
        resetContext(c);
        const int faces =
            round == 0 ? 0 : (round == 5 ? 100000 : 1 + static_cast<int>(rng() % 5000));
        // Few distinct depths in some rounds (many ties), wide ranges in others, some behind.
        const float range = round % 2 ? 0.01f : 5000.0f;
        for (int i = 0; i < faces; ++i) {
            const float z = std::uniform_real_distribution<float>(-range, range * 0.1f)(rng);
            const float q = round % 2 ? std::round(z * 1000.0f) / 1000.0f : z;
            const int v = s.vertex(0, 0, q);
            s.face({v, v, v}, &m);
        }
        sortFaces(c);
        std::vector<int> order(faces);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
            return static_cast<uint32_t>(c.sortKeys[x]) < static_cast<uint32_t>(c.sortKeys[y]);
        });
        for (int i = 0; i < faces; ++i) {
            ASSERT_EQ(c.drawOrder[i], order[i]) << "round " << round << " position " << i;
            const float z = c.vertices[i].z;
            ASSERT_EQ(c.sortKeys[i], static_cast<int32_t>(-z * 65536.0f));
        }
    }
}

TEST(RenderContext, LightCorner) {
    Scene s;
    RenderContext& c = *s.context;
    const Vec4 origin{0, 0, 0, 0}, up{0, 0, 1, 0};
    EXPECT_EQ(lightCorner(c, origin, up), 0.0f);  // no lights

    // Straight in front at distance 10, strength 100: dot = -1, m^2 = 1, D = 0.3 + 100/10.
    Light front = light(0, 0, 10, 100);
    addLight(c, &front);
    EXPECT_FLOAT_EQ(lightCorner(c, origin, up), 10.3f);

    // A second light adds: distance 5, strength 10 gives 0.3 + 10/5 = 2.3.
    Light second = light(0, 0, 5, 10);
    addLight(c, &second);
    EXPECT_FLOAT_EQ(lightCorner(c, origin, up), 12.6f);

    // Facing away (the light behind the surface): dot = 1 gives 0.3, and at 60 degrees
    // (dot = 0.5) 0.3 * 0.25 = 0.075, whatever the strength.
    resetContext(c);
    Light behind = light(0, 0, -10, 100);
    addLight(c, &behind);
    EXPECT_FLOAT_EQ(lightCorner(c, origin, up), 0.3f);
    resetContext(c);
    Light slanted = light(-8.660254f, 0, -5, 100);  // 10 away, l = (0.866, 0, 0.5)
    addLight(c, &slanted);
    EXPECT_NEAR(lightCorner(c, origin, up), 0.075f, 1e-6f);
}

TEST(RenderContext, ShadersWithoutLights) {
    // Shader 5: material colour * (0 + 0.5). Shader 4: (0.8, 0.7, 0.2) * (0 + 0.2).
    Scene s;
    const Material colour = material(kShaderLitColour, 0.2f, 0.4f, 1.0f);
    s.screenTriangle(&colour);
    flushContext(*s.context, s.target);
    EXPECT_NEAR(s.pixel(325, 245)[0], 0.1f, 1e-6f);
    EXPECT_NEAR(s.pixel(325, 245)[1], 0.2f, 1e-6f);
    EXPECT_NEAR(s.pixel(325, 245)[2], 0.5f, 1e-6f);
    EXPECT_NEAR(s.pixel(325, 245)[3], -0.2f, 1e-6f);  // 1/z at z = -5
    // The legs snap to 40.1875 px (360.2 * 16 rounds to 5763): pixels i + j <= 40 from
    // (320, 240), 41 * 42 / 2 of them.
    EXPECT_EQ(s.drawnCount(), 861);

    Scene yellow;
    const Material fixed = material(kShaderLitYellow, 1, 1, 1);
    yellow.screenTriangle(&fixed);
    flushContext(*yellow.context, yellow.target);
    EXPECT_NEAR(yellow.pixel(325, 245)[0], 0.16f, 1e-6f);
    EXPECT_NEAR(yellow.pixel(325, 245)[1], 0.14f, 1e-6f);
    EXPECT_NEAR(yellow.pixel(325, 245)[2], 0.04f, 1e-6f);

    // Shader 1 draws nothing.
    Scene hidden;
    const Material none = material(kShaderHidden, 1, 1, 1);
    hidden.screenTriangle(&none);
    flushContext(*hidden.context, hidden.target);
    EXPECT_EQ(hidden.drawnCount(), 0);
}

TEST(RenderContext, LitFaceUsesLightsAndNormals) {
    // The light 10 in front of the surface (z = -5, normal +z) with strength 10:
    // lightCorner = 0.3 + 10/10 = 1.3 near the axis, plus 0.5 for shader 5.
    Scene s;
    Light l = light(0, 0, 5, 10);
    addLight(*s.context, &l);
    const Material m = material(kShaderLitColour, 0.5f, 0.25f, 0.125f);
    s.screenTriangle(&m);
    flushContext(*s.context, s.target);
    EXPECT_NEAR(s.pixel(321, 241)[0], 0.5f * 1.8f, 0.005f);
    EXPECT_NEAR(s.pixel(321, 241)[2], 0.125f * 1.8f, 0.002f);
}

TEST(RenderContext, TexturedShaders) {
    std::vector<float> texels(4 * 4 * 4);
    for (int i = 0; i < 16; ++i) {
        texels[4 * i + 0] = 1.0f, texels[4 * i + 1] = 0.5f, texels[4 * i + 2] = 0.25f;
        texels[4 * i + 3] = 1.0f;
    }
    Texture texture{};
    texture.texels = texels.data(), texture.width = 4, texture.height = 4;

    // 14: texel * (0 + 0.1); 20: the opaque texel itself.
    for (int shader : {kShaderTexturedLit, kShaderTextured}) {
        Scene s;
        s.table.textures[0] = &texture;
        s.table.count = 1;
        const Material m = material(shader, 0, 0, 0, 0);
        Face& f = s.screenTriangle(&m);
        for (int i = 0; i < 3; ++i) f.uvIndex[i] = s.uv(0.2f * i, 0.3f);
        flushContext(*s.context, s.target);
        const float scale = shader == kShaderTexturedLit ? 0.1f : 1.0f;
        EXPECT_NEAR(s.pixel(325, 245)[0], 1.0f * scale, 1e-6f) << shader;
        EXPECT_NEAR(s.pixel(325, 245)[1], 0.5f * scale, 1e-6f) << shader;
        EXPECT_EQ(s.drawnCount(), 861) << shader;
    }
}

TEST(RenderContext, FacesThatCannotBeDrawnAreSkipped) {
    // An unknown shader is reported and skipped; the rest of the pass still draws. The frame
    // prints one warning in all.
    Scene s;
    const Material unknown = material(7, 1, 1, 1), good = material(kShaderLitColour, 1, 1, 1);
    s.screenTriangle(&unknown, -5.0f);
    s.screenTriangle(&unknown, -6.0f);
    s.screenTriangle(&good, -7.0f);
    CaptureStdout();
    flushContext(*s.context, s.target);
    EXPECT_EQ(GetCapturedStdout(), "unknown shader type 7\n");
    EXPECT_NEAR(s.pixel(322, 242)[3], -1.0f / 7.0f, 1e-6f);

    // A texture index that names no loaded texture, indices past the appended entries, and a
    // face without material are skipped without reading anything they name.
    Scene bad;
    bad.uv(0.5f, 0.5f);
    const Material noTexture = material(kShaderTextured, 0, 0, 0, 3);
    const Material negative = material(kShaderTexturedLit, 0, 0, 0, -1);
    bad.screenTriangle(&noTexture);
    bad.screenTriangle(&negative);
    bad.screenTriangle(&good).vertexIndex[1] = 100;
    bad.screenTriangle(&good).normalIndex[2] = -1;
    bad.screenTriangle(nullptr);
    bad.face({0, 1}, &good);
    CaptureStdout();
    flushContext(*bad.context, bad.target);
    EXPECT_EQ(GetCapturedStdout(), "render context: skipped a face naming a missing texture\n");
    EXPECT_EQ(bad.drawnCount(), 0);
}

TEST(RenderContext, EmptyAndTiedPasses) {
    // No faces: nothing drawn, but every vertex is still projected.
    Scene empty;
    empty.vertex(1, 0, -201);
    flushContext(*empty.context, empty.target);
    EXPECT_EQ(empty.context->vertices[0].sx, 321.0f);
    EXPECT_EQ(empty.drawnCount(), 0);

    // Equal keys draw in submission order, and at equal depth the first face stays.
    Scene tied;
    const Material red = material(kShaderLitColour, 1, 0, 0);
    const Material green = material(kShaderLitColour, 0, 1, 0);
    tied.screenTriangle(&red);
    tied.screenTriangle(&green);
    flushContext(*tied.context, tied.target);
    EXPECT_EQ(tied.context->drawOrder[0], 0);
    EXPECT_GT(tied.pixel(325, 245)[0], 0.4f);
    EXPECT_EQ(tied.pixel(325, 245)[1], 0.0f);

    // Front to back: the nearer face submitted second is drawn first and keeps its pixels.
    Scene order;
    order.screenTriangle(&red, -9.0f);
    order.screenTriangle(&green, -5.0f);
    flushContext(*order.context, order.target);
    EXPECT_EQ(order.context->drawOrder[0], 1);
    EXPECT_GT(order.pixel(325, 245)[1], 0.4f);
    EXPECT_EQ(order.pixel(325, 245)[0], 0.0f);
}

}  // namespace
