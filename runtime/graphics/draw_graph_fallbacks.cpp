// Weak stand-ins for the graph lookups that drawing needs, so the drawing code
// links before the graph system is merged; the graph system's own definitions
// replace them. Delete this file once graph.cpp is in.
#include "runtime/graphics/graph.h"

namespace qx {

__attribute__((weak)) GraphRecord* GetGraphRecord(GraphHandle) { return nullptr; }
__attribute__((weak)) int QueryGraphSize(int, int*, int*) { return -1; }
__attribute__((weak)) int GetGraphImage(GraphHandle, MEMIMG*) { return -1; }

}  // namespace qx
