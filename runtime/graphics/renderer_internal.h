// Shared pieces of the software renderer: the per-drawing plan chosen once
// from the draw state, the mapped-span walker behind rotated, stretched and
// triangle drawing, and the vector paths.
#ifndef QUARNEX_RUNTIME_GRAPHICS_RENDERER_INTERNAL_H
#define QUARNEX_RUNTIME_GRAPHICS_RENDERER_INTERNAL_H

#include <stdint.h>

#include "runtime/graphics/memimg.h"
#include "runtime/graphics/renderer.h"
#include "runtime/graphics/renderer_kernels.h"

namespace qx {

using MapRowFn = void (*)(uint8_t* d, const uint8_t* src, int spitch, const uint8_t* mk, int mpitch, int64_t sx,
                          int64_t sy, int64_t dx, int64_t dy, int n, const render::Ctx& c);

struct DrawPlan {
  render::Ctx ctx;
  void (*at)(uint8_t* d, int dpitch, const uint8_t* s, int spitch, const uint8_t* m, int mpitch, int w, int h,
             const render::Ctx& c);
  MapRowFn mapRow;
  bool plainCopy;
  int kind;
  int variant;
  bool keyTest;
  bool mask;
  bool bright;
  uint32_t brightness;  // 0x00RRGGBB
  bool is32;
  int srcBpp;
  int srcW, srcH;
  int dstBpp;
};

// Source position of the box's top-left pixel and its steps, 18 fraction bits.
struct MapSetup {
  int64_t sx0, sy0;
  int64_t dx, dy;        // one pixel right
  int64_t rowDx, rowDy;  // one row down
  // Optional narrowing of a row's span [lo, hi) (offsets from the box's left).
  void (*spanLimit)(const void* data, int y, int left, int64_t* lo, int64_t* hi);
  const void* spanData;
};

struct FillPlan {
  int mode;
  uint32_t p;
  uint32_t color;
  bool is32;
};

// The rectangle clipping rule, in place.
void ClipRect(Rect* r, const Rect& bounds);

// Chooses the kernels for a drawing; false when nothing is to be drawn.
bool PrepareDraw(const MEMIMG* dest, const MEMIMG* src, bool trans, const MEMIMG* mask, bool mapped,
                 DrawPlan* plan);
bool RotationSetup(int x, int y, float angle, float scale, int w, int h, const Rect& area, Rect* box,
                   MapSetup* map);
void DrawMappedSpans(MEMIMG* dest, const MEMIMG* src, const MEMIMG* mask, const DrawPlan& plan, const Rect& box,
                     const MapSetup& map);
void DrawRotatedTurned(MEMIMG* dest, const MEMIMG* src, int x, int y, float angle, float scale, bool trans,
                       const MEMIMG* mask, const SourceWindow* window);
// The mask view aligned with a window's source: false when the mask is too
// small for the whole picture (the drawing is then refused, as it is without a window).
bool WindowMask(const MEMIMG* mask, const SourceWindow* window, MEMIMG* view, const MEMIMG** out);
void FillRow(const FillPlan& plan, uint8_t* row, int w);

// Up to 16 rows of a mapped drawing taken at once: row k < rows covers the
// columns [lo[k], hi[k]) counted from the box's left; the other rows are empty.
struct MappedBlock {
  uint8_t* d;  // the box's left on the block's first row
  int dpitch;
  const uint8_t* src;
  int spitch;
  int64_t sx, sy;  // source position of the block's first row at the box's left
  int64_t dx, dy, rowDx, rowDy;
  int rows;
  int32_t lo[16], hi[16];
};

// The vector paths of one level (renderer_vec.h); each returns false (0
// pixels) when it has no path for the plan.
struct VecOps {
  bool (*drawAt)(const DrawPlan& plan, uint8_t* d, int dpitch, const uint8_t* s, int spitch, const uint8_t* m,
                 int mpitch, int w, int h);
  bool (*mappedRow)(const DrawPlan& plan, uint8_t* d, const uint8_t* src, int spitch, const uint8_t* mk, int mpitch,
                    int64_t sx, int64_t sy, int64_t dx, int64_t dy, int n);
  int (*fillRow)(const FillPlan& plan, uint8_t* row, int w);
  bool (*mappedBlock)(const DrawPlan& plan, const MappedBlock& block);
};
extern const VecOps kVecSse2, kVecAvx2, kVecAvx512;

// The paths of the level in force; each returns false when it has no path for the plan.
bool SimdDrawAt(const DrawPlan& plan, uint8_t* d, int dpitch, const uint8_t* s, int spitch, const uint8_t* m,
                int mpitch, int w, int h);
bool SimdMappedRow(const DrawPlan& plan, uint8_t* d, const uint8_t* src, int spitch, const uint8_t* mk,
                   int mpitch, int64_t sx, int64_t sy, int64_t dx, int64_t dy, int n);
bool SimdMappedBlock(const DrawPlan& plan, const MappedBlock& block);
// Returns the number of pixels it filled: the whole row or none.
int SimdFillRow(const FillPlan& plan, uint8_t* row, int w);

}  // namespace qx

#endif
