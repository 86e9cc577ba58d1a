#include "scenes/discs.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "scenes/mesh_submission.h"
#include "scenes/scene_pass.h"

namespace {

constexpr float kRimStep = 0.3926991f;  // pi/8 as a float
constexpr float kDiscRadius = 10.0f;
constexpr float kBaseColour[3] = {0.87109375f, 0.83984375f, 0.828125f};

double draw(MTRand& random) {
    return random.nextUnit();
}
float toFloat(double value) {
    return static_cast<float>(value);
}

void setDiscTriangle(Face& face, int centre, int a, int b, int uv, int normal,
                     const Vec4& faceNormal) {
    face = Face{};
    face.cornerCount = 3;
    const int corners[3] = {centre, a, b};
    for (int k = 0; k < 3; ++k) {
        face.vertexIndex[k] = corners[k];
        face.uvIndex[k] = uv;
        face.normalIndex[k] = normal;
    }
    face.faceNormal = faceNormal;
}

}  // namespace

void buildDisc(const Material* material, const Matrix4& view, RenderContext& context,
               const Matrix4& model) {
    if (!contextHasRoom(context, 1 + kDiscRimPoints, 1, 2, 0, "disc")) return;
    Matrix4 toCamera;
    multiply(toCamera, model, view);
    const int v0 = context.vertexCount;
    const int u0 = context.uvCount;
    const int n0 = context.normalCount;

    storeVertex(context, v0, transformPoint(Vec4{0.0f, 0.0f, 0.0f, 0.0f}, toCamera));
    for (int i = 0; i < kDiscRimPoints; ++i) {
        const double angle = static_cast<float>(i) * kRimStep;
        const Vec4 rim{static_cast<float>(kDiscRadius * std::sin(angle)), 0.0f,
                       static_cast<float>(kDiscRadius * std::cos(angle)), 0.0f};
        storeVertex(context, v0 + 1 + i, transformPoint(rim, toCamera));
    }
    context.normals[n0] = transformDirection(Vec4{0.0f, 1.0f, 0.0f, 0.0f}, toCamera);
    context.normals[n0 + 1] = transformDirection(Vec4{0.0f, -1.0f, 0.0f, 0.0f}, toCamera);
    context.uvs[u0] = Uv{0.0f, 0.0f};
    markOutside(context, v0, v0 + 1 + kDiscRimPoints, kAllPlanes);
    context.vertexCount += 1 + kDiscRimPoints;
    context.normalCount += 2;
    context.uvCount += 1;

    // Faces go to the context as they are built, in the same order as a whole list would.
    for (int i = 0; i < kDiscRimPoints; ++i) {
        const int j = (i + 1) % kDiscRimPoints;
        Face pair[2];
        setDiscTriangle(pair[0], v0, v0 + 1 + j, v0 + 1 + i, u0, n0 + 1, context.normals[n0 + 1]);
        setDiscTriangle(pair[1], v0, v0 + 1 + i, v0 + 1 + j, u0, n0, context.normals[n0]);
        submitBuiltFaces(context, pair, 2, material, "disc");
    }
}

void setParticleColour(Particle& particle) {
    // (z + 220) / 220 in double, as the factor is written.
    const double factor = (static_cast<double>(particle.position.z) + 220.0) * 0.004545454545454545;
    for (int c = 0; c < 3; ++c) {
        particle.material.colour[c] = static_cast<float>(kBaseColour[c] * factor);
    }
    particle.material.colour[3] = 0.0f;
}

void fillParticles(Particle* particles, MTRand& random) {
    for (int i = 0; i < kParticleCount; ++i) {
        Particle& p = particles[i];
        p.material.textureIndex = -1;
        p.material.shaderType = kShaderLitColour;
    }
    for (int i = 0; i < kParticleCount; ++i) {
        Particle& p = particles[i];
        const double r1 = draw(random);
        const double r2 = draw(random);
        const double r3 = draw(random);
        const double r4 = draw(random);
        const double r5 = draw(random);
        const double r6 = draw(random);
        const double r7 = draw(random);
        p.speed = toFloat(r1 + 1.5);
        p.position.x = toFloat(r2 * 400.0 - 200.0);
        p.position.z = toFloat(-(r3 * 100.0 + 20.0));
        p.position.y = 200.0f;
        p.position.w = 0.0f;
        p.spin = Vec4{toFloat(r4), toFloat(r5), toFloat(r6), 0.0f};
        setParticleColour(p);
        p.position.y = toFloat(r7 * 400.0 - 200.0);
    }
}

bool advanceParticle(Particle& particle, MTRand& random) {
    particle.position.y -= particle.speed;
    if (!(particle.position.y <= kRespawnHeight)) return false;
    const double r1 = draw(random);
    const double r2 = draw(random);
    const double r3 = draw(random);
    const double r4 = draw(random);
    const double r5 = draw(random);
    const double r6 = draw(random);
    particle.speed = toFloat(r1 + 1.5);
    particle.position.z = toFloat(-(r2 * 100.0 + 20.0));
    particle.position.x = toFloat(r3 * 400.0 - 200.0);
    particle.position.y = 200.0f;
    particle.position.w = 0.0f;
    particle.spin = Vec4{toFloat(r6), toFloat(r5), toFloat(r4), 0.0f};
    setParticleColour(particle);
    return true;
}

void advanceFallingDiscs(SceneRun& run) {
    for (Particle& p : run.particles) advanceParticle(p, run.random);
}

void restartFallingDiscs(SceneRun& run, const SceneAssets& assets) {
    std::copy(std::begin(assets.startParticles), std::end(assets.startParticles), run.particles);
    run.random = assets.random;
    run.discSteps = 0;
}

void drawFallingDiscs(SceneRun& run, const FrameTarget& target, double sceneTime) {
    RenderContext& context = *run.context;
    Matrix4 camera;
    viewMatrix(Vec3{0.0f, 0.0f, 0.0f}, camera, Vec3{0.0f, 0.0f, 0.0f});
    beginPass(context, run.light, camera);
    const float e = static_cast<float>(sceneTime);
    for (Particle& p : run.particles) {
        Matrix4 model;
        objectMatrix(Vec3{p.spin.x * e, p.spin.y * e, p.spin.z * e}, model,
                     Vec3{p.position.x, p.position.y, p.position.z});
        buildDisc(&p.material, camera, context, model);
    }
    flushContext(context, target);
}
