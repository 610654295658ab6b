// Weak placeholders for graph and renderer operations the screen needs and
// that are written elsewhere; a real definition replaces each at link time.
#include "runtime/core/subsystems.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/graph.h"
#include "runtime/graphics/renderer.h"
#include "runtime/graphics/screen.h"

namespace qx {

__attribute__((weak)) void StartGraphSystem() {
  ResetDrawState();
  StartFontSystem();
}
__attribute__((weak)) void StopGraphSystem() { StopFontSystem(); }
__attribute__((weak)) GraphHandle CreateGraph(int, int, bool, bool, bool) { return -1; }
__attribute__((weak)) int ReleaseGraph(GraphHandle, int) { return -1; }
__attribute__((weak)) int GetGraphImage(GraphHandle, MEMIMG*) { return -1; }
__attribute__((weak)) void SetDrawValidGraphCreation(int) {}
__attribute__((weak)) void DrawImageStretched(MEMIMG*, const MEMIMG*, const Rect*, bool) {}

}  // namespace qx
