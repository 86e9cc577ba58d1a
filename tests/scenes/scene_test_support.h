// Test scaffolding: a real view volume and render context over a framebuffer, and meshes and
// textures made in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "assets/mesh.h"
#include "assets/texture.h"
#include "render/frame_target.h"
#include "render/render_context.h"
#include "scenes/mesh_submission.h"
#include "scenes/scene_objects.h"
#include "scenes/track_values.h"

constexpr int kTestWidth = 640;
constexpr int kTestHeight = 480;
constexpr int kTestFloats = kTestWidth * kTestHeight * 4;

struct TestContext {
    std::vector<float> framebuffer = std::vector<float>(kTestFloats, 0.0f);
    TextureTable table{};
    ViewVolume* volume = nullptr;
    RenderContext* context = nullptr;
    FrameTarget target{framebuffer.data()};

    TestContext();
    ~TestContext();
    TestContext(const TestContext&) = delete;
    TestContext& operator=(const TestContext&) = delete;
};

// A mesh whose arrays live in `storage` vectors owned by the returned holder.
struct TestMesh {
    std::unique_ptr<Mesh> mesh;
    MeshPlacement placement;
    std::vector<MeshVertex> vertices;
    std::vector<Vec4> normals;
    std::vector<Uv> uvs;
    std::vector<Face> faces;
    // Heap-held so that the faces' pointers survive moving the holder.
    std::unique_ptr<Material> material =
        std::make_unique<Material>(Material{{0.5f, 0.5f, 0.5f, 0.0f}, -1, kShaderLitColour});

    // Points the mesh at the vectors, computes bounds and face normals (counter-clockwise
    // corners seen from outside give outward normals), resets the placement.
    void finish();
    Mesh& operator*() { return *mesh; }
    Mesh* operator->() { return mesh.get(); }
};

// An axis-aligned box centred on the origin, 8 vertices and 12 outward-facing triangles.
// Every corner's normal is its face normal (normals 0..5: +x, -x, +y, -y, +z, -z).
TestMesh makeBox(float halfX, float halfY, float halfZ);

// One triangle with the given corners (counter-clockwise seen from the side its normal
// points to), normal index 0 = its face normal, uvs 1..3 = (0,0), (1,0), (0,1).
TestMesh makeTriangle(const Vec4& a, const Vec4& b, const Vec4& c);

// A texture of w x h texels whose texel (x, y) has r = x / w, g = y / h, b = ((x + y) % 7) / 7
// and alpha `alpha(x, y)` (default: 1).
struct TestTexture {
    std::vector<float> texels;
    Texture texture{};
    explicit TestTexture(int width = 1, int height = 1, float (*alpha)(int, int) = nullptr);
};

// Scene assets and a run over a TestContext: small boxes for every mesh, small textures, the
// light at (0, 40, 90), the discs filled from the seeded stream.
struct TestObjects {
    TestContext test;
    TestMesh wall, text1, text2, city, cube, spike;
    TestTexture greet[kGreetImageCount + 1];
    TestTexture compofiller, cred1, cred2, hearts;
    SceneAssets assets{};
    SceneRun run{};

    TestObjects();
    // A frame of `scene`: for scene 8 the discs take one step first.
    void runScene(int scene, const SceneInput& input);
};

// count floats for comparing vector lanes with scalar code: a mix of ordinary values in
// -0.5..1.5 and NaNs (both signs, payloads), infinities, -0, denormals, negatives, values
// above 1 and raw bit patterns.
std::vector<float> awkwardFloats(size_t count, uint32_t seed);

// The first index where a and b differ in their bits, any two NaNs counting as equal; -1
// when there is none (sizes must match).
long firstDifference(const std::vector<float>& a, const std::vector<float>& b);

// True when every context count lies within 0..capacity.
bool countsWithinCapacity(const RenderContext& context);
