// The headless window system: no window, only its state and a message queue.
// Close, activation and wheel events come from the script player.
#include "runtime/platform/headless/headless_window.h"

#include <stdio.h>
#include <string.h>

#include <mutex>

#include "runtime/platform/headless/headless.h"
#include "runtime/platform/posix_os.h"
#include "runtime/platform/tables.h"

namespace qx {
namespace {

constexpr int kQueueCapacity = 1024;

struct WindowSystem {
  std::mutex mutex;
  PlatformMessage queue[kQueueCapacity];
  int head = 0;
  int count = 0;
  HeadlessWindowInfo info = {0, {}, 0, 0, 0, 0, 1, 0};
  int desktopWidth = 1920, desktopHeight = 1080, desktopBits = 32, desktopRefresh = 60;
};

WindowSystem& Ws() {
  static WindowSystem w;
  return w;
}

int AcquireInstanceLock(const char* className) { return PosixAcquireInstanceLock(className, 1); }
void ReleaseInstanceLock() { PosixReleaseInstanceLock(); }

int Create(const char* caption, int iconId, int clientWidth, int clientHeight, int windowed) {
  WindowSystem& w = Ws();
  std::lock_guard<std::mutex> lock(w.mutex);
  w.info.exists = 1;
  snprintf(w.info.caption, sizeof(w.info.caption), "%s", caption);
  w.info.iconId = iconId;
  w.info.clientWidth = clientWidth;
  w.info.clientHeight = clientHeight;
  w.info.fullscreen = windowed ? 0 : 1;
  Headless().windowExists = 1;
  return 0;
}

void Destroy() {
  WindowSystem& w = Ws();
  std::lock_guard<std::mutex> lock(w.mutex);
  w.info.exists = 0;
  Headless().windowExists = 0;
}

int Exists() {
  std::lock_guard<std::mutex> lock(Ws().mutex);
  return Ws().info.exists;
}

void SetCaption(const char* caption) {
  std::lock_guard<std::mutex> lock(Ws().mutex);
  snprintf(Ws().info.caption, sizeof(Ws().info.caption), "%s", caption);
}

void SetIcon(int iconId) {
  std::lock_guard<std::mutex> lock(Ws().mutex);
  Ws().info.iconId = iconId;
}

void SetClientSize(int width, int height) {
  std::lock_guard<std::mutex> lock(Ws().mutex);
  Ws().info.clientWidth = width;
  Ws().info.clientHeight = height;
}

void SetFullscreen(int fullscreen) {
  std::lock_guard<std::mutex> lock(Ws().mutex);
  Ws().info.fullscreen = fullscreen ? 1 : 0;
}

void GetClientRect(int* x, int* y, int* width, int* height) {
  WindowSystem& w = Ws();
  std::lock_guard<std::mutex> lock(w.mutex);
  int cw = w.info.clientWidth, ch = w.info.clientHeight;
  if (x) *x = w.info.fullscreen ? 0 : (w.desktopWidth - cw) / 2;
  if (y) *y = w.info.fullscreen ? 0 : (w.desktopHeight - ch) / 2;
  if (width) *width = cw;
  if (height) *height = ch;
}

void PumpEvents() {
  // The message thread pumps too, between the reads of one frame.
  if (HeadlessOnMainThread()) HeadlessBeginPump();
  HeadlessApplyDueEvents();
}

int PeekMessage(PlatformMessage* out) {
  WindowSystem& w = Ws();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (w.count == 0) return 0;
  *out = w.queue[w.head];
  w.head = (w.head + 1) % kQueueCapacity;
  w.count--;
  return 1;
}

void PostMessage(const PlatformMessage* message) {
  WindowSystem& w = Ws();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (w.count == kQueueCapacity) return;  // a full queue drops, as a real one refuses posts
  w.queue[(w.head + w.count) % kQueueCapacity] = *message;
  w.count++;
}

void GetDesktopMode(int* width, int* height, int* bitsPerPixel, int* refreshRate) {
  WindowSystem& w = Ws();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (width) *width = w.desktopWidth;
  if (height) *height = w.desktopHeight;
  if (bitsPerPixel) *bitsPerPixel = w.desktopBits;
  if (refreshRate) *refreshRate = w.desktopRefresh;
}

void ShowCursor(int shown) { Headless().cursorShown = shown ? 1 : 0; }

void GetCursorClientPosition(int* x, int* y) {
  if (x) *x = Headless().cursorX;
  if (y) *y = Headless().cursorY;
}

void SetScreenSaverEnabled(int enabled) {
  std::lock_guard<std::mutex> lock(Ws().mutex);
  Ws().info.screenSaverEnabled = enabled ? 1 : 0;
}

}  // namespace

HeadlessWindowInfo HeadlessGetWindowInfo() {
  WindowSystem& w = Ws();
  std::lock_guard<std::mutex> lock(w.mutex);
  HeadlessWindowInfo info = w.info;
  info.queued = w.count;
  return info;
}

void HeadlessSetDesktopMode(int width, int height, int bitsPerPixel, int refreshRate) {
  WindowSystem& w = Ws();
  std::lock_guard<std::mutex> lock(w.mutex);
  w.desktopWidth = width;
  w.desktopHeight = height;
  w.desktopBits = bitsPerPixel;
  w.desktopRefresh = refreshRate;
}

void HeadlessClearMessages() {
  WindowSystem& w = Ws();
  std::lock_guard<std::mutex> lock(w.mutex);
  w.head = 0;
  w.count = 0;
}

const PlatformWindowOps kHeadlessWindowOps = {
    AcquireInstanceLock, ReleaseInstanceLock, Create,         Destroy,          Exists,
    SetCaption,          SetIcon,             SetClientSize,  SetFullscreen,    GetClientRect,
    PumpEvents,          PeekMessage,         PostMessage,    GetDesktopMode,   ShowCursor,
    GetCursorClientPosition, SetScreenSaverEnabled,
};

}  // namespace qx
