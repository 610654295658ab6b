#include "runtime/platform/sdl/sdl_internal.h"
#include "runtime/platform/tables.h"

namespace qx {

const Platform kSdlPlatform = {"sdl",          &kSdlSessionOsOps,      &kSdlSessionWindowOps,
                              &kSdlSessionDisplayOps, &kSdlSessionInputOps, &kSdlSoundOps,
                              &kSdlSessionGpuOps};

}  // namespace qx
