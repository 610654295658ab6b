// Affine triangles, and the mirrored rotated drawing built from two of them.
#include <math.h>

#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/renderer.h"
#include "runtime/graphics/renderer_internal.h"

namespace qx {
namespace {

// Edges in 1/256 pixel. A pixel (X, Y) is inside when every edge function
// e0 + X * de reaches its bias: 0 for top-left edges, 1 for the others, so a
// pixel on an edge shared by two triangles belongs to exactly one.
struct Edge {
  int64_t ax, ay, bx, by;
  int64_t bias;
};

struct TriSpan {
  Edge edge[3];
};

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

void LimitRow(const void* data, int y, int left, int64_t* lo, int64_t* hi) {
  const TriSpan* t = static_cast<const TriSpan*>(data);
  for (const Edge& e : t->edge) {
    // E(X) = (bx - ax) * (Y - ay) - (by - ay) * (X - ax), X = left + i.
    int64_t py = static_cast<int64_t>(y) * 256 - e.ay;
    int64_t k = -(e.by - e.ay) * 256;
    int64_t e0 = (e.bx - e.ax) * py - (e.by - e.ay) * (static_cast<int64_t>(left) * 256 - e.ax);
    // e0 + i * k >= bias
    if (k == 0) {
      if (e0 < e.bias) *hi = *lo;
      continue;
    }
    if (k > 0) {
      int64_t a = -FloorDiv(-(e.bias - e0), k);  // ceil
      if (a > *lo) *lo = a;
    } else {
      int64_t b = FloorDiv(e0 - e.bias, -k);
      if (b + 1 < *hi) *hi = b + 1;
    }
    if (*hi < *lo) *hi = *lo;
  }
}

bool Representable(float v) { return isfinite(v) && fabsf(v) < 1048576.0f; }

// mirror: every sampled column c becomes width - 1 - c.
void DrawTriangle(MEMIMG* dest, const MEMIMG* src, const TriangleVertex vertex[3], bool trans, const MEMIMG* mask,
                  bool mirror, const SourceWindow* window) {
  DrawPlan plan;
  if (!vertex || !PrepareDraw(dest, src, trans, mask, true, &plan)) return;
  for (int i = 0; i < 3; ++i)
    if (!Representable(vertex[i].x) || !Representable(vertex[i].y) || !Representable(vertex[i].u) ||
        !Representable(vertex[i].v))
      return;
  int64_t px[3], py[3];
  for (int i = 0; i < 3; ++i) {
    px[i] = static_cast<int64_t>(floor(static_cast<double>(vertex[i].x) * 256.0));
    py[i] = static_cast<int64_t>(floor(static_cast<double>(vertex[i].y) * 256.0));
  }
  int order[3] = {0, 1, 2};
  int64_t area = (px[1] - px[0]) * (py[2] - py[0]) - (py[1] - py[0]) * (px[2] - px[0]);
  if (area == 0) return;
  if (area < 0) {
    order[1] = 2;
    order[2] = 1;
  }
  TriSpan tri;
  for (int i = 0; i < 3; ++i) {
    int a = order[i], b = order[(i + 1) % 3];
    Edge& e = tri.edge[i];
    e.ax = px[a];
    e.ay = py[a];
    e.bx = px[b];
    e.by = py[b];
    int64_t dx = e.bx - e.ax, dy = e.by - e.ay;
    bool topLeft = dy < 0 || (dy == 0 && dx > 0);
    e.bias = topLeft ? 0 : 1;
  }
  int64_t minX = px[0], maxX = px[0], minY = py[0], maxY = py[0];
  for (int i = 1; i < 3; ++i) {
    minX = px[i] < minX ? px[i] : minX;
    maxX = px[i] > maxX ? px[i] : maxX;
    minY = py[i] < minY ? py[i] : minY;
    maxY = py[i] > maxY ? py[i] : maxY;
  }
  const DrawState& st = GetDrawState();
  Rect area2{st.drawLeft, st.drawTop, st.drawRight, st.drawBottom};
  ClipRect(&area2, Rect{0, 0, dest->width, dest->height});
  Rect box{static_cast<int>(minX >> 8), static_cast<int>(minY >> 8), static_cast<int>((maxX >> 8) + 1),
           static_cast<int>((maxY >> 8) + 1)};
  ClipRect(&box, area2);
  if (box.left == box.right || box.top == box.bottom) return;

  // u = a X + b Y + e (and v likewise), solved from the three corners.
  double x0 = vertex[0].x, y0 = vertex[0].y;
  double x1 = vertex[1].x - x0, y1 = vertex[1].y - y0, x2 = vertex[2].x - x0, y2 = vertex[2].y - y0;
  double det = x1 * y2 - x2 * y1;
  if (det == 0.0) return;
  double u1 = vertex[1].u - vertex[0].u, u2 = vertex[2].u - vertex[0].u;
  double v1 = vertex[1].v - vertex[0].v, v2 = vertex[2].v - vertex[0].v;
  double ua = (u1 * y2 - u2 * y1) / det, ub = (u2 * x1 - u1 * x2) / det;
  double va = (v1 * y2 - v2 * y1) / det, vb = (v2 * x1 - v1 * x2) / det;
  double ue = vertex[0].u - ua * x0 - ub * y0;
  double ve = vertex[0].v - va * x0 - vb * y0;
  MapSetup map;
  map.dx = static_cast<int64_t>(ua * 262144.0);
  map.dy = static_cast<int64_t>(va * 262144.0);
  map.rowDx = static_cast<int64_t>(ub * 262144.0);
  map.rowDy = static_cast<int64_t>(vb * 262144.0);
  map.sx0 = static_cast<int64_t>(floor((ua * box.left + ub * box.top + ue) * 262144.0));
  map.sy0 = static_cast<int64_t>(floor((va * box.left + vb * box.top + ve) * 262144.0));
  if (mirror) {
    map.sx0 = (static_cast<int64_t>(window ? window->width : src->width) << 18) - 1 - map.sx0;
    map.dx = -map.dx;
    map.rowDx = -map.rowDx;
  }
  if (window) {
    map.sx0 -= static_cast<int64_t>(window->x) << 18;
    map.sy0 -= static_cast<int64_t>(window->y) << 18;
  }
  map.spanLimit = &LimitRow;
  map.spanData = &tri;
  DrawMappedSpans(dest, src, mask, plan, box, map);
}

}  // namespace

void DrawImageTriangle(MEMIMG* dest, const MEMIMG* src, const TriangleVertex vertex[3], bool trans,
                       const MEMIMG* mask) {
  DrawTriangle(dest, src, vertex, trans, mask, false, nullptr);
}

void DrawRotatedTurned(MEMIMG* dest, const MEMIMG* src, int x, int y, float angle, float scale, bool trans,
                       const MEMIMG* mask, const SourceWindow* window) {
  if (!isfinite(angle) || !isfinite(scale)) return;
  float cs = cosf(angle), sn = sinf(angle);
  float w = static_cast<float>(window ? window->width : src->width);
  float h = static_cast<float>(window ? window->height : src->height);
  float hw = scale * w * 0.5f;
  float hh = scale * h * 0.5f;
  // Corners top-left, top-right, bottom-right, bottom-left; the mirroring is
  // applied to the sampled columns so that each column keeps its width.
  float dxs[4] = {-hw, hw, hw, -hw}, dys[4] = {-hh, -hh, hh, hh};
  float us[4] = {0, w, w, 0}, vs[4] = {0, 0, h, h};
  TriangleVertex c[4];
  for (int i = 0; i < 4; ++i) {
    c[i].x = static_cast<float>(x) + dxs[i] * cs - dys[i] * sn;
    c[i].y = static_cast<float>(y) + dxs[i] * sn + dys[i] * cs;
    c[i].u = us[i];
    c[i].v = vs[i];
  }
  TriangleVertex t1[3] = {c[0], c[1], c[2]};
  TriangleVertex t2[3] = {c[0], c[2], c[3]};
  DrawTriangle(dest, src, t1, trans, mask, true, window);
  DrawTriangle(dest, src, t2, trans, mask, true, window);
}

}  // namespace qx
