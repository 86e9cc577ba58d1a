// The display of the web page: the finished frame goes through our converter into an RGBA
// picture that the page's JavaScript half (web_display.js) puts on a canvas of the picture's
// size, which the page scales to the window with its shape kept. Keys and mouse events arrive from the
// page in a queue and reach the listener from inside `update`, as the contract asks.
//
// Keys: letters by their meaning on the keyboard's layout (by position when that gives none),
// digits, Escape 27, Enter 10, arrows 37..40, F1..F12 112..123. Escape leaves full screen
// first (the browser takes it for that) and otherwise ends the show; Alt+Enter toggles full
// screen and never reaches the listener.
#pragma once

#include <cstdint>
#include <vector>

#include "display/display.h"

namespace PixelDisplay {

class WebDisplay final : public DisplayAdapter {
public:
    // A still display shows one picture at its own size at the page's top-left corner and
    // takes no events.
    explicit WebDisplay(bool still = false);
    ~WebDisplay() override;

    bool open(const char* title, int width, int height, DisplayOutput output,
              PixelMode mode) override;
    void close() override;
    bool refresh(const PackedPixel* packed, const FloatPixel* floats, const DirtyBox* box) override;
    bool enterWindowed() override;
    bool enterFullscreen() override;

private:
    void pumpEvents();
    void keyPressed(KeyCode key, bool alt, bool repeat);
    void keyReleased(KeyCode key);

    bool still_;
    bool closeRequested_ = false;
    bool toggleRequested_ = false;
    bool keyDown_[256] = {};
    MouseState mouse_ = {};
    // RGBA bytes for the canvas, made at open.
    std::vector<uint32_t> picture_;
};

}  // namespace PixelDisplay
