// Windows bitmaps: uncompressed 1, 4, 8, 16, 24 and 32 bits, bit fields, and
// the 4- and 8-bit run-length codings.
#include <stdlib.h>
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/core/log.h"
#include "runtime/graphics/decode_util.h"
#include "runtime/graphics/graph_image.h"
#include "runtime/graphics/memimg.h"

namespace qx {
namespace {

struct BmpInfo {
  int width;
  int height;  // rows, always positive
  bool bottomUp;
  int bits;
  uint32_t compression;
  uint8_t colors[256 * 4];  // blue, green, red, reserved
  uint32_t masks[3];
};

// The stored row that becomes output row y.
int SourceRow(const BmpInfo& info, int y) { return info.bottomUp ? info.height - 1 - y : y; }

void SetPalette(GraphImage* out, const BmpInfo& info, int entries) {
  SetPalette8Format(&out->format);
  for (int i = 0; i < entries; ++i) {
    memcpy(&out->format.PaletteTable[i * 4], &info.colors[i * 4], 3);
    out->format.PaletteTable[i * 4 + 3] = 0;
  }
}

uint8_t* AllocPixels(GraphImage* out, int pitch, int height) {
  out->pitch = pitch;
  out->pixels = static_cast<uint8_t*>(MemAllocZero(static_cast<size_t>(pitch) * height));
  return out->pixels;
}

// Run-length coded 8 or 4 bits into one byte per pixel.
int DecodeRle(const BmpInfo& info, const uint8_t* data, size_t size, GraphImage* out) {
  int pitch = (info.width + 3) & ~3;
  if (!AllocPixels(out, pitch, info.height)) return -1;
  const bool four = info.compression == 2;
  int x = 0, row = 0;
  size_t p = 0;
  auto put = [&](int value) {
    if (x < info.width && row < info.height) out->pixels[static_cast<size_t>(SourceRow(info, row)) * pitch + x] =
        static_cast<uint8_t>(value);
    ++x;
  };
  while (row < info.height) {
    if (p + 2 > size) break;  // data ended without an end-of-picture code: keep what was decoded
    int n = data[p], v = data[p + 1];
    p += 2;
    if (n > 0) {
      for (int i = 0; i < n && x < info.width; ++i) put(four ? ((i & 1) ? (v & 15) : (v >> 4)) : v);
      continue;
    }
    if (v == 0) {
      x = 0;
      ++row;
    } else if (v == 1) {
      break;
    } else if (v == 2) {
      if (p + 2 > size) break;
      x += data[p];
      row += data[p + 1];
      p += 2;
    } else {
      size_t bytes = four ? (static_cast<size_t>(v) + 1) / 2 : static_cast<size_t>(v);
      size_t padded = (bytes + 1) & ~static_cast<size_t>(1);
      if (p + bytes > size) return -1;
      for (int i = 0; i < v; ++i) {
        int b = data[p + (four ? i / 2 : i)];
        put(four ? ((i & 1) ? (b & 15) : (b >> 4)) : b);
      }
      p += padded;
    }
  }
  SetPalette(out, info, four ? 16 : 256);
  return 0;
}

// How many bits a mask spans and where, for widening to 8 bits.
struct MaskChannel {
  uint32_t mask;
  int shift;
  uint32_t max;
};

MaskChannel MakeChannel(uint32_t mask) {
  MaskChannel c{mask, 0, 0};
  if (mask == 0) return c;
  while (((mask >> c.shift) & 1u) == 0) ++c.shift;
  c.max = mask >> c.shift;
  return c;
}

uint8_t Widen(uint32_t value, const MaskChannel& c) {
  if (c.max == 0) return 0;
  uint64_t v = (value & c.mask) >> c.shift;
  return static_cast<uint8_t>((v * 255 * 2 + c.max) / (2ull * c.max));
}

// The variants the platform would convert: 1 bit, 16 and 32 bits, bit fields.
int DecodeToRgb24(const BmpInfo& info, const uint8_t* data, size_t stride, GraphImage* out) {
  int pitch = (info.width * 3 + 3) & ~3;
  if (!AllocPixels(out, pitch, info.height)) {
    LogWrite("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
    return -1;
  }
  MaskChannel r, g, b;
  if (info.compression == 3) {
    r = MakeChannel(info.masks[0]);
    g = MakeChannel(info.masks[1]);
    b = MakeChannel(info.masks[2]);
  } else if (info.bits == 16) {
    r = MakeChannel(0x7C00);
    g = MakeChannel(0x3E0);
    b = MakeChannel(0x1F);
  } else {
    r = MakeChannel(0xFF0000);
    g = MakeChannel(0xFF00);
    b = MakeChannel(0xFF);
  }
  for (int y = 0; y < info.height; ++y) {
    const uint8_t* src = data + static_cast<size_t>(SourceRow(info, y)) * stride;
    uint8_t* dst = out->pixels + static_cast<size_t>(y) * pitch;
    for (int x = 0; x < info.width; ++x, dst += 3) {
      if (info.bits == 1) {
        int index = (src[x >> 3] >> (7 - (x & 7))) & 1;
        memcpy(dst, &info.colors[index * 4], 3);
        continue;
      }
      uint32_t v = info.bits == 16 ? LoadU16(src + x * 2) : LoadU32(src + x * 4);
      dst[0] = Widen(v, b);
      dst[1] = Widen(v, g);
      dst[2] = Widen(v, r);
    }
  }
  SetRgb24Format(&out->format);
  return 0;
}

int DecodeUncompressed(const BmpInfo& info, const uint8_t* data, size_t size, GraphImage* out) {
  size_t stride = ((static_cast<size_t>(info.width) * info.bits + 31) / 32) * 4;
  size_t lastRow = (static_cast<size_t>(info.width) * info.bits + 7) / 8;
  if (size < stride * (info.height - 1) + lastRow) return -1;
  if (info.bits == 1 || info.bits == 16 || info.bits == 32 || info.compression == 3)
    return DecodeToRgb24(info, data, stride, out);
  int bpp = info.bits == 24 ? 3 : 1;
  int pitch = (info.width * bpp + 3) & ~3;
  if (!AllocPixels(out, pitch, info.height)) return -1;
  for (int y = 0; y < info.height; ++y) {
    const uint8_t* src = data + static_cast<size_t>(SourceRow(info, y)) * stride;
    uint8_t* dst = out->pixels + static_cast<size_t>(y) * pitch;
    if (info.bits == 4) {
      for (int x = 0; x < info.width; ++x) dst[x] = (x & 1) ? (src[x >> 1] & 15) : (src[x >> 1] >> 4);
    } else {
      memcpy(dst, src, static_cast<size_t>(info.width) * bpp);
    }
  }
  if (info.bits == 24) {
    SetRgb24Format(&out->format);
  } else {
    SetPalette(out, info, info.bits == 4 ? 16 : 256);
  }
  return 0;
}

}  // namespace

int DecodeBmp(const StreamOps* ops, void* stream, GraphImage* out) {
  StreamIn in{ops, stream};
  int64_t fileSize = in.Size();
  uint8_t fileHeader[14], infoHeader[44];
  if (fileSize < 14 + 44 || !in.Read(fileHeader, 14) || fileHeader[0] != 'B' || fileHeader[1] != 'M') return -1;
  if (!in.Read(infoHeader, 44)) return -1;

  BmpInfo info;
  memset(&info, 0, sizeof(info));
  uint32_t headerSize = LoadU32(infoHeader);
  int32_t width = static_cast<int32_t>(LoadU32(infoHeader + 4));
  int32_t height = static_cast<int32_t>(LoadU32(infoHeader + 8));
  info.bits = LoadU16(infoHeader + 14);
  info.compression = LoadU32(infoHeader + 16);
  uint32_t colorsUsed = LoadU32(infoHeader + 32);
  if (headerSize < 40 || headerSize > fileSize) return -1;
  if (height == INT32_MIN || width <= 0 || height == 0) return -1;
  info.width = width;
  info.height = height < 0 ? -height : height;
  info.bottomUp = height > 0;
  if (!ImageSizeAllowed(info.width, info.height, 4)) return -1;

  switch (info.compression) {
    case 0:
      if (info.bits != 1 && info.bits != 4 && info.bits != 8 && info.bits != 16 && info.bits != 24 &&
          info.bits != 32)
        return -1;
      break;
    case 1:
      if (info.bits != 8) return -1;
      break;
    case 2:
      if (info.bits != 4) return -1;
      break;
    case 3:
      if (info.bits != 16 && info.bits != 32) return -1;
      break;
    default:
      return -1;
  }

  if (info.bits <= 8) {
    // The colour table follows the information header, whatever its version.
    uint32_t entries = 1u << info.bits;
    if (colorsUsed > 0 && colorsUsed < entries) entries = colorsUsed;
    int64_t at = 14 + static_cast<int64_t>(headerSize);
    int64_t available = (fileSize - at) / 4;
    if (available < static_cast<int64_t>(entries)) entries = available > 0 ? static_cast<uint32_t>(available) : 0;
    if (!in.Seek(at) || !in.Read(info.colors, entries * 4)) return -1;
  } else if (info.compression == 3) {
    uint8_t masks[12];
    if (!in.Seek(14 + 40) || !in.Read(masks, 12)) return -1;
    for (int i = 0; i < 3; ++i) info.masks[i] = LoadU32(masks + i * 4);
    if (info.masks[0] == 0 && info.masks[1] == 0 && info.masks[2] == 0) return -1;
  }

  uint32_t offset = LoadU32(fileHeader + 10);
  if (offset >= fileSize) return -1;
  size_t size = static_cast<size_t>(fileSize - offset);
  uint8_t* data = static_cast<uint8_t*>(MemAlloc(size));
  if (!data) return -1;
  int result = -1;
  if (in.Seek(offset) && in.Read(data, size)) {
    result = info.compression == 1 || info.compression == 2 ? DecodeRle(info, data, size, out)
                                                             : DecodeUncompressed(info, data, size, out);
  }
  MemFree(data);
  if (result != 0) {
    ReleaseGraphImage(out);
    return -1;
  }
  out->width = info.width;
  out->height = info.height;
  return 0;
}

}  // namespace qx
