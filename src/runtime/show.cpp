#include "runtime/show.h"

#include <cstdio>

#include "render/render_pool.h"
#include "runtime/frame.h"
#include "runtime/startup.h"

const char* musicErrorText(int code) {
    switch (code) {
        case kMusicFileOpen:
            return "cannot be opened (is the file there?)";
        case kMusicFormat:
            return "is not a music file that can be decoded";
        case kMusicMemory:
            return "out of memory while decoding";
        default:
            return "cannot be played";
    }
}

bool getDemoTracks(SyncDevice* device, DemoTracks& tracks) {
    std::string message;
    for (int i = 0; i < kTrackCount; ++i) {
        tracks.tracks[i] = getTrack(device, kTracks[i].name, &message);
        if (!message.empty()) std::printf("%s\n", message.c_str());
        if (!tracks.tracks[i]) return false;
    }
    return true;
}

bool startShow(Show& show, const std::string& dataDir, MusicPlayer* music,
               const ScreenSize& screen) {
    show = Show{};
    show.dataDir = dataDir;
    show.framebuffer = allocateFramebuffer(screen);
    if (!show.framebuffer) {
        std::printf("out of memory for the framebuffer\n");
        return false;
    }
    loadStartupAssets(show.objects, show.framebuffer, screen, dataDir);

    if (music) {
        if (!music->init(44100)) {
            std::printf("bass init error\n");
            return false;
        }
        const std::string path = dataPath(dataDir, "demo110.mp3");
        if (!music->openStream(path.c_str())) {
            const int code = music->errorCode();
            std::printf("error (%d) while creating stream\n", code);
            std::printf("%s: %s\n", path.c_str(), musicErrorText(code));
            return false;
        }
        show.music = music;
    }

    show.device = createSyncDevice(dataPath(dataDir, "sync").c_str());
    if (!show.device || !getDemoTracks(show.device, show.tracks)) {
        // A track that cannot be made is the same shortage as a device that cannot be made.
        std::printf("sync failed, out of memory?");
        std::printf("\n%s_*.track: the tracks could not be made\n",
                    dataPath(dataDir, "sync").c_str());
        std::fflush(stdout);
        endShow(show);
        return false;
    }

    placeRandomObjects(show.objects, dataDir);
    return true;
}

void endShow(Show& show) {
    if (show.objects.context != nullptr) {
        destroyRenderPool(show.objects.context->pool);
        show.objects.context->pool = nullptr;
    }
    destroySyncDevice(show.device);
    show.device = nullptr;
    show.tracks = DemoTracks{};
    if (show.music) show.music->close();
    show.music = nullptr;
}
