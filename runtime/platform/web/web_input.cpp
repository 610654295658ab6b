// Input in a browser: keys by their position on the keyboard (so the same
// scan codes as on the desktop, whatever the layout), the pointer in the
// game's pixels however large the canvas is shown, and pads through the
// Gamepad API. A press that starts and ends between two reads still counts.
#include <emscripten.h>
#include <emscripten/html5.h>
#include <stdio.h>
#include <string.h>

#include "runtime/platform/input_axis.h"
#include "runtime/platform/input_latch.h"
#include "runtime/platform/tables.h"
#include "runtime/platform/web/web_input.h"
#include "runtime/platform/web/web_internal.h"

namespace qx {

// clang-format off
// The canvas's place on the page and the size of its drawing buffer.
EM_JS(void, qx_web_canvas_rect, (double* out), {
  var canvas = Module['canvas'];
  var r = canvas ? canvas.getBoundingClientRect() : {left: 0, top: 0, width: 0, height: 0};
  HEAPF64[(out >> 3) + 0] = r.left;
  HEAPF64[(out >> 3) + 1] = r.top;
  HEAPF64[(out >> 3) + 2] = r.width;
  HEAPF64[(out >> 3) + 3] = r.height;
  HEAPF64[(out >> 3) + 4] = canvas ? canvas.width : 0;
  HEAPF64[(out >> 3) + 5] = canvas ? canvas.height : 0;
});
// clang-format on

namespace {

struct KeyName {
  const char* code;
  uint8_t scan;
};

// DOM key positions to the scan codes the SDL back end reports for the same keys.
const KeyName kKeys[] = {
    {"Escape", 0x01}, {"Digit1", 0x02}, {"Digit2", 0x03}, {"Digit3", 0x04}, {"Digit4", 0x05},
    {"Digit5", 0x06}, {"Digit6", 0x07}, {"Digit7", 0x08}, {"Digit8", 0x09}, {"Digit9", 0x0A},
    {"Digit0", 0x0B}, {"Minus", 0x0C}, {"Equal", 0x90}, {"Backspace", 0x0E}, {"Tab", 0x0F},
    {"KeyQ", 0x10}, {"KeyW", 0x11}, {"KeyE", 0x12}, {"KeyR", 0x13}, {"KeyT", 0x14},
    {"KeyY", 0x15}, {"KeyU", 0x16}, {"KeyI", 0x17}, {"KeyO", 0x18}, {"KeyP", 0x19},
    {"BracketLeft", 0x91}, {"BracketRight", 0x1A}, {"Enter", 0x1C}, {"ControlLeft", 0x1D},
    {"KeyA", 0x1E}, {"KeyS", 0x1F}, {"KeyD", 0x20}, {"KeyF", 0x21}, {"KeyG", 0x22},
    {"KeyH", 0x23}, {"KeyJ", 0x24}, {"KeyK", 0x25}, {"KeyL", 0x26}, {"Semicolon", 0x27},
    {"Quote", 0x92}, {"Backquote", 0x94}, {"ShiftLeft", 0x2A}, {"Backslash", 0x1B},
    {"KeyZ", 0x2C}, {"KeyX", 0x2D}, {"KeyC", 0x2E}, {"KeyV", 0x2F}, {"KeyB", 0x30},
    {"KeyN", 0x31}, {"KeyM", 0x32}, {"Comma", 0x33}, {"Period", 0x34}, {"Slash", 0x35},
    {"ShiftRight", 0x36}, {"NumpadMultiply", 0x37}, {"AltLeft", 0x38}, {"Space", 0x39},
    {"CapsLock", 0x3A}, {"F1", 0x3B}, {"F2", 0x3C}, {"F3", 0x3D}, {"F4", 0x3E},
    {"F5", 0x3F}, {"F6", 0x40}, {"F7", 0x41}, {"F8", 0x42}, {"F9", 0x43}, {"F10", 0x44},
    {"NumLock", 0x45}, {"ScrollLock", 0x46}, {"Numpad7", 0x47}, {"Numpad8", 0x48},
    {"Numpad9", 0x49}, {"NumpadSubtract", 0x4A}, {"Numpad4", 0x4B}, {"Numpad5", 0x4C},
    {"Numpad6", 0x4D}, {"NumpadAdd", 0x4E}, {"Numpad1", 0x4F}, {"Numpad2", 0x50},
    {"Numpad3", 0x51}, {"Numpad0", 0x52}, {"NumpadDecimal", 0x53}, {"IntlBackslash", 0x56},
    {"F11", 0x57}, {"F12", 0x58}, {"F13", 0x64}, {"F14", 0x65}, {"F15", 0x66},
    {"KanaMode", 0x70}, {"Lang3", 0x70}, {"Lang4", 0x70}, {"IntlRo", 0x2B}, {"Convert", 0x79},
    {"NonConvert", 0x7B}, {"IntlYen", 0x7D}, {"Lang5", 0x94}, {"NumpadEqual", 0x8D},
    {"MediaTrackPrevious", 0x90}, {"MediaStop", 0x95}, {"MediaTrackNext", 0x99},
    {"NumpadEnter", 0x9C}, {"ControlRight", 0x9D}, {"AudioVolumeMute", 0xA0},
    {"LaunchApp2", 0xA1}, {"MediaPlayPause", 0xA2}, {"AudioVolumeDown", 0xAE},
    {"AudioVolumeUp", 0xB0}, {"BrowserHome", 0xB2}, {"NumpadComma", 0xB3},
    {"NumpadDivide", 0xB5}, {"PrintScreen", 0xB7}, {"AltRight", 0xB8}, {"Pause", 0xC5},
    {"Home", 0xC7}, {"ArrowUp", 0xC8}, {"PageUp", 0xC9}, {"ArrowLeft", 0xCB},
    {"ArrowRight", 0xCD}, {"End", 0xCF}, {"ArrowDown", 0xD0}, {"PageDown", 0xD1},
    {"Insert", 0xD2}, {"Delete", 0xD3}, {"MetaLeft", 0xDB}, {"MetaRight", 0xDC},
    {"ContextMenu", 0xDD}, {"Power", 0xDE}, {"Sleep", 0xDF}, {"BrowserSearch", 0xE5},
    {"BrowserFavorites", 0xE6}, {"BrowserRefresh", 0xE7}, {"BrowserStop", 0xE8},
    {"BrowserForward", 0xE9}, {"BrowserBack", 0xEA}, {"LaunchApp1", 0xEB}, {"LaunchMail", 0xEC},
    {"MediaSelect", 0xED},
};

struct InputState {
  uint8_t down[256];  // held now
  uint8_t buttonsDown[8];
  InputLatch<256> keyLatch;
  InputLatch<8> mouseLatch;
  double clientX = -1, clientY = -1;
  bool attached = false;
};

InputState g_in;

void ToGamePixels(double clientX, double clientY, int* x, int* y) {
  double r[6];
  qx_web_canvas_rect(r);
  if (r[2] <= 0 || r[3] <= 0) {
    *x = static_cast<int>(clientX);
    *y = static_cast<int>(clientY);
    return;
  }
  double gx = (clientX - r[0]) * r[4] / r[2];
  double gy = (clientY - r[1]) * r[5] / r[3];
  *x = static_cast<int>(gx < 0 ? gx - 1 : gx);  // pixels left of the canvas stay negative
  *y = static_cast<int>(gy < 0 ? gy - 1 : gy);
}

// Keys the page itself must not act on while the game has them.
bool GameOwnsKey(const EmscriptenKeyboardEvent* e) {
  if (strcmp(e->code, "F5") == 0 || strcmp(e->code, "F11") == 0 || strcmp(e->code, "F12") == 0) return false;
  return !(e->ctrlKey || e->metaKey);
}

EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* e, void*) {
  int scan = WebScanCode(e->code);
  if (scan != 0) {
    if (type == EMSCRIPTEN_EVENT_KEYDOWN) {
      g_in.down[scan] = 0x80;
      g_in.keyLatch.Press(scan);
    } else {
      g_in.down[scan] = 0;
    }
  }
  if (type == EMSCRIPTEN_EVENT_KEYDOWN) {
    int vk = 0;
    if (strcmp(e->code, "Delete") == 0) vk = 0x2E;
    if (strcmp(e->code, "ArrowLeft") == 0) vk = 0x25;
    if (strcmp(e->code, "ArrowUp") == 0) vk = 0x26;
    if (strcmp(e->code, "ArrowRight") == 0) vk = 0x27;
    if (strcmp(e->code, "ArrowDown") == 0) vk = 0x28;
    if (vk) WebPostMessage(kMsgKeyDown, vk);
    int ch = 0;
    if (strcmp(e->key, "Enter") == 0) ch = 13;
    if (strcmp(e->key, "Backspace") == 0) ch = 8;
    if (strcmp(e->key, "Tab") == 0) ch = 9;
    if (strcmp(e->key, "Escape") == 0) ch = 27;
    if (e->key[0] && !e->key[1] && static_cast<unsigned char>(e->key[0]) >= 0x20 && !e->ctrlKey && !e->metaKey)
      ch = static_cast<unsigned char>(e->key[0]);
    if (ch) WebPostMessage(kMsgChar, ch);
  }
  return GameOwnsKey(e) ? EM_TRUE : EM_FALSE;
}

// DOM buttons: 0 left, 1 middle, 2 right, 3 back, 4 forward.
int ButtonIndex(unsigned short button) {
  switch (button) {
    case 0: return 0;
    case 1: return 2;
    case 2: return 1;
    default: return button < 8 ? button : -1;
  }
}

EM_BOOL OnMouse(int type, const EmscriptenMouseEvent* e, void*) {
  g_in.clientX = e->clientX;
  g_in.clientY = e->clientY;
  if (type == EMSCRIPTEN_EVENT_MOUSEMOVE) {
    WebPostMessage(kMsgMouseMove, 0);
    return EM_FALSE;
  }
  int b = ButtonIndex(e->button);
  if (b < 0) return EM_FALSE;
  if (type == EMSCRIPTEN_EVENT_MOUSEDOWN) {
    g_in.buttonsDown[b] = 0x80;
    g_in.mouseLatch.Press(b);
  } else if (type == EMSCRIPTEN_EVENT_MOUSEUP) {
    g_in.buttonsDown[b] = 0;
  }
  return EM_FALSE;
}

EM_BOOL OnWheel(int, const EmscriptenWheelEvent* e, void*) {
  // One notch of a wheel is 120; the page reports pixels or lines.
  double lines = e->deltaMode == DOM_DELTA_PIXEL ? e->deltaY / 100.0 : e->deltaY;
  int delta = static_cast<int>(-lines * 120);
  if (delta != 0) WebPostMessage(kMsgMouseWheel, delta);
  return EM_TRUE;
}

EM_BOOL OnBlur(int, const EmscriptenFocusEvent*, void*) {
  // Keys let go while the page had no focus would stay down for ever.
  memset(g_in.down, 0, sizeof g_in.down);
  memset(g_in.buttonsDown, 0, sizeof g_in.buttonsDown);
  return EM_FALSE;
}


int Init() { return 0; }
void Shutdown() {}
void Update() {}

uint64_t NowMs() { return static_cast<uint64_t>(WebNow()); }

void GetKeyboardState(uint8_t keys[256]) {
  memcpy(keys, g_in.down, 256);
  g_in.keyLatch.Apply(keys, 256, WebPresentedFrames(), NowMs());
}

void GetMouseButtons(uint8_t buttons[8]) {
  memcpy(buttons, g_in.buttonsDown, 8);
  g_in.mouseLatch.Apply(buttons, 8, WebPresentedFrames(), NowMs());
}

int JoystickCount() {
  if (emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return 0;
  int n = emscripten_get_num_gamepads();
  int connected = 0;
  for (int i = 0; i < n && connected < 8; ++i) {
    EmscriptenGamepadEvent g;
    if (emscripten_get_gamepad_status(i, &g) == EMSCRIPTEN_RESULT_SUCCESS && g.connected) connected++;
  }
  return connected;
}

// The index-th connected pad.
bool Pad(int index, EmscriptenGamepadEvent* out) {
  if (index < 0 || emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return false;
  int n = emscripten_get_num_gamepads();
  for (int i = 0; i < n; ++i) {
    if (emscripten_get_gamepad_status(i, out) == EMSCRIPTEN_RESULT_SUCCESS && out->connected && index-- == 0)
      return true;
  }
  return false;
}

int32_t Position(double v) {
  double p = v * 32767.0;
  return static_cast<int32_t>(p < -32768 ? -32768 : (p > 32767 ? 32767 : p));
}

// Standard mapping: axes 0..3 are the two sticks, buttons 12..15 the pad's cross.
int GetJoystickState(int index, PlatformJoystickState* out) {
  EmscriptenGamepadEvent g;
  if (!Pad(index, &g)) return -1;
  memset(out, 0, sizeof *out);
  for (int i = 0; i < 4; ++i) out->pov[i] = -1;
  int axes = g.numAxes < 6 ? g.numAxes : 6;
  for (int i = 0; i < 6; ++i) {
    int32_t p = i < axes ? Position(g.axis[i]) : 0;
    out->axes[i] = ScaleAxisWithDeadZone(p);
    out->rawAxes[i] = RawAxisPosition(p);
  }
  out->axisCount = axes;
  bool standard = strcmp(g.mapping, "standard") == 0;
  int buttons = g.numButtons < 32 ? g.numButtons : 32;
  int count = 0;
  for (int i = 0; i < buttons; ++i) {
    if (standard && i >= 12 && i <= 15) continue;
    out->buttons[count++] = g.digitalButton[i] ? 0x80 : 0;
  }
  out->buttonCount = count;
  if (standard && g.numButtons >= 16) {
    bool up = g.digitalButton[12], down = g.digitalButton[13], left = g.digitalButton[14], right = g.digitalButton[15];
    int dx = right - left, dy = down - up;
    static const int kPov[3][3] = {{31500, 0, 4500}, {27000, -1, 9000}, {22500, 18000, 13500}};
    out->pov[0] = kPov[dy + 1][dx + 1];
  }
  return 0;
}

int GetJoystickName(int index, char* name, size_t size) {
  EmscriptenGamepadEvent g;
  if (size == 0 || !Pad(index, &g)) return -1;
  snprintf(name, size, "%s", g.id);
  return 0;
}

}  // namespace

int WebScanCode(const char* code) {
  for (const KeyName& k : kKeys)
    if (strcmp(k.code, code) == 0) return k.scan;
  return 0;
}

void WebInputAttach() {
  if (g_in.attached) return;
  g_in.attached = true;
  const char* window = EMSCRIPTEN_EVENT_TARGET_WINDOW;
  emscripten_set_keydown_callback(window, nullptr, EM_TRUE, OnKey);
  emscripten_set_keyup_callback(window, nullptr, EM_TRUE, OnKey);
  // Buttons let go and moves outside the canvas still count.
  emscripten_set_mousedown_callback(kWebCanvas, nullptr, EM_TRUE, OnMouse);
  emscripten_set_mouseup_callback(window, nullptr, EM_TRUE, OnMouse);
  emscripten_set_mousemove_callback(window, nullptr, EM_TRUE, OnMouse);
  emscripten_set_wheel_callback(kWebCanvas, nullptr, EM_TRUE, OnWheel);
  emscripten_set_blur_callback(window, nullptr, EM_TRUE, OnBlur);
  // The right button is the game's, not the page's menu.
  EM_ASM({
    var canvas = Module['canvas'];
    if (canvas) canvas.addEventListener('contextmenu', function(e) { e.preventDefault(); });
  });
}

void WebInputBeginPump() {
  const uint64_t frame = WebPresentedFrames();
  const uint64_t now = NowMs();
  g_in.keyLatch.BeginPump(frame, now);
  g_in.mouseLatch.BeginPump(frame, now);
}

void WebCursorPosition(int* x, int* y) {
  int gx = 0, gy = 0;
  if (g_in.clientX >= 0) ToGamePixels(g_in.clientX, g_in.clientY, &gx, &gy);
  if (x) *x = gx;
  if (y) *y = gy;
}

const PlatformInputOps kWebInputOps = {Init,           Shutdown,      Update,           GetKeyboardState,
                                       GetMouseButtons, JoystickCount, GetJoystickState, GetJoystickName};

}  // namespace qx
