#include "scene_test_support.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "scenes/discs.h"
#include "scenes/scenes.h"

TestContext::TestContext() {
    volume = createViewVolume();
    context = createRenderContext(&table, volume);
}

TestContext::~TestContext() {
    destroyRenderContext(context);
    destroyViewVolume(volume);
}

namespace {

Vec4 faceNormalOf(const Vec4& a, const Vec4& b, const Vec4& c) {
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    Vec4 n{uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx, 0.0f};
    const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (length > 0.0f) {
        n.x /= length;
        n.y /= length;
        n.z /= length;
    }
    return n;
}

Face triangleFace(int a, int b, int c, int normal, const Material* material) {
    Face face{};
    face.cornerCount = 3;
    const int corners[3] = {a, b, c};
    for (int k = 0; k < 3; ++k) {
        face.vertexIndex[k] = corners[k];
        face.uvIndex[k] = 0;
        face.normalIndex[k] = normal;
    }
    face.material = material;
    return face;
}

}  // namespace

void TestMesh::finish() {
    if (!mesh) {
        mesh = std::make_unique<Mesh>();
        std::memset(mesh.get(), 0, sizeof(Mesh));
    }
    Mesh& m = *mesh;
    m.vertices = vertices.data();
    m.vertexCount = static_cast<int>(vertices.size());
    m.normals = normals.data();
    m.normalCount = static_cast<int>(normals.size());
    m.uvs = uvs.data();
    m.uvCount = static_cast<int>(uvs.size());
    m.faces = faces.data();
    m.faceCount = static_cast<int>(faces.size());
    for (Face& f : faces) {
        f.faceNormal =
            faceNormalOf(vertices[f.vertexIndex[0]].position, vertices[f.vertexIndex[1]].position,
                         vertices[f.vertexIndex[2]].position);
        f.material = material.get();
    }
    float lo[3] = {1e20f, 1e20f, 1e20f}, hi[3] = {-1e20f, -1e20f, -1e20f};
    for (const MeshVertex& v : vertices) {
        const float p[3] = {v.position.x, v.position.y, v.position.z};
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::fmin(lo[a], p[a]);
            hi[a] = std::fmax(hi[a], p[a]);
        }
    }
    for (int i = 0; i < 8; ++i) {
        m.bounds[i] =
            Vec4{(i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2], 0.0f};
    }
    placement = MeshPlacement{};
    m.material = material.get();
    m.textureNameCount = 1;
}

TestMesh makeBox(float hx, float hy, float hz) {
    TestMesh box;
    for (int i = 0; i < 8; ++i) {
        const Vec4 p{(i & 1) ? hx : -hx, (i & 2) ? hy : -hy, (i & 4) ? hz : -hz, 0.0f};
        box.vertices.push_back(MeshVertex{p, Vec4{0, 0, 0, 0}});
    }
    box.normals = {{1, 0, 0, 0},  {-1, 0, 0, 0}, {0, 1, 0, 0},
                   {0, -1, 0, 0}, {0, 0, 1, 0},  {0, 0, -1, 0}};
    box.uvs = {{0, 0}};
    // Quads (counter-clockwise seen from outside) split into two triangles each.
    const int quads[6][4] = {{1, 3, 7, 5}, {0, 4, 6, 2}, {2, 6, 7, 3},
                             {0, 1, 5, 4}, {4, 5, 7, 6}, {0, 2, 3, 1}};
    for (int q = 0; q < 6; ++q) {
        const int* c = quads[q];
        box.faces.push_back(triangleFace(c[0], c[1], c[2], q, nullptr));
        box.faces.push_back(triangleFace(c[0], c[2], c[3], q, nullptr));
    }
    box.finish();
    return box;
}

TestMesh makeTriangle(const Vec4& a, const Vec4& b, const Vec4& c) {
    TestMesh tri;
    tri.vertices = {MeshVertex{a, {}}, MeshVertex{b, {}}, MeshVertex{c, {}}};
    tri.normals = {faceNormalOf(a, b, c)};
    tri.uvs = {{0, 0}, {0, 0}, {1, 0}, {0, 1}};
    Face face = triangleFace(0, 1, 2, 0, nullptr);
    for (int k = 0; k < 3; ++k) face.uvIndex[k] = k + 1;
    tri.faces = {face};
    tri.finish();
    return tri;
}

