// The window in a browser is the page: its canvas is the client area and its
// title the caption. Keyboard and pointer events arrive from the page while
// the game yields, and become the same messages as on the desktop.
#include <emscripten.h>
#include <emscripten/html5.h>
#include <stdio.h>
#include <string.h>

#include "runtime/core/cp932.h"
#include "runtime/platform/tables.h"
#include "runtime/platform/web/web_input.h"
#include "runtime/platform/web/web_internal.h"

namespace qx {

// clang-format off
EM_JS(void, qx_web_set_title, (const char* title), { document.title = UTF8ToString(title); });
EM_JS(void, qx_web_set_canvas_size, (int width, int height), {
  var canvas = Module['canvas'];
  if (canvas) { canvas.width = width; canvas.height = height; }
});
EM_JS(void, qx_web_show_cursor, (int shown), {
  var canvas = Module['canvas'];
  if (canvas) canvas.style.cursor = shown ? 'default' : 'none';
});
// clang-format on

namespace {

constexpr int kQueueCapacity = 1024;

struct WindowSystem {
  PlatformMessage queue[kQueueCapacity];
  int head = 0;
  int count = 0;
  bool exists = false;
  int width = 800, height = 600;
  bool callbacksSet = false;
};

WindowSystem g_w;

void SetCaption(const char* caption) {
  char utf8[1024];
  Cp932ToUtf8(caption, utf8, sizeof(utf8), '?');
  qx_web_set_title(utf8);
}

EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent* e, void*) {
  WebPostMessage(kMsgActivateApp, e->hidden ? 0 : 1);
  WebPostMessage(kMsgActivate, e->hidden ? 0 : 1);
  return EM_FALSE;
}

EM_BOOL OnUnload(int, const void*, void*) {
  WebPostMessage(kMsgClose, 0);
  return EM_FALSE;
}

int AcquireInstanceLock(const char*) { return 0; }  // a page is its own instance
void ReleaseInstanceLock() {}

int Create(const char* caption, int, int clientWidth, int clientHeight, int) {
  g_w.exists = true;
  g_w.width = clientWidth;
  g_w.height = clientHeight;
  qx_web_set_canvas_size(clientWidth, clientHeight);
  SetCaption(caption);
  if (!g_w.callbacksSet) {
    g_w.callbacksSet = true;
    emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, OnVisibility);
    emscripten_set_beforeunload_callback(nullptr, [](int t, const void* e, void* u) -> const char* {
      OnUnload(t, e, u);
      return nullptr;
    });
    WebInputAttach();
  }
  WebPostMessage(kMsgActivateApp, 1);
  WebPostMessage(kMsgActivate, 1);
  return 0;
}

void Destroy() { g_w.exists = false; }
int Exists() { return g_w.exists ? 1 : 0; }
void SetIcon(int) {}

void SetClientSize(int width, int height) {
  g_w.width = width;
  g_w.height = height;
  qx_web_set_canvas_size(width, height);
}

void SetFullscreen(int) {}  // the page scales the canvas to the window in any case

void GetClientRect(int* x, int* y, int* width, int* height) {
  if (x) *x = 0;
  if (y) *y = 0;
  if (width) *width = g_w.width;
  if (height) *height = g_w.height;
}

// Events are delivered by the browser during the game's waits, straight into
// the queue; a pump still marks where the reads of a new frame begin.
void PumpEvents() { WebInputBeginPump(); }

int PeekMessage(PlatformMessage* out) {
  if (g_w.count == 0) return 0;
  *out = g_w.queue[g_w.head];
  g_w.head = (g_w.head + 1) % kQueueCapacity;
  g_w.count--;
  return 1;
}

void PostMessage(const PlatformMessage* message) {
  if (g_w.count == kQueueCapacity) return;
  g_w.queue[(g_w.head + g_w.count) % kQueueCapacity] = *message;
  g_w.count++;
}

void GetDesktopMode(int* width, int* height, int* bitsPerPixel, int* refreshRate) {
  int w = 0, h = 0;
  emscripten_get_screen_size(&w, &h);
  if (width) *width = w > 0 ? w : 1920;
  if (height) *height = h > 0 ? h : 1080;
  if (bitsPerPixel) *bitsPerPixel = 32;
  if (refreshRate) *refreshRate = 60;
}

void ShowCursor(int shown) { qx_web_show_cursor(shown); }

void GetCursorClientPosition(int* x, int* y) { WebCursorPosition(x, y); }

void SetScreenSaverEnabled(int) {}

}  // namespace

void WebPostMessage(int type, int param1, int param2, int param3) {
  PlatformMessage m{type, param1, param2, param3};
  PostMessage(&m);
}

const PlatformWindowOps kWebWindowOps = {
    AcquireInstanceLock, ReleaseInstanceLock, Create,        Destroy,       Exists,
    SetCaption,          SetIcon,             SetClientSize, SetFullscreen, GetClientRect,
    PumpEvents,          PeekMessage,         PostMessage,   GetDesktopMode, ShowCursor,
    GetCursorClientPosition, SetScreenSaverEnabled,
};

}  // namespace qx
