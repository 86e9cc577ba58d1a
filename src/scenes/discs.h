// Falling discs: a two-sided 16-segment disc of radius 10 built straight into the render
// context, and the particle table that scene 8 advances.
//
// A disc lies in its local X-Z plane: centre first, then rim point i at angle i * pi/8. Each
// rim step makes a downward and an upward triangle over the same corners; the facing test
// keeps at most one of the pair, so the disc shows whichever side faces the camera.
#pragma once

#include "assets/random.h"
#include "render/math.h"
#include "render/render_context.h"
#include "scenes/startup_objects.h"

constexpr int kDiscRimPoints = 16;
// A disc at or below this height after its fall is thrown back to the top.
constexpr float kRespawnHeight = -300.0f;

// Appends 17 vertices, the up and down normals, one uv and the clipped front faces.
void buildDisc(const Material* material, const Matrix4& view, RenderContext& context,
               const Matrix4& model);

// Base colour times (z + 220) / 220: nearer discs are brighter.
void setParticleColour(Particle& particle);

// The start-up fill of all kParticleCount entries: seven draws per entry, entry 0 first.
// Materials get texture index -1 and shader type 5 (lit material colour).
void fillParticles(Particle* particles, MTRand& random);

// One frame's fall of one disc: y -= speed, then a respawn at the top (six draws) when it has
// reached kRespawnHeight. Returns true when it respawned.
bool advanceParticle(Particle& particle, MTRand& random);

// Scene 8's step from one frame to the next: every particle advances, in table order.
void advanceFallingDiscs(StartupObjects& objects);
// Scene 8's picture: every disc where its particle is, in one pass with the identity camera.
void drawFallingDiscs(StartupObjects& objects, double sceneTime);
