// Placeholders until the core is written; each is removed as it is implemented.
#include <stdio.h>
#include <stdlib.h>

#include "runtime/core/alloc.h"
#include "runtime/core/api_internal.h"
#include "runtime/core/lock.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/timing.h"
#include "runtime/core/window_state.h"
#include "runtime/platform/platform.h"

namespace qx {






void InitOnScreenLog() {}
void EndOnScreenLog() {}

int ScreenPrintfText(const char*) { return 0; }

}  // namespace qx

