#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "runtime/clock.h"
#include "runtime/frame.h"

namespace {

// A timer that reads whatever the test sets.
class FakeTimer : public PixelDisplay::TimerInterface {
public:
    double now = 0.0;
    void restart() override { now = 0.0; }
    double elapsed() override { return now; }
    double lap() override { return 0.0; }
    double tickLength() const override { return 1e-9; }
    void sleepSeconds(double) override {}
};

TEST(Clock, RowFollowsTheAudioAndBridgesStalledPositions) {
    FakeTimer timer;
    DemoClock clock;
    timer.now = 5.0;
    startClock(clock, &timer);
    EXPECT_EQ(clock.startTime, 5.0);

    // First frame: audio still at 0, equal to the initial lastAudioRow: bridged by the frame time.
    timer.now = 5.016;
    EXPECT_NEAR(advanceClock(clock, &timer, 0.0), 14.666666666666666 * 0.016, 1e-12);
    EXPECT_NEAR(clock.frameDelta, 0.016, 1e-12);
    EXPECT_NEAR(sceneTime(clock), 0.016, 1e-12);

    // 3.0 s twice in a row, 0.02 s apart: 44.0, then 44.0 + 14.666... * 0.02.
    timer.now = 5.5;
    EXPECT_DOUBLE_EQ(advanceClock(clock, &timer, 3.0), 44.0);
    timer.now = 5.52;
    EXPECT_NEAR(advanceClock(clock, &timer, 3.0), 44.0 + 44.0 / 3.0 * 0.02, 1e-9);
    EXPECT_DOUBLE_EQ(clock.lastAudioRow, 44.0);
    // The bridge is not cumulative: a third stalled frame is again one frame ahead only.
    timer.now = 5.54;
    EXPECT_NEAR(advanceClock(clock, &timer, 3.0), 44.0 + 44.0 / 3.0 * 0.02, 1e-9);
    // A moving position takes over at once.
    timer.now = 5.56;
    EXPECT_DOUBLE_EQ(advanceClock(clock, &timer, 4.5), 66.0);
}

TEST(Clock, MusicThatStopsBeforeTheEndHandsTheRowsToTheTimer) {
    FakeTimer timer;
    DemoClock clock;
    startClock(clock, &timer);
    timer.now = 30.0;
    EXPECT_DOUBLE_EQ(advanceClock(clock, &timer, 30.0), 440.0);  // the music's last position
    // Within a second of stalling: the usual one-frame bridge.
    timer.now = 30.9;
    EXPECT_NEAR(advanceClock(clock, &timer, 30.0), 440.0 + 44.0 / 3.0 * 0.9, 1e-9);
    // Past a second: this frame is still bridged, and from here the timer carries the rows on.
    timer.now = 31.1;
    const double handover = 440.0 + 44.0 / 3.0 * 0.2;
    EXPECT_NEAR(advanceClock(clock, &timer, 30.0), handover, 1e-9);
    timer.now = 41.1;
    EXPECT_NEAR(advanceClock(clock, &timer, 30.0), handover + 44.0 / 3.0 * 10.0, 1e-9);
    timer.now = 103.0;
    EXPECT_GE(advanceClock(clock, &timer, 30.0), 1480.0);  // so the show still ends
    // Music that moves again takes the row back.
    timer.now = 103.1;
    EXPECT_DOUBLE_EQ(advanceClock(clock, &timer, 31.5), 462.0);
    timer.now = 103.12;
    EXPECT_NEAR(advanceClock(clock, &timer, 31.5), 462.0 + 44.0 / 3.0 * 0.02, 1e-9);
}

TEST(Clock, WithoutTimerAStalledPositionGivesTheStalledRow) {
    DemoClock clock;
    startClock(clock, nullptr);
    EXPECT_DOUBLE_EQ(advanceClock(clock, nullptr, 3.0), 44.0);
    EXPECT_DOUBLE_EQ(advanceClock(clock, nullptr, 3.0), 44.0);
    EXPECT_EQ(clock.frameDelta, 0.0);
    EXPECT_EQ(clock.currentTime, 0.0);
}

TEST(Clock, RowsPerSecondIsEightRowsPerBeatAt110Bpm) {
    EXPECT_DOUBLE_EQ(ROWS_PER_SECOND, 110.0 * 8.0 / 60.0);
    // The show ends at row 1480: about 100.9 seconds of music.
    EXPECT_NEAR(kLastRow / ROWS_PER_SECOND, 100.909, 0.001);
}

TEST(SceneNumber, IsTheSceneTrackRoundedHalfUpTowardZero) {
    // Step keys, one value per row: the scene number at each row is value + 0.5 truncated.
    SyncKey keys[] = {{0, 1.49f, Step}, {1, 1.5f, Step},  {2, -0.4f, Step},
                      {3, 9.0f, Step},  {4, -0.6f, Step}, {5, 1e30f, Step}};
    SyncTrack scene{const_cast<char*>("scene"), keys, 6};
    DemoTracks tracks{};
    SyncTrack empty{const_cast<char*>("empty"), nullptr, 0};
    for (SyncTrack*& track : tracks.tracks) track = &empty;
    tracks.tracks[trackIndex("scene")] = &scene;
    EXPECT_EQ(sceneNumberAt(tracks, 0.0), 1);
    EXPECT_EQ(sceneNumberAt(tracks, 1.0), 2);
    EXPECT_EQ(sceneNumberAt(tracks, 2.0), 0);
    EXPECT_EQ(sceneNumberAt(tracks, 3.0), 9);
    EXPECT_EQ(sceneNumberAt(tracks, 4.0), 0);  // -0.1 truncates toward zero
    EXPECT_EQ(sceneNumberAt(tracks, 5.0), 0);  // outside the int range: no scene
}

TEST(TrackTable, EachTrackLandsInTheFieldOfItsName) {
    // Track i holds the single value i; each field must show the index of its own name.
    SyncKey keys[kTrackCount];
    SyncTrack storage[kTrackCount];
    DemoTracks tracks{};
    for (int i = 0; i < kTrackCount; ++i) {
        keys[i] = {0, float(i), Step};
        storage[i] = {const_cast<char*>(kTracks[i].name), &keys[i], 1};
        tracks.tracks[i] = &storage[i];
    }
    const TrackValues v = readTrackValues(tracks, 100.0);
    const std::pair<const char*, double> fields[] = {{"wfac", v.wfac},
                                                     {"al", v.al},
                                                     {"flowerscale", v.flowerscale},
                                                     {"pscale", v.pscale},
                                                     {"ringdistance", v.ringdistance},
                                                     {"ringthickness", v.ringthickness},
                                                     {"ringdiv", v.ringdiv},
                                                     {"free", v.free},
                                                     {"scene", v.scene},
                                                     {"cityscale", v.cityscale},
                                                     {"cityrot", v.cityrot},
                                                     {"spinrot", v.spinrot},
                                                     {"spinchoice", v.spinchoice},
                                                     {"spiny", v.spiny},
                                                     {"greet", v.greet},
                                                     {"cfy", v.cfy},
                                                     {"cred1", v.cred1},
                                                     {"cred2", v.cred2}};
    ASSERT_EQ(std::size(fields), std::size_t(kTrackCount));
    for (const auto& [name, value] : fields) EXPECT_EQ(value, trackIndex(name)) << name;
}

}  // namespace
