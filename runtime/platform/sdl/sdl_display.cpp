// SDL display: the back screen goes straight into the window's own pixels
// (SDL's window surface, shared memory under X11), with no graphics
// processor in between; where the window has no such surface a streaming
// texture of SDL's renderer serves instead. The vertical blank is derived
// from the display's refresh rate on the monotonic clock.
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
  Uint32 windowId;
  SDL_threadID thread;
  bool useRenderer;    // the window has no surface of its own
  SDL_Surface* frame;  // the caller's pixels, for scaling into the window
  SDL_Renderer* renderer;
  SDL_Texture* texture;
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

// The part of a window of ww x wh that shows a screen of sw x sh: the whole
// window when the sizes match, else scaled with the proportions kept, centred.
SDL_Rect ShownRect(int ww, int wh, int sw, int sh) {
  int w = ww, h = ww * sh / sw;
  if (h > wh) {
    h = wh;
    w = wh * sw / sh;
  }
  return SDL_Rect{(ww - w) / 2, (wh - h) / 2, w, h};
}

// Copies the frame into the window surface; 0, or -1 when it cannot.
int PresentToSurface(SDL_Window* window, const void* pixels, int pitch, int width, int height, Uint32 format) {
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  if (!surface) return -1;
  if (surface->w <= 0 || surface->h <= 0) return 0;  // nothing of the window to show
  const SDL_Rect shown = ShownRect(surface->w, surface->h, width, height);
  if (shown.w == width && shown.h == height && shown.x == 0 && shown.y == 0) {
    if (SDL_LockSurface(surface) != 0) return -1;
    const int r = SDL_ConvertPixels(width, height, format, pixels, pitch, surface->format->format, surface->pixels,
                                    surface->pitch);
    SDL_UnlockSurface(surface);
    if (r != 0) return -1;
  } else {
    // Full screen on a larger desktop: black bars around the scaled frame.
    if (!g_d.frame || g_d.frame->w != width || g_d.frame->h != height || g_d.frame->format->format != format) {
      if (g_d.frame) SDL_FreeSurface(g_d.frame);
      g_d.frame = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<void*>(pixels), width, height,
                                                     SDL_BITSPERPIXEL(format), pitch, format);
      if (!g_d.frame) return -1;
    }
    g_d.frame->pixels = const_cast<void*>(pixels);
    g_d.frame->pitch = pitch;
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    SDL_Rect to = shown;
    if (SDL_BlitScaled(g_d.frame, nullptr, surface, &to) != 0) return -1;
  }
  return SDL_UpdateWindowSurface(window) == 0 ? 0 : -1;
}

int PresentToRenderer(SDL_Window* window, const void* pixels, int pitch, int width, int height, Uint32 format) {
  if (!g_d.renderer) {
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    g_d.renderer = SDL_CreateRenderer(window, -1, 0);
    if (!g_d.renderer) g_d.renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (!g_d.renderer) return -1;
  }
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

int Present(const void* pixels, int pitch, int width, int height, int bitsPerPixel) {
  SDL_Window* window = SdlMainWindow();
  if (!window || !pixels || width <= 0 || height <= 0) return -1;
  if (g_d.windowId != SDL_GetWindowID(window)) {
    // The old window went without telling us; its surface and renderer went with it.
    g_d.renderer = nullptr;
    g_d.texture = nullptr;
    g_d.useRenderer = false;
    g_d.windowId = SDL_GetWindowID(window);
    g_d.thread = SDL_ThreadID();
    // SDL would otherwise put the window surface on a graphics processor
    // texture, which under X11 without a real one is a software rasteriser.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  }
  // The window's surface and renderer belong to the thread that made them (the game's thread).
  if (SDL_ThreadID() != g_d.thread) return -1;
  const Uint32 format = bitsPerPixel == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
  if (!g_d.useRenderer) {
    if (PresentToSurface(window, pixels, pitch, width, height, format) == 0) return 0;
    g_d.useRenderer = true;
  }
  return PresentToRenderer(window, pixels, pitch, width, height, format);
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
  if (g_d.frame) SDL_FreeSurface(g_d.frame);
  g_d.texture = nullptr;
  g_d.renderer = nullptr;
  g_d.frame = nullptr;
  g_d.useRenderer = false;
  g_d.windowId = 0;
}

int SdlDisplayReadBack(uint32_t* out, int width, int height) {
  SDL_Window* window = SdlMainWindow();
  if (!window || g_d.windowId != SDL_GetWindowID(window) || SDL_ThreadID() != g_d.thread) return -1;
  if (g_d.useRenderer) {
    SDL_Rect rect = {0, 0, width, height};
    if (!g_d.renderer || SDL_RenderReadPixels(g_d.renderer, &rect, SDL_PIXELFORMAT_RGB888, out, width * 4) != 0)
      return -1;
  } else {
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (!surface || surface->w < width || surface->h < height || SDL_LockSurface(surface) != 0) return -1;
    const int r = SDL_ConvertPixels(width, height, surface->format->format, surface->pixels, surface->pitch,
                                    SDL_PIXELFORMAT_RGB888, out, width * 4);
    SDL_UnlockSurface(surface);
    if (r != 0) return -1;
  }
  for (int i = 0; i < width * height; ++i) out[i] &= 0xFFFFFF;
  return 0;
}

const PlatformDisplayOps kSdlDisplayOps = {Present, RefreshRate, InVerticalBlank, ScanLine, WaitForVerticalBlank};

}  // namespace qx
