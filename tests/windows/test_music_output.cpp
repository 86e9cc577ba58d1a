// The Windows music player on the generated music: wave-out where Wine has a device, the
// silent clock where it has none; either way the position is bytes of what was heard.
#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>
#include <string>

#include "audio/music_player.h"

namespace {

std::string dataFile(const char* name) {
    return std::string(DEMO_TEST_DATA_DIR) + "/" + name;
}

}  // namespace

TEST(WindowsMusic, PlaysFromZeroAndAdvancesWithTime) {
    std::unique_ptr<MusicPlayer> player(createMusicPlayer());
    ASSERT_TRUE(player->init(44100));
    ASSERT_TRUE(player->openStream(dataFile("demo110.mp3").c_str())) << player->errorCode();
    EXPECT_EQ(player->position(), 0u);  // before play
    // 44100 frames of 4 bytes: one second is 176400 bytes.
    EXPECT_EQ(player->bytesToSeconds(176400), 1.0);

    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    player->play();
    // A device (or the clock) that runs at all moves past 0.2 s: waited for, up to a minute,
    // as the machine lets it run.
    uint64_t last = 0;
    bool steady = true;
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (player->bytesToSeconds(last) <= 0.2 && GetTickCount64() < deadline) {
        Sleep(20);
        player->update();
        const uint64_t position = player->position();
        steady = steady && position % 4 == 0 && position >= last;
        last = position;
    }
    QueryPerformanceCounter(&now);
    const double seconds = static_cast<double>(now.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
    EXPECT_TRUE(steady) << "the position went back or left whole frames";
    EXPECT_GT(player->bytesToSeconds(last), 0.2);
    // What was heard cannot be ahead of the time played (read after the position).
    EXPECT_LE(player->bytesToSeconds(last), seconds + 0.05);
    player->close();
    player->close();  // twice is fine
}

TEST(WindowsMusic, MissingFileIsReported) {
    std::unique_ptr<MusicPlayer> player(createMusicPlayer());
    EXPECT_FALSE(player->openStream(dataFile("demo110.mp3").c_str()));
    EXPECT_EQ(player->errorCode(), kMusicNotInit);
    ASSERT_TRUE(player->init(44100));
    EXPECT_FALSE(player->openStream(dataFile("no such music.mp3").c_str()));
    EXPECT_EQ(player->errorCode(), kMusicFileOpen);
    player->play();  // nothing to play: stays at zero
    EXPECT_EQ(player->position(), 0u);
}
