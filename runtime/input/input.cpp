// Keyboard, pad and mouse over the platform's input table. The preferred
// back end uses the platform's devices as they report themselves; the
// fallback reads the same platform state the way a system without those
// devices would: selected keys only, and raw joystick positions converted here.
#include "runtime/input/input.h"

#include <string.h>

#include "runtime/core/api_internal.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/timing.h"
#include "runtime/core/window_state.h"
#include "runtime/platform/platform.h"

namespace qx {
namespace {

InputState g_input;

// Device index on the platform for each pad record.
int g_padDevice[kMaxPads];

const PlatformInputOps& In() { return *GetPlatform().input; }

bool WindowClosing() {
  const WindowState& w = GetWindowState();
  return w.QuitRequested || w.destroyed || w.ending;
}

void PlatformUpdate() {
  if (In().Update) In().Update();
}

// Keys both modes take from the system key state, by their codes: letters,
// digits, arrows, Japanese-layout punctuation, editing keys, numeric pad.
const uint8_t kKeyGroupCommon[] = {
    30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50, 49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44,
    11, 2, 3, 4, 5, 6, 7, 8, 9, 10,
    203, 200, 205, 208,
    39, 146, 26, 27, 145, 43, 51, 12, 125, 52, 53,
    211, 1, 57, 14, 15, 28,
    82, 79, 80, 81, 75, 76, 77, 71, 72, 73, 55, 78, 74, 83, 181,
};

// Keys only the fallback takes: modifiers, navigation, locks, function keys.
const uint8_t kKeyGroupFallback[] = {
    156, 42, 54, 29, 157, 201, 209, 207, 199, 210, 56, 184, 70, 58, 197,
    59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 87, 88,
};

constexpr int kEnterCode = 28;
constexpr int kPadEnterCode = 156;

// The keyboard column of the pad bits: bit index and the keys that set it.
struct KeyPadBit {
  int bit;
  uint8_t key1, key2;
};
const KeyPadBit kKeyPadBits[] = {
    {0, 208, 80}, {1, 203, 75}, {2, 205, 77}, {3, 200, 72}, {4, 44, 0},  {5, 45, 0},  {6, 46, 0},
    {7, 30, 0},   {8, 31, 0},   {9, 32, 0},   {10, 16, 0},  {11, 17, 0}, {12, 1, 0},  {13, 57, 0},
};

void CopyName(char* out, size_t size, const char* in) {
  // The log is Shift-JIS; other encodings would come out garbled.
  size_t i = 0;
  for (; in[i] && i + 1 < size; ++i) out[i] = (static_cast<unsigned char>(in[i]) < 0x80) ? in[i] : '?';
  out[i] = '\0';
}

void EnumeratePads() {
  InputState& s = g_input;
  LogWrite("ジョイパッドの初期化... \n");
  s.padCount = 0;
  int count = In().JoystickCount ? In().JoystickCount() : 0;
  for (int device = 0; device < count && s.padCount < kMaxPads; ++device) {
    LogWrite("入力装置を見つけました\n");
    PlatformJoystickState probe;
    if (!In().GetJoystickState || In().GetJoystickState(device, &probe) != 0) {
      LogWrite("入力装置の取得に失敗しました\n");
      continue;
    }
    PadRecord& pad = s.pads[s.padCount];
    char name[260] = "";
    if (In().GetJoystickName && In().GetJoystickName(device, name, sizeof name) != 0) name[0] = '\0';
    name[sizeof name - 1] = '\0';
    CopyName(pad.instanceName, sizeof pad.instanceName, name);
    CopyName(pad.productName, sizeof pad.productName, name);
    LogPrintf("デバイスの登録名:%s", pad.instanceName);
    LogPrintf("デバイスの製品登録名:%s", pad.productName);
    memset(&pad.state, 0, sizeof pad.state);
    g_padDevice[s.padCount] = device;
    ++s.padCount;
    LogWrite("ジョイパッドの追加は正常に終了しました\n");
  }
  LogWrite("ジョイパッドの初期化は正常に終了しました\n");
}

int SetUpDevices() {
  InputState& s = g_input;
  s.object = kInputObjectDevices;
  // Let the window settle before the devices are read.
  ProcessMessage();
  EnumeratePads();

  LogWrite("マウスデバイスの初期化... ");
  if (!In().GetMouseButtons) FatalShutdown("マウスデバイスの取得に失敗しました");
  s.mouseDevice = 1;
  LogWrite("初期化成功\n");
  s.keyboardRefreshTime = TickNow();

  LogWrite("キーボードデバイスの初期化... ");
  if (!In().GetKeyboardState) FatalShutdown("キーボードデバイスの取得に失敗しました");
  s.keyboardDevice = 1;
  LogWrite("初期化成功\n");
  s.keyboardRefreshTime = TickNow();
  LogWrite("DirectInput 関連の初期化は正常に終了しました\n");
  return 0;
}

int TryOpenDevices() { return In().Init ? In().Init() : -1; }

void CopyJoystickState(const PlatformJoystickState& in, JoyState* out) {
  out->x = in.axes[0];
  out->y = in.axes[1];
  out->z = in.axes[2];
  out->rx = in.axes[3];
  out->ry = in.axes[4];
  out->rz = in.axes[5];
  out->sliders[0] = in.sliders[0];
  out->sliders[1] = in.sliders[1];
  for (int i = 0; i < 4; ++i) out->pov[i] = static_cast<uint32_t>(in.pov[i]);
  memcpy(out->buttons, in.buttons, sizeof out->buttons);
}

}  // namespace

InputState& GetInputState() { return g_input; }

int FallbackAxisValue(uint32_t raw) {
  int p = static_cast<int>(raw & 0xFFFF);
  // The ends are exact; the slopes alone would stop one short at the top.
  if (p == 0) return -1000;
  if (p == 0x7FFF) return 0;
  if (p == 0xFFFF) return 1000;
  if (p < 0x6000) return (p - 0x6000) * 1000 / 24576;
  if (p <= 0xA000) return 0;
  return (p - 0xA000) * 1000 / 24576;
}

int SetUpInput() {
  InputState& s = g_input;
  if (s.object != kInputObjectNone) return 0;
  int notAvailable = s.notAvailable;
  memset(&s, 0, sizeof s);
  s.notAvailable = notAvailable;

  if (!s.notAvailable) {
    LogWrite("DirectInput関係初期化処理\n");
    LogWrite("DirectInput7 の取得中... ");
    int result = TryOpenDevices();
    if (result == 0) {
      LogWrite("成功\n");
      LogWrite("引き続き初期化処理... ");
      LogWrite("初期化成功\n");
      return SetUpDevices();
    }
    LogWrite("取得に失敗。\n");
    LogPrintf("エラーコード 0x%x", static_cast<unsigned>(result));

    LogWrite("DirectInput8 の取得を試みます...");
    result = TryOpenDevices();
    if (result == 0) {
      LogWrite("成功\n");
      LogWrite("引き続き初期化処理... ");
      LogWrite("初期化成功\n");
      s.version8 = 1;
      return SetUpDevices();
    }
    LogWrite("取得に失敗。");
    LogWrite("DirectInput を使用しません。\n");
    s.notAvailable = 1;
  }
  return FallbackMode();
}

int FallbackMode() {
  InputState& s = g_input;
  PlatformUpdate();
  int available = In().JoystickCount ? In().JoystickCount() : 0;
  int found = 0;
  for (int id = 0; id < kMaxPads && id < available; ++id) {
    PlatformJoystickState caps;
    if (!In().GetJoystickState || In().GetJoystickState(id, &caps) != 0) break;
    s.pads[id].hasZAndR = caps.axisCount >= 4;
    ++found;
  }
  for (int i = 0; i < kMaxPads; ++i) g_padDevice[i] = i;
  LogPrintf("パッドの数は %d 個です", found);
  s.object = kInputObjectFallback;
  LogWrite("入力関連の初期化をしました\n");
  // Every index is polled; a controller that is missing reads as released.
  s.padCount = kMaxPads;
  return 0;
}

void EndInput() {
  InputState& s = g_input;
  if (s.object == kInputObjectFallback) {
    LogWrite("入力関連の終了処理... 完了\n");
  } else if (s.object == kInputObjectDevices) {
    LogWrite("DirectInput 関連の終了処理... 完了\n");
    if (In().Shutdown) In().Shutdown();
  }
  s.object = kInputObjectNone;
  s.keyboardDevice = 0;
  s.mouseDevice = 0;
  s.padCount = 0;
}

// Platform devices keep their state across activation changes; there is
// nothing to acquire again.
void ReacquireInputDevices() {}

// Vibration is never started by this program.
void UpdatePadVibration() {}

int UpdateKeyboardState() {
  InputState& s = g_input;
  if (s.object == kInputObjectDevices && s.keyboardDevice) {
    uint32_t now = TickNow();
    if (now == s.keyboardRefreshTime) return 0;
    if (ProcessMessage() != 0 || s.object == kInputObjectNone) return 0;
    PlatformUpdate();
    // The system key state and the device report the same platform state,
    // so the device read alone is complete.
    In().GetKeyboardState(s.KeyState);
    s.keyboardRefreshTime = now;
    return 1;
  }
  if (s.object == kInputObjectFallback) {
    uint32_t now = TickNow();
    if (now == s.keyboardRefreshTime) return 0;
    if (ProcessMessage() != 0) return 0;
    PlatformUpdate();
    uint8_t system[256] = {};
    if (In().GetKeyboardState) In().GetKeyboardState(system);
    // One system key stands for both Enter keys.
    uint8_t enter = system[kEnterCode] | system[kPadEnterCode];
    system[kEnterCode] = system[kPadEnterCode] = enter;
    memset(s.KeyState, 0, sizeof s.KeyState);
    for (uint8_t code : kKeyGroupCommon) s.KeyState[code] = system[code];
    for (uint8_t code : kKeyGroupFallback) s.KeyState[code] = system[code];
    s.keyboardRefreshTime = now;
    return 1;
  }
  return 0;
}

int PollPad(int index) {
  InputState& s = g_input;
  if (static_cast<unsigned>(index) >= kMaxPads) return -1;
  if (index >= s.padCount) return 0;
  PadRecord& pad = s.pads[index];
  uint32_t now = TickNow();
  if (now == pad.lastPollTime) return 0;
  pad.lastPollTime = now;
  PlatformUpdate();
  PlatformJoystickState st;
  int device = g_padDevice[index];
  auto read = [&] { return In().GetJoystickState ? In().GetJoystickState(device, &st) : -1; };

  if (s.object == kInputObjectDevices) {
    if (read() != 0) {
      if (WindowClosing() || s.object == kInputObjectNone) return -1;
      if (read() != 0) return 0;
    }
    CopyJoystickState(st, &pad.state);
    return 0;
  }
  if (s.object == kInputObjectFallback) {
    memset(&pad.state, 0, sizeof pad.state);
    if (device >= (In().JoystickCount ? In().JoystickCount() : 0) || read() != 0) return 0;
    pad.state.x = FallbackAxisValue(st.rawAxes[0]);
    pad.state.y = FallbackAxisValue(st.rawAxes[1]);
    if (pad.hasZAndR) {
      pad.state.z = FallbackAxisValue(st.rawAxes[2]);
      pad.state.rz = FallbackAxisValue(st.rawAxes[5]);
    }
    for (int i = 0; i < 24; ++i) pad.state.buttons[i] = (st.buttons[i] & 0x80) ? 128 : 0;
    return 0;
  }
  return 0;
}

int GetAllKeyStates(unsigned char* states) {
  WaitWhileInactive();
  InputState& s = g_input;
  if (s.object == kInputObjectNone && !WindowClosing()) return SetUpInput();
  UpdateKeyboardState();
  for (int code = 0; code < 256; ++code) states[code] = (s.KeyState[code] & 0x80) ? 1 : 0;
  return 0;
}

int GetPadInputBits(int inputType) {
  WaitWhileInactive();
  InputState& s = g_input;
  if (s.object == kInputObjectNone && !WindowClosing()) return SetUpInput();
  bool keyboard = (inputType & 0x1000) != 0;
  int pad = (inputType & ~0x1000) - 1;
  if ((pad < -1 || pad >= s.padCount) && s.padCount != 0 && !keyboard) return 0;

  int bits = 0;
  if (pad >= 0 && pad < s.padCount) {
    PollPad(pad);
    const JoyState& st = s.pads[pad].state;
    if (st.x < 0) bits |= 0x2;
    if (st.x > 0) bits |= 0x4;
    if (st.y < 0) bits |= 0x8;
    if (st.y > 0) bits |= 0x1;
    for (int i = 0; i < 24; ++i) {
      if (st.buttons[i] & 0x80) bits |= 1 << (4 + i);
    }
  }
  if (keyboard) {
    UpdateKeyboardState();
    for (const KeyPadBit& k : kKeyPadBits) {
      if ((s.KeyState[k.key1] & 0x80) || (k.key2 && (s.KeyState[k.key2] & 0x80))) bits |= 1 << k.bit;
    }
  }
  return bits;
}

int GetMouseButtons() {
  InputState& s = g_input;
  uint8_t buttons[8] = {};
  PlatformUpdate();
  if (In().GetMouseButtons) In().GetMouseButtons(buttons);
  int bits = 0;
  // Only the preferred devices know buttons beyond the middle one.
  int known = (s.object == kInputObjectDevices && s.mouseDevice) ? 8 : 3;
  for (int i = 0; i < known; ++i) {
    if (buttons[i] & 0x80) bits |= 1 << i;
  }
  return bits;
}

int GetCursorPosition(int* x, int* y) {
  int cx = 0, cy = 0;
  PlatformUpdate();
  // The platform reports the game's pixels: client pixels, mapped back when a full-screen window scales the screen.
  if (GetPlatform().window->GetCursorClientPosition) GetPlatform().window->GetCursorClientPosition(&cx, &cy);
  if (x) *x = cx;
  if (y) *y = cy;
  return 0;
}

int SetCursorVisible(int visible) {
  WindowState& w = GetWindowState();
  w.cursorVisibleRequested = visible;
  int show = visible == 1 ? 1 : 0;
  if (show == w.cursorVisibleInForce) return 0;
  const PlatformWindowOps& window = *GetPlatform().window;
  if (window.ShowCursor) window.ShowCursor(show);
  if (window.PostMessage) {
    PlatformMessage message = {kMsgSetCursor, 0, 0, 0};
    window.PostMessage(&message);
  }
  w.cursorVisibleInForce = show;
  return 0;
}

}  // namespace qx
