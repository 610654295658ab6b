// Operating-system services shared by both back ends (POSIX and Linux).
#ifndef QUARNEX_RUNTIME_PLATFORM_POSIX_OS_H
#define QUARNEX_RUNTIME_PLATFORM_POSIX_OS_H

#include "runtime/platform/platform.h"

namespace qx {

// The real-clock table; the headless back end copies it and replaces the clock.
extern const PlatformOsOps kPosixOsOps;

uint32_t PosixTickMilliseconds();
uint64_t PosixQueryCounter();
uint64_t PosixCounterFrequency();
void PosixSleep(int ms);
void PosixLocalDateTime(DateTime* out);

}  // namespace qx

#endif
