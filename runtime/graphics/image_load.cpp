// Image files into graphs: decoding, the "_a" alpha companion, graph
// creation and the pixel conversion into the graphs' stores.
#include <stdio.h>
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/core/api_internal.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"
#include "runtime/file/file.h"
#include "runtime/graphics/graph.h"
#include "runtime/graphics/hw.h"
#include "runtime/graphics/graph_image.h"

namespace qx {
namespace {

ImageFileLoader g_loader = LoadGraphImage;

// Files up to this size are read whole before decoding.
constexpr int64_t kWholeReadLimit = 64 << 20;

// Decodes from memory where it can: the file as the file layer already holds
// it, or one read of the whole file. The decoders then read from memory
// instead of asking the file layer (and an archive's reader thread) for a few
// kilobytes at a time. They see the same bytes either way.
int DecodeFile(const char* name, GraphImage* out) {
  FileHandle file = FileOpen(name, 0, 1, 0);
  if (file == 0) return -1;
  const uint8_t* held = nullptr;
  size_t bytes = 0;
  uint8_t* data = nullptr;
  if (!FileContentsInMemory(file, &held, &bytes)) {
    int64_t size = -1;
    if (FileSeek(file, 0, 2) == 0) size = FileTell(file);
    FileSeek(file, 0, 0);
    bytes = static_cast<size_t>(size);
    data = size > 0 && size <= kWholeReadLimit ? static_cast<uint8_t*>(MemAllocBrief(bytes)) : nullptr;
    if (data && FileRead(data, 1, bytes, file) == bytes) held = data;
  }
  MemoryStream* stream = held && bytes > 0 ? OpenMemoryStream(held, bytes) : nullptr;
  int result;
  if (stream) {
    result = DecodeImage(&MemoryStreamOps(), stream, out);
    MemoryStreamOps().Close(stream);
  } else {
    FileSeek(file, 0, 0);
    result = DecodeImage(&FileStreamOps(), FileStreamHandle(file), out);
  }
  if (data) MemFree(data);
  FileClose(file);
  return result;
}

// The name with "_a" before the extension of its last component.
bool AlphaName(const char* name, char* out, size_t outSize) {
  const char* dot = nullptr;
  for (const char* p = name; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      if (p[1]) ++p;  // the trail byte of a two-byte character is never a separator or a dot
      continue;
    }
    if (c == '/' || c == '\\') dot = nullptr;
    if (c == '.') dot = p;
  }
  size_t stem = dot ? static_cast<size_t>(dot - name) : strlen(name);
  const char* extension = dot ? dot : "";
  int n = snprintf(out, outSize, "%.*s_a%s", static_cast<int>(stem), name, extension);
  return n > 0 && static_cast<size_t>(n) < outSize;
}

uint32_t ReadValue(const GraphImage* image, int x, int y) {
  const ColorFormat& f = image->format;
  const uint8_t* p = image->pixels + static_cast<size_t>(y) * image->pitch + static_cast<size_t>(x) * f.BytesPerPixel;
  switch (f.BytesPerPixel) {
    case 1:
      // Palette layouts read their entry; other 8-bit layouts are values.
      if (f.RedMask == 0xFF0000) {
        const uint8_t* e = &f.PaletteTable[*p * 4];
        return (static_cast<uint32_t>(e[0]) << f.BlueShift) | (static_cast<uint32_t>(e[1]) << f.GreenShift) |
               (static_cast<uint32_t>(e[2]) << f.RedShift);
      }
      return *p;
    case 2: return static_cast<uint32_t>(p[0] | (p[1] << 8));
    case 3: return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    default: return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<uint32_t>(p[3]) << 24);
  }
}

// A channel of w bits to d bits: narrowing by shifting, widening by scaling.
uint32_t Resize(uint32_t v, int w, int d) {
  if (w == 0 || d == 0) return 0;
  if (d <= w) return v >> (w - d);
  int k = d - w;
  uint64_t wide = (static_cast<uint64_t>(v) << k) + static_cast<uint64_t>(v) * ((1ull << k) - 1) / ((1ull << w) - 1);
  return static_cast<uint32_t>(wide);
}

uint32_t Field(uint32_t v, uint32_t mask, int shift) { return (v & mask) >> shift; }

void StoreValue(uint8_t* p, int bytes, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  if (bytes > 1) p[1] = static_cast<uint8_t>(v >> 8);
  if (bytes > 2) p[2] = static_cast<uint8_t>(v >> 16);
  if (bytes > 3) p[3] = static_cast<uint8_t>(v >> 24);
}

