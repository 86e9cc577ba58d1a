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

void resetDepth(float* framebuffer, long pixels) {
    for (long i = 0; i < pixels; ++i) framebuffer[4 * i + 3] = 0.0f;
}
