// The drawing operations: argument checks, the draw state, and the hand-over
// to the software renderer on the current target's pixels.
#include <math.h>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/graph.h"
#include "runtime/graphics/hw.h"
#include "runtime/graphics/renderer.h"
#include "runtime/graphics/renderer_internal.h"
#include "runtime/graphics/screen.h"

namespace qx {
namespace {

// The blend mask's pixels, or null when none is set or it has no 8-bit image.
const MEMIMG* MaskImage(MEMIMG* storage) {
  int mask = GetDrawState().blendMaskGraph;
  if (mask == -1) return nullptr;
  if (GetGraphImage(mask, storage) != 0) return nullptr;
  if (storage->pixelType != kPixelMask8) return nullptr;
  return storage;
}

// Common checks of the graph drawings; 1 = go on, else the result to return.
int BeginGraphDraw(GraphHandle graph, GraphRecord** record) {
  if (GetDrawState().drawAreaEmpty) return 0;
  GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  if (CheckBlendMaskSize(g) != 0) return -1;
  WaitWhileInactive();
  *record = g;
  return 1;
}

// Drawing onto the front screen with the software back end shows at once.
void ShowIfFront(const Rect& r) {
  if (GetDrawTarget() == -4) PresentFrontScreenArea(&r);
}

// The back screen of the hardware back end is drawn by the graphics processor.
bool DeviceTarget() { return GetDrawTarget() == -2 && HwInUse(); }
// A graph kept out of textures is drawn onto it by the software renderer.
bool DeviceDraws(const GraphRecord* g) { return DeviceTarget() && HwDrawsGraph(g); }

int Fill(MEMIMG* target, const Rect& r, uint32_t colour) {
  if (!target) return HwFillRect(r, colour);
  FillRect(target, &r, colour);
  return 0;
}

// A drawing at a position that copies every source pixel whole (an alpha
// source drawn untransparent in mode 0) writes a cropped graph's empty pixels
// too, so such a graph is made whole first.
bool CopiesWholePixels(bool trans) {
  const DrawState& st = GetDrawState();
  return !trans && (st.blendMode == 0 || (st.blendMode == 1 && st.blendParam == 255));
}

// The graph's pixels and, for a cropped graph, their window (else null).
int GraphSource(GraphHandle graph, const GraphRecord* record, MEMIMG* view, SourceWindow* window,
                const SourceWindow** out) {
  int x = 0, y = 0;
  if (GetGraphContent(graph, view, &x, &y) != 0) return -1;
  *window = SourceWindow{x, y, record->width, record->height};
  *out = GraphCropped(record) ? window : nullptr;
  return 0;
}

int Trunc(double v) { return v < -2e9 ? -2000000000 : (v > 2e9 ? 2000000000 : static_cast<int>(v)); }

// The rotated corners' bounding box, widened by 5 pixels on every side.
Rect RotatedBounds(int x, int y, double scale, double angle, int w, int h) {
  double c = cos(angle), s = sin(angle), hw = scale * w / 2, hh = scale * h / 2;
  double ex = fabs(hw * c) + fabs(hh * s), ey = fabs(hw * s) + fabs(hh * c);
  if (!isfinite(ex) || !isfinite(ey)) return Rect{0, 0, 0, 0};
  return Rect{Trunc(floor(x - ex)) - 5, Trunc(floor(y - ey)) - 5, Trunc(ceil(x + ex)) + 5, Trunc(ceil(y + ey)) + 5};
}

}  // namespace

int DrawGraphAt(int x, int y, GraphHandle graph, int trans) {
  GraphRecord* g = nullptr;
  int go = BeginGraphDraw(graph, &g);
  if (go != 1) return go;
  if (GraphCropped(g) && CopiesWholePixels(trans != 0)) {
    if (ExpandGraph(graph) != 0) return -1;
    g = GetGraphRecord(graph);
  }
  if (DeviceDraws(g)) return HwDrawGraphAt(g, x, y, trans != 0);
  MEMIMG* target = GetDrawTargetImage();
  MEMIMG view;
  SourceWindow window;
  const SourceWindow* part = nullptr;
  if (target == nullptr || GraphSource(graph, g, &view, &window, &part) != 0) return -1;
  MEMIMG maskView;
  DrawImageAt(target, &view, x, y, trans != 0, MaskImage(&maskView), part);
  ShowIfFront(Rect{x, y, Trunc(static_cast<double>(x) + g->width), Trunc(static_cast<double>(y) + g->height)});
  return 0;
}

int DrawGraphRotated(int x, int y, double scale, double angle, GraphHandle graph, int trans, int turn) {
  GraphRecord* g = nullptr;
  int go = BeginGraphDraw(graph, &g);
  if (go != 1) return go;
  if (DeviceDraws(g)) {
    return HwDrawGraphRotated(g, static_cast<float>(x), static_cast<float>(y), static_cast<float>(scale),
                              static_cast<float>(angle), trans != 0, turn != 0);
  }
  MEMIMG* target = GetDrawTargetImage();
  MEMIMG view;
  SourceWindow window;
  const SourceWindow* part = nullptr;
  if (target == nullptr || GraphSource(graph, g, &view, &window, &part) != 0) return -1;
  MEMIMG maskView;
  DrawImageRotated(target, &view, x, y, static_cast<float>(angle), static_cast<float>(scale), trans != 0,
                   turn != 0, MaskImage(&maskView), part);
  ShowIfFront(RotatedBounds(x, y, scale, angle, g->width, g->height));
  return 0;
}

int DrawGraphBlendMasked(int x, int y, GraphHandle graph, int trans, GraphHandle mask, int border, int range) {
  const DrawState& saved = GetDrawState();
  int oldMask = saved.blendMaskGraph, oldBorder = saved.blendMaskBorder, oldRange = saved.blendMaskRange;
  SetBlendMask(mask, border, range);
  DrawGraphAt(x, y, graph, trans);
  if (SetBlendMask(oldMask, oldBorder, oldRange) != 0) {
    // The previous mask was deleted meanwhile: put it back as it was rather
    // than leave this drawing's mask in force.
    DrawState& st = GetDrawState();
    st.blendMaskGraph = oldMask;
    st.blendMaskBorder = oldBorder;
    st.blendMaskRange = oldRange;
    BuildBlendMaskTable(st.blendMaskTable, oldBorder, oldRange);
  }
  return 0;
}

int DrawRectangle(int x1, int y1, int x2, int y2, int color, int fill) {
  if (GetDrawState().drawAreaEmpty) return 0;
  WaitWhileInactive();
  MEMIMG* target = DeviceTarget() ? nullptr : GetDrawTargetImage();
  if (target == nullptr && !DeviceTarget()) return -1;
  Rect r{x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
  uint32_t c = static_cast<uint32_t>(color);
  if (fill || r.right - r.left <= 2 || r.bottom - r.top <= 2) {
    const int result = Fill(target, r, c);
    ShowIfFront(r);
    return result;
  }
  Rect edges[4] = {{r.left, r.top, r.right, r.top + 1},
                   {r.left, r.bottom - 1, r.right, r.bottom},
                   {r.left, r.top + 1, r.left + 1, r.bottom - 1},
                   {r.right - 1, r.top + 1, r.right, r.bottom - 1}};
  // Each pixel of the outline once, so that blended outlines have even corners.
  int result = 0;
  for (const Rect& e : edges)
    if (Fill(target, e, c) != 0) result = -1;
  ShowIfFront(r);
  return result;
}

}  // namespace qx

int ClipRectangle(Rect* rect, Rect* clip) {
  if (rect && clip) qx::ClipRect(rect, *clip);
  return 0;
}
