#include "runtime/core/lock.h"

#include <atomic>

#include "runtime/platform/platform.h"

namespace qx {
namespace {

constexpr int kQueueCapacity = 4096;

struct WaitEntry {
  int threadId;
  PlatformEvent* event;
};

struct ApiLockState {
  int initialised;
  int recursion;
  int held;
  int owner;
  WaitEntry queue[kQueueCapacity];
  int length;
  PlatformCriticalSection* cs;
};

ApiLockState g_lock = {0, 0, 0, -1, {}, 0, nullptr};
// Guards only the lazy set-up, which may race when two threads make the first call.
std::atomic_flag g_setUp = ATOMIC_FLAG_INIT;

void EnsureInitialised() {
  if (__atomic_load_n(&g_lock.initialised, __ATOMIC_ACQUIRE)) return;
  while (g_setUp.test_and_set(std::memory_order_acquire)) {
  }
  if (!g_lock.initialised) {
    const PlatformOsOps& os = Os();
    for (int i = 0; i < kQueueCapacity; ++i) {
      g_lock.queue[i].threadId = 0;
      g_lock.queue[i].event = os.EventCreate(1, 0);
    }
    g_lock.length = 0;
    g_lock.recursion = 0;
    g_lock.held = 0;
    g_lock.owner = -1;
    g_lock.cs = os.CriticalSectionCreate();
    __atomic_store_n(&g_lock.initialised, 1, __ATOMIC_RELEASE);
  }
  g_setUp.clear(std::memory_order_release);
}

int FindInQueue(int thread) {
  for (int i = 0; i < g_lock.length; ++i) {
    if (g_lock.queue[i].threadId == thread) return i;
  }
  return -1;
}

// Takes entry `index` out of the queue; its event goes to the first unused place
// so that the array keeps all of its events.
void RemoveEntry(int index) {
  PlatformEvent* event = g_lock.queue[index].event;
  for (int i = index; i + 1 < g_lock.length; ++i) g_lock.queue[i] = g_lock.queue[i + 1];
  g_lock.length--;
  Os().EventReset(event);
  g_lock.queue[g_lock.length].threadId = 0;
  g_lock.queue[g_lock.length].event = event;
}

// One decision under the critical section. Returns true when the lock was taken;
// otherwise *event is the event to wait on (null when the queue was full).
bool TryTakeOrQueue(int thread, PlatformEvent** event) {
  *event = nullptr;
  bool take = false;
  if (g_lock.held) {
    take = g_lock.owner == thread;
  } else if (g_lock.length == 0) {
    take = true;
  } else if (g_lock.queue[0].threadId == thread) {
    RemoveEntry(0);
    take = true;
  }
  if (take) {
    g_lock.held = 1;
    g_lock.owner = thread;
    g_lock.recursion++;
    return true;
  }
  // A woken thread that finds the lock taken keeps its place instead of queueing twice.
  int index = FindInQueue(thread);
  if (index < 0 && g_lock.length < kQueueCapacity) {
    index = g_lock.length++;
    g_lock.queue[index].threadId = thread;
  }
  if (index >= 0) *event = g_lock.queue[index].event;
  return false;
}

}  // namespace

void ApiLockEnter() {
  EnsureInitialised();
  const PlatformOsOps& os = Os();
  int thread = os.CurrentThreadId();
  for (;;) {
    os.CriticalSectionEnter(g_lock.cs);
    PlatformEvent* event;
    bool taken = TryTakeOrQueue(thread, &event);
    os.CriticalSectionLeave(g_lock.cs);
    if (taken) return;
    if (!event) {
      os.Sleep(1);
      continue;
    }
    os.EventWait(event, -1);
    os.EventReset(event);
  }
}

bool ApiLockEnterUnlessEnding(const volatile int* endFlag) {
  EnsureInitialised();
  const PlatformOsOps& os = Os();
  int thread = os.CurrentThreadId();
  for (;;) {
    os.CriticalSectionEnter(g_lock.cs);
    PlatformEvent* event;
    bool taken = TryTakeOrQueue(thread, &event);
    os.CriticalSectionLeave(g_lock.cs);
    if (taken) return true;
    bool ending = false;
    if (!event) {
      ending = __atomic_load_n(endFlag, __ATOMIC_ACQUIRE) != 0;
      if (!ending) {
        os.Sleep(1);
        continue;
      }
    } else {
      int woken = os.EventWait(event, 0) == 0;
      while (!woken) {
        if (__atomic_load_n(endFlag, __ATOMIC_ACQUIRE)) {
          ending = true;
          break;
        }
        // Short slices so that the end of the runtime is noticed quickly.
        woken = os.EventWait(event, 50) == 0;
      }
      if (!ending) {
        os.EventReset(event);
        continue;
      }
    }
    ApiLockAbandonWait();
    return false;
  }
}

void ApiLockAbandonWait() {
  if (!__atomic_load_n(&g_lock.initialised, __ATOMIC_ACQUIRE)) return;
  const PlatformOsOps& os = Os();
  int thread = os.CurrentThreadId();
  os.CriticalSectionEnter(g_lock.cs);
  int index = FindInQueue(thread);
  if (index >= 0) {
    RemoveEntry(index);
    // The head may have been woken for a free lock it will now never take.
    if (index == 0 && g_lock.length > 0 && !g_lock.held) os.EventSet(g_lock.queue[0].event);
  }
  os.CriticalSectionLeave(g_lock.cs);
}

static bool LeaveOnce() {
  const PlatformOsOps& os = Os();
  os.CriticalSectionEnter(g_lock.cs);
  bool wake = false;
  if (g_lock.recursion == 1) {
    g_lock.held = 0;
    g_lock.owner = -1;
    wake = g_lock.length > 0;
  }
  if (g_lock.recursion > 0) g_lock.recursion--;
  if (wake) os.EventSet(g_lock.queue[0].event);
  os.CriticalSectionLeave(g_lock.cs);
  return wake;
}

void ApiLockLeave() {
  if (!__atomic_load_n(&g_lock.initialised, __ATOMIC_ACQUIRE)) return;
  // The yield lets the woken head take the lock before this thread can come back.
  if (LeaveOnce()) Os().Sleep(0);
}

void ApiLockLeaveNoYield() {
  if (!__atomic_load_n(&g_lock.initialised, __ATOMIC_ACQUIRE)) return;
  LeaveOnce();
}

void ApiLockTeardown() {
  if (!__atomic_load_n(&g_lock.initialised, __ATOMIC_ACQUIRE)) return;
  const PlatformOsOps& os = Os();
  __atomic_store_n(&g_lock.initialised, 0, __ATOMIC_RELEASE);
  for (int i = 0; i < kQueueCapacity; ++i) {
    os.EventDestroy(g_lock.queue[i].event);
    g_lock.queue[i].event = nullptr;
    g_lock.queue[i].threadId = 0;
  }
  g_lock.length = 0;
  g_lock.recursion = 0;
  g_lock.held = 0;
  g_lock.owner = -1;
  os.CriticalSectionDestroy(g_lock.cs);
  g_lock.cs = nullptr;
}

ApiLockSnapshot ApiLockInspect() {
  ApiLockSnapshot s{};
  s.initialised = __atomic_load_n(&g_lock.initialised, __ATOMIC_ACQUIRE);
  if (!s.initialised) return s;
  const PlatformOsOps& os = Os();
  os.CriticalSectionEnter(g_lock.cs);
  s.held = g_lock.held;
  s.owner = g_lock.owner;
  s.recursion = g_lock.recursion;
  s.queueLength = g_lock.length;
  s.headThreadId = g_lock.length > 0 ? g_lock.queue[0].threadId : 0;
  os.CriticalSectionLeave(g_lock.cs);
  return s;
}

}  // namespace qx
