#include "runtime/graphics/draw_pool.h"

#include <stdlib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "runtime/platform/portable.h"
#include <vector>

namespace qx {

namespace {

// Below this many pixels a drawing costs less than waking a worker.
constexpr int64_t kMinSplitPixels = 24 * 1024;
// Past this, more threads only contend for the memory.
constexpr int kMaxThreads = 8;
// A frame's drawings follow each other closely: a worker that has finished
// one watches for the next this many pauses (about 75 microseconds on the
// machine it was measured on) before it sleeps, which saves the next drawing
// the worker's wake-up.
constexpr int kWatchPauses = 4096;

// A drawing's rows go in blocks of kBlockRows destination rows. The
// destination's height is split into one region per thread, and each thread
// takes the blocks in its region from the top, so that it draws the same
// rows, from the same part of the source, drawing after drawing and finds
// them in its own cache. A thread done with its region takes another's
// blocks from the bottom up.
constexpr int kBlockRows = 16;

struct Job {
  RowBandFn fn;
  const void* data;
  int top;  // destination row of row 0
  int rows;
  int threads;
  int firstBlock;  // destination block of row 0
  // Per region, the blocks not yet taken: first in the low half, end in the high.
  std::atomic<uint64_t> left[kMaxThreads];
  int users = 0;  // workers inside the job, under the pool's lock
};

void RunBlock(const Job& job, int g) {
  int begin = (job.firstBlock + g) * kBlockRows - job.top;
  int end = begin + kBlockRows;
  job.fn(job.data, begin < 0 ? 0 : begin, end < job.rows ? end : job.rows);
}

// Takes region r's next block from the top (own) or the bottom; -1 when none is left.
int Take(Job* job, int r, bool own) {
  uint64_t v = job->left[r].load(std::memory_order_relaxed);
  for (;;) {
    uint32_t first = static_cast<uint32_t>(v), end = static_cast<uint32_t>(v >> 32);
    if (first >= end) return -1;
    uint64_t next = own ? v + 1 : v - (uint64_t{1} << 32);
    if (job->left[r].compare_exchange_weak(v, next, std::memory_order_relaxed))
      return static_cast<int>(own ? first : end - 1);
  }
}

void RunBands(Job* job, int self) {
  for (int g; (g = Take(job, self, true)) >= 0;) RunBlock(*job, g);
  for (int i = 1; i < job->threads; ++i) {
    int r = (self + i) % job->threads;
    for (int g; (g = Take(job, r, false)) >= 0;) RunBlock(*job, g);
  }
}

class Pool {
 public:
  Pool() : threads_(DrawThreadsFor(getenv("QUARNEX_DRAW_THREADS"), static_cast<int>(std::thread::hardware_concurrency()))) {
    std::lock_guard<std::mutex> lock(mu_);
    SetThreads(Threads());
    StartWorkers(Threads() - 1);
  }

  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  int Threads() const { return threads_.load(std::memory_order_relaxed); }
  // Without threads every drawing is drawn by the caller alone.
  void SetThreads(int n) { threads_.store(kThreadsAvailable ? n : 1, std::memory_order_relaxed); }

  void Run(int top, int rows, int height, int64_t pixels, RowBandFn fn, const void* data) {
    int threads = Threads();
    if (threads <= 1 || rows < 2 || pixels < kMinSplitPixels) {
      fn(data, 0, rows);
      return;
    }
    Job job;
    job.fn = fn;
    job.data = data;
    job.top = top;
    job.rows = rows;
    job.threads = threads;
    job.firstBlock = top / kBlockRows;
    int blocks = (top + rows - 1) / kBlockRows - job.firstBlock + 1;
    // Region r holds the blocks that start in its share of the destination.
    int64_t lo = 0;
    for (int r = 0; r < threads; ++r) {
      int64_t edge = static_cast<int64_t>(height) * (r + 1) / threads;  // first row past region r
      int64_t hi = r + 1 == threads ? blocks : (edge + kBlockRows - 1) / kBlockRows - job.firstBlock;
      if (hi < lo) hi = lo;
      if (hi > blocks) hi = blocks;
      job.left[r].store(static_cast<uint64_t>(lo) | (static_cast<uint64_t>(hi) << 32), std::memory_order_relaxed);
      lo = hi;
    }
    {
      std::unique_lock<std::mutex> lock(mu_);
      if (job_) {
        // Another thread's drawing has the workers: this one is drawn alone.
        lock.unlock();
        fn(data, 0, rows);
        return;
      }
      StartWorkers(threads - 1);
      job_ = &job;
      ++generation_;
      posted_.store(generation_, std::memory_order_release);
    }
    wake_.notify_all();
    RunBands(&job, 0);
    // The job lives on this stack: no worker may still hold it on return.
    std::unique_lock<std::mutex> lock(mu_);
    done_.wait(lock, [&] { return job.users == 0; });
    job_ = nullptr;
  }

 private:
  // Under the lock.
  void StartWorkers(int n) {
    while (static_cast<int>(workers_.size()) < n) {
      int self = static_cast<int>(workers_.size()) + 1;
      workers_.emplace_back([this, self, g = generation_] { WorkerLoop(self, g); });
    }
  }

  void WorkerLoop(int self, uint64_t seen) {
    std::unique_lock<std::mutex> lock(mu_);
    bool watch = false;
    for (;;) {
      if (watch && !stop_ && generation_ == seen) {
        lock.unlock();
        Watch(seen);
        lock.lock();
      }
      watch = false;
      wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
      if (stop_) return;
      seen = generation_;
      Job* job = job_;
      // Workers past the drawing's thread count stay out of it.
      if (!job || self >= job->threads) continue;
      ++job->users;
      lock.unlock();
      RunBands(job, self);
      lock.lock();
      if (--job->users == 0) done_.notify_one();
      watch = true;
    }
  }

  // Returns when a job newer than seen is posted, or after kWatchPauses.
  void Watch(uint64_t seen) const {
    for (int i = 0; i < kWatchPauses; ++i) {
      if (posted_.load(std::memory_order_acquire) != seen) return;
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
  }

  std::atomic<int> threads_;
  std::mutex mu_;
  std::condition_variable wake_, done_;
  std::vector<std::thread> workers_;
  Job* job_ = nullptr;
  uint64_t generation_ = 0;
  std::atomic<uint64_t> posted_{0};  // generation_, readable without the lock
  bool stop_ = false;
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

}  // namespace

int DrawThreadsFor(const char* text, int processors) {
  int n = processors < 1 ? 1 : (processors > kMaxThreads ? kMaxThreads : processors);
  if (text && *text) {
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (*end == '\0' && v >= 0) n = v < 1 ? 1 : (v > kMaxThreads ? kMaxThreads : static_cast<int>(v));
  }
  return n;
}

void DrawRowBands(int top, int rows, int height, int64_t pixels, RowBandFn fn, const void* job) {
  if (rows <= 0) return;
  if (top < 0) top = 0;
  ThePool().Run(top, rows, height < top + rows ? top + rows : height, pixels, fn, job);
}

int DrawThreads() { return ThePool().Threads(); }

void SetDrawThreads(int n) {
  ThePool().SetThreads(n < 1 ? 1 : (n > kMaxThreads ? kMaxThreads : n));
}

}  // namespace qx
