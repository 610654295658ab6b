// The SDL window system: one window, SDL events turned into the runtime's
// messages, the single-instance lock, the cursor and the screen saver.
// SDL's window and event functions are only called on the thread that made
// the window; requests from other threads wait for its next pump.
#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <mutex>

#include "runtime/platform/posix_os.h"
#include "runtime/platform/sdl/sdl_display.h"
#include "runtime/platform/sdl/sdl_fit.h"
#include "runtime/platform/sdl/sdl_internal.h"
#include "runtime/platform/tables.h"

namespace qx {
namespace {

constexpr int kQueueCapacity = 1024;

struct SdlWindowSystem {
  std::mutex mutex;  // guards the queue
  PlatformMessage queue[kQueueCapacity];
  int head = 0;
  int count = 0;
  SDL_Window* window = nullptr;
  int ownerThread = 0;
  bool videoStarted = false;
  std::atomic<bool> destroyPending{false};
  std::atomic<int> cursorRequest{-1};  // -1 none, else the wanted visibility
  std::atomic<int> sizeRequestW{0}, sizeRequestH{0};  // 0: none
  std::atomic<int> fullscreenRequest{-1};
  int cursorShown = 1;
  int lastDesktopW = 0, lastDesktopH = 0, lastDesktopBits = 0;
  std::atomic<int> clientX{0}, clientY{0}, clientW{0}, clientH{0};
  std::atomic<int> screenW{0}, screenH{0};  // the client size asked for: the game's pixels
  int scale = 1;  // window pixels per game pixel when the window is made or the game's size changes
};

SdlWindowSystem& S() {
  static SdlWindowSystem s;
  return s;
}

bool OnOwnerThread() { return S().ownerThread == 0 || Os().CurrentThreadId() == S().ownerThread; }

// When no window system answers, SDL falls back to drivers that show nothing
// (off-screen, dummy): the game would run unseen, and go on running. Those are
// taken only when SDL_VIDEODRIVER asks for them.
bool ShowsNothing(const char* driver) {
  return driver && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0);
}

bool StartVideo() {
  SdlWindowSystem& s = S();
  if (s.videoStarted) return true;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    fprintf(stderr, "SDL video: %s\n", SDL_GetError());
    return false;
  }
  const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  if (ShowsNothing(SDL_GetCurrentVideoDriver()) && !(asked && *asked)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    const char* display = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    fprintf(stderr, "SDL video: no window system answers (DISPLAY=%s, WAYLAND_DISPLAY=%s)\n",
            display ? display : "", wayland ? wayland : "");
    return false;
  }
  s.videoStarted = true;
  return true;
}

// Window pixels per game pixel at the start: QUARNEX_WINDOW_SCALE when set
// (1..16), else what keeps the game's physical size on a high-density
// desktop (a 96-dpi pixel each), as far as the window fits on the desktop.
// Where the display reports no density (X servers without output sizes), the
// desktop's own scale (GDK_SCALE) is taken, else a desktop of 1800 rows
// and more (a 4K screen) counts as one of twice the common density.
int StartingScale(int width, int height) {
  if (const char* asked = getenv("QUARNEX_WINDOW_SCALE")) {
    char* end = nullptr;
    const long n = strtol(asked, &end, 10);
    if (end != asked && *end == '\0' && n >= 1 && n <= 16) return static_cast<int>(n);
    fprintf(stderr, "QUARNEX_WINDOW_SCALE: %s is not a whole number from 1 to 16; ignored\n", asked);
  }
  SDL_Rect usable;
  if (width <= 0 || height <= 0 || SDL_GetDisplayUsableBounds(0, &usable) != 0) return 1;
  int scale = 1;
  float hdpi = 0, vdpi = 0;
  const char* desktopScale = getenv("GDK_SCALE");
  if (SDL_GetDisplayDPI(0, nullptr, &hdpi, &vdpi) == 0 && hdpi > 0 && vdpi > 0) {
    const float dpi = hdpi < vdpi ? hdpi : vdpi;
    scale = static_cast<int>(dpi / 96.0f + 0.25f);  // 168 dpi and up: twice
  } else if (desktopScale && atoi(desktopScale) >= 1) {
    scale = atoi(desktopScale);
  } else {
    scale = usable.h >= 1800 ? usable.h / 1080 : 1;
  }
  while (scale > 1 && (width * scale > usable.w || height * scale > usable.h)) --scale;
  return scale < 1 ? 1 : scale;
}

void Post(int type, int p1 = 0, int p2 = 0, int p3 = 0) {
  PlatformMessage m = {type, p1, p2, p3};
  kSdlWindowOps.PostMessage(&m);
}

