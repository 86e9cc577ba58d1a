// The SDL2 platform display: a DisplayAdapter that shows its frames in a real window.
//
// Output: windowed (a resizable window whose client area starts at width x height; the
// picture is stretched to whatever size the window has) or full screen on the desktop's own
// mode (the picture scaled to the largest size of its own aspect, black borders around it).
// Each frame is converted by the shared converters into a streaming XRGB8888 texture, only the
// dirty box's rows and columns, and presented synchronised to the display's refresh.
//
// A side panel (OverlayTarget::setSidePanel) widens the canvas: the picture and the panel side by
// side, stretched over the window or letterboxed in full screen as the picture alone would be.
//
// Keys the listener never sees (README-keys): Alt+Enter switches between window and full
// screen at the next `update`; in a window Alt+1, Alt+2, Alt+4 and Alt+8 zoom to that many
// times the display size (where it fits the screen) and Alt+C centres the window.
//
// Events are read from SDL's queue inside `update` and delivered synchronously to the
// listener with the facade as the display argument. SDL's queue is process-wide: one SdlDisplay
// is meant to be open at a time.
#pragma once

#include "display/converters.h"
#include "display/display.h"
#include "display/overlay.h"
#include "display/sdl/sdl_overlay.h"
#include "display/window_geometry.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
union SDL_Event;
struct SDL_KeyboardEvent;

namespace PixelDisplay {

// Whether a presentation waits for the display's vertical blank (the demo) or returns as
// soon as the frame is handed over (measurements).
enum class PresentSync { VerticalBlank, Immediate };

class SdlDisplay : public DisplayAdapter, public OverlayTarget {
public:
    // Starts SDL's video subsystem (counted, so several displays may coexist).
    explicit SdlDisplay(PresentSync sync = PresentSync::VerticalBlank);
    ~SdlDisplay() override;
    SdlDisplay(const SdlDisplay&) = delete;
    SdlDisplay& operator=(const SdlDisplay&) = delete;

    bool open(const char* title, int width, int height, DisplayOutput output,
              PixelMode mode) override;
    void close() override;
    void setTitle(const char* title) override;
    bool refresh(const PackedPixel* packed, const FloatPixel* floats, const DirtyBox* box) override;
    void clearState() override;
    bool enterWindowed() override;
    bool enterFullscreen() override;
    void setOverlay(const uint32_t* argb, int width, int height) override;
    void setSidePanel(const uint32_t* argb, int width, int height) override;

    // False when SDL could not start its video (no graphical session): `open` then fails.
    bool videoAvailable() const { return videoStarted_; }

    // Window commands behind the Alt keys; they act only on an open, windowed display that is
    // neither minimised nor maximised. `zoom` takes 1, 2, 4 or 8 and refuses factors that do
    // not fit the screen; it keeps the window's centre where it can.
    bool zoom(int factor);
    void centre();

    // For tests and tools that inspect what the user sees; null while closed.
    SDL_Window* window() const { return window_; }
    SDL_Renderer* renderer() const { return renderer_; }

private:
    bool createWindow();
    bool createTexture();
    void destroyTexture();
    void pumpEvents();
    void handleEvent(const SDL_Event& event);
    void keyPressed(const SDL_KeyboardEvent& key);
    void keyReleased(const SDL_KeyboardEvent& key);
    bool windowCommand(int virtualKey, bool repeat);
    void requestClose();
    void setMousePosition(int windowX, int windowY);
    bool ownsWindowEvent(uint32_t windowId) const;
    bool upload(const PackedPixel* packed, const FloatPixel* floats, const DirtyBox& box);
    bool draw();
    void restoreWindowedRect();
    void screenBounds(int* x, int* y, int* w, int* h) const;
    // The picture and the side panel side by side (the picture alone without a panel).
    int canvasWidth() const;
    int canvasHeight() const;
    // Where the picture lands in the output, and the panel beside it.
    PictureRect pictureRect(int outputW, int outputH, PictureRect* panel = nullptr) const;
    void fitWindowToCanvas(int oldWidth, int oldHeight);

    PresentSync sync_;
    bool videoStarted_ = false;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    uint32_t windowId_ = 0;
    PixelFormat textureFormat_ = NoFormat;
    // The texture's content is undefined (new or reset): the next upload takes the whole frame.
    bool textureStale_ = true;
    bool nearestScaling_ = false;
    bool closeRequested_ = false;
    bool toggleRequested_ = false;
    bool cursorHidden_ = false;
    // Client position and size to return to when leaving full screen (w = 0: none yet).
    struct {
        int x, y, w, h;
    } windowedRect_ = {0, 0, 0, 0};
    MouseState mouse_ = {};
    bool keyDown_[256] = {};
    SdlOverlay overlay_;
    SdlOverlay panel_{false};
    int panelWidth_ = 0;  // 0: no panel
    int panelHeight_ = 0;
};

}  // namespace PixelDisplay

// The display the demo shows its frames on: an SdlDisplay where SDL can start its video, else
// (no DISPLAY, no graphical session) a DisplayAdapter without output, after printing one line
// that says so. The caller owns the result.
PixelDisplay::DisplayInterface* createSdlDisplayOrFallback();
