#include <cmath>

#include "scenes/mesh_submission.h"
#include "scenes/ring_builder.h"
#include "scenes/scene_blocks.h"
#include "scenes/scene_pass.h"

namespace {

// C0 + (k/5)(C1 - C0) for k = 0..5, as stored.
constexpr float kFlowerColours[kFlowerRings][3] = {
    {0.375f, 0.48828125f, 0.2265625f},       {0.49921876f, 0.54453123f, 0.26406249f},
    {0.62343752f, 0.60078126f, 0.30156249f}, {0.74765629f, 0.65703124f, 0.33906251f},
    {0.87187499f, 0.71328127f, 0.37656251f}, {0.99609375f, 0.76953125f, 0.4140625f},
};
constexpr double kFlowerLag[kFlowerRings] = {1.0, 0.8, 0.6, 0.4, 0.2, 0.0};
constexpr float kFlowerRadius[kFlowerRings] = {140, 120, 100, 80, 60, 40};
constexpr float kFlowerThickness[kFlowerRings] = {2.5f, 5, 10, 20, 30, 40};

void setColour(Material& material, float r, float g, float b) {
    material.colour[0] = r;
    material.colour[1] = g;
    material.colour[2] = b;
    material.colour[3] = 0.0f;
    material.textureIndex = -1;
    material.shaderType = kShaderLitColour;
}

Matrix4 identityCamera() {
    Matrix4 camera;
    viewMatrix(Vec3{0.0f, 0.0f, 0.0f}, camera, Vec3{0.0f, 0.0f, 0.0f});
    return camera;
}

float toFloat(double value) {
    return static_cast<float>(value);
}

}  // namespace

MeshPlacement blockwallPlacement() {
    MeshPlacement wall;
    setMeshRotation(wall, 0.1f, -0.2f, 0.1f);
    setMeshPosition(wall, -50.0f, 0.0f, -500.0f);
    wall.scale = 50.0f;
    return wall;
}

void drawRingTunnel(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                    const SceneInput& input) {
    RenderContext& context = *run.context;
    const TrackValues& tracks = input.tracks;
    const double e = input.sceneTime;
    const double f = tracks.free;

    Matrix4 camera;
    viewMatrix(Vec3{toFloat(264.0 - 524.0 * f), 0.0f, 4.0f}, camera,
               Vec3{1.3f, toFloat(0.6999999284744263 * f - 1.8), 0.0f});
    beginPass(context, run.light, camera);
    for (int k = 0; k < kTunnelRings; ++k) {
        const float t = static_cast<float>(k) * 0.0833333358168602f;
        setColour(run.tunnelMaterials[k], 0.99609375f - 0.62109375f * t, 0.83203125f - 0.34375f * t,
                  0.44921875f - 0.22265625f * t);
    }
    const int n = ringSegments(tracks.ringdiv);
    for (int k = 0; k < kTunnelRings; ++k) {
        Matrix4 model;
        objectMatrix(Vec3{0.0f, toFloat(0.4 * (k + 5) * std::sin(e + k)), 1.57f}, model,
                     Vec3{static_cast<float>((k - 6) * 50), 0.0f, 0.0f});
        const float radius = toFloat(20.0 * std::sin(k * 0.5235987901687622 + 2.34 * e) + 30.0);
        buildRing(&run.tunnelMaterials[k], camera, context, model, n, radius, 5.0f, 20.0f);
    }
    flushContext(context, target);

    // The text is drawn over the rings wherever its faces are.
    resetDepth(target);

    const Matrix4 textCamera = identityCamera();
    beginPass(context, run.light, textCamera);
    const float spinAngle = toFloat(tracks.spinrot * -1.5707963705062866);
    // The first mesh stands on the left, the second on the right; one of them is shown.
    const bool first = roundChoice(tracks.spinchoice) == 1;
    MeshPlacement placement;
    placement.scale = 5.0f;
    setMeshPosition(placement, first ? -180.0f : 180.0f, toFloat(tracks.spiny), -550.0f);
    setMeshRotation(placement, spinAngle, 0.0f, 0.0f);
    submitPlacedMesh(first ? *assets.meshes[kText1Mesh] : *assets.meshes[kText2Mesh], placement,
                     textCamera, context);
    flushContext(context, target);
}

void drawFlower(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                const SceneInput& input) {
    RenderContext& context = *run.context;
    const TrackValues& tracks = input.tracks;
    const double e = input.sceneTime;

    Matrix4 camera;
    viewMatrix(Vec3{-96.0f, -92.0f, -28.0f}, camera, Vec3{1.1f, -1.0f, 0.0f});
    beginPass(context, run.light, camera);
    for (int k = 0; k < kFlowerRings; ++k) {
        setColour(run.flowerMaterials[k], kFlowerColours[k][0], kFlowerColours[k][1],
                  kFlowerColours[k][2]);
    }
    const int n = ringSegments(tracks.ringdiv);
    for (int k = 0; k < kFlowerRings; ++k) {
        const double lagged = e - kFlowerLag[k];
        Matrix4 model;
        objectMatrix(Vec3{toFloat(lagged * 0.68), toFloat(lagged * 0.2), toFloat(lagged * 0.8)},
                     model, Vec3{0.0f, 0.0f, -10.0f});
        buildRing(&run.flowerMaterials[k], camera, context, model, n,
                  toFloat(tracks.ringdistance * kFlowerRadius[k]), 10.0f,
                  toFloat(tracks.ringthickness * kFlowerThickness[k]));
    }
    flushContext(context, target);

    // The depth of the rings stays: the wall is hidden where a ring is nearer.
    const Matrix4 wallCamera = identityCamera();
    beginPass(context, run.light, wallCamera);
    MeshPlacement wall = blockwallPlacement();
    submitPlacedMesh(*assets.meshes[kWallMesh], wall, wallCamera, context);
    flushContext(context, target);
}

void drawPulsingRow(SceneRun& run, const FrameTarget& target, const SceneInput& input) {
    RenderContext& context = *run.context;
    const TrackValues& tracks = input.tracks;
    const Matrix4& camera = input.freeCamera;

    beginPass(context, run.light, camera);
    for (int k = 0; k < kRowRings; ++k) {
        const float s = static_cast<float>(k) * 0.1f;
        setColour(run.rowMaterials[k], 0.375f + 0.62109375f * s, 0.48828125f + 0.28125f * s,
                  0.2265625f + 0.1875f * s);
    }
    for (int k = 0; k < kRowRings; ++k) {
        Matrix4 model;
        objectMatrix(Vec3{0.0f, 0.0f, -1.5707963705062866f}, model,
                     Vec3{static_cast<float>((k - 5) * 30), 0.0f, 0.0f});
        const float radius =
            toFloat(tracks.cityscale * (std::sin(k * 0.3141592741012573) + 1.0) * 20.0 + 30.0);
        buildRing(&run.rowMaterials[k], camera, context, model, 64, radius, toFloat(tracks.cityrot),
                  10.0f);
    }
    flushContext(context, target);
}
