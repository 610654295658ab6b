#include "runtime/platform/tables.h"

namespace qx {

const PlatformWindowOps kHeadlessWindowOps = {};

}  // namespace qx
