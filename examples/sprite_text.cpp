// A window with a ball bouncing around and a line of text.
// Escape or closing the window ends it.
#include <quarnex/runtime.h>

#include <cstdio>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kBall = 32;

// Pictures come from files (BMP, PNG, JPEG, TGA, DDS). This one is made on
// the spot: a 32 x 32 ball in a 24-bit BMP, magenta around it, which is the
// transparent colour set below.
bool WriteBallPicture(const char* path) {
  unsigned char header[54] = {'B', 'M'};
  auto put32 = [&](int at, unsigned value) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<unsigned char>(value >> (8 * i));
  };
  const unsigned rowBytes = kBall * 3;  // 96, already a multiple of 4
  put32(2, 54 + rowBytes * kBall);       // file size
  put32(10, 54);                         // where the pixels start
  put32(14, 40);                         // size of the info header
  put32(18, kBall);                      // width
  put32(22, kBall);                      // height (positive: rows bottom-up)
  header[26] = 1;                        // planes
  header[28] = 24;                       // bits per pixel
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  std::fwrite(header, 1, sizeof header, f);
  for (int y = kBall - 1; y >= 0; --y) {
    for (int x = 0; x < kBall; ++x) {
      int dx = x - kBall / 2, dy = y - kBall / 2;
      unsigned char bgr[3] = {255, 0, 255};
      if (dx * dx + dy * dy < 15 * 15) {
        int light = 230 - 4 * (dx * dx + dy * dy) / 15 - 3 * (dx + dy);
        bgr[0] = 80;
        bgr[1] = static_cast<unsigned char>(light < 60 ? 60 : light > 255 ? 255 : light);
        bgr[2] = 250;
      }
      std::fwrite(bgr, 1, 3, f);
    }
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main() {
  // Settings first, then InitRuntime.
  SetWindowCaption("Quarnex example: sprite and text");
  SetScreenMode(kWidth, kHeight, 32, 60);
  ChangeWindowMode(1);               // a window, not full screen
  SetLogFileEnabled(0);              // no Log.txt
  SetTransparentColor(255, 0, 255);  // magenta pixels of pictures loaded from now on are not drawn
  if (InitRuntime() != 0) return 1;
  SetDrawTarget(-2);  // draw on the back screen; FlipScreen shows it

  if (!WriteBallPicture("ball.bmp")) return 1;
  GraphHandle ball = LoadGraphFile("ball.bmp", 0);
  if (ball == -1) return 1;

  // Text goes to the on-screen log, drawn over every frame. Plain ASCII is
  // also valid Shift-JIS, which is what the runtime expects.
  ScreenPrintf("Hello from Quarnex: %d x %d, Escape quits", kWidth, kHeight);

  int x = 40, y = 60, dx = 3, dy = 2, frames = 0;
  const int ground = GetColorValue(30, 40, 90);
  unsigned char keys[256];
  while (ProcessMessage() == 0) {  // -1 once the window is closed
    GetAllKeyStates(keys);
    if (keys[1]) break;  // Escape (key codes are keyboard scan codes)
    ClearDrawTarget();
    DrawRectangle(0, kHeight - 40, kWidth, kHeight, ground, 1);
    x += dx;
    y += dy;
    if (x < 0 || x > kWidth - kBall) dx = -dx;
    if (y < 0 || y > kHeight - 40 - kBall) dy = -dy;
    DrawGraphAt(x, y, ball, 1);  // 1: leave the transparent pixels out
    FlipScreen();                // present, paced to the display
    ++frames;
  }
  std::printf("sprite_text: %d frames shown\n", frames);
  EndRuntime();
  return 0;
}
