// Making the show's assets: textures, meshes, the spike field and the particle table, all from
// files in the data directory and the one seeded random stream.
//
// This is the start-up policy around the readers, which only return a result or a message:
// a note from a reader is printed, and a file that cannot be read ends the program.
#pragma once

#include <string>

#include "scenes/scene_objects.h"

// "<dataDir>/<name>" with the platform's separator.
std::string dataPath(const std::string& dataDir, const char* name);

// readTexture, or on failure "error(%d) decoding png from %s\n" (and the reason on stderr),
// a key press awaited when standard input is a terminal, and exit status 1.
Texture* loadTexture(const char* path, const char* name);

// readMesh with its notes printed, or on failure its message and exit status 1.
Mesh* loadMesh(const char* path);

// Seeds the random stream and loads every picture and mesh, the text meshes with their
// lettering textures and materials.
void loadSceneAssets(SceneAssets& assets, const std::string& dataDir);

// The 64 spikes and the 200 particles, from the random stream right after the seeding.
void placeRandomObjects(SceneAssets& assets);

// The light circles the vertical axis: (90 sin T, 40, 90 cos T).
void updateLight(Light& light, double currentTime);
