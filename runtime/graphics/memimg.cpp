#include "runtime/graphics/memimg.h"

#include <string.h>

#include "runtime/core/alloc.h"

namespace qx {
namespace {

void MaskPosition(uint32_t mask, uint8_t* shift, uint8_t* bits) {
  *shift = 0;
  *bits = 0;
  if (mask == 0) return;
  int s = 0;
  while (((mask >> s) & 1u) == 0) ++s;
  *shift = static_cast<uint8_t>(s);
  *bits = static_cast<uint8_t>(__builtin_popcount(mask));
}

int Channel(uint32_t value, uint32_t mask, int shift, int bits) {
  if (bits == 0) return 0;
  uint32_t maxValue = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
  return static_cast<int>(static_cast<uint64_t>((value & mask) >> shift) * 255u / maxValue);
}

uint32_t Narrow(int value, int bits) {
  if (bits >= 8) return static_cast<uint32_t>(value & 0xFF) << (bits - 8);
  return static_cast<uint32_t>(value & 0xFF) >> (8 - bits);
}

}  // namespace

void BuildColorFormat(ColorFormat* f, int bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                      uint32_t alphaMask) {
  memset(f, 0, sizeof(*f));
  f->ColorBitDepth = static_cast<uint16_t>(bits);
  f->BytesPerPixel = static_cast<uint16_t>(bits / 8);
  f->RedMask = redMask;
  f->GreenMask = greenMask;
  f->BlueMask = blueMask;
  f->AlphaMask = alphaMask;
  MaskPosition(redMask, &f->RedShift, &f->RedBits);
  MaskPosition(greenMask, &f->GreenShift, &f->GreenBits);
  MaskPosition(blueMask, &f->BlueShift, &f->BlueBits);
  MaskPosition(alphaMask, &f->AlphaShift, &f->AlphaBits);
  uint32_t all = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
  f->UnusedMask = all & ~(redMask | greenMask | blueMask | alphaMask);
  MaskPosition(f->UnusedMask, &f->UnusedShift, &f->UnusedBits);
}

uint32_t PackColor(const ColorFormat* f, int r, int g, int b, int a) {
  uint32_t v = (Narrow(b, f->BlueBits) << f->BlueShift) + (Narrow(g, f->GreenBits) << f->GreenShift) +
               (Narrow(r, f->RedBits) << f->RedShift) + f->UnusedMask;
  if (f->AlphaBits > 0) v += Narrow(a, f->AlphaBits) << f->AlphaShift;
  return v;
}

void UnpackColor(const ColorFormat* f, uint32_t v, int* r, int* g, int* b, int* a) {
  if (f->ColorBitDepth == 8 && f->BytesPerPixel == 1 && f->RedMask == 0xFF0000) {
    const uint8_t* e = &f->PaletteTable[(v & 0xFF) * 4];
    v = (static_cast<uint32_t>(e[0]) << f->BlueShift) | (static_cast<uint32_t>(e[1]) << f->GreenShift) |
        (static_cast<uint32_t>(e[2]) << f->RedShift);
  }
  if (r) *r = Channel(v, f->RedMask, f->RedShift, f->RedBits);
  if (g) *g = Channel(v, f->GreenMask, f->GreenShift, f->GreenBits);
  if (b) *b = Channel(v, f->BlueMask, f->BlueShift, f->BlueBits);
  if (a) *a = Channel(v, f->AlphaMask, f->AlphaShift, f->AlphaBits);
}

const ColorFormat* GetMemImageFormat(int pixelType, int alphaFlag, int paletteFlag) {
  // Built on first use and never changed.
  static ColorFormat formats[9];
  static bool built = false;
  if (!built) {
    BuildColorFormat(&formats[0], 16, 0xF800, 0x7E0, 0x1F, 0);
    BuildColorFormat(&formats[1], 32, 0xF800, 0x7E0, 0x1F, 0xFF0000);
    BuildColorFormat(&formats[2], 8, 0xF800, 0x7E0, 0x1F, 0);
    formats[2].BytesPerPixel = 1;
    BuildColorFormat(&formats[3], 8, 0xF800, 0x7E0, 0x1F, 0xFF0000);
    formats[3].BytesPerPixel = 1;
    BuildColorFormat(&formats[4], 32, 0xFF0000, 0xFF00, 0xFF, 0);
    BuildColorFormat(&formats[5], 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    BuildColorFormat(&formats[6], 8, 0xFF0000, 0xFF00, 0xFF, 0);
    formats[6].BytesPerPixel = 1;
    BuildColorFormat(&formats[7], 8, 0xFF, 0xFF, 0xFF, 0xFF);
    BuildColorFormat(&formats[8], 16, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
    built = true;
  }
  switch (pixelType) {
    case kPixel16:
      if (paletteFlag) return alphaFlag ? &formats[3] : &formats[2];
      return alphaFlag ? &formats[1] : &formats[0];
    case kPixel32:
      if (paletteFlag) return &formats[6];
      return alphaFlag ? &formats[5] : &formats[4];
    case kPixelMask8:
      return &formats[7];
    default:
      return &formats[8];
  }
}

int MemImageBytesPerPixel(int pixelType, int alphaFlag, int paletteFlag) {
  if (paletteFlag) return 1;
  switch (pixelType) {
    case kPixel16: return alphaFlag ? 4 : 2;
    case kPixel32: return 4;
    case kPixelMask8: return 1;
    default: return 2;
  }
}

int CreateMemImage(MEMIMG* img, int width, int height, int pitch, uint32_t colorKey, int pixelType,
                   int paletteFlag, int alphaFlag, bool withHelpers, void* pixels) {
  if (img->validMarker == kMemImgValid) return -1;
  memset(img, 0, sizeof(*img));
  if (pixelType == kPixelMask8 || pixelType == kPixelDepth16) {
    paletteFlag = 0;
    alphaFlag = 0;
  }
  if (paletteFlag) alphaFlag = 0;
  int bpp = MemImageBytesPerPixel(pixelType, alphaFlag, paletteFlag);
  // Sizes whose byte counts would overflow are refused, not wrapped.
  if (width < 0 || height < 0 || width > kMaxMemImageSide || height > kMaxMemImageSide) return -1;
  img->width = width;
  img->height = height;
  img->pitch = pitch >= 0 ? pitch : ((width * bpp + 15) & ~15);
  img->pitchShift = -1;
  if (img->pitch > 0 && (img->pitch & (img->pitch - 1)) == 0) img->pitchShift = __builtin_ctz(img->pitch);
  img->format = GetMemImageFormat(pixelType, alphaFlag, paletteFlag);
  img->colorKey = colorKey;
  img->pixelType = pixelType;
  img->paletteFlag = paletteFlag;
  img->alphaFlag = alphaFlag;
  img->palette = img->paletteArea;
  img->paletteCopy = img->paletteArea + 1024;
  size_t bytes = static_cast<size_t>(img->pitch) * static_cast<size_t>(height);
  if (pixels) {
    img->pixels = static_cast<uint8_t*>(pixels);
    img->borrowedFlag = 1;
  } else {
    img->pixels = static_cast<uint8_t*>(MemAlloc(bytes ? bytes : 1));
    if (!img->pixels) return -1;
  }
  bool failed = false;
  if (withHelpers) {
    if (alphaFlag) {
      img->premultiplied = static_cast<uint8_t*>(MemAlloc(bytes ? bytes : 1));
      img->premultipliedFlag = img->premultiplied != nullptr;
      failed = !img->premultiplied;
    }
    if (!failed && pixelType != kPixelMask8) {
      img->runTable = static_cast<uint8_t*>(MemAlloc(static_cast<size_t>(width + 5) * height + 1));
      img->runTableFlag = img->runTable != nullptr;
      failed = !img->runTable;
    }
  }
  if (failed) {
    // The image never becomes valid, so nothing would free these later.
    if (!img->borrowedFlag) MemFree(img->pixels);
    if (img->premultiplied) MemFree(img->premultiplied);
    img->pixels = img->premultiplied = nullptr;
    img->premultipliedFlag = img->runTableFlag = 0;
    return -1;
  }
  img->validMarker = kMemImgValid;
  return 0;
}

void ReleaseMemImage(MEMIMG* img) {
  if (img->validMarker != kMemImgValid) return;
  if (!img->borrowedFlag && img->pixels) MemFree(img->pixels);
  if (img->premultiplied) MemFree(img->premultiplied);
  if (img->runTable) MemFree(img->runTable);
  img->pixels = nullptr;
  img->premultiplied = nullptr;
  img->runTable = nullptr;
  img->validMarker = 0;
}

void MemImageView(MEMIMG* view, const MEMIMG* src, int x, int y, int width, int height) {
  *view = *src;
  int bpp = MemImageBytesPerPixel(src->pixelType, src->alphaFlag, src->paletteFlag);
  view->width = width;
  view->height = height;
  view->pixels = src->pixels + static_cast<ptrdiff_t>(y) * src->pitch + static_cast<ptrdiff_t>(x) * bpp;
  view->borrowedFlag = 1;
  view->premultiplied = nullptr;
  view->runTable = nullptr;
  view->premultipliedFlag = 0;
  view->runTableFlag = 0;
  // The view shares the source's palette, so later palette changes show through.
  view->palette = src->palette;
  view->paletteCopy = src->paletteCopy;
}

}  // namespace qx

int CreateColorFormat(ColorFormat* out, int bits, int redMask, int greenMask, int blueMask, int alphaMask) {
  qx::BuildColorFormat(out, bits, static_cast<uint32_t>(redMask), static_cast<uint32_t>(greenMask),
                       static_cast<uint32_t>(blueMask), static_cast<uint32_t>(alphaMask));
  return 0;
}
