// Truevision TGA: colour-mapped and true-colour, plain and run-length coded,
// in any of the four orientations.
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/graphics/decode_util.h"
#include "runtime/graphics/graph_image.h"

namespace qx {
namespace {

constexpr int kFooterSize = 26;

// Decodes width x height values of valueSize bytes into values, in stored order.
bool ReadRunLength(const uint8_t* data, size_t size, uint8_t* values, size_t count, int valueSize) {
  size_t p = 0, produced = 0;
  while (produced < count) {
    if (p >= size) return false;
    int packet = data[p++];
    size_t n = static_cast<size_t>(packet & 0x7F) + 1;
    if (n > count - produced) n = count - produced;  // a packet past the picture is cut
    if (packet & 0x80) {
      if (p + valueSize > size) return false;
      for (size_t i = 0; i < n; ++i) memcpy(values + (produced + i) * valueSize, data + p, valueSize);
      p += valueSize;
    } else {
      size_t bytes = n * valueSize;
      if (p + bytes > size) return false;
      memcpy(values + produced * valueSize, data + p, bytes);
      p += bytes;
      // Values of a literal packet beyond the picture are skipped.
      size_t full = (static_cast<size_t>(packet & 0x7F) + 1) * valueSize;
      p += full - bytes;
    }
    produced += n;
  }
  return true;
}

}  // namespace

int DecodeTga(const StreamOps* ops, void* stream, GraphImage* out) {
  StreamIn in{ops, stream};
  int64_t fileSize = in.Size();
  if (fileSize < 18) return -1;
  bool footer = false;
  if (fileSize >= 18 + kFooterSize) {
    uint8_t tail[kFooterSize];
    if (!in.Seek(fileSize - kFooterSize) || !in.Read(tail, kFooterSize)) return -1;
    footer = memcmp(tail + 8, "TRUEVISION-XFILE", 16) == 0 && LoadU32(tail) == 0;
  }
  uint8_t h[18];
  if (!in.Seek(0) || !in.Read(h, 18)) return -1;
  int idLength = h[0], mapType = h[1], type = h[2];
  int mapFirst = LoadU16(h + 3), mapLength = LoadU16(h + 5), mapBits = h[7];
  int xOrigin = LoadU16(h + 8), yOrigin = LoadU16(h + 10);
  int width = LoadU16(h + 12), height = LoadU16(h + 14), pixelBits = h[16], descriptor = h[17];

  if (type != 1 && type != 2 && type != 9 && type != 10) return -1;
  if (xOrigin != 0 || yOrigin != 0 || width > 4095 || height > 4095) return -1;
  if (!ImageSizeAllowed(width, height, 4)) return -1;
  const bool mapped = type == 1 || type == 9;
  const int depth = mapped ? mapBits : pixelBits;
  if (depth != 16 && depth != 24 && depth != 32) return -1;
  if (mapped && (mapType != 1 || pixelBits != 8)) return -1;
  const int bpp = depth / 8;

  // Colour map entries past the 256 a one-byte index reaches are read but dropped.
  int64_t at = 18 + idLength;
  uint8_t map[256 * 4];
  memset(map, 0, sizeof(map));
  if (mapType == 1) {
    int entrySize = (mapBits + 7) / 8;
    int64_t mapBytes = static_cast<int64_t>(mapLength) * entrySize;
    if (at + mapBytes > fileSize) return -1;
    if (mapped) {
      uint8_t* entries = static_cast<uint8_t*>(MemAlloc(mapBytes > 0 ? mapBytes : 1));
      if (!entries) return -1;
      bool ok = in.Seek(at) && in.Read(entries, mapBytes);
      for (int i = 0; ok && i < mapLength && mapFirst + i < 256; ++i)
        memcpy(map + (mapFirst + i) * bpp, entries + i * entrySize, bpp);
      MemFree(entries);
      if (!ok) return -1;
    }
    at += mapBytes;
  }

  const int valueSize = mapped ? 1 : bpp;
  const size_t count = static_cast<size_t>(width) * height;
  int64_t end = fileSize - (footer ? kFooterSize : 0);
  if (end <= at) return -1;
  size_t dataSize = static_cast<size_t>(end - at);
  const bool rle = type >= 9;
  if (!rle && dataSize < count * valueSize) return -1;
  if (!rle) dataSize = count * valueSize;

  uint8_t* data = static_cast<uint8_t*>(MemAlloc(dataSize));
  uint8_t* values = rle ? static_cast<uint8_t*>(MemAlloc(count * valueSize)) : data;
  uint8_t* pixels = static_cast<uint8_t*>(MemAlloc(count * bpp));
  bool ok = data && values && pixels && in.Seek(at) && in.Read(data, dataSize);
  if (ok && rle) ok = ReadRunLength(data, dataSize, values, count, valueSize);
  if (ok) {
    const bool bottomUp = (descriptor & 0x20) == 0;
    const bool rightToLeft = (descriptor & 0x10) != 0;
    for (int sy = 0; sy < height; ++sy) {
      int y = bottomUp ? height - 1 - sy : sy;
      for (int sx = 0; sx < width; ++sx) {
        int x = rightToLeft ? width - 1 - sx : sx;
        const uint8_t* v = values + (static_cast<size_t>(sy) * width + sx) * valueSize;
        const uint8_t* src = mapped ? map + *v * bpp : v;
        memcpy(pixels + (static_cast<size_t>(y) * width + x) * bpp, src, bpp);
      }
    }
  }
  if (values && values != data) MemFree(values);
  if (data) MemFree(data);
  if (!ok) {
    if (pixels) MemFree(pixels);
    return -1;
  }
  if (depth == 16) {
    SetXrgb16Format(&out->format);
  } else if (depth == 24) {
    SetRgb24Format(&out->format);
  } else {
    SetArgb32Format(&out->format);
  }
  out->width = width;
  out->height = height;
  out->pitch = width * bpp;
  out->pixels = pixels;
  return 0;
}

}  // namespace qx
