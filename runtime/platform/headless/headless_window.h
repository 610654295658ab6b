// The headless window's observable state, for tests and the script player.
#ifndef QUARNEX_RUNTIME_PLATFORM_HEADLESS_HEADLESS_WINDOW_H
#define QUARNEX_RUNTIME_PLATFORM_HEADLESS_HEADLESS_WINDOW_H

namespace qx {

struct HeadlessWindowInfo {
  int exists;
  char caption[256];
  int iconId;
  int clientWidth, clientHeight;
  int fullscreen;
  int screenSaverEnabled;
  int queued;  // messages waiting in the queue
};

HeadlessWindowInfo HeadlessGetWindowInfo();
// The desktop the headless window system reports (default 1920 x 1080, 32 bits, 60 Hz).
void HeadlessSetDesktopMode(int width, int height, int bitsPerPixel, int refreshRate);
// Drops every queued message.
void HeadlessClearMessages();

}  // namespace qx

#endif
