// The demo's top-level object: owns the display, runs the show, steers the free camera.
#pragma once

#include <memory>
#include <string>

#include "audio/music_player.h"
#include "display/display.h"
#include "display/timer.h"
#include "render/math.h"
#include "runtime/clock.h"
#include "runtime/frame.h"
#include "scenes/startup_objects.h"

class Application : public PixelDisplay::Listener {
public:
    // Takes ownership of the platform display (may be null) and the music player.
    Application(PixelDisplay::DisplayInterface* platformDisplay, MusicPlayer* music,
                std::string dataDir);
    ~Application() override;

    // Start-up, the frame loop until the display closes, teardown. Returns 0.
    int run();

    // Camera start values: position (0, -8, -44), angles (-0.6, 0, 0).
    void resetCamera();
    // viewMatrix(position, angles): move first, then rotate about X, Y and Z.
    Matrix4 freeCamera() const;

    void keyStroke(PixelDisplay::DisplayInterface& display, PixelDisplay::KeyCode key) override;
    bool closeRequested(PixelDisplay::DisplayInterface&) override { return true; }

    Vec4 cameraPosition;
    Vec4 cameraAngles;
    PixelDisplay::Display display;

    // Frames shown by the last run (for tests and diagnostics).
    long framesRun() const { return framesRun_; }
    double lastRow() const { return lastRow_; }

private:
    std::unique_ptr<MusicPlayer> music_;
    std::string dataDir_;
    long framesRun_ = 0;
    double lastRow_ = 0.0;
};
