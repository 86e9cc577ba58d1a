#include "x11_capture.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool g_xFailed = false;

// Xlib's default handler ends the process; a window that cannot be read is a test failure.
int recordXError(::Display*, XErrorEvent*) {
    g_xFailed = true;
    return 0;
}

}  // namespace

bool syncWindowSystem(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    XSync(info.info.x11.display, False);
    return true;
}

bool captureWindow(SDL_Window* window, std::vector<uint32_t>* pixels, int* width, int* height) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    ::Display* display = info.info.x11.display;
    const ::Window handle = info.info.x11.window;
    // Everything drawn so far reaches the server before the read, on the same connection.
    XSync(display, False);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, handle, &attributes) || attributes.map_state != IsViewable) {
        return false;
    }
    g_xFailed = false;
    XErrorHandler previous = XSetErrorHandler(recordXError);
    XImage* image =
        XGetImage(display, handle, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    XSync(display, False);
    XSetErrorHandler(previous);
    if (!image || g_xFailed) {
        if (image) XDestroyImage(image);
        return false;
    }
    *width = attributes.width;
    *height = attributes.height;
    pixels->resize(size_t(*width) * size_t(*height));
    for (int y = 0; y < *height; ++y) {
        for (int x = 0; x < *width; ++x) {
            (*pixels)[size_t(y) * size_t(*width) + size_t(x)] =
                uint32_t(XGetPixel(image, x, y)) & 0xFFFFFFu;
        }
    }
    XDestroyImage(image);
    return true;
}
