// The display in a browser: each presented frame is copied into the canvas,
// and the vertical blank is the browser's next animation frame, so the game
// runs at the page's pace and the page gets its turn between frames.
#include <emscripten.h>
#include <stdint.h>

#include <vector>

#include "runtime/platform/tables.h"
#include "runtime/platform/web/web_internal.h"

namespace qx {

// clang-format off
EM_JS(void, qx_web_start_frames, (), {
  if (Module['qxFrameTick'] !== undefined) return;
  Module['qxFrameTick'] = 0;
  Module['qxFrameTime'] = performance.now();
  function tick(t) {
    Module['qxFrameTick']++;
    Module['qxFrameTime'] = performance.now();
    requestAnimationFrame(tick);
  }
  requestAnimationFrame(tick);
});
EM_JS(int, qx_web_frame_tick, (), { return Module['qxFrameTick'] | 0; });
EM_JS(double, qx_web_frame_time, (), { return Module['qxFrameTime']; });
EM_JS(void, qx_web_draw, (const uint8_t* rgba, int width, int height), {
  var canvas = Module['canvas'];
  if (!canvas) return;
  if (canvas.width != width || canvas.height != height) { canvas.width = width; canvas.height = height; }
  var ctx = Module['qxContext'];
  if (!ctx || ctx.canvas !== canvas) ctx = Module['qxContext'] = canvas.getContext('2d', {alpha: false});
  var image = Module['qxImage'];
  if (!image || image.width != width || image.height != height)
    image = Module['qxImage'] = ctx.createImageData(width, height);
  image.data.set(HEAPU8.subarray(rgba, rgba + width * height * 4));
  ctx.putImageData(image, 0, 0);
  Module['qxPresented'] = (Module['qxPresented'] | 0) + 1;
});
// clang-format on

namespace {

constexpr int kRefreshHz = 60;
constexpr double kPeriodMs = 1000.0 / kRefreshHz;
constexpr int kScanLines = 525;
constexpr int kVisibleLines = 480;
// A hidden page gets no animation frames; the game still moves on at this pace.
constexpr double kLongestFrameWaitMs = 100.0;

std::vector<uint8_t> g_rgba;
uint64_t g_presented = 0;

int Present(const void* pixels, int pitch, int width, int height, int bitsPerPixel) {
  if (!pixels || width <= 0 || height <= 0) return 0;
  size_t bytes = static_cast<size_t>(width) * height * 4;
  if (g_rgba.size() != bytes) g_rgba.resize(bytes);  // only when the size changes
  uint8_t* out = g_rgba.data();
  const uint8_t* base = static_cast<const uint8_t*>(pixels);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = base + static_cast<ptrdiff_t>(y) * pitch;
    for (int x = 0; x < width; ++x, out += 4) {
      if (bitsPerPixel == 16) {
        uint16_t v = static_cast<uint16_t>(row[2 * x] | row[2 * x + 1] << 8);
        out[0] = static_cast<uint8_t>(((v >> 11) & 31) * 255 / 31);
        out[1] = static_cast<uint8_t>(((v >> 5) & 63) * 255 / 63);
        out[2] = static_cast<uint8_t>((v & 31) * 255 / 31);
      } else {
        out[0] = row[4 * x + 2];
        out[1] = row[4 * x + 1];
        out[2] = row[4 * x];
      }
      out[3] = 255;
    }
  }
  qx_web_draw(g_rgba.data(), width, height);
  g_presented++;
  return 0;
}

int RefreshRate() { return kRefreshHz; }

// Where the display is within the current refresh, counted from the last animation frame.
int ScanLineNow() {
  qx_web_start_frames();
  double since = WebNow() - qx_web_frame_time();
  if (since < 0) since = 0;
  double phase = since / kPeriodMs;
  phase -= static_cast<int>(phase);
  return static_cast<int>(phase * kScanLines);
}

int InVerticalBlank() { return ScanLineNow() >= kVisibleLines ? 1 : 0; }

int ScanLine() {
  int line = ScanLineNow();
  return line < kVisibleLines ? line : kVisibleLines;
}

void WaitForVerticalBlank() {
  qx_web_start_frames();
  const int tick = qx_web_frame_tick();
  const double end = WebNow() + kLongestFrameWaitMs;
  do {
    WebYield(1);
  } while (qx_web_frame_tick() == tick && WebNow() < end);
}

}  // namespace

uint64_t WebPresentedFrames() { return g_presented; }

const PlatformDisplayOps kWebDisplayOps = {Present, RefreshRate, InVerticalBlank, ScanLine, WaitForVerticalBlank};

}  // namespace qx
