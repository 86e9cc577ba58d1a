#include "render/raster_stats.h"

#include <algorithm>
#include <cassert>
#include <cstddef>

RasterStats* createRasterStats(int width, int height) {
    assert(width > 0 && height > 0 && width % 8 == 0 && height % 8 == 0);
    RasterStats* stats = new RasterStats{};
    stats->width = width;
    stats->height = height;
    stats->blockColumns = width / 8;
    stats->blockRows = height / 8;
    const size_t blocks = size_t(stats->blockColumns) * stats->blockRows;
    stats->overdraw = new uint32_t[size_t(width) * height]();
    stats->blockFull = new uint32_t[blocks]();
    stats->blockPartial = new uint32_t[blocks]();
    stats->blockSkipped = new uint32_t[blocks]();
    return stats;
}

void destroyRasterStats(RasterStats* stats) {
    if (stats == nullptr) return;
    delete[] stats->overdraw;
    delete[] stats->blockFull;
    delete[] stats->blockPartial;
    delete[] stats->blockSkipped;
    delete stats;
}

void resetRasterStats(RasterStats& stats) {
    const size_t pixels = size_t(stats.width) * stats.height;
    const size_t blocks = size_t(stats.blockColumns) * stats.blockRows;
    std::fill(stats.overdraw, stats.overdraw + pixels, 0u);
    for (uint32_t* perBlock : {stats.blockFull, stats.blockPartial, stats.blockSkipped}) {
        std::fill(perBlock, perBlock + blocks, 0u);
    }
    stats.faces = 0;
    stats.blocksFull = stats.blocksPartial = stats.blocksSkipped = 0;
    stats.pixelsPassed = 0;
}
