// Placeholders for the on-screen log until runtime/core/onscreen_log.cpp
// implements it; delete this file then.
#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"

namespace qx {

void InitOnScreenLog() {}
void EndOnScreenLog() {}
int ScreenPrintfText(const char*) { return 0; }

}  // namespace qx
