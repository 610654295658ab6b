#include "runtime/platform/sdl/sdl_internal.h"
#include "runtime/platform/tables.h"

namespace qx {

SDL_Window* SdlMainWindow() { return nullptr; }
const PlatformWindowOps kSdlWindowOps = {};

}  // namespace qx
