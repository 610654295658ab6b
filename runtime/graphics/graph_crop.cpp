// Sprite sheets hold cells that are mostly empty (alpha 0, nothing else): each cell
// keeps only the rectangle around its other pixels, and the rectangles of
// one picture share one store, packed on shelves.
#include <string.h>

#include <algorithm>

#include "runtime/core/alloc.h"
#include "runtime/graphics/graph.h"

namespace qx {
namespace {

bool g_cropping = true;

struct Cell {
  int x, y;  // in the picture
  Rect box;  // within the cell
  int packX, packY;
};

bool RowIsEmpty(const uint8_t* p, int w, uint32_t empty) {
  uint32_t any = 0;
  for (int i = 0; i < w; ++i) {
    uint32_t v;
    memcpy(&v, p + i * 4, 4);
    any |= v ^ empty;
  }
  return any == 0;
}

bool PixelIsEmpty(const uint8_t* p, uint32_t empty) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v == empty;
}

// The smallest rectangle holding every pixel that is not empty; 1 x 1 at the
// corner (an empty pixel) when there is none. Rows between the first and the
// last that hold something are read only outside the columns found so far.
Rect ContentBox(const MEMIMG& img, uint32_t empty, int x0, int y0, int w, int h) {
  auto row = [&](int y) {
    return img.pixels + static_cast<ptrdiff_t>(y0 + y) * img.pitch + static_cast<ptrdiff_t>(x0) * 4;
  };
  Rect box{w, 0, 0, 0};
  while (box.top < h && RowIsEmpty(row(box.top), w, empty)) ++box.top;
  if (box.top == h) return Rect{0, 0, 1, 1};
  box.bottom = h;
  while (RowIsEmpty(row(box.bottom - 1), w, empty)) --box.bottom;
  for (int y = box.top; y < box.bottom; ++y) {
    const uint8_t* r = row(y);
    for (int x = 0; x < box.left; ++x)
      if (!PixelIsEmpty(r + x * 4, empty)) {
        box.left = x;
        break;
      }
    for (int x = w - 1; x >= box.right; --x)
      if (!PixelIsEmpty(r + x * 4, empty)) {
        box.right = x + 1;
        break;
      }
  }
  return box;
}

}  // namespace

void SetCellCropping(bool on) { g_cropping = on; }

uint32_t EmptyPixel(const MEMIMG& img) { return img.format ? img.format->UnusedMask : 0; }

void FillEmpty(MEMIMG* img) {
  const uint32_t empty = EmptyPixel(*img);
  for (int y = 0; y < img->height; ++y) {
    uint8_t* row = img->pixels + static_cast<ptrdiff_t>(y) * img->pitch;
    if (empty == 0) {
      memset(row, 0, static_cast<size_t>(img->width) * 4);
    } else {
      for (int x = 0; x < img->width; ++x) memcpy(row + x * 4, &empty, 4);
    }
  }
}

