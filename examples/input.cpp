// Keyboard, mouse and pad: a square follows the arrow keys or the pad's
// stick, a box follows the mouse, and every change is printed.
#include <quarnex/runtime.h>

#include <iostream>
#include <sstream>
#include <string>

namespace {

// Keyboard scan codes of the keys used here.
constexpr int kEscape = 1, kSpace = 57, kUp = 200, kLeft = 203, kRight = 205, kDown = 208;

// GetPadInputBits: bit 0 down, 1 left, 2 right, 3 up, 4.. buttons 0..
constexpr int kPadDown = 0x1, kPadLeft = 0x2, kPadRight = 0x4, kPadUp = 0x8;

}  // namespace

int main() {
  SetWindowCaption("Quarnex example: input");
  SetScreenMode(640, 480, 32, 60);
  ChangeWindowMode(1);
  SetLogFileEnabled(0);
  if (InitRuntime() != 0) return 1;
  SetDrawTarget(-2);
  ScreenPrintf("Arrows or pad move the square, Space or pad buttons colour it.");

  int x = 300, y = 220;
  std::string last;
  unsigned char keys[256];
  while (ProcessMessage() == 0) {
    GetAllKeyStates(keys);  // 256 bytes, 1 = down
    if (keys[kEscape]) break;
    int pad = GetPadInputBits(1);  // the first pad; add 0x1000 to merge the keyboard in
    int buttons = GetMouseButtons();  // bit 0 left, 1 right, 2 middle
    int mx = 0, my = 0;
    GetCursorPosition(&mx, &my);  // in the screen's pixels, even outside the window

    if (keys[kLeft] || (pad & kPadLeft)) x -= 4;
    if (keys[kRight] || (pad & kPadRight)) x += 4;
    if (keys[kUp] || (pad & kPadUp)) y -= 4;
    if (keys[kDown] || (pad & kPadDown)) y += 4;

    std::ostringstream line;
    line << "keys[";
    for (int code = 0; code < 256; ++code) {
      if (keys[code]) line << ' ' << code;
    }
    line << " ] mouse " << buttons << " at (" << mx << ", " << my << ") pad 0x" << std::hex << pad;
    std::string state = line.str();
    if (state != last) {
      std::cout << "input: " << state << '\n';
      last = state;
    }

    ClearDrawTarget();
    bool lit = keys[kSpace] || (pad >> 4) != 0;
    DrawRectangle(x, y, x + 40, y + 40, lit ? GetColorValue(255, 200, 40) : GetColorValue(80, 160, 255), 1);
    DrawRectangle(mx - 6, my - 6, mx + 6, my + 6, GetColorValue(buttons ? 255 : 200, 80, 80), buttons != 0);
    FlipScreen();
  }
  EndRuntime();
  return 0;
}
