#include "scenes/scene_pass.h"

#include "render/screen.h"
#include "scenes/float_lanes.h"
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

void setMeshPosition(Mesh& mesh, float x, float y, float z) {
    mesh.position.m[12] = x;
    mesh.position.m[13] = y;
    mesh.position.m[14] = z;
}

void submitPlacedMesh(Mesh& mesh, const Matrix4& view, RenderContext& context) {
    placeMesh(mesh);
    const int code = testMeshBounds(mesh, view, *context.viewVolume);
    submitMesh(mesh, view, context, code);
}

void resetDepth(float* framebuffer, PassLanes lanes) {
#ifdef SCENE_FLOAT_LANES
    if (lanes == PassLanes::Vector) {
        // Keeping the colour lanes' bits and clearing the fourth writes +0.0 as below.
        const Float4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int i = 0; i < kScreenPixels; ++i) {
            float* pixel = framebuffer + 4 * i;
            storeFloat4(pixel, selectLanes(kColourLanes, loadFloat4(pixel), zero));
        }
        return;
    }
#endif
    (void)lanes;
    for (int i = 0; i < kScreenPixels; ++i) framebuffer[4 * i + 3] = 0.0f;
}
