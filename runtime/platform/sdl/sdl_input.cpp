#include "runtime/platform/tables.h"

namespace qx {

const PlatformInputOps kSdlInputOps = {};

}  // namespace qx
