#include "runtime/core/checkpoint.h"

#include <stdio.h>

#include "runtime/core/alloc.h"
#include "runtime/core/handle.h"
#include "runtime/platform/checkpoint_file.h"

namespace qx {

void WriteResourceCheckpoint(const char* event) {
  if (!CheckpointsWanted()) return;
  char line[512];
  int n = snprintf(line, sizeof line, "%s blocks=%d bytes=%zu handles=", event, AllocatedBlocks(), AllocatedBytes());
  n += HandleCountsText(line + n, sizeof line - static_cast<size_t>(n));
  snprintf(line + n, sizeof line - static_cast<size_t>(n), " rss_kb=%ld", ResidentKilobytes());
  AppendCheckpointLine(line);
}

}  // namespace qx
