// The render context: the renderer's frame-local store, flushed once per scene pass.
//
// Ground rules:
// - Camera space is right-handed, x right, y up, the camera looks down -z; visible points have
//   z between -0.1 and -3000.
// - Screen space has its origin at the top-left pixel corner, x right, y down, in pixels:
//   sx = centreX - projScale * x / z, sy = projScale * y / z + centreY (projScale = 201,
//   centreX = 320, centreY = 240 at 640 x 480; S times the picture's, about the pixels' centres,
//   on a screen S times as large: see createViewVolume).
// - The framebuffer is width * height pixels of four floats (r, g, b, depth), rows top to
//   bottom, 4 * width floats per row, 64-byte aligned. Depth is 1/z of the nearest surface
//   drawn so far (z < 0, so nearer means smaller); 0 means nothing drawn.
// - Front faces run counter-clockwise on the screen; faces are drawn front to back after a
//   radix sort on their farthest corner: key = (int32)(-zmin * 65536), compared unsigned, so
//   faces wholly behind the camera (negative keys) come last. The float-to-int conversion is
//   clamped to the int32 range rather than left undefined; NaN corners are ignored.
// - Storage is allocated once at start-up with fixed capacities (64-byte aligned arrays); a
//   frame only resets counts and allocates nothing.
// - A frame prints at most one warning (warnedThisFrame): a capacity overrun, an unknown
//   shader type ("unknown shader type %d\n") or a face naming something that was never
//   loaded or appended. Such a face or item is skipped; drawing goes on.
#pragma once

#include <cstdint>

#include "render/frame_target.h"
#include "render/math.h"
#include "render/screen.h"
#include "render/texture.h"

constexpr int kContextCapacity = 100000;
constexpr int kMaxLights = 16;
constexpr int kMaxTextures = 256;
constexpr int kMaxFaceCorners = 14;

// Shader types a Material may carry.
enum ShaderType : int {
    kShaderHidden = 1,        // not drawn
    kShaderLitYellow = 4,     // fillLit with the fixed colour (0.8, 0.7, 0.2)
    kShaderLitColour = 5,     // fillLit with the material colour
    kShaderTexturedLit = 14,  // fillTexturedLit
    kShaderTextured = 20,     // fillTextured (alpha blended)
};

struct Material {
    float colour[4];   // r, g, b, a; no shader reads a
    int textureIndex;  // into the TextureTable, -1 for none
    int shaderType;
};

struct Light {
    Vec4 world;   // world position, w = 0
    Vec4 camera;  // camera-space position, filled by each scene pass, w = 0
    float strength;
};

struct TextureTable {
    Texture* textures[kMaxTextures];
    int count;
};

// A camera-space point p is inside when nx*px + ny*py + nz*pz - d >= 0 (nw is unused).
struct Plane {
    float nx, ny, nz, nw;
    float d;
};

enum PlaneIndex { kPlaneNear, kPlaneFar, kPlaneTop, kPlaneBottom, kPlaneLeft, kPlaneRight };

struct ViewVolume {
    float width;
    float height;
    Plane planes[6];
    float projScale;
    float centreX, centreY;  // the screen position of the view axis
    float fov;
    float aspect;
    float nearZ;
    float farZ;
};

struct RenderVertex {
    float x, y, z, w;  // camera space, w = 0
    float sx, sy;      // screen position, filled by projectVertices
};

struct Uv {
    float u, v;
};

// A polygon of up to 14 corners; the three parallel lists index the context's (or a mesh's)
// vertex, texture-coordinate and normal arrays. Faces that reach the rasterizers are triangles.
struct Face {
    int vertexIndex[kMaxFaceCorners];
    int uvIndex[kMaxFaceCorners];
    int normalIndex[kMaxFaceCorners];
    int cornerCount;
    Vec4 faceNormal;  // camera space once submitted
    float facing;     // faceNormal . first corner; > 0 means back-facing
    const Material* material;
    int materialIndex;  // texture-name slot of the mesh file
};

// A face ready for a filler (render_context.cpp).
struct DrawItem;
struct RasterStats;

struct RenderContext {
    RenderVertex* vertices;
    Uv* uvs;
    Vec4* normals;
    Face* faces;
    int vertexCapacity, uvCapacity, faceCapacity, normalCapacity;
    int vertexCount, uvCount, faceCount, normalCount;
    int* drawOrder;    // face indices in drawing order, from sortFaces
    int* sortScratch;  // second index list of the radix sort
    int* sortKeys;     // depth key per face, taken as unsigned 32-bit by the sort
    Light* lights[kMaxLights];
    int maxLights;
    int lightCount;
    const TextureTable* textures;
    const ViewVolume* viewVolume;
    // Submitters that would overrun a capacity drop the whole face or mesh instead; the first
    // drop of a frame prints one warning. The frame code clears this flag at the frame start.
    bool warnedThisFrame;
    DrawItem* drawItems;  // faceCapacity entries
    // The rasterizer's depth bounds (DepthBounds in render/rasterizer.h) of a framebuffer of
    // the view volume's size: 8 floats a block, set anew by every drawFaces.
    float* depthBounds;
    // Per vertex, the clip planes it lies outside of (bit p for plane p), set by the submitters
    // for the vertices they write (scenes/mesh_submission.h).
    uint8_t* vertexOutside;
};

// The camera record of a framebuffer of `screen`'s size (render/screen.h): six normalised clip
// planes, the same at every size, and projScale floor(height / 2 / tan 50 deg), 201 at 640 x
// 480, so that a larger screen shows the same picture with more pixels.
ViewVolume* createViewVolume(const ScreenSize& screen = ScreenSize{});
// Every array at kContextCapacity entries, every Face slot empty (no material), counts 0.
RenderContext* createRenderContext(const TextureTable* textures, const ViewVolume* viewVolume);
void destroyRenderContext(RenderContext* context);
void destroyViewVolume(ViewVolume* viewVolume);

void resetContext(RenderContext& context);
// Ignored (with the frame's one warning) when all kMaxLights slots are taken.
void addLight(RenderContext& context, Light* light);

// True when `vertices`, `uvs`, `normals` and `faces` more entries still fit. Otherwise prints
// the frame's one capacity warning (naming `what`) and returns false: the caller then drops
// the whole item.
bool contextHasRoom(RenderContext& context, int vertices, int uvs, int normals, int faces,
                    const char* what);

// drawOrder <- face indices by ascending unsigned key, ties in submission order (LSD radix
// sort, byte passes alternating between drawOrder and sortScratch, a byte shared by every key
// skipped; the result ends in drawOrder).
void sortFaces(RenderContext& context);
// sx, sy of all vertexCount vertices, used or not.
void projectVertices(RenderContext& context);
// Sum over the lights of m^2 * D (diffuse term D, mirror term m); 0 without lights, unclamped.
float lightCorner(const RenderContext& context, const Vec4& position, const Vec4& normal);
// projectVertices, then rasterizes every face in drawOrder by its material's shader type into
// the target, whose size is the view volume's. With a pool of several threads the screen is cut
// into bands of rows; each band draws every face touching it in drawOrder, so every pixel sees
// the same fills in the same order as on one thread and gets the same bits. With statistics
// every face is drawn by the counting engine, on the caller's thread.
void drawFaces(RenderContext& context, const FrameTarget& target);
// sortFaces, then drawFaces.
void flushContext(RenderContext& context, const FrameTarget& target);
