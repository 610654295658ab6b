// A small pool of drawing threads: one drawing's rows are split into blocks
// that the calling thread and the workers share out, each taking first the
// blocks in its own part of the destination. Every row is drawn once, by the
// same code, so the bytes are the same however it is split.
#ifndef QUARNEX_RUNTIME_GRAPHICS_DRAW_POOL_H
#define QUARNEX_RUNTIME_GRAPHICS_DRAW_POOL_H

#include <stdint.h>

namespace qx {

// Draws rows [begin, end) of a drawing; called on several threads at once
// for ranges that never overlap.
using RowBandFn = void (*)(const void* job, int begin, int end);

// Runs fn over rows [0, rows) and returns when all are drawn. top is the
// destination row of row 0, height the destination's; pixels (the work of
// the whole drawing) decides whether splitting is worth its cost.
void DrawRowBands(int top, int rows, int height, int64_t pixels, RowBandFn fn, const void* job);

// Threads that draw, the calling one included (1: the pool is off). The
// starting value is QUARNEX_DRAW_THREADS, or the number of processors.
int DrawThreads();
// n < 1 counts as 1; the workers of a larger pool are started as needed.
// Not to be called while a drawing runs.
void SetDrawThreads(int n);
// The starting thread count for a QUARNEX_DRAW_THREADS value (null: unset)
// on a machine with the given number of processors.
int DrawThreadsFor(const char* text, int processors);

}  // namespace qx

#endif
