#include "runtime/platform/posix_os.h"

namespace qx {

const Platform kHeadlessPlatform = {"headless", &kPosixOsOps, nullptr, nullptr, nullptr, nullptr};

}  // namespace qx
