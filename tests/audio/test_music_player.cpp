#include "audio/music_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <thread>

#include "audio/pcm_music_player.h"
#include "mp3_files.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr double kBytesPerSecond = 44100.0 * 4.0;  // 176400

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// An output whose reports the test scripts; it records what the player asked of it.
struct FakeOutputLog {
    bool opened = false, closed = false;
    int starts = 0, stops = 0, updates = 0;
    uint64_t startedBytes = 0;
    std::deque<uint64_t> reports;  // heardBytes answers in order; empty = device lost
};

class FakeOutput final : public AudioOutput {
public:
    FakeOutput(FakeOutputLog& log, bool openable) : log_(log), openable_(openable) {}
    bool open(int) override { return log_.opened = openable_; }
    void start(const int16_t*, uint64_t bytes) override {
        ++log_.starts;
        log_.startedBytes = bytes;
    }
    void stop() override { ++log_.stops; }
    bool heardBytes(uint64_t& bytes) override {
        if (log_.reports.empty()) return false;
        bytes = log_.reports.front();
        log_.reports.pop_front();
        return true;
    }
    void update() override { ++log_.updates; }
    void close() override { log_.closed = true; }

private:
    FakeOutputLog& log_;
    bool openable_;
};

// One second of 441 Hz stereo: 44100 frames, 176400 bytes once decoded.
std::string writeOneSecond(const ScratchDir& dir) {
    return dir.write("one.mp3", encodeMp3(makeSine(1.0, 441.0, 8000, 2, 44100), 128));
}

TEST(MusicPlayer, ReportsStreamFailures) {
    ScratchDir dir;
    std::unique_ptr<MusicPlayer> player(createSilentMusicPlayer());
    EXPECT_FALSE(player->openStream(writeOneSecond(dir).c_str()));
    EXPECT_EQ(player->errorCode(), kMusicNotInit);
    EXPECT_FALSE(player->init(0));

    ASSERT_TRUE(player->init(44100));
    EXPECT_FALSE(player->openStream(dir.path("missing.mp3").c_str()));
    EXPECT_EQ(player->errorCode(), kMusicFileOpen);
    EXPECT_FALSE(player->openStream(dir.write("empty.mp3", std::string()).c_str()));
    EXPECT_EQ(player->errorCode(), kMusicFormat);
    EXPECT_FALSE(player->openStream(dir.write("junk.mp3", std::string(5000, 'x')).c_str()));
    EXPECT_EQ(player->errorCode(), kMusicFormat);
    // Without a stream there is nothing to play and the position stays at 0.
    player->play();
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(player->position(), 0u);

    EXPECT_TRUE(player->openStream(writeOneSecond(dir).c_str()));
    EXPECT_EQ(player->errorCode(), kMusicOk);
}

TEST(MusicPlayer, ConvertsBytesToSecondsAtTheInitRate) {
    std::unique_ptr<MusicPlayer> player(createSilentMusicPlayer());
    ASSERT_TRUE(player->init(44100));
    EXPECT_EQ(player->bytesToSeconds(0), 0.0);
    EXPECT_EQ(player->bytesToSeconds(4), 1.0 / 44100.0);
    EXPECT_EQ(player->bytesToSeconds(176400), 1.0);
    // Row 1480 is 1480 / (44 / 3) = 100.909... s, 17,800,363.6 bytes.
    EXPECT_EQ(player->bytesToSeconds(176400ull * 101), 101.0);
    EXPECT_NEAR(player->bytesToSeconds(17800364) * 44.0 / 3.0, 1480.0, 1e-4);
    player->close();
    ASSERT_TRUE(player->init(48000));
    EXPECT_EQ(player->bytesToSeconds(192000), 1.0);
}

TEST(MusicPlayer, SilentClockFollowsRealTimeFromPlay) {
    ScratchDir dir;
    std::unique_ptr<MusicPlayer> player(createSilentMusicPlayer());
    ASSERT_TRUE(player->init(44100));
    ASSERT_TRUE(player->openStream(writeOneSecond(dir).c_str()));
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(player->position(), 0u);

    const Clock::time_point beforePlay = Clock::now();
    player->play();
    std::this_thread::sleep_for(milliseconds(100));
    uint64_t previous = player->position();
    // At least the 0.1 s slept (17640 bytes), at most the time since before play.
    EXPECT_GE(previous, 17640u);
    EXPECT_LE(previous, secondsSince(beforePlay) * kBytesPerSecond + 4);
    player->play();  // already playing: no restart
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(milliseconds(5));
        player->update();
        const uint64_t now = player->position();
        EXPECT_GE(now, previous);
        EXPECT_EQ(now % 4, 0u);
        previous = now;
    }
    EXPECT_GE(previous, 17640u + 20 * 882u);  // another 20 * 5 ms

    // The clock stops at the end of the stream: 44100 frames.
    std::this_thread::sleep_for(milliseconds(1000));
    EXPECT_EQ(player->position(), 176400u);
    EXPECT_EQ(player->position(), 176400u);
}

