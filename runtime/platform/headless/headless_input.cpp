// Input devices of the headless back end: whatever the script has set.
#include <stdio.h>
#include <string.h>

#include "runtime/platform/headless/headless.h"
#include "runtime/platform/tables.h"

namespace qx {
namespace {

int Init() {
  // Pads attached from the start are there when the devices are enumerated.
  HeadlessApplyDueEvents();
  return 0;
}

void Shutdown() {}

void Update() { HeadlessApplyDueEvents(); }

void GetKeyboardState(uint8_t keys[256]) { HeadlessReadKeys(keys); }

void GetMouseButtons(uint8_t buttons[8]) { HeadlessReadMouseButtons(buttons); }

int JoystickCount() {
  int n = Headless().padCount;
  return n < 0 ? 0 : n > 8 ? 8 : n;
}

int GetJoystickState(int index, PlatformJoystickState* out) {
  if (index < 0 || index >= JoystickCount()) return -1;
  HeadlessReadPad(index, out);
  return 0;
}

int GetJoystickName(int index, char* name, size_t size) {
  if (index < 0 || index >= JoystickCount() || size == 0) return -1;
  snprintf(name, size, "Scripted pad %d", index + 1);
  return 0;
}

}  // namespace

const PlatformInputOps kHeadlessInputOps = {Init,           Shutdown,      Update,           GetKeyboardState,
                                            GetMouseButtons, JoystickCount, GetJoystickState, GetJoystickName};

}  // namespace qx
