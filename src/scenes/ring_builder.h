// Procedural rings: a flat washer of square cross-section written straight into the render
// context in camera space, one material for the whole ring.
//
// The ring lies in its local X-Z plane around the local Y axis. Segment i (angle i * 2pi/n)
// has four vertices in the order outer top, inner top, inner bottom, outer bottom; the normals
// are up, down, then per segment inward and outward (taken at the segment's middle); one uv
// (0, 0) serves every corner. Each segment makes 8 triangles towards the next segment, the
// last closing onto the first.
#pragma once

#include <cstdint>

#include "render/math.h"
#include "render/render_context.h"

// At most 1024 faces a ring, 8 a segment.
constexpr int kMaxRingSegments = 128;

// Segment counts above kMaxRingSegments are built with kMaxRingSegments; n <= 0 appends only
// the two cap normals and the uv. Front faces are clipped against all six planes.
void buildRing(const Material* material, const Matrix4& view, RenderContext& context,
               const Matrix4& model, int32_t n, float radius, float width, float thickness);
