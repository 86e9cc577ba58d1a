// Window arithmetic shared by the platform displays (SDL and Windows), free of any platform so
// that it can be tested on its own.
//
// Screen coordinates: origin at the top-left of the screen, x right, y down, in window-system
// pixels. An outer rectangle includes the window frame; a client rectangle is the part the
// picture is drawn into. Rectangles are half-open: right and bottom are one past the last
// pixel. Display pixels are the width x height pixels handed to `update`.
#pragma once

#include "display/display.h"

namespace PixelDisplay {

struct WindowRect {
    int left, top, right, bottom;
};

// Thickness of the window frame on each side of the client area (0 without a window manager).
struct FrameBorders {
    int left, top, right, bottom;
};

// Where the picture lands inside the client area, in client pixels.
struct PictureRect {
    int x, y, w, h;
};

// Zoom factor z is offered in a window when width * z < screen width and height * z < screen
// height, strictly; 1 is always offered. Factors other than 1, 2, 4 and 8 are never offered.
bool zoomOffered(int factor, int width, int height, int screenWidth, int screenHeight);

// The outer rectangle after zooming a window to a client area of clientWidth x clientHeight:
// the old outer rectangle's centre is kept, and a window that would then start left of or
// above the screen origin is moved to 0 instead.
WindowRect zoomedWindowRect(WindowRect oldOuter, int clientWidth, int clientHeight,
                            FrameBorders frame);

// Left (or top) of an outer extent of outerSize centred on a screen of screenSize; halved
// rounding toward minus infinity, never negative.
int centredOrigin(int screenSize, int outerSize);

// The largest rectangle of the display's aspect that fits the output, centred; the rest of
// the output is black border.
PictureRect letterboxRect(int outputWidth, int outputHeight, int width, int height);

// The whole output, stretched (a window shows its picture at the window's own shape).
PictureRect stretchRect(int outputWidth, int outputHeight);

// A window coordinate to display pixels: displaySize / pictureSize * (coordinate - origin), in
// floating point, clamped to 0..displaySize.
float toDisplayPixels(int coordinate, int pictureOrigin, int pictureSize, int displaySize);

// The box clamped to 0 <= begin <= end <= size on each axis; null means the whole display.
DirtyBox clampBox(const DirtyBox* box, int width, int height);

}  // namespace PixelDisplay
