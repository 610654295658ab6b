#include "runtime/platform/process_memory.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>  // defines __GLIBC__
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "runtime/platform/portable.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qx {
namespace {

constexpr uintptr_t kHugePage = 2u << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapLargeBlocks = false;  // mapped blocks would have no red zones
#else
constexpr bool kMapLargeBlocks = true;
#endif

uintptr_t PageBytes() {
  static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  return page;
}

uintptr_t RoundUp(uintptr_t value, uintptr_t to) { return (value + to - 1) / to * to; }

#if defined(MADV_POPULATE_WRITE)
// Blocks worth faulting in ahead: two huge pages or more.
constexpr size_t kPrefaultBytes = 2 * kHugePage;

// Faults in the pages of new large blocks on a thread of its own, from the
// start, while the caller fills the block from its start too. The kernel's
// clearing of fresh pages, the largest part of loading a picture, then runs
// beside the decoding instead of inside it, and the caller finds the pages
// there. The contents are not touched: the pages stay zero-filled.
class Prefaulter {
 public:
  void Add(uintptr_t begin, uintptr_t end) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_ || count_ == kQueue || !kThreadsAvailable) return;  // only speed is lost
    if (!started_) {
      std::thread([this] { Run(); }).detach();
      started_ = true;
    }
    queue_[count_++] = {begin, end};
    wake_.notify_one();
  }

  // The block is about to be unmapped: it must not be worked on any more.
  void Forget(uintptr_t begin, uintptr_t end) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (int i = 0; i < count_;) {
      if (queue_[i].begin < end && begin < queue_[i].end) {
        queue_[i] = queue_[--count_];
      } else {
        ++i;
      }
    }
    if (busy_.begin < end && begin < busy_.end) {
      cancel_ = true;
      done_.wait(lock, [&] { return busy_.begin == busy_.end; });
    }
  }

 private:
  struct Range {
    uintptr_t begin, end;
  };
  static constexpr int kQueue = 64;

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return count_ > 0; });
      busy_ = queue_[0];
      queue_[0] = queue_[--count_];
      cancel_ = false;
      const Range work = busy_;
      lock.unlock();
      bool ok = true;
      for (uintptr_t at = work.begin; at < work.end && ok && !cancel_; at += kHugePage) {
        const uintptr_t step = work.end - at < kHugePage ? work.end - at : kHugePage;
        ok = madvise(reinterpret_cast<void*>(at), step, MADV_POPULATE_WRITE) == 0 || errno != EINVAL;
      }
      lock.lock();
      if (!ok) failed_ = true;  // a kernel without it
      busy_ = {0, 0};
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  Range queue_[kQueue] = {};
  int count_ = 0;
  Range busy_ = {0, 0};
  std::atomic<bool> cancel_{false};
  bool failed_ = false;
  bool started_ = false;
};

// Never destroyed: its thread may still wait on it while the process ends.
Prefaulter& ThePrefaulter() {
  static Prefaulter* prefaulter = new Prefaulter;
  return *prefaulter;
}
#endif

}  // namespace

void ReturnFreeMemoryToSystem() {
#if defined(__GLIBC__)
  // glibc returns only the heap's top on its own; pages freed below a live
  // block stay resident until trimmed.
  malloc_trim(0);
#endif
}

namespace {

// The bytes mapped for a block, from its header's page to its end; 0 when
// the block is left to the heap.
size_t MappedBytes(size_t headerBytes, size_t dataBytes, bool brief) {
  if (!kMapLargeBlocks || dataBytes > SIZE_MAX / 4) return 0;
  if (dataBytes < (brief ? kBriefBlockBytes : kLargeBlockBytes)) return 0;
  // The data starts on a huge page, so it ends tail bytes into its last one.
  const size_t tail = dataBytes % kHugePage;
  size_t dataEnd = RoundUp(dataBytes, PageBytes());
  // A last huge page mostly used is worth filling: one fault instead of
  // hundreds, for at most three eighths of a huge page more. A brief block,
  // freed again soon after, is given it when half used, or whole when it fits
  // in one.
  if (tail != 0 && (tail >= kLargeBlockBytes || (brief && (tail >= kHugePage / 2 || dataBytes < kHugePage))))
    dataEnd = RoundUp(dataBytes, kHugePage);
  return RoundUp(headerBytes, PageBytes()) + dataEnd;
}

}  // namespace

void* MapLargeBlock(size_t headerBytes, size_t dataBytes, bool brief) {
  const size_t bytes = MappedBytes(headerBytes, dataBytes, brief);
  if (bytes == 0) return nullptr;
  // Over-map by a huge page, then cut away what lies outside the aligned block.
  const size_t reserve = bytes + kHugePage;
  void* mapped = mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const uintptr_t base = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t data = RoundUp(base + headerBytes, kHugePage);
  const uintptr_t start = data - RoundUp(headerBytes, PageBytes());
  const uintptr_t end = start + bytes;
  if (start > base) munmap(mapped, start - base);
  if (base + reserve > end) munmap(reinterpret_cast<void*>(end), base + reserve - end);
  // Without huge pages the block still works, with ordinary pages.
  madvise(reinterpret_cast<void*>(data), end - data, MADV_HUGEPAGE);
#if defined(MADV_POPULATE_WRITE)
  if (end - data >= kPrefaultBytes) ThePrefaulter().Add(data, end);
#endif
  return reinterpret_cast<void*>(data - headerBytes);
}

void UnmapLargeBlock(void* header, size_t headerBytes, size_t dataBytes, bool brief) {
  const uintptr_t data = reinterpret_cast<uintptr_t>(header) + headerBytes;
  const uintptr_t start = data - RoundUp(headerBytes, PageBytes());
  const size_t bytes = MappedBytes(headerBytes, dataBytes, brief);
#if defined(MADV_POPULATE_WRITE)
  if (bytes - (data - start) >= kPrefaultBytes) ThePrefaulter().Forget(data, start + bytes);
#endif
  munmap(reinterpret_cast<void*>(start), bytes);
}

}  // namespace qx
