// Operating-system services in a browser: the browser's clock, one thread,
// events that are waited on by letting the page run, and the in-memory file
// system (whose written files the page keeps: web_pre.js).
#include <emscripten.h>
#include <time.h>

#include "runtime/platform/posix_os.h"
#include "runtime/platform/tables.h"
#include "runtime/platform/web/web_internal.h"

namespace qx {
namespace {

// A loop that reads the clock until time has passed would never let the page
// run: reading it hands the browser a turn now and then.
constexpr double kLongestWithoutYield = 50.0;
double g_lastYield = 0;

}  // namespace

double WebNow() { return emscripten_get_now(); }

void WebYield(int ms) {
  g_lastYield = emscripten_get_now();
  emscripten_sleep(static_cast<unsigned>(ms < 0 ? 0 : ms));
}

namespace {

double Clock() {
  double now = emscripten_get_now();
  if (now - g_lastYield > kLongestWithoutYield) {
    g_lastYield = now;
    emscripten_sleep(0);
    now = emscripten_get_now();
  }
  return now;
}

uint32_t TickMilliseconds() { return static_cast<uint32_t>(static_cast<uint64_t>(Clock())); }
uint64_t QueryCounter() { return static_cast<uint64_t>(Clock() * 1000.0); }
uint64_t CounterFrequency() { return 1000000ull; }

void Sleep(int ms) { WebYield(ms); }

// Without other threads only the page's own callbacks can set an event, so a
// wait lets the page run until it is set or the time is up.
struct Event {
  bool manualReset;
  bool signalled;
};

PlatformEvent* EventCreate(int manualReset, int initiallySignalled) {
  Event* e = new Event{manualReset != 0, initiallySignalled != 0};
  return reinterpret_cast<PlatformEvent*>(e);
}
void EventDestroy(PlatformEvent* e) { delete reinterpret_cast<Event*>(e); }
void EventSet(PlatformEvent* e) { reinterpret_cast<Event*>(e)->signalled = true; }
void EventReset(PlatformEvent* e) { reinterpret_cast<Event*>(e)->signalled = false; }

int EventWait(PlatformEvent* pe, int timeoutMs) {
  Event* e = reinterpret_cast<Event*>(pe);
  const double end = emscripten_get_now() + timeoutMs;
  while (!e->signalled) {
    if (timeoutMs >= 0 && emscripten_get_now() >= end) return 1;
    Sleep(timeoutMs == 0 ? 0 : 1);
  }
  if (!e->manualReset) e->signalled = false;
  return 0;
}

}  // namespace

const PlatformOsOps kWebOsOps = {
    TickMilliseconds, QueryCounter, CounterFrequency, posix::TimerPeriodMinImpl, posix::TimerPeriodImpl,
    posix::TimerPeriodImpl, PosixLocalDateTime, Sleep, posix::ThreadCreate, posix::ThreadJoin,
    posix::CurrentThreadId, EventCreate, EventDestroy, EventSet, EventReset, EventWait,
    posix::CriticalSectionCreate, posix::CriticalSectionDestroy, posix::CriticalSectionEnter,
    posix::CriticalSectionLeave, posix::FileOpenImpl, posix::FileCloseImpl, posix::FileSizeImpl, posix::FileReadAtImpl,
    posix::FileWriteImpl, posix::FileDeleteImpl, posix::FileRenameImpl, posix::FileStatImpl, posix::MakeDirectoryImpl,
    posix::DirOpenImpl, posix::DirNextImpl, posix::DirCloseImpl, posix::GetCurrentDirectoryImpl,
    posix::SetCurrentDirectoryImpl, posix::DebugOutputImpl, posix::QuerySystemInfoImpl,
};

}  // namespace qx
