// What the X server shows in a window, read back for the window tests, and the round trip
// that makes the server's answers arrive. Kept apart from the tests because the X11 headers
// define macros (None, Bool, Status) that clash with other code.
#pragma once

#include <cstdint>
#include <vector>

struct SDL_Window;

// The window's pixels as 0x00RRGGBB, row after row, with its size in pixels. False when the
// window is not an X11 window or cannot be read (not mapped yet).
bool captureWindow(SDL_Window* window, std::vector<uint32_t>* pixels, int* width, int* height);

// Returns once the X server has carried out every request made so far on the window's
// connection: the events they caused (mapping, configuration, exposure, focus) are then
// queued for SDL to read, however slowly the server runs. False for a window that is not an
// X11 window.
bool syncWindowSystem(SDL_Window* window);
