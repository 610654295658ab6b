// The software renderer: exact per-pixel arithmetic for drawing one MEMIMG
// into another and filling rectangles, under the current DrawState.
#ifndef QUARNEX_RUNTIME_GRAPHICS_RENDERER_H
#define QUARNEX_RUNTIME_GRAPHICS_RENDERER_H

#include <stdint.h>

#include "runtime/graphics/memimg.h"

namespace qx {

// Builds the lookup tables (once).
void InitRendererTables();

void DrawImageAt(MEMIMG* dest, const MEMIMG* src, int x, int y, bool trans, const MEMIMG* mask);
void DrawImageRotated(MEMIMG* dest, const MEMIMG* src, int x, int y, float angle, float scale, bool trans,
                      bool turn, const MEMIMG* mask);
void DrawImageStretched(MEMIMG* dest, const MEMIMG* src, const Rect* destRect, bool trans);
// rect null: the whole image.
void FillRect(MEMIMG* dest, const Rect* rect, uint32_t color);

}  // namespace qx

#endif
