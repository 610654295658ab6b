#include "runtime/graphics/graph.h"

#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/core/api_internal.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"
#include "runtime/file/file.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/graph_image.h"
#include "runtime/graphics/hw.h"
#include "runtime/graphics/screen.h"

namespace qx {
namespace {

constexpr int kGraphCapacity = 32768;
constexpr int kTileCapacity = 32768;
constexpr int kStoreCapacity = 65536;

HandleTable g_graphs;
HandleTable g_tiles;
HandleTable g_stores;
MaskRecord g_masks[kMaskCapacity];

struct GraphSystem {
  int started;
  int textureGraphs;
  int alphaTest;
  int systemMemory;
  int forcedDepth;
  int blendMaskCreation;
  int drawValidCreation;
  void (*restore)();
};
GraphSystem g_system = {0, 1, 1, 0, 0, 0, 0, RestoreGraphs};

void ReleaseStoreReference(int store) {
  SurfaceData* data = GetSurfaceData(store);
  if (!data) return;
  if (--data->refCount > 0) return;
  HwReleaseStore(data);
  ReleaseMemImage(&data->image);
  ReleaseMemImage(&data->depth);
  HandleRelease(&g_stores, store);
}

int AddSurfaceData(int width, int height, const SurfaceSpec& spec) {
  if (g_stores.count >= g_stores.capacity) {
    LogWrite("サーフェスのデータ数が許容量を越えました。\n");
    return -1;
  }
  int store = HandleAllocate(&g_stores, sizeof(SurfaceData));
  SurfaceData* data = GetSurfaceData(store);
  if (!data) {
    LogWrite("サーフェス用データを保存するメモリ領域の確保に失敗しました\n");
    return -1;
  }
  data->spec = spec;
  if (spec.UseTexture) {
    data->spec.SystemMemory = 0;
    if (spec.DrawValid || spec.AlphaCh) data->spec.AlphaTest = 0;
  } else {
    if (spec.AlphaCh || spec.BlendMask) data->spec.SystemMemory = 1;
    data->spec.DrawValid = 1;
    data->spec.AlphaTest = 0;
  }
  // The pixels always live in a memory image; with the hardware back end it
  // is the system-memory copy that its textures are filled from.
  data->memImageFlag = 1;
  data->refCount = 1;
  data->width = static_cast<uint16_t>(width);
  data->height = static_cast<uint16_t>(height);
  uint32_t transparent = GetDrawState().transparentColor & 0xFFFFFF;
  data->transparentColor = transparent;
  const bool is16 = data->spec.ColorBitDepth == 16;
  data->formatCode = 13 - (data->spec.AlphaCh ? 0 : 1) - (is16 ? 2 : 0);

  int result = -1;
  if (data->spec.BlendMask) {
    result = CreateMemImage(&data->image, width, height, -1, 0, kPixelMask8, 0, 0, false);
  } else {
    int type = is16 ? kPixel16 : kPixel32;
    uint32_t key = 0xFFFF;  // palettized stores get their key after the first transfer
    if (!data->spec.Palette)
      key = PackColor(GetMemImageFormat(type, data->spec.AlphaCh, 0), (transparent >> 16) & 0xFF,
                      (transparent >> 8) & 0xFF, transparent & 0xFF, 255);
    result = CreateMemImage(&data->image, width, height, -1, key, type, data->spec.Palette, data->spec.AlphaCh,
                            false);
  }
  if (result != 0) {
    LogWrite("メモリイメージの作成に失敗しました\n");
    data->refCount = 0;
    ReleaseMemImage(&data->image);
    HandleRelease(&g_stores, store);
    return -1;
  }
  // A texture store gets its textures now, so that a device that cannot
  // hold them fails the creation rather than a later drawing.
  if (data->spec.UseTexture && HwCreateStore(data) != 0) {
    data->refCount = 0;
    ReleaseMemImage(&data->image);
    HandleRelease(&g_stores, store);
    return -1;
  }
  return store;
}

// One tile of a graph: over a new store, or over the parent tile's store at
// (storeX, storeY) relative to that tile's own rectangle.
int AddSurface2D(int width, int height, int x, int y, GraphHandle graph, const SurfaceTile* parent, int storeX,
                 int storeY, const SurfaceSpec& spec) {
  if (!g_system.started) {
    LogWrite("ランタイムが初期化されていません\n");
    return -1;
  }
  if (g_tiles.count >= g_tiles.capacity) {
    LogWrite("２Ｄグラフィックの量が許容量を越えました\n");
    return -1;
  }
  int tile = HandleAllocate(&g_tiles, sizeof(SurfaceTile));
  SurfaceTile* t = GetSurfaceTile(tile);
  if (!t) {
    LogWrite("メモリの確保に失敗しました in AddSurface2D \n");
    return -1;
  }
  t->x = static_cast<uint16_t>(x);
  t->y = static_cast<uint16_t>(y);
  t->width = static_cast<uint16_t>(width);
  t->height = static_cast<uint16_t>(height);
  t->graph = graph;
  if (parent) {
    SurfaceData* data = GetSurfaceData(parent->store);
    if (!data) {
      HandleRelease(&g_tiles, tile);
      LogWrite("メモリの確保に失敗しました in AddSurface2D \n");
      return -1;
    }
    data->refCount++;
    t->store = parent->store;
    t->storeX = static_cast<uint16_t>(parent->storeX + storeX);
    t->storeY = static_cast<uint16_t>(parent->storeY + storeY);
  } else {
    t->store = AddSurfaceData(width, height, spec);
    if (t->store < 0) {
      HandleRelease(&g_tiles, tile);
      LogWrite("メモリの確保に失敗しました in AddSurface2D \n");
      return -1;
    }
  }
  return tile;
}

int RequestedBits() {
  int bits = GetRequestedColorBits();
  return bits > 0 ? bits : 16;
}

}  // namespace

HandleTable& GraphTable() { return g_graphs; }
HandleTable& SurfaceTileTable() { return g_tiles; }
HandleTable& SurfaceDataTable() { return g_stores; }
MaskRecord* MaskTable() { return g_masks; }

SurfaceTile* GetSurfaceTile(int tile) { return HandleGet<SurfaceTile>(&g_tiles, tile); }
SurfaceData* GetSurfaceData(int store) { return HandleGet<SurfaceData>(&g_stores, store); }
GraphRecord* GetGraphRecord(GraphHandle graph) { return HandleGet<GraphRecord>(&g_graphs, graph); }

void SetDrawValidGraphCreation(int flag) { g_system.drawValidCreation = flag; }
void SetBlendMaskCreation(int flag) { g_system.blendMaskCreation = flag; }
int GetBlendMaskCreation() { return g_system.blendMaskCreation; }
int GraphSystemStarted() { return g_system.started; }

void StartGraphSystem() {
  if (g_system.started) return;
  LogWrite("グラフィック管理系の初期化を行います\n");
  HandleTableInit(&g_graphs, kHandleGraph, kGraphCapacity, kSearchAreaEndThenLowest,
                  "グラフィックの数が許容量を越えました終了します");
  HandleTableInit(&g_tiles, kHandleSurface2D, kTileCapacity, kSearchAreaEndThenLowest,
                  "２Ｄグラフィックの量が許容量を越えました\n");
  HandleTableInit(&g_stores, kHandleSurfaceData, kStoreCapacity, kSearchAreaEndThenLowest,
                  "サーフェスのデータ数が許容量を越えました。\n");
  ResetDrawState();
  g_system.textureGraphs = 1;
  g_system.alphaTest = 1;
  LogWrite(HwInUse() ? "３Ｄグラフィック描画機能を使用します\n" : "３Ｄグラフィック描画機能は使用しません\n");
  g_system.forcedDepth = 0;
  g_system.started = 1;
  StartFontSystem();
  LogWrite("グラフィック管理系の初期化は正常に終了しました\n");
}

void StopGraphSystem() {
  if (!g_system.started) return;
  DeleteAllMasks();
  DeleteAllGraphs(0);
  StopFontSystem();
  HandleTableFree(&g_graphs);
  HandleTableFree(&g_tiles);
  HandleTableFree(&g_stores);
  g_system.started = 0;
  LogWrite("グラフィック管理系の終了処理は正常に終了しました\n");
}

GraphHandle AllocateGraph(int width, int height, bool textureAllowed, bool alphaChannel, bool palette) {
  GraphHandle handle = HandleAllocate(&g_graphs, sizeof(GraphRecord));
  GraphRecord* r = GetGraphRecord(handle);
  if (!r) return -1;
  r->handle = handle;
  r->width = width;
  r->height = height;
  r->movie = -1;
  r->blendMaskFlag = g_system.blendMaskCreation;
  const bool software = UseSoftwareRenderer() != 0;
  const bool hardware3D = HwInUse() != 0;
  r->spec.UseTexture = textureAllowed && g_system.textureGraphs && hardware3D && !software;
  r->spec.AlphaCh = alphaChannel;
  r->spec.DrawValid = static_cast<uint8_t>(g_system.drawValidCreation ? 1 : 0);
  r->spec.AlphaTest = static_cast<uint8_t>(g_system.alphaTest);
  r->spec.BlendMask = static_cast<uint8_t>(g_system.blendMaskCreation ? 1 : 0);
  if (r->spec.UseTexture) {
    r->spec.ColorBitDepth = static_cast<uint8_t>(g_system.forcedDepth ? g_system.forcedDepth
                                                 : alphaChannel          ? 32
                                                                         : RequestedBits());
    r->spec.SystemMemory = 0;
    if (r->spec.BlendMask) {
      r->spec.ColorBitDepth = 32;
      r->spec.AlphaCh = 1;
      r->spec.AlphaTest = 0;
      r->spec.DrawValid = 0;
    }
  } else {
    r->spec.ColorBitDepth =
        static_cast<uint8_t>(g_system.forcedDepth && !software ? g_system.forcedDepth : RequestedBits());
    r->spec.SystemMemory = static_cast<uint8_t>(g_system.systemMemory || software ? 1 : 0);
    r->spec.Palette = palette;
  }
  return handle;
}

GraphHandle CreateGraph(int width, int height, bool textureAllowed, bool alphaChannel, bool palette) {
  // Tiles hold 16-bit sizes; anything larger (or empty) cannot be a graph.
  if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) {
    LogWrite("グラフィックの作成に失敗しました\n");
    return -1;
  }
  GraphHandle handle = AllocateGraph(width, height, textureAllowed, alphaChannel, palette);
  GraphRecord* r = GetGraphRecord(handle);
  if (!r) return -1;
  int tile = AddSurface2D(width, height, 0, 0, handle, nullptr, 0, 0, r->spec);
  if (tile < 0) {
    LogWrite("グラフィックの作成に失敗しました\n");
    HandleRelease(&g_graphs, handle);
    return -1;
  }
  r->tiles[0] = tile;
  r->tileCount = 1;
  return handle;
}

