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
    clearDepths(target.framebuffer, target.screen.pixels());
}
