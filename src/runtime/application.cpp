#include "runtime/application.h"

#include <cstdio>

#include "runtime/frame.h"

Application::Application(PixelDisplay::DisplayInterface* platformDisplay, MusicPlayer* music,
                         std::string dataDir, HostPart* part)
    : display(platformDisplay), music_(music), dataDir_(std::move(dataDir)), part_(part) {}

Application::~Application() {
    finish();
    // The part may hold what it swapped into the assets: it goes first.
    part_.reset();
    if (assetsLoaded_) freeShowAssets(assets_);
}

void Application::keyStroke(PixelDisplay::DisplayInterface&, PixelDisplay::KeyCode key) {
    if (part_ && started_ && part_->keyStroke(*this, key)) return;
    applyCameraKey(camera, key);
}

void Application::keyDown(PixelDisplay::DisplayInterface&, PixelDisplay::KeyCode key) {
    if (part_ && started_) part_->keyChanged(*this, key, true);
}

void Application::keyUp(PixelDisplay::DisplayInterface&, PixelDisplay::KeyCode key) {
    if (part_ && started_) part_->keyChanged(*this, key, false);
}

bool Application::closeOnEscape() {
    return !part_ || !started_ || part_->closeOnEscape(*this);
}

bool Application::closeRequested(PixelDisplay::DisplayInterface&) {
    return !part_ || !started_ || part_->closeRequested(*this);
}

bool Application::start() {
    using namespace PixelDisplay;
    resetCamera(camera);
    framesRun_ = 0;
    if (!music_) {
        std::printf("bass init error\n");
        return false;
    }
    if (!assetsLoaded_) {
        if (!loadShowAssets(assets_, dataDir_)) return false;
        assetsLoaded_ = true;
    }
    if (!startShow(show_, assets_, music_.get(), screen, threads)) return false;
    started_ = true;
    if (part_ && !part_->started(*this)) {
        finish();
        return false;
    }

    display.open(part_ ? part_->title() : "Fullscreen Example", screen.width, screen.height, output,
                 FloatPixels);
    display.setListener(this);

    timer_.reset(createPlatformTimer());
    clock_ = DemoClock{};
    startClock(clock_, timer_.get());
    music_->play();
    return true;
}

bool Application::step() {
    if (!started_ || !display.isOpen()) return false;
    FrameState frame;
    if (part_) {
        frame = part_->nextFrame(*this);
    } else {
        const double audioSeconds = music_->bytesToSeconds(music_->position());
        const double row = advanceClock(clock_, timer_.get(), audioSeconds);
        frame = FrameState{row, clock_.currentTime, sceneTime(clock_), cameraMatrix(camera)};
    }
    if (part_) part_->drawing(*this);
    renderFrame(frame, show_);
    const float* shown = part_ ? part_->drawn(*this) : show_.target.framebuffer;
    lastRow_ = frame.row;
    ++framesRun_;

    // The frame that reaches the last row is drawn but never shown. A part keeps the show at
    // its end itself.
    if (!part_ && frame.row >= kLastRow) display.close();
    display.update(reinterpret_cast<const PixelDisplay::FloatPixel*>(shown), nullptr);
    music_->update();
    return display.isOpen();
}

void Application::finish() {
    if (!started_) return;
    started_ = false;
    if (part_) part_->finishing(*this);
    endShow(show_);
    timer_.reset();
}

int Application::run() {
    if (!start()) return 1;
    while (step()) {
    }
    finish();
    return 0;
}
