// Hold counters: how many consecutive frames each key, pad bit and mouse
// button has been down (0 when up). Triggers test for exactly 1.
#include "game/input_hold.h"

#include "game/settings.h"
#include "runtime/runtime.h"

namespace {

int KeyHold[256];
int PadHold[16];
int MouseHold[3];  // 1 left, 2 right; 0 unused

struct KeyMapEntry {
  int key;
  int padBit;
};

// Z, X and C would feed pad bit 0, which nothing reads, so they are left out.
KeyMapEntry KeyMap[] = {
    {203, 1},  // Left
    {200, 3},  // Up
    {205, 2},  // Right
    {208, 0},  // Down
    {57, 4},   // Space, the confirm key
};

void Count(int* counter, bool down) { *counter = down ? *counter + 1 : 0; }

}  // namespace

int UpdateKeyHold() {
  // GetAllKeyStates leaves the buffer alone while input is not set up yet.
  unsigned char states[256] = {};
  GetAllKeyStates(states);
  for (int code = 0; code < 256; ++code) Count(&KeyHold[code], states[code] == 1);
  return 0;
}

int UpdatePadHold() {
  int bits = GetPadInputBits(1);
  for (int i = 0; i < 16; ++i) Count(&PadHold[i], (bits >> i) & 1);
  for (const KeyMapEntry& entry : KeyMap) RaiseHold(&PadHold[entry.padBit], GetKeyHold(entry.key));
  return 0;
}

int UpdateMouseHold() {
  Count(&MouseHold[1], GetMouseButtons() & 1);
  Count(&MouseHold[2], GetMouseButtons() & 2);
  return 0;
}

int GetKeyHold(int code) { return KeyHold[code & 255]; }

int GetMouseHold(int index) { return static_cast<unsigned>(index) < 3 ? MouseHold[index] : 0; }

int CheckStatePad(int index) {
  if (static_cast<unsigned>(index) >= 16) {
    ScreenPrintf("CheckStatePadに渡した値が不正です\n");
    return -1;
  }
  return PadHold[index];
}

void RaiseHold(int* counter, int value) {
  if (value > *counter) *counter = value;
}

void SetDefaultKeyMap() {
  KeyMap[0].padBit = 1;
  KeyMap[1].padBit = 3;
  KeyMap[2].padBit = 2;
  KeyMap[3].padBit = 0;
  // LoadSettings has already replaced a bit outside 0..15.
  KeyMap[4].padBit = ConfirmPadBit;
}
