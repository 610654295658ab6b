#include "runtime/platform/posix_os.h"
#include "runtime/platform/tables.h"

namespace qx {

// Real clock until the virtual clock is written.
const PlatformOsOps kHeadlessOsOps = kPosixOsOps;

}  // namespace qx
