// Keyboard, mouse and game controllers from SDL. Keys are reported by their
// DirectInput scan codes, read as a Japanese-layout keyboard by position.
#include <string.h>

#include <mutex>

#include "runtime/platform/input_axis.h"
#include "runtime/platform/input_latch.h"
#include "runtime/platform/sdl/sdl_internal.h"
#include "runtime/platform/tables.h"

namespace qx {
namespace {

struct KeyCode {
  SDL_Scancode scancode;
  uint8_t code;
};

const KeyCode kKeyCodes[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},
    {SDL_SCANCODE_1, 0x02}, {SDL_SCANCODE_2, 0x03}, {SDL_SCANCODE_3, 0x04}, {SDL_SCANCODE_4, 0x05},
    {SDL_SCANCODE_5, 0x06}, {SDL_SCANCODE_6, 0x07}, {SDL_SCANCODE_7, 0x08}, {SDL_SCANCODE_8, 0x09},
    {SDL_SCANCODE_9, 0x0A}, {SDL_SCANCODE_0, 0x0B},
    {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x90},        // ^
    {SDL_SCANCODE_BACKSPACE, 0x0E}, {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10}, {SDL_SCANCODE_W, 0x11}, {SDL_SCANCODE_E, 0x12}, {SDL_SCANCODE_R, 0x13},
    {SDL_SCANCODE_T, 0x14}, {SDL_SCANCODE_Y, 0x15}, {SDL_SCANCODE_U, 0x16}, {SDL_SCANCODE_I, 0x17},
    {SDL_SCANCODE_O, 0x18}, {SDL_SCANCODE_P, 0x19},
    {SDL_SCANCODE_LEFTBRACKET, 0x91},   // @
    {SDL_SCANCODE_RIGHTBRACKET, 0x1A},  // [
    {SDL_SCANCODE_RETURN, 0x1C}, {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_A, 0x1E}, {SDL_SCANCODE_S, 0x1F}, {SDL_SCANCODE_D, 0x20}, {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22}, {SDL_SCANCODE_H, 0x23}, {SDL_SCANCODE_J, 0x24}, {SDL_SCANCODE_K, 0x25},
    {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_SEMICOLON, 0x27},
    {SDL_SCANCODE_APOSTROPHE, 0x92},    // :
    {SDL_SCANCODE_GRAVE, 0x94},         // hankaku/zenkaku
    {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x1B},     // ]
    {SDL_SCANCODE_NONUSHASH, 0x1B},
    {SDL_SCANCODE_Z, 0x2C}, {SDL_SCANCODE_X, 0x2D}, {SDL_SCANCODE_C, 0x2E}, {SDL_SCANCODE_V, 0x2F},
    {SDL_SCANCODE_B, 0x30}, {SDL_SCANCODE_N, 0x31}, {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_COMMA, 0x33}, {SDL_SCANCODE_PERIOD, 0x34}, {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36}, {SDL_SCANCODE_KP_MULTIPLY, 0x37}, {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_SPACE, 0x39}, {SDL_SCANCODE_CAPSLOCK, 0x3A},
    {SDL_SCANCODE_F1, 0x3B}, {SDL_SCANCODE_F2, 0x3C}, {SDL_SCANCODE_F3, 0x3D}, {SDL_SCANCODE_F4, 0x3E},
    {SDL_SCANCODE_F5, 0x3F}, {SDL_SCANCODE_F6, 0x40}, {SDL_SCANCODE_F7, 0x41}, {SDL_SCANCODE_F8, 0x42},
    {SDL_SCANCODE_F9, 0x43}, {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45}, {SDL_SCANCODE_SCROLLLOCK, 0x46},
    {SDL_SCANCODE_KP_7, 0x47}, {SDL_SCANCODE_KP_8, 0x48}, {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_4, 0x4B}, {SDL_SCANCODE_KP_5, 0x4C}, {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E},
    {SDL_SCANCODE_KP_1, 0x4F}, {SDL_SCANCODE_KP_2, 0x50}, {SDL_SCANCODE_KP_3, 0x51},
    {SDL_SCANCODE_KP_0, 0x52}, {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56},
    {SDL_SCANCODE_F11, 0x57}, {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_F13, 0x64}, {SDL_SCANCODE_F14, 0x65}, {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70},  // katakana/hiragana
    {SDL_SCANCODE_LANG3, 0x70}, {SDL_SCANCODE_LANG4, 0x70},
    {SDL_SCANCODE_INTERNATIONAL1, 0x2B},  // backslash (ro)
    {SDL_SCANCODE_INTERNATIONAL4, 0x79},  // henkan
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B},  // muhenkan
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D},  // yen
    {SDL_SCANCODE_LANG5, 0x94},
    {SDL_SCANCODE_KP_EQUALS, 0x8D},
    {SDL_SCANCODE_AUDIOPREV, 0x90}, {SDL_SCANCODE_STOP, 0x95}, {SDL_SCANCODE_AUDIONEXT, 0x99},
    {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D},
    {SDL_SCANCODE_MUTE, 0xA0}, {SDL_SCANCODE_AUDIOMUTE, 0xA0}, {SDL_SCANCODE_CALCULATOR, 0xA1},
    {SDL_SCANCODE_AUDIOPLAY, 0xA2}, {SDL_SCANCODE_AUDIOSTOP, 0xA4},
    {SDL_SCANCODE_VOLUMEDOWN, 0xAE}, {SDL_SCANCODE_VOLUMEUP, 0xB0}, {SDL_SCANCODE_AC_HOME, 0xB2},
    {SDL_SCANCODE_KP_COMMA, 0xB3}, {SDL_SCANCODE_KP_DIVIDE, 0xB5}, {SDL_SCANCODE_PRINTSCREEN, 0xB7},
    {SDL_SCANCODE_SYSREQ, 0xB7}, {SDL_SCANCODE_RALT, 0xB8}, {SDL_SCANCODE_PAUSE, 0xC5},
    {SDL_SCANCODE_HOME, 0xC7}, {SDL_SCANCODE_UP, 0xC8}, {SDL_SCANCODE_PAGEUP, 0xC9},
    {SDL_SCANCODE_LEFT, 0xCB}, {SDL_SCANCODE_RIGHT, 0xCD}, {SDL_SCANCODE_END, 0xCF},
    {SDL_SCANCODE_DOWN, 0xD0}, {SDL_SCANCODE_PAGEDOWN, 0xD1}, {SDL_SCANCODE_INSERT, 0xD2},
    {SDL_SCANCODE_DELETE, 0xD3},
    {SDL_SCANCODE_LGUI, 0xDB}, {SDL_SCANCODE_RGUI, 0xDC}, {SDL_SCANCODE_APPLICATION, 0xDD},
    {SDL_SCANCODE_POWER, 0xDE}, {SDL_SCANCODE_SLEEP, 0xDF},
    {SDL_SCANCODE_AC_SEARCH, 0xE5}, {SDL_SCANCODE_AC_BOOKMARKS, 0xE6}, {SDL_SCANCODE_AC_REFRESH, 0xE7},
    {SDL_SCANCODE_AC_STOP, 0xE8}, {SDL_SCANCODE_AC_FORWARD, 0xE9}, {SDL_SCANCODE_AC_BACK, 0xEA},
    {SDL_SCANCODE_COMPUTER, 0xEB}, {SDL_SCANCODE_MAIL, 0xEC}, {SDL_SCANCODE_MEDIASELECT, 0xED},
};

