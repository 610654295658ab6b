#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/graphics/graph_image.h"
#include "runtime/graphics/memimg.h"

namespace qx {
namespace {

constexpr int kMaxAddedDecoders = 10;
ImageDecoder g_added[kMaxAddedDecoders];
int g_addedCount = 0;

const ImageDecoder kBuiltIn[] = {DecodeBmp, DecodeJpeg, DecodePng, DecodeBgra, DecodeTga, DecodeDds};

int RunDecoder(ImageDecoder decoder, const StreamOps* ops, void* stream, GraphImage* out) {
  memset(out, 0, sizeof(*out));
  if (ops->Seek(stream, 0, 0) != 0) return -1;
  if (decoder(ops, stream, out) == 0) return 0;
  // A refusing decoder must not hand half a picture to the next one.
  ReleaseGraphImage(out);
  return -1;
}

}  // namespace

int AddImageDecoder(ImageDecoder decoder) {
  if (g_addedCount >= kMaxAddedDecoders) return -1;
  g_added[g_addedCount++] = decoder;
  return 0;
}

void ClearImageDecoders() { g_addedCount = 0; }

int DecodeImage(const StreamOps* ops, void* stream, GraphImage* out) {
  for (int i = 0; i < g_addedCount; ++i)
    if (RunDecoder(g_added[i], ops, stream, out) == 0) return 0;
  for (ImageDecoder d : kBuiltIn)
    if (RunDecoder(d, ops, stream, out) == 0) return 0;
  return -1;
}

void ReleaseGraphImage(GraphImage* image) {
  if (image->pixels) MemFree(image->pixels);
  memset(image, 0, sizeof(*image));
}

bool ImageSizeAllowed(int64_t width, int64_t height, int64_t bytesPerPixel) {
  if (width <= 0 || height <= 0 || bytesPerPixel <= 0) return false;
  if (width > kMaxImageSide || height > kMaxImageSide) return false;
  return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * static_cast<uint64_t>(bytesPerPixel) <=
         kMaxImageBytes;
}

void SetPalette8Format(ColorFormat* f) {
  BuildColorFormat(f, 8, 0xFF0000, 0xFF00, 0xFF, 0);
  f->BytesPerPixel = 1;
  f->UnusedMask = 0xFF000000;
  f->UnusedShift = 24;
  f->UnusedBits = 8;
}

void SetGrey8Format(ColorFormat* f) {
  SetPalette8Format(f);
  for (int i = 0; i < 256; ++i) {
    f->PaletteTable[i * 4 + 0] = static_cast<uint8_t>(i);
    f->PaletteTable[i * 4 + 1] = static_cast<uint8_t>(i);
    f->PaletteTable[i * 4 + 2] = static_cast<uint8_t>(i);
  }
}

void SetRgb24Format(ColorFormat* f) { BuildColorFormat(f, 24, 0xFF0000, 0xFF00, 0xFF, 0); }
void SetArgb32Format(ColorFormat* f) { BuildColorFormat(f, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000); }
void SetXrgb16Format(ColorFormat* f) { BuildColorFormat(f, 16, 0x7C00, 0x3E0, 0x1F, 0); }
void SetGreyAlpha16Format(ColorFormat* f) {
  BuildColorFormat(f, 16, 0xFF, 0xFF, 0xFF, 0);
}

}  // namespace qx
