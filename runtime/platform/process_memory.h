// How the process's heap gives memory back to the system.
#ifndef QUARNEX_RUNTIME_PLATFORM_PROCESS_MEMORY_H
#define QUARNEX_RUNTIME_PLATFORM_PROCESS_MEMORY_H

namespace qx {

// Hands the free pages of the heap back to the system. For the moment a game
// has just freed a scene's pictures and sounds: without it, what the process
// keeps depends on the order in which earlier scenes freed their blocks.
void ReturnFreeMemoryToSystem();

}  // namespace qx

#endif