constexpr int kMaxDevices = 8;

struct Device {
  SDL_Joystick* joystick;
  SDL_GameController* controller;  // null for a plain joystick
};

Device g_devices[kMaxDevices];
int g_deviceCount = 0;
bool g_initialised = false;
SDL_threadID g_ownerThread = 0;

// Presses seen in the window's events since the last read; the pump runs on
// the window's thread, reads may come from any thread holding the API lock.
std::mutex g_latchMutex;
InputLatch<256> g_keyLatch;
InputLatch<8> g_mouseLatch;
InputLatch<32> g_padLatch[kMaxDevices];

// Key code of each SDL scancode (0: none), built once from the table above.
uint8_t KeyCodeOf(SDL_Scancode scancode) {
  static const auto table = [] {
    struct Table {
      uint8_t code[SDL_NUM_SCANCODES];
    } t{};
    for (const KeyCode& k : kKeyCodes) t.code[k.scancode] = k.code;
    return t;
  }();
  return scancode >= 0 && scancode < SDL_NUM_SCANCODES ? table.code[scancode] : 0;
}

// Index of the device with this instance id, or -1.
int DeviceOf(SDL_JoystickID id) {
  for (int i = 0; i < g_deviceCount; ++i) {
    if (SDL_JoystickInstanceID(g_devices[i].joystick) == id) return i;
  }
  return -1;
}

// Button byte of a game controller button (the order ReadController reports), or -1.
int ControllerButtonIndex(int button) {
  switch (button) {
    case SDL_CONTROLLER_BUTTON_A: return 0;
    case SDL_CONTROLLER_BUTTON_B: return 1;
    case SDL_CONTROLLER_BUTTON_X: return 2;
    case SDL_CONTROLLER_BUTTON_Y: return 3;
    case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: return 4;
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: return 5;
    case SDL_CONTROLLER_BUTTON_BACK: return 6;
    case SDL_CONTROLLER_BUTTON_START: return 7;
    case SDL_CONTROLLER_BUTTON_LEFTSTICK: return 8;
    case SDL_CONTROLLER_BUTTON_RIGHTSTICK: return 9;
    case SDL_CONTROLLER_BUTTON_GUIDE: return 10;
    default: return -1;
  }
}

