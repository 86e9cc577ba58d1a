#include "runtime/application.h"

#include <cstdio>

#include "runtime/startup.h"
#include "runtime/sync.h"

using PixelDisplay::KeyCode;

Application::Application(PixelDisplay::DisplayInterface* platformDisplay, MusicPlayer* music,
                         std::string dataDir)
    : cameraPosition{0, 0, 0, 0},
      cameraAngles{0, 0, 0, 0},
      display(platformDisplay),
      music_(music),
      dataDir_(std::move(dataDir)) {}

Application::~Application() = default;

void Application::resetCamera() {
    cameraPosition = {0.0f, -8.0f, -44.0f, 0.0f};
    cameraAngles = {-0.6f, 0.0f, 0.0f, 0.0f};
}

Matrix4 Application::freeCamera() const {
    Matrix4 camera;
    viewMatrix({cameraPosition.x, cameraPosition.y, cameraPosition.z}, camera,
               {cameraAngles.x, cameraAngles.y, cameraAngles.z});
    return camera;
}

void Application::keyStroke(PixelDisplay::DisplayInterface&, KeyCode key) {
    // Steps add in single precision; presets replace both vectors whole.
    switch (key) {
        case 'A': cameraPosition.x += 4.0f; break;
        case 'D': cameraPosition.x -= 4.0f; break;
        case 'Q': cameraPosition.y += 4.0f; break;
        case 'Z': cameraPosition.y -= 4.0f; break;
        case 'W': cameraPosition.z += 4.0f; break;
        case 'S': cameraPosition.z -= 4.0f; break;
        case 'U': cameraAngles.x += 0.1f; break;
        case 'J': cameraAngles.x -= 0.1f; break;
        case 'K': cameraAngles.y += 0.1f; break;
        case 'H': cameraAngles.y -= 0.1f; break;
        case 'I': cameraAngles.z += 0.1f; break;
        case 'Y': cameraAngles.z -= 0.1f; break;
        case '1':
            cameraAngles = {1.2f, -0.3f, 0.0f, 0.0f};
            cameraPosition = {-96.0f, -92.0f, -28.0f, 0.0f};
            break;
        case '2':
            cameraAngles = {1.2f, 0.2f, 0.0f, 0.0f};
            cameraPosition = {192.0f, -112.0f, -28.0f, 0.0f};
            break;
        case '3':
            cameraAngles = {1.2f, 0.0f, 0.0f, 0.0f};
            cameraPosition = {0.0f, -136.0f, 16.0f, 0.0f};
            break;
        case '4':
            cameraAngles = {0.0f, 0.0f, 0.0f, 0.0f};
            cameraPosition = {0.0f, 0.0f, 0.0f, 0.0f};
            break;
        case '5':
            cameraAngles = {1.3f, -2.1f, 0.0f, 0.0f};
            cameraPosition = {-272.0f, 24.0f, -4.0f, 0.0f};
            break;
        default: break;
    }
}

int Application::run() {
    using namespace PixelDisplay;
    resetCamera();
    float* framebuffer = allocateFramebuffer();
    if (!framebuffer) {
        std::printf("out of memory for the framebuffer\n");
        return 0;
    }

    StartupObjects objects{};
    loadStartupAssets(objects, framebuffer, dataDir_);

    if (!music_ || !music_->init(44100)) {
        std::printf("bass init error\n");
        return 0;
    }
    if (!music_->openStream(dataPath(dataDir_, "demo110.mp3").c_str())) {
        std::printf("error (%d) while creating stream\n", music_->errorCode());
        return 0;
    }

    SyncDevice* device = createSyncDevice(dataPath(dataDir_, "sync").c_str());
    DemoTracks tracks{};
    if (!device || !getDemoTracks(device, tracks)) {
        // A track that cannot be made is the same shortage as a device that cannot be made.
        std::printf("sync failed, out of memory?");
        std::fflush(stdout);
        destroySyncDevice(device);
        music_->close();
        return 0;
    }

    placeRandomObjects(objects, dataDir_);

    display.open("Fullscreen Example", kFrameWidth, kFrameHeight, Fullscreen, FloatPixels);
    display.setListener(this);

    std::unique_ptr<TimerInterface> timer(createPlatformTimer());
    DemoClock clock;
    startClock(clock, timer.get());
    music_->play();

    framesRun_ = 0;
    while (display.isOpen()) {
        const double audioSeconds = music_->bytesToSeconds(music_->position());
        const double row = advanceClock(clock, timer.get(), audioSeconds);
        const FrameState frame{row, clock.currentTime, sceneTime(clock), freeCamera()};
        renderFrame(frame, tracks, objects);
        lastRow_ = row;
        ++framesRun_;

        // The frame that reaches the last row is drawn but never shown.
        if (row >= kLastRow) display.close();
        display.update(reinterpret_cast<const FloatPixel*>(framebuffer), nullptr);
        music_->update();
    }

    destroySyncDevice(device);
    music_->close();
    return 0;
}
