// The music layer: plays the one music file and reports what the listener is hearing.
//
// Conventions: the stream is decoded whole at openStream into interleaved 16-bit signed stereo
// PCM at the rate given to init (44100 Hz for the demo), 4 bytes per sample frame, starting at
// the first sample the encoder was given (encoder and decoder delays removed). `position` is
// the byte offset into that PCM of the sound that has actually left the output device, not of
// what was queued: always a multiple of 4, never decreasing while playing, never past the end.
// Where no output device exists the position advances with real time, silently, so the show
// still runs to its end. Only this header is seen by the portable code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class MusicPlayer {
public:
    virtual ~MusicPlayer() = default;
    // Opens the default output device at `frequency` Hz (or falls back to the silent clock).
    // False only when neither can be had; then the demo prints "bass init error\n".
    virtual bool init(int frequency) = 0;
    // Decodes the whole file up front. False on failure, with `errorCode` set.
    virtual bool openStream(const char* path) = 0;
    // The same for the file's bytes as the caller read them from `path`. A player that has no
    // use for the bytes (the page's, whose browser decodes the same file) opens `path`.
    virtual bool openMusic(const std::vector<uint8_t>& file, const char* path) {
        (void)file;
        return openStream(path);
    }
    virtual int errorCode() const = 0;
    // Starts playback at byte 0. Does nothing while already playing or without a stream.
    virtual void play() = 0;
    // 0 before play.
    virtual uint64_t position() = 0;
    virtual double bytesToSeconds(uint64_t bytes) const = 0;
    // Called once per frame; keeps the output fed.
    virtual void update() = 0;
    // Frees the stream and the output device. Safe to call more than once.
    virtual void close() = 0;

    // The edit mode's transport. A player that cannot seek keeps these defaults: it goes on
    // playing from where it is. `seek` moves the position to `bytes` (rounded down to a whole
    // sample frame, capped at the end) whether playing or paused; after it `position` reports
    // exactly that until the sound moves on. While paused the position stands still and the
    // output is silent; `resume` plays on from the same byte.
    virtual bool canSeek() const { return false; }
    virtual void seek(uint64_t) {}
    virtual void pause() {}
    virtual void resume() {}
    virtual bool paused() const { return false; }
    // Length of the decoded stream in bytes (0 when unknown or without a stream).
    virtual uint64_t length() const { return 0; }
    // Replaces the stream by already decoded PCM (same layout and rate) keeping the position,
    // for music made in the running program. False (and nothing changes) when unsupported.
    virtual bool replaceStream(std::vector<int16_t>&&) { return false; }
    // The decoded stream, interleaved 16-bit stereo, `count` values (the edit mode reads its
    // loudness); null with 0 from a player that holds none.
    virtual const int16_t* decodedSamples(size_t& count) const {
        count = 0;
        return nullptr;
    }
};

// Error codes of openStream.
enum MusicError : int {
    kMusicOk = 0,
    kMusicFileOpen = 2,  // the file cannot be opened or read
    kMusicFormat = 41,   // not a decodable MP3
    kMusicMemory = 1,    // out of memory
    kMusicNotInit = 8,   // init has not succeeded
};

// The platform's player: SDL2 output with libmpg123 decoding (or the Windows wave output).
MusicPlayer* createMusicPlayer();

// A player that never opens a device: decodes like the platform player and runs the silent
// clock. For tests and for programs that want the timeline without sound.
MusicPlayer* createSilentMusicPlayer();