int32_t Pov(Uint8 hat) {
  switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return -1;
  }
}

void SetAxis(PlatformJoystickState* out, int index, int32_t position) {
  out->axes[index] = ScaleAxisWithDeadZone(position);
  out->rawAxes[index] = RawAxisPosition(position);
}

void ReadController(SDL_GameController* c, PlatformJoystickState* out) {
  auto axis = [c](SDL_GameControllerAxis a) { return static_cast<int32_t>(SDL_GameControllerGetAxis(c, a)); };
  SetAxis(out, 0, axis(SDL_CONTROLLER_AXIS_LEFTX));
  SetAxis(out, 1, axis(SDL_CONTROLLER_AXIS_LEFTY));
  // Both triggers share Z, as on the common controller drivers.
  SetAxis(out, 2, axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT) - axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT));
  SetAxis(out, 3, axis(SDL_CONTROLLER_AXIS_RIGHTX));
  SetAxis(out, 4, axis(SDL_CONTROLLER_AXIS_RIGHTY));
  SetAxis(out, 5, 0);
  out->axisCount = 5;
  int count = 0;
  for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; ++b) {
    const int index = ControllerButtonIndex(b);
    if (index < 0) continue;
    out->buttons[index] = SDL_GameControllerGetButton(c, static_cast<SDL_GameControllerButton>(b)) ? 0x80 : 0;
    if (index + 1 > count) count = index + 1;
  }
  out->buttonCount = count;
  bool up = SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_UP);
  bool down = SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN);
  bool left = SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
  bool right = SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  Uint8 hat = (up ? SDL_HAT_UP : 0) | (down ? SDL_HAT_DOWN : 0) | (left ? SDL_HAT_LEFT : 0) | (right ? SDL_HAT_RIGHT : 0);
  out->pov[0] = Pov(hat);
}

void ReadJoystick(SDL_Joystick* j, PlatformJoystickState* out) {
  int axes = SDL_JoystickNumAxes(j);
  if (axes < 0) axes = 0;
  for (int i = 0; i < 6; ++i) SetAxis(out, i, i < axes ? SDL_JoystickGetAxis(j, i) : 0);
  for (int i = 0; i < 2; ++i) out->sliders[i] = 6 + i < axes ? ScaleAxisWithDeadZone(SDL_JoystickGetAxis(j, 6 + i)) : 0;
  out->axisCount = axes;
  int buttons = SDL_JoystickNumButtons(j);
  if (buttons > 32) buttons = 32;
  for (int i = 0; i < buttons; ++i) out->buttons[i] = SDL_JoystickGetButton(j, i) ? 0x80 : 0;
  out->buttonCount = buttons < 0 ? 0 : buttons;
  int hats = SDL_JoystickNumHats(j);
  for (int i = 0; i < 4 && i < hats; ++i) out->pov[i] = Pov(SDL_JoystickGetHat(j, i));
}

int Init() {
  if (g_initialised) return 0;
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0) return -1;
  g_initialised = true;
  g_ownerThread = SDL_ThreadID();
  g_deviceCount = 0;
  {
    std::lock_guard<std::mutex> lock(g_latchMutex);
    for (InputLatch<32>& pad : g_padLatch) pad.Clear();
  }
  int available = SDL_NumJoysticks();
  for (int i = 0; i < available && g_deviceCount < kMaxDevices; ++i) {
    Device d = {nullptr, nullptr};
    if (SDL_IsGameController(i)) {
      d.controller = SDL_GameControllerOpen(i);
      if (d.controller) d.joystick = SDL_GameControllerGetJoystick(d.controller);
    }
    if (!d.joystick) d.joystick = SDL_JoystickOpen(i);
    if (d.joystick) g_devices[g_deviceCount++] = d;
  }
  return 0;
}

void Shutdown() {
  if (!g_initialised) return;
  for (int i = 0; i < g_deviceCount; ++i) {
    if (g_devices[i].controller) {
      SDL_GameControllerClose(g_devices[i].controller);
    } else {
      SDL_JoystickClose(g_devices[i].joystick);
    }
  }
  g_deviceCount = 0;
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
  g_initialised = false;
}

void Update() {
  // SDL's devices are only updated on the thread that owns them.
  if (g_initialised && SDL_ThreadID() == g_ownerThread) SDL_JoystickUpdate();
}

