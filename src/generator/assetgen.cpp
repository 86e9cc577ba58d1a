#include "generator/assetgen.h"

#include <fcntl.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "generator/common.h"
#include "generator/font.h"
#include "generator/meshgen.h"
#include "generator/music.h"
#include "generator/pictures.h"
#include "generator/timeline.h"
#include "scenes/data_files.h"

namespace assetgen {

namespace {

// The mix must not clip after MP3 coding (which can overshoot the input by a fraction of a
// dB) and should sit at a comfortable level.
constexpr double kMaxPeakDb = -0.9;
constexpr double kMinRmsDb = -16.0, kMaxRmsDb = -12.0;

class Writer {
public:
    Writer(const std::string& dir, std::vector<std::string>& written)
        : dir_(dir), written_(written) {}
    template <typename Data>
    bool put(const std::string& name, const Data& data, std::string& message) {
        if (stopSignal) {
            message = "stopped by a signal";
            return false;
        }
        if (!writeFile(dir_ + "/" + name, data, message)) return false;
        written_.push_back(name);
        return true;
    }

private:
    std::string dir_;
    std::vector<std::string>& written_;
};

// Puts the finished folder `fresh` in the place of `target`, the old one (if any) left in
// `fresh`'s place. An atomic exchange where the system has one; otherwise two renames, the
// first undone if the second fails.
bool swapIn(const std::filesystem::path& fresh, const std::filesystem::path& target,
            std::string& message) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::exists(target, error)) {
        fs::rename(fresh, target, error);
        if (error)
            message =
                target.string() + ": cannot rename the new folder into place: " + error.message();
        return !error;
    }
#ifdef RENAME_EXCHANGE
    if (renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        return true;
    }
#endif
    const fs::path old = fresh.string() + "-old";
    fs::remove_all(old, error);
    fs::rename(target, old, error);
    if (!error) {
        fs::rename(fresh, target, error);
        if (!error) {
            fs::rename(old, fresh, error);
            return true;
        }
        std::error_code undo;
        fs::rename(old, target, undo);
    }
    message = target.string() + ": cannot replace the folder: " + error.message();
    return false;
}

// Every file into `outDir`, which already exists and is empty.
bool writeAll(const std::string& assetsDir, const std::string& outDir,
              std::vector<std::string>& written, std::string& message);

}  // namespace

volatile std::sig_atomic_t stopSignal = 0;

Loudness measureLoudness(const std::vector<float>& left, const std::vector<float>& right) {
    double peak = 0.0, sum = 0.0;
    for (size_t i = 0; i < left.size(); ++i) {
        peak =
            std::max(peak, static_cast<double>(std::max(std::fabs(left[i]), std::fabs(right[i]))));
        sum += static_cast<double>(left[i]) * left[i] + static_cast<double>(right[i]) * right[i];
    }
    const double count = 2.0 * std::max<size_t>(left.size(), 1);
    return {20.0 * std::log10(std::max(peak, 1e-12)),
            10.0 * std::log10(std::max(sum / count, 1e-24))};
}

bool generateData(const std::string& assetsDir, const std::string& outDir,
                  std::vector<std::string>& written, std::string& message) {
    namespace fs = std::filesystem;
    written.clear();
    fs::path target = fs::path(outDir).lexically_normal();
    if (target.filename().empty()) target = target.parent_path();  // "data/"
    std::error_code error;
    if (fs::exists(target, error) && !fs::is_directory(target, error)) {
        message = outDir + ": not a directory";
        return false;
    }
    const fs::path parent = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    fs::create_directories(parent, error);
    if (error) {
        message = parent.string() + ": cannot create the directory: " + error.message();
        return false;
    }
    // The new folder is made beside the old one under a fixed name (so that one left by a
    // killed run is cleared by the next) and swapped in whole.
    // Appended, not `"." + name`: GCC 12 at -O3 warns falsely (-Wrestrict) about that insert.
    const fs::path fresh =
        parent / (std::string(".").append(target.filename().string()) + ".assetgen-new");
    fs::remove_all(fresh, error);
    fs::remove_all(fresh.string() + "-old", error);
    if (!fs::create_directory(fresh, error)) {
        message = fresh.string() + ": cannot create the directory: " + error.message();
        return false;
    }
    const bool done =
        writeAll(assetsDir, fresh.string(), written, message) && swapIn(fresh, target, message);
    fs::remove_all(fresh, error);
    if (!done) written.clear();
    return done;
}

namespace {

bool writeAll(const std::string& assetsDir, const std::string& outDir,
              std::vector<std::string>& written, std::string& message) {
    Writer out(outDir, written);

    const std::string timelinePath = assetsDir + "/timeline.txt";
    std::string text;
    Timeline timeline;
    if (!readTextFile(timelinePath, text, message) ||
        !parseTimeline(text, timelinePath, timeline, message)) {
        return false;
    }
    for (const auto& track : timeline.tracks) {
        if (!out.put(trackFileName(track.name), encodeTrack(track), message)) return false;
    }

    const std::string textsPath = assetsDir + "/texts.txt";
    Texts texts;
    if (!readTextFile(textsPath, text, message) || !parseTexts(text, textsPath, texts, message)) {
        return false;
    }
    Font font;
    if (!font.open(ASSETGEN_FONT, message)) return false;
    std::vector<Picture> pictures;
    if (!makePictures(font, texts, pictures, message)) return false;
    for (const auto& picture : pictures) {
        Bytes png;
        if (!encodePng(picture.image, picture.withAlpha, png, message)) {
            message = picture.file + ": " + message;
            return false;
        }
        if (!out.put(picture.file, png, message)) return false;
    }

    std::vector<MeshText> lettering;
    if (!makeLetteringMeshes(font, texts, lettering, message)) {
        message = textsPath + ": " + message;
        return false;
    }
    for (const DataFile& file : kDataFiles) {
        if (file.role < DataRole::kLitMesh) continue;
        std::string mesh;
        switch (file.slot) {
            case kWallMesh:
                mesh = makeBlockWall();
                break;
            case kCityMesh:
                mesh = makeCity();
                break;
            case kCubeMesh:
                mesh = makeCube();
                break;
            case kSpikeMesh:
                mesh = makeSpike();
                break;
            default:
                for (const MeshText& made : lettering) {
                    if (made.file == &file) mesh = made.text;
                }
                break;
        }
        if (mesh.empty()) {
            message = std::string(file.name) + ": the generator makes no such mesh";
            return false;
        }
        if (!out.put(file.name, mesh, message)) return false;
    }

    Song song;
    if (!renderSong(timeline, kAllStems, song, message)) return false;
    const Loudness loudness = measureLoudness(song.left, song.right);
    if (loudness.peakDb > kMaxPeakDb || loudness.rmsDb < kMinRmsDb || loudness.rmsDb > kMaxRmsDb) {
        std::ostringstream reason;
        reason << kMusicFile << ": the mix has peak " << loudness.peakDb << " dBFS and RMS "
               << loudness.rmsDb << " dBFS, outside the limits";
        message = reason.str();
        return false;
    }
    Bytes mp3;
    if (!encodeMp3(song, mp3, message)) {
        message = kMusicFile + (": " + message);
        return false;
    }
    return out.put(kMusicFile, mp3, message);
}

}  // namespace

}  // namespace assetgen