namespace {

// A graph of width x height taking over `like`'s records, its source place at
// (sourceX, sourceY). Its one tile covers `tile` within the graph and shows
// the same-sized rectangle at (storeX, storeY) of `within`'s first tile.
GraphHandle DeriveGraph(GraphHandle like, GraphHandle within, int width, int height, int sourceX, int sourceY,
                        const Rect& tile, int storeX, int storeY) {
  GraphRecord* p = GetGraphRecord(like);
  if (!p) return -1;
  GraphHandle handle = AllocateGraph(width, height, p->spec.UseTexture, p->spec.AlphaCh, p->spec.Palette);
  GraphRecord* r = GetGraphRecord(handle);
  if (!r) return -1;
  p = GetGraphRecord(like);
  r->movie = p->movie;
  memcpy(r->fileName, p->fileName, sizeof(r->fileName));
  memcpy(r->directory, p->directory, sizeof(r->directory));
  r->reverse = p->reverse;
  r->spec = p->spec;
  r->sourceX = sourceX;
  r->sourceY = sourceY;
  GraphRecord* w = GetGraphRecord(within);
  SurfaceTile* withinTile = w && w->tileCount > 0 ? GetSurfaceTile(w->tiles[0]) : nullptr;
  int t = withinTile ? AddSurface2D(tile.right - tile.left, tile.bottom - tile.top, tile.left, tile.top, handle,
                                    withinTile, storeX, storeY, r->spec)
                     : -1;
  if (t < 0) {
    LogWrite("グラフィックの派生に失敗しました終了します");
    HandleRelease(&g_graphs, handle);
    return -1;
  }
  r = GetGraphRecord(handle);
  r->tiles[0] = t;
  r->tileCount = 1;
  return handle;
}

}  // namespace

