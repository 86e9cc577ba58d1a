#include "runtime/application.h"

#include <cstdio>

#include "render/render_pool.h"
#include "runtime/frame.h"

Application::Application(PixelDisplay::DisplayInterface* platformDisplay, MusicPlayer* music,
                         std::string dataDir)
    : display(platformDisplay), music_(music), dataDir_(std::move(dataDir)) {}

Application::~Application() = default;

void Application::keyStroke(PixelDisplay::DisplayInterface&, PixelDisplay::KeyCode key) {
    applyCameraKey(camera, key);
}

bool Application::start() {
    using namespace PixelDisplay;
    resetCamera(camera);
    framesRun_ = 0;
    if (!music_) {
        std::printf("bass init error\n");
        return false;
    }
    if (!startShow(show_, dataDir_, music_.get(), screen)) return false;
    setRenderThreads(show_, threads > 0 ? threads : defaultRenderThreads());

    display.open("Fullscreen Example", screen.width, screen.height, output, FloatPixels);
    display.setListener(this);

    timer_.reset(createPlatformTimer());
    clock_ = DemoClock{};
    startClock(clock_, timer_.get());
    music_->play();
    return true;
}

bool Application::step() {
    if (!display.isOpen()) return false;
    const double audioSeconds = music_->bytesToSeconds(music_->position());
    const double row = advanceClock(clock_, timer_.get(), audioSeconds);
    const FrameState frame{row, clock_.currentTime, sceneTime(clock_), cameraMatrix(camera)};
    renderFrame(frame, show_);
    lastRow_ = row;
    ++framesRun_;

    // The frame that reaches the last row is drawn but never shown.
    if (row >= kLastRow) display.close();
    display.update(reinterpret_cast<const PixelDisplay::FloatPixel*>(show_.framebuffer), nullptr);
    music_->update();
    return display.isOpen();
}

void Application::finish() {
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
