// Millisecond tick, microsecond counter, the timer test and MT19937.
#ifndef QUARNEX_RUNTIME_CORE_TIMING_H
#define QUARNEX_RUNTIME_CORE_TIMING_H

#include <stdint.h>

namespace qx {

uint32_t TickNow();  // timeGetTime counterpart
uint64_t GetMicrosecondCount();
void TimerCheck();
// Next raw 32-bit output of the generator.
uint32_t RandomNext();

}  // namespace qx

#endif
