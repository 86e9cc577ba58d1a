// Making the start-up objects: textures, meshes, renderer objects, the spike field and the
// particle table, all from files in the data directory and the one seeded random stream.
#pragma once

#include <string>

#include "scenes/startup_objects.h"

// "<dataDir>/<name>" with the platform's separator.
std::string dataPath(const std::string& dataDir, const char* name);

// The data directory beside the running program.
std::string defaultDataDir();

// Seeds the random stream, makes the texture table, view volume, render context and light, and
// loads every picture and mesh but the spikes. A file that cannot be read ends the program
// with its message.
void loadStartupAssets(StartupObjects& objects, float* framebuffer, const std::string& dataDir);

// The 64 spikes and the 200 particles, from the random stream right after the seeding.
void placeRandomObjects(StartupObjects& objects, const std::string& dataDir);

// The light circles the vertical axis: (90 sin T, 40, 90 cos T).
void updateLight(Light& light, double currentTime);