TEST(MusicPlayer, CloseIsSafeAndFinal) {
    ScratchDir dir;
    std::unique_ptr<MusicPlayer> player(createSilentMusicPlayer());
    player->close();  // before init
    ASSERT_TRUE(player->init(44100));
    ASSERT_TRUE(player->openStream(writeOneSecond(dir).c_str()));
    player->play();
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_GT(player->position(), 0u);
    player->close();
    player->close();
    EXPECT_EQ(player->position(), 0u);
    player->update();
    EXPECT_FALSE(player->openStream(writeOneSecond(dir).c_str()));
    EXPECT_EQ(player->errorCode(), kMusicNotInit);
    // It can be brought up again, and dropped without close.
    ASSERT_TRUE(player->init(44100));
    ASSERT_TRUE(player->openStream(writeOneSecond(dir).c_str()));
    player->play();
}

TEST(MusicPlayer, PositionIsTheDevicesReportKeptInBounds) {
    ScratchDir dir;
    const std::string file = writeOneSecond(dir);
    FakeOutputLog log;
    {
        PcmMusicPlayer player(std::make_unique<FakeOutput>(log, true));
        ASSERT_TRUE(player.init(44100));
        EXPECT_TRUE(log.opened);
        EXPECT_TRUE(player.usingDevice());
        ASSERT_TRUE(player.openStream(file.c_str()));
        EXPECT_EQ(player.position(), 0u);  // asks nothing of the device before play
        player.play();
        EXPECT_EQ(log.starts, 1);
        EXPECT_EQ(log.startedBytes, 176400u);

        // Whole frames only; a report that goes back is held; the end of the stream caps it.
        log.reports = {0, 4096, 6002, 6000, 100000, 176404, 999999};
        EXPECT_EQ(player.position(), 0u);
        EXPECT_EQ(player.position(), 4096u);
        EXPECT_EQ(player.position(), 6000u);
        EXPECT_EQ(player.position(), 6000u);
        EXPECT_EQ(player.position(), 100000u);
        EXPECT_EQ(player.position(), 176400u);
        EXPECT_EQ(player.position(), 176400u);
        player.update();
        EXPECT_EQ(log.updates, 1);
    }
    EXPECT_EQ(log.stops, 1);
    EXPECT_TRUE(log.closed);
}

TEST(MusicPlayer, LostDeviceContinuesOnTheSilentClock) {
    ScratchDir dir;
    const std::string file = writeOneSecond(dir);
    FakeOutputLog log;
    PcmMusicPlayer player(std::make_unique<FakeOutput>(log, true));
    ASSERT_TRUE(player.init(44100));
    ASSERT_TRUE(player.openStream(file.c_str()));
    player.play();
    log.reports = {40000};
    EXPECT_EQ(player.position(), 40000u);
    // The device stops answering: the position carries on from 40000 with real time.
    const uint64_t atLoss = player.position();
    EXPECT_GE(atLoss, 40000u);
    EXPECT_FALSE(player.usingDevice());
    EXPECT_EQ(log.stops, 1);
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_GE(player.position(), 40000u + 8820u);  // 0.05 s
    player.update();
    EXPECT_EQ(log.updates, 0);

    // A device that cannot be opened: silent from the start, never started.
    FakeOutputLog noDevice;
    PcmMusicPlayer silent(std::make_unique<FakeOutput>(noDevice, false));
    ASSERT_TRUE(silent.init(44100));
    EXPECT_FALSE(silent.usingDevice());
    ASSERT_TRUE(silent.openStream(file.c_str()));
    silent.play();
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_GE(silent.position(), 3528u);  // 0.02 s
    EXPECT_EQ(noDevice.starts, 0);
    silent.close();
    EXPECT_FALSE(noDevice.closed);  // never opened
}

