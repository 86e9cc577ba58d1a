// Replays, through the fuzz targets and their checks, every input that ever stopped a fuzzer
// (regressions/<reader>/), the committed seed corpora (corpus/<reader>/), the generated data
// files and the PNG test suite. Under AddressSanitizer this is the guard that none of them
// touches memory the reader does not own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_targets.h"

namespace fs = std::filesystem;

void fuzzInvariantBroken(const char* reader, const char* what) {
    ADD_FAILURE() << reader << " reader broke a promise: " << what;
}

namespace {

using Bytes = std::vector<uint8_t>;
using Target = int (*)(const uint8_t*, size_t);

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The regular files of `dir` whose names end in one of `extensions` (any name when empty),
// sorted; none when the folder does not exist.
std::vector<fs::path> filesIn(const fs::path& dir, const std::vector<std::string>& extensions) {
    std::vector<fs::path> files;
    if (!fs::is_directory(dir)) return files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        if (name.rfind("README", 0) == 0) continue;
        const bool wanted =
            extensions.empty() ||
            std::any_of(extensions.begin(), extensions.end(), [&](const std::string& ext) {
                return name.size() >= ext.size() &&
                       name.compare(name.size() - ext.size(), ext.size(), ext) == 0;
            });
        if (wanted) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Runs every file through the target from an exact-size heap copy, so that a read one byte
// past the end is seen.
int replay(Target target, const std::vector<fs::path>& files) {
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const Bytes bytes = readBytes(file);
        auto copy = std::make_unique<uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), copy.get());
        target(copy.get(), bytes.size());
    }
    return int(files.size());
}

const fs::path kFuzzDir = DEMO_FUZZ_DIR;
const fs::path kDataDir = DEMO_TEST_DATA_DIR;
const fs::path kPngSuite = DEMO_PNGSUITE_DIR;

}  // namespace

TEST(FuzzRegressions, TrackFilesReplayCleanly) {
    replay(fuzzTrackFile, filesIn(kFuzzDir / "regressions" / "track", {}));
    EXPECT_GT(replay(fuzzTrackFile, filesIn(kFuzzDir / "corpus" / "track", {})), 0);
    replay(fuzzTrackFile, filesIn(kDataDir, {".track"}));
}

TEST(FuzzRegressions, MeshFilesReplayCleanly) {
    replay(fuzzMeshText, filesIn(kFuzzDir / "regressions" / "mesh", {}));
    EXPECT_GT(replay(fuzzMeshText, filesIn(kFuzzDir / "corpus" / "mesh", {})), 0);
    replay(fuzzMeshText, filesIn(kDataDir, {".fobj", ".obj"}));
}

TEST(FuzzRegressions, PngFilesReplayCleanly) {
    replay(fuzzPngBytes, filesIn(kFuzzDir / "regressions" / "png", {}));
    EXPECT_GT(replay(fuzzPngBytes, filesIn(kFuzzDir / "corpus" / "png", {})), 0);
    replay(fuzzPngBytes, filesIn(kDataDir, {".png"}));
    EXPECT_GT(replay(fuzzPngBytes, filesIn(kPngSuite, {".png"})), 0);
}
