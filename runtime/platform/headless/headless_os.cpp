// Operating-system services of the headless back end: the real threads, events
// and files, but a virtual clock. Reads of the clock on the main thread move
// it on a little so that busy waits end; sleeps on the main thread move it by
// their length instead of waiting.
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "runtime/platform/headless/headless.h"
#include "runtime/platform/portable.h"
#include "runtime/platform/posix_os.h"
#include "runtime/platform/tables.h"

namespace qx {
namespace {

constexpr uint64_t kReadStepMicros = 100;

// The process's first thread is the one the game runs on.
// Asked at every clock read, so each thread asks the system only once.
bool IsMainThread() {
  static thread_local const bool main = KernelThreadId() == getpid();
  return main;
}

uint64_t ReadClock() {
  if (IsMainThread()) return __atomic_add_fetch(&Headless().clockMicros, kReadStepMicros, __ATOMIC_ACQ_REL);
  return __atomic_load_n(&Headless().clockMicros, __ATOMIC_ACQUIRE);
}

uint32_t Tick() { return static_cast<uint32_t>(ReadClock() / 1000u); }
uint64_t Counter() { return ReadClock(); }
uint64_t Frequency() { return 1000000u; }

void Sleep(int ms) {
  if (IsMainThread()) {
    if (ms > 0) __atomic_add_fetch(&Headless().clockMicros, static_cast<uint64_t>(ms) * 1000u, __ATOMIC_ACQ_REL);
    PosixSleep(0);
    return;
  }
  // Other threads really wait, but briefly: virtual time passes much faster.
  PosixSleep(ms > 2 ? 2 : ms);
}

// Parsed once: QUARNEX_DATE "YYYY-MM-DD HH:MM:SS", default 2026-01-01 00:00:00.
time_t DateOrigin() {
  static const time_t origin = [] {
    tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 1;
    const char* text = getenv("QUARNEX_DATE");
    int y, mo, d, h, mi, s, end = 0;
    // Widths bound every field, so no text can overflow a field or the year's
    // offset; a longer last field is refused like any other.
    if (text && sscanf(text, "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &end) == 6 &&
        !(text[end] >= '0' && text[end] <= '9')) {
      t.tm_year = y - 1900;
      t.tm_mon = mo - 1;
      t.tm_mday = d;
      t.tm_hour = h;
      t.tm_min = mi;
      t.tm_sec = s;
    }
    return timegm(&t);
  }();
  return origin;
}

void LocalDateTime(DateTime* out) {
  const HeadlessState& h = Headless();
  const uint64_t clock = __atomic_load_n(&h.clockMicros, __ATOMIC_ACQUIRE);
  time_t now = DateOrigin() + static_cast<time_t>(clock / 1000000u);
  // A date from the script (a recorded game's) holds from its frame on.
  if (__atomic_load_n(&h.dateSet, __ATOMIC_ACQUIRE) && clock >= h.dateClockMicros)
    now = static_cast<time_t>(h.dateSeconds + static_cast<int64_t>((clock - h.dateClockMicros) / 1000000u));
  tm t;
  gmtime_r(&now, &t);
  out->Year = t.tm_year + 1900;
  out->Month = t.tm_mon + 1;
  out->Day = t.tm_mday;
  out->Hour = t.tm_hour;
  out->Minute = t.tm_min;
  out->Second = t.tm_sec;
}

}  // namespace

bool HeadlessOnMainThread() { return IsMainThread(); }

const PlatformOsOps kHeadlessOsOps = {
    Tick, Counter, Frequency, posix::TimerPeriodMinImpl, posix::TimerPeriodImpl, posix::TimerPeriodImpl,
    LocalDateTime, Sleep, posix::ThreadCreate, posix::ThreadJoin, posix::CurrentThreadId, posix::EventCreate,
    posix::EventDestroy, posix::EventSet, posix::EventReset, posix::EventWait, posix::CriticalSectionCreate,
    posix::CriticalSectionDestroy, posix::CriticalSectionEnter, posix::CriticalSectionLeave, posix::FileOpenImpl,
    posix::FileCloseImpl, posix::FileSizeImpl, posix::FileReadAtImpl, posix::FileWriteImpl, posix::FileDeleteImpl,
    posix::FileRenameImpl, posix::FileStatImpl, posix::MakeDirectoryImpl, posix::DirOpenImpl, posix::DirNextImpl,
    posix::DirCloseImpl, posix::GetCurrentDirectoryImpl, posix::SetCurrentDirectoryImpl, posix::DebugOutputImpl,
    posix::QuerySystemInfoImpl,
};

}  // namespace qx
