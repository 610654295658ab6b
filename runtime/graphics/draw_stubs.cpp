// Placeholders until draw state and drawing are written.
#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"

namespace qx {

int GetColorValue(int, int, int) { return 0; }
int DrawGraphAt(int, int, GraphHandle, int) { return -1; }
int DrawGraphRotated(int, int, double, double, GraphHandle, int, int) { return -1; }
int DrawGraphBlendMasked(int, int, GraphHandle, int, GraphHandle, int, int) { return -1; }
int DrawRectangle(int, int, int, int, int, int) { return -1; }
int SetBlendMode(int, int) { return 0; }
int SetTransparentColor(int, int, int) { return 0; }

}  // namespace qx

int ClipRectangle(Rect*, Rect*) { return 0; }
