// The runtime's own raw format: "BGRA", a channel-depth marker, width, height,
// then the pixels with 8- or 16-bit channels.
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/graphics/decode_util.h"
#include "runtime/graphics/graph_image.h"

namespace qx {

int DecodeBgra(const StreamOps* ops, void* stream, GraphImage* out) {
  StreamIn in{ops, stream};
  uint8_t header[16];
  if (!in.Read(header, 16) || memcmp(header, "BGRA", 4) != 0) return -1;
  uint32_t marker = LoadU32(header + 4);
  uint32_t width = LoadU32(header + 8), height = LoadU32(header + 12);
  if (marker != 0x08080808 && marker != 0x10101010) return -1;
  if (!ImageSizeAllowed(width, height, 4)) return -1;
  size_t pitch = static_cast<size_t>(width) * 4;
  uint8_t* pixels = static_cast<uint8_t*>(MemAlloc(pitch * height));
  if (!pixels) return -1;
  bool ok = true;
  if (marker == 0x08080808) {
    ok = in.Read(pixels, pitch * height);
  } else {
    // Each channel keeps its high byte.
    uint8_t* row = static_cast<uint8_t*>(MemAlloc(pitch * 2));
    ok = row != nullptr;
    for (uint32_t y = 0; ok && y < height; ++y) {
      ok = in.Read(row, pitch * 2);
      uint8_t* dst = pixels + pitch * y;
      for (size_t i = 0; ok && i < pitch; ++i) dst[i] = row[i * 2 + 1];
    }
    if (row) MemFree(row);
  }
  if (!ok) {
    MemFree(pixels);
    return -1;
  }
  SetArgb32Format(&out->format);
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  out->pitch = static_cast<int>(pitch);
  out->pixels = pixels;
  return 0;
}

}  // namespace qx