// Captions are Shift-JIS; SDL wants UTF-8.
void ToUtf8(const char* sjis, char* out, size_t size) {
  out[0] = '\0';
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    snprintf(out, size, "%s", sjis);
    return;
  }
  char* in = const_cast<char*>(sjis);
  size_t inLeft = strlen(sjis);
  char* o = out;
  size_t outLeft = size - 1;
  while (inLeft > 0 && iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) {
    if (outLeft == 0) break;
    ++in;  // skip a byte that is not Shift-JIS
    --inLeft;
  }
  *o = '\0';
  iconv_close(cd);
}

// Icons built into the program, by resource id. 103 is the game's: a faceted
// stone on a dark ground.
SDL_Surface* BuiltInIcon(int id) {
  if (id != 103) return nullptr;
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, 32, 32, 32, SDL_PIXELFORMAT_ARGB8888);
  if (!icon) return nullptr;
  uint32_t* px = static_cast<uint32_t*>(icon->pixels);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      int dx = x - 16, dy = y - 16;
      int d = (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy);
      uint32_t c = 0xFF101828u;
      if (d <= 13) {
        int shade = 120 + (dx - dy) * 4;
        if (shade < 40) shade = 40;
        if (shade > 255) shade = 255;
        c = 0xFF000000u | (static_cast<uint32_t>(shade / 2) << 16) | (static_cast<uint32_t>(shade) << 8) |
            static_cast<uint32_t>(shade);
      }
      if (d == 13 || d == 14) c = 0xFFE0F0FFu;
      px[y * (icon->pitch / 4) + x] = c;
    }
  }
  return icon;
}

void RefreshClientRect() {
  SdlWindowSystem& s = S();
  if (!s.window) return;
  int x, y, w, h;
  SDL_GetWindowPosition(s.window, &x, &y);
  SDL_GetWindowSize(s.window, &w, &h);
  s.clientX = x;
  s.clientY = y;
  s.clientW = w;
  s.clientH = h;
}

void DestroyNow() {
  SdlWindowSystem& s = S();
  s.destroyPending = false;
  if (s.window) {
    SdlDisplayReleaseRenderer();  // the display's renderer belongs to this window
    SdlGlRelease();
    SDL_DestroyWindow(s.window);
    s.window = nullptr;
  }
}

int AcquireInstanceLock(const char* className) { return PosixAcquireInstanceLock(className, 0); }
void ReleaseInstanceLock() { PosixReleaseInstanceLock(); }

int Create(const char* caption, int iconId, int clientWidth, int clientHeight, int windowed) {
  SdlWindowSystem& s = S();
  if (s.window || !StartVideo()) return s.window ? 0 : -1;
  char title[1024];
  ToUtf8(caption, title, sizeof(title));
  Uint32 flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE |
                 (windowed ? 0u : static_cast<Uint32>(SDL_WINDOW_FULLSCREEN_DESKTOP));
  s.scale = StartingScale(clientWidth, clientHeight);
  const int ww = clientWidth * s.scale, wh = clientHeight * s.scale;
  // An OpenGL window lets the hardware back end draw into it; where the
  // window system has no OpenGL the plain window serves the software one.
  if (RendererPreference() != 1) {
    s.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, ww, wh, flags | SDL_WINDOW_OPENGL);
  }
  if (!s.window) s.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, ww, wh, flags);
  if (!s.window) {
    fprintf(stderr, "SDL window: %s\n", SDL_GetError());
    return -1;
  }
  s.ownerThread = Os().CurrentThreadId();
  s.screenW = clientWidth;
  s.screenH = clientHeight;
  if (SDL_Surface* icon = BuiltInIcon(iconId)) {
    SDL_SetWindowIcon(s.window, icon);
    SDL_FreeSurface(icon);
  }
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    s.lastDesktopW = mode.w;
    s.lastDesktopH = mode.h;
    s.lastDesktopBits = SDL_BYTESPERPIXEL(mode.format) * 8;
  }
  RefreshClientRect();
  return 0;
}

void Destroy() {
  if (OnOwnerThread()) {
    DestroyNow();
  } else {
    S().destroyPending = true;
  }
}

int Exists() { return S().window != nullptr && !S().destroyPending; }

void SetCaption(const char* caption) {
  if (!S().window || !OnOwnerThread()) return;
  char title[1024];
  ToUtf8(caption, title, sizeof(title));
  SDL_SetWindowTitle(S().window, title);
}

void SetIcon(int iconId) {
  if (!S().window || !OnOwnerThread()) return;
  if (SDL_Surface* icon = BuiltInIcon(iconId)) {
    SDL_SetWindowIcon(S().window, icon);
    SDL_FreeSurface(icon);
  }
}

