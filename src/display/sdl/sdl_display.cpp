#include "display/sdl/sdl_display.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "display/sdl/sdl_keys.h"
#include "display/window_geometry.h"

namespace PixelDisplay {

namespace {

// SDL falls back to drivers without any output when no window system answers; they count as
// a picture only when asked for by name.
bool showsPictures(const char* driver) {
    if (!driver) return false;
    if (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0) return true;
    const char* requested = SDL_getenv("SDL_VIDEODRIVER");
    return requested && std::strcmp(requested, driver) == 0;
}

bool startVideo() {
    // Ctrl+C in the console must end the program as usual, not turn into a quit event that a
    // listener could refuse.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The close button is then reported once, as the window's close event.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // A window system that is there may still refuse a connection now and then (an X server
    // under load resets new connections), so a failed start is tried again a few times.
    const bool advertised = SDL_getenv("DISPLAY") || SDL_getenv("WAYLAND_DISPLAY");
    const int attempts = advertised ? 5 : 1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) SDL_Delay(20);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) continue;
        if (showsPictures(SDL_GetCurrentVideoDriver())) return true;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_SetError("no window system answered");
    }
    return false;
}

FrameBorders frameBordersOf(SDL_Window* window) {
    int top = 0, left = 0, bottom = 0, right = 0;
    // Fails without a window manager (no frame): the window is then its own client area.
    if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) != 0) return {0, 0, 0, 0};
    return {left, top, right, bottom};
}

}  // namespace

SdlDisplay::SdlDisplay(PresentSync sync) : sync_(sync) {
    videoStarted_ = startVideo();
}

