// Everything the scenes draw with, made once before the first frame and kept for the run.
// Only the particle table changes afterwards (scene 8 advances it), the light's position and
// the ring scenes' colours. A show's scenes touch nothing outside their own objects, so that
// several shows can draw at once.
#pragma once

#include "assets/mesh.h"
#include "assets/random.h"
#include "assets/texture.h"
#include "render/render_context.h"
#include "render/screen.h"

constexpr int kGreetImageCount = 6;
constexpr int kSpikeCount = 64;
constexpr int kParticleCount = 200;
constexpr int kTunnelRings = 12;
constexpr int kFlowerRings = 6;
constexpr int kRowRings = 10;

struct Particle {
    float speed;    // fall per frame
    Vec4 position;  // w = 0
    Vec4 spin;      // radians per second about each axis, w = 0
    Material material;
};

struct StartupObjects {
    ScreenSize screen;  // the framebuffer's size; the scenes draw the 640 x 480 picture at it
    TextureTable* textureTable;
    ViewVolume* viewVolume;
    RenderContext* context;
    Light* light;
    Texture* greetImages[kGreetImageCount + 1];  // slots 1..6; slot 0 unused
    Texture* compofiller;
    Texture* cred1;
    Texture* cred2;
    Texture* hearts;
    Mesh* blockwall;
    Mesh* spintext1;
    Mesh* spintext2;
    Mesh* city;
    Mesh* cube;
    Mesh* spikes[kSpikeCount];
    Vec4 spikeSpin[kSpikeCount];
    Particle particles[kParticleCount];
    MTRand* random;  // the one stream; scene 8 draws from it when a disc respawns
    // Set by the ring scenes every frame; their faces point at them until the flush.
    Material tunnelMaterials[kTunnelRings];
    Material flowerMaterials[kFlowerRings];
    Material rowMaterials[kRowRings];
};
