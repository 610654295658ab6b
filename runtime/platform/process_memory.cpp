#include "runtime/platform/process_memory.h"

#include <stdint.h>
#include <stdlib.h>  // defines __GLIBC__
#include <sys/mman.h>
#include <unistd.h>

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
  // hundreds, for at most three eighths of a huge page more. A brief block
  // within one huge page is given it whole, as it is freed again soon after.
  if (tail != 0 && (tail >= kLargeBlockBytes || (brief && dataBytes < kHugePage)))
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
  return reinterpret_cast<void*>(data - headerBytes);
}

void UnmapLargeBlock(void* header, size_t headerBytes, size_t dataBytes, bool brief) {
  const uintptr_t data = reinterpret_cast<uintptr_t>(header) + headerBytes;
  const uintptr_t start = data - RoundUp(headerBytes, PageBytes());
  munmap(reinterpret_cast<void*>(start), MappedBytes(headerBytes, dataBytes, brief));
}

}  // namespace qx
