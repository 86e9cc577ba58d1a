// The show's music, synthesised from the timeline's section table and encoded as MP3.
//
// 110 BPM, 8 rows a beat, the first downbeat at sample 0; 44.1 kHz stereo. Each section's
// `part` names an arrangement (which instruments play, which chords, which melody); the
// scene changes of the timeline therefore fall on the bars where the music changes.
#pragma once

#include <string>
#include <vector>

#include "generator/common.h"
#include "generator/timeline.h"

namespace assetgen {

constexpr int kSampleRate = 44100;
constexpr double kBeatsPerMinute = 110.0;
constexpr double kSamplesPerRow = kSampleRate * 60.0 / (kBeatsPerMinute * kRowsPerBeat);
// The music keeps sounding this long after the show's last row (the demo itself stops at the
// last row; the tail only makes sure the file outlasts it).
constexpr double kTailSeconds = 3.2;

// Instrument groups, to render a part of the mix on its own.
enum Stem : unsigned {
    kKick = 1u << 0,
    kSnare = 1u << 1,
    kHats = 1u << 2,
    kBass = 1u << 3,
    kPads = 1u << 4,
    kArp = 1u << 5,
    kLead = 1u << 6,
    kEffects = 1u << 7,  // crashes and risers
    kAllStems = 0xFFu,
};

struct Song {
    std::vector<float> left, right;
};

// The part names an arrangement exists for.
std::vector<std::string> knownParts();

// Renders the music. With all stems the mix is compressed and normalised (peak -1 dBFS);
// a subset is the raw sum of those instruments, without effects or master processing.
bool renderSong(const Timeline& timeline, unsigned stems, Song& song, std::string& message);

// Start sample of every kick drum of the song, in order.
std::vector<long> kickSamples(const Timeline& timeline);

// MP3 at 192 kbit/s with the LAME/Xing tag frame first, so that decoders drop the encoder's
// delay and padding and the decoded sound starts at the song's first sample.
bool encodeMp3(const Song& song, Bytes& mp3, std::string& message);

}  // namespace assetgen
