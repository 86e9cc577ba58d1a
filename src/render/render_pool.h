// The renderer's worker threads: made once at start-up, they share out the bands of a frame.
//
// runBands runs task(data, band) once for every band 0 .. bands - 1, on the calling thread and
// the workers together, and returns when all are done. Bands are taken in increasing order
// from a shared counter, so their order across threads is not fixed: a task may only write
// what its band owns. A pool of one thread (or none) runs the bands in order on the caller and
// starts no thread. A call neither allocates nor starts a thread.
#pragma once

constexpr int kMaxRenderThreads = 16;

struct RenderPool;

using BandTask = void (*)(void* data, int band);

// `threads` counts the caller: threads - 1 workers start here. Clamped to 1..kMaxRenderThreads;
// a build without threads (the browser's) always gets 1.
RenderPool* createRenderPool(int threads);
// Stops and joins the workers.
void destroyRenderPool(RenderPool* pool);
// 1 for a null pool.
int renderThreads(const RenderPool* pool);
// The machine's cores, clamped like createRenderPool's argument.
int defaultRenderThreads();
// The count a host draws with when asked for `threads`: that many, or one a core for 0 (the
// default of every program's --threads).
int chosenRenderThreads(int threads);

void runBands(RenderPool* pool, BandTask task, void* data, int bands);