GraphHandle CreateSubGraph(int x, int y, int width, int height, GraphHandle parent) {
  GraphRecord* p = GetGraphRecord(parent);
  if (!p) return -1;
  // Positions outside the parent would reach outside its store.
  if (x < 0 || y < 0 || x >= p->width || y >= p->height || width <= 0 || height <= 0) return -1;
  if (x + width > p->width) width = p->width - x;
  if (y + height > p->height) height = p->height - y;
  return DeriveGraph(parent, parent, width, height, p->sourceX + x, p->sourceY + y, Rect{0, 0, width, height}, x, y);
}

int ReleaseGraph(GraphHandle graph, int logFlag) {
  GraphRecord* r = GetGraphRecord(graph);
  if (!r) return -1;
  for (int i = 0; i < r->tileCount && i < 64; ++i) {
    SurfaceTile* t = GetSurfaceTile(r->tiles[i]);
    if (!t) continue;
    ReleaseStoreReference(t->store);
    HandleRelease(&g_tiles, r->tiles[i]);
  }
  r->tileCount = 0;
  if (logFlag) LogPrintf("グラフィック %s の削除", r->fileName);
  if (r->extraBuffer) MemFree(r->extraBuffer);
  r->extraBuffer = nullptr;
  HandleRelease(&g_graphs, graph);
  return 0;
}

