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

void ApiLockEnter() {}
void ApiLockLeave() {}
void ApiLockTeardown() {}

void StartLog() {}
int LogWrite(const char*) { return -1; }
int LogPrintf(const char*, ...) { return -1; }
int LogIndentIncrease() { return 0; }
int LogIndentDecrease() { return 0; }

void* MemAlloc(size_t size) { return malloc(size); }
void* MemAllocZero(size_t size) { return calloc(1, size); }
void MemFree(void* memory) { free(memory); }
void WriteAllocationReport() {}
size_t AllocatedBytes() { return 0; }
int AllocatedBlocks() { return 0; }

WindowState& GetWindowState() {
  static WindowState state;
  return state;
}

uint32_t TickNow() { return Os().TickMilliseconds(); }
uint64_t GetMicrosecondCount() { return static_cast<uint64_t>(TickNow()) * 1000; }
void TimerCheck() {}
uint32_t RandomNext() { return 0; }

void FatalShutdown(const char* text) {
  fprintf(stderr, "%s\n", text);
  exit(-1);
}
void FatalShutdownFormat(const char* format, ...) { FatalShutdown(format); }
void WaitWhileInactive() {}

int InitRuntime() { return -1; }
int EndRuntime() { return 0; }
int ProcessMessage() { return -1; }
int ChangeWindowMode(int) { return 0; }
int SetWindowCaption(const char*) { return 0; }
int SetLogFileEnabled(int) { return 0; }
int SetRunWhileInactive(int) { return 0; }
int SetWindowIconResource(int) { return 0; }
int GetTickMilliseconds(int) { return static_cast<int>(TickNow()); }
int GetLocalDateTime(DateTime* out) {
  Os().GetLocalDateTime(out);
  return 0;
}
int GetRandomInt(int) { return 0; }
int SeedRandom(int) { return 0; }

}  // namespace qx

int FillPixelFormatRecord(PixelFormatRecord*, int, int, int, int, int) { return 0; }
