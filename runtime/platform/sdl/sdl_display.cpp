// SDL display: the back screen goes into the window through a streaming
// texture with the renderer's own vertical sync off, so no frame is held
// twice; the vertical blank is derived from the display's refresh rate on the
// monotonic clock.
#include <errno.h>
#include <time.h>

#include "runtime/platform/sdl/sdl_display.h"
#include "runtime/platform/sdl/sdl_internal.h"
#include "runtime/platform/tables.h"

namespace qx {
namespace {

constexpr int64_t kNanosPerSecond = 1000000000LL;
// Share of a refresh spent in the blank (45 of 525 lines, as on a 60 Hz mode).
constexpr int64_t kScanLines = 525;
constexpr int64_t kVisibleLines = 480;
// The wait sleeps until this long before the blank and spins the rest: a
// sleep may wake late by about this much, a spin does not.
constexpr int64_t kSpinNanos = 1000000;

struct SdlDisplay {
  SDL_Renderer* renderer;
  SDL_Texture* texture;
  Uint32 windowId;
  SDL_threadID thread;
  int textureWidth, textureHeight;
  Uint32 textureFormat;
  int refreshRate;
};

SdlDisplay g_d;

int64_t NowNanos() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

int QueryRefreshRate() {
  int rate = 0;
  if (SDL_WasInit(SDL_INIT_VIDEO)) {
    SDL_Window* window = SdlMainWindow();
    int display = window ? SDL_GetWindowDisplayIndex(window) : 0;
    SDL_DisplayMode mode;
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0) rate = mode.refresh_rate;
  }
  return rate > 0 ? rate : 60;
}

int64_t PeriodNanos() {
  if (g_d.refreshRate <= 0) g_d.refreshRate = QueryRefreshRate();
  return kNanosPerSecond / g_d.refreshRate;
}

int64_t PhaseLine(int64_t now) {
  int64_t period = PeriodNanos();
  return (now % period) * kScanLines / period;
}

int Present(const void* pixels, int pitch, int width, int height, int bitsPerPixel) {
  SDL_Window* window = SdlMainWindow();
  if (!window || !pixels) return -1;
  if (g_d.renderer && g_d.windowId != SDL_GetWindowID(window)) {
    // The old window went without telling us; its renderer went with it.
    g_d.renderer = nullptr;
    g_d.texture = nullptr;
  }
  if (!g_d.renderer) {
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    g_d.renderer = SDL_CreateRenderer(window, -1, 0);
    if (!g_d.renderer) g_d.renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (!g_d.renderer) return -1;
    g_d.windowId = SDL_GetWindowID(window);
    g_d.thread = SDL_ThreadID();
  }
  // The renderer belongs to the thread that made it (the game's thread).
  if (SDL_ThreadID() != g_d.thread) return -1;
  Uint32 format = bitsPerPixel == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
  if (!g_d.texture || g_d.textureWidth != width || g_d.textureHeight != height || g_d.textureFormat != format) {
    if (g_d.texture) SDL_DestroyTexture(g_d.texture);
    g_d.texture = SDL_CreateTexture(g_d.renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!g_d.texture) return -1;
    SDL_SetTextureBlendMode(g_d.texture, SDL_BLENDMODE_NONE);
    // A full-screen window larger than the screen shows it scaled with its
    // proportions kept.
    SDL_RenderSetLogicalSize(g_d.renderer, width, height);
    g_d.textureWidth = width;
    g_d.textureHeight = height;
    g_d.textureFormat = format;
  }
  SDL_UpdateTexture(g_d.texture, nullptr, pixels, pitch);
  SDL_RenderClear(g_d.renderer);
  SDL_RenderCopy(g_d.renderer, g_d.texture, nullptr, nullptr);
  SDL_RenderPresent(g_d.renderer);
  return 0;
}

int RefreshRate() {
  g_d.refreshRate = QueryRefreshRate();
  return g_d.refreshRate;
}

int InVerticalBlank() { return PhaseLine(NowNanos()) >= kVisibleLines ? 1 : 0; }

int ScanLine() {
  int64_t line = PhaseLine(NowNanos());
  return static_cast<int>(line < kVisibleLines ? line : kVisibleLines);
}

void WaitForVerticalBlank() {
  int64_t period = PeriodNanos();
  int64_t now = NowNanos();
  int64_t frameStart = now - now % period;
  int64_t blankStart = frameStart + (period * kVisibleLines + kScanLines - 1) / kScanLines;
  if (blankStart <= now) blankStart += period;
  const int64_t wake = blankStart - kSpinNanos;
  if (wake > now) {
    timespec until;
    until.tv_sec = static_cast<time_t>(wake / kNanosPerSecond);
    until.tv_nsec = static_cast<long>(wake % kNanosPerSecond);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
  }
  while (NowNanos() < blankStart) {
  }
}

}  // namespace

void SdlDisplayReleaseRenderer() {
  if (g_d.texture) SDL_DestroyTexture(g_d.texture);
  if (g_d.renderer) SDL_DestroyRenderer(g_d.renderer);
  g_d.texture = nullptr;
  g_d.renderer = nullptr;
  g_d.windowId = 0;
}

int SdlDisplayReadBack(uint32_t* out, int width, int height) {
  if (!g_d.renderer || SDL_ThreadID() != g_d.thread) return -1;
  SDL_Rect rect = {0, 0, width, height};
  if (SDL_RenderReadPixels(g_d.renderer, &rect, SDL_PIXELFORMAT_RGB888, out, width * 4) != 0) return -1;
  for (int i = 0; i < width * height; ++i) out[i] &= 0xFFFFFF;
  return 0;
}

const PlatformDisplayOps kSdlDisplayOps = {Present, RefreshRate, InVerticalBlank, ScanLine, WaitForVerticalBlank};

}  // namespace qx
