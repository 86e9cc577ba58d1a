#include "runtime/show.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "render/aligned_block.h"
#include "render/render_pool.h"
#include "runtime/frame.h"
#include "runtime/startup.h"
#include "scenes/scene_objects.h"

namespace {

// The whole file, or false with the music layer's error code for one that cannot be read.
bool readMusicFile(const std::string& path, std::vector<uint8_t>& bytes, int& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = kMusicFileOpen;
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad()) {
        bytes.clear();
        error = kMusicFileOpen;
        return false;
    }
    error = kMusicOk;
    return true;
}

}  // namespace

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

bool checkDataFolder(const std::string& dataDir) {
    std::error_code error;
    if (!std::filesystem::is_directory(dataDir, error)) {
        std::printf("%s: no such data folder\n", dataDir.c_str());
        return false;
    }
    bool complete = true;
    const auto need = [&](const std::string& name) {
        const std::string path = dataPath(dataDir, name.c_str());
        if (std::filesystem::is_regular_file(path, error)) return;
        std::printf("%s: missing from the data folder\n", path.c_str());
        complete = false;
    };
    for (const DataFile& file : kDataFiles) {
        if (file.role != DataRole::kMusic) need(file.name);
    }
    for (const TrackBinding& track : kTracks) need(trackFileName(track.name));
    return complete;
}

bool loadShowAssets(ShowAssets& assets, const std::string& dataDir) {
    if (!checkDataFolder(dataDir)) {
        std::fflush(stdout);
        return false;
    }
    assets.dataDir = dataDir;
    loadSceneAssets(assets.scenes, dataDir);
    readMusicFile(dataPath(dataDir, kMusicFile), assets.music, assets.musicError);

    assets.device = createSyncDevice(dataPath(dataDir, kTrackFileBase).c_str());
    if (!assets.device || !getDemoTracks(assets.device, assets.tracks)) {
        // A track that cannot be made is the same shortage as a device that cannot be made.
        std::printf("sync failed, out of memory?");
        std::printf("\n%s_*.track: the tracks could not be made\n",
                    dataPath(dataDir, kTrackFileBase).c_str());
        std::fflush(stdout);
        freeShowAssets(assets);
        return false;
    }

    placeRandomObjects(assets.scenes);
    return true;
}

void freeShowAssets(ShowAssets& assets) {
    freeSceneAssets(assets.scenes);
    destroySyncDevice(assets.device);
    assets.device = nullptr;
    assets.tracks = DemoTracks{};
    std::vector<uint8_t>().swap(assets.music);
}

bool startShow(Show& show, const ShowAssets& assets, MusicPlayer* music, const ScreenSize& screen,
               int threads) {
    show = Show{};
    show.assets = &assets;
    if (music) {
        if (!music->init(44100)) {
            std::printf("bass init error\n");
            return false;
        }
        const std::string path = dataPath(assets.dataDir, kMusicFile);
        const bool opened =
            assets.musicError == kMusicOk && music->openMusic(assets.music, path.c_str());
        if (!opened) {
            const int code = assets.musicError != kMusicOk ? assets.musicError : music->errorCode();
            std::printf("error (%d) while creating stream\n", code);
            std::printf("%s: %s\n", path.c_str(), musicErrorText(code));
            music->close();
            return false;
        }
        show.music = music;
    }
    show.target.screen = screen;
    show.target.framebuffer = allocateFramebuffer(screen);
    if (!show.target.framebuffer) {
        std::printf("out of memory for the framebuffer\n");
        endShow(show);
        return false;
    }
    startSceneRun(show.scenes, assets.scenes, screen);
    setRenderThreads(show, threads);
    return true;
}

void endShow(Show& show) {
    destroyRenderPool(show.target.pool);
    freeAligned(show.target.framebuffer);
    endSceneRun(show.scenes);
    if (show.music) show.music->close();
    show = Show{};
}

void setRenderThreads(Show& show, int threads) {
    const int count = chosenRenderThreads(threads);
    if (renderThreads(show.target.pool) == count) return;
    destroyRenderPool(show.target.pool);
    show.target.pool = count > 1 ? createRenderPool(count) : nullptr;
}
