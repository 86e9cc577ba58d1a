#include "mode_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "failure.h"
#include "render/render_pool.h"
#include "runtime/clock.h"
#include "runtime/free_camera.h"

namespace fs = std::filesystem;

void startSilentShow(Show& show, const Options& options, int threads) {
    if (!fs::is_directory(options.dataDir)) fail("no data directory at " + options.dataDir);
    if (!startShow(show, options.dataDir, nullptr, options.screen)) std::exit(2);
    setRenderThreads(show, threads > 0 ? threads : defaultRenderThreads());
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

void advanceFrames(long from, long to, const Options& options, Show& state, const Matrix4& camera) {
    for (long n = from; n < to; ++n) {
        advanceFrame(showFrame(n, options.fps, camera), state);
        if (n % 64 == 0) checkInterrupt();
    }
}

std::unique_ptr<FrameFarm> startFarm(const Options& options, Show& state, bool pictures) {
    startSilentShow(state, options, 1);
    const int workers = options.threads > 0 ? options.threads : defaultRenderThreads();
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

void runFarm(FrameFarm& farm, Show& state, const FrameRange& range, double fps,
             const Matrix4& camera, Progress& progress,
             const std::function<std::string(long)>& pathOf,
             const std::function<void(long, const std::vector<uint32_t>&)>& consume) {
    long queued = range.first;
    for (long n = range.first; n < range.end; ++n) {
        while (queued < range.end && queued - n < farm.capacity()) {
            const std::string path = pathOf ? pathOf(queued) : std::string();
            farm.queue(queued, showFrame(queued, fps, camera), state, path,
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
    const ScreenSize& screen = show.objects.screen;
    std::vector<uint32_t> words;
    convertFrame(show.framebuffer, screen, words);
    writeImageFile(path, wordsToImage(words, screen.width, screen.height));
}
