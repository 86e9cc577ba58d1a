#include "render/render_context.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>

#include "lanes/lanes.h"
#include "render/aligned_block.h"
#include "render/rasterizer.h"
#include "render/render_pool.h"
#include "render/screen.h"
#include "render/texture.h"

// A face chosen for drawing (on the caller, in drawing order), then set up on the pool: refused
// when its snapped triangle covers nothing, else lit and prepared for its filler.
struct DrawItem {
    const float* colour;
    const Texture* texture;
    int shader;
    int face;              // index into the context's faces
    int firstRow, endRow;  // the rows it covers; none once refused
    PreparedFace prepared;
};

namespace {

// Value-initialised (all zero) so that even an unsorted drawOrder names face 0, not garbage.
// Like the context record's own new, a failure throws: start-up cannot go on without it.
template <typename T>
T* allocateArray(int count) {
    T* array = static_cast<T*>(allocateAligned(sizeof(T) * count));
    if (array == nullptr) throw std::bad_alloc();
    std::uninitialized_value_construct_n(array, count);
    return array;
}

template <typename T>
void freeArray(T* array) {
    freeAligned(array);
}

// Normalised in double and rounded once: each component is then the float nearest its exact
// value, where a float normalisation lands an ulp or two off.
Plane normalisedPlane(double nx, double ny, double nz, float d) {
    const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    return {float(nx / length), float(ny / length), float(nz / length), 0.0f, d};
}

// The frame's single warning: true for the first caller of a frame only.
bool claimWarning(RenderContext& context) {
    if (context.warnedThisFrame) return false;
    context.warnedThisFrame = true;
    return true;
}

// Written as request <= capacity - count so that no sum can overflow.
bool fits(int request, int count, int capacity) {
    return request >= 0 && request <= capacity - count;
}

// Every append goes through contextHasRoom, so a count never leaves 0..capacity.
int usable(int count, int capacity) {
    assert(count >= 0 && count <= capacity);
    (void)capacity;
    return count;
}

bool validIndex(int index, int count) {
    return static_cast<unsigned>(index) < static_cast<unsigned>(count);
}

// (int32)(-zmin * 65536), truncated toward zero. The plain conversion is undefined outside the
// int32 range, so large values saturate, keeping their order.
int32_t depthKey(float zmin) {
    const float scaled = -zmin * 65536.0f;
    if (scaled >= 2147483648.0f) return INT32_MAX;
    if (scaled <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(scaled);
}

Vec4 cameraPosition(const RenderVertex& vertex) {
    return {vertex.x, vertex.y, vertex.z, vertex.w};
}

ScreenCorner screenCorner(const RenderVertex& vertex) {
    return {vertex.sx, vertex.sy, vertex.z};
}

// The first thing a face names that was never appended or loaded (its corners, their vertices,
// normals and texture coordinates, its texture), or null when it can be drawn.
const char* missingPart(const RenderContext& context, const Face& face, bool lit, bool textured) {
    if (face.cornerCount < 3) return "corner";
    for (int i = 0; i < 3; ++i) {
        if (!validIndex(face.vertexIndex[i], usable(context.vertexCount, context.vertexCapacity)))
            return "vertex";
        if (lit &&
            !validIndex(face.normalIndex[i], usable(context.normalCount, context.normalCapacity)))
            return "normal";
        if (textured && !validIndex(face.uvIndex[i], usable(context.uvCount, context.uvCapacity)))
            return "texture coordinate";
    }
    if (textured) {
        const TextureTable* table = context.textures;
        const int index = face.material->textureIndex;
        if (table == nullptr || !validIndex(index, usable(table->count, kMaxTextures)) ||
            table->textures[index] == nullptr)
            return "texture";
    }
    return nullptr;
}

}  // namespace

ViewVolume* createViewVolume(const ScreenSize& screen) {
    ViewVolume* view = new ViewVolume{};
    view->width = static_cast<float>(screen.width);
    view->height = static_cast<float>(screen.height);
    view->fov = 50.0f;
    view->aspect = 1.3333334f;  // 4/3 as a float
    view->nearZ = -0.1f;
    view->farZ = -3000.0f;

    const float angle = 0.8726646f;  // the 50 degree half-angle
    const double c = std::cos(double(angle));
    const double s = std::sin(double(angle));
    const double aspect = view->aspect;
    view->planes[kPlaneNear] = normalisedPlane(0.0, 0.0, -1.0, 0.1f);
    view->planes[kPlaneFar] = normalisedPlane(0.0, 0.0, 1.0, -3000.0f);
    view->planes[kPlaneTop] = normalisedPlane(0.0, -c, -s, 0.0f);
    view->planes[kPlaneBottom] = normalisedPlane(0.0, c, -s, 0.0f);
    view->planes[kPlaneLeft] = normalisedPlane(c, 0.0, -aspect * s, 0.0f);
    view->planes[kPlaneRight] = normalisedPlane(-c, 0.0, -aspect * s, 0.0f);

    // The projection scale makes the top plane meet the top screen edge: cut the segment
    // (0, 0, -50) -> (0, 100000, -50) with it to find y = 50 tan A on that plane.
    const Plane& top = view->planes[kPlaneTop];
    const float inside0 = top.nz * -50.0f - top.d;
    const float inside1 = top.ny * 100000.0f + top.nz * -50.0f - top.d;
    const float y = inside0 / (inside0 - inside1) * 100000.0f;
    // At scale 1, floor(0.5 * 480 / tan A) = 201. A scaled screen shows the same picture with
    // S times as many pixels each way: its projection is the scale-1 one multiplied about the
    // pixels' centres (render/screen.h: screen pixel p samples the picture at
    // picturePosition(p)), so that the side planes meet the screen S times as far inside its
    // edges and the border scales with the picture.
    const float scale = static_cast<float>(screen.scale);
    view->projScale = std::floor(0.5f * static_cast<float>(kScreenHeight) / (y / 50.0f)) * scale;
    view->centreX = 0.5f * (view->width + (scale - 1.0f));
    view->centreY = 0.5f * (view->height + (scale - 1.0f));
    return view;
}

RenderContext* createRenderContext(const TextureTable* textures, const ViewVolume* viewVolume) {
    RenderContext* context = new RenderContext{};
    context->vertices = allocateArray<RenderVertex>(kContextCapacity);
    context->uvs = allocateArray<Uv>(kContextCapacity);
    context->normals = allocateArray<Vec4>(kContextCapacity);
    context->faces = allocateArray<Face>(kContextCapacity);
    context->drawOrder = allocateArray<int>(kContextCapacity);
    context->sortScratch = allocateArray<int>(kContextCapacity);
    context->sortKeys = allocateArray<int>(kContextCapacity);
    context->drawItems = allocateArray<DrawItem>(kContextCapacity);
    context->depthBounds = allocateArray<float>(static_cast<int>(viewVolume->width) / 8 *
                                                (static_cast<int>(viewVolume->height) / 8) * 8);
    context->vertexOutside = allocateArray<uint8_t>(kContextCapacity);
    context->vertexCapacity = kContextCapacity;
    context->uvCapacity = kContextCapacity;
    context->faceCapacity = kContextCapacity;
    context->normalCapacity = kContextCapacity;
    context->maxLights = kMaxLights;
    context->textures = textures;
    context->viewVolume = viewVolume;
    return context;
}

void destroyRenderContext(RenderContext* context) {
    if (context == nullptr) return;
    freeArray(context->vertices);
    freeArray(context->uvs);
    freeArray(context->normals);
    freeArray(context->faces);
    freeArray(context->drawOrder);
    freeArray(context->sortScratch);
    freeArray(context->sortKeys);
    freeArray(context->drawItems);
    freeArray(context->depthBounds);
    freeArray(context->vertexOutside);
    delete context;
}

void destroyViewVolume(ViewVolume* viewVolume) {
    delete viewVolume;
}

void resetContext(RenderContext& context) {
    context.lightCount = 0;
    context.vertexCount = 0;
    context.faceCount = 0;
    context.uvCount = 0;
    context.normalCount = 0;
}

void addLight(RenderContext& context, Light* light) {
    if (light == nullptr) return;
    assert(context.maxLights <= kMaxLights);
    if (context.lightCount >= context.maxLights) {
        if (claimWarning(context)) std::printf("render context full: dropped light\n");
        return;
    }
    context.lights[context.lightCount++] = light;
}

bool contextHasRoom(RenderContext& context, int vertices, int uvs, int normals, int faces,
                    const char* what) {
    const bool room = fits(vertices, context.vertexCount, context.vertexCapacity) &&
                      fits(uvs, context.uvCount, context.uvCapacity) &&
                      fits(normals, context.normalCount, context.normalCapacity) &&
                      fits(faces, context.faceCount, context.faceCapacity);
    if (!room && claimWarning(context)) {
        std::printf("render context full: dropped %s\n", what != nullptr ? what : "item");
    }
    return room;
}

void sortFaces(RenderContext& context) {
    const int faceCount = usable(context.faceCount, context.faceCapacity);
    const int vertexCount = usable(context.vertexCount, context.vertexCapacity);

    // One pass makes the keys and all four byte histograms.
    int histogram[4][256] = {};
    for (int i = 0; i < faceCount; ++i) {
        const Face& face = context.faces[i];
        const int corners = face.cornerCount < kMaxFaceCorners ? face.cornerCount : kMaxFaceCorners;
        // NaN corners never pass the comparison; a face without usable corners keeps +inf and
        // so the key INT32_MIN, after every visible face.
        float zmin = INFINITY;
        for (int c = 0; c < corners; ++c) {
            const int vertex = face.vertexIndex[c];
            if (!validIndex(vertex, vertexCount)) continue;
            const float z = context.vertices[vertex].z;
            if (z < zmin) zmin = z;
        }
        const uint32_t key = static_cast<uint32_t>(depthKey(zmin));
        context.sortKeys[i] = static_cast<int>(key);
        context.drawOrder[i] = i;
        for (int pass = 0; pass < 4; ++pass) ++histogram[pass][(key >> (8 * pass)) & 0xFF];
    }

    // Up to four stable counting sorts, least significant byte first (LSD radix sort),
    // alternating between drawOrder and sortScratch. A byte that every key shares would leave
    // the order as it is, so its pass is left out (the high bytes, at a scene's usual depths).
    int* from = context.drawOrder;
    int* to = context.sortScratch;
    for (int pass = 0; pass < 4; ++pass) {
        if (faceCount > 0) {
            const uint32_t first = static_cast<uint32_t>(context.sortKeys[0]);
            if (histogram[pass][(first >> (8 * pass)) & 0xFF] == faceCount) continue;
        }
        int next[256];
        int start = 0;
        for (int b = 0; b < 256; ++b) {
            next[b] = start;
            start += histogram[pass][b];
        }
        const int shift = 8 * pass;
        for (int i = 0; i < faceCount; ++i) {
            const int face = from[i];
            const uint32_t key = static_cast<uint32_t>(context.sortKeys[face]);
            to[next[(key >> shift) & 0xFF]++] = face;
        }
        int* swap = from;
        from = to;
        to = swap;
    }
    if (from != context.drawOrder) {
        for (int i = 0; i < faceCount; ++i) context.drawOrder[i] = from[i];
    }
}

void projectVertices(RenderContext& context) {
    const ViewVolume& view = *context.viewVolume;
    const float centreX = view.centreX;
    const float centreY = view.centreY;
    const float scale = view.projScale;
    const int count = usable(context.vertexCount, context.vertexCapacity);
    for (int i = 0; i < count; ++i) {
        RenderVertex& v = context.vertices[i];
        v.sx = centreX - scale * v.x / v.z;
        v.sy = scale * v.y / v.z + centreY;
    }
}

namespace {

using Float4 = Lanes<4>::Float;

[[gnu::always_inline]] inline float squareRoot(float x) {
    return std::sqrt(x);
}
[[gnu::always_inline]] inline Float4 squareRoot(Float4 x) {
    return Lanes<4>::sqrt(x);
}
[[gnu::always_inline]] inline float whereNegative(float x, float yes, float no) {
    return x < 0.0f ? yes : no;
}
[[gnu::always_inline]] inline Float4 whereNegative(Float4 x, Float4 yes, Float4 no) {
    return Lanes<4>::select(x < Lanes<4>::splat(0.0f), yes, no);
}

// The lighting of one corner (float) or of a face's corners, one a lane (Float4): every lane
// does the scalar operations in the same order, so each corner gets the same bits either way.
template <class V>
[[gnu::always_inline]] inline V lightSum(const RenderContext& context, V x, V y, V z, V w, V nx,
                                         V ny, V nz) {
    V intensity = V{};
    for (int i = 0; i < context.lightCount && i < kMaxLights; ++i) {
        const Light& light = *context.lights[i];
        const V dx = x - light.camera.x;
        const V dy = y - light.camera.y;
        const V dz = z - light.camera.z;
        const V dw = w - light.camera.w;
        const V dist = squareRoot(dx * dx + dy * dy + dz * dz + dw * dw);
        const V lx = dx / dist;
        const V ly = dy / dist;
        const V lz = dz / dist;
        const V dot = nx * lx + ny * ly + nz * lz;
        // Diffuse: only a surface turned towards the light gets more than the 0.3 floor.
        const V floor = V{} + 0.3f;
        const V diffuse = whereNegative(dot, 0.3f - dot * light.strength / dist, floor);
        // The light direction mirrored about the normal, projected back on it (= dot for a
        // unit normal); squared, so a surface facing away still gets 0.3 * dot^2.
        const V mirror =
            nx * (2.0f * dot * nx - lx) + ny * (2.0f * dot * ny - ly) + nz * (2.0f * dot * nz - lz);
        intensity += mirror * mirror * diffuse;
    }
    return intensity;
}

// lightCorner of a face's three corners at once.
void lightCorners(const RenderContext& context, const Vec4 position[3], const Vec4 normal[3],
                  float intensity[3]) {
    const Vec4& p0 = position[0];
    const Vec4& p1 = position[1];
    const Vec4& p2 = position[2];
    const Vec4& n0 = normal[0];
    const Vec4& n1 = normal[1];
    const Vec4& n2 = normal[2];
    // The fourth lane repeats the first corner.
    const Float4 lit = lightSum(context, Float4{p0.x, p1.x, p2.x, p0.x},
                                Float4{p0.y, p1.y, p2.y, p0.y}, Float4{p0.z, p1.z, p2.z, p0.z},
                                Float4{p0.w, p1.w, p2.w, p0.w}, Float4{n0.x, n1.x, n2.x, n0.x},
                                Float4{n0.y, n1.y, n2.y, n0.y}, Float4{n0.z, n1.z, n2.z, n0.z});
    for (int i = 0; i < 3; ++i) intensity[i] = lit[i];
}

}  // namespace

float lightCorner(const RenderContext& context, const Vec4& position, const Vec4& normal) {
    return lightSum(context, position.x, position.y, position.z, position.w, normal.x, normal.y,
                    normal.z);
}

namespace {

// Rows of a band when several threads draw: a multiple of the rasterizer's 8-row blocks, small
// enough that the bands share out unevenly filled screens.
constexpr int kBandRows = 32;

struct BandJob {
    const DrawItem* items;
    int count;
    float* framebuffer;
    int width, height;
    int bandRows;
    RasterStats* stats;  // the counting engine's, drawn as one band
    DepthBounds bounds;
};

void drawBand(void* data, int band) {
    const BandJob& job = *static_cast<const BandJob*>(data);
    const RowBand rows = {band * job.bandRows, std::min((band + 1) * job.bandRows, job.height)};
    // The depths may have been written since the last pass (the clear, a sky, a reset): the
    // band's bounds start from nothing known.
    fillFloats(job.bounds.rowMax + static_cast<long>(rows.first) * job.bounds.blockColumns,
               static_cast<long>(rows.end - rows.first) * job.bounds.blockColumns, INFINITY);
    for (int k = 0; k < job.count; ++k) {
        const DrawItem& item = job.items[k];
        if (item.endRow <= rows.first || item.firstRow >= rows.end) continue;
        drawPreparedFace(job.framebuffer, job.width, job.height, item.prepared, job.stats, rows,
                         &job.bounds);
    }
}

bool isLit(int shader) {
    return shader == kShaderLitYellow || shader == kShaderLitColour || shader == kShaderTexturedLit;
}

bool isTextured(int shader) {
    return shader == kShaderTexturedLit || shader == kShaderTextured;
}

// Items prepared by one task: enough that a task outweighs taking it.
constexpr int kPrepareItems = 64;

struct PrepareJob {
    const RenderContext* context;
    int itemCount;
    int width, height;
};

void prepareItem(const RenderContext& context, DrawItem& item, int width, int height) {
    const Face& face = context.faces[item.face];
    ScreenCorner corners[3];
    for (int i = 0; i < 3; ++i) {
        corners[i] = screenCorner(context.vertices[face.vertexIndex[i]]);
    }
    // Refused by the rasterizer's own rule before any lighting: back-facing once snapped,
    // degenerate, or off the screen.
    SnappedTriangle triangle;
    item.firstRow = item.endRow = 0;
    if (!snapTriangle(corners, width, height, triangle)) return;

    const int shader = item.shader;
    float intensity[3];
    Uv uv[3];
    if (isLit(shader)) {
        Vec4 positions[3], normals[3];
        for (int i = 0; i < 3; ++i) {
            positions[i] = cameraPosition(context.vertices[face.vertexIndex[i]]);
            normals[i] = context.normals[face.normalIndex[i]];
        }
        lightCorners(context, positions, normals, intensity);
    }
    if (isTextured(shader)) {
        for (int i = 0; i < 3; ++i) uv[i] = context.uvs[face.uvIndex[i]];
    }
    bool drawn = true;
    switch (shader) {
        case kShaderLitYellow: {
            static const float kYellow[3] = {0.8f, 0.7f, 0.2f};
            for (float& value : intensity) value += 0.2f;
            prepareLit(item.prepared, triangle, corners, kYellow, intensity);
            break;
        }
        case kShaderLitColour:
            for (float& value : intensity) value += 0.5f;
            prepareLit(item.prepared, triangle, corners, item.colour, intensity);
            break;
        case kShaderTexturedLit:
            for (float& value : intensity) value += 0.1f;
            drawn =
                prepareTexturedLit(item.prepared, triangle, corners, uv, *item.texture, intensity);
            break;
        default:  // kShaderTextured
            drawn = prepareTextured(item.prepared, triangle, corners, uv, *item.texture);
            break;
    }
    if (!drawn) return;
    item.firstRow = triangle.yStart;
    item.endRow = triangle.yEnd;
}

void prepareItems(void* data, int chunk) {
    const PrepareJob& job = *static_cast<const PrepareJob*>(data);
    const int end = std::min((chunk + 1) * kPrepareItems, job.itemCount);
    for (int k = chunk * kPrepareItems; k < end; ++k) {
        prepareItem(*job.context, job.context->drawItems[k], job.width, job.height);
    }
}

}  // namespace

void drawFaces(RenderContext& context, const FrameTarget& target) {
    projectVertices(context);

    const ViewVolume& view = *context.viewVolume;
    const int width = static_cast<int>(view.width);
    const int height = static_cast<int>(view.height);
    assert(target.screen.width == width && target.screen.height == height);
    const int faceCount = usable(context.faceCount, context.faceCapacity);

    // The faces to draw, chosen in drawOrder on this thread (the frame's one warning stays the
    // first in drawing order).
    int itemCount = 0;
    for (int k = 0; k < faceCount; ++k) {
        const int faceIndex = context.drawOrder[k];
        if (!validIndex(faceIndex, faceCount)) continue;
        const Face& face = context.faces[faceIndex];
        const Material* material = face.material;
        if (material == nullptr) {
            if (claimWarning(context))
                std::printf("render context: skipped a face without material\n");
            continue;
        }

        const int shader = material->shaderType;
        const bool lit = isLit(shader);
        const bool textured = isTextured(shader);
        if (shader == kShaderHidden) continue;
        if (!lit && !textured) {
            if (claimWarning(context)) std::printf("unknown shader type %d\n", shader);
            continue;
        }
        if (const char* missing = missingPart(context, face, lit, textured)) {
            if (claimWarning(context))
                std::printf("render context: skipped a face naming a missing %s\n", missing);
            continue;
        }

        DrawItem& item = context.drawItems[itemCount++];
        item.shader = shader;
        item.colour = material->colour;
        item.texture = textured ? context.textures->textures[material->textureIndex] : nullptr;
        item.face = faceIndex;
    }

    // Corners, lighting and rows of the chosen faces, shared out like the bands: each item is
    // written by one thread from what the faces and vertices already hold.
    PrepareJob prepare{&context, itemCount, width, height};
    runBands(target.pool, prepareItems, &prepare, (itemCount + kPrepareItems - 1) / kPrepareItems);

    BandJob job{context.drawItems,
                itemCount,
                target.framebuffer,
                width,
                height,
                height,
                target.stats,
                {context.depthBounds, width / 8}};
    // The counters are shared by every face, so a counted frame stays on this thread.
    if (renderThreads(target.pool) > 1 && target.stats == nullptr) job.bandRows = kBandRows;
    runBands(target.pool, drawBand, &job, (height + job.bandRows - 1) / job.bandRows);
}

void flushContext(RenderContext& context, const FrameTarget& target) {
    sortFaces(context);
    drawFaces(context, target);
}