int DeleteAllGraphs(int logFlag) {
  if (!g_system.started) return 0;
  const int end = g_graphs.areaEnd;
  for (int slot = 0; slot < end; ++slot) {
    GraphHandle handle = HandleAtSlot(&g_graphs, slot);
    if (handle != -1) ReleaseGraph(handle, logFlag);
  }
  return 0;
}

int DeleteAllMasks() {
  for (MaskRecord& m : g_masks) {
    if (!m.used) continue;
    if (m.data) MemFree(m.data);
    memset(&m, 0, sizeof(m));
  }
  return 0;
}

int QueryGraphSize(int target, int* width, int* height) {
  if (target == -2 || target == -4) {
    GetScreenSize(width, height);
    return 0;
  }
  GraphRecord* r = GetGraphRecord(target);
  if (!r) return -1;
  if (width) *width = r->width;
  if (height) *height = r->height;
  return 0;
}

void SetGraphFileName(GraphHandle graph, const char* fileName) {
  GraphRecord* r = GetGraphRecord(graph);
  if (!r) return;
  // A name that does not fit is not kept: a cut name would restore another file.
  if (fileName && strlen(fileName) < sizeof(r->fileName)) {
    strcpy(r->fileName, fileName);
  } else {
    r->fileName[0] = 0;
  }
  char directory[1024];
  directory[0] = 0;
  FileGetDirectory(directory);
  if (strlen(directory) < sizeof(r->directory)) {
    strcpy(r->directory, directory);
  } else {
    r->directory[0] = 0;
  }
}

int RestoreGraphSurfaces(GraphHandle graph) {
  // Memory images are never lost.
  return GetGraphRecord(graph) ? 0 : -1;
}

void RestoreGraphs() {
  LogWrite("グラフィックを復帰します\n");
  char saved[1024];
  saved[0] = 0;
  FileGetDirectory(saved);
  ImageFileLoader loader = GetImageFileLoader();
  GraphImage picture, alpha;
  memset(&picture, 0, sizeof(picture));
  memset(&alpha, 0, sizeof(alpha));
  int loaded = -1;  // result of the last load
  char lastName[64] = "", lastDirectory[256] = "";
  int lastReverse = 0;
  const int end = g_graphs.areaEnd;
  for (int slot = 0; slot < end; ++slot) {
    GraphRecord* r = GetGraphRecord(HandleAtSlot(&g_graphs, slot));
    if (!r || !r->fileName[0]) continue;
    if (r->restoreNeeded && strlen(r->directory) <= 128) {
      bool same = loaded >= 0 && strcmp(lastName, r->fileName) == 0 &&
                  strcmp(lastDirectory, r->directory) == 0 && lastReverse == r->reverse;
      if (!same) {
        ReleaseGraphImage(&picture);
        ReleaseGraphImage(&alpha);
        FileSetDirectory(r->directory);
        loaded = loader ? loader(r->fileName, nullptr, 0, r->reverse, &picture, &alpha) : -1;
        memcpy(lastName, r->fileName, sizeof(lastName));
        memcpy(lastDirectory, r->directory, sizeof(lastDirectory));
        lastReverse = r->reverse;
      }
      if (loaded >= 0) {
        // The transfer clears the name; keep it so a later restore finds the file again.
        char name[64], directory[256];
        memcpy(name, r->fileName, sizeof(name));
        memcpy(directory, r->directory, sizeof(directory));
        TransferImageToGraph(&picture, loaded == 0 ? &alpha : nullptr, r->sourceX, r->sourceY, r->handle,
                             r->reverse);
        HwNoteStoreChanged(GraphStore(r->handle));
        memcpy(r->fileName, name, sizeof(name));
        memcpy(r->directory, directory, sizeof(directory));
      }
    }
    r->restoreNeeded = 0;
  }
  ReleaseGraphImage(&picture);
  ReleaseGraphImage(&alpha);
  FileSetDirectory(saved);
}