bool SameColourMasks(const ColorFormat& a, const ColorFormat& b) {
  return a.ColorBitDepth == b.ColorBitDepth && a.RedMask == b.RedMask && a.GreenMask == b.GreenMask &&
         a.BlueMask == b.BlueMask;
}

void RecomputeUnusedMask(GraphImage* image) {
  ColorFormat& f = image->format;
  int widths = f.RedBits + f.GreenBits + f.BlueBits + f.AlphaBits;
  if (widths == f.ColorBitDepth) {
    f.UnusedMask = 0;
  } else {
    uint32_t all = f.ColorBitDepth >= 32 ? 0xFFFFFFFFu : ((1u << f.ColorBitDepth) - 1u);
    f.UnusedMask = all & ~(f.RedMask | f.GreenMask | f.BlueMask | f.AlphaMask);
  }
}

bool IsPaletteLayout(const ColorFormat& f) { return f.BytesPerPixel == 1 && f.RedMask == 0xFF0000; }

// Transparent mode as it stands once the destination and the sources are known.
int EffectiveTransparentMode(const ColorFormat& df, const ColorFormat& sf, const GraphImage* alpha,
                             int transparentMode, int alphaFromRed) {
  if (df.AlphaBits == 0 || sf.AlphaBits > 0 || alpha || alphaFromRed) return 0;
  return transparentMode;
}

// True when the per-pixel conversion would store every source value
// unchanged: the same layout, and channels that fill every bit, so no stray
// bit is dropped and none is added.
bool ConversionIsCopy(const ColorFormat& sf, const ColorFormat& df, const GraphImage* alpha, int transparentMode,
                      int zeroColor, int alphaFromRed) {
  if (alpha || zeroColor || alphaFromRed || transparentMode != 0) return false;
  if (sf.BytesPerPixel != df.BytesPerPixel || sf.BytesPerPixel < 2 || sf.ColorBitDepth != sf.BytesPerPixel * 8)
    return false;
  if (!SameColourMasks(sf, df) || sf.AlphaMask != df.AlphaMask) return false;
  const uint32_t all = sf.ColorBitDepth >= 32 ? 0xFFFFFFFFu : ((1u << sf.ColorBitDepth) - 1u);
  return (sf.RedMask | sf.GreenMask | sf.BlueMask | sf.AlphaMask) == all && df.UnusedMask == 0;
}

// 8-bit blue, green, red bytes into 32-bit pixels with the same channel
// positions and no alpha: what the per-pixel conversion makes of them.
bool IsRgb24ToXrgb32(const ColorFormat& sf, const ColorFormat& df, const GraphImage* alpha, int zeroColor,
                     int alphaFromRed) {
  return !alpha && !zeroColor && !alphaFromRed && sf.BytesPerPixel == 3 && df.BytesPerPixel == 4 &&
         sf.AlphaBits == 0 && df.AlphaBits == 0 && sf.RedMask == 0xFF0000 && sf.GreenMask == 0xFF00 &&
         sf.BlueMask == 0xFF && df.RedMask == 0xFF0000 && df.GreenMask == 0xFF00 && df.BlueMask == 0xFF;
}

}  // namespace

ImageFileLoader GetImageFileLoader() { return g_loader; }
void InstallDefaultImageLoader() { g_loader = LoadGraphImage; }

void MirrorGraphImage(GraphImage* image) {
  if (!image->pixels) return;
  int bpp = image->format.BytesPerPixel;
  for (int y = 0; y < image->height; ++y) {
    uint8_t* row = image->pixels + static_cast<size_t>(y) * image->pitch;
    for (int a = 0, b = image->width - 1; a < b; ++a, --b) {
      uint8_t t[4];
      memcpy(t, row + a * bpp, bpp);
      memcpy(row + a * bpp, row + b * bpp, bpp);
      memcpy(row + b * bpp, t, bpp);
    }
  }
}

