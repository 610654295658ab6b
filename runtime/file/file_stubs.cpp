// Placeholders until the file layer is written.
#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/file/file.h"

namespace qx {

void InitFileLayer() {}
void InstallStreamTables() {}
void CloseUnusedArchives() {}
int SetArchiveExtension(const char*) { return 0; }
int SetArchiveKeyString(const char*) { return 0; }
FileHandle FileOpen(const char*, int, int, int) { return 0; }
int FileClose(FileHandle) { return -1; }
int64_t FileTell(FileHandle) { return -1; }
int FileSeek(FileHandle, int64_t, int) { return -1; }
size_t FileRead(void*, size_t, size_t, FileHandle) { return 0; }
int FileEof(FileHandle) { return -1; }
int FileIdleCheck(FileHandle) { return -1; }
int FileSetDirectory(const char*) { return 0; }
int FileGetDirectory(char* buffer) {
  buffer[0] = 0;
  return 0;
}

}  // namespace qx
