#include <gtest/gtest.h>

#include <cmath>

#include "scene_test_support.h"
#include "scenes/discs.h"
#include "scenes/scenes.h"

namespace {

const Material kDiscMaterial{{0, 1, 0, 0}, -1, kShaderLitColour};
constexpr float kBase[3] = {0.87109375f, 0.83984375f, 0.828125f};

Matrix4 at(float x, float y, float z) {
    Matrix4 m;
    objectMatrix(Vec3{0, 0, 0}, m, Vec3{x, y, z});
    return m;
}

Particle particleAt(float y, float speed) {
    Particle p{};
    p.speed = speed;
    p.position = Vec4{10.0f, y, -50.0f, 0.0f};
    p.spin = Vec4{0.1f, 0.2f, 0.3f, 0.0f};
    p.material = Material{{0, 0, 0, 0}, -1, kShaderLitColour};
    return p;
}

}  // namespace

TEST(Disc, SeenFromBelowShowsTheDownSide) {
    TestContext t;
    RenderContext& c = *t.context;
    c.vertexCount = 3;
    c.normalCount = 1;
    c.uvCount = 1;
    // Unrotated disc at y = 5 in front of the camera: the camera is below it.
    buildDisc(&kDiscMaterial, identityMatrix(), c, at(0, 5, -50));
    EXPECT_EQ(c.vertexCount, 3 + 17);
    EXPECT_EQ(c.normalCount, 1 + 2);
    EXPECT_EQ(c.uvCount, 1 + 1);
    // Centre first, then rim point 0 at (0, 0, 10) and rim point 4 at (10, 0, 0).
    EXPECT_EQ(c.vertices[3].y, 5.0f);
    EXPECT_EQ(c.vertices[3].z, -50.0f);
    EXPECT_NEAR(c.vertices[4].z, -40.0f, 1e-5f);
    EXPECT_NEAR(c.vertices[4 + 4].x, 10.0f, 1e-5f);
    EXPECT_EQ(c.normals[1].y, 1.0f);
    EXPECT_EQ(c.normals[2].y, -1.0f);
    // 32 triangles before culling; the 16 downward ones (V, V+1+j, V+1+i) are kept.
    ASSERT_EQ(c.faceCount, 16);
    for (int i = 0; i < 16; ++i) {
        const Face& f = c.faces[i];
        const int j = (i + 1) % 16;
        EXPECT_EQ(f.vertexIndex[0], 3);
        EXPECT_EQ(f.vertexIndex[1], 4 + j);
        EXPECT_EQ(f.vertexIndex[2], 4 + i);
        EXPECT_EQ(f.normalIndex[0], 2);
        EXPECT_EQ(f.uvIndex[2], 1);
        EXPECT_EQ(f.facing, -5.0f);  // (0, -1, 0) . (0, 5, -50)
        EXPECT_EQ(f.material, &kDiscMaterial);
    }
    // From above, the upward ones (V, V+1+i, V+1+j).
    resetContext(c);
    buildDisc(&kDiscMaterial, identityMatrix(), c, at(0, -5, -50));
    ASSERT_EQ(c.faceCount, 16);
    EXPECT_EQ(c.faces[0].vertexIndex[1], 1);
    EXPECT_EQ(c.faces[0].vertexIndex[2], 2);
    EXPECT_EQ(c.faces[0].normalIndex[0], 0);
}

TEST(Disc, ColourFollowsDepth) {
    Particle p = particleAt(0, 1);
    p.position.z = -20.0f;  // (z + 220) / 220 = 200/220
    setParticleColour(p);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(p.material.colour[k], kBase[k] * 200.0f / 220.0f, 1e-6f);
    p.position.z = -120.0f;  // 100/220
    setParticleColour(p);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(p.material.colour[k], kBase[k] * 100.0f / 220.0f, 1e-6f);
    EXPECT_NEAR(p.material.colour[0], 0.39595170f, 1e-6f);
}

