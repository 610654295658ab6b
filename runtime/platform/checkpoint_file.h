// Resource checkpoints for soak and leak tests: lines appended to the file
// named by QUARNEX_CHECKPOINTS. Without that variable nothing is written.
#ifndef QUARNEX_RUNTIME_PLATFORM_CHECKPOINT_FILE_H
#define QUARNEX_RUNTIME_PLATFORM_CHECKPOINT_FILE_H

namespace qx {

bool CheckpointsWanted();
void AppendCheckpointLine(const char* line);
// The process's resident memory in kilobytes, or -1 when unknown.
long ResidentKilobytes();

}  // namespace qx

#endif
