// Allocation registry: every runtime allocation carries a header and is
// linked into a list of live blocks, reported at shutdown.
#ifndef QUARNEX_RUNTIME_CORE_ALLOC_H
#define QUARNEX_RUNTIME_CORE_ALLOC_H

#include <stddef.h>

namespace qx {

void* MemAlloc(size_t size);
void* MemAllocZero(size_t size);
// For a block freed again soon (a file read whole to be decoded): mapped in
// huge pages from a smaller size on, its last huge page filled more readily.
// Freed with MemFree.
void* MemAllocBrief(size_t size);
void MemFree(void* memory);
// Writes "Alloc memory dump" and a line per live block to the log.
void WriteAllocationReport();
size_t AllocatedBytes();
int AllocatedBlocks();

}  // namespace qx

#endif
