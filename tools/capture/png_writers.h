// PNG frames encoded and written by worker threads while the caller renders the next ones:
// encoding takes longer than drawing a frame, so it is what spreads over the cores.
//
// Each frame goes to `temp` first and is renamed to `path` when whole, so an interrupted or
// failed run leaves nothing under a final name.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image_output.h"

class PngWriters {
public:
    // `threads` encoders (at least one), each with one frame queued behind the one it encodes.
    explicit PngWriters(int threads);
    // abandon()
    ~PngWriters();
    PngWriters(const PngWriters&) = delete;
    PngWriters& operator=(const PngWriters&) = delete;

    // Converts the framebuffer on the calling thread (as the display would) and queues it;
    // waits while every slot is taken. False once a frame has failed: see error().
    bool write(const float* framebuffer, const std::string& path, const std::string& temp);
    // Waits until every queued frame is written. False if one failed.
    bool finish();
    // The first failure's one-line message.
    std::string error();
    // Stops the encoders after their current frame and removes every temporary file that was
    // not renamed. The object can only be destroyed afterwards.
    void abandon();

private:
    enum class SlotState { kFree, kQueued, kEncoding };
    struct Slot {
        SlotState state = SlotState::kFree;
        std::string path, temp;
        std::vector<uint32_t> words;
        uint64_t order = 0;  // queued frames are taken oldest first
    };

    void work();

    std::mutex mutex_;
    std::condition_variable changed_;  // a slot changed state, or stop
    std::vector<Slot> slots_;
    std::vector<std::thread> threads_;
    uint64_t queued_ = 0;
    bool stop_ = false;
    std::string error_;
};
