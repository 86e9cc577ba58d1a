#include "runtime/frame_times.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

void timeFrame(const FrameState& frame, Show& show, FrameTimes& times) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point start = Clock::now();
    int scene = renderFrame(frame, show);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!((scene >= 1 && scene <= 8) || scene == 10)) scene = -1;
    times.byScene[scene].push_back(ms);
    start = Clock::now();
    renderEmptyFrame(frame, show);
    times.empty.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(std::ceil(fraction * values.size())) - 1;
    return values[std::min(index, values.size() - 1)];
}

void printFrameTimes(const FrameTimes& times, double fps) {
    const double emptyMedian = percentile(times.empty, 0.5);
    std::printf("%-8s %8s %12s %12s %10s\n", "scene", "frames", "median ms", "p95 ms", "x empty");
    auto printRow = [&](const std::string& name, const std::vector<double>& samples) {
        const double median = percentile(samples, 0.5);
        std::printf("%-8s %8zu %12.3f %12.3f %10.2f\n", name.c_str(), samples.size(), median,
                    percentile(samples, 0.95), emptyMedian > 0.0 ? median / emptyMedian : 0.0);
    };
    printRow("empty", times.empty);
    for (const auto& [scene, samples] : times.byScene) {
        printRow(scene < 0 ? "none" : std::to_string(scene), samples);
    }
    size_t frames = 0;
    double total = 0.0;
    for (const auto& entry : times.byScene) {
        frames += entry.second.size();
        for (double ms : entry.second) total += ms;
    }
    if (frames == 0 || total <= 0.0) return;
    const double rate = 1000.0 * static_cast<double>(frames) / total;
    std::printf("rendering alone: %zu frames, %.3f ms on average, %.1f frames/s, %.1fx real time\n",
                frames, total / static_cast<double>(frames), rate, rate / fps);
}
