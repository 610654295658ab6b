#include "runtime/platform/tables.h"

namespace qx {

const PlatformDisplayOps kHeadlessDisplayOps = {};

}  // namespace qx
