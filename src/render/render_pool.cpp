#include "render/render_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace {

// Emscripten without its pthreads support cannot start a thread.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
constexpr bool kThreadsAvailable = false;
#else
constexpr bool kThreadsAvailable = true;
#endif

int clampThreads(int threads) {
    if (!kThreadsAvailable) return 1;
    return std::clamp(threads, 1, kMaxRenderThreads);
}

}  // namespace

struct RenderPool {
    int threads = 1;
    std::thread workers[kMaxRenderThreads - 1];
    std::mutex mutex;
    std::condition_variable wake;      // workers wait here for the next job
    std::condition_variable finished;  // the caller waits here for the workers
    // The job; written under the mutex before `generation` moves on.
    BandTask task = nullptr;
    void* data = nullptr;
    int bands = 0;
    std::atomic<int> next{0};
    int busy = 0;  // workers still on the current job
    uint64_t generation = 0;
    bool stop = false;

    void takeBands() {
        for (int band = next.fetch_add(1); band < bands; band = next.fetch_add(1)) task(data, band);
    }

    void work() {
        uint64_t seen = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return stop || generation != seen; });
                if (stop) return;
                seen = generation;
            }
            takeBands();
            std::lock_guard<std::mutex> lock(mutex);
            if (--busy == 0) finished.notify_one();
        }
    }
};

RenderPool* createRenderPool(int threads) {
    RenderPool* pool = new RenderPool;
    pool->threads = clampThreads(threads);
    for (int i = 0; i + 1 < pool->threads; ++i) {
        pool->workers[i] = std::thread([pool] { pool->work(); });
    }
    return pool;
}

void destroyRenderPool(RenderPool* pool) {
    if (pool == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->stop = true;
    }
    pool->wake.notify_all();
    for (int i = 0; i + 1 < pool->threads; ++i) pool->workers[i].join();
    delete pool;
}

int renderThreads(const RenderPool* pool) {
    return pool == nullptr ? 1 : pool->threads;
}

int defaultRenderThreads() {
    return clampThreads(static_cast<int>(std::thread::hardware_concurrency()));
}

void runBands(RenderPool* pool, BandTask task, void* data, int bands) {
    if (pool == nullptr || pool->threads == 1 || bands <= 1) {
        for (int band = 0; band < bands; ++band) task(data, band);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->task = task;
        pool->data = data;
        pool->bands = bands;
        pool->next.store(0);
        pool->busy = pool->threads - 1;
        ++pool->generation;
    }
    pool->wake.notify_all();
    pool->takeBands();
    std::unique_lock<std::mutex> lock(pool->mutex);
    pool->finished.wait(lock, [&] { return pool->busy == 0; });
}
