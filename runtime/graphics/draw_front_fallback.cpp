// A weak stand-in for the front-screen presentation that drawing calls, so
// the drawing code links before the screen is merged; the screen's own
// definition replaces it. Delete this file once the screen is in.
#include "runtime/graphics/renderer_internal.h"

namespace qx {

__attribute__((weak)) void PresentFrontScreenArea(const Rect*) {}

}  // namespace qx
