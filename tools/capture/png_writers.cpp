#include "png_writers.h"

#include <algorithm>
#include <cstdio>

#include "render/screen.h"

PngWriters::PngWriters(int threads) {
    const int count = std::max(threads, 1);
    slots_.resize(2 * static_cast<size_t>(count));
    for (Slot& slot : slots_) slot.words.resize(kScreenPixels);
    for (int i = 0; i < count; ++i) threads_.emplace_back([this] { work(); });
}

PngWriters::~PngWriters() {
    abandon();
}

bool PngWriters::write(const float* framebuffer, const std::string& path,
                       const std::string& temp) {
    std::unique_lock<std::mutex> lock(mutex_);
    Slot* slot = nullptr;
    changed_.wait(lock, [&] {
        if (!error_.empty() || stop_) return true;
        for (Slot& candidate : slots_) {
            if (candidate.state == SlotState::kFree) {
                slot = &candidate;
                return true;
            }
        }
        return false;
    });
    if (slot == nullptr) return false;
    slot->state = SlotState::kEncoding;  // ours until queued: no encoder takes it
    lock.unlock();
    convertFrame(framebuffer, slot->words);
    lock.lock();
    slot->path = path;
    slot->temp = temp;
    slot->order = queued_++;
    slot->state = SlotState::kQueued;
    changed_.notify_all();
    return true;
}

void PngWriters::work() {
    RgbImage image;
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot* slot = nullptr;
        changed_.wait(lock, [&] {
            if (stop_) return true;
            for (Slot& candidate : slots_) {
                if (candidate.state == SlotState::kQueued &&
                    (slot == nullptr || candidate.order < slot->order)) {
                    slot = &candidate;
                }
            }
            return slot != nullptr;
        });
        if (stop_) return;
        slot->state = SlotState::kEncoding;
        lock.unlock();

        wordsToImage(slot->words, kScreenWidth, kScreenHeight, image);
        std::string error;
        bool written = writePng(slot->temp, image, error, PngEffort::kFast);
        if (written && std::rename(slot->temp.c_str(), slot->path.c_str()) != 0) {
            error = "cannot rename " + slot->temp + " to " + slot->path;
            written = false;
        }
        if (!written) std::remove(slot->temp.c_str());

        lock.lock();
        if (!written && error_.empty()) error_ = error;
        slot->state = SlotState::kFree;
        changed_.notify_all();
    }
}

bool PngWriters::finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] {
        return std::all_of(slots_.begin(), slots_.end(),
                           [](const Slot& slot) { return slot.state == SlotState::kFree; });
    });
    return error_.empty();
}

std::string PngWriters::error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void PngWriters::abandon() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_) return;
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    // What an encoder was writing, or had queued, never reached its final name.
    for (Slot& slot : slots_) {
        if (slot.state != SlotState::kFree && !slot.temp.empty()) std::remove(slot.temp.c_str());
        slot.state = SlotState::kFree;
    }
}
