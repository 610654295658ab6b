#include "runtime/platform/posix_os.h"

namespace qx {

// Window, display, input and sound tables are filled by their own files.
const Platform kSdlPlatform = {"sdl", &kPosixOsOps, nullptr, nullptr, nullptr, nullptr};

}  // namespace qx
