#include "runtime/platform/tables.h"

namespace qx {

const PlatformInputOps kHeadlessInputOps = {};

}  // namespace qx