SdlDisplay::~SdlDisplay() {
    close();
    if (videoStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool SdlDisplay::open(const char* title, int width, int height, DisplayOutput output,
                      PixelMode mode) {
    close();
    DisplayAdapter::open(title ? title : "", width, height, output, mode);
    // The program does not report a failed open: say once why there is no picture.
    if (!videoStarted_ || width <= 0 || height <= 0) {
        std::printf("cannot open a %dx%d window%s\n", width, height,
                    videoStarted_ ? "" : ": no window system");
        std::fflush(stdout);
        close();
        return false;
    }
    if (!createWindow()) {
        std::printf("cannot open a %dx%d window: %s\n", width, height, SDL_GetError());
        std::fflush(stdout);
        close();
        return false;
    }
    // A desktop that refuses full screen still gets the picture, in a window.
    if (output != Fullscreen || !enterFullscreen()) enterWindowed();
    SDL_ShowWindow(window_);
    // Text input would route keys through an input method; the display wants plain keys.
    SDL_StopTextInput();
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderPresent(renderer_);
    if (listener_) listener_->opened(callbackTarget());
    return true;
}

bool SdlDisplay::createWindow() {
    window_ = SDL_CreateWindow(title_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width_,
                               height_, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (!window_) return false;
    windowId_ = SDL_GetWindowID(window_);
    const Uint32 vsync = sync_ == PresentSync::VerticalBlank ? SDL_RENDERER_PRESENTVSYNC : 0;
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | vsync);
    if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE | vsync);
    if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    return renderer_ && createTexture();
}

bool SdlDisplay::createTexture() {
    destroyTexture();
    // XRGB8888 words are what the converters write; ARGB8888 has the same layout, and its top
    // byte means nothing because the texture is copied without blending.
    for (Uint32 format : {Uint32{SDL_PIXELFORMAT_XRGB8888}, Uint32{SDL_PIXELFORMAT_ARGB8888}}) {
        texture_ =
            SDL_CreateTexture(renderer_, format, SDL_TEXTUREACCESS_STREAMING, width_, height_);
        if (texture_) break;
    }
    if (!texture_) return false;
    SDL_SetTextureBlendMode(texture_, SDL_BLENDMODE_NONE);
    SDL_SetTextureScaleMode(texture_, SDL_ScaleModeLinear);
    nearestScaling_ = false;
    textureFormat_ = XRGB8888;
    textureStale_ = true;
    return true;
}

void SdlDisplay::setOverlay(const uint32_t* argb, int width, int height) {
    overlay_.set(argb, width, height);
}

void SdlDisplay::setSidePanel(const uint32_t* argb, int width, int height) {
    const int oldWidth = canvasWidth(), oldHeight = canvasHeight();
    panel_.set(argb, width, height);
    const bool shown = argb && width > 0 && height > 0;
    panelWidth_ = shown ? width : 0;
    panelHeight_ = shown ? height : 0;
    if (canvasWidth() != oldWidth || canvasHeight() != oldHeight) {
        fitWindowToCanvas(oldWidth, oldHeight);
    }
}

int SdlDisplay::canvasWidth() const {
    return width_ + panelWidth_;
}

int SdlDisplay::canvasHeight() const {
    return height_ > panelHeight_ ? height_ : panelHeight_;
}

PictureRect SdlDisplay::pictureRect(int outputW, int outputH, PictureRect* panel) const {
    const PictureRect canvas = outputKind_ == Fullscreen
                                   ? letterboxRect(outputW, outputH, canvasWidth(), canvasHeight())
                                   : stretchRect(outputW, outputH);
    if (panelWidth_ == 0) return canvas;
    const double scaleX = double(canvas.w) / canvasWidth();
    const double scaleY = double(canvas.h) / canvasHeight();
    const PictureRect picture = {canvas.x, canvas.y, int(std::lround(width_ * scaleX)),
                                 int(std::lround(height_ * scaleY))};
    if (panel) {
        *panel = {canvas.x + picture.w, canvas.y, canvas.w - picture.w,
                  int(std::lround(panelHeight_ * scaleY))};
    }
    return picture;
}

void SdlDisplay::fitWindowToCanvas(int oldWidth, int oldHeight) {
    if (!window_ || outputKind_ != Windowed) return;
    if (SDL_GetWindowFlags(window_) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED)) return;
    int w = 0, h = 0, x = 0, y = 0;
    SDL_GetWindowSize(window_, &w, &h);
    SDL_GetWindowPosition(window_, &x, &y);
    SDL_Rect area = {0, 0, 0, 0};
    const int index = SDL_GetWindowDisplayIndex(window_);
    if (index < 0 || SDL_GetDisplayUsableBounds(index, &area) != 0)
        screenBounds(&area.x, &area.y, &area.w, &area.h);
    const FrameBorders frame = frameBordersOf(window_);
    // The scale the window showed the old canvas at, as far as the screen has room.
    double scale = std::min(double(w) / oldWidth, double(h) / oldHeight);
    if (area.w > 0 && area.h > 0) {
        scale = std::min({scale, double(area.w - frame.left - frame.right) / canvasWidth(),
                          double(area.h - frame.top - frame.bottom) / canvasHeight()});
    }
    const int width = std::max(1, int(std::lround(canvasWidth() * scale)));
    const int height = std::max(1, int(std::lround(canvasHeight() * scale)));
    SDL_SetWindowSize(window_, width, height);
    // The left edge stays, unless the right one would leave the screen.
    const int rightmost = area.x + area.w - frame.right - width;
    if (area.w > 0 && x > rightmost)
        SDL_SetWindowPosition(window_, std::max(area.x + frame.left, rightmost), y);
}

void SdlDisplay::destroyTexture() {
    overlay_.releaseTexture();
    panel_.releaseTexture();
    if (texture_) SDL_DestroyTexture(texture_);
    texture_ = nullptr;
}

void SdlDisplay::close() {
    destroyTexture();
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    if (cursorHidden_) SDL_ShowCursor(SDL_ENABLE);
    clearState();
}

void SdlDisplay::clearState() {
    DisplayAdapter::clearState();
    window_ = nullptr;
    renderer_ = nullptr;
    texture_ = nullptr;
    windowId_ = 0;
    textureFormat_ = NoFormat;
    textureStale_ = true;
    closeRequested_ = false;
    toggleRequested_ = false;
    cursorHidden_ = false;
    windowedRect_ = {0, 0, 0, 0};
    mouse_ = {};
    for (bool& down : keyDown_) down = false;
}

void SdlDisplay::setTitle(const char* title) {
    DisplayAdapter::setTitle(title ? title : "");
    if (window_) SDL_SetWindowTitle(window_, title_);
}

