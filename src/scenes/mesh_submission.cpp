#include "scenes/mesh_submission.h"

#include <cassert>
#include <cmath>

#include "lanes/lanes.h"

namespace {

// The planes' inside test, summed in this order.
float planeValue(const Plane& plane, const RenderVertex& v) {
    return plane.nx * v.x + plane.ny * v.y + plane.nz * v.z - plane.d;
}

// Makes the corner where the edge prev -> cur meets the plane and appends its position,
// normal and uv at the context's counts.
ClipCorner makeCrossing(RenderContext& context, const Plane& plane, const ClipCorner& prev,
                        const ClipCorner& cur) {
    const RenderVertex& a = context.vertices[prev.vertex];
    const RenderVertex& b = context.vertices[cur.vertex];
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    const float dz = b.z - a.z;
    const float dw = b.w - a.w;
    float t = (plane.d - (plane.nx * a.x + plane.ny * a.y + plane.nz * a.z)) /
              (plane.nx * dx + plane.ny * dy + plane.nz * dz);
    // The ends lie on opposite sides, so t is in [0, 1] in exact arithmetic; rounding of a
    // nearly parallel edge can push it out or make it 0/0. Keep the new corner on the edge.
    if (!(t >= 0.0f)) t = 0.0f;
    if (t > 1.0f) t = 1.0f;

    const ClipCorner made{context.vertexCount, context.uvCount, context.normalCount};

    RenderVertex& v = context.vertices[made.vertex];
    v.x = a.x + t * dx;
    v.y = a.y + t * dy;
    v.z = a.z + t * dz;
    v.w = a.w + t * dw;

    const Vec4 na = context.normals[prev.normal];
    const Vec4 nb = context.normals[cur.normal];
    Vec4 n{na.x + t * (nb.x - na.x), na.y + t * (nb.y - na.y), na.z + t * (nb.z - na.z),
           na.w + t * (nb.w - na.w)};
    const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z + n.w * n.w);
    // Opposite normals can cancel to zero length; leave that normal unscaled rather than
    // feed NaN to the lighting.
    if (length > 0.0f) {
        n.x /= length;
        n.y /= length;
        n.z /= length;
        n.w /= length;
    }
    context.normals[made.normal] = n;

    const Uv ua = context.uvs[prev.uv];
    const Uv ub = context.uvs[cur.uv];
    context.uvs[made.uv] = Uv{ua.u + t * (ub.u - ua.u), ua.v + t * (ub.v - ua.v)};

    ++context.vertexCount;
    ++context.uvCount;
    ++context.normalCount;
    return made;
}

// One plane of the clipper. Returns false when the polygon must be dropped: more than two
// crossings (only a polygon made non-convex by rounding has them) would break the caller's
// room reservation of two new corners per plane.
bool clipAgainstPlane(RenderContext& context, const Plane& plane, const ClipPolygon& in,
                      ClipPolygon& out) {
    out.count = 0;
    if (in.count + 2 > kClipListCapacity) return false;
    int crossings = 0;
    bool prevInside = planeValue(plane, context.vertices[in.corners[0].vertex]) >= 0.0f;
    for (int k = 0; k < in.count; ++k) {
        const ClipCorner& prev = in.corners[k];
        const ClipCorner& cur = in.corners[k + 1 < in.count ? k + 1 : 0];
        const float curValue = planeValue(plane, context.vertices[cur.vertex]);
        // The flag flips only at a crossing; the two tests below are deliberately < 0 and
        // >= 0 so that every corner falls on exactly one side.
        bool crossing = false;
        if (prevInside) {
            out.corners[out.count++] = prev;
            crossing = curValue < 0.0f;
        } else {
            crossing = curValue >= 0.0f;
        }
        if (crossing) {
            if (++crossings > 2) return false;
            out.corners[out.count++] = makeCrossing(context, plane, prev, cur);
            prevInside = !prevInside;
        }
    }
    return true;
}

