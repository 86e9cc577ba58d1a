// The generator as the build runs it: same bytes every run, clear failures on bad sources.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "generator/assetgen.h"
#include "generator/common.h"

namespace {

namespace fs = std::filesystem;

// Per process: other test runs on the machine use the same temporary directory at once.
fs::path scratch(const std::string& name) {
    return fs::path(testing::TempDir()) / (name + "_" + std::to_string(getpid()));
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Generator, SameBytesOnEveryRun) {
    const fs::path root = scratch("assetgen_runs");
    fs::remove_all(root);
    const fs::path first = root / "first", second = root / "second";
    // A run over an existing folder replaces it whole: the stale file goes.
    fs::create_directories(second);
    std::string message;
    ASSERT_TRUE(assetgen::writeFile((second / "stale.txt").string(), std::string("x"), message));
    for (const auto& dir : {first, second}) {
        const std::string command = std::string("\"") + ASSETGEN_PATH + "\" \"" + DEMO_ASSETS_DIR +
                                    "\" \"" + dir.string() + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    int files = 0;
    for (const auto& entry : fs::directory_iterator(first)) {
        const auto name = entry.path().filename();
        ++files;
        const std::string a = slurp(entry.path());
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == slurp(second / name)) << name << " differs between runs";
        // The build's own data directory came from the same sources.
        EXPECT_TRUE(a == slurp(fs::path(DEMO_TEST_DATA_DIR) / name))
            << name << " differs from the build's";
    }
    // 18 tracks, 12 pictures, 6 meshes and the music.
    EXPECT_EQ(files, 37);
    EXPECT_EQ(std::distance(fs::directory_iterator(second), fs::directory_iterator()), 37);
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 2);
    fs::remove_all(root);
}

TEST(Generator, BrokenSourcesFailWithTheFileNamed) {
    const fs::path dir = scratch("assetgen_broken");
    fs::remove_all(dir);
    fs::create_directories(dir / "assets");
    fs::copy_file(fs::path(DEMO_ASSETS_DIR) / "texts.txt", dir / "assets" / "texts.txt");
    std::string timeline = slurp(fs::path(DEMO_ASSETS_DIR) / "timeline.txt");
    std::string message;
    std::vector<std::string> written;
    // A failed run leaves the previous data folder as it was and nothing beside it.
    fs::create_directories(dir / "out");
    ASSERT_TRUE(
        assetgen::writeFile((dir / "out" / "old.txt").string(), std::string("old"), message));
    const auto untouched = [&] {
        EXPECT_EQ(slurp(dir / "out" / "old.txt"), "old");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
    };

    // A missing timeline.
    EXPECT_FALSE(assetgen::generateData((dir / "assets").string(), (dir / "out").string(), written,
                                        message));
    EXPECT_NE(message.find("timeline.txt"), std::string::npos) << message;
    untouched();

    // A value the ring builder cannot take, on the line it stands.
    const size_t at = timeline.find("track ringdiv");
    ASSERT_NE(at, std::string::npos);
    const size_t firstKey = timeline.find('\n', at) + 1;
    const std::string broken = timeline.substr(0, firstKey) + "1:1 200\n" +
                               timeline.substr(timeline.find('\n', firstKey) + 1);
    ASSERT_TRUE(assetgen::writeFile((dir / "assets" / "timeline.txt").string(), broken, message));
    EXPECT_FALSE(assetgen::generateData((dir / "assets").string(), (dir / "out").string(), written,
                                        message));
    EXPECT_NE(message.find("ringdiv"), std::string::npos) << message;
    EXPECT_NE(message.find("200"), std::string::npos) << message;
    untouched();

    // Texts without a greeting.
    ASSERT_TRUE(assetgen::writeFile((dir / "assets" / "timeline.txt").string(), timeline, message));
    ASSERT_TRUE(assetgen::writeFile((dir / "assets" / "texts.txt").string(),
                                    std::string("title = x\nsubtitle = y\n"), message));
    EXPECT_FALSE(assetgen::generateData((dir / "assets").string(), (dir / "out").string(), written,
                                        message));
    EXPECT_NE(message.find("greet1"), std::string::npos) << message;
    untouched();
    fs::remove_all(dir);
}

TEST(Generator, LoudnessMeasure) {
    // A full-scale square wave: peak 0 dBFS and RMS 0 dBFS; halved: both -6.02 dBFS.
    std::vector<float> square(1000), half(1000);
    for (int i = 0; i < 1000; ++i) square[i] = i % 2 ? 1.0f : -1.0f, half[i] = square[i] * 0.5f;
    auto loud = assetgen::measureLoudness(square, square);
    EXPECT_NEAR(loud.peakDb, 0.0, 1e-9);
    EXPECT_NEAR(loud.rmsDb, 0.0, 1e-9);
    loud = assetgen::measureLoudness(half, half);
    EXPECT_NEAR(loud.peakDb, -6.0206, 1e-3);
    EXPECT_NEAR(loud.rmsDb, -6.0206, 1e-3);
    // A full-scale sine has RMS 1/sqrt(2): -3.01 dBFS.
    std::vector<float> sine(44100);
    for (int i = 0; i < 44100; ++i)
        sine[i] = float(std::sin(2.0 * 3.14159265358979323846 * 441.0 * i / 44100.0));
    EXPECT_NEAR(assetgen::measureLoudness(sine, sine).rmsDb, -3.0103, 1e-3);
}

}  // namespace
