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
// The device's swap interval (0: presentation does not wait for the display).
int HwSwapInterval();

// Draws everything batched so far: before presentation, read-back, texture
// changes and the end of the device.
void FlushPendingDrawing();

// A texture store's tiles, made with the store: 0, or -1 with the failure
// logged (too many tiles, a texture the device refuses).
int HwCreateStore(SurfaceData* store);
// Sends a texture store's pixels to its tiles now, so that no drawing has to;
// 0, or -1 when the device refused them.
int HwFillStore(SurfaceData* store);
// 1 when the graph's pixels are on the device (a texture graph).
int HwDrawsGraph(const GraphRecord* graph);

// Drawing onto the back screen (the current draw target) through the batch;
// -1 when the device cannot be reached from here.
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
// Looks for a lost device and makes it again with every store refilled from
// its memory image; 1 when it did, 0 when nothing was lost, -1 when the
// device could not be made again.
int HwRecoverIfLost();
// Microseconds of 8 whole-screen copies on the device and through main memory.
void HwTimeTransfers(double* deviceUs, double* mainMemoryUs);

// A cache of glyph cells on the device, so text is drawn without reading the
// back screen. Null when the device cannot hold it.
struct HwGlyphAtlas;
HwGlyphAtlas* HwCreateGlyphAtlas(int cellWidth, int cellHeight, int capacity);
void HwDestroyGlyphAtlas(HwGlyphAtlas* atlas);
// A slot's cell changed (a new character in it).
void HwGlyphChanged(HwGlyphAtlas* atlas, int slot);
// Draws w x h pixels of a slot's glyph levels (edge: its edge levels), 0..16
// each, at (x, y) in the colour with the weight 0..255; 0 or -1. The levels
// are sent to the device the first time the slot is drawn.
int HwDrawGlyph(HwGlyphAtlas* atlas, int slot, const uint8_t* glyph, const uint8_t* edge, bool drawEdge, int x,
                int y, int w, int h, uint32_t colour, int strength);

// A store's pixels changed on the main processor; its textures are refilled
// before they are drawn again.
void HwNoteStoreChanged(SurfaceData* store);
void HwReleaseStore(SurfaceData* store);

// What the device was asked to do since it was made (statistics).
struct HwStats {
  uint64_t quads;         // rectangles batched
  uint64_t drawCalls;     // batches sent
  uint64_t stateChanges;  // batches whose state differs from the batch before
  uint64_t uploads;       // texture uploads
  uint64_t uploadBytes;
  uint64_t readBacks;     // back screen read back
  uint64_t writeBacks;    // back screen written from main memory
  uint64_t recoveries;    // lost devices made again
};
const HwStats& HwGetStats();
uint64_t HwQuadsDrawn();
uint64_t HwBatchesSent();

}  // namespace qx

#endif