int ConvertImageRect(uint8_t* dest, int destPitch, const ColorFormat* df, const GraphImage* src,
                     const GraphImage* alpha, int destX, int destY, const Rect* sourceRect, int mirror,
                     int transparentMode, uint32_t transparentColor, int zeroColor, int alphaFromRed) {
  Rect r = *sourceRect;
  // Never read outside the pictures.
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > src->width) r.right = src->width;
  if (r.bottom > src->height) r.bottom = src->height;
  if (alpha) {
    if (r.right > alpha->width) r.right = alpha->width;
    if (r.bottom > alpha->height) r.bottom = alpha->height;
  }
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0 || !src->pixels) return -1;
  const ColorFormat& sf = src->format;
  const int dbpp = df->BytesPerPixel, sbpp = sf.BytesPerPixel;
  auto destPixel = [&](int x, int y) {
    int dx = mirror ? destX + w - 1 - x : destX + x;
    return dest + static_cast<size_t>(destY + y) * destPitch + static_cast<size_t>(dx) * dbpp;
  };
  auto srcPixel = [&](int x, int y) {
    return src->pixels + static_cast<size_t>(r.top + y) * src->pitch + static_cast<size_t>(r.left + x) * sbpp;
  };

  if (df->ColorBitDepth == 8 && !zeroColor) {
    if (sbpp != 1) return -1;
    int highest = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t v = *srcPixel(x, y);
        *destPixel(x, y) = v;
        if (v > highest) highest = v;
      }
    return highest;
  }

  if (!transparentMode && !alpha && !zeroColor && !alphaFromRed && SameColourMasks(sf, *df) &&
      sf.AlphaMask == df->AlphaMask && sbpp == dbpp) {
    for (int y = 0; y < h; ++y) {
      if (!mirror) {
        memcpy(destPixel(0, y), srcPixel(0, y), static_cast<size_t>(w) * dbpp);
      } else {
        for (int x = 0; x < w; ++x) memcpy(destPixel(x, y), srcPixel(x, y), dbpp);
      }
    }
    return 0;
  }

  transparentMode = EffectiveTransparentMode(*df, sf, alpha, transparentMode, alphaFromRed);
  const uint32_t colourMask = df->RedMask | df->GreenMask | df->BlueMask;

  if (ConversionIsCopy(sf, *df, alpha, transparentMode, zeroColor, alphaFromRed)) {
    for (int y = 0; y < h; ++y) {
      if (!mirror) {
        memcpy(destPixel(0, y), srcPixel(0, y), static_cast<size_t>(w) * dbpp);
      } else {
        for (int x = 0; x < w; ++x) memcpy(destPixel(x, y), srcPixel(x, y), dbpp);
      }
    }
    return 0;
  }
  if (!transparentMode && IsRgb24ToXrgb32(sf, *df, alpha, zeroColor, alphaFromRed)) {
    const uint32_t unused = df->UnusedMask;
    for (int y = 0; y < h; ++y) {
      const uint8_t* s = srcPixel(0, y);
      for (int x = 0; x < w; ++x, s += 3) {
        const uint32_t v = static_cast<uint32_t>(s[0] | (s[1] << 8) | (s[2] << 16)) | unused;
        StoreValue(destPixel(x, y), 4, v);
      }
    }
    return 0;
  }

  if (transparentMode && SameColourMasks(sf, *df) && sbpp == dbpp && sbpp > 1) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint32_t v = ReadValue(src, r.left + x, r.top + y) & ~df->AlphaMask;
        if ((v & colourMask) != (transparentColor & colourMask)) v |= df->AlphaMask;
        StoreValue(destPixel(x, y), dbpp, v);
      }
    return 0;
  }

  const uint32_t keyR = Field(transparentColor, df->RedMask, df->RedShift);
  const uint32_t keyG = Field(transparentColor, df->GreenMask, df->GreenShift);
  const uint32_t keyB = Field(transparentColor, df->BlueMask, df->BlueShift);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t v = ReadValue(src, r.left + x, r.top + y);
      uint32_t red = Resize(Field(v, sf.RedMask, sf.RedShift), sf.RedBits, df->RedBits);
      uint32_t green = Resize(Field(v, sf.GreenMask, sf.GreenShift), sf.GreenBits, df->GreenBits);
      uint32_t blue = Resize(Field(v, sf.BlueMask, sf.BlueShift), sf.BlueBits, df->BlueBits);
      uint32_t a;
      if (alpha) {
        uint32_t av = ReadValue(alpha, r.left + x, r.top + y);
        a = Resize(Field(av, alpha->format.RedMask, alpha->format.RedShift), alpha->format.RedBits, df->AlphaBits);
      } else if (sf.AlphaBits > 0) {
        a = Resize(Field(v, sf.AlphaMask, sf.AlphaShift), sf.AlphaBits, df->AlphaBits);
      } else {
        a = df->AlphaMask >> df->AlphaShift;
      }
      if (alphaFromRed) a = Resize(Field(v, sf.RedMask, sf.RedShift), sf.RedBits, df->AlphaBits);
      if (zeroColor) red = green = blue = 0;
      uint32_t out = (red << df->RedShift) | (green << df->GreenShift) | (blue << df->BlueShift);
      if (transparentMode) {
        bool key = red == keyR && green == keyG && blue == keyB;
        out |= key ? 0 : df->AlphaMask;
      } else {
        out |= (a << df->AlphaShift) & df->AlphaMask;
      }
      if (dbpp == 2 || dbpp == 4) out |= df->UnusedMask;
      StoreValue(destPixel(x, y), dbpp, out);
    }
  return 0;
}