void ResizeWindow(int width, int height) {
  SdlWindowSystem& s = S();
  int w, h;
  SDL_GetWindowSize(s.window, &w, &h);
  if (w != width * s.scale || h != height * s.scale) {
    SDL_SetWindowSize(s.window, width * s.scale, height * s.scale);
    if (!(SDL_GetWindowFlags(s.window) & SDL_WINDOW_FULLSCREEN)) {
      SDL_SetWindowPosition(s.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
  }
  RefreshClientRect();
}

// A new game size gives the window that size times the starting scale; the
// same size again leaves the window as the player has made it.
void SetClientSize(int width, int height) {
  SdlWindowSystem& s = S();
  if (!s.window) return;
  const bool changed = s.screenW != width || s.screenH != height;
  s.screenW = width;
  s.screenH = height;
  if (!changed) return;
  if (!OnOwnerThread()) {
    s.sizeRequestH = height;
    s.sizeRequestW = width;
    return;
  }
  ResizeWindow(width, height);
}

// F11: the same picture over the whole desktop, without a display-mode
// change, and back.
void ToggleFullscreen() {
  SdlWindowSystem& s = S();
  if (!s.window) return;
  const bool full = (SDL_GetWindowFlags(s.window) & SDL_WINDOW_FULLSCREEN) != 0;
  SDL_SetWindowFullscreen(s.window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
  RefreshClientRect();
}

void SetFullscreen(int fullscreen) {
  SdlWindowSystem& s = S();
  if (!s.window) return;
  if (!OnOwnerThread()) {
    s.fullscreenRequest = fullscreen ? 1 : 0;
    return;
  }
  SDL_SetWindowFullscreen(s.window, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  RefreshClientRect();
}

// The client area in the game's pixels: the player may resize the window or
// show it full screen, and the frame is scaled into it, but the game's own
// client area keeps the size it asked for.
void GetClientRect(int* x, int* y, int* width, int* height) {
  SdlWindowSystem& s = S();
  if (x) *x = s.clientX;
  if (y) *y = s.clientY;
  if (width) *width = s.screenW;
  if (height) *height = s.screenH;
}

void ApplyCursor(int shown) {
  SdlWindowSystem& s = S();
  if (s.cursorShown == shown) return;
  s.cursorShown = shown;
  SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void TranslateKey(const SDL_KeyboardEvent& key) {
  switch (key.keysym.sym) {
    case SDLK_DELETE: Post(kMsgKeyDown, 0x2E); break;
    case SDLK_LEFT: Post(kMsgKeyDown, 0x25); break;
    case SDLK_UP: Post(kMsgKeyDown, 0x26); break;
    case SDLK_RIGHT: Post(kMsgKeyDown, 0x27); break;
    case SDLK_DOWN: Post(kMsgKeyDown, 0x28); break;
    // Control characters do not come as text.
    case SDLK_RETURN: case SDLK_KP_ENTER: Post(kMsgChar, 13); break;
    case SDLK_BACKSPACE: Post(kMsgChar, 8); break;
    case SDLK_TAB: Post(kMsgChar, 9); break;
    case SDLK_ESCAPE: Post(kMsgChar, 27); break;
    default: break;
  }
}

void Translate(const SDL_Event& e) {
  SdlWindowSystem& s = S();
  switch (e.type) {
    case SDL_QUIT:
      Post(kMsgClose);
      break;
    case SDL_WINDOWEVENT:
      if (!s.window || e.window.windowID != SDL_GetWindowID(s.window)) break;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE: Post(kMsgClose); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          Post(kMsgActivateApp, 1);
          Post(kMsgActivate, 1);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST: Post(kMsgActivateApp, 0); break;
        case SDL_WINDOWEVENT_MOVED:
          RefreshClientRect();
          Post(kMsgMove, e.window.data1, e.window.data2);
          break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          RefreshClientRect();
          Post(kMsgSize, e.window.data1, e.window.data2);
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          if (!SdlSessionReplayable()) Post(kMsgPaint);
          break;
        case SDL_WINDOWEVENT_ENTER: Post(kMsgSetCursor); break;
        default: break;
      }
      break;
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      Post(kMsgMouseMove);
      break;
    case SDL_MOUSEWHEEL:
      if (e.wheel.y != 0) Post(kMsgMouseWheel, e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y);
      break;
    case SDL_KEYDOWN:
      if (e.key.keysym.scancode == SDL_SCANCODE_F11 && !e.key.repeat && e.key.windowID == SDL_GetWindowID(s.window)) {
        ToggleFullscreen();
      }
      TranslateKey(e.key);
      break;
    case SDL_TEXTINPUT:
      for (const unsigned char* c = reinterpret_cast<const unsigned char*>(e.text.text); *c; ++c) {
        if (*c < 0x80) Post(kMsgChar, *c);  // text input is unused; plain ASCII is enough
      }
      break;
    default:
      break;
  }
}

// SDL reports no desktop mode changes; a pump compares the mode with the last one seen.
void CheckDesktopMode() {
  SdlWindowSystem& s = S();
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return;
  int bits = SDL_BYTESPERPIXEL(mode.format) * 8;
  if (mode.w == s.lastDesktopW && mode.h == s.lastDesktopH && bits == s.lastDesktopBits) return;
  s.lastDesktopW = mode.w;
  s.lastDesktopH = mode.h;
  s.lastDesktopBits = bits;
  Post(kMsgDisplayChange, bits, mode.w, mode.h);
}

void PumpEvents() {
  SdlWindowSystem& s = S();
  if (!s.videoStarted || !OnOwnerThread()) return;
  if (s.destroyPending) DestroyNow();
  int cursor = s.cursorRequest.exchange(-1);
  if (cursor >= 0) ApplyCursor(cursor);
  int fullscreen = s.fullscreenRequest.exchange(-1);
  if (fullscreen >= 0) SetFullscreen(fullscreen);
  int width = s.sizeRequestW.exchange(0);
  if (width > 0 && s.window) ResizeWindow(width, s.sizeRequestH);
  SdlInputBeginPump();
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    SdlInputNoteEvent(e);
    Translate(e);
  }
  if (s.window) CheckDesktopMode();
}

int PeekMessage(PlatformMessage* out) {
  SdlWindowSystem& s = S();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.count == 0) return 0;
  *out = s.queue[s.head];
  s.head = (s.head + 1) % kQueueCapacity;
  s.count--;
  return 1;
}

void PostMessage(const PlatformMessage* message) {
  SdlWindowSystem& s = S();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.count == kQueueCapacity) return;
  s.queue[(s.head + s.count) % kQueueCapacity] = *message;
  s.count++;
}

void GetDesktopMode(int* width, int* height, int* bitsPerPixel, int* refreshRate) {
  int w = 0, h = 0, bits = 0, rate = 0;
  SDL_DisplayMode mode;
  if (StartVideo() && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    w = mode.w;
    h = mode.h;
    // Bytes per pixel, not the X server's depth: 24-bit depth with 4-byte pixels is a 32-bit desktop.
    bits = SDL_BYTESPERPIXEL(mode.format) * 8;
    rate = mode.refresh_rate;
  }
  if (width) *width = w;
  if (height) *height = h;
  if (bitsPerPixel) *bitsPerPixel = bits;
  if (refreshRate) *refreshRate = rate;
}

void ShowCursor(int shown) {
  if (S().videoStarted && OnOwnerThread()) {
    ApplyCursor(shown ? 1 : 0);
  } else {
    S().cursorRequest = shown ? 1 : 0;
  }
}

// The frame is shown scaled to fit the window (see FitFrame); window pixels
// map back to the game's pixels the same way, truncated toward zero and
// unclipped, so a point outside the picture reads outside the client area.
void ToScreenPixels(int* px, int* py) {
  SdlWindowSystem& s = S();
  const int sw = s.screenW, sh = s.screenH;
  int ww = 0, wh = 0;
  SDL_GetWindowSize(s.window, &ww, &wh);
  const FrameFit fit = FitFrame(ww, wh, sw, sh);
  if (fit.width <= 0 || fit.height <= 0 || (fit.width == sw && fit.height == sh && fit.x == 0 && fit.y == 0)) return;
  *px = static_cast<int>(static_cast<long long>(*px - fit.x) * sw / fit.width);
  *py = static_cast<int>(static_cast<long long>(*py - fit.y) * sh / fit.height);
}

void GetCursorClientPosition(int* x, int* y) {
  SdlWindowSystem& s = S();
  int px = 0, py = 0;
  if (s.window && SDL_GetMouseFocus() == s.window) {
    SDL_GetMouseState(&px, &py);
  } else if (s.videoStarted) {
    SDL_GetGlobalMouseState(&px, &py);
    px -= s.clientX;
    py -= s.clientY;
  }
  if (s.window) ToScreenPixels(&px, &py);
  if (x) *x = px;
  if (y) *y = py;
}

void SetScreenSaverEnabled(int enabled) {
  if (!StartVideo() || !OnOwnerThread()) return;
  if (enabled) {
    SDL_EnableScreenSaver();
  } else {
    SDL_DisableScreenSaver();
  }
}

}  // namespace

SDL_Window* SdlMainWindow() { return S().window; }

bool SdlOnWindowThread() { return OnOwnerThread(); }

const PlatformWindowOps kSdlWindowOps = {
    AcquireInstanceLock, ReleaseInstanceLock, Create,         Destroy,          Exists,
    SetCaption,          SetIcon,             SetClientSize,  SetFullscreen,    GetClientRect,
    PumpEvents,          PeekMessage,         PostMessage,    GetDesktopMode,   ShowCursor,
    GetCursorClientPosition, SetScreenSaverEnabled,
};

}  // namespace qx
