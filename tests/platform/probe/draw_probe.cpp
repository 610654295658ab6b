// Draws the renderer's reference pictures on whichever back end
// QUARNEX_RENDERER selects, in a real window, and writes each finished back
// screen to case_NN.bgra (320 x 240, 4 bytes a pixel, top-down) in the
// working folder, with the back end in use in backend.txt. The Xvfb tests run
// it once per back end and compare the pictures. With QUARNEX_PROBE_HOLD=FILE
// it then writes shown.txt and keeps showing the last picture while FILE
// exists, so that a test can take a picture of the window itself.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "runtime/core/lock.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/font.h"
#include "runtime/graphics/graph.h"
#include "runtime/graphics/graph_image.h"
#include "runtime/graphics/hw.h"
#include "runtime/graphics/screen.h"
#include "runtime/runtime.h"

namespace {

constexpr int kWidth = 320, kHeight = 240;

GraphHandle g_background, g_keyed, g_alpha, g_mask, g_target;
GraphHandle g_cells[2];  // cells of a sprite sheet, kept as their non-zero rectangles

uint32_t* Pixel(qx::MEMIMG& img, int x, int y) {
  return reinterpret_cast<uint32_t*>(img.pixels + static_cast<ptrdiff_t>(y) * img.pitch) + x;
}

GraphHandle MakeGraph(int w, int h, bool alpha, bool mask) {
  qx::SetBlendMaskCreation(mask ? 1 : 0);
  GraphHandle g = qx::CreateGraph(w, h, true, alpha, false);
  qx::SetBlendMaskCreation(0);
  return g;
}

// Pictures with every kind of pixel the drawings treat apart.
bool MakeGraphs() {
  qx::ApiLockScope lock;
  g_background = MakeGraph(kWidth, kHeight, false, false);
  g_keyed = MakeGraph(64, 48, false, false);
  g_alpha = MakeGraph(48, 40, true, false);
  g_mask = MakeGraph(64, 48, false, true);
  g_target = MakeGraph(80, 60, false, false);
  qx::MEMIMG img;
  if (qx::GetGraphImage(g_background, &img) != 0) return false;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      *Pixel(img, x, y) = qx::PackColor(img.format, (x * 255) / kWidth, (y * 255) / kHeight, (x ^ y) & 255, 255);
  if (qx::GetGraphImage(g_keyed, &img) != 0) return false;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      bool key = ((x / 8) + (y / 8)) % 5 == 0;
      *Pixel(img, x, y) = key ? img.colorKey : qx::PackColor(img.format, 40 + x * 3, 250 - y * 5, (x * y) & 255, 255);
    }
  if (qx::GetGraphImage(g_alpha, &img) != 0) return false;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 48; ++x) {
      int a = x < 6 ? 0 : x >= 42 ? 255 : (x * 37 + y * 11) & 255;
      *Pixel(img, x, y) = qx::PackColor(img.format, 255 - x * 5, y * 6, 128 + x, a);
    }
  if (qx::GetGraphImage(g_mask, &img) != 0) return false;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) img.pixels[y * img.pitch + x] = static_cast<uint8_t>((x * 4 + y) & 255);
  if (qx::GetGraphImage(g_target, &img) != 0) return false;
  qx::GraphImage sheet{};
  qx::SetArgb32Format(&sheet.format);
  sheet.width = 96;
  sheet.height = 40;
  sheet.pitch = 96 * 4;
  static uint32_t sheetPixels[96 * 40];
  sheet.pixels = reinterpret_cast<uint8_t*>(sheetPixels);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 96; ++x) {
      bool inside = x < 48 ? (x >= 10 && x < 38 && y >= 8 && y < 30) : (x < 68 && y >= 20);
      uint32_t a = (x * 29 + y * 13) % 5 == 0 ? 0 : (x % 7 == 0 ? 255 : (x * 37 + y * 11) & 255);
      sheetPixels[y * 96 + x] = inside ? a << 24 | (255 - x * 2) << 16 | (y * 6) << 8 | (128 + x) : 0;
    }
  return qx::CreateDivGraphFromGraphImage(&sheet, nullptr, 2, 2, 1, 48, 40, g_cells, true, false, false) == 0 &&
         qx::GraphCropped(qx::GetGraphRecord(g_cells[0])) && qx::GraphCropped(qx::GetGraphRecord(g_cells[1]));
}

void Brightness(int r, int g, int b) {
  qx::ApiLockScope lock;
  qx::SetBrightness(r, g, b);
}

void Clip(int l, int t, int r, int b) {
  qx::ApiLockScope lock;
  qx::SetClipRect(l, t, r, b);
}

void Background() {
  ClearDrawTarget();
  SetBlendMode(0, 0);
  DrawGraphAt(0, 0, g_background, 0);
}

