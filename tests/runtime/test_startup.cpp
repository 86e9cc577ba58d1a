// The start-up policy around the readers: a file that cannot be read ends the program with
// its message and status 1, without waiting for a key when nobody is at a terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/startup.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        path = fs::temp_directory_path() / ("startup_" + std::to_string(getpid()));
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path / name, std::ios::binary) << bytes;
        return (path / name).string();
    }
};

TEST(StartupDeathTest, UnreadableFilesEndTheProgramWithTheirMessage) {
    TempDir dir;
    const std::string mesh = dir.write("over.fobj", "mesh\n# 0\n# 0\n# 0\n# 0\nv 1 2 3\n");
    const std::string picture = dir.write("bad.png", std::string("GIF89a\0\0\0\0", 10));
    // Standard input is no terminal here, so nothing waits for a key; stdout is routed to
    // stderr so the message can be matched.
    EXPECT_EXIT(
        {
            dup2(2, 1);
            loadMesh(mesh.c_str());
        },
        testing::ExitedWithCode(1), "over\\.fobj:6: more vertices than");
    EXPECT_EXIT(
        {
            std::freopen("/dev/null", "r", stdin);
            dup2(2, 1);
            loadTexture(picture.c_str(), "bad");
        },
        testing::ExitedWithCode(1), "error\\(3\\) decoding png from .*bad\\.png");
    EXPECT_EXIT(
        {
            std::freopen("/dev/null", "r", stdin);
            dup2(2, 1);
            loadTexture((dir.path / "none.png").string().c_str(), "none");
        },
        testing::ExitedWithCode(1), "error\\(1\\) decoding png from .*none\\.png");
}

TEST(Startup, MeshNotesArePrintedOneLineEach) {
    TempDir dir;
    const std::string path =
        dir.write("notes.fobj", "mesh\n# 1\n# 0\n# 0\n# 0\n# 1\nv 1 2 3\nxyz\n");
    testing::internal::CaptureStdout();
    Mesh* mesh = loadMesh(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "unknown data [xyz\n]\n");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->vertexCount, 1);
    freeMesh(mesh);
}

}  // namespace
