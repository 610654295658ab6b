// SDL display: the back screen goes straight into the window's own pixels
// (SDL's window surface, shared memory under X11), with no graphics
// processor in between; where the window has no such surface a streaming
// texture of SDL's renderer serves instead. The vertical blank is derived
// from the display's refresh rate on the monotonic clock.
#include <errno.h>
#include <time.h>

#include "runtime/platform/sdl/sdl_display.h"
#include "runtime/platform/sdl/sdl_fit.h"
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
  SDL_Surface* frame;      // the caller's pixels, for scaling into the window
  SDL_Surface* converted;  // the frame in the window's format, for the filter
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

// Copies the frame into the window surface, scaled to fit with its
// proportions kept (whole factors with nearest pixels, others filtered),
// black around it; 0, or -1 when it cannot.
int PresentToSurface(SDL_Window* window, const void* pixels, int pitch, int width, int height, Uint32 format) {
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  if (!surface) return -1;
  if (surface->w <= 0 || surface->h <= 0) return 0;  // nothing of the window to show
  const FrameFit fit = FitFrame(surface->w, surface->h, width, height);
  if (fit.width == width && fit.height == height && fit.x == 0 && fit.y == 0) {
    if (SDL_LockSurface(surface) != 0) return -1;
    const int r = SDL_ConvertPixels(width, height, format, pixels, pitch, surface->format->format, surface->pixels,
                                    surface->pitch);
    SDL_UnlockSurface(surface);
    if (r != 0) return -1;
    return SDL_UpdateWindowSurface(window) == 0 ? 0 : -1;
  }
  if (fit.width <= 0 || fit.height <= 0) return 0;
  if (!g_d.frame || g_d.frame->w != width || g_d.frame->h != height || g_d.frame->format->format != format) {
    if (g_d.frame) SDL_FreeSurface(g_d.frame);
    g_d.frame = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<void*>(pixels), width, height,
                                                   SDL_BITSPERPIXEL(format), pitch, format);
    if (!g_d.frame) return -1;
  }
  g_d.frame->pixels = const_cast<void*>(pixels);
  g_d.frame->pitch = pitch;
  SDL_Rect to = {fit.x, fit.y, fit.width, fit.height};
  // Only the bars: the picture covers the rest.
  const Uint32 black = SDL_MapRGB(surface->format, 0, 0, 0);
  const SDL_Rect bars[4] = {{0, 0, surface->w, fit.y},
                            {0, fit.y + fit.height, surface->w, surface->h - fit.y - fit.height},
                            {0, fit.y, fit.x, fit.height},
                            {fit.x + fit.width, fit.y, surface->w - fit.x - fit.width, fit.height}};
  for (const SDL_Rect& bar : bars) {
    if (bar.w > 0 && bar.h > 0) SDL_FillRect(surface, &bar, black);
  }
  if (fit.wholeFactor) {
    if (SDL_BlitScaled(g_d.frame, nullptr, surface, &to) != 0) return -1;
  } else {
    // The filter wants the window's own 32-bit format on both sides.
    SDL_Surface* source = g_d.frame;
    if (format != surface->format->format || surface->format->BytesPerPixel != 4) {
      if (surface->format->BytesPerPixel != 4) {
        if (SDL_BlitScaled(g_d.frame, nullptr, surface, &to) != 0) return -1;
        return SDL_UpdateWindowSurface(window) == 0 ? 0 : -1;
      }
      if (!g_d.converted || g_d.converted->w != width || g_d.converted->h != height ||
          g_d.converted->format->format != surface->format->format) {
        if (g_d.converted) SDL_FreeSurface(g_d.converted);
        g_d.converted = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, surface->format->format);
        if (!g_d.converted) return -1;
      }
      if (SDL_ConvertPixels(width, height, format, pixels, pitch, g_d.converted->format->format,
                            g_d.converted->pixels, g_d.converted->pitch) != 0)
        return -1;
      source = g_d.converted;
    }
    if (SDL_SoftStretchLinear(source, nullptr, surface, &to) != 0) return -1;
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
    g_d.textureWidth = width;
    g_d.textureHeight = height;
    g_d.textureFormat = format;
  }
  SDL_UpdateTexture(g_d.texture, nullptr, pixels, pitch);
  int ow = 0, oh = 0;
  if (SDL_GetRendererOutputSize(g_d.renderer, &ow, &oh) != 0) return -1;
  const FrameFit fit = FitFrame(ow, oh, width, height);
  SDL_SetTextureScaleMode(g_d.texture, fit.wholeFactor ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
  const SDL_Rect to = {fit.x, fit.y, fit.width, fit.height};
  SDL_SetRenderDrawColor(g_d.renderer, 0, 0, 0, 255);
  SDL_RenderClear(g_d.renderer);
  SDL_RenderCopy(g_d.renderer, g_d.texture, nullptr, &to);
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
  if (g_d.converted) SDL_FreeSurface(g_d.converted);
  g_d.texture = nullptr;
  g_d.renderer = nullptr;
  g_d.frame = nullptr;
  g_d.converted = nullptr;
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
