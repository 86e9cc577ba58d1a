// The transport of the edit mode on the shared PCM player: seek, pause, resume and a stream
// replaced while it plays, on a scripted device and on the silent clock.
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

#include "audio/music_player.h"
#include "audio/pcm_music_player.h"

namespace {

struct DeviceLog {
    int starts = 0, stops = 0;
    const int16_t* startedAt = nullptr;
    uint64_t startedBytes = 0;
    bool running = false;
    uint64_t heard = 0;  // what the device reports while running
};

class ScriptedOutput final : public AudioOutput {
public:
    explicit ScriptedOutput(DeviceLog& log) : log_(log) {}
    bool open(int) override { return true; }
    void start(const int16_t* pcm, uint64_t bytes) override {
        ++log_.starts;
        log_.startedAt = pcm;
        log_.startedBytes = bytes;
        log_.running = true;
        log_.heard = 0;
    }
    void stop() override {
        ++log_.stops;
        log_.running = false;
    }
    bool heardBytes(uint64_t& bytes) override {
        bytes = log_.heard;
        return true;
    }
    void close() override {}

private:
    DeviceLog& log_;
};

// `seconds` of stereo PCM whose every sample is its frame index (mod 2^15).
std::vector<int16_t> ramp(double seconds) {
    std::vector<int16_t> pcm(static_cast<size_t>(seconds * 44100) * 2);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>((i / 2) & 0x7fff);
    return pcm;
}

struct Rig {
    DeviceLog log;
    std::unique_ptr<PcmMusicPlayer> player;
    Rig() {
        player = std::make_unique<PcmMusicPlayer>(std::make_unique<ScriptedOutput>(log));
        EXPECT_TRUE(player->init(44100));
        EXPECT_TRUE(player->replaceStream(ramp(4.0)));
        player->play();
    }
};

TEST(MusicSeek, DeviceRestartsAtTheSeekAndCountsFromThere) {
    Rig rig;
    rig.log.heard = 100000;
    EXPECT_EQ(rig.player->position(), 100000u);
    // Backwards, to an odd byte: rounded down to the sample frame.
    rig.player->seek(40003);
    EXPECT_EQ(rig.player->position(), 40000u);
    EXPECT_EQ(rig.log.starts, 2);
    EXPECT_EQ(rig.log.startedBytes, rig.player->length() - 40000);
    EXPECT_EQ(rig.log.startedAt[0], 10000);  // frame 10000 is the first the device plays
    rig.log.heard = 8;
    EXPECT_EQ(rig.player->position(), 40008u);
    // Past the end: the end.
    rig.player->seek(1u << 30);
    EXPECT_EQ(rig.player->position(), rig.player->length());
}

TEST(MusicSeek, PauseHoldsThePlaceAndResumePlaysOnFromIt) {
    Rig rig;
    rig.log.heard = 4000;
    rig.player->pause();
    EXPECT_TRUE(rig.player->paused());
    EXPECT_FALSE(rig.log.running);
    rig.log.heard = 9000;  // whatever the device says, nothing moves while paused
    EXPECT_EQ(rig.player->position(), 4000u);
    rig.player->seek(88200);
    EXPECT_EQ(rig.player->position(), 88200u);
    EXPECT_FALSE(rig.log.running);
    rig.player->resume();
    EXPECT_FALSE(rig.player->paused());
    EXPECT_TRUE(rig.log.running);
    EXPECT_EQ(rig.log.startedAt[0], 88200 / 4);
    EXPECT_EQ(rig.player->position(), 88200u);
}

TEST(MusicSeek, ReplacedStreamPlaysOnFromTheSamePlace) {
    Rig rig;
    rig.log.heard = 176400;
    std::vector<int16_t> other = ramp(2.0);
    for (int16_t& sample : other) sample = static_cast<int16_t>(-sample);
    ASSERT_TRUE(rig.player->replaceStream(std::move(other)));
    EXPECT_EQ(rig.player->length(), 2u * 176400u);
    EXPECT_EQ(rig.player->position(), 176400u);
    EXPECT_EQ(rig.log.startedAt[0], -(44100 & 0x7fff));
    EXPECT_EQ(rig.log.startedBytes, 176400u);
    // A shorter stream than the place: its end.
    rig.log.heard = 0;
    ASSERT_TRUE(rig.player->replaceStream(ramp(0.5)));
    EXPECT_EQ(rig.player->position(), 88200u);
    EXPECT_FALSE(rig.player->replaceStream({}));
}

TEST(MusicSeek, SilentClockSeeksAndPauses) {
    double now = 50.0;  // seconds of a clock moved by hand
    std::unique_ptr<MusicPlayer> player(new PcmMusicPlayer(nullptr, [&now] { return now; }));
    ASSERT_TRUE(player->init(44100));
    ASSERT_TRUE(player->canSeek());
    ASSERT_TRUE(player->replaceStream(ramp(60.0)));
    player->play();
    now += 1.0;
    player->pause();
    EXPECT_EQ(player->position(), 176400u);
    now += 1.0;  // paused: the clock runs, the position does not
    player->seek(176400 * 30);
    EXPECT_EQ(player->position(), 176400u * 30);
    now += 1.0;
    EXPECT_EQ(player->position(), 176400u * 30);
    player->resume();
    EXPECT_EQ(player->position(), 176400u * 30);
    now += 0.5;
    EXPECT_EQ(player->position(), 176400u * 30 + 88200u);
    player->seek(4);
    EXPECT_EQ(player->position(), 4u);
    now += 0.25;
    EXPECT_EQ(player->position(), 4u + 44100u);
}

}  // namespace
