// Costs the game pays on every call or every frame: the uncontended API lock,
// a random number and a message pass with nothing queued.
#include <benchmark/benchmark.h>

#include "runtime/core/lock.h"
#include "runtime/runtime.h"

static void BM_ApiLockUncontended(benchmark::State& state) {
  for (auto _ : state) {
    qx::ApiLockEnter();
    qx::ApiLockLeave();
  }
}
BENCHMARK(BM_ApiLockUncontended);

static void BM_GetRandomInt(benchmark::State& state) {
  SeedRandom(1);
  int sum = 0;
  for (auto _ : state) sum += GetRandomInt(799);
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_GetRandomInt);

static void BM_ProcessMessageWithoutWindow(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ProcessMessage());
}
BENCHMARK(BM_ProcessMessageWithoutWindow);
