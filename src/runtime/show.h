// A running show: everything a frame needs, made by one start-up that the demo, the capture
// tool, the benchmarks and the tests all share.
//
// Start-up order: framebuffer, start-up assets (random seed, renderer objects, textures,
// meshes, light), the music (when a player is given), the sync device and its eighteen
// tracks, the random objects (spike field, particle table). The display, the timer and the
// start of playback belong to whoever shows the frames.
#pragma once

#include <string>

#include "audio/music_player.h"
#include "render/screen.h"
#include "runtime/sync.h"
#include "scenes/startup_objects.h"
#include "scenes/track_values.h"

// The tracks in kTracks order.
struct DemoTracks {
    SyncTrack* tracks[kTrackCount];
};

struct Show {
    std::string dataDir;
    float* framebuffer = nullptr;  // see allocateFramebuffer; objects.screen gives its size
    StartupObjects objects{};
    SyncDevice* device = nullptr;
    DemoTracks tracks{};
    MusicPlayer* music = nullptr;  // not owned; null for a show without sound
};

// Makes the show from `dataDir`, drawn at `screen`'s size. With a music player, it is initialised
// and the music file opened at its place in the order. False when the start-up cannot go on; the
// reason has been printed ("bass init error\n", "error (%d) while creating stream\n", "sync failed,
// out of memory?"), followed by a line naming the file where there is one, and nothing is left to
// end. A data file that cannot be read ends the program with
// its message (see loadTexture, loadMesh). A damaged track file is reported in one line and
// the show goes on with what it holds.
bool startShow(Show& show, const std::string& dataDir, MusicPlayer* music,
               const ScreenSize& screen = ScreenSize{});

// What a music layer's error code means, for the line that names the music file.
const char* musicErrorText(int code);

// Destroys the sync device and closes the music. The start-up objects stay: the scenes'
// storage lives as long as the process.
void endShow(Show& show);

// Asks the device for the tracks in kTracks order. False if a track cannot be made (out of
// memory). Whatever a track file's reader reports is printed, one line each.
bool getDemoTracks(SyncDevice* device, DemoTracks& tracks);
