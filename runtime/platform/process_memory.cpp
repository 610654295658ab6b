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

uintptr_t RoundDown(uintptr_t value, uintptr_t to) { return value / to * to; }
uintptr_t RoundUp(uintptr_t value, uintptr_t to) { return (value + to - 1) / to * to; }

}  // namespace

void ReturnFreeMemoryToSystem() {
#if defined(__GLIBC__)
  // glibc returns only the heap's top on its own; pages freed below a live
  // block stay resident until trimmed.
  malloc_trim(0);
#endif
}

void* MapLargeBlock(size_t headerBytes, size_t dataBytes) {
  if (!kMapLargeBlocks || dataBytes < kLargeBlockBytes || dataBytes > SIZE_MAX / 2) return nullptr;
  // Over-map by a huge page, then cut away what lies outside the aligned block.
  const size_t reserve = headerBytes + dataBytes + kHugePage;
  void* mapped = mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const uintptr_t base = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t data = RoundUp(base + headerBytes, kHugePage);
  const uintptr_t start = RoundDown(data - headerBytes, PageBytes());
  const uintptr_t end = RoundUp(data + dataBytes, PageBytes());
  if (start > base) munmap(mapped, start - base);
  if (base + reserve > end) munmap(reinterpret_cast<void*>(end), base + reserve - end);
  // Without huge pages the block still works, with ordinary pages.
  madvise(reinterpret_cast<void*>(data), end - data, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(data - headerBytes);
}

void UnmapLargeBlock(void* header, size_t headerBytes, size_t dataBytes) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(header);
  const uintptr_t start = RoundDown(at, PageBytes());
  const uintptr_t end = RoundUp(at + headerBytes + dataBytes, PageBytes());
  munmap(reinterpret_cast<void*>(start), end - start);
}

}  // namespace qx