TestTexture::TestTexture(int width, int height, float (*alpha)(int, int))
    : texels(static_cast<size_t>(width) * height * 4) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float* t = &texels[(static_cast<size_t>(y) * width + x) * 4];
            t[0] = static_cast<float>(x) / width;
            t[1] = static_cast<float>(y) / height;
            t[2] = static_cast<float>((x + y) % 7) / 7.0f;
            t[3] = alpha ? alpha(x, y) : 1.0f;
        }
    }
    texture.texels = texels.data();
    texture.width = width;
    texture.height = height;
}

TestObjects::TestObjects()
    : wall(makeBox(1.0f, 1.0f, 0.2f)),
      text1(makeBox(20.0f, 10.0f, 2.0f)),
      text2(makeTriangle({-20, -10, 0, 0}, {20, -10, 0, 0}, {0, 10, 0, 0})),
      city(makeBox(30.0f, 10.0f, 30.0f)),
      cube(makeBox(1.0f, 1.0f, 1.0f)),
      spike(makeBox(5.0f, 20.0f, 5.0f)),
      greet{TestTexture(1, 1),    TestTexture(640, 73), TestTexture(640, 80), TestTexture(640, 73),
            TestTexture(320, 40), TestTexture(700, 90), TestTexture(640, 73)},
      compofiller(640, 100),
      cred1(640, 200),
      cred2(640, 200),
      hearts(512, 512) {
    *wall.material = Material{{0.1328125f, 0.19921875f, 0.3984375f, 0.0f}, -1, kShaderLitColour};
    spike.material->shaderType = kShaderLitYellow;
    cube.material->shaderType = kShaderLitYellow;

    for (int g = 1; g <= kGreetImageCount; ++g)
        assets.pictures[kGreetPicture1 + g - 1] = &greet[g].texture;
    assets.pictures[kTitlePicture] = &compofiller.texture;
    assets.pictures[kCredit1Picture] = &cred1.texture;
    assets.pictures[kCredit2Picture] = &cred2.texture;
    assets.pictures[kTwisterPicture] = &hearts.texture;
    assets.meshes[kWallMesh] = wall.mesh.get();
    assets.meshes[kText1Mesh] = text1.mesh.get();
    assets.meshes[kText2Mesh] = text2.mesh.get();
    assets.meshes[kCityMesh] = city.mesh.get();
    assets.meshes[kCubeMesh] = cube.mesh.get();
    assets.meshes[kSpikeMesh] = spike.mesh.get();
    for (int i = 0; i < kSpikeCount; ++i) {
        assets.spikePosition[i] =
            Vec4{static_cast<float>((i % 8) * 100 - 350), static_cast<float>((i / 8) * 60 - 200),
                 -300.0f - static_cast<float>(i * 10), 0.0f};
        assets.spikeSpin[i] = Vec4{0.01f * i, 0.5f, 1.0f - 0.01f * i, 0.0f};
    }
    assets.random = MTRand(kDemoSeed);
    fillParticles(assets.startParticles, assets.random);

    run.viewVolume = test.volume;
    run.context = test.context;
    run.light = Light{{0.0f, 40.0f, 90.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 0.0f}, 100.0f};
    restartFallingDiscs(run, assets);
}

void TestObjects::runScene(int scene, const SceneInput& input) {
    if (scene == 8) advanceFallingDiscs(run);
    drawSceneBlock(scene, assets, run, test.target, input);
}

bool countsWithinCapacity(const RenderContext& c) {
    return c.vertexCount >= 0 && c.vertexCount <= c.vertexCapacity && c.uvCount >= 0 &&
           c.uvCount <= c.uvCapacity && c.normalCount >= 0 && c.normalCount <= c.normalCapacity &&
           c.faceCount >= 0 && c.faceCount <= c.faceCapacity;
}

std::vector<float> awkwardFloats(size_t count, uint32_t seed) {
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                              -std::numeric_limits<float>::quiet_NaN(),
                              std::bit_cast<float>(0x7FA00001u),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              -0.0f,
                              0.0f,
                              std::numeric_limits<float>::denorm_min(),
                              -std::bit_cast<float>(0x00400000u),
                              -1.25f,
                              1.0f,
                              std::nextafter(1.0f, 2.0f),
                              3.5f};
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> ordinary(-0.5f, 1.5f);
    std::vector<float> values(count);
    for (float& v : values) {
        const uint32_t pick = static_cast<uint32_t>(random()) % 8;
        if (pick < 5) {
            v = ordinary(random);
        } else if (pick < 7) {
            v = specials[random() % std::size(specials)];
        } else {
            v = std::bit_cast<float>(static_cast<uint32_t>(random()));
        }
    }
    return values;
}

long firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::isnan(a[i]) && std::isnan(b[i])) continue;
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
    }
    return -1;
}
