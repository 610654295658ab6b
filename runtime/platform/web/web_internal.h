// What the browser back end's components share.
#ifndef QUARNEX_RUNTIME_PLATFORM_WEB_WEB_INTERNAL_H
#define QUARNEX_RUNTIME_PLATFORM_WEB_WEB_INTERNAL_H

#include "runtime/platform/platform.h"

namespace qx {

// The page's canvas, as the browser's event functions name it.
inline constexpr const char* kWebCanvas = "#canvas";

// Appends a message to the window's queue.
void WebPostMessage(int type, int param1, int param2 = 0, int param3 = 0);
// Frames presented so far.
uint64_t WebPresentedFrames();
// Milliseconds of the browser's monotonic clock.
double WebNow();
// Gives the browser its turn (events, drawing, sound) for at least `ms`.
void WebYield(int ms);

}  // namespace qx

#endif
