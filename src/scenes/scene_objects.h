// What the scenes draw with, in two halves: the assets, made once from the data folder and
// only read afterwards, so that any number of shows (the capture tool's threads, a show played
// twice) can share one set; and a run's own objects, which its frames change (the falling
// discs and the random stream they draw from, the ring scenes' colours, the render context).
#pragma once

#include <vector>

#include "assets/mesh.h"
#include "assets/random.h"
#include "assets/texture.h"
#include "render/render_context.h"
#include "render/screen.h"
#include "scenes/data_files.h"

constexpr int kGreetImageCount = 6;
constexpr int kSpikeCount = 64;
constexpr int kParticleCount = 200;
constexpr int kTunnelRings = 12;
constexpr int kFlowerRings = 6;
constexpr int kRowRings = 10;

struct Particle {
    float speed;    // fall per disc step (kDiscStepsPerSecond of them a second)
    Vec4 position;  // w = 0
    Vec4 spin;      // radians per second about each axis, w = 0
    Material material;
};

struct SceneAssets {
    // Each in the slot the data file table gives it (scenes/data_files.h).
    Texture* pictures[kPictureSlots];
    Mesh* meshes[kMeshSlots];
    // The lettering's textures, which the text meshes' materials name by index.
    TextureTable textureTable;
    // The unlit textured materials that bindTextureMaterials made for the text meshes.
    std::vector<Material*> letteringMaterials;
    // The spike field and the discs as the seeded stream placed them, and the stream as those
    // draws left it: every run starts from here.
    Vec4 spikePosition[kSpikeCount];
    Vec4 spikeSpin[kSpikeCount];
    Particle startParticles[kParticleCount];
    MTRand random{kDemoSeed};
};

struct SceneRun {
    ViewVolume* viewVolume;
    RenderContext* context;
    Light light;
    Particle particles[kParticleCount];
    MTRand random{kDemoSeed};  // scene 8 draws from it when a disc respawns
    // Disc steps taken since the start of the show (scenes/discs.h).
    long discSteps;
    // Set by the scenes every frame; their faces point at them until the flush.
    Material tunnelMaterials[kTunnelRings];
    Material flowerMaterials[kFlowerRings];
    Material rowMaterials[kRowRings];
    Material cityMaterial;
};

// A mesh's materials by its role in the data file table, as start-up gives them and as the
// edit mode gives them again to a mesh it makes anew. A lettering mesh's default material is
// hidden, and each texture name it carries gets an unlit textured material (kept in
// letteringMaterials) for the faces of that name, naming the texture table's texture of that
// name (hidden when the table has none).
void bindMeshMaterials(const DataFile& file, Mesh& mesh, SceneAssets& assets);

// A run of the show's scenes drawn at `screen`'s size: its view volume, render context and
// light, the discs and the random stream as the assets' start-up left them.
void startSceneRun(SceneRun& run, const SceneAssets& assets, const ScreenSize& screen);
void endSceneRun(SceneRun& run);
// Frees what the assets own (textures, meshes, materials) and empties them.
void freeSceneAssets(SceneAssets& assets);
