// Placeholders until the input layer is written.
#include <string.h>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"

namespace qx {

int SetUpInput() { return 0; }
void EndInput() {}
void ReacquireInputDevices() {}
void UpdatePadVibration() {}
int SetCursorVisible(int) { return 0; }
int GetCursorPosition(int* x, int* y) {
  if (x) *x = 0;
  if (y) *y = 0;
  return 0;
}
int GetMouseButtons() { return 0; }
int GetAllKeyStates(unsigned char* states) {
  memset(states, 0, 256);
  return 0;
}
int GetPadInputBits(int) { return 0; }

}  // namespace qx