bool SdlDisplay::enterFullscreen() {
    if (!window_) return false;
    const Uint32 flags = SDL_GetWindowFlags(window_);
    if (!(flags & SDL_WINDOW_FULLSCREEN) && (flags & SDL_WINDOW_SHOWN)) {
        SDL_GetWindowPosition(window_, &windowedRect_.x, &windowedRect_.y);
        SDL_GetWindowSize(window_, &windowedRect_.w, &windowedRect_.h);
    }
    // Cover the screen first: an X server without a window manager ignores the full-screen
    // request, and the picture would then be drawn for a screen-sized window that is not.
    int screenX, screenY, screenW, screenH;
    screenBounds(&screenX, &screenY, &screenW, &screenH);
    SDL_SetWindowPosition(window_, screenX, screenY);
    SDL_SetWindowSize(window_, screenW, screenH);
    if (SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        restoreWindowedRect();
        return false;
    }
    SDL_ShowCursor(SDL_DISABLE);
    cursorHidden_ = true;
    outputKind_ = Fullscreen;
    return true;
}

bool SdlDisplay::enterWindowed() {
    if (!window_) return false;
    const bool fullscreen = (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN) != 0;
    if (fullscreen && SDL_SetWindowFullscreen(window_, 0) != 0) return false;
    SDL_ShowCursor(SDL_ENABLE);
    cursorHidden_ = false;
    outputKind_ = Windowed;
    restoreWindowedRect();
    return true;
}

void SdlDisplay::restoreWindowedRect() {
    // Back where the window was before full screen; a display that started full screen gets
    // a window of its own size, centred. SDL's own memory of the windowed size is not used:
    // a window that was never shown in a window has none.
    if (windowedRect_.w > 0) {
        SDL_SetWindowSize(window_, windowedRect_.w, windowedRect_.h);
        SDL_SetWindowPosition(window_, windowedRect_.x, windowedRect_.y);
    } else {
        SDL_SetWindowSize(window_, canvasWidth(), canvasHeight());
        centre();
    }
}

void SdlDisplay::screenBounds(int* x, int* y, int* w, int* h) const {
    SDL_Rect bounds = {0, 0, 0, 0};
    const int index = SDL_GetWindowDisplayIndex(window_);
    if (index < 0 || SDL_GetDisplayBounds(index, &bounds) != 0) SDL_GetDisplayBounds(0, &bounds);
    *x = bounds.x;
    *y = bounds.y;
    *w = bounds.w;
    *h = bounds.h;
}

void SdlDisplay::centre() {
    if (!window_ || outputKind_ == Fullscreen) return;
    if (SDL_GetWindowFlags(window_) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED)) return;
    int screenX, screenY, screenW, screenH, w, h;
    screenBounds(&screenX, &screenY, &screenW, &screenH);
    SDL_GetWindowSize(window_, &w, &h);
    const FrameBorders frame = frameBordersOf(window_);
    // SDL places the client area; the frame sits around it.
    SDL_SetWindowPosition(
        window_, screenX + centredOrigin(screenW, w + frame.left + frame.right) + frame.left,
        screenY + centredOrigin(screenH, h + frame.top + frame.bottom) + frame.top);
}

bool SdlDisplay::zoom(int factor) {
    if (!window_ || outputKind_ == Fullscreen) return false;
    if (SDL_GetWindowFlags(window_) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED)) return false;
    int screenX, screenY, screenW, screenH;
    screenBounds(&screenX, &screenY, &screenW, &screenH);
    if (!zoomOffered(factor, canvasWidth(), canvasHeight(), screenW, screenH)) return false;
    int x, y, w, h;
    SDL_GetWindowPosition(window_, &x, &y);
    SDL_GetWindowSize(window_, &w, &h);
    const FrameBorders frame = frameBordersOf(window_);
    // Outer rectangles relative to the screen's origin, which is where "0" clamps to.
    const WindowRect outer = {x - frame.left - screenX, y - frame.top - screenY,
                              x + w + frame.right - screenX, y + h + frame.bottom - screenY};
    const WindowRect zoomed =
        zoomedWindowRect(outer, canvasWidth() * factor, canvasHeight() * factor, frame);
    SDL_SetWindowSize(window_, canvasWidth() * factor, canvasHeight() * factor);
    SDL_SetWindowPosition(window_, screenX + zoomed.left + frame.left,
                          screenY + zoomed.top + frame.top);
    return true;
}

bool SdlDisplay::refresh(const PackedPixel* packed, const FloatPixel* floats, const DirtyBox* box) {
    if (closeRequested_) {
        close();
        return false;
    }
    if (toggleRequested_) {
        toggleRequested_ = false;
        if (outputKind_ == Windowed) {
            enterFullscreen();
        } else {
            enterWindowed();
        }
    }
    if (!window_) return true;
    pumpEvents();
    // A failed upload or presentation drops this frame only.
    if (texture_ && upload(packed, floats, clampBox(box, width_, height_))) draw();
    return true;
}

