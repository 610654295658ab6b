#include "runtime/platform/platform.h"

namespace qx {

// A desktop build runs in an SDL window unless told otherwise.
const Platform* const kDefaultPlatform = &kSdlPlatform;

}  // namespace qx