TEST(HeardBytes, RunsAtMostOneBufferBehindWhatWasHanded) {
    // Two 4096-byte buffers handed, the second just now: the first has been heard.
    EXPECT_EQ(estimateHeardBytes(8192, 4096, 0.0, kBytesPerSecond), 4096u);
    // 10 ms later: 1764 bytes more.
    EXPECT_EQ(estimateHeardBytes(8192, 4096, 0.01, kBytesPerSecond), 4096u + 1764u);
    // Never past what was handed, however long the next buffer takes.
    EXPECT_EQ(estimateHeardBytes(8192, 4096, 1.0, kBytesPerSecond), 8192u);
    // Nothing handed yet, or less than a buffer.
    EXPECT_EQ(estimateHeardBytes(0, 4096, 5.0, kBytesPerSecond), 0u);
    EXPECT_EQ(estimateHeardBytes(2048, 4096, 0.0, kBytesPerSecond), 0u);
    EXPECT_EQ(estimateHeardBytes(2048, 4096, 0.005, kBytesPerSecond), 882u);
    // A clock that went backwards or is not a number counts as no time.
    EXPECT_EQ(estimateHeardBytes(8192, 4096, -0.5, kBytesPerSecond), 4096u);
    EXPECT_EQ(estimateHeardBytes(8192, 4096, std::nan(""), kBytesPerSecond), 4096u);

    // Property: within [handed - buffer, handed] and not decreasing with time.
    for (uint64_t handed : {0ull, 1ull, 4095ull, 4096ull, 123456ull, 17800000ull}) {
        uint64_t last = 0;
        for (double t = 0.0; t < 0.05; t += 0.001) {
            const uint64_t heard = estimateHeardBytes(handed, 4096, t, kBytesPerSecond);
            EXPECT_LE(heard, handed);
            EXPECT_GE(heard + 4096, handed);
            EXPECT_GE(heard, last);
            last = heard;
        }
    }
}

// The SDL output with its dummy driver, which consumes one buffer per buffer duration
// without sound.
TEST(SdlMusicPlayer, DummyDevicePositionTracksRealTime) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ScratchDir dir;
    const std::string file = writeOneSecond(dir);
    std::unique_ptr<MusicPlayer> player(createMusicPlayer());
    ASSERT_TRUE(player->init(44100));
    auto* pcmPlayer = dynamic_cast<PcmMusicPlayer*>(player.get());
    ASSERT_NE(pcmPlayer, nullptr);
    if (!pcmPlayer->usingDevice()) GTEST_SKIP() << "SDL has no dummy audio driver";
    ASSERT_TRUE(player->openStream(file.c_str()));
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(player->position(), 0u);

    const Clock::time_point beforePlay = Clock::now();
    player->play();
    uint64_t previous = 0;
    double worstLead = -1e9, worstLag = -1e9;
    for (int i = 0; i < 60; ++i) {
        std::this_thread::sleep_for(milliseconds(5));
        player->update();
        const double elapsed = secondsSince(beforePlay);
        const uint64_t now = player->position();
        EXPECT_GE(now, previous);
        EXPECT_EQ(now % 4, 0u);
        worstLead = std::max(worstLead, static_cast<double>(now) - elapsed * kBytesPerSecond);
        worstLag = std::max(worstLag, elapsed * kBytesPerSecond - static_cast<double>(now));
        previous = now;
    }
    const double elapsed = secondsSince(beforePlay);
    // Never ahead of real time by more than one 4096-byte buffer (plus 2 % for the dummy
    // driver's whole-millisecond pacing); and it has moved: at least half the time slept.
    EXPECT_LE(worstLead, 4096.0 + 0.02 * elapsed * kBytesPerSecond);
    EXPECT_GE(static_cast<double>(previous), 0.5 * 0.3 * kBytesPerSecond);
    std::printf(
        "dummy device: after %.3f s the position is %.4f s; most ahead %.2f ms, "
        "most behind %.2f ms\n",
        elapsed, player->bytesToSeconds(previous), worstLead / kBytesPerSecond * 1e3,
        worstLag / kBytesPerSecond * 1e3);

    // The end caps it, and close twice is safe with a device too.
    std::this_thread::sleep_for(milliseconds(900));
    EXPECT_EQ(player->position(), 176400u);
    player->close();
    player->close();
    EXPECT_EQ(player->position(), 0u);
}

TEST(SdlMusicPlayer, FallsBackToTheSilentClockWithoutADevice) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ScratchDir dir;
    std::unique_ptr<MusicPlayer> player(createMusicPlayer());
    ASSERT_TRUE(player->init(44100));
    EXPECT_FALSE(dynamic_cast<PcmMusicPlayer&>(*player).usingDevice());
    ASSERT_TRUE(player->openStream(writeOneSecond(dir).c_str()));
    player->play();
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_GE(player->position(), 8820u);  // 0.05 s
    player->close();
}

}  // namespace
