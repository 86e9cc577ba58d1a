#include "render/render_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

struct CountJob {
    std::vector<std::atomic<int>> runs;
    explicit CountJob(int bands) : runs(bands) {}
};

void countBand(void* data, int band) {
    static_cast<CountJob*>(data)->runs[band].fetch_add(1);
}

}  // namespace

// Jobs come back to back (the workers still watching), and after pauses long enough for them
// to sleep: every band of every job runs exactly once and is done when runBands returns.
TEST(RenderPool, EveryBandRunsOnceWhetherTheWorkersWatchOrSleep) {
    for (int threads : {1, 2, 4, kMaxRenderThreads}) {
        RenderPool* pool = createRenderPool(threads);
        for (int job = 0; job < 300; ++job) {
            const int bands = job % 17;
            CountJob count(bands);
            runBands(pool, countBand, &count, bands);
            for (int band = 0; band < bands; ++band) {
                ASSERT_EQ(count.runs[band].load(), 1) << threads << " threads, job " << job;
            }
            if (job % 50 == 49) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        destroyRenderPool(pool);
    }
}
