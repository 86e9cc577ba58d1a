// Falling discs: a two-sided 16-segment disc of radius 10 built straight into the render
// context, and the particle table that scene 8 advances.
//
// The discs fall in steps of show time, kDiscStepsPerSecond of them a second, not once per
// drawn frame: a frame takes as many steps as the time since the last one holds, so the discs
// are in the same places at the same moment whatever the display's refresh rate, stand still
// while the show is paused, and a jump to a moment finds them where the show had them then.
//
// A disc lies in its local X-Z plane: centre first, then rim point i at angle i * pi/8. Each
// rim step makes a downward and an upward triangle over the same corners; the facing test
// keeps at most one of the pair, so the disc shows whichever side faces the camera.
#pragma once

#include "assets/random.h"
#include "render/frame_target.h"
#include "render/math.h"
#include "render/render_context.h"
#include "scenes/scene_objects.h"

constexpr int kDiscRimPoints = 16;
constexpr int kDiscStepsPerSecond = 60;
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

// One step's fall of one disc: y -= speed, then a respawn at the top (six draws) when it has
// reached kRespawnHeight. Returns true when it respawned.
bool advanceParticle(Particle& particle, MTRand& random);

// One disc step of scene 8: every particle advances, in table order.
void advanceFallingDiscs(SceneRun& run);
// The discs and their random stream back where the start-up placed them, no step taken.
void restartFallingDiscs(SceneRun& run, const SceneAssets& assets);
// Scene 8's picture: every disc where its particle is, in one pass with the identity camera.
void drawFallingDiscs(SceneRun& run, const FrameTarget& target, double sceneTime);
