// The hardware back end above the platform: texture stores behind the
// graphs' pixel stores, the pending batch of rectangles, and the back screen
// as the graphics processor's render target.
#ifndef QUARNEX_RUNTIME_GRAPHICS_HW_H
#define QUARNEX_RUNTIME_GRAPHICS_HW_H

#include <stdint.h>

#include "runtime/graphics/graph.h"
#include "runtime/graphics/memimg.h"

namespace qx {

// 1 when the platform offers a graphics processor at all.
int HwAvailable();
// Makes the 3D device with a back screen of the screen's size; 0 or -1. An
// automatic choice refuses a processor that rasterises on the main processor.
int HwCreateDevice(int width, int height);
void HwDestroyDevice();
// 1 while the 3D device draws the back screen.
int HwInUse();
// Texture sides the device allows (published at device creation).
void HwTextureLimits(int* minSide, int* maxSide);
// Renderer string of the device in use ("" without one).
const char* HwRendererName();

// Draws everything batched so far: before presentation, read-back, texture
// changes and the end of the device.
void FlushPendingDrawing();

// Drawing onto the back screen (the current draw target) through the batch.
int HwDrawGraphAt(const GraphRecord* graph, int x, int y, bool trans);
int HwDrawGraphRotated(const GraphRecord* graph, float x, float y, float scale, float angle, bool trans, bool turn);
int HwFillRect(const Rect& rect, uint32_t colour);
void HwClearBackScreen(int r, int g, int b);
// The back screen's pixels for the main processor: read back, and for
// writing also sent back to the device before its next drawing.
void HwBackScreenForRead(MEMIMG* back);
void HwBackScreenForWrite(MEMIMG* back);
// Shows the back screen, or the given screen image instead.
void HwPresent(const MEMIMG* image);

// A store's pixels changed on the main processor; its textures are refilled
// before they are drawn again.
void HwNoteStoreChanged(SurfaceData* store);
void HwReleaseStore(SurfaceData* store);

// Graphs drawn and batches sent since the device was made (statistics).
uint64_t HwQuadsDrawn();
uint64_t HwBatchesSent();

}  // namespace qx

#endif
