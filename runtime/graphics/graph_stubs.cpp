// Placeholders until graphs and image loading are written.
#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"

namespace qx {

void InstallDefaultImageLoader() {}
int DeleteAllGraphs(int) { return 0; }
GraphHandle LoadGraphFile(const char*, int) { return -1; }
GraphHandle LoadBlendMaskFile(const char*) { return -1; }
int LoadDividedGraphFile(const char*, int, int, int, int, int, GraphHandle*, int) { return -1; }
int DeleteAllMasks() { return 0; }

}  // namespace qx