// One reference drawing per case, over the gradient background.
void Draw(int index) {
  Background();
  switch (index) {
    case 0:  // positions, clipped at every edge
      DrawGraphAt(10, 12, g_keyed, 1);
      DrawGraphAt(-20, -10, g_keyed, 1);
      DrawGraphAt(290, 210, g_keyed, 1);
      DrawGraphAt(150, 100, g_alpha, 1);
      break;
    case 1:  // alpha blending with several parameters, keyed and alpha pictures
      for (int i = 0; i < 4; ++i) {
        static const int params[4] = {1, 77, 128, 254};
        SetBlendMode(1, params[i]);
        DrawGraphAt(10 + i * 70, 20, g_keyed, 1);
        DrawGraphAt(10 + i * 70, 100, g_alpha, 1);
        DrawGraphAt(10 + i * 70, 160, g_keyed, 0);
      }
      break;
    case 2:  // add, subtract, multiply; mode 1 at 255 and 0
      SetBlendMode(2, 100);
      DrawGraphAt(10, 10, g_keyed, 1);
      SetBlendMode(3, 150);
      DrawGraphAt(90, 10, g_keyed, 1);
      SetBlendMode(4, 0);
      DrawGraphAt(170, 10, g_keyed, 1);
      SetBlendMode(1, 255);
      DrawGraphAt(10, 100, g_keyed, 1);
      SetBlendMode(1, 0);
      DrawGraphAt(90, 100, g_keyed, 1);
      SetBlendMode(2, 255);
      DrawGraphAt(170, 100, g_keyed, 1);
      break;
    case 3:  // brightness with modes 0 and 1
      Brightness(200, 100, 50);
      DrawGraphAt(10, 10, g_keyed, 1);
      DrawGraphAt(100, 10, g_alpha, 1);
      SetBlendMode(1, 100);
      DrawGraphAt(10, 100, g_keyed, 1);
      DrawGraphAt(100, 100, g_alpha, 1);
      Brightness(255, 255, 255);
      break;
    case 4:  // the transparent colour and alpha without the trans flag
      DrawGraphAt(10, 10, g_keyed, 0);
      DrawGraphAt(100, 10, g_alpha, 0);
      SetBlendMode(1, 180);
      DrawGraphAt(10, 100, g_keyed, 0);
      DrawGraphAt(100, 100, g_alpha, 0);
      break;
    case 5:  // rotation and scale, with and without the turn flag
      DrawGraphRotated(60, 60, 1.0, 0.0, g_keyed, 1, 0);
      DrawGraphRotated(160, 60, 1.5, 0.7, g_keyed, 1, 0);
      DrawGraphRotated(260, 60, 0.6, -2.1, g_keyed, 1, 0);
      DrawGraphRotated(60, 170, 1.0, 0.3, g_keyed, 1, 1);
      SetBlendMode(1, 150);
      DrawGraphRotated(160, 170, 1.3, 1.2, g_alpha, 1, 0);
      SetBlendMode(0, 0);
      DrawGraphRotated(260, 170, 2.0, 3.0, g_alpha, 1, 0);
      break;
    case 6:  // blend masks: border and range, with mode 1
      DrawGraphBlendMasked(10, 10, g_keyed, 1, g_mask, 0, 64);
      DrawGraphBlendMasked(90, 10, g_keyed, 1, g_mask, 120, 64);
      DrawGraphBlendMasked(170, 10, g_keyed, 1, g_mask, 200, 0);
      DrawGraphBlendMasked(10, 100, g_alpha, 1, g_mask, 60, 32);
      SetBlendMode(1, 160);
      DrawGraphBlendMasked(90, 100, g_keyed, 1, g_mask, 90, 64);
      DrawGraphBlendMasked(170, 100, g_alpha, 1, g_mask, 30, 128);
      break;
    case 7:  // fills and outlines in every mode, with brightness
      DrawRectangle(10, 10, 60, 50, GetColorValue(200, 40, 90), 1);
      DrawRectangle(300, 230, 250, 180, GetColorValue(10, 220, 90), 1);
      SetBlendMode(1, 100);
      DrawRectangle(70, 10, 120, 50, GetColorValue(255, 255, 0), 1);
      SetBlendMode(2, 90);
      DrawRectangle(130, 10, 180, 50, GetColorValue(90, 90, 200), 1);
      SetBlendMode(3, 200);
      DrawRectangle(190, 10, 240, 50, GetColorValue(90, 150, 20), 1);
      SetBlendMode(4, 0);
      DrawRectangle(250, 10, 300, 50, GetColorValue(128, 200, 255), 1);
      SetBlendMode(1, 60);
      Brightness(128, 255, 30);
      DrawRectangle(0, 60, 320, 120, GetColorValue(250, 250, 250), 1);
      Brightness(255, 255, 255);
      SetBlendMode(0, 0);
      DrawRectangle(20, 130, 200, 200, GetColorValue(255, 0, 0), 0);
      break;
    case 8:  // clipping to a draw area
      Clip(30, 20, 200, 150);
      DrawGraphAt(0, 0, g_keyed, 1);
      DrawGraphAt(170, 120, g_alpha, 1);
      DrawGraphRotated(190, 30, 1.2, 0.5, g_keyed, 1, 0);
      DrawRectangle(0, 140, 320, 240, GetColorValue(0, 0, 255), 1);
      Clip(0, 0, kWidth, kHeight);
      break;
    case 9:  // a graph as draw target, then drawn itself
      SetDrawTarget(g_target);
      ClearDrawTarget();
      DrawGraphAt(-5, -5, g_keyed, 1);
      SetBlendMode(1, 128);
      DrawGraphAt(30, 20, g_alpha, 1);
      SetBlendMode(0, 0);
      SetDrawTarget(-2);
      DrawGraphAt(20, 20, g_target, 0);
      DrawGraphRotated(220, 150, 1.0, 0.4, g_target, 0, 0);
      // Drawn into again after it was drawn: the second picture must show.
      SetDrawTarget(g_target);
      DrawRectangle(0, 0, 40, 30, GetColorValue(0, 255, 0), 1);
      SetDrawTarget(-2);
      DrawGraphAt(120, 20, g_target, 0);
      break;
    case 10: {  // text drawn by the main processor between drawings of the device
      DrawGraphAt(10, 10, g_keyed, 1);
      {
        qx::ApiLockScope lock;
        qx::DrawFontString(20, 30, "Quarnex 0123", 0xFFFF40, qx::GetDefaultFont(), 0, 0);
      }
      SetBlendMode(1, 128);
      DrawGraphAt(40, 20, g_alpha, 1);
      DrawRectangle(0, 100, 320, 140, GetColorValue(0, 0, 0), 1);
      break;
    }
    case 11:  // cells kept as their non-zero rectangles, drawn as whole cells
      DrawGraphAt(-6, 10, g_cells[0], 1);
      DrawGraphAt(60, 10, g_cells[1], 1);
      SetBlendMode(1, 150);
      DrawGraphAt(120, 10, g_cells[0], 0);
      DrawGraphBlendMasked(180, 10, g_cells[1], 1, g_mask, 60, 64);
      SetBlendMode(2, 200);
      DrawGraphRotated(60, 150, 1.4, 0.6, g_cells[0], 1, 0);
      SetBlendMode(0, 0);
      DrawGraphRotated(150, 150, 1.0, 2.2, g_cells[1], 0, 1);
      DrawGraphRotated(240, 150, 0.8, -0.4, g_cells[0], 1, 1);
      // Copying pixels whole writes the zero ones too: the cell is made whole.
      DrawGraphAt(250, 40, g_cells[1], 0);
      break;
    case 12:  // multiply weighted by alpha and by a blend mask
      SetBlendMode(4, 0);
      DrawGraphAt(10, 10, g_alpha, 1);
      DrawGraphAt(90, 10, g_alpha, 0);
      DrawGraphBlendMasked(170, 10, g_keyed, 1, g_mask, 90, 64);
      DrawGraphBlendMasked(10, 100, g_alpha, 1, g_mask, 30, 128);
      DrawGraphRotated(220, 170, 1.5, 0.7, g_alpha, 1, 0);
      break;
  }
  SetBlendMode(0, 0);
}

