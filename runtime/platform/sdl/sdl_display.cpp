#include "runtime/platform/tables.h"

namespace qx {

const PlatformDisplayOps kSdlDisplayOps = {};

}  // namespace qx
