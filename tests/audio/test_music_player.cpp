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

// A clock the test moves by hand, for the silent clock. Quarter seconds are 44100 bytes.
struct ManualClock {
    double now = 1000.0;
    SecondsClock source() {
        return [this] { return now; };
    }
};

// Polls `done` until it holds or `seconds` of real time have passed: a device's thread runs
// when the machine lets it, so its progress is waited for, never assumed after a fixed sleep.
template <typename Done>
bool waitFor(Done done, double seconds) {
    const Clock::time_point start = Clock::now();
    while (!done()) {
        if (secondsSince(start) > seconds) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
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
    ManualClock clock;
    std::unique_ptr<MusicPlayer> player(new PcmMusicPlayer(nullptr, clock.source()));
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
    clock.now += 0.25;
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

TEST(MusicPlayer, SilentClockCountsFromPlay) {
    ScratchDir dir;
    ManualClock clock;
    PcmMusicPlayer player(nullptr, clock.source());
    ASSERT_TRUE(player.init(44100));
    ASSERT_TRUE(player.openStream(writeOneSecond(dir).c_str()));
    clock.now += 0.5;
    EXPECT_EQ(player.position(), 0u);  // not before play

    player.play();
    clock.now += 0.25;
    EXPECT_EQ(player.position(), 44100u);
    player.play();  // already playing: no restart
    clock.now += 0.25;
    EXPECT_EQ(player.position(), 88200u);
    // Whole sample frames only: 0.1 s more is 4410 frames.
    clock.now += 0.1;
    EXPECT_EQ(player.position() % 4, 0u);
    EXPECT_NEAR(double(player.position()), 88200.0 + 17640.0, 4.0);
    // A clock that steps back never takes the position back.
    const uint64_t reached = player.position();
    clock.now -= 0.3;
    EXPECT_EQ(player.position(), reached);

    // The clock stops at the end of the stream: 44100 frames.
    clock.now += 5.0;
    EXPECT_EQ(player.position(), 176400u);
    EXPECT_EQ(player.position(), 176400u);
}

TEST(MusicPlayer, CloseIsSafeAndFinal) {
    ScratchDir dir;
    ManualClock clock;
    std::unique_ptr<MusicPlayer> player(new PcmMusicPlayer(nullptr, clock.source()));
    player->close();  // before init
    ASSERT_TRUE(player->init(44100));
    ASSERT_TRUE(player->openStream(writeOneSecond(dir).c_str()));
    player->play();
    clock.now += 0.25;
    EXPECT_EQ(player->position(), 44100u);
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
    ManualClock clock;
    PcmMusicPlayer player(std::make_unique<FakeOutput>(log, true), clock.source());
    ASSERT_TRUE(player.init(44100));
    ASSERT_TRUE(player.openStream(file.c_str()));
    player.play();
    log.reports = {40000};
    EXPECT_EQ(player.position(), 40000u);
    // The device stops answering: the position carries on from 40000 with the clock.
    EXPECT_EQ(player.position(), 40000u);
    EXPECT_FALSE(player.usingDevice());
    EXPECT_EQ(log.stops, 1);
    clock.now += 0.25;
    EXPECT_EQ(player.position(), 40000u + 44100u);
    player.update();
    EXPECT_EQ(log.updates, 0);

    // A device that cannot be opened: silent from the start, never started.
    FakeOutputLog noDevice;
    PcmMusicPlayer silent(std::make_unique<FakeOutput>(noDevice, false), clock.source());
    ASSERT_TRUE(silent.init(44100));
    EXPECT_FALSE(silent.usingDevice());
    ASSERT_TRUE(silent.openStream(file.c_str()));
    silent.play();
    clock.now += 0.25;
    EXPECT_EQ(silent.position(), 44100u);
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
// without sound, on a thread of its own: how soon it moves depends on the machine, so its
// progress is waited for; what is checked at every step holds however late it runs.
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
    EXPECT_EQ(player->position(), 0u);

    const Clock::time_point beforePlay = Clock::now();
    player->play();
    uint64_t previous = 0;
    double worstLead = -1e9, worstLag = -1e9;
    bool steady = true, ahead = false;
    // Every reading until the end of the stream: never backwards, whole frames, and never
    // ahead of real time by more than one 4096-byte buffer (plus 2 % for the dummy driver's
    // whole-millisecond pacing). The time is read after the position, so a reading that is
    // held up only makes the time larger.
    const bool ended = waitFor(
        [&] {
            player->update();
            const uint64_t now = player->position();
            const double elapsed = secondsSince(beforePlay);
            const double lead = static_cast<double>(now) - elapsed * kBytesPerSecond;
            steady = steady && now >= previous && now % 4 == 0;
            ahead = ahead || lead > 4096.0 + 0.02 * elapsed * kBytesPerSecond;
            worstLead = std::max(worstLead, lead);
            worstLag = std::max(worstLag, elapsed * kBytesPerSecond - static_cast<double>(now));
            previous = now;
            return now == 176400u;
        },
        60.0);
    EXPECT_TRUE(ended) << "the position stopped at " << previous;
    EXPECT_TRUE(steady);
    EXPECT_FALSE(ahead) << "up to " << worstLead << " bytes ahead";
    std::printf(
        "dummy device: the second of music ended after %.3f s; most ahead %.2f ms, "
        "most behind %.2f ms\n",
        secondsSince(beforePlay), worstLead / kBytesPerSecond * 1e3,
        worstLag / kBytesPerSecond * 1e3);

    // The end caps it, and close twice is safe with a device too.
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
    EXPECT_TRUE(waitFor([&] { return player->position() >= 8820u; }, 60.0));  // 0.05 s
    player->close();
}

}  // namespace
