// Which code a 2D pass over the framebuffer runs: its vector lanes (where the build has them,
// see float_lanes.h) or its scalar reference, which tests hold the lanes to bit for bit.
#pragma once

enum class PassLanes { Vector, Scalar };
