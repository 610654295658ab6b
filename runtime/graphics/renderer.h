// The software renderer: exact per-pixel arithmetic for drawing one MEMIMG
// into another and filling rectangles, under the current DrawState.
#ifndef QUARNEX_RUNTIME_GRAPHICS_RENDERER_H
#define QUARNEX_RUNTIME_GRAPHICS_RENDERER_H

#include <stdint.h>

#include "runtime/graphics/memimg.h"

namespace qx {

// Builds the lookup tables (once).
void InitRendererTables();

// A source that is the rectangle at (x, y) of a larger picture of
// width x height whose other pixels have alpha 0. The drawing is placed and
// mapped as that picture's; those pixels are left out, which only a
// drawing that copies pixels whole (an alpha source untransparent, mode 0,
// no mask) would notice. A mask stays aligned with the larger picture.
struct SourceWindow {
  int x, y;
  int width, height;
};

void DrawImageAt(MEMIMG* dest, const MEMIMG* src, int x, int y, bool trans, const MEMIMG* mask,
                 const SourceWindow* window = nullptr);
void DrawImageRotated(MEMIMG* dest, const MEMIMG* src, int x, int y, float angle, float scale, bool trans,
                      bool turn, const MEMIMG* mask, const SourceWindow* window = nullptr);
// A reversed rectangle is drawn as its normalised one.
void DrawImageStretched(MEMIMG* dest, const MEMIMG* src, const Rect* destRect, bool trans);
// A corner of a triangle on the destination and the source position it shows.
struct TriangleVertex {
  float x, y;  // destination pixels
  float u, v;  // source pixels
};
// Affine-mapped triangle; pixels on an edge shared by two triangles are drawn once.
void DrawImageTriangle(MEMIMG* dest, const MEMIMG* src, const TriangleVertex vertex[3], bool trans,
                       const MEMIMG* mask);
// rect null: the whole image.
void FillRect(MEMIMG* dest, const Rect* rect, uint32_t color);

// The lookup tables: B[i][j] = i * j / 255, A[p][j] = j * p / 255 (j -255..255)
// and the 6-bit blend table C[t][m][n] laid out flat.
const uint8_t* BrightnessTableRow(int i);
int MixTableValue(int p, int j);
const uint8_t* BlendTable6();

// Vector levels of the renderer's paths. The starting level is the best the
// processor has, or the one QUARNEX_SIMD names (none, sse2, avx2, avx512)
// when that is lower.
enum RendererSimd { kSimdNone = 0, kSimdSse2 = 1, kSimdAvx2 = 2, kSimdAvx512 = 3 };
// A level above what the processor supports falls back to the best supported.
// Returns the level actually in force.
int SetRendererSimdLevel(int level);
int RendererSimdLevel();
int RendererBestSimdLevel();
// The level a QUARNEX_SIMD value asks for, -1 for an unknown value.
int ParseRendererSimdLevel(const char* text);
// The starting level for a QUARNEX_SIMD value (null: unset); unknown values
// leave the best level.
int RendererStartSimdLevel(const char* text);

}  // namespace qx

#endif