bool Write(const char* name, const void* data, size_t size) {
  FILE* f = fopen(name, "wb");
  if (!f) return false;
  bool ok = fwrite(data, 1, size, f) == size;
  return fclose(f) == 0 && ok;
}

}  // namespace

int main() {
  SetWindowCaption("Quarnex draw probe");
  SetScreenMode(kWidth, kHeight, 32, 60);
  ChangeWindowMode(1);
  SetRunWhileInactive(1);
  SetLogFileEnabled(1);
  if (InitRuntime() == -1) return 2;
  SetDrawTarget(-2);
  if (!MakeGraphs()) return 3;
  char text[160];
  snprintf(text, sizeof(text), "%s\n", qx::HwInUse() ? qx::HwRendererName() : "software");
  if (!Write("backend.txt", text, strlen(text))) return 4;
  static uint32_t pixels[kWidth * kHeight];
  for (int i = 0; i < 13; ++i) {
    Draw(i);
    FlipScreen();
    {
      qx::ApiLockScope lock;
      const qx::MEMIMG* back = qx::GetBackScreenImage();
      if (!back) return 5;
      for (int y = 0; y < kHeight; ++y) memcpy(pixels + y * kWidth, back->pixels + y * back->pitch, kWidth * 4);
    }
    char name[32];
    snprintf(name, sizeof(name), "case_%02d.bgra", i);
    if (!Write(name, pixels, sizeof(pixels))) return 4;
  }
  if (const char* hold = getenv("QUARNEX_PROBE_HOLD")) {
    if (!Write("shown.txt", "", 0)) return 4;
    while (access(hold, F_OK) == 0 && ProcessMessage() == 0) FlipScreen();
  }
  EndRuntime();
  return 0;
}
