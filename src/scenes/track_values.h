// The show's eighteen sync tracks and what the scenes read from them.
//
// kTracks is the one list of track names: the show asks for the tracks in this order, the
// frame reads each into the field it names, the asset generator writes one file per entry
// ("sync_<name>.track"), and the build reads the names from this file for its list of outputs
// (each entry on a line of its own, as `{"name", &TrackValues::field},`).
#pragma once

#include <cstddef>
#include <string_view>

#include "render/math.h"

// Every track's value at the frame's row.
struct TrackValues {
    double wfac;           // plasma band weight
    double al;             // plasma band width
    double flowerscale;    // read by no scene
    double pscale;         // scene 5: spike scale
    double ringdistance;   // scene 2
    double ringthickness;  // scene 2
    double ringdiv;        // scenes 1 and 2: ring segments
    double free;           // scene 1: camera along the flight
    double scene;          // which scene block runs
    double cityscale;      // scenes 3, 4, 5 and 10
    double cityrot;        // scenes 3, 4, 5 and 10
    double spinrot;        // scene 1
    double spinchoice;     // scene 1: which text mesh
    double spiny;          // scene 1
    double greet;          // scene 3: greeting image slot
    double cfy;            // compofiller picture top row
    double cred1;          // first credit picture fade
    double cred2;          // second credit picture fade
};

struct TrackBinding {
    const char* name;
    double TrackValues::*field;
};

inline constexpr TrackBinding kTracks[] = {
    {"wfac", &TrackValues::wfac},
    {"al", &TrackValues::al},
    {"flowerscale", &TrackValues::flowerscale},
    {"pscale", &TrackValues::pscale},
    {"ringdistance", &TrackValues::ringdistance},
    {"ringthickness", &TrackValues::ringthickness},
    {"ringdiv", &TrackValues::ringdiv},
    {"free", &TrackValues::free},
    {"scene", &TrackValues::scene},
    {"cityscale", &TrackValues::cityscale},
    {"cityrot", &TrackValues::cityrot},
    {"spinrot", &TrackValues::spinrot},
    {"spinchoice", &TrackValues::spinchoice},
    {"spiny", &TrackValues::spiny},
    {"greet", &TrackValues::greet},
    {"cfy", &TrackValues::cfy},
    {"cred1", &TrackValues::cred1},
    {"cred2", &TrackValues::cred2},
};

inline constexpr int kTrackCount = static_cast<int>(std::size(kTracks));

// Position of a track in kTracks, -1 for a name that is not there.
constexpr int trackIndex(std::string_view name) {
    for (int i = 0; i < kTrackCount; ++i) {
        if (name == kTracks[i].name) return i;
    }
    return -1;
}

// A track value turned into a choice (a scene, a banner, a segment count):
// value + 0.5 truncated toward zero: 1.49 selects 1, 1.5 selects 2, -0.4 selects 0. Values
// outside the int range (or NaN) select 0 rather than invoke an undefined conversion.
inline int roundChoice(double value) {
    const double shifted = value + 0.5;
    if (!(shifted > -2147483648.0 && shifted < 2147483648.0)) return 0;
    return static_cast<int>(shifted);
}

// What a scene block and the overlays are given each frame.
struct SceneInput {
    double currentTime;  // timer seconds of the frame (T of the overlays)
    double sceneTime;    // seconds since the music started (E of the scenes)
    Matrix4 freeCamera;
    TrackValues tracks;
};
