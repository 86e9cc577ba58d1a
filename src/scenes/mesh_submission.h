// The one path by which solid geometry reaches the render context: place a mesh, test its
// bounds against the view volume, move it into camera space and append its front faces,
// clipped against the planes it crosses.
//
// Ground rules:
// - Camera space is right-handed, x right, y up, the camera looks down -z. A point p is inside
//   a plane when nx*px + ny*py + nz*pz - d >= 0; the planes are near, far, top, bottom, left,
//   right (bits 0..5 of a bounds code).
// - A face whose facing value (camera-space face normal . first corner) is > 0 looks away
//   from the camera and is dropped; 0 is drawn.
// - Everything is appended at the context's counts; corners made by clipping go to the next
//   free vertex, normal and uv slots. Faces reaching the context are triangles (fans).
// - Capacity: every item (a mesh's arrays, one face's worst case) is checked with
//   contextHasRoom before anything of it is written; an item that does not fit is dropped
//   whole, so the counts never pass the capacities.
#pragma once

#include "assets/mesh.h"
#include "render/math.h"
#include "render/render_context.h"

constexpr int kAllPlanes = 0x3F;
// One polygon's corner lists. An input face has at most kMaxFaceCorners corners and every
// plane adds at most one, so 32 is never reached by the clipper's own output.
constexpr int kClipListCapacity = 32;

struct ClipCorner {
    int vertex, uv, normal;
};

struct ClipPolygon {
    ClipCorner corners[kClipListCapacity];
    int count;
};

// Where a mesh stands for one submission. The mesh itself is only read, so one mesh serves
// every placement and every show that draws it.
struct MeshPlacement {
    float scale = 1.0f;
    Matrix4 rotation = identityMatrix();
    Matrix4 position = identityMatrix();  // translation in elements 12, 13, 14
    Matrix4 world;                        // scale * rotation * position, from placeMesh
    Matrix4 rigid;                        // rotation * position
    Vec4 viewBounds[8];  // the mesh's box corners in camera space, from testMeshBounds
};

// rotation <- identity, then rotateX, rotateY, rotateZ: rotation = Rx * Ry * Rz.
void setMeshRotation(MeshPlacement& placement, float angleX, float angleY, float angleZ);
// Writes the translation into the last row of position.
void setMeshPosition(MeshPlacement& placement, float x, float y, float z);
// world <- diag(scale, scale, scale, 1) * rotation * position; rigid <- rotation * position.
void placeMesh(MeshPlacement& placement);
// Fills viewBounds with the mesh's box corners times world * view. Returns -1 when some plane
// has every corner outside, else the mask of the planes that cut the box (0: wholly inside).
int testMeshBounds(const Mesh& mesh, MeshPlacement& placement, const Matrix4& view,
                   const ViewVolume& volume);
// Appends the visible part of the mesh (nothing for bounds code -1). Faces that carry the
// mesh's default material get `material` instead when one is given (a show's own colour for
// a shared mesh).
void submitMesh(const Mesh& mesh, const MeshPlacement& placement, const Matrix4& view,
                RenderContext& context, int boundsCode, const Material* material = nullptr);

// Clips the polygon in place against the planes of `planeMask`, in plane order (Sutherland-
// Hodgman). New corners are interpolated between the edge's ends (position, normal then
// renormalised over four components, uv) and appended at the context's counts, which
// advance. Returns the number of corners left (0 when the polygon vanished). The caller must
// have made room for two new corners per plane.
int clipPolygon(RenderContext& context, const ViewVolume& volume, int planeMask,
                ClipPolygon& polygon);

// The tail shared by meshes, rings and discs: checks room for the worst case, clips against
// `planeMask` and appends the rest as a fan of triangles (c0, ck, ck+1), each carrying the
// face normal, facing value and material. Returns the number of triangles appended.
int clipAndAppendFace(RenderContext& context, int planeMask, ClipPolygon& polygon,
                      const Vec4& faceNormal, float facing, const Material* material,
                      const char* what);

// Notes for vertices first .. end - 1 the planes of `planeMask` each lies outside of, judged
// as the clipper judges a corner (outside unless nx*px + ny*py + nz*pz - d >= 0), so that a
// face whose corners are all inside skips clipping: a vertex is tested once, not once for
// every face that shares it.
void markOutside(RenderContext& context, int first, int end, int planeMask);

// The procedural builders' tail: for each face of a local list (triangles whose corners are
// already in the context and marked by markOutside for all six planes), the facing test
// against its first corner, then clipping against all six planes and the fan append with
// `material`.
void submitBuiltFaces(RenderContext& context, const Face* faces, int count,
                      const Material* material, const char* what);

// The dot product of the three spatial components.
inline float dot3(const Vec4& a, const Vec4& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The position of a context vertex as four floats.
inline Vec4 vertexPosition(const RenderVertex& v) {
    return {v.x, v.y, v.z, v.w};
}

// Writes a camera-space point at vertex slot `index` (w = 0, the screen position untouched).
inline void storeVertex(RenderContext& context, int index, const Vec4& p) {
    RenderVertex& v = context.vertices[index];
    v.x = p.x;
    v.y = p.y;
    v.z = p.z;
    v.w = 0.0f;
}