// True when every corner is inside the plane: clipAgainstPlane would copy the polygon as it
// is, so the pass can be left out (most faces of a mesh that straddles a plane).
bool whollyInside(const RenderContext& context, const Plane& plane, const ClipPolygon& polygon) {
    for (int k = 0; k < polygon.count; ++k) {
        if (!(planeValue(plane, context.vertices[polygon.corners[k].vertex]) >= 0.0f)) return false;
    }
    return true;
}

// The six planes four a vector, one a lane (planes 0-3, then 4, 5 and two copies of 5).
struct PlaneLanes {
    Lanes<4>::Float nx[2], ny[2], nz[2], d[2];

    explicit PlaneLanes(const Plane* p)
        : nx{{p[0].nx, p[1].nx, p[2].nx, p[3].nx}, {p[4].nx, p[5].nx, p[5].nx, p[5].nx}},
          ny{{p[0].ny, p[1].ny, p[2].ny, p[3].ny}, {p[4].ny, p[5].ny, p[5].ny, p[5].ny}},
          nz{{p[0].nz, p[1].nz, p[2].nz, p[3].nz}, {p[4].nz, p[5].nz, p[5].nz, p[5].nz}},
          d{{p[0].d, p[1].d, p[2].d, p[3].d}, {p[4].d, p[5].d, p[5].d, p[5].d}} {}
};

// Bit p set where the point is inside plane p: each lane sums planeValue's products in its
// order, so a NaN point is inside none.
int insidePlanes(const PlaneLanes& planes, float px, float py, float pz) {
    using L = Lanes<4>;
    const L::Float x = L::splat(px);
    const L::Float y = L::splat(py);
    const L::Float z = L::splat(pz);
    int inside = 0;
    for (int g = 0; g < 2; ++g) {
        const L::Float value = planes.nx[g] * x + planes.ny[g] * y + planes.nz[g] * z - planes.d[g];
        inside |= L::bits(value >= L::splat(0.0f)) << (4 * g);
    }
    return inside & kAllPlanes;
}

// The planes of `planeMask` that clipping the polygon would cut it by, from its corners' marks
// (markOutside): 0 when every corner is inside every plane, so that every pass would leave it
// as it is; -1 when the first plane that cuts it has every corner outside, so that this pass,
// meeting the polygon as it came in, would empty it; else planeMask, for the clipper to judge.
int planesCutting(const RenderContext& context, const ClipPolygon& polygon, int planeMask) {
    int any = 0;
    int all = kAllPlanes;
    for (int k = 0; k < polygon.count; ++k) {
        const int outside = context.vertexOutside[polygon.corners[k].vertex];
        any |= outside;
        all &= outside;
    }
    any &= planeMask;
    if (any == 0) return 0;
    if ((all & any & -any) != 0) return -1;
    return planeMask;
}

// Appends a source face with its indices moved by the mesh's offsets, unclipped.
void appendShiftedFace(RenderContext& context, const Face& source, int v, int u, int n,
                       const Vec4& faceNormal, float facing, const Material* material) {
    Face& face = context.faces[context.faceCount++];
    face.cornerCount = source.cornerCount;
    for (int c = 0; c < source.cornerCount; ++c) {
        face.vertexIndex[c] = source.vertexIndex[c] + v;
        face.uvIndex[c] = source.uvIndex[c] + u;
        face.normalIndex[c] = source.normalIndex[c] + n;
    }
    face.faceNormal = faceNormal;
    face.facing = facing;
    face.material = material;
    face.materialIndex = 0;
}

// The mesh reader refuses a file whose faces break these; here they are only asserted.
[[maybe_unused]] bool faceIsSound(const Mesh& mesh, const Face& face) {
    if (face.cornerCount < 3 || face.cornerCount > kMaxFaceCorners) return false;
    for (int c = 0; c < face.cornerCount; ++c) {
        if (face.vertexIndex[c] < 0 || face.vertexIndex[c] >= mesh.vertexCount) return false;
        if (face.uvIndex[c] < 0 || face.uvIndex[c] >= mesh.uvCount) return false;
        if (face.normalIndex[c] < 0 || face.normalIndex[c] >= mesh.normalCount) return false;
    }
    return true;
}

}  // namespace

