// Uncompressed DirectDraw surfaces: layouts from the header's bit masks or
// from the numeric format codes in the four-character-code field.
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/graphics/decode_util.h"
#include "runtime/graphics/graph_image.h"
#include "runtime/graphics/memimg.h"

namespace qx {
namespace {

struct NumericFormat {
  uint32_t code;
  int bits;
  uint32_t red, green, blue, alpha;
};

constexpr NumericFormat kNumericFormats[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {23, 16, 0xF800, 0x7E0, 0x1F, 0},
    {24, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {26, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {27, 8, 0xE0, 0x1C, 0x3, 0},
    {29, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {30, 16, 0xF00, 0xF0, 0xF, 0},
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
};

constexpr uint32_t kFlagPitch = 0x8;
constexpr uint32_t kPixelAlpha = 0x1;
constexpr uint32_t kPixelFourCC = 0x4;
constexpr uint32_t kPixelRgb = 0x40;

}  // namespace

int DecodeDds(const StreamOps* ops, void* stream, GraphImage* out) {
  StreamIn in{ops, stream};
  uint8_t file[128];
  if (!in.Read(file, 128) || memcmp(file, "DDS", 3) != 0) return -1;
  const uint8_t* h = file + 4;
  uint32_t flags = LoadU32(h + 4), height = LoadU32(h + 8), width = LoadU32(h + 12), pitch = LoadU32(h + 16);
  uint32_t pixelFlags = LoadU32(h + 76), fourCC = LoadU32(h + 80);
  int bits = static_cast<int>(LoadU32(h + 84));
  uint32_t red = LoadU32(h + 88), green = LoadU32(h + 92), blue = LoadU32(h + 96), alpha = LoadU32(h + 100);

  if (pixelFlags == kPixelFourCC) {
    const NumericFormat* hit = nullptr;
    for (const NumericFormat& f : kNumericFormats)
      if (f.code == fourCC) hit = &f;
    if (!hit) return -1;  // compressed codes are not read
    bits = hit->bits;
    red = hit->red;
    green = hit->green;
    blue = hit->blue;
    alpha = hit->alpha;
  } else if (pixelFlags & kPixelRgb) {
    if (!(pixelFlags & kPixelAlpha)) alpha = 0;
  } else {
    return -1;
  }
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return -1;
  if ((red | green | blue | alpha) == 0) return -1;
  if (!ImageSizeAllowed(width, height, 4)) return -1;
  const uint32_t rowBytes = width * static_cast<uint32_t>(bits / 8);
  if (!(flags & kFlagPitch)) pitch = rowBytes;
  // A pitch shorter than a row would let readers run past the buffer.
  if (pitch < rowBytes || !ImageSizeAllowed(pitch, height, 1)) return -1;

  size_t bytes = static_cast<size_t>(pitch) * height;
  uint8_t* pixels = static_cast<uint8_t*>(MemAlloc(bytes));
  if (!pixels) return -1;
  if (!in.Read(pixels, bytes)) {
    MemFree(pixels);
    return -1;
  }
  BuildColorFormat(&out->format, bits, red, green, blue, alpha);
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  out->pitch = static_cast<int>(pitch);
  out->pixels = pixels;
  return 0;
}

}  // namespace qx
