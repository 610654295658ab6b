// ApiLock: the process-wide recursive, first-come-first-served lock.
#ifndef QUARNEX_RUNTIME_CORE_LOCK_H
#define QUARNEX_RUNTIME_CORE_LOCK_H

namespace qx {

void ApiLockEnter();
void ApiLockLeave();
// Closes the lock's events and critical section; a later ApiLockEnter re-creates them.
void ApiLockTeardown();

struct ApiLockScope {
  ApiLockScope() { ApiLockEnter(); }
  ~ApiLockScope() { ApiLockLeave(); }
  ApiLockScope(const ApiLockScope&) = delete;
  ApiLockScope& operator=(const ApiLockScope&) = delete;
};

}  // namespace qx

#endif
