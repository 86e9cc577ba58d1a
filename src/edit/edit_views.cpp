#include "edit/edit_views.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

const float kBlockFullColour[3] = {0.15f, 0.80f, 0.25f};
const float kBlockPartialColour[3] = {0.95f, 0.80f, 0.10f};
const float kBlockSkippedColour[3] = {0.85f, 0.15f, 0.15f};

namespace {

constexpr float kOverdrawRamp[kOverdrawSteps][3] = {
    {0.00f, 0.00f, 0.00f}, {0.10f, 0.20f, 0.65f}, {0.10f, 0.60f, 0.70f}, {0.20f, 0.75f, 0.20f},
    {0.90f, 0.85f, 0.15f}, {0.95f, 0.50f, 0.10f}, {0.90f, 0.15f, 0.15f}, {1.00f, 1.00f, 1.00f},
};

// A drawn pixel holds a negative 1/z; cleared ones 0, and a NaN is nothing to show.
bool drawnDepth(float q) {
    return q < 0.0f && std::isfinite(q);
}

float clamp01(float x) {
    return x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f;
}

float grey(const float* pixel) {
    return 0.299f * clamp01(pixel[0]) + 0.587f * clamp01(pixel[1]) + 0.114f * clamp01(pixel[2]);
}

void put(float* pixel, float r, float g, float b) {
    pixel[0] = r;
    pixel[1] = g;
    pixel[2] = b;
    pixel[3] = 0.0f;
}

void drawDepth(const float* framebuffer, int pixels, float* out) {
    const DepthRange range = depthRange(framebuffer, pixels);
    const float logNear = std::log(-range.nearZ);
    const float logFar = std::log(-range.farZ);
    const float span = logFar > logNear ? logFar - logNear : 1.0f;
    for (int i = 0; i < pixels; ++i) {
        const float q = framebuffer[4 * i + 3];
        float value = 0.0f;
        if (drawnDepth(q)) value = 1.0f - 0.85f * clamp01((std::log(-1.0f / q) - logNear) / span);
        put(out + 4 * i, value, value, value);
    }
}

void drawOverdraw(const RasterStats& stats, float* out) {
    const int pixels = stats.width * stats.height;
    for (int i = 0; i < pixels; ++i) {
        float rgb[3];
        overdrawColour(stats.overdraw[i], rgb);
        put(out + 4 * i, rgb[0], rgb[1], rgb[2]);
    }
}

void drawBlocks(const float* framebuffer, const RasterStats& stats, float* out) {
    for (int py = 0; py < stats.height; ++py) {
        for (int px = 0; px < stats.width; ++px) {
            const size_t pixel = static_cast<size_t>(py) * stats.width + px;
            const size_t block = static_cast<size_t>(py / 8) * stats.blockColumns + px / 8;
            const float full = static_cast<float>(stats.blockFull[block]);
            const float partial = static_cast<float>(stats.blockPartial[block]);
            const float skipped = static_cast<float>(stats.blockSkipped[block]);
            const float total = full + partial + skipped;
            float rgb[3];
            const float base = 0.35f * grey(framebuffer + 4 * pixel);
            for (int c = 0; c < 3; ++c) {
                rgb[c] = base;
                if (total > 0.0f) {
                    rgb[c] += 0.65f *
                              (full * kBlockFullColour[c] + partial * kBlockPartialColour[c] +
                               skipped * kBlockSkippedColour[c]) /
                              total;
                }
                // The block grid: each block's top row and left column darker.
                if (px % 8 == 0 || py % 8 == 0) rgb[c] *= 0.55f;
            }
            put(out + 4 * pixel, rgb[0], rgb[1], rgb[2]);
        }
    }
}

}  // namespace

const char* editViewName(EditView view) {
    switch (view) {
        case EditView::Picture:
            return "picture";
        case EditView::Depth:
            return "depth";
        case EditView::Overdraw:
            return "overdraw";
        case EditView::Blocks:
            return "blocks";
    }
    return "picture";
}

EditView nextEditView(EditView view) {
    return static_cast<EditView>((static_cast<int>(view) + 1) % kEditViewCount);
}

DepthRange depthRange(const float* framebuffer, int pixels) {
    // Nearest is the smallest 1/z (most negative), farthest the largest below 0.
    float nearest = 0.0f, farthest = -INFINITY;
    for (int i = 0; i < pixels; ++i) {
        const float q = framebuffer[4 * i + 3];
        if (!drawnDepth(q)) continue;
        nearest = std::min(nearest, q);
        farthest = std::max(farthest, q);
    }
    if (nearest == 0.0f) return {0.0f, 0.0f};
    return {1.0f / nearest, 1.0f / farthest};
}

void overdrawColour(uint32_t count, float rgb[3]) {
    const float* colour = kOverdrawRamp[std::min<uint32_t>(count, kOverdrawSteps - 1)];
    for (int c = 0; c < 3; ++c) rgb[c] = colour[c];
}

void drawEditView(EditView view, const float* framebuffer, const RasterStats& stats, float* out) {
    switch (view) {
        case EditView::Picture:
            break;
        case EditView::Depth:
            drawDepth(framebuffer, stats.width * stats.height, out);
            break;
        case EditView::Overdraw:
            drawOverdraw(stats, out);
            break;
        case EditView::Blocks:
            drawBlocks(framebuffer, stats, out);
            break;
    }
}

std::string rasterCountsLine(const RasterStats& stats) {
    uint32_t most = 0;
    int64_t covered = 0;
    for (int i = 0, n = stats.width * stats.height; i < n; ++i) {
        most = std::max(most, stats.overdraw[i]);
        covered += stats.overdraw[i] > 0 ? 1 : 0;
    }
    char line[256];
    std::snprintf(line, sizeof line,
                  "faces %lld  blocks full %lld partial %lld skipped %lld  pixels %lld  "
                  "overdraw %.2f, most %u",
                  static_cast<long long>(stats.faces), static_cast<long long>(stats.blocksFull),
                  static_cast<long long>(stats.blocksPartial),
                  static_cast<long long>(stats.blocksSkipped),
                  static_cast<long long>(stats.pixelsPassed),
                  covered > 0 ? static_cast<double>(stats.pixelsPassed) / covered : 0.0, most);
    return line;
}
