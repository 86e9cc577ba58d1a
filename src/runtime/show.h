// The show in two halves. `ShowAssets` is what start-up loads from the data folder and never
// changes: pictures, meshes, the tracks as loaded, the music file's bytes, and the spike field,
// discs and random stream as the seeded start-up placed them. `Show` is one run of it: the
// framebuffer and the threads that draw it, the render context, the discs as they fall, and
// the music player. Any number of runs may share one set of assets, at once (the capture
// tool's threads) or one after another (a show played twice); each owner frees what it made.
//
// Start-up order: the assets (random seed, pictures, meshes, the music's bytes, the sync
// device and its eighteen tracks, the random objects: spike field, particle table); then a run
// (framebuffer, view volume, render context, the music opened when a player is given). The
// display, the timer and the start of playback belong to whoever shows the frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/music_player.h"
#include "render/frame_target.h"
#include "render/screen.h"
#include "runtime/sync.h"
#include "scenes/scene_objects.h"
#include "scenes/track_values.h"

// The tracks in kTracks order.
struct DemoTracks {
    SyncTrack* tracks[kTrackCount];
};

struct ShowAssets {
    std::string dataDir;
    SceneAssets scenes{};
    SyncDevice* device = nullptr;  // owns the tracks
    DemoTracks tracks{};
    // The music file as read; empty when it could not be read (musicError says why).
    std::vector<uint8_t> music;
    int musicError = kMusicOk;
};

struct Show {
    const ShowAssets* assets = nullptr;
    // The framebuffer and the render pool are the run's own.
    FrameTarget target{};
    SceneRun scenes{};
    MusicPlayer* music = nullptr;  // not owned; null for a show without sound
};

// Loads everything the show draws and plays from `dataDir`. False when the start-up cannot go
// on; the reason has been printed (checkDataFolder's lines, "sync failed, out of memory?"
// followed by a line naming the files) and nothing is left to free. A picture or mesh that cannot be read
// ends the program with its message (see loadTexture, loadMesh). A damaged track file is
// reported in one line and the show goes on with what it holds.
bool loadShowAssets(ShowAssets& assets, const std::string& dataDir);
// True when `dataDir` is a folder holding every picture, mesh and track file of the show.
// Otherwise prints one line for the folder ("<dir>: no such data folder") or one for each file
// it lacks ("<path>: missing from the data folder"). The music is not needed to draw the show:
// a player reports its own file.
bool checkDataFolder(const std::string& dataDir);
// Frees everything the assets hold; no run may use them any more.
void freeShowAssets(ShowAssets& assets);

// Starts a run of `assets` drawn at `screen`'s size by `threads` threads (0: one a core, see
// chosenRenderThreads). With a music player, it is initialised and the music opened from the
// assets' bytes. False when the run cannot start; the reason has been printed ("bass init
// error\n", "error (%d) while creating stream\n" and a line naming the music file, "out of
// memory for the framebuffer") and nothing is left to end.
bool startShow(Show& show, const ShowAssets& assets, MusicPlayer* music,
               const ScreenSize& screen = ScreenSize{}, int threads = 1);

// What a music layer's error code means, for the line that names the music file.
const char* musicErrorText(int code);

// Frees the run's framebuffer, render context and threads and closes the music. The assets
// stay.
void endShow(Show& show);

// Frames drawn by `threads` threads from now on (the caller counts as one; 1 starts none; 0
// one a core): the same bits with any number.
void setRenderThreads(Show& show, int threads);

// Asks the device for the tracks in kTracks order. False if a track cannot be made (out of
// memory). Whatever a track file's reader reports is printed, one line each.
bool getDemoTracks(SyncDevice* device, DemoTracks& tracks);