int TransferImageToGraph(const GraphImage* picture, const GraphImage* alpha, int sourceX, int sourceY,
                         GraphHandle graph, int reverse) {
  GraphRecord* g = GetGraphRecord(graph);
  if (!g) return -1;
  g->fileName[0] = 0;
  g->reverse = reverse;
  g->sourceX = sourceX;
  g->sourceY = sourceY;
  for (int i = 0; i < g->tileCount; ++i) {
    SurfaceTile* t = GetSurfaceTile(g->tiles[i]);
    SurfaceData* data = t ? GetSurfaceData(t->store) : nullptr;
    if (!data || data->image.validMarker != kMemImgValid) return -1;
    MEMIMG& img = data->image;
    Rect rect = {sourceX + t->x, sourceY + t->y, sourceX + t->x + t->width, sourceY + t->y + t->height};
    const int bpp = MemImageBytesPerPixel(img.pixelType, img.alphaFlag, img.paletteFlag);
    // The rectangle must stay inside the store as well as the picture.
    if (t->storeX + t->width > img.width) rect.right = rect.left + (img.width - t->storeX);
    if (t->storeY + t->height > img.height) rect.bottom = rect.top + (img.height - t->storeY);
    (void)bpp;
    if (img.pixelType == kPixelMask8) {
      if (ConvertImageRect(img.pixels, img.pitch, img.format, picture, nullptr, t->storeX, t->storeY, &rect, 0, 0,
                           0, 1, 1) < 0)
        return -1;
    } else if (img.paletteFlag) {
      int highest = ConvertImageRect(img.pixels, img.pitch, img.format, picture, nullptr, t->storeX, t->storeY,
                                     &rect, 0, 0, 0, 0, 0);
      if (highest < 0) return -1;
      img.paletteCount = highest + 1;
      const uint8_t* table = picture->format.PaletteTable;
      const uint32_t tc = data->transparentColor;
      int key = -1;
      for (int e = 0; e < 256; ++e) {
        uint8_t b = table[e * 4], gr = table[e * 4 + 1], rd = table[e * 4 + 2];
        if (img.pixelType == kPixel16) {
          uint16_t v = static_cast<uint16_t>(((rd >> 3) << 11) | ((gr >> 2) << 5) | (b >> 3));
          static_cast<uint16_t*>(img.palette)[e] = v;
          uint16_t k = static_cast<uint16_t>((((tc >> 16) & 0xFF) >> 3) << 11 | (((tc >> 8) & 0xFF) >> 2) << 5 |
                                             ((tc & 0xFF) >> 3));
          if (key < 0 && v == k) key = e;
        } else {
          uint32_t v = (static_cast<uint32_t>(rd) << 16) | (gr << 8) | b;
          static_cast<uint32_t*>(img.palette)[e] = v;
          if (key < 0 && v == (tc & 0xFFFFFF)) key = e;
        }
      }
      img.colorKey = static_cast<uint32_t>(key < 0 ? 0 : key);
    } else {
      if (ConvertImageRect(img.pixels, img.pitch, img.format, picture, alpha, t->storeX, t->storeY, &rect, 0, 1,
                           img.colorKey, 0, 0) < 0)
        return -1;
    }
  }
  return 0;
}

