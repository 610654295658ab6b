// ApiLock: the process-wide recursive, first-come-first-served lock.
#ifndef QUARNEX_RUNTIME_CORE_LOCK_H
#define QUARNEX_RUNTIME_CORE_LOCK_H

namespace qx {

void ApiLockEnter();
void ApiLockLeave();
// Closes the lock's events and critical section; a later ApiLockEnter re-creates them.
void ApiLockTeardown();

// The message thread's variant: waits in slices and gives up (returning false,
// having left the queue) once *endFlag becomes non-zero.
bool ApiLockEnterUnlessEnding(const volatile int* endFlag);
// Release without the final yield.
void ApiLockLeaveNoYield();
// Removes the calling thread from the waiting queue wherever it stands.
void ApiLockAbandonWait();

// A consistent copy of the lock's fields, for diagnostics and tests.
struct ApiLockSnapshot {
  int initialised;
  int held;
  int owner;
  int recursion;
  int queueLength;
  int headThreadId;
};
ApiLockSnapshot ApiLockInspect();

struct ApiLockScope {
  ApiLockScope() { ApiLockEnter(); }
  ~ApiLockScope() { ApiLockLeave(); }
  ApiLockScope(const ApiLockScope&) = delete;
  ApiLockScope& operator=(const ApiLockScope&) = delete;
};

}  // namespace qx

#endif
