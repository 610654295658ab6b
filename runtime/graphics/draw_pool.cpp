#include "runtime/graphics/draw_pool.h"

#include <stdlib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
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

struct Job {
  RowBandFn fn;
  const void* data;
  int rows;
  int bandRows;
  int bands;
  std::atomic<int> next{0};
  int users = 0;  // workers inside the job, under the pool's lock
};

void RunBands(Job* job) {
  for (;;) {
    int b = job->next.fetch_add(1, std::memory_order_relaxed);
    if (b >= job->bands) return;
    int begin = b * job->bandRows;
    int end = begin + job->bandRows < job->rows ? begin + job->bandRows : job->rows;
    job->fn(job->data, begin, end);
  }
}

class Pool {
 public:
  Pool() : threads_(DrawThreadsFor(getenv("QUARNEX_DRAW_THREADS"), static_cast<int>(std::thread::hardware_concurrency()))) {
    std::lock_guard<std::mutex> lock(mu_);
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
  void SetThreads(int n) { threads_.store(n, std::memory_order_relaxed); }

  void Run(int rows, int64_t pixels, RowBandFn fn, const void* data) {
    int threads = Threads();
    if (threads <= 1 || rows < 2 || pixels < kMinSplitPixels) {
      fn(data, 0, rows);
      return;
    }
    // A few bands per thread, so that one slowed down by the machine's
    // other work holds up little of the drawing.
    Job job;
    job.fn = fn;
    job.data = data;
    job.rows = rows;
    int want = threads * 4;
    job.bandRows = (rows + want - 1) / want;
    if (job.bandRows < 4) job.bandRows = 4;
    job.bands = (rows + job.bandRows - 1) / job.bandRows;
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
      limit_ = threads - 1;
      ++generation_;
      posted_.store(generation_, std::memory_order_release);
    }
    wake_.notify_all();
    RunBands(&job);
    // The job lives on this stack: no worker may still hold it on return.
    std::unique_lock<std::mutex> lock(mu_);
    done_.wait(lock, [&] { return job.users == 0; });
    job_ = nullptr;
  }

 private:
  // Under the lock.
  void StartWorkers(int n) {
    while (static_cast<int>(workers_.size()) < n) workers_.emplace_back([this, g = generation_] { WorkerLoop(g); });
  }

  void WorkerLoop(uint64_t seen) {
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
      if (!job || job->users >= limit_ || job->next.load(std::memory_order_relaxed) >= job->bands) continue;
      ++job->users;
      lock.unlock();
      RunBands(job);
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
  int limit_ = 0;
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

void DrawRowBands(int rows, int64_t pixels, RowBandFn fn, const void* job) {
  if (rows <= 0) return;
  ThePool().Run(rows, pixels, fn, job);
}

int DrawThreads() { return ThePool().Threads(); }

void SetDrawThreads(int n) {
  ThePool().SetThreads(n < 1 ? 1 : (n > kMaxThreads ? kMaxThreads : n));
}

}  // namespace qx
