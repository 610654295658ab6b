#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "runtime/core/lock.h"
#include "runtime/platform/platform.h"

namespace {

using qx::ApiLockEnter;
using qx::ApiLockInspect;
using qx::ApiLockLeave;

// Waits (really) until the lock's queue holds n threads.
void WaitForQueueLength(int n) {
  for (int i = 0; i < 20000 && ApiLockInspect().queueLength != n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(ApiLockInspect().queueLength, n);
}

struct Order {
  std::mutex m;
  std::string s;
  void Add(char c) {
    std::lock_guard<std::mutex> g(m);
    s += c;
  }
};

TEST(ApiLock, RecursiveEntryIsReleasedOnlyByTheLastLeave) {
  ApiLockEnter();
  ApiLockEnter();
  EXPECT_EQ(ApiLockInspect().recursion, 2);
  std::atomic<bool> taken{false};
  std::thread other([&] {
    ApiLockEnter();
    taken = true;
    ApiLockLeave();
  });
  WaitForQueueLength(1);
  ApiLockLeave();
  // Still held once: the other thread must stay queued.
  EXPECT_EQ(ApiLockInspect().recursion, 1);
  EXPECT_EQ(ApiLockInspect().queueLength, 1);
  EXPECT_FALSE(taken);
  EXPECT_EQ(ApiLockInspect().owner, qx::Os().CurrentThreadId());
  ApiLockLeave();
  other.join();
  EXPECT_TRUE(taken);
  qx::ApiLockSnapshot s = ApiLockInspect();
  EXPECT_EQ(s.held, 0);
  EXPECT_EQ(s.owner, -1);
  EXPECT_EQ(s.recursion, 0);
}

TEST(ApiLock, WaitersAreServedInArrivalOrder) {
  Order order;
  ApiLockEnter();
  auto worker = [&](char name) {
    ApiLockEnter();
    order.Add(name);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ApiLockLeave();
  };
  std::thread b(worker, 'B');
  WaitForQueueLength(1);
  std::thread c(worker, 'C');
  WaitForQueueLength(2);
  EXPECT_EQ(ApiLockInspect().headThreadId != 0, true);
  ApiLockLeave();
  b.join();
  c.join();
  EXPECT_EQ(order.s, "BC");
}

TEST(ApiLock, AReleasingThreadThatComesBackQueuesBehindTheWaiter) {
  Order order;
  ApiLockEnter();
  std::thread b([&] {
    ApiLockEnter();
    // Holds long enough that an overtaking thread would have recorded first.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    order.Add('B');
    ApiLockLeave();
  });
  WaitForQueueLength(1);
  ApiLockLeave();
  ApiLockEnter();
  order.Add('A');
  ApiLockLeave();
  b.join();
  EXPECT_EQ(order.s, "BA");
}

TEST(ApiLock, TeardownAndRecreation) {
  ApiLockEnter();
  ApiLockLeave();
  qx::ApiLockTeardown();
  EXPECT_EQ(ApiLockInspect().initialised, 0);
  // A later call builds the lock again and it works across threads.
  ApiLockEnter();
  EXPECT_EQ(ApiLockInspect().initialised, 1);
  std::atomic<bool> taken{false};
  std::thread other([&] {
    ApiLockEnter();
    taken = true;
    ApiLockLeave();
  });
  WaitForQueueLength(1);
  ApiLockLeave();
  other.join();
  EXPECT_TRUE(taken);
}

TEST(ApiLock, AnAbandoningWaiterHandsTheFreeLockToTheNext) {
  // The message thread gives up its place when the runtime ends; a waiter
  // queued behind it must not be stranded.
  volatile int ending = 0;
  ApiLockEnter();
  std::atomic<int> messageResult{-1};
  std::thread message([&] { messageResult = qx::ApiLockEnterUnlessEnding(&ending) ? 1 : 0; });
  WaitForQueueLength(1);
  std::atomic<bool> taken{false};
  std::thread game([&] {
    ApiLockEnter();
    taken = true;
    ApiLockLeave();
  });
  WaitForQueueLength(2);
  __atomic_store_n(&ending, 1, __ATOMIC_RELEASE);
  message.join();
  EXPECT_EQ(messageResult, 0);
  EXPECT_EQ(ApiLockInspect().queueLength, 1);
  ApiLockLeave();
  game.join();
  EXPECT_TRUE(taken);
  EXPECT_EQ(ApiLockInspect().queueLength, 0);
}

}  // namespace
