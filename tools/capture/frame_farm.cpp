#include "frame_farm.h"

#include <algorithm>
#include <cstdio>

#include "image_output.h"

FrameFarm::FrameFarm(std::vector<std::unique_ptr<Show>> shows, bool pictures)
    : shows_(std::move(shows)), pictures_(pictures) {
    // Two frames a worker: one drawn while the other waits to be taken.
    slots_.resize(2 * shows_.size());
    for (Slot& slot : slots_) {
        slot.words.resize(static_cast<size_t>(shows_.front()->target.screen.pixels()));
    }
    for (std::unique_ptr<Show>& show : shows_) {
        Show* own = show.get();
        threads_.emplace_back([this, own] { work(*own); });
    }
}

FrameFarm::~FrameFarm() {
    abandon();
}

void FrameFarm::queue(long n, const FrameState& frame, const std::string& path,
                      const std::string& temp) {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_[static_cast<size_t>(n) % slots_.size()];
    slot.number = n;
    slot.frame = frame;
    slot.path = path;
    slot.temp = temp;
    slot.state = State::kQueued;
    changed_.notify_all();
}

void FrameFarm::work(Show& show) {
    RgbImage image;
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot* slot = nullptr;
        changed_.wait(lock, [&] {
            if (stop_) return true;
            for (Slot& candidate : slots_) {
                if (candidate.state == State::kQueued &&
                    (slot == nullptr || candidate.number < slot->number)) {
                    slot = &candidate;
                }
            }
            return slot != nullptr;
        });
        if (stop_) return;
        slot->state = State::kDrawing;
        lock.unlock();

        // Each worker takes the oldest frame queued, so its rows only grow: the discs step
        // forward from where its last frame left them.
        renderFrame(slot->frame, show);
        const ScreenSize& screen = show.target.screen;
        if (pictures_) convertFrame(show.target.framebuffer, screen, slot->words);
        std::string error;
        if (!slot->path.empty()) {
            wordsToImage(slot->words, screen.width, screen.height, image);
            bool written = writePng(slot->temp, image, error, PngEffort::kFast);
            if (written && std::rename(slot->temp.c_str(), slot->path.c_str()) != 0) {
                error = "cannot rename " + slot->temp + " to " + slot->path;
                written = false;
            }
            if (!written) std::remove(slot->temp.c_str());
        }

        lock.lock();
        if (!error.empty() && error_.empty()) error_ = error;
        slot->state = State::kDone;
        changed_.notify_all();
    }
}

const std::vector<uint32_t>* FrameFarm::take(long n) {
    Slot& slot = slots_[static_cast<size_t>(n) % slots_.size()];
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return slot.state == State::kDone || stop_; });
    if (stop_ || !error_.empty()) return nullptr;
    return &slot.words;
}

void FrameFarm::release(long n) {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_[static_cast<size_t>(n) % slots_.size()].state = State::kFree;
}

std::string FrameFarm::error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void FrameFarm::abandon() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_) return;
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    // A frame still queued was never written; one done was renamed or removed by its worker.
    for (Slot& slot : slots_) {
        if (slot.state == State::kQueued && !slot.temp.empty()) std::remove(slot.temp.c_str());
    }
    for (std::unique_ptr<Show>& show : shows_) endShow(*show);
}