bool CreateCroppedCells(GraphHandle parent, int count, int across, int down, int cellWidth, int cellHeight,
                        bool reverse, GraphHandle* handles) {
  GraphRecord* p = GetGraphRecord(parent);
  SurfaceData* data = GraphStore(parent);
  if (!g_cropping || !p || count <= 0 || p->tileCount != 1 || GraphCropped(p) || !data ||
      data->image.validMarker != kMemImgValid)
    return false;
  const MEMIMG& img = data->image;
  if (!img.alphaFlag || img.paletteFlag || img.pixelType == kPixelMask8 || p->spec.BlendMask) return false;
  if (cellWidth <= 0 || cellHeight <= 0 || cellWidth > 0x7FFF || count > across * down) return false;
  const int bpp = MemImageBytesPerPixel(img.pixelType, img.alphaFlag, img.paletteFlag);
  if (bpp != 4) return false;
  const uint32_t empty = EmptyPixel(img);
  const SurfaceTile* whole = GetSurfaceTile(p->tiles[0]);
  if (!whole) return false;

  Cell* cells = static_cast<Cell*>(MemAlloc(sizeof(Cell) * count));
  int* order = static_cast<int*>(MemAlloc(sizeof(int) * count));
  if (!cells || !order) {
    MemFree(cells);
    MemFree(order);
    return false;
  }
  bool fits = true;
  for (int i = 0; i < count && fits; ++i) {
    int column = i % across, row = i / across;
    Cell& c = cells[i];
    c.x = reverse ? cellWidth * (across - 1 - column) : cellWidth * column;
    c.y = row * cellHeight;
    // A cell reaching past the picture is cut by the plain division; left to it.
    fits = c.x + cellWidth <= p->width && c.y + cellHeight <= p->height;
    if (fits) c.box = ContentBox(img, empty, whole->storeX + c.x, whole->storeY + c.y, cellWidth, cellHeight);
    order[i] = i;
  }
  // Shelves two cells wide, tallest rectangles first.
  const int packWidth = 2 * cellWidth;
  int64_t packHeight = 0;
  if (fits) {
    std::stable_sort(order, order + count, [&](int a, int b) {
      return cells[a].box.bottom - cells[a].box.top > cells[b].box.bottom - cells[b].box.top;
    });
    constexpr int kShelves = 64;
    int shelfY[kShelves], shelfUsed[kShelves], shelves = 0;
    for (int k = 0; k < count && fits; ++k) {
      Cell& c = cells[order[k]];
      int w = c.box.right - c.box.left, h = c.box.bottom - c.box.top;
      int s = 0;
      while (s < shelves && shelfUsed[s] + w > packWidth) ++s;
      if (s == shelves) {
        if (shelves == kShelves) {
          fits = false;
          break;
        }
        shelfY[s] = static_cast<int>(packHeight);
        shelfUsed[s] = 0;
        packHeight += h;
        ++shelves;
      }
      c.packX = shelfUsed[s];
      c.packY = shelfY[s];
      shelfUsed[s] += w;
    }
  }
  // Worth a store of its own only when it saves a quarter of the cells' pixels.
  const int64_t cellPixels = static_cast<int64_t>(count) * cellWidth * cellHeight;
  GraphHandle packed = -1;
  if (fits && packHeight <= 0xFFFF && packWidth * packHeight * 4 <= cellPixels * 3)
    packed = CreateGraph(packWidth, static_cast<int>(packHeight), p->spec.UseTexture, true, false);
  bool done = false;
  SurfaceData* store = packed != -1 ? GraphStore(packed) : nullptr;
  if (store && store->image.validMarker == kMemImgValid && store->image.pixelType == img.pixelType &&
      store->image.alphaFlag == img.alphaFlag && !store->image.paletteFlag) {
    data = GraphStore(parent);
    whole = GetSurfaceTile(GetGraphRecord(parent)->tiles[0]);
    MEMIMG& out = store->image;
    store->transparentColor = data->transparentColor;
    out.colorKey = data->image.colorKey;
    FillEmpty(&out);
    for (int i = 0; i < count; ++i) {
      const Cell& c = cells[i];
      const size_t bytes = static_cast<size_t>(c.box.right - c.box.left) * bpp;
      for (int y = c.box.top; y < c.box.bottom; ++y)
        memcpy(out.pixels + static_cast<ptrdiff_t>(c.packY + y - c.box.top) * out.pitch +
                   static_cast<ptrdiff_t>(c.packX) * bpp,
               data->image.pixels + static_cast<ptrdiff_t>(whole->storeY + c.y + y) * data->image.pitch +
                   static_cast<ptrdiff_t>(whole->storeX + c.x + c.box.left) * bpp,
               bytes);
    }
    done = true;
    for (int i = 0; i < count && done; ++i) {
      const GraphRecord* pr = GetGraphRecord(parent);
      handles[i] = CreateCroppedGraph(parent, pr->sourceX + cells[i].x, pr->sourceY + cells[i].y, cellWidth,
                                      cellHeight, packed, cells[i].packX, cells[i].packY, cells[i].box);
      if (handles[i] == -1) {
        for (int j = 0; j < i; ++j) {
          ReleaseGraph(handles[j], 0);
          handles[j] = -1;
        }
        done = false;
      }
    }
  }
  if (packed != -1) ReleaseGraph(packed, 0);
  MemFree(cells);
  MemFree(order);
  return done;
}

}  // namespace qx
