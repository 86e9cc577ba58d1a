// --frames: every frame of the range as a numbered PNG, drawn and written by the frame farm.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "failure.h"
#include "mode_support.h"
#include "modes.h"

namespace fs = std::filesystem;

namespace {

// frameNNNNN.png, five digits or more.
bool isFrameName(const std::string& name) {
    const size_t prefix = 5, suffix = 4;
    if (name.size() < prefix + 5 + suffix || name.rfind("frame", 0) != 0 ||
        name.compare(name.size() - suffix, suffix, ".png") != 0) {
        return false;
    }
    return std::all_of(name.begin() + prefix, name.end() - suffix,
                       [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

int captureFrames(const Options& options) {
    std::error_code error;
    fs::create_directories(options.framesDir, error);
    if (error) fail("cannot make the folder " + options.framesDir + ": " + error.message());
    std::vector<fs::path> old;
    for (const auto& entry : fs::directory_iterator(options.framesDir, error)) {
        if (isFrameName(entry.path().filename().string())) old.push_back(entry.path());
    }
    if (error) fail("cannot read the folder " + options.framesDir + ": " + error.message());
    if (!old.empty() && !options.force) {
        fail(options.framesDir + " already holds " + std::to_string(old.size()) +
             " frameNNNNN.png files; --force deletes them first");
    }
    for (const auto& path : old) {
        if (!fs::remove(path, error))
            fail("cannot delete " + path.string() + ": " + error.message());
    }
    std::unique_ptr<FrameFarm> farm = startFarm(options, true);
    const Matrix4 camera = cameraFromKeys("");
    const FrameRange range = frameRange(options);
    Progress progress("frames", range.end - range.first);
    auto pathOf = [&](long n) {
        char name[32];
        std::snprintf(name, sizeof(name), "frame%05ld.png", n - range.first);
        return (fs::path(options.framesDir) / name).string();
    };
    runFarm(*farm, range, options.fps, camera, progress, pathOf, nullptr);
    stopFarm(farm);
    progress.report(range.end - range.first, options.fps);
    return 0;
}