namespace {

// When a new graph's one store would receive an exact copy of the whole
// picture, the store takes the picture's buffer instead: no copy, and the
// picture's pixels are never in memory twice. The store's own buffer was
// never written, so its pages were never touched. The picture is left empty.
bool HandPixelsToStore(GraphImage* picture, const GraphImage* alpha, GraphHandle graph) {
  GraphRecord* g = GetGraphRecord(graph);
  if (!g || g->tileCount != 1 || alpha) return false;
  SurfaceTile* t = GetSurfaceTile(g->tiles[0]);
  SurfaceData* data = t ? GetSurfaceData(t->store) : nullptr;
  if (!data || data->refCount != 1 || data->image.validMarker != kMemImgValid) return false;
  MEMIMG& img = data->image;
  if (img.borrowedFlag || img.paletteFlag || img.pixelType == kPixelMask8 || img.premultiplied || img.runTable)
    return false;
  if (t->x != 0 || t->y != 0 || t->storeX != 0 || t->storeY != 0 || t->width != img.width ||
      t->height != img.height || img.width != picture->width || img.height != picture->height ||
      img.pitch != picture->pitch)
    return false;
  const ColorFormat& sf = picture->format;
  if (!ConversionIsCopy(sf, *img.format, nullptr, EffectiveTransparentMode(*img.format, sf, nullptr, 1, 0), 0, 0))
    return false;
  MemFree(img.pixels);
  img.pixels = picture->pixels;
  picture->pixels = nullptr;
  g->fileName[0] = 0;
  g->reverse = 0;
  g->sourceX = 0;
  g->sourceY = 0;
  return true;
}

// A loaded graph's textures get their pixels with the load, not at the
// first drawing in the middle of a frame.
int FillGraphTextures(GraphHandle graph) {
  SurfaceData* store = GraphStore(graph);
  if (!store || HwFillStore(store) == 0) return 0;
  LogWrite("グラフィックの作成に失敗しました\n");
  return -1;
}

// fill = false leaves the textures to the caller (a divided picture fills
// its cells' stores once they are cut).
GraphHandle BuildGraph(GraphImage* picture, GraphImage* alpha, bool textureAllowed, bool reverse, bool mirrorNow,
                       bool consume, bool fill = true) {
  if (!picture || !picture->pixels) return -1;
  RecomputeUnusedMask(picture);
  if (alpha) RecomputeUnusedMask(alpha);
  if (alpha && (alpha->width != picture->width || alpha->height != picture->height)) return -1;
  const bool mirror = mirrorNow && reverse;
  if (mirror) {
    MirrorGraphImage(picture);
    if (alpha) MirrorGraphImage(alpha);
  }
  const bool hasAlpha = picture->format.AlphaBits > 0 || alpha;
  const bool palette = IsPaletteLayout(picture->format) && !hasAlpha;
  GraphHandle handle = CreateGraph(picture->width, picture->height, textureAllowed, hasAlpha, palette);
  const bool handed = handle != -1 && consume && HandPixelsToStore(picture, alpha, handle);
  if (handle != -1 && !handed && TransferImageToGraph(picture, alpha, 0, 0, handle, 0) != 0) {
    ReleaseGraph(handle, 0);
    handle = -1;
  }
  if (handle != -1 && fill && FillGraphTextures(handle) != 0) {
    ReleaseGraph(handle, 0);
    handle = -1;
  }
  if (mirror) {
    MirrorGraphImage(picture);
    if (alpha) MirrorGraphImage(alpha);
  }
  return handle;
}

// The cells' stores get their pixels once (cells sharing a store share the
// upload); a refusal releases every cell.
int FillCellTextures(GraphHandle* handles, int count) {
  for (int i = 0; i < count; ++i) {
    if (handles[i] == -1 || FillGraphTextures(handles[i]) == 0) continue;
    for (int j = 0; j < count; ++j) {
      if (handles[j] != -1) ReleaseGraph(handles[j], 0);
      handles[j] = -1;
    }
    return -1;
  }
  return 0;
}

int CreateDivGraph(GraphImage* picture, GraphImage* alpha, int count, int across, int down, int cellWidth,
                   int cellHeight, GraphHandle* handles, bool textureAllowed, bool reverse, bool mirrorNow,
                   bool consume) {
  if (count < 0 || (count > 0 && (!handles || across <= 0 || down <= 0))) return -1;
  for (int i = 0; i < count; ++i) handles[i] = -1;
  GraphHandle parent = BuildGraph(picture, alpha, textureAllowed, reverse, mirrorNow, consume, false);
  if (parent == -1) return -1;
  if (CreateCroppedCells(parent, count, across, down, cellWidth, cellHeight, reverse, handles)) {
    ReleaseGraph(parent, 0);
    return FillCellTextures(handles, count);
  }
  int i = 0;
  for (int row = 0; row < down && i < count; ++row) {
    int x = reverse ? cellWidth * (across - 1) : 0;
    for (int column = 0; column < across && i < count; ++column) {
      handles[i] = CreateSubGraph(x, row * cellHeight, cellWidth, cellHeight, parent);
      if (handles[i] == -1) {
        LogWrite("グラフィックの分割に失敗しました in CreateDivGraphFromGraphImage\n");
        for (int j = 0; j < i; ++j) {
          ReleaseGraph(handles[j], 0);
          handles[j] = -1;
        }
        ReleaseGraph(parent, 0);
        return -1;
      }
      ++i;
      x += reverse ? -cellWidth : cellWidth;
    }
  }
  ReleaseGraph(parent, 0);
  return FillCellTextures(handles, count);
}

}  // namespace