bool SdlDisplay::upload(const PackedPixel* packed, const FloatPixel* floats,
                        const DirtyBox& dirty) {
    // The caller's buffer always holds the whole frame, so a texture without valid content
    // takes all of it, whatever the box.
    const DirtyBox box = textureStale_ ? DirtyBox{0, width_, 0, height_} : dirty;
    if (box.xBegin == box.xEnd || box.yBegin == box.yEnd) return true;
    const PixelFormat source = floats ? XBGRFFFF : XRGB8888;
    Converter* converter = findConverter(source, textureFormat_);
    if (!converter) return false;
    const SDL_Rect rect = {box.xBegin, box.yBegin, box.xEnd - box.xBegin, box.yEnd - box.yBegin};
    void* bits = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(texture_, &rect, &bits, &pitch) != 0) return false;
    const size_t sourceRow = size_t(width_) * pixelSize(source);
    const auto* from = floats ? reinterpret_cast<const unsigned char*>(floats)
                              : reinterpret_cast<const unsigned char*>(packed);
    from += size_t(box.yBegin) * sourceRow + size_t(box.xBegin) * pixelSize(source);
    auto* to = static_cast<unsigned char*>(bits);
    converter->prepare();
    for (int y = box.yBegin; y < box.yEnd; ++y) {
        converter->convert(from, to, uint32_t(rect.w));
        from += sourceRow;
        to += pitch;
    }
    converter->finish();
    SDL_UnlockTexture(texture_);
    textureStale_ = false;
    return true;
}

bool SdlDisplay::draw() {
    int outputW = 0, outputH = 0;
    if (SDL_GetRendererOutputSize(renderer_, &outputW, &outputH) != 0) return false;
    PictureRect panel = {0, 0, 0, 0};
    const PictureRect picture = pictureRect(outputW, outputH, &panel);
    // Whole multiples of the display size keep square pixels; any other size is filtered.
    const bool nearest = picture.w % width_ == 0 && picture.h % height_ == 0 &&
                         picture.w / width_ == picture.h / height_;
    if (nearest != nearestScaling_) {
        SDL_SetTextureScaleMode(texture_, nearest ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
        nearestScaling_ = nearest;
    }
    const SDL_Rect target = {picture.x, picture.y, picture.w, picture.h};
    if (SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255) != 0) return false;
    if (SDL_RenderClear(renderer_) != 0) return false;
    if (SDL_RenderCopy(renderer_, texture_, nullptr, &target) != 0) return false;
    overlay_.draw(renderer_, target);
    if (panelWidth_ > 0) {
        const SDL_Rect beside = {panel.x, panel.y, panel.w, panel.h};
        panel_.draw(renderer_, beside);
    }
    SDL_RenderPresent(renderer_);
    return true;
}

bool SdlDisplay::ownsWindowEvent(uint32_t windowId) const {
    // Events pushed without a window belong to the one display there is.
    return windowId == 0 || windowId == windowId_;
}

void SdlDisplay::pumpEvents() {
    SDL_Event event;
    while (window_ && SDL_PollEvent(&event)) handleEvent(event);
}

void SdlDisplay::handleEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
            if (ownsWindowEvent(event.key.windowID)) keyPressed(event.key);
            break;
        case SDL_KEYUP:
            if (ownsWindowEvent(event.key.windowID)) keyReleased(event.key);
            break;
        case SDL_MOUSEMOTION:
            if (!ownsWindowEvent(event.motion.windowID)) break;
            setMousePosition(event.motion.x, event.motion.y);
            if (listener_) listener_->mouseMove(callbackTarget(), mouse_);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            if (!ownsWindowEvent(event.button.windowID)) break;
            const bool down = event.type == SDL_MOUSEBUTTONDOWN;
            switch (event.button.button) {
                case SDL_BUTTON_LEFT:
                    mouse_.left = down;
                    break;
                case SDL_BUTTON_MIDDLE:
                    mouse_.middle = down;
                    break;
                case SDL_BUTTON_RIGHT:
                    mouse_.right = down;
                    break;
                default:
                    return;
            }
            setMousePosition(event.button.x, event.button.y);
            if (!listener_) break;
            if (down) {
                listener_->mouseDown(callbackTarget(), mouse_);
            } else {
                listener_->mouseUp(callbackTarget(), mouse_);
            }
            break;
        }
        case SDL_WINDOWEVENT:
            if (!ownsWindowEvent(event.window.windowID)) break;
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    if (listener_) {
                        listener_->activate(callbackTarget(),
                                            event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED);
                    }
                    break;
                case SDL_WINDOWEVENT_CLOSE:
                    requestClose();
                    break;
                default:
                    break;
            }
            break;
        case SDL_QUIT:
            requestClose();
            break;
        case SDL_RENDER_DEVICE_RESET:
            // The renderer lost its textures; a new one gets the whole next frame.
            if (!createTexture()) destroyTexture();
            break;
        default:
            break;
    }
}

