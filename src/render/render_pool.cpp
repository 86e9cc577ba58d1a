#include "render/render_pool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
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

// A frame hands the pool a few jobs in quick succession, and waking a sleeping thread costs
// tens of microseconds on a busy or virtual machine, twice a job. So a thread that runs out of
// work first watches for more for a short while, yielding its core, and only then sleeps.
constexpr auto kWorkerSpin = std::chrono::microseconds(300);
constexpr auto kCallerSpin = std::chrono::microseconds(1000);

template <class Ready>
bool spinUntil(Ready ready, std::chrono::microseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        if (ready()) return true;
        std::this_thread::yield();
    } while (std::chrono::steady_clock::now() < end);
    return ready();
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
    std::atomic<int> busy{0};  // workers still on the current job
    uint64_t generation = 0;
    std::atomic<uint64_t> posted{0};  // generation, for watching without the mutex
    std::atomic<bool> stop{false};

    void takeBands() {
        for (int band = next.fetch_add(1); band < bands; band = next.fetch_add(1)) task(data, band);
    }

    void work() {
        uint64_t seen = 0;
        for (;;) {
            spinUntil([&] { return posted.load() != seen || stop.load(); }, kWorkerSpin);
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return stop.load() || generation != seen; });
                if (stop.load()) return;
                seen = generation;
            }
            takeBands();
            // The caller tests `busy` under the mutex before it sleeps, so a notify made under
            // the mutex after the count reaches 0 cannot be missed.
            if (busy.fetch_sub(1) == 1) {
                std::lock_guard<std::mutex> lock(mutex);
                finished.notify_one();
            }
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
        pool->stop.store(true);
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

int chosenRenderThreads(int threads) {
    return threads > 0 ? clampThreads(threads) : defaultRenderThreads();
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
        pool->busy.store(pool->threads - 1);
        pool->posted.store(++pool->generation);
    }
    pool->wake.notify_all();
    pool->takeBands();
    if (spinUntil([&] { return pool->busy.load() == 0; }, kCallerSpin)) return;
    std::unique_lock<std::mutex> lock(pool->mutex);
    pool->finished.wait(lock, [&] { return pool->busy.load() == 0; });
}
