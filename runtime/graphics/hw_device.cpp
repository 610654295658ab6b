// The hardware back end's logic: which device is in use, the texture tiles
// behind each pixel store, the pending batch and the back screen's copy for
// the main processor. Every device call goes through the platform's table.
#include <math.h>
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/core/log.h"
#include "runtime/core/timing.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/hw.h"
#include "runtime/platform/platform.h"

namespace qx {
namespace {

constexpr int kMaxTiles = 64;
constexpr int kMaxTilesPerSide = 64;
constexpr int kBatchQuads = 2048;
constexpr int kMaxAtlases = 40;  // one per font handle at most
constexpr int kAtlasColumns = 16;

// The texture tiles covering one pixel store.
struct HwStore {
  int columns, rows;
  int colX[kMaxTilesPerSide], colSide[kMaxTilesPerSide];
  int rowY[kMaxTilesPerSide], rowSide[kMaxTilesPerSide];
  PlatformTexture* tiles[kMaxTiles];
  bool dirty;
};

struct HwGlyphAtlasData {
  bool used;
  PlatformTexture* texture;
  int cellWidth, cellHeight, capacity;
  uint8_t* sent;  // per slot: its cell is on the device
};

// Whose copy of the back screen is the newer one.
enum BackCopy { kDeviceOnly, kBothSame, kMainNewer };

struct HwState {
  bool inUse;
  int width, height;
  int minSide, maxSide;
  PlatformGpuInfo info;
  PlatformTexture* maskTable;
  uint8_t maskTableCopy[256];
  bool maskTableLoaded;
  BackCopy back;
  MEMIMG* backImage;
  PlatformGpuState batchState;
  int batchCount;  // vertices
  PlatformGpuState lastSent;
  bool lastSentValid;
  bool recoveryFailed;
  HwStats stats;
};

HwState g_hw;
HwGlyphAtlasData g_atlases[kMaxAtlases];
PlatformGpuVertex g_batch[kBatchQuads * 6];
uint8_t* g_convert;  // one row of converted texels
size_t g_convertSize;

const PlatformGpuOps* Gpu() { return GetPlatform().gpu; }

// Splits one side into power-of-two tiles between the device's bounds.
int SplitSide(int length, int minSide, int maxSide, int* offsets, int* sides) {
  int n = 0, at = 0;
  while (at < length) {
    if (n == kMaxTilesPerSide) return -1;
    int rest = length - at;
    int side = minSide;
    while (side < rest && side < maxSide) side *= 2;
    offsets[n] = at;
    sides[n] = side;
    at += side < rest ? side : rest;
    ++n;
  }
  return n;
}

uint8_t* ConvertBuffer(size_t size) {
  if (size > g_convertSize) {
    if (g_convert) MemFree(g_convert);
    g_convert = static_cast<uint8_t*>(MemAlloc(size));
    g_convertSize = g_convert ? size : 0;
  }
  return g_convert;
}

// Texels of a store rectangle, in one upload: BGRA with the colour key as
// alpha 0 for stores without alpha, or single bytes for blend masks.
int UploadRect(PlatformTexture* texture, const MEMIMG& img, int sx, int sy, int w, int h) {
  const PlatformGpuOps* gpu = Gpu();
  int result;
  if (img.pixelType == kPixelMask8) {
    result = gpu->UpdateTexture(texture, 0, 0, w, h, img.pixels + static_cast<ptrdiff_t>(sy) * img.pitch + sx,
                                img.pitch);
    g_hw.stats.uploadBytes += static_cast<uint64_t>(w) * h;
  } else if (img.pixelType == kPixel32 && img.alphaFlag && !img.paletteFlag) {
    result = gpu->UpdateTexture(texture, 0, 0, w, h, img.pixels + static_cast<ptrdiff_t>(sy) * img.pitch + sx * 4,
                                img.pitch);
    g_hw.stats.uploadBytes += static_cast<uint64_t>(w) * h * 4;
  } else {
    uint8_t* buffer = ConvertBuffer(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    if (!buffer) return -1;
    const int bpp = MemImageBytesPerPixel(img.pixelType, img.alphaFlag, img.paletteFlag);
    const uint32_t* palette = static_cast<const uint32_t*>(img.palette);
    for (int y = 0; y < h; ++y) {
      const uint8_t* row = img.pixels + static_cast<ptrdiff_t>(sy + y) * img.pitch;
      uint32_t* out = reinterpret_cast<uint32_t*>(buffer) + static_cast<ptrdiff_t>(y) * w;
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = row + static_cast<ptrdiff_t>(sx + x) * bpp;
        uint32_t value = bpp == 1   ? *p
                         : bpp == 2 ? *reinterpret_cast<const uint16_t*>(p)
                                    : *reinterpret_cast<const uint32_t*>(p);
        uint32_t argb;
        if (img.paletteFlag) {
          argb = (palette ? palette[value & 255] : 0) & 0xFFFFFF;
          argb |= value == img.colorKey ? 0u : 0xFF000000u;
        } else {
          int r, g, b, a;
          UnpackColor(img.format, value, &r, &g, &b, &a);
          if (!img.alphaFlag) a = value == img.colorKey ? 0 : 255;
          argb = static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 |
                 static_cast<uint32_t>(b);
        }
        out[x] = argb;
      }
    }
    result = gpu->UpdateTexture(texture, 0, 0, w, h, buffer, w * 4);
    g_hw.stats.uploadBytes += static_cast<uint64_t>(w) * h * 4;
  }
  g_hw.stats.uploads++;
  return result;
}

void DestroyTiles(HwStore* hs) {
  for (int i = 0; i < hs->columns * hs->rows; ++i) {
    if (hs->tiles[i]) Gpu()->DestroyTexture(hs->tiles[i]);
    hs->tiles[i] = nullptr;
  }
}

void LogTextureFailure(const SurfaceData* data) {
  LogWrite("テクスチャサーフェスの作成に失敗しました\n");
  LogPrintf("DrawValid:%d  AlphaChFlag%d  AlphaTestFlag:%d  ColorBitDepth:%d", data->spec.DrawValid,
            data->spec.AlphaCh, data->spec.AlphaTest, data->spec.ColorBitDepth);
}

// The textures of a store whose grid is already laid out.
int MakeTiles(HwStore* hs, const SurfaceData* data) {
  const int format = data->image.pixelType == kPixelMask8 ? kGpuTextureR8 : kGpuTextureBgra;
  for (int r = 0; r < hs->rows; ++r) {
    for (int c = 0; c < hs->columns; ++c) {
      PlatformTexture* t = Gpu()->CreateTexture(hs->colSide[c], hs->rowSide[r], format);
      if (!t) {
        LogTextureFailure(data);
        DestroyTiles(hs);
        return -1;
      }
      hs->tiles[r * hs->columns + c] = t;
    }
  }
  hs->dirty = true;
  return 0;
}

// Sends a dirty store's pixels to its tiles; 0 or -1.
int SendStore(HwStore* hs, const SurfaceData* data) {
  if (!hs->dirty) return 0;
  // The batch may still show the old texels.
  FlushPendingDrawing();
  for (int r = 0; r < hs->rows; ++r) {
    for (int c = 0; c < hs->columns; ++c) {
      int w = data->image.width - hs->colX[c], h = data->image.height - hs->rowY[r];
      if (w > hs->colSide[c]) w = hs->colSide[c];
      if (h > hs->rowSide[r]) h = hs->rowSide[r];
      if (UploadRect(hs->tiles[r * hs->columns + c], data->image, hs->colX[c], hs->rowY[r], w, h) != 0) return -1;
    }
  }
  hs->dirty = false;
  return 0;
}

// The store's tiles with its current pixels; null when it is no texture
// store or the device refused the pixels.
HwStore* ReadyStore(SurfaceData* data) {
  if (!data || data->image.validMarker != kMemImgValid) return nullptr;
  HwStore* hs = static_cast<HwStore*>(data->surface);
  if (!hs || hs->columns * hs->rows == 0 || !hs->tiles[0]) return nullptr;
  return SendStore(hs, data) == 0 ? hs : nullptr;
}

void SendBackCopyToDevice() {
  if (g_hw.back != kMainNewer || !g_hw.backImage) return;
  Gpu()->WriteBack(g_hw.backImage->pixels, g_hw.backImage->pitch);
  g_hw.stats.writeBacks++;
  g_hw.back = kBothSame;
}

bool DeviceHere() { return g_hw.inUse && Gpu()->Ready(); }

// Adds two triangles to the batch, ending it first when the state differs;
// false when the batch cannot take them (the device is not reachable).
bool AddQuad(const PlatformGpuState& state, const PlatformGpuVertex corner[4]) {
  if (g_hw.batchCount > 0 &&
      (g_hw.batchCount + 6 > kBatchQuads * 6 || memcmp(&state, &g_hw.batchState, sizeof(state)) != 0)) {
    FlushPendingDrawing();
  }
  if (g_hw.batchCount + 6 > kBatchQuads * 6 || (g_hw.batchCount > 0 && memcmp(&state, &g_hw.batchState, sizeof(state)) != 0))
    return false;
  if (g_hw.batchCount == 0) {
    SendBackCopyToDevice();
    g_hw.batchState = state;
  }
  PlatformGpuVertex* v = g_batch + g_hw.batchCount;
  v[0] = corner[0];
  v[1] = corner[1];
  v[2] = corner[2];
  v[3] = corner[2];
  v[4] = corner[1];
  v[5] = corner[3];
  g_hw.batchCount += 6;
  g_hw.back = kDeviceOnly;
  g_hw.stats.quads++;
  return true;
}

// The blend state of the current draw settings; false when nothing is drawn.
bool BlendState(PlatformGpuState* s) {
  const DrawState& ds = GetDrawState();
  const int p = ds.blendParam;
  memset(s, 0, sizeof(*s));
  switch (ds.blendMode) {
    case 0:
      s->blend = kGpuBlendMix;
      s->param = 256;
      break;
    case 1:
      if (p == 0) return false;
      s->blend = kGpuBlendMix;
      s->param = p == 255 ? 256 : p;
      break;
    case 2:
    case 3:
      if (p == 0) return false;
      s->blend = ds.blendMode == 2 ? kGpuBlendAdd : kGpuBlendSubtract;
      s->param = p;
      break;
    case 4:
      s->blend = kGpuBlendMultiply;
      s->param = 256;
      break;
    default:
      return false;
  }
  s->clipLeft = ds.drawLeft;
  s->clipTop = ds.drawTop;
  s->clipRight = ds.drawRight;
  s->clipBottom = ds.drawBottom;
  return true;
}

// The blend mask's texture and the offset of the mask graph in it, or false
// when no usable mask is set (the software renderer then draws unmasked too).
bool MaskTexture(PlatformGpuState* s, int* offsetX, int* offsetY) {
  const DrawState& ds = GetDrawState();
  if (ds.blendMaskGraph == -1) return false;
  GraphRecord* m = GetGraphRecord(ds.blendMaskGraph);
  SurfaceTile* t = m && m->tileCount > 0 ? GetSurfaceTile(m->tiles[0]) : nullptr;
  SurfaceData* data = t ? GetSurfaceData(t->store) : nullptr;
  if (!data || data->image.pixelType != kPixelMask8) return false;
  HwStore* hs = ReadyStore(data);
  // Masks wider than one tile are beyond what the second stage reads.
  if (!hs || hs->columns * hs->rows != 1) return false;
  if (!g_hw.maskTable) g_hw.maskTable = Gpu()->CreateTexture(256, 1, kGpuTextureR8);
  if (!g_hw.maskTable) return false;
  if (!g_hw.maskTableLoaded || memcmp(g_hw.maskTableCopy, ds.blendMaskTable, 256) != 0) {
    FlushPendingDrawing();
    memcpy(g_hw.maskTableCopy, ds.blendMaskTable, 256);
    if (Gpu()->UpdateTexture(g_hw.maskTable, 0, 0, 256, 1, g_hw.maskTableCopy, 256) != 0) return false;
    g_hw.stats.uploads++;
    g_hw.stats.uploadBytes += 256;
    g_hw.maskTableLoaded = true;
  }
  s->mask = hs->tiles[0];
  s->maskTable = g_hw.maskTable;
  *offsetX = t->storeX;
  *offsetY = t->storeY;
  return true;
}

struct GraphSource {
  SurfaceTile* tile;
  SurfaceData* data;
  HwStore* store;
};

// 1 with the graph's tiles ready, 0 when there is nothing to draw, -1 when
// its pixels cannot reach the device.
int Source(const GraphRecord* graph, GraphSource* out) {
  out->tile = graph->tileCount > 0 ? GetSurfaceTile(graph->tiles[0]) : nullptr;
  out->data = out->tile ? GetSurfaceData(out->tile->store) : nullptr;
  if (!out->data) return -1;
  // A blend mask is no colour picture: drawn, it shows nothing.
  if (out->data->image.pixelType == kPixelMask8) return 0;
  out->store = ReadyStore(out->data);
  return out->store ? 1 : -1;
}

// In store pixels: where the graph's top-left would lie (gx, gy) and the
// rectangle its tile holds; a cropped graph's tile starts inside the graph,
// and the empty pixels around it are left out as every keyed or weighted
// drawing leaves them.
void GraphPlace(const GraphRecord* graph, const SurfaceTile* tile, int* gx, int* gy, int* x0, int* y0, int* x1,
                int* y1) {
  *gx = tile->storeX - tile->x;
  *gy = tile->storeY - tile->y;
  *x0 = tile->storeX;
  *y0 = tile->storeY;
  *x1 = tile->storeX + (graph->tileCount == 1 ? tile->width : graph->width);
  *y1 = tile->storeY + (graph->tileCount == 1 ? tile->height : graph->height);
}

void SetAlpha(PlatformGpuState* s, const SurfaceData* data, bool trans, bool plainCopy) {
  if (trans) {
    s->alpha = kGpuAlphaKeyed;
    s->discardZeroAlpha = 1;
  } else if (data->image.alphaFlag && !plainCopy) {
    s->alpha = kGpuAlphaWeightAll;
  } else {
    s->alpha = kGpuAlphaIgnore;
  }
}

void Brightness(PlatformGpuVertex* v) {
  uint32_t b = GetDrawState().brightness;
  v->r = static_cast<float>((b >> 16) & 255);
  v->g = static_cast<float>((b >> 8) & 255);
  v->b = static_cast<float>(b & 255);
}

// Calls part(tile, x0, y0, x1, y1, tile x, tile y) for every texture tile
// that the store rectangle (x0, y0)-(x1, y1) of a graph overlaps, with the
// overlap in store pixels.
template <typename Part>
void ForEachTilePart(const HwStore* hs, int gx0, int gy0, int gx1, int gy1, Part part) {
  for (int r = 0; r < hs->rows; ++r) {
    int ty0 = hs->rowY[r] > gy0 ? hs->rowY[r] : gy0;
    int ty1 = hs->rowY[r] + hs->rowSide[r] < gy1 ? hs->rowY[r] + hs->rowSide[r] : gy1;
    if (ty0 >= ty1) continue;
    for (int c = 0; c < hs->columns; ++c) {
      int tx0 = hs->colX[c] > gx0 ? hs->colX[c] : gx0;
      int tx1 = hs->colX[c] + hs->colSide[c] < gx1 ? hs->colX[c] + hs->colSide[c] : gx1;
      if (tx0 < tx1) part(hs->tiles[r * hs->columns + c], tx0, ty0, tx1, ty1, hs->colX[c], hs->rowY[r]);
    }
  }
}

// Sends the driver's debug messages to the log.
void DrainDriverMessages() {
  const PlatformGpuOps* gpu = Gpu();
  if (!gpu || !gpu->TakeMessage) return;
  char text[512];
  for (int i = 0; i < 64 && gpu->TakeMessage(text, sizeof(text)); ++i) LogPrintf("GL: %s", text);
}

void DestroyDeviceObjects() {
  HandleTable& stores = SurfaceDataTable();
  for (int slot = 0; slot < stores.areaEnd; ++slot) {
    SurfaceData* data = GetSurfaceData(HandleAtSlot(&stores, slot));
    HwStore* hs = data ? static_cast<HwStore*>(data->surface) : nullptr;
    if (hs) DestroyTiles(hs);
  }
  for (HwGlyphAtlasData& a : g_atlases) {
    if (!a.used) continue;
    if (a.texture) Gpu()->DestroyTexture(a.texture);
    a.texture = nullptr;
    if (a.sent) memset(a.sent, 0, static_cast<size_t>(a.capacity));
  }
  if (g_hw.maskTable) Gpu()->DestroyTexture(g_hw.maskTable);
  g_hw.maskTable = nullptr;
  g_hw.maskTableLoaded = false;
}

PlatformTexture* MakeAtlasTexture(const HwGlyphAtlasData& a) {
  const int rows = (a.capacity + kAtlasColumns - 1) / kAtlasColumns;
  return Gpu()->CreateTexture(kAtlasColumns * 2 * a.cellWidth, rows * a.cellHeight, kGpuTextureBgra);
}

}  // namespace

void FlushPendingDrawing() {
  // Off the device's thread the batch waits for the device's own thread;
  // AddQuad refuses to grow it meanwhile.
  if (g_hw.batchCount == 0 || !DeviceHere()) return;
  Gpu()->Draw(&g_hw.batchState, g_batch, g_hw.batchCount);
  if (!g_hw.lastSentValid || memcmp(&g_hw.lastSent, &g_hw.batchState, sizeof(g_hw.batchState)) != 0)
    g_hw.stats.stateChanges++;
  g_hw.lastSent = g_hw.batchState;
  g_hw.lastSentValid = true;
  g_hw.batchCount = 0;
  g_hw.stats.drawCalls++;
}

int HwAvailable() { return Gpu() != nullptr ? 1 : 0; }
int HwInUse() { return g_hw.inUse ? 1 : 0; }
const HwStats& HwGetStats() { return g_hw.stats; }
uint64_t HwQuadsDrawn() { return g_hw.stats.quads; }
uint64_t HwBatchesSent() { return g_hw.stats.drawCalls; }
const char* HwRendererName() { return g_hw.inUse ? g_hw.info.renderer : ""; }
int HwSwapInterval() {
  const PlatformGpuOps* gpu = Gpu();
  return g_hw.inUse && gpu->SwapInterval ? gpu->SwapInterval() : 0;
}

void HwTextureLimits(int* minSide, int* maxSide) {
  if (minSide) *minSide = g_hw.minSide;
  if (maxSide) *maxSide = g_hw.maxSide;
}

int HwCreateDevice(int width, int height) {
  HwDestroyDevice();
  const PlatformGpuOps* gpu = Gpu();
  // Measured with the game: a rasteriser on the main processor takes longer
  // per frame than the software renderer, so only a forced choice keeps it;
  // the device refuses it before building anything else.
  if (!gpu || gpu->Init(width, height, RendererPreference() == 2 ? 1 : 0) != 0) {
    DrainDriverMessages();
    return -1;
  }
  gpu->GetInfo(&g_hw.info);
  int maxSide = g_hw.info.maxTextureSide > 0 ? g_hw.info.maxTextureSide : 256;
  int minSide = g_hw.info.minTextureSide > 0 ? g_hw.info.minTextureSide : 32;
  g_hw.maxSide = maxSide;
  g_hw.minSide = minSide < maxSide ? minSide : maxSide;
  g_hw.width = width;
  g_hw.height = height;
  g_hw.inUse = true;
  g_hw.back = kDeviceOnly;
  g_hw.batchCount = 0;
  g_hw.maskTableLoaded = false;
  g_hw.lastSentValid = false;
  g_hw.recoveryFailed = false;
  memset(&g_hw.stats, 0, sizeof(g_hw.stats));
  DrainDriverMessages();
  return 0;
}

void HwDestroyDevice() {
  if (!g_hw.inUse) return;
  FlushPendingDrawing();
  g_hw.batchCount = 0;
  DestroyDeviceObjects();
  Gpu()->Shutdown();
  g_hw.inUse = false;
  g_hw.backImage = nullptr;
  if (g_convert) MemFree(g_convert);
  g_convert = nullptr;
  g_convertSize = 0;
}

int HwRecoverIfLost() {
  const PlatformGpuOps* gpu = Gpu();
  if (!g_hw.inUse || g_hw.recoveryFailed || !gpu->ContextLost || !gpu->ContextLost()) return 0;
  LogWrite("グラフィックスデバイスが失われました、作り直します\n");
  // What was batched went to the lost device.
  g_hw.batchCount = 0;
  DestroyDeviceObjects();
  gpu->Shutdown();
  if (gpu->Init(g_hw.width, g_hw.height, 1) != 0) {
    LogWrite("グラフィックスデバイスの作り直しに失敗しました\n");
    g_hw.recoveryFailed = true;
    return -1;
  }
  g_hw.lastSentValid = false;
  g_hw.back = kDeviceOnly;
  // Every store still holds its memory image: the pixels come from there.
  int failed = 0;
  HandleTable& stores = SurfaceDataTable();
  for (int slot = 0; slot < stores.areaEnd; ++slot) {
    SurfaceData* data = GetSurfaceData(HandleAtSlot(&stores, slot));
    HwStore* hs = data ? static_cast<HwStore*>(data->surface) : nullptr;
    if (!hs) continue;
    if (MakeTiles(hs, data) != 0 || SendStore(hs, data) != 0) ++failed;
  }
  for (HwGlyphAtlasData& a : g_atlases)
    if (a.used) a.texture = MakeAtlasTexture(a);
  g_hw.stats.recoveries++;
  LogPrintf("グラフィックスデバイスを作り直しました ( 復帰できなかったテクスチャ : %d )", failed);
  DrainDriverMessages();
  return 1;
}

int HwCreateStore(SurfaceData* data) {
  if (!data || data->image.validMarker != kMemImgValid) return -1;
  if (!g_hw.inUse) {
    LogTextureFailure(data);
    return -1;
  }
  HwStore* hs = static_cast<HwStore*>(MemAllocZero(sizeof(HwStore)));
  if (!hs) {
    LogTextureFailure(data);
    return -1;
  }
  int cols = SplitSide(data->image.width, g_hw.minSide, g_hw.maxSide, hs->colX, hs->colSide);
  int rows = SplitSide(data->image.height, g_hw.minSide, g_hw.maxSide, hs->rowY, hs->rowSide);
  if (cols < 0 || rows < 0 || cols * rows > kMaxTiles) {
    LogPrintf("エラー：画像の分割数が最大数の %d を超えました", kMaxTiles);
    MemFree(hs);
    return -1;
  }
  hs->columns = cols;
  hs->rows = rows;
  if (MakeTiles(hs, data) != 0) {
    MemFree(hs);
    DrainDriverMessages();
    return -1;
  }
  data->surface = hs;
  return 0;
}

int HwFillStore(SurfaceData* data) {
  HwStore* hs = data ? static_cast<HwStore*>(data->surface) : nullptr;
  if (!hs) return 0;
  if (!DeviceHere()) return -1;
  int result = SendStore(hs, data);
  DrainDriverMessages();
  return result;
}

int HwDrawsGraph(const GraphRecord* graph) {
  if (!g_hw.inUse || !graph || !graph->spec.UseTexture || graph->tileCount <= 0) return 0;
  SurfaceTile* t = GetSurfaceTile(graph->tiles[0]);
  SurfaceData* data = t ? GetSurfaceData(t->store) : nullptr;
  return data && data->surface ? 1 : 0;
}

void HwNoteStoreChanged(SurfaceData* store) {
  HwStore* hs = store ? static_cast<HwStore*>(store->surface) : nullptr;
  if (hs) hs->dirty = true;
}

void HwReleaseStore(SurfaceData* store) {
  HwStore* hs = store ? static_cast<HwStore*>(store->surface) : nullptr;
  if (!hs) return;
  if (g_hw.inUse) {
    // A batch drawn from this store cannot wait for a later flush.
    if (g_hw.batchCount > 0 && !DeviceHere()) g_hw.batchCount = 0;
    FlushPendingDrawing();
    DestroyTiles(hs);
  }
  MemFree(hs);
  store->surface = nullptr;
}

HwGlyphAtlas* HwCreateGlyphAtlas(int cellWidth, int cellHeight, int capacity) {
  if (!DeviceHere() || cellWidth <= 0 || cellHeight <= 0 || capacity <= 0) return nullptr;
  const int rows = (capacity + kAtlasColumns - 1) / kAtlasColumns;
  if (kAtlasColumns * 2 * cellWidth > g_hw.maxSide || rows * cellHeight > g_hw.maxSide) return nullptr;
  for (int i = 0; i < kMaxAtlases; ++i) {
    HwGlyphAtlasData& a = g_atlases[i];
    if (a.used) continue;
    a.cellWidth = cellWidth;
    a.cellHeight = cellHeight;
    a.capacity = capacity;
    a.sent = static_cast<uint8_t*>(MemAllocZero(static_cast<size_t>(capacity)));
    if (!a.sent) return nullptr;
    a.texture = MakeAtlasTexture(a);
    if (!a.texture) {
      MemFree(a.sent);
      a.sent = nullptr;
      return nullptr;
    }
    a.used = true;
    return reinterpret_cast<HwGlyphAtlas*>(&a);
  }
  return nullptr;
}

void HwDestroyGlyphAtlas(HwGlyphAtlas* atlas) {
  HwGlyphAtlasData* a = reinterpret_cast<HwGlyphAtlasData*>(atlas);
  if (!a || !a->used) return;
  if (g_hw.inUse) {
    if (g_hw.batchCount > 0 && !DeviceHere()) g_hw.batchCount = 0;
    FlushPendingDrawing();
    if (a->texture) Gpu()->DestroyTexture(a->texture);
  }
  if (a->sent) MemFree(a->sent);
  memset(a, 0, sizeof(*a));
}

void HwGlyphChanged(HwGlyphAtlas* atlas, int slot) {
  HwGlyphAtlasData* a = reinterpret_cast<HwGlyphAtlasData*>(atlas);
  if (a && a->used && slot >= 0 && slot < a->capacity) a->sent[slot] = 0;
}

int HwDrawGlyph(HwGlyphAtlas* atlas, int slot, const uint8_t* glyph, const uint8_t* edge, bool drawEdge, int x,
                int y, int w, int h, uint32_t colour, int strength) {
  HwGlyphAtlasData* a = reinterpret_cast<HwGlyphAtlasData*>(atlas);
  if (!a || !a->used || !a->texture || slot < 0 || slot >= a->capacity || !DeviceHere()) return -1;
  const int cw = a->cellWidth, ch = a->cellHeight;
  const int ax = (slot % kAtlasColumns) * 2 * cw, ay = (slot / kAtlasColumns) * ch;
  if (!a->sent[slot]) {
    // Glyph levels on the left of the slot's place, edge levels on the right,
    // as white with the level as alpha (16 levels is full strength).
    uint32_t* buffer = reinterpret_cast<uint32_t*>(ConvertBuffer(static_cast<size_t>(2 * cw) * ch * 4));
    if (!buffer) return -1;
    for (int row = 0; row < ch; ++row)
      for (int col = 0; col < cw; ++col) {
        const int k = row * cw + col;
        const uint32_t lg = glyph ? glyph[k] : 0, le = edge ? edge[k] : 0;
        buffer[row * 2 * cw + col] = (lg * 16 > 255 ? 255u : lg * 16) << 24 | 0xFFFFFFu;
        buffer[row * 2 * cw + cw + col] = (le * 16 > 255 ? 255u : le * 16) << 24 | 0xFFFFFFu;
      }
    FlushPendingDrawing();
    if (Gpu()->UpdateTexture(a->texture, ax, ay, 2 * cw, ch, buffer, 2 * cw * 4) != 0) return -1;
    g_hw.stats.uploads++;
    g_hw.stats.uploadBytes += static_cast<uint64_t>(2 * cw) * ch * 4;
    a->sent[slot] = 1;
  }
  if (strength <= 0) return 0;
  const DrawState& ds = GetDrawState();
  PlatformGpuState s;
  memset(&s, 0, sizeof(s));
  // Text mixes its colour in by coverage whatever the blend mode, weakened
  // only by alpha blending.
  s.blend = kGpuBlendMix;
  s.param = strength >= 255 ? 256 : strength;
  s.alpha = kGpuAlphaKeyed;
  s.discardZeroAlpha = 1;
  s.texture = a->texture;
  s.clipLeft = ds.drawLeft;
  s.clipTop = ds.drawTop;
  s.clipRight = ds.drawRight;
  s.clipBottom = ds.drawBottom;
  if (w > cw) w = cw;
  if (h > ch) h = ch;
  const int u0 = ax + (drawEdge ? cw : 0);
  PlatformGpuVertex v[4];
  for (int i = 0; i < 4; ++i) {
    const bool isRight = i & 1, isBottom = i & 2;
    v[i].x = static_cast<float>(x + (isRight ? w : 0));
    v[i].y = static_cast<float>(y + (isBottom ? h : 0));
    v[i].u = static_cast<float>(u0 + (isRight ? w : 0));
    v[i].v = static_cast<float>(ay + (isBottom ? h : 0));
    v[i].mu = v[i].mv = 0;
    v[i].r = static_cast<float>((colour >> 16) & 255);
    v[i].g = static_cast<float>((colour >> 8) & 255);
    v[i].b = static_cast<float>(colour & 255);
  }
  return AddQuad(s, v) ? 0 : -1;
}

void HwTimeTransfers(double* deviceUs, double* mainMemoryUs) {
  *deviceUs = 0;
  *mainMemoryUs = 0;
  const PlatformGpuOps* gpu = Gpu();
  if (!DeviceHere() || !gpu->CopyScreen) return;
  FlushPendingDrawing();
  for (int method = 0; method < 2; ++method) {
    uint64_t start = GetMicrosecondCount();
    for (int i = 0; i < 8; ++i) gpu->CopyScreen(method);
    double us = static_cast<double>(GetMicrosecondCount() - start);
    *(method == 0 ? deviceUs : mainMemoryUs) = us;
  }
}

int HwDrawGraphAt(const GraphRecord* graph, int x, int y, bool trans) {
  if (!DeviceHere()) return -1;
  PlatformGpuState s;
  if (!BlendState(&s)) return 0;
  GraphSource src;
  const int ready = Source(graph, &src);
  if (ready <= 0) return ready;
  bool refused = false;
  int maskX = 0, maskY = 0;
  const bool masked = MaskTexture(&s, &maskX, &maskY);
  SetAlpha(&s, src.data, trans, GetDrawState().blendMode == 0 && !masked);
  int gx0, gy0, px0, py0, px1, py1;
  GraphPlace(graph, src.tile, &gx0, &gy0, &px0, &py0, &px1, &py1);
  ForEachTilePart(src.store, px0, py0, px1, py1,
                  [&](PlatformTexture* tex, int tx0, int ty0, int tx1, int ty1, int tileX, int tileY) {
    float left = static_cast<float>(x + (tx0 - gx0)), right = static_cast<float>(x + (tx1 - gx0));
    float top = static_cast<float>(y + (ty0 - gy0)), bottom = static_cast<float>(y + (ty1 - gy0));
    if (right <= s.clipLeft || left >= s.clipRight || bottom <= s.clipTop || top >= s.clipBottom) return;
    s.texture = tex;
    PlatformGpuVertex v[4];
    for (int i = 0; i < 4; ++i) {
      const bool isRight = i & 1, isBottom = i & 2;
      v[i].x = isRight ? right : left;
      v[i].y = isBottom ? bottom : top;
      int sx = isRight ? tx1 : tx0, sy = isBottom ? ty1 : ty0;
      v[i].u = static_cast<float>(sx - tileX);
      v[i].v = static_cast<float>(sy - tileY);
      v[i].mu = static_cast<float>(sx - gx0 + maskX);
      v[i].mv = static_cast<float>(sy - gy0 + maskY);
      Brightness(&v[i]);
    }
    if (!AddQuad(s, v)) refused = true;
  });
  return refused ? -1 : 0;
}

int HwDrawGraphRotated(const GraphRecord* graph, float x, float y, float scale, float angle, bool trans, bool turn) {
  if (!DeviceHere()) return -1;
  PlatformGpuState s;
  if (!BlendState(&s)) return 0;
  GraphSource src;
  const int ready = Source(graph, &src);
  if (ready <= 0) return ready;
  bool refused = false;
  int maskX = 0, maskY = 0;
  MaskTexture(&s, &maskX, &maskY);
  SetAlpha(&s, src.data, trans, false);
  const float c = cosf(angle), sn = sinf(angle);
  // The source's centre is its integer half, as in the software mapping, and
  // a pixel takes the texel under its top-left corner: the geometry moves by
  // half a pixel so that the device's pixel centres sample the same place.
  const float halfW = static_cast<float>(graph->width / 2), halfH = static_cast<float>(graph->height / 2);
  int gx0, gy0, px0, py0, px1, py1;
  GraphPlace(graph, src.tile, &gx0, &gy0, &px0, &py0, &px1, &py1);
  const int gx1 = gx0 + graph->width;
  const float nudge = turn ? -1.0f / 4096 : 1.0f / 4096;
  ForEachTilePart(src.store, px0, py0, px1, py1,
                  [&](PlatformTexture* tex, int tx0, int ty0, int tx1, int ty1, int tileX, int tileY) {
    s.texture = tex;
    PlatformGpuVertex v[4];
    for (int i = 0; i < 4; ++i) {
      const bool isRight = i & 1, isBottom = i & 2;
      int texX = isRight ? tx1 : tx0, texY = isBottom ? ty1 : ty0;
      // Position in the drawn picture (mirrored with the turn flag).
      float px = static_cast<float>(turn ? gx1 - texX : texX - gx0), py = static_cast<float>(texY - gy0);
      float dx = (px - halfW) * scale, dy = (py - halfH) * scale;
      v[i].x = x + dx * c - dy * sn + 0.5f;
      v[i].y = y + dx * sn + dy * c + 0.5f;
      v[i].u = static_cast<float>(texX - tileX) + nudge;
      v[i].v = static_cast<float>(texY - tileY) + 1.0f / 4096;
      v[i].mu = static_cast<float>(texX - gx0 + maskX) + nudge;
      v[i].mv = static_cast<float>(texY - gy0 + maskY) + 1.0f / 4096;
      Brightness(&v[i]);
    }
    if (!AddQuad(s, v)) refused = true;
  });
  return refused ? -1 : 0;
}

int HwFillRect(const Rect& rect, uint32_t colour) {
  if (!DeviceHere()) return -1;
  PlatformGpuState s;
  if (!BlendState(&s)) return 0;
  s.texture = nullptr;
  Rect r = rect;
  if (r.left < s.clipLeft) r.left = s.clipLeft;
  if (r.top < s.clipTop) r.top = s.clipTop;
  if (r.right > s.clipRight) r.right = s.clipRight;
  if (r.bottom > s.clipBottom) r.bottom = s.clipBottom;
  if (r.left >= r.right || r.top >= r.bottom) return 0;
  const uint32_t br = GetDrawState().brightness;
  float rgb[3];
  for (int i = 0; i < 3; ++i) {
    uint32_t c = (colour >> (16 - 8 * i)) & 255, b = (br >> (16 - 8 * i)) & 255;
    rgb[i] = static_cast<float>(c * b >> 8);
  }
  if (br == 0xFFFFFF)
    for (int i = 0; i < 3; ++i) rgb[i] = static_cast<float>((colour >> (16 - 8 * i)) & 255);
  PlatformGpuVertex v[4];
  for (int i = 0; i < 4; ++i) {
    v[i].x = static_cast<float>((i & 1) ? r.right : r.left);
    v[i].y = static_cast<float>((i & 2) ? r.bottom : r.top);
    v[i].u = v[i].v = v[i].mu = v[i].mv = 0;
    v[i].r = rgb[0];
    v[i].g = rgb[1];
    v[i].b = rgb[2];
  }
  return AddQuad(s, v) ? 0 : -1;
}

void HwClearBackScreen(int r, int g, int b) {
  if (!DeviceHere()) return;
  FlushPendingDrawing();
  Gpu()->Clear(r, g, b);
  g_hw.back = kDeviceOnly;
}

void HwBackScreenForRead(MEMIMG* back) {
  g_hw.backImage = back;
  if (g_hw.back != kDeviceOnly || !DeviceHere()) return;
  FlushPendingDrawing();
  Gpu()->ReadBack(back->pixels, back->pitch);
  g_hw.stats.readBacks++;
  g_hw.back = kBothSame;
}

void HwBackScreenForWrite(MEMIMG* back) {
  HwBackScreenForRead(back);
  g_hw.back = kMainNewer;
}

void HwPresent(const MEMIMG* image) {
  if (!DeviceHere()) return;
  FlushPendingDrawing();
  if (image) {
    Gpu()->Present(image->pixels, image->pitch);
    return;
  }
  SendBackCopyToDevice();
  Gpu()->Present(nullptr, 0);
  DrainDriverMessages();
}

}  // namespace qx
