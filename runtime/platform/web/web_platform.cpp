#include "runtime/platform/platform.h"
#include "runtime/platform/tables.h"

namespace qx {

// The page draws with the software renderer only.
const Platform kWebPlatform = {"web", &kWebOsOps, &kWebWindowOps, &kWebDisplayOps, &kWebInputOps, &kWebSoundOps,
                               nullptr};

const Platform* const kDefaultPlatform = &kWebPlatform;

}  // namespace qx
