// One line of resource figures (live blocks, handles per type, resident
// memory) for soak and leak tests; written only when they ask for it.
#ifndef QUARNEX_RUNTIME_CORE_CHECKPOINT_H
#define QUARNEX_RUNTIME_CORE_CHECKPOINT_H

namespace qx {

void WriteResourceCheckpoint(const char* event);

}  // namespace qx

#endif
