#include "mode_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "failure.h"
#include "render/render_pool.h"
#include "runtime/clock.h"
#include "runtime/free_camera.h"

namespace fs = std::filesystem;

namespace {

struct LoadedAssets {
    ShowAssets assets;
    bool loaded = false;
    ~LoadedAssets() {
        if (loaded) freeShowAssets(assets);
    }
};

const ShowAssets& showAssets(const Options& options) {
    static LoadedAssets once;
    if (!once.loaded) {
        if (!fs::is_directory(options.dataDir)) fail("no data directory at " + options.dataDir);
        if (!loadShowAssets(once.assets, options.dataDir)) std::exit(2);
        once.loaded = true;
    }
    return once.assets;
}

}  // namespace

void startSilentShow(Show& show, const Options& options, int threads) {
    if (!startShow(show, showAssets(options), nullptr, options.screen, threads)) std::exit(2);
    checkInterrupt();
}

Matrix4 cameraFromKeys(const std::string& keys) {
    return cameraMatrix(cameraAfterKeys(keys.c_str()));
}

FrameState showFrame(long n, double fps, const Matrix4& camera) {
    const double seconds = n / fps;
    return FrameState{seconds * ROWS_PER_SECOND, seconds, seconds, camera};
}

long frameAtRow(double row, double fps) {
    long n = std::max(0L, static_cast<long>(row / ROWS_PER_SECOND * fps) - 2);
    while (showFrame(n, fps, Matrix4{}).row < row) ++n;
    return n;
}

FrameRange frameRange(const Options& options) {
    return {frameAtRow(options.fromRow, options.fps), frameAtRow(options.toRow, options.fps)};
}

std::unique_ptr<FrameFarm> startFarm(const Options& options, bool pictures) {
    const int workers = chosenRenderThreads(options.threads);
    std::vector<std::unique_ptr<Show>> shows;
    for (int i = 0; i < workers; ++i) {
        shows.push_back(std::make_unique<Show>());
        startSilentShow(*shows.back(), options, 1);
    }
    auto farm = std::make_unique<FrameFarm>(std::move(shows), pictures);
    gPending.farm = farm.get();
    return farm;
}

void stopFarm(std::unique_ptr<FrameFarm>& farm) {
    gPending.farm = nullptr;
    farm->abandon();
    farm.reset();
}

void runFarm(FrameFarm& farm, const FrameRange& range, double fps,
             const Matrix4& camera, Progress& progress,
             const std::function<std::string(long)>& pathOf,
             const std::function<void(long, const std::vector<uint32_t>&)>& consume) {
    long queued = range.first;
    for (long n = range.first; n < range.end; ++n) {
        while (queued < range.end && queued - n < farm.capacity()) {
            const std::string path = pathOf ? pathOf(queued) : std::string();
            farm.queue(queued, showFrame(queued, fps, camera), path,
                       path.empty() ? std::string() : tempBeside(path));
            ++queued;
        }
        const std::vector<uint32_t>* words = farm.take(n);
        if (words == nullptr) fail(farm.error());
        if (consume) consume(n, *words);
        farm.release(n);
        checkInterrupt();
        progress.step(n - range.first + 1);
    }
}

void writeImageFile(const std::string& path, const RgbImage& image) {
    beginFile(path);
    std::string error;
    if (!writePng(gPending.temp, image, error)) fail(error);
    commitFile(path);
}

void writeFramePng(const std::string& path, const Show& show) {
    const ScreenSize& screen = show.target.screen;
    std::vector<uint32_t> words;
    convertFrame(show.target.framebuffer, screen, words);
    writeImageFile(path, wordsToImage(words, screen.width, screen.height));
}