SurfaceData* GraphStore(GraphHandle graph) {
  GraphRecord* r = GetGraphRecord(graph);
  SurfaceTile* t = r && r->tileCount > 0 ? GetSurfaceTile(r->tiles[0]) : nullptr;
  return t ? GetSurfaceData(t->store) : nullptr;
}

bool GraphCropped(const GraphRecord* graph) {
  if (!graph || graph->tileCount != 1) return false;
  const SurfaceTile* t = GetSurfaceTile(graph->tiles[0]);
  return t && (t->x != 0 || t->y != 0 || t->width != graph->width || t->height != graph->height);
}

int GetGraphContent(GraphHandle graph, MEMIMG* view, int* offsetX, int* offsetY) {
  GraphRecord* r = GetGraphRecord(graph);
  if (!r || r->tileCount < 1) return -1;
  SurfaceTile* t = GetSurfaceTile(r->tiles[0]);
  if (!t) return -1;
  SurfaceData* data = GetSurfaceData(t->store);
  if (!data || data->image.validMarker != kMemImgValid) return -1;
  MemImageView(view, &data->image, t->storeX, t->storeY, t->width, t->height);
  *offsetX = r->tileCount == 1 ? t->x : 0;
  *offsetY = r->tileCount == 1 ? t->y : 0;
  return 0;
}

int ExpandGraph(GraphHandle graph) {
  GraphRecord* r = GetGraphRecord(graph);
  if (!GraphCropped(r)) return r ? 0 : -1;
  int store = AddSurfaceData(r->width, r->height, r->spec);
  if (store < 0) return -1;
  r = GetGraphRecord(graph);
  SurfaceTile* t = GetSurfaceTile(r->tiles[0]);
  SurfaceData* from = GetSurfaceData(t->store);
  SurfaceData* to = GetSurfaceData(store);
  MEMIMG& src = from->image;
  MEMIMG& dst = to->image;
  if (src.pixelType != dst.pixelType || src.alphaFlag != dst.alphaFlag || src.paletteFlag != dst.paletteFlag) {
    ReleaseStoreReference(store);
    return -1;
  }
  to->transparentColor = from->transparentColor;
  dst.colorKey = src.colorKey;
  const size_t bpp = static_cast<size_t>(MemImageBytesPerPixel(dst.pixelType, dst.alphaFlag, dst.paletteFlag));
  if (bpp != 4) {
    ReleaseStoreReference(store);
    return -1;
  }
  FillEmpty(&dst);
  for (int y = 0; y < t->height; ++y)
    memcpy(dst.pixels + static_cast<ptrdiff_t>(t->y + y) * dst.pitch + t->x * bpp,
           src.pixels + static_cast<ptrdiff_t>(t->storeY + y) * src.pitch + t->storeX * bpp, t->width * bpp);
  int old = t->store;
  t->store = store;
  t->x = t->y = 0;
  t->storeX = t->storeY = 0;
  t->width = static_cast<uint16_t>(r->width);
  t->height = static_cast<uint16_t>(r->height);
  ReleaseStoreReference(old);
  return 0;
}

GraphHandle CreateCroppedGraph(GraphHandle like, int sourceX, int sourceY, int width, int height, GraphHandle packed,
                               int packX, int packY, const Rect& box) {
  return DeriveGraph(like, packed, width, height, sourceX, sourceY, box, packX, packY);
}

int GetGraphImage(GraphHandle graph, MEMIMG* view) {
  if (ExpandGraph(graph) != 0) return -1;
  int x = 0, y = 0;
  return GetGraphContent(graph, view, &x, &y);
}

}  // namespace qx
