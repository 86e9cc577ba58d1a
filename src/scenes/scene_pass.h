// Helpers shared by the scene blocks.
#pragma once

#include "assets/mesh.h"
#include "render/frame_target.h"
#include "render/math.h"
#include "render/render_context.h"
#include "scenes/mesh_submission.h"

// Begins a pass: resets the context, gives the light its camera-space position (its world
// position as a point times the pass's view, w = 0) and adds it.
void beginPass(RenderContext& context, Light& light, const Matrix4& view);

// A segment count from a track, kept to what the ring builder supports.
int ringSegments(double ringdiv);

// placeMesh, testMeshBounds, submitMesh (with `material` for the mesh's default material when
// one is given).
void submitPlacedMesh(const Mesh& mesh, MeshPlacement& placement, const Matrix4& view,
                      RenderContext& context, const Material* material = nullptr);

// Sets the depth float of every pixel of the target to 0, as the frame's clear does.
void resetDepth(const FrameTarget& target);