GraphHandle BuildGraphFromImage(GraphImage* picture, GraphImage* alpha, bool textureAllowed, bool reverse,
                                bool mirrorNow) {
  return BuildGraph(picture, alpha, textureAllowed, reverse, mirrorNow, false);
}

int CreateDivGraphFromGraphImage(GraphImage* picture, GraphImage* alpha, int count, int across, int down,
                                 int cellWidth, int cellHeight, GraphHandle* handles, bool textureAllowed,
                                 bool reverse, bool mirrorNow) {
  return CreateDivGraph(picture, alpha, count, across, down, cellWidth, cellHeight, handles, textureAllowed, reverse,
                        mirrorNow, false);
}

int LoadGraphImage(const char* fileName, const void* data, size_t size, int reverse, GraphImage* picture,
                   GraphImage* alpha) {
  memset(picture, 0, sizeof(*picture));
  memset(alpha, 0, sizeof(*alpha));
  if (data) {
    MemoryStream* stream = OpenMemoryStream(data, size);
    if (!stream) return -1;
    int result = DecodeImage(&MemoryStreamOps(), stream, picture);
    MemoryStreamOps().Close(stream);
    if (result != 0) return -1;
  } else {
    if (!fileName || DecodeFile(fileName, picture) != 0) return -1;
  }
  if (reverse) MirrorGraphImage(picture);
  if (!fileName || data) return 1;
  char name[1024];
  if (!AlphaName(fileName, name, sizeof(name)) || DecodeFile(name, alpha) != 0) return 1;
  if (reverse) MirrorGraphImage(alpha);
  return 0;
}

GraphHandle LoadGraphFile(const char* fileName, int noTexture) {
  WaitWhileInactive();
  if (!fileName) return -1;
  GraphImage picture, alpha;
  int loaded = g_loader(fileName, nullptr, 0, 0, &picture, &alpha);
  if (loaded < 0) {
    FileHandle file = FileOpen(fileName, 0, 1, 0);
    if (file == 0) {
      LogLoadFailure("グラフィックファイル %s がありません", fileName);
      return -1;
    }
    FileClose(file);
    // Movies are not played on this platform, so a file no decoder reads fails here.
    LogLoadFailure("右記のグラフィックファイルのロードに失敗しました：%s ", fileName);
    return -1;
  }
  // The picture is freed right after, so the graph may take its pixels.
  GraphHandle handle = BuildGraph(&picture, loaded == 0 ? &alpha : nullptr, noTexture == 0, false, false, true);
  SetGraphFileName(handle, fileName);
  ReleaseGraphImage(&picture);
  ReleaseGraphImage(&alpha);
  return handle;
}

GraphHandle LoadBlendMaskFile(const char* fileName) {
  int previous = GetBlendMaskCreation();
  SetBlendMaskCreation(1);
  GraphHandle handle = LoadGraphFile(fileName, 0);
  SetBlendMaskCreation(previous);
  return handle;
}

int LoadDividedGraphFile(const char* fileName, int count, int across, int down, int cellWidth, int cellHeight,
                         GraphHandle* handles, int noTexture) {
  WaitWhileInactive();
  // A count of 0 still loads the picture (and releases it at once).
  if (!fileName || count < 0 || (count > 0 && !handles)) return -1;
  GraphImage picture, alpha;
  int loaded = g_loader(fileName, nullptr, 0, 0, &picture, &alpha);
  if (loaded < 0) {
    LogLoadFailure("右記のグラフィックファイルのロードに失敗しました：%s", fileName);
    return -1;
  }
  int result = CreateDivGraph(&picture, loaded == 0 ? &alpha : nullptr, count, across, down, cellWidth, cellHeight,
                              handles, noTexture == 0, false, false, true);
  for (int i = 0; i < count; ++i) SetGraphFileName(handles[i], fileName);
  ReleaseGraphImage(&picture);
  ReleaseGraphImage(&alpha);
  return result;
}

}  // namespace qx
