// The music: the synthesiser's output, and the MP3 in the data directory decoded with libmpg123.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "generator/common.h"
#include "generator/music.h"
#include "generator/timeline.h"

namespace {

using assetgen::kSamplesPerRow;

constexpr int kRate = 44100;

struct Decoded {
    long rate = 0;
    int channels = 0;
    std::vector<float> left, right;
};

bool decodeMp3(const std::string& path, Decoded& out) {
    mpg123_init();
    int error = 0;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (!handle) return false;
    // Float output; gapless decoding (the default where the library supports it) drops the
    // encoder's delay and padding that the LAME tag announces.
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_FORCE_FLOAT | MPG123_GAPLESS, 0.0);
    bool ok = mpg123_open(handle, path.c_str()) == MPG123_OK &&
              mpg123_getformat(handle, &out.rate, &out.channels, &error) == MPG123_OK;
    if (ok) {
        mpg123_format_none(handle);
        mpg123_format(handle, out.rate, out.channels, MPG123_ENC_FLOAT_32);
        std::vector<unsigned char> buffer(1 << 16);
        size_t done = 0;
        int result;
        while ((result = mpg123_read(handle, buffer.data(), buffer.size(), &done)) == MPG123_OK ||
               result == MPG123_NEW_FORMAT || (result == MPG123_DONE && done > 0)) {
            const float* samples = reinterpret_cast<const float*>(buffer.data());
            for (size_t i = 0; i + 1 < done / sizeof(float); i += out.channels) {
                out.left.push_back(samples[i]);
                out.right.push_back(out.channels > 1 ? samples[i + 1] : samples[i]);
            }
            if (result == MPG123_DONE) break;
        }
        ok = result == MPG123_DONE;
    }
    mpg123_close(handle);
    mpg123_delete(handle);
    return ok;
}

const assetgen::Timeline& showTimeline() {
    static assetgen::Timeline timeline;
    static bool loaded = false;
    if (!loaded) {
        std::string text, message;
        const std::string path = DEMO_ASSETS_DIR "/timeline.txt";
        EXPECT_TRUE(assetgen::readTextFile(path, text, message)) << message;
        EXPECT_TRUE(assetgen::parseTimeline(text, path, timeline, message)) << message;
        loaded = true;
    }
    return timeline;
}

class Music : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        decoded_ = new Decoded;
        decodedOk_ = decodeMp3(DEMO_TEST_DATA_DIR "/demo110.mp3", *decoded_);
        song_ = new assetgen::Song;
        std::string message;
        songOk_ = assetgen::renderSong(showTimeline(), assetgen::kAllStems, *song_, message);
    }
    static void TearDownTestSuite() {
        delete decoded_;
        delete song_;
    }
    static Decoded* decoded_;
    static bool decodedOk_;
    static assetgen::Song* song_;
    static bool songOk_;
};
Decoded* Music::decoded_ = nullptr;
bool Music::decodedOk_ = false;
assetgen::Song* Music::song_ = nullptr;
bool Music::songOk_ = false;

TEST_F(Music, DecodesToTheWholeShowWithoutClipping) {
    ASSERT_TRUE(decodedOk_);
    EXPECT_EQ(decoded_->rate, kRate);
    EXPECT_EQ(decoded_->channels, 2);
    // The show ends at row 1480, 100.9 s; the music must outlast it.
    EXPECT_GE(decoded_->left.size(), 102u * kRate);
    double peak = 0.0, sum = 0.0;
    for (size_t i = 0; i < decoded_->left.size(); ++i) {
        peak = std::max(
            {peak, std::fabs(double(decoded_->left[i])), std::fabs(double(decoded_->right[i]))});
        sum += double(decoded_->left[i]) * decoded_->left[i] +
               double(decoded_->right[i]) * decoded_->right[i];
    }
    const double peakDb = 20.0 * std::log10(peak);
    const double rmsDb = 10.0 * std::log10(sum / (2.0 * decoded_->left.size()));
    EXPECT_LT(peakDb, -0.3);
    EXPECT_GT(rmsDb, -16.5);
    EXPECT_LT(rmsDb, -11.5);
}

