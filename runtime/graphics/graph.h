// Graphs: images named by handles, held as tiles over reference-counted
// pixel stores. This platform runs the software back end, so every store is a
// MEMIMG.
#ifndef QUARNEX_RUNTIME_GRAPHICS_GRAPH_H
#define QUARNEX_RUNTIME_GRAPHICS_GRAPH_H

#include <stdint.h>

#include "runtime/core/handle.h"
#include "runtime/graphics/memimg.h"

namespace qx {

struct SurfaceSpec {
  uint8_t UseTexture;
  uint8_t AlphaCh;
  uint8_t DrawValid;
  uint8_t SystemMemory;
  uint8_t AlphaTest;
  uint8_t ColorBitDepth;
  uint8_t BlendMask;
  uint8_t Palette;
};

struct GraphRecord {
  int CheckNumber;
  int* deletedFlag;
  int handle;
  SurfaceSpec spec;
  int reverse;
  int blendMaskFlag;
  int tiles[64];
  int tileCount;
  char fileName[64];
  char directory[256];
  int sourceX, sourceY;
  int width, height;
  int movie;
  int restoreNeeded;
  void* extraBuffer;
};

struct SurfaceTile {
  int CheckNumber;
  int* deletedFlag;
  int store;
  uint16_t x, y;            // within the graph
  uint16_t storeX, storeY;  // within the store
  uint16_t width, height;
  int graph;
};

struct SurfaceData {
  int CheckNumber;
  int* deletedFlag;
  SurfaceSpec spec;
  int memImageFlag;
  int formatCode;
  int depthFlag;
  void* surface;
  MEMIMG image;
  MEMIMG depth;
  uint32_t transparentColor;  // 0x00RRGGBB at creation
  uint16_t width, height;
  int refCount;
};

// The tables (graphs type 1, tiles type 5, stores type 7).
HandleTable& GraphTable();
HandleTable& SurfaceTileTable();
HandleTable& SurfaceDataTable();

void StartGraphSystem();
void StopGraphSystem();
int GraphSystemStarted();

GraphHandle AllocateGraph(int width, int height, bool textureAllowed, bool alphaChannel, bool palette);
GraphHandle CreateGraph(int width, int height, bool textureAllowed, bool alphaChannel, bool palette);
GraphHandle CreateSubGraph(int x, int y, int width, int height, GraphHandle parent);
int ReleaseGraph(GraphHandle graph, int logFlag);
GraphRecord* GetGraphRecord(GraphHandle graph);
int QueryGraphSize(int target, int* width, int* height);
void SetGraphFileName(GraphHandle graph, const char* fileName);
int RestoreGraphSurfaces(GraphHandle graph);
void RestoreGraphs();

// The pixels behind a graph: a view of its store's MEMIMG at the graph's
// rectangle. Returns 0, or -1 for an invalid handle or a graph without pixels.
int GetGraphImage(GraphHandle graph, MEMIMG* view);

// The pixel store behind a graph, or null.
SurfaceData* GraphStore(GraphHandle graph);

// Cells of divided alpha pictures may keep only the rectangle that holds
// pixels other than the empty one (their tile covers part of the graph); the
// rest of such a graph is empty pixels, which every alpha-weighted drawing
// leaves out. The empty pixel is what a picture's (0, 0, 0, 0) becomes in
// the store: alpha and colour 0, the unused bits set.
// GetGraphImage gives a cropped graph a whole store of its own first.
bool GraphCropped(const GraphRecord* graph);
// The tile's pixels and their place in the graph: the whole graph at (0, 0)
// unless it is cropped. 0, or -1 as GetGraphImage.
int GetGraphContent(GraphHandle graph, MEMIMG* view, int* offsetX, int* offsetY);
// A cropped graph made whole: a store of its own, empty outside the tile. 0 or -1.
int ExpandGraph(GraphHandle graph);
// Divided cells of alpha pictures cropped as above when that saves a quarter
// of their pixels: fills handles and returns true, else false (nothing made).
bool CreateCroppedCells(GraphHandle parent, int count, int across, int down, int cellWidth, int cellHeight,
                        bool reverse, GraphHandle* handles);
// Cropping on (the default) or off, for comparisons.
void SetCellCropping(bool on);
// The empty pixel of a 4-byte alpha store, and a store filled with it.
uint32_t EmptyPixel(const MEMIMG& img);
void FillEmpty(MEMIMG* img);
// A graph of width x height copying the records of `like` (file, source place
// at sourceX, sourceY), whose one tile is the rectangle (packX, packY, box
// size) of the store behind `packed`, placed at (box.left, box.top).
GraphHandle CreateCroppedGraph(GraphHandle like, int sourceX, int sourceY, int width, int height, GraphHandle packed,
                               int packX, int packY, const Rect& box);

// Draw-target graphs (the start-up test graph) and the blend-mask creation flag.
void SetDrawValidGraphCreation(int flag);
void SetBlendMaskCreation(int flag);
int GetBlendMaskCreation();

// Tile and store records behind handles, or null.
SurfaceTile* GetSurfaceTile(int tile);
SurfaceData* GetSurfaceData(int store);

// Masks are never made by the game; the table exists for DeleteAllMasks.
constexpr int kMaskCapacity = 512;
struct MaskRecord {
  int CheckNumber;
  void* data;
  int width, height;
  int used;
};
MaskRecord* MaskTable();

}  // namespace qx

#endif
