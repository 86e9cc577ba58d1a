#include "runtime/show.h"

#include <cstdio>

#include "runtime/frame.h"
#include "runtime/startup.h"

bool getDemoTracks(SyncDevice* device, DemoTracks& tracks) {
    std::string message;
    for (int i = 0; i < kTrackCount; ++i) {
        tracks.tracks[i] = getTrack(device, kTracks[i].name, &message);
        if (!message.empty()) std::printf("%s\n", message.c_str());
        if (!tracks.tracks[i]) return false;
    }
    return true;
}

bool startShow(Show& show, const std::string& dataDir, MusicPlayer* music) {
    show = Show{};
    show.dataDir = dataDir;
    show.framebuffer = allocateFramebuffer();
    if (!show.framebuffer) {
        std::printf("out of memory for the framebuffer\n");
        return false;
    }
    loadStartupAssets(show.objects, show.framebuffer, dataDir);

    if (music) {
        if (!music->init(44100)) {
            std::printf("bass init error\n");
            return false;
        }
        if (!music->openStream(dataPath(dataDir, "demo110.mp3").c_str())) {
            std::printf("error (%d) while creating stream\n", music->errorCode());
            return false;
        }
        show.music = music;
    }

    show.device = createSyncDevice(dataPath(dataDir, "sync").c_str());
    if (!show.device || !getDemoTracks(show.device, show.tracks)) {
        // A track that cannot be made is the same shortage as a device that cannot be made.
        std::printf("sync failed, out of memory?");
        std::fflush(stdout);
        endShow(show);
        return false;
    }

    placeRandomObjects(show.objects, dataDir);
    return true;
}

void endShow(Show& show) {
    destroySyncDevice(show.device);
    show.device = nullptr;
    show.tracks = DemoTracks{};
    if (show.music) show.music->close();
    show.music = nullptr;
}
