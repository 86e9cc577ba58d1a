// The bench of whole frames, shared by the capture tool and the web page: each frame of the
// show timed, and the same frame without its scene (clear and overlays), so that every scene
// reads as a multiple of what any frame costs before a scene draws.
#pragma once

#include <map>
#include <vector>

#include "runtime/frame.h"

struct FrameTimes {
    std::map<int, std::vector<double>> byScene;  // ms; scene numbers without a block under -1
    std::vector<double> empty;                   // ms of the frame without its scene
};

// Renders `frame`, then the same frame without its scene, and records both times.
void timeFrame(const FrameState& frame, Show& show, FrameTimes& times);

// One row a scene (and "empty" first): frames, median, 95th percentile, median / empty median;
// then the rate of the whole run with nothing written (the mean of the frames with their scene)
// as frames per second and as a multiple of real time at `fps` frames a second of show.
void printFrameTimes(const FrameTimes& times, double fps);

// The value below which `fraction` of the samples lie (nearest rank); 0 for no samples.
double percentile(std::vector<double> values, double fraction);
