#include "scenes/scene_pass.h"

#include "scenes/mesh_submission.h"
#include "scenes/ring_builder.h"
#include "scenes/track_values.h"

void beginPass(RenderContext& context, Light& light, const Matrix4& view) {
    resetContext(context);
    light.camera = transformPoint(light.world, view);
    light.camera.w = 0.0f;
    addLight(context, &light);
}

int ringSegments(double ringdiv) {
    const int n = roundChoice(ringdiv);
    return n > kMaxRingSegments ? kMaxRingSegments : n;
}

void submitPlacedMesh(const Mesh& mesh, MeshPlacement& placement, const Matrix4& view,
                      RenderContext& context, const Material* material) {
    placeMesh(placement);
    const int code = testMeshBounds(mesh, placement, view, *context.viewVolume);
    submitMesh(mesh, placement, view, context, code, material);
}

void resetDepth(const FrameTarget& target) {
    float* framebuffer = target.framebuffer;
    const long pixels = target.screen.pixels();
    // Four pixels a step: a screen is whole 8x8 blocks.
    for (long i = 0; i < pixels; i += 4) {
        framebuffer[4 * i + 3] = 0.0f;
        framebuffer[4 * i + 7] = 0.0f;
        framebuffer[4 * i + 11] = 0.0f;
        framebuffer[4 * i + 15] = 0.0f;
    }
}
