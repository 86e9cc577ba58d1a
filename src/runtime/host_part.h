// A part that plugs into the host's start, step and run: the edit mode is one. The host
// (Application) keeps the one start-up, frame loop and teardown; a part takes the keys it
// wants, chooses the frame the host draws (its row and times), swaps in what it reloads
// between frames, and chooses what the display shows of the drawn frame.
#pragma once

#include "display/display.h"
#include "runtime/frame.h"

class Application;

class HostPart {
public:
    virtual ~HostPart() = default;

    // The display's title; the show's own is "Fullscreen Example".
    virtual const char* title() const = 0;
    // After the show has started, before the display opens and the music plays. False stops
    // the start-up (the part has said why); the host then ends what it started.
    virtual bool started(Application& host) = 0;
    // The frame the host draws next. Called once a step, before it is drawn: reloads and the
    // transport act here.
    virtual FrameState nextFrame(Application& host) = 0;
    // Right before and after the frame is drawn. `drawn` returns what the display shows: the
    // show's framebuffer or a buffer of the part's of the same size.
    virtual void drawing(Application& host) = 0;
    virtual const float* drawn(Application& host) = 0;
    // True when the part took the key; otherwise it steers the free camera.
    virtual bool keyStroke(Application& host, PixelDisplay::KeyCode key) = 0;
    // Every key going down or up (Shift and Control among them), before its stroke.
    virtual void keyChanged(Application& host, PixelDisplay::KeyCode key, bool down) {
        (void)host;
        (void)key;
        (void)down;
    }
    // Asked when Escape goes down and when the window is to close: false keeps the show
    // running (the part says why).
    virtual bool closeOnEscape(Application& host) {
        (void)host;
        return true;
    }
    virtual bool closeRequested(Application& host) {
        (void)host;
        return true;
    }
    // Before the host ends the show.
    virtual void finishing(Application& host) = 0;
};
