#include "runtime/platform/posix_os.h"
#include "runtime/platform/tables.h"

namespace qx {

const Platform kSdlPlatform = {"sdl", &kPosixOsOps, &kSdlWindowOps, &kSdlDisplayOps, &kSdlInputOps, &kSdlSoundOps,
                              &kSdlGpuOps};

}  // namespace qx
