// How the process's heap gives memory back to the system.
#ifndef QUARNEX_RUNTIME_PLATFORM_PROCESS_MEMORY_H
#define QUARNEX_RUNTIME_PLATFORM_PROCESS_MEMORY_H

namespace qx {

// Hands the free pages of the heap back to the system. For the moment a game
// has just freed a scene's pictures and sounds: without it, what the process
// keeps depends on the order in which earlier scenes freed their blocks.
void ReturnFreeMemoryToSystem();

// Gives every block of 256 KiB or more (pictures, decoded files, sounds) its
// own mapping, returned to the system when it is freed. Otherwise the heap
// keeps a loaded scene's freed temporaries resident between the blocks that
// stay, and the first freed picture raises the limit so that later ones all
// land in the heap.
void KeepLargeBlocksOutOfHeap();

}  // namespace qx

#endif
