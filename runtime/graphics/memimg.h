// Pixel layouts and memory images: the software renderer's sources and
// targets, the pixel stores of graphs and the screens.
#ifndef QUARNEX_RUNTIME_GRAPHICS_MEMIMG_H
#define QUARNEX_RUNTIME_GRAPHICS_MEMIMG_H

#include <stddef.h>
#include <stdint.h>

#include "runtime/runtime.h"

namespace qx {

constexpr uint32_t kMemImgValid = 0x12345678;
constexpr int kMaxMemImageSide = 65535;

enum MemImgPixelType {
  kPixel16 = 0,       // 16-bit colour (32 bits with alpha)
  kPixel32 = 1,       // 32-bit colour
  kPixelMask8 = 2,    // 8-bit single channel (blend masks)
  kPixelDepth16 = 3,  // 16-bit depth
};

struct MEMIMG {
  uint32_t validMarker;
  int width, height;
  int pitch;
  int pitchShift;
  const ColorFormat* format;
  uint32_t colorKey;
  int pixelType;
  int paletteFlag;
  int paletteCount;
  int alphaFlag;
  int premultipliedFlag, runTableFlag;
  int borrowedFlag;
  void* palette;
  void* paletteCopy;
  uint8_t paletteArea[2048];
  uint8_t* pixels;
  uint8_t* premultiplied;
  uint8_t* runTable;
};

void BuildColorFormat(ColorFormat* format, int bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                      uint32_t alphaMask);
uint32_t PackColor(const ColorFormat* format, int r, int g, int b, int a);
void UnpackColor(const ColorFormat* format, uint32_t value, int* r, int* g, int* b, int* a);
const ColorFormat* GetMemImageFormat(int pixelType, int alphaFlag, int paletteFlag);
int MemImageBytesPerPixel(int pixelType, int alphaFlag, int paletteFlag);

// pitch -1: computed. pixels null: allocated; otherwise borrowed.
int CreateMemImage(MEMIMG* image, int width, int height, int pitch, uint32_t colorKey, int pixelType,
                   int paletteFlag, int alphaFlag, bool withHelpers, void* pixels = nullptr);
void ReleaseMemImage(MEMIMG* image);
void MemImageView(MEMIMG* view, const MEMIMG* source, int x, int y, int width, int height);

}  // namespace qx

#endif