TEST(Disc, RespawnRule) {
    // The fall lands exactly on -300: respawned (the test is <=, not <).
    MTRand random(5489);
    double draws[7];
    for (double& d : draws) d = random.nextUnit();
    MTRand reseeded(5489);  // a stream of its own: the same sequence again
    Particle p = particleAt(-298.5f, 1.5f);
    EXPECT_TRUE(advanceParticle(p, reseeded));
    EXPECT_EQ(p.position.y, 200.0f);
    EXPECT_EQ(p.speed, static_cast<float>(draws[0] + 1.5));
    EXPECT_EQ(p.position.z, static_cast<float>(-(draws[1] * 100.0 + 20.0)));
    EXPECT_EQ(p.position.x, static_cast<float>(draws[2] * 400.0 - 200.0));
    EXPECT_EQ(p.spin.x, static_cast<float>(draws[5]));
    EXPECT_EQ(p.spin.y, static_cast<float>(draws[4]));
    EXPECT_EQ(p.spin.z, static_cast<float>(draws[3]));
    EXPECT_EQ(p.spin.w, 0.0f);
    EXPECT_EQ(p.position.w, 0.0f);
    const float factor = static_cast<float>((p.position.z + 220.0) / 220.0);
    EXPECT_NEAR(p.material.colour[0], kBase[0] * factor, 1e-6f);
    // Exactly six draws were taken.
    EXPECT_EQ(reseeded.nextUnit(), draws[6]);

    // Just above -300 it keeps falling and draws nothing.
    MTRand first(99);
    const uint32_t firstWord = first.nextWord();
    MTRand again(99);
    Particle q = particleAt(-298.4f, 1.5f);
    EXPECT_FALSE(advanceParticle(q, again));
    EXPECT_FLOAT_EQ(q.position.y, -299.9f);
    EXPECT_EQ(q.position.x, 10.0f);
    EXPECT_EQ(again.nextWord(), firstWord);
}

TEST(Disc, StartUpFill) {
    MTRand random(kDemoSeed);
    double draws[14];
    for (double& d : draws) d = random.nextUnit();
    MTRand reseeded(kDemoSeed);
    Particle particles[kParticleCount] = {};
    fillParticles(particles, reseeded);
    for (int i = 0; i < 2; ++i) {
        const double* r = draws + 7 * i;
        const Particle& p = particles[i];
        EXPECT_EQ(p.speed, static_cast<float>(r[0] + 1.5));
        EXPECT_EQ(p.position.x, static_cast<float>(r[1] * 400.0 - 200.0));
        EXPECT_EQ(p.position.z, static_cast<float>(-(r[2] * 100.0 + 20.0)));
        EXPECT_EQ(p.spin.x, static_cast<float>(r[3]));
        EXPECT_EQ(p.spin.y, static_cast<float>(r[4]));
        EXPECT_EQ(p.spin.z, static_cast<float>(r[5]));
        EXPECT_EQ(p.position.y, static_cast<float>(r[6] * 400.0 - 200.0));
    }
    for (const Particle& p : particles) {
        // Shader 5 (lit colour): the table's own shader 0 would draw nothing.
        EXPECT_EQ(p.material.shaderType, kShaderLitColour);
        EXPECT_EQ(p.material.textureIndex, -1);
        EXPECT_GE(p.position.y, -200.0f);
        EXPECT_LT(p.position.y, 200.0f);
        EXPECT_LE(p.position.z, -20.0f);
        EXPECT_GE(p.position.z, -120.0f);
        EXPECT_GE(p.speed, 1.5f);
        EXPECT_LE(p.speed, 2.5f);
    }
}

TEST(Disc, SceneAdvancesAndDrawsEveryDisc) {
    TestObjects o;
    Particle& first = o.run.particles[0];
    first.position.y = -299.0f;
    first.speed = 1.5f;
    Particle& second = o.run.particles[1];
    second.position = Vec4{0.0f, 10.0f, -60.0f, 0.0f};
    second.speed = 2.0f;
    SceneInput input{};
    input.sceneTime = 3.0;
    o.runScene(8, input);
    RenderContext& c = *o.test.context;
    EXPECT_EQ(second.position.y, 8.0f);
    // The respawned disc is built in the same frame at its new place: its centre is vertex 0.
    EXPECT_EQ(first.position.y, 200.0f);
    EXPECT_EQ(c.vertices[0].y, 200.0f);
    EXPECT_EQ(c.vertices[0].z, first.position.z);
    EXPECT_GE(c.vertexCount, 200 * 17);
    EXPECT_GT(c.faceCount, 0);
    EXPECT_TRUE(countsWithinCapacity(c));
    EXPECT_EQ(c.lightCount, 1);
    // Something was drawn.
    double sum = 0;
    for (size_t i = 0; i < o.test.framebuffer.size(); i += 4) sum += o.test.framebuffer[i + 1];
    EXPECT_GT(sum, 0.0);
}