void GetKeyboardState(uint8_t keys[256]) {
  memset(keys, 0, 256);
  int count = 0;
  const Uint8* state = SDL_GetKeyboardState(&count);
  if (state) {
    for (const KeyCode& k : kKeyCodes) {
      if (k.scancode < count && state[k.scancode]) keys[k.code] = 0x80;
    }
  }
  std::lock_guard<std::mutex> lock(g_latchMutex);
  g_keyLatch.Apply(keys, 256, SdlPresentedFrames(), SDL_GetTicks64());
}

void GetMouseButtons(uint8_t buttons[8]) {
  memset(buttons, 0, 8);
  Uint32 mask = SDL_GetMouseState(nullptr, nullptr);
  buttons[0] = (mask & SDL_BUTTON_LMASK) ? 0x80 : 0;
  buttons[1] = (mask & SDL_BUTTON_RMASK) ? 0x80 : 0;
  buttons[2] = (mask & SDL_BUTTON_MMASK) ? 0x80 : 0;
  buttons[3] = (mask & SDL_BUTTON_X1MASK) ? 0x80 : 0;
  buttons[4] = (mask & SDL_BUTTON_X2MASK) ? 0x80 : 0;
  std::lock_guard<std::mutex> lock(g_latchMutex);
  g_mouseLatch.Apply(buttons, 8, SdlPresentedFrames(), SDL_GetTicks64());
}

int JoystickCount() { return g_initialised ? g_deviceCount : 0; }

int GetJoystickState(int index, PlatformJoystickState* out) {
  if (!g_initialised || index < 0 || index >= g_deviceCount) return -1;
  const Device& d = g_devices[index];
  if (!SDL_JoystickGetAttached(d.joystick)) return -1;
  memset(out, 0, sizeof *out);
  for (int i = 0; i < 4; ++i) out->pov[i] = -1;
  if (d.controller) {
    ReadController(d.controller, out);
  } else {
    ReadJoystick(d.joystick, out);
  }
  std::lock_guard<std::mutex> lock(g_latchMutex);
  g_padLatch[index].Apply(out->buttons, 32, SdlPresentedFrames(), SDL_GetTicks64());
  return 0;
}

int GetJoystickName(int index, char* name, size_t size) {
  if (!g_initialised || index < 0 || index >= g_deviceCount || size == 0) return -1;
  const char* n = SDL_JoystickName(g_devices[index].joystick);
  SDL_strlcpy(name, n ? n : "", size);
  return 0;
}

}  // namespace

void SdlInputBeginPump() {
  std::lock_guard<std::mutex> lock(g_latchMutex);
  const uint64_t frame = SdlPresentedFrames();
  const uint64_t now = SDL_GetTicks64();
  g_keyLatch.BeginPump(frame, now);
  g_mouseLatch.BeginPump(frame, now);
  for (InputLatch<32>& pad : g_padLatch) pad.BeginPump(frame, now);
}

void SdlInputNoteEvent(const SDL_Event& e) {
  std::lock_guard<std::mutex> lock(g_latchMutex);
  switch (e.type) {
    case SDL_KEYDOWN:
      if (const uint8_t code = KeyCodeOf(e.key.keysym.scancode)) g_keyLatch.Press(code);
      break;
    case SDL_MOUSEBUTTONDOWN:
      // SDL numbers left 1, middle 2, right 3, then the side buttons.
      switch (e.button.button) {
        case SDL_BUTTON_LEFT: g_mouseLatch.Press(0); break;
        case SDL_BUTTON_RIGHT: g_mouseLatch.Press(1); break;
        case SDL_BUTTON_MIDDLE: g_mouseLatch.Press(2); break;
        case SDL_BUTTON_X1: g_mouseLatch.Press(3); break;
        case SDL_BUTTON_X2: g_mouseLatch.Press(4); break;
        default: break;
      }
      break;
    case SDL_CONTROLLERBUTTONDOWN: {
      const int device = g_initialised ? DeviceOf(e.cbutton.which) : -1;
      if (device >= 0 && g_devices[device].controller) g_padLatch[device].Press(ControllerButtonIndex(e.cbutton.button));
      break;
    }
    case SDL_JOYBUTTONDOWN: {
      // A game controller's raw buttons are numbered otherwise; its own event counts.
      const int device = g_initialised ? DeviceOf(e.jbutton.which) : -1;
      if (device >= 0 && !g_devices[device].controller) g_padLatch[device].Press(e.jbutton.button);
      break;
    }
    default:
      break;
  }
}

const PlatformInputOps kSdlInputOps = {Init,           Shutdown,      Update,           GetKeyboardState,
                                       GetMouseButtons, JoystickCount, GetJoystickState, GetJoystickName};

}  // namespace qx