void setMeshRotation(MeshPlacement& placement, float angleX, float angleY, float angleZ) {
    placement.rotation = identityMatrix();
    rotateX(placement.rotation, angleX);
    rotateY(placement.rotation, angleY);
    rotateZ(placement.rotation, angleZ);
}

void setMeshPosition(MeshPlacement& placement, float x, float y, float z) {
    placement.position.m[12] = x;
    placement.position.m[13] = y;
    placement.position.m[14] = z;
}

void placeMesh(MeshPlacement& placement) {
    Matrix4 scale = identityMatrix();
    scale.m[0] = placement.scale;
    scale.m[5] = placement.scale;
    scale.m[10] = placement.scale;
    Matrix4 scaledRotation;
    multiply(scaledRotation, scale, placement.rotation);
    multiply(placement.world, scaledRotation, placement.position);
    multiply(placement.rigid, placement.rotation, placement.position);
}

int testMeshBounds(const Mesh& mesh, MeshPlacement& placement, const Matrix4& view,
                   const ViewVolume& volume) {
    Matrix4 toCamera;
    multiply(toCamera, placement.world, view);
    for (int i = 0; i < 8; ++i) {
        placement.viewBounds[i] = transformPoint(mesh.bounds[i], toCamera);
    }

    // -1 when some plane has no corner inside; else the planes some corner is outside of.
    const PlaneLanes planes(volume.planes);
    int anyInside = 0;
    int allInside = kAllPlanes;
    for (const Vec4& c : placement.viewBounds) {
        const int inside = insidePlanes(planes, c.x, c.y, c.z);
        anyInside |= inside;
        allInside &= inside;
    }
    if (anyInside != kAllPlanes) return -1;
    return ~allInside & kAllPlanes;
}

void markOutside(RenderContext& context, int first, int end, int planeMask) {
    const PlaneLanes planes(context.viewVolume->planes);
    for (int v = first; v < end; ++v) {
        const RenderVertex& vertex = context.vertices[v];
        const int inside = insidePlanes(planes, vertex.x, vertex.y, vertex.z);
        context.vertexOutside[v] = static_cast<uint8_t>(~inside & planeMask & kAllPlanes);
    }
}

int clipPolygon(RenderContext& context, const ViewVolume& volume, int planeMask,
                ClipPolygon& polygon) {
    // Ping-pong between the caller's list and a scratch list; only the used corners move.
    ClipPolygon scratch;
    ClipPolygon* in = &polygon;
    ClipPolygon* out = &scratch;
    for (int p = 0; p < 6 && in->count > 0; ++p) {
        if ((planeMask & (1 << p)) == 0) continue;
        // Left out only where the pass would keep the polygon (it refuses one that could
        // outgrow the list).
        if (in->count + 2 <= kClipListCapacity && whollyInside(context, volume.planes[p], *in))
            continue;
        if (!clipAgainstPlane(context, volume.planes[p], *in, *out)) {
            polygon.count = 0;
            return 0;
        }
        ClipPolygon* done = in;
        in = out;
        out = done;
    }
    if (in != &polygon) {
        for (int k = 0; k < in->count; ++k) polygon.corners[k] = in->corners[k];
        polygon.count = in->count;
    }
    return polygon.count;
}

int clipAndAppendFace(RenderContext& context, int planeMask, ClipPolygon& polygon,
                      const Vec4& faceNormal, float facing, const Material* material,
                      const char* what) {
    if (polygon.count < 3) return 0;
    // Counted by hand: without a popcount instruction in the base target std::popcount is a
    // library call, and most faces come with no plane at all.
    int planes = 0;
    for (int m = planeMask & kAllPlanes; m != 0; m &= m - 1) ++planes;
    const int newCorners = 2 * planes;
    const int worstTriangles = polygon.count + planes - 2;
    if (!contextHasRoom(context, newCorners, newCorners, newCorners, worstTriangles, what)) {
        return 0;
    }
    const int corners = clipPolygon(context, *context.viewVolume, planeMask, polygon);
    if (corners < 3) return 0;
    for (int k = 1; k + 1 < corners; ++k) {
        Face& face = context.faces[context.faceCount++];
        const ClipCorner* fan[3] = {&polygon.corners[0], &polygon.corners[k],
                                    &polygon.corners[k + 1]};
        face.cornerCount = 3;
        for (int c = 0; c < 3; ++c) {
            face.vertexIndex[c] = fan[c]->vertex;
            face.uvIndex[c] = fan[c]->uv;
            face.normalIndex[c] = fan[c]->normal;
        }
        face.faceNormal = faceNormal;
        face.facing = facing;
        face.material = material;
        face.materialIndex = 0;
    }
    return corners - 2;
}

