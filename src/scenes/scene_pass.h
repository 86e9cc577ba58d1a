// Helpers shared by the scene blocks.
#pragma once

#include "assets/mesh.h"
#include "render/math.h"
#include "render/render_context.h"

// Begins a pass: resets the context, gives the light its camera-space position (its world
// position as a point times the pass's view, w = 0) and adds it.
void beginPass(RenderContext& context, Light& light, const Matrix4& view);

// A segment count from a track, kept to what the ring builder supports.
int ringSegments(double ringdiv);

// Writes the translation into the last row of the mesh's position.
void setMeshPosition(Mesh& mesh, float x, float y, float z);

// placeMesh, testMeshBounds, submitMesh.
void submitPlacedMesh(Mesh& mesh, const Matrix4& view, RenderContext& context);

// Sets the depth float of the framebuffer's `pixels` pixels to 0, as the frame's clear does.
void resetDepth(float* framebuffer, long pixels);
