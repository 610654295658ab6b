#include "runtime/graphics/draw_state.h"

#include <string.h>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/window_state.h"
#include "runtime/graphics/screen.h"

namespace qx {
namespace {

DrawState g_state = [] {
  DrawState s;
  memset(&s, 0, sizeof(s));
  s.brightness = 0xFFFFFF;
  s.blendMaskGraph = -1;
  s.diffuseColor = 0xFFFFFFFF;
  return s;
}();

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

void UpdateDiffuse() {
  uint32_t alpha = g_state.blendMode != 0 ? static_cast<uint32_t>(g_state.blendParam) : 255u;
  g_state.diffuseColor = (alpha << 24) | (g_state.brightness & 0xFFFFFF);
}

}  // namespace

DrawState& GetDrawState() { return g_state; }

void BuildBlendMaskTable(uint8_t table[256], int border, int range) {
  int k = 65536 / (range + 1);
  int s = 256 - (border * (k + 256)) / 256;
  for (int i = 0; i < 256; ++i) {
    int v = (i * 256) / (range + 1) + s;
    table[i] = static_cast<uint8_t>(Clamp255(v));
  }
}

void ResetDrawState() {
  uint32_t keep = g_state.transparentColor;
  memset(&g_state, 0, sizeof(g_state));
  g_state.transparentColor = keep;
  g_state.brightness = 0xFFFFFF;
  g_state.blendMaskGraph = -1;
  BuildBlendMaskTable(g_state.blendMaskTable, 0, 0);
  int w = 0, h = 0;
  GetScreenSize(&w, &h);
  g_state.drawRight = w;
  g_state.drawBottom = h;
  g_state.drawRightF = static_cast<float>(w);
  g_state.drawBottomF = static_cast<float>(h);
  g_state.drawAreaEmpty = (w == 0 || h == 0) ? 1 : 0;
  UpdateDiffuse();
}

int SetBlendMode(int mode, int parameter) {
  if (mode == g_state.blendMode && parameter == g_state.blendParam) return 0;
  WaitWhileInactive();
  g_state.blendMode = mode;
  g_state.blendParam = Clamp255(parameter);
  UpdateDiffuse();
  return 0;
}

int SetTransparentColor(int r, int g, int b) {
  if (GetRequestedColorBits() == 8) return 0;
  g_state.transparentColor = (static_cast<uint32_t>(r & 255) << 16) | (static_cast<uint32_t>(g & 255) << 8) |
                             static_cast<uint32_t>(b & 255);
  return 0;
}

int GetColorValue(int r, int g, int b) {
  r &= 255;
  g &= 255;
  b &= 255;
  const ColorFormat* f = GetScreenColorFormat();
  if (ScreenColorBits() == 8) {
    int best = 0;
    int bestDistance = 0x7FFFFFFF;
    for (int i = 0; i < 256; ++i) {
      const uint8_t* e = &f->PaletteTable[i * 4];
      int db = e[0] - b, dg = e[1] - g, dr = e[2] - r;
      int d = dr * dr + dg * dg + db * db;
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    return best;
  }
  uint32_t v = (static_cast<uint32_t>(b >> (8 - f->BlueBits)) << f->BlueShift) +
               (static_cast<uint32_t>(g >> (8 - f->GreenBits)) << f->GreenShift) +
               (static_cast<uint32_t>(r >> (8 - f->RedBits)) << f->RedShift) + f->UnusedMask;
  return static_cast<int>(v);
}

int SetBrightness(int r, int g, int b) {
  uint32_t v = (static_cast<uint32_t>(Clamp255(r)) << 16) | (static_cast<uint32_t>(Clamp255(g)) << 8) |
               static_cast<uint32_t>(Clamp255(b));
  if (v == g_state.brightness) return 0;
  g_state.brightness = v;
  UpdateDiffuse();
  return 0;
}

void SetBrightnessValue(uint32_t rgb) {
  SetBrightness(static_cast<int>((rgb >> 16) & 255), static_cast<int>((rgb >> 8) & 255),
                static_cast<int>(rgb & 255));
}

int SetBlendMask(GraphHandle mask, int border, int range) {
  if (mask == g_state.blendMaskGraph && border == g_state.blendMaskBorder && range == g_state.blendMaskRange)
    return 0;
  if (mask != -1 && GetGraphRecord(mask) == nullptr) return -1;
  g_state.blendMaskGraph = mask;
  WaitWhileInactive();
  g_state.blendMaskBorder = Clamp255(border);
  g_state.blendMaskRange = Clamp255(range);
  BuildBlendMaskTable(g_state.blendMaskTable, g_state.blendMaskBorder, g_state.blendMaskRange);
  return 0;
}

int SetClipRect(int left, int top, int right, int bottom) {
  int w = 0, h = 0;
  int x0 = 0, y0 = 0;  // the area starts here, ends at w, h
  int target = GetDrawTarget();
  if (target == -2 || target == -4) {
    GetScreenSize(&w, &h);
    const WindowState& ws = GetWindowState();
    if (target == -4 && ws.windowed && ws.hasMainWindow && ws.desktopWidth > 0 && ws.desktopHeight > 0) {
      // The front screen is the window's client area: only what lies on the desktop shows.
      x0 = ws.clientLeft < 0 ? -ws.clientLeft : 0;
      y0 = ws.clientTop < 0 ? -ws.clientTop : 0;
      if (ws.desktopWidth - ws.clientLeft < w) w = ws.desktopWidth - ws.clientLeft;
      if (ws.desktopHeight - ws.clientTop < h) h = ws.desktopHeight - ws.clientTop;
      if (w < x0) w = x0;
      if (h < y0) h = y0;
    }
  } else if (QueryGraphSize(target, &w, &h) != 0) {
    // A vanished target graph leaves nothing to draw on.
    w = 0;
    h = 0;
  }
  if (right < left) {
    int t = left;
    left = right;
    right = t;
  }
  if (bottom < top) {
    int t = top;
    top = bottom;
    bottom = t;
  }
  auto clamp = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
  left = clamp(left, x0, w);
  right = clamp(right, x0, w);
  top = clamp(top, y0, h);
  bottom = clamp(bottom, y0, h);
  g_state.drawLeft = left;
  g_state.drawTop = top;
  g_state.drawRight = right;
  g_state.drawBottom = bottom;
  g_state.drawLeftF = static_cast<float>(left);
  g_state.drawTopF = static_cast<float>(top);
  g_state.drawRightF = static_cast<float>(right);
  g_state.drawBottomF = static_cast<float>(bottom);
  g_state.drawAreaEmpty = (left == right || top == bottom) ? 1 : 0;
  return 0;
}

void GetClipRect(Rect* out) {
  out->left = g_state.drawLeft;
  out->top = g_state.drawTop;
  out->right = g_state.drawRight;
  out->bottom = g_state.drawBottom;
}

int CheckBlendMaskSize(const GraphRecord* graph) {
  if (g_state.blendMaskGraph == -1) return 0;
  const GraphRecord* mask = GetGraphRecord(g_state.blendMaskGraph);
  if (mask == nullptr) return -1;
  if (graph == nullptr) return 0;
  if (mask->width < graph->width || mask->height < graph->height) return -1;
  return 0;
}

}  // namespace qx
