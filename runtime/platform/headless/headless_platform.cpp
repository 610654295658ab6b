#include "runtime/platform/tables.h"

namespace qx {

const Platform kHeadlessPlatform = {"headless",          &kHeadlessOsOps,    &kHeadlessWindowOps,
                                    &kHeadlessDisplayOps, &kHeadlessInputOps, &kHeadlessSoundOps,
                                    nullptr};

}  // namespace qx
