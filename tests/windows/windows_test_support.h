// Shared helpers of the Windows tests: a listener that records every callback, and the
// screen the tests expect (scripts/windows-test.sh runs them on a 1920x1080 virtual screen).
#pragma once

#include <vector>

#include "display/windows/windows_display.h"

namespace windows_test {

using namespace PixelDisplay;

enum class Call {
    KeyDown,
    KeyStroke,
    KeyUp,
    MouseDown,
    MouseUp,
    MouseMove,
    Activate,
    Opened,
    CloseRequested
};

struct Event {
    Call call;
    KeyCode key = 0;
    MouseState mouse{};
    DisplayInterface* display = nullptr;
};

class RecordingListener : public Listener {
public:
    bool escapeCloses = true;
    bool allowClose = true;
    std::vector<Event> events;

    bool closeOnEscape() override { return escapeCloses; }
    void keyDown(DisplayInterface& d, KeyCode k) override { add(Call::KeyDown, &d, k); }
    void keyStroke(DisplayInterface& d, KeyCode k) override { add(Call::KeyStroke, &d, k); }
    void keyUp(DisplayInterface& d, KeyCode k) override { add(Call::KeyUp, &d, k); }
    void mouseDown(DisplayInterface& d, MouseState m) override { add(Call::MouseDown, &d, 0, m); }
    void mouseUp(DisplayInterface& d, MouseState m) override { add(Call::MouseUp, &d, 0, m); }
    void mouseMove(DisplayInterface& d, MouseState m) override { add(Call::MouseMove, &d, 0, m); }
    void activate(DisplayInterface& d, bool) override { add(Call::Activate, &d); }
    void opened(DisplayInterface& d) override { add(Call::Opened, &d); }
    bool closeRequested(DisplayInterface& d) override {
        add(Call::CloseRequested, &d);
        return allowClose;
    }

    // The key events only, as (call, key) pairs, in order.
    std::vector<std::pair<Call, KeyCode>> keys() const;
    int count(Call call) const;
    void clear() { events.clear(); }

private:
    void add(Call call, DisplayInterface* d, KeyCode key = 0, MouseState mouse = {}) {
        events.push_back({call, key, mouse, d});
    }
};

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

// True when the screen is the one the tests were written for.
bool expectedScreen();

// A 640x480 frame of one packed colour.
std::vector<PackedPixel> solidFrame(PackedPixel colour, int width = 640, int height = 480);

}  // namespace windows_test