void submitMesh(const Mesh& mesh, const MeshPlacement& placement, const Matrix4& view,
                RenderContext& context, int boundsCode, const Material* material) {
    if (boundsCode < 0) return;
    if (!contextHasRoom(context, mesh.vertexCount, mesh.uvCount, mesh.normalCount, 0, "mesh")) {
        return;
    }
    Matrix4 toCamera;
    Matrix4 normalToCamera;
    multiply(toCamera, placement.world, view);
    multiply(normalToCamera, placement.rigid, view);
    const Material* own = material != nullptr ? material : mesh.material;

    const int v0 = context.vertexCount;
    const int u0 = context.uvCount;
    const int n0 = context.normalCount;
    for (int i = 0; i < mesh.vertexCount; ++i) {
        storeVertex(context, v0 + i, transformPoint(mesh.vertices[i].position, toCamera));
    }
    // Normals go through the scale-free matrix and are not renormalised.
    for (int i = 0; i < mesh.normalCount; ++i) {
        context.normals[n0 + i] = transformDirection(mesh.normals[i], normalToCamera);
    }
    for (int i = 0; i < mesh.uvCount; ++i) context.uvs[u0 + i] = mesh.uvs[i];
    // Corners made by clipping follow the mesh's own entries.
    context.vertexCount += mesh.vertexCount;
    context.uvCount += mesh.uvCount;
    context.normalCount += mesh.normalCount;

    const int planeMask = boundsCode & kAllPlanes;
    if (planeMask != 0) markOutside(context, v0, v0 + mesh.vertexCount, planeMask);
    for (int f = 0; f < mesh.faceCount; ++f) {
        const Face& source = mesh.faces[f];
        assert(faceIsSound(mesh, source));
        const Material* faceMaterial = source.material == mesh.material ? own : source.material;
        const Vec4 normal = transformDirection(source.faceNormal, normalToCamera);
        const float facing =
            dot3(normal, vertexPosition(context.vertices[v0 + source.vertexIndex[0]]));
        if (facing > 0.0f) continue;

        if (planeMask == 0) {
            if (!contextHasRoom(context, 0, 0, 0, 1, "mesh face")) continue;
            appendShiftedFace(context, source, v0, u0, n0, normal, facing, faceMaterial);
            continue;
        }
        ClipPolygon polygon;
        polygon.count = source.cornerCount;
        for (int c = 0; c < source.cornerCount; ++c) {
            polygon.corners[c] = ClipCorner{source.vertexIndex[c] + v0, source.uvIndex[c] + u0,
                                            source.normalIndex[c] + n0};
        }
        const int cutting = planesCutting(context, polygon, planeMask);
        if (cutting < 0) continue;
        clipAndAppendFace(context, cutting, polygon, normal, facing, faceMaterial, "mesh face");
    }
}

void submitBuiltFaces(RenderContext& context, const Face* faces, int count,
                      const Material* material, const char* what) {
    for (int f = 0; f < count; ++f) {
        const Face& face = faces[f];
        const float facing =
            dot3(face.faceNormal, vertexPosition(context.vertices[face.vertexIndex[0]]));
        if (facing > 0.0f) continue;
        ClipPolygon polygon;
        polygon.count = 3;
        for (int k = 0; k < 3; ++k) {
            polygon.corners[k] =
                ClipCorner{face.vertexIndex[k], face.uvIndex[k], face.normalIndex[k]};
        }
        const int cutting = planesCutting(context, polygon, kAllPlanes);
        if (cutting < 0) continue;
        clipAndAppendFace(context, cutting, polygon, face.faceNormal, facing, material, what);
    }
}
