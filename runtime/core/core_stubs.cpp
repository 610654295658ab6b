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






void FatalShutdown(const char* text) {
  fprintf(stderr, "%s\n", text);
  exit(-1);
}
void FatalShutdownFormat(const char* format, ...) { FatalShutdown(format); }
void WaitWhileInactive() {}
void InitOnScreenLog() {}
void EndOnScreenLog() {}

int InitRuntime() { return -1; }
int EndRuntime() { return 0; }
int ScreenPrintfText(const char*) { return 0; }
int ProcessMessage() { return -1; }
int ChangeWindowMode(int) { return 0; }
int SetWindowCaption(const char*) { return 0; }
int SetLogFileEnabled(int) { return 0; }
int SetRunWhileInactive(int) { return 0; }
int SetWindowIconResource(int) { return 0; }

}  // namespace qx

int FillPixelFormatRecord(PixelFormatRecord*, int, int, int, int, int) { return 0; }
