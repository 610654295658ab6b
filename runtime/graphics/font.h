// Font handles: a rasterised face of a given size and weight with a cache of
// rendered characters, drawn onto the current draw target.
#ifndef QUARNEX_RUNTIME_GRAPHICS_FONT_H
#define QUARNEX_RUNTIME_GRAPHICS_FONT_H

#include <stdint.h>

#include "runtime/runtime.h"

namespace qx {

constexpr int kFontHandleMax = 40;

enum FontType {
  kFontNormal = 0,
  kFontEdge = 1,
  kFontAntialiasing = 2,
  kFontAntialiasingEdge = 3,
};

// face null or empty: the default face. -1 for size, thickness, type,
// charSet or edgeSize: the default. slot/check -1: chosen by the table.
FontHandle CreateFontToHandle(const char* face, int size, int thickness, int type, int charSet, int edgeSize,
                              int italic, int slot = -1, int check = -1);
int DeleteFontHandle(FontHandle font);
void DeleteAllFonts();
// Sets *flag to 0 now and to 1 when the font is deleted.
void SetFontLostFlag(FontHandle font, int* flag);

// Colours are 0x00RRGGBB; both are scaled by the draw brightness.
int DrawFontString(int x, int y, const char* text, uint32_t color, FontHandle font, uint32_t edgeColor,
                   int vertical);
// length -1: up to the terminating zero.
int GetFontStringWidth(const char* text, int length, FontHandle font);

FontHandle GetDefaultFont();

// What a handle was made with, for tests and re-creation.
struct FontInfo {
  int size, thickness, type, edgeSize, italic, charSet, spacing;
  int cellWidth, cellHeight, cacheCapacity;
  int ascent, height, maxWidth;
};
int GetFontInfo(FontHandle font, FontInfo* out);
int SetFontSpacing(FontHandle font, int spacing);

// The cached glyph of one character code (two bytes as a little-endian value
// for a double-byte character): 0, or -1 when it is not cached.
struct CachedGlyph {
  int slot;
  int xOffset, yOffset, advance;
  int width, height;
};
int LookUpCachedGlyph(FontHandle font, unsigned code, CachedGlyph* out);

}  // namespace qx

#endif
