// The demo's top-level object: owns the display, runs the show, steers the free camera.
//
// The frame loop is one step function so that a host that cannot block (a browser calls us
// once per animation frame) drives the same frames as the desktop loop in `run`. A part
// (runtime/host_part.h) may plug into the same start, step and run: the edit mode does.
#pragma once

#include <memory>
#include <string>

#include "audio/music_player.h"
#include "display/display.h"
#include "display/timer.h"
#include "render/screen.h"
#include "runtime/clock.h"
#include "runtime/free_camera.h"
#include "runtime/host_part.h"
#include "runtime/show.h"

class Application : public PixelDisplay::Listener {
public:
    // Takes ownership of the platform display (may be null), the music player and the part
    // (null for the show alone).
    Application(PixelDisplay::DisplayInterface* platformDisplay, MusicPlayer* music,
                std::string dataDir, HostPart* part = nullptr);
    ~Application() override;

    // The start-up: camera start values, the assets (once: a second start plays them again),
    // the show, the part's start, the display opened (full screen unless `output` says
    // otherwise) with this object as its listener, the timer, the music started. False when
    // the show could not be made (its message is printed); then there is nothing to finish.
    bool start();
    // One frame: the part's frame or the clocks', render, present, close the display at the
    // last row (the part may hold the show there instead). False once the display has closed,
    // for whatever reason.
    bool step();
    // The teardown after the last step: the part's, the show's run, the timer. The assets stay
    // for another start.
    void finish();
    // start, step until the display closes, finish. Returns 0 after a show, 1 when the
    // start-up failed.
    int run();

    // Full screen (the default) or a window, as the display opens at start.
    PixelDisplay::DisplayOutput output = PixelDisplay::Fullscreen;
    // Threads that draw the frames; 0: one for each of the machine's cores.
    int threads = 0;
    // The size the show is drawn at, and the display's size (render/screen.h).
    ScreenSize screen{};

    void keyStroke(PixelDisplay::DisplayInterface& display, PixelDisplay::KeyCode key) override;
    void keyDown(PixelDisplay::DisplayInterface& display, PixelDisplay::KeyCode key) override;
    void keyUp(PixelDisplay::DisplayInterface& display, PixelDisplay::KeyCode key) override;
    // The part may keep the show open (the edit mode asks first about unsaved changes).
    bool closeOnEscape() override;
    bool closeRequested(PixelDisplay::DisplayInterface&) override;

    FreeCamera camera{};
    PixelDisplay::Display display;

    // What the part works on.
    ShowAssets& assets() { return assets_; }
    Show& show() { return show_; }
    MusicPlayer& music() { return *music_; }
    HostPart* part() { return part_.get(); }

    // Frames shown by the last run (for tests and diagnostics).
    long framesRun() const { return framesRun_; }
    double lastRow() const { return lastRow_; }

private:
    std::unique_ptr<MusicPlayer> music_;
    std::string dataDir_;
    std::unique_ptr<HostPart> part_;
    ShowAssets assets_{};
    bool assetsLoaded_ = false;
    Show show_{};
    bool started_ = false;
    std::unique_ptr<PixelDisplay::TimerInterface> timer_;
    DemoClock clock_{};
    long framesRun_ = 0;
    double lastRow_ = 0.0;
};
