// InputState, the process-wide record of the input back end, and the
// operations the rest of the runtime and the tests reach directly.
#ifndef QUARNEX_RUNTIME_INPUT_INPUT_H
#define QUARNEX_RUNTIME_INPUT_INPUT_H

#include <stdint.h>

namespace qx {

constexpr int kMaxPads = 8;

// The 80-byte joystick state layout the pad bits are computed from.
struct JoyState {
  int32_t x, y, z, rx, ry, rz;
  int32_t sliders[2];
  uint32_t pov[4];
  uint8_t buttons[32];
};
static_assert(sizeof(JoyState) == 80, "joystick state is 80 bytes");

struct PadRecord {
  JoyState state;
  uint32_t lastPollTime;
  int hasZAndR;  // fallback mode: the controller reports Z and R
  char instanceName[260];
  char productName[260];
};

// Values of InputState::object.
constexpr intptr_t kInputObjectNone = 0;
constexpr intptr_t kInputObjectDevices = 1;   // platform devices in use
constexpr intptr_t kInputObjectFallback = -1;

struct InputState {
  int notAvailable;  // survives set-up: later set-ups go straight to fallback
  int version8;
  intptr_t object;
  int mouseDevice;
  int keyboardDevice;
  uint32_t keyboardRefreshTime;
  uint8_t KeyState[256];
  int padCount;
  PadRecord pads[kMaxPads];
};

InputState& GetInputState();

int UpdateKeyboardState();
int PollPad(int index);
int FallbackMode();
// Raw 0..0xFFFF joystick position to -1000..1000 with the centre dead zone.
int FallbackAxisValue(uint32_t raw);

}  // namespace qx

#endif
