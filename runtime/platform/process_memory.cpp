#include "runtime/platform/process_memory.h"

#include <stdlib.h>  // defines __GLIBC__

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qx {

void ReturnFreeMemoryToSystem() {
#if defined(__GLIBC__)
  // glibc returns only the heap's top on its own; pages freed below a live
  // block stay resident until trimmed.
  malloc_trim(0);
#endif
}

void KeepLargeBlocksOutOfHeap() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}

}  // namespace qx
