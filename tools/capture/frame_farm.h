// Frames drawn several at once, each by its own show on its own thread, and handed back in
// order: the capture tool's modes that run through the show keep every core busy, and the PNG
// encoding of each frame happens on the thread that drew it.
//
// The shows share one set of assets; each brings what runs in show time (the falling discs) to
// its frame's row itself, so every worker draws exactly the frame the one-show loop would.
// Frames go out under `temp` first and are renamed to `path` when whole.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/frame.h"
#include "runtime/show.h"

class FrameFarm {
public:
    // `shows` started at one screen size (one thread each, no render pool of their own); at
    // least one; the farm ends them. Without `pictures` the frames are drawn and nothing else:
    // take() gives no words.
    FrameFarm(std::vector<std::unique_ptr<Show>> shows, bool pictures);
    // abandon()
    ~FrameFarm();
    FrameFarm(const FrameFarm&) = delete;
    FrameFarm& operator=(const FrameFarm&) = delete;

    // Frames that may be queued and not yet taken back.
    int capacity() const { return static_cast<int>(slots_.size()); }

    // Frame number n (consecutive from call to call): queues its drawing. With a path the
    // worker also writes it as PNG. Needs a free place: at most capacity() frames queued and
    // not taken.
    void queue(long n, const FrameState& frame, const std::string& path = {},
               const std::string& temp = {});
    // Waits for frame n, the oldest not taken, and returns its picture as XRGB8888 words,
    // valid until release(n). Null once a frame has failed: see error().
    const std::vector<uint32_t>* take(long n);
    void release(long n);
    // The first failure's one-line message.
    std::string error();
    // Stops the workers after their current frame and removes the temporary files that never
    // reached their final name.
    void abandon();

private:
    enum class State { kFree, kQueued, kDrawing, kDone };
    struct Slot {
        State state = State::kFree;
        long number = 0;
        FrameState frame{};
        std::string path, temp;
        std::vector<uint32_t> words;
    };

    void work(Show& show);

    std::vector<std::unique_ptr<Show>> shows_;
    std::vector<Slot> slots_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    std::string error_;
    bool pictures_;
};
