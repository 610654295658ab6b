// Placeholders until draw state and drawing are written.
#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/graphics/draw_state.h"

namespace qx {

int GetColorValue(int, int, int) { return 0; }
int DrawGraphAt(int, int, GraphHandle, int) { return -1; }
int DrawGraphRotated(int, int, double, double, GraphHandle, int, int) { return -1; }
int DrawGraphBlendMasked(int, int, GraphHandle, int, GraphHandle, int, int) { return -1; }
int DrawRectangle(int, int, int, int, int, int) { return -1; }
int SetBlendMode(int, int) { return 0; }
int SetTransparentColor(int, int, int) { return 0; }

DrawState& GetDrawState() {
  static DrawState state;
  return state;
}
void ResetDrawState() {}
int SetBrightness(int, int, int) { return 0; }
void SetBrightnessValue(uint32_t) {}
int SetBlendMask(GraphHandle, int, int) { return 0; }
int SetClipRect(int, int, int, int) { return 0; }
void GetClipRect(Rect* out) { *out = Rect{0, 0, 0, 0}; }
int CheckBlendMaskSize(const GraphRecord*) { return 0; }

}  // namespace qx

int ClipRectangle(Rect*, Rect*) { return 0; }
