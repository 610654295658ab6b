// How the process's heap gets memory from the system and gives it back.
#ifndef QUARNEX_RUNTIME_PLATFORM_PROCESS_MEMORY_H
#define QUARNEX_RUNTIME_PLATFORM_PROCESS_MEMORY_H

#include <stddef.h>

namespace qx {

// Hands the free pages of the heap back to the system. For the moment a game
// has just freed a scene's pictures and sounds: without it, what the process
// keeps depends on the order in which earlier scenes freed their blocks.
void ReturnFreeMemoryToSystem();

// Blocks at least this big are mapped on their own, in huge pages where the
// system has them: a picture then costs a few page faults instead of hundreds
// (each costs tens of microseconds on a virtual machine), and its pages go back
// to the system the moment it is freed.
constexpr size_t kLargeBlockBytes = 5u << 18;  // 1.25 MiB: an 800 x 600 picture of 24 or 32 bits
// Brief blocks (a file read whole, freed once decoded) are mapped from this
// size on, a small one in a whole huge page.
constexpr size_t kBriefBlockBytes = 256u << 10;

// Maps room for a header of headerBytes followed by dataBytes, the data
// starting on a huge-page boundary, zero-filled. Returns the header's address,
// or null when the block is not to be mapped (too small, the system refuses,
// or a memory checker wants every block to pass through the heap).
void* MapLargeBlock(size_t headerBytes, size_t dataBytes, bool brief = false);
// Unmaps a block from MapLargeBlock, given the same sizes and kind.
void UnmapLargeBlock(void* header, size_t headerBytes, size_t dataBytes, bool brief = false);

}  // namespace qx

#endif