// Gapless: the decoded sound lines up with the synthesised samples at lag 0 and has their
// length, so the music's time is the show's time.
TEST_F(Music, DecodedSoundStartsAtTheFirstSynthesisedSample) {
    ASSERT_TRUE(decodedOk_ && songOk_);
    EXPECT_EQ(decoded_->left.size(), song_->left.size());
    // Correlate a stretch with drums (bars 8 to 10) at lags -1500..1500.
    const long from = std::lround(8 * 32 * kSamplesPerRow), length = 2 * 32 * kSamplesPerRow;
    ASSERT_LT(from + length + 1500, static_cast<long>(decoded_->left.size()));
    long bestLag = 0;
    double best = -1e30;
    for (long lag = -1500; lag <= 1500; ++lag) {
        double sum = 0.0;
        for (long i = from; i < from + length; i += 3)
            sum += song_->left[i] * decoded_->left[i + lag];
        if (sum > best) best = sum, bestLag = lag;
    }
    EXPECT_EQ(bestLag, 0);
    // And the coded sound is close to what was synthesised (MP3 noise well below the music).
    double error = 0.0, signal = 0.0;
    for (long i = from; i < from + length; ++i) {
        const double d = song_->left[i] - decoded_->left[i];
        error += d * d;
        signal += double(song_->left[i]) * song_->left[i];
    }
    EXPECT_GT(10.0 * std::log10(signal / error), 10.0);
}

TEST_F(Music, FileStartsWithTheLameTag) {
    FILE* file = std::fopen(DEMO_TEST_DATA_DIR "/demo110.mp3", "rb");
    ASSERT_NE(file, nullptr);
    unsigned char head[1024];
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    ASSERT_GT(got, 200u);
    // A frame sync first (no ID3 tag before it), then "Info" (the Xing tag of a constant bit
    // rate file) and the LAME extension in the same first frame.
    EXPECT_EQ(head[0], 0xFF);
    EXPECT_EQ(head[1] & 0xE0, 0xE0);
    const std::string frame(reinterpret_cast<const char*>(head), got);
    EXPECT_NE(frame.find("Info"), std::string::npos);
    EXPECT_NE(frame.find("LAME"), std::string::npos);
}

// Kicks: every onset in the kick-only rendering falls on a beat row (a multiple of 8), and
// the list of planned kicks is exactly what is heard.
TEST(MusicSynthesis, KicksStartOnBeatRows) {
    const auto& timeline = showTimeline();
    const auto kicks = assetgen::kickSamples(timeline);
    ASSERT_GT(kicks.size(), 100u);
    for (long start : kicks) {
        const double row = start / kSamplesPerRow;
        const long beatRow = std::lround(row / 8.0) * 8;
        EXPECT_EQ(start, std::lround(beatRow * kSamplesPerRow)) << "kick at row " << row;
    }
    assetgen::Song song;
    std::string message;
    ASSERT_TRUE(assetgen::renderSong(timeline, assetgen::kKick, song, message)) << message;
    // A kick lasts 0.5 s and the beats are 0.545 s apart: each onset follows digital silence.
    std::vector<long> onsets;
    long silent = 1 << 30;
    for (long i = 0; i < static_cast<long>(song.left.size()); ++i) {
        if (song.left[i] == 0.0f) {
            ++silent;
        } else {
            if (silent >= 441) onsets.push_back(i);
            silent = 0;
        }
    }
    ASSERT_EQ(onsets.size(), kicks.size());
    for (size_t k = 0; k < kicks.size(); ++k) EXPECT_LE(std::labs(onsets[k] - kicks[k]), 1);
}

// The arrangement follows the timeline's sections: no kick before the second section, the
// first one on its first beat.
TEST(MusicSynthesis, SectionsFollowTheTimeline) {
    const auto& timeline = showTimeline();
    const auto kicks = assetgen::kickSamples(timeline);
    ASSERT_FALSE(kicks.empty());
    ASSERT_GE(timeline.sections.size(), 2u);
    EXPECT_EQ(kicks.front(), std::lround(timeline.sections[1].row * kSamplesPerRow));
    for (const auto& section : timeline.sections) {
        const auto parts = assetgen::knownParts();
        EXPECT_NE(std::find(parts.begin(), parts.end(), section.part), parts.end()) << section.part;
    }
    // A part the synthesiser does not know is refused with a message.
    assetgen::Timeline broken = timeline;
    broken.sections[0].part = "polka";
    assetgen::Song song;
    std::string message;
    EXPECT_FALSE(assetgen::renderSong(broken, assetgen::kKick, song, message));
    EXPECT_NE(message.find("polka"), std::string::npos);
}

}  // namespace