void SdlDisplay::requestClose() {
    if (!listener_ || listener_->closeRequested(callbackTarget())) closeRequested_ = true;
}

void SdlDisplay::keyPressed(const SDL_KeyboardEvent& key) {
    const int virtualKey = virtualKeyFor(key.keysym.sym, key.keysym.scancode);
    if (virtualKey == kNoVirtualKey) return;
    if ((key.keysym.mod & KMOD_ALT) && windowCommand(virtualKey, key.repeat != 0)) return;
    const KeyCode code = keyCodeForVirtualKey(virtualKey);
    if (!keyDown_[virtualKey]) {
        if (listener_) listener_->keyDown(callbackTarget(), code);
        if (virtualKey == kVirtualKeyEscape && (!listener_ || listener_->closeOnEscape())) {
            closeRequested_ = true;
        }
        keyDown_[virtualKey] = true;
    }
    if (listener_) listener_->keyStroke(callbackTarget(), code);
}

void SdlDisplay::keyReleased(const SDL_KeyboardEvent& key) {
    const int virtualKey = virtualKeyFor(key.keysym.sym, key.keysym.scancode);
    if (virtualKey == kNoVirtualKey) return;
    if (listener_) listener_->keyUp(callbackTarget(), keyCodeForVirtualKey(virtualKey));
    keyDown_[virtualKey] = false;
}

bool SdlDisplay::windowCommand(int virtualKey, bool repeat) {
    // The keys are taken from the listener also when they repeat or cannot act now, so that
    // Alt+digit never steers the program.
    switch (virtualKey) {
        case kVirtualKeyReturn:
            // A held Alt+Enter switches once, not on every auto-repeat.
            if (!repeat) toggleRequested_ = true;
            return true;
        case '1':
        case '2':
        case '4':
        case '8':
            if (!repeat) zoom(virtualKey - '0');
            return true;
        case 'C':
            if (!repeat) centre();
            return true;
        default:
            return false;
    }
}

void SdlDisplay::setMousePosition(int windowX, int windowY) {
    int w = 0, h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    const PictureRect picture = pictureRect(w, h);
    mouse_.x = toDisplayPixels(windowX, picture.x, picture.w, width_);
    mouse_.y = toDisplayPixels(windowY, picture.y, picture.h, height_);
}

}  // namespace PixelDisplay

PixelDisplay::DisplayInterface* createSdlDisplayOrFallback() {
    auto* display = new PixelDisplay::SdlDisplay();
    if (display->videoAvailable()) return display;
    std::printf("no graphical display (%s): running without a window\n", SDL_GetError());
    // Seen now, not when the show ends, also when the output goes to a pipe or a file.
    std::fflush(stdout);
    delete display;
    return new PixelDisplay::DisplayAdapter();
}

bool PixelDisplay::displayArea(DisplayOutput output, int& width, int& height) {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return false;
    SDL_Rect area;
    if (output == Fullscreen) {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
        area = {0, 0, mode.w, mode.h};
    } else if (SDL_GetDisplayUsableBounds(0, &area) != 0) {
        return false;
    }
    // The frame is unknown until a window exists; leave room for a usual one.
    const int frame = output == Fullscreen ? 0 : 40;
    width = area.w;
    height = area.h - frame;
    return width > 0 && height > 0;
}

PixelDisplay::DisplayInterface* PixelDisplay::createPlatformDisplay() {
    auto* display = new PixelDisplay::SdlDisplay();
    if (display->videoAvailable()) return display;
    std::printf("no graphical display (%s)\n", SDL_GetError());
    std::fflush(stdout);
    delete display;
    return nullptr;
}
