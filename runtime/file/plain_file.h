// Operating-system files read either directly or through a reader thread of
// their own, which is how archive files are always read.
#ifndef QUARNEX_RUNTIME_FILE_PLAIN_FILE_H
#define QUARNEX_RUNTIME_FILE_PLAIN_FILE_H

#include <stddef.h>
#include <stdint.h>

namespace qx {

struct PlainFile;

// `diskPath` is a native "/" path. Null on failure.
PlainFile* PlainFileOpen(const char* diskPath, int cacheFlag, int asyncFlag);
int PlainFileClose(PlainFile* file);
int64_t PlainFileTell(PlainFile* file);
int PlainFileSeek(PlainFile* file, int64_t offset, int origin);
// Element count; the position advances by the elements asked for.
size_t PlainFileRead(void* buffer, size_t size, size_t count, PlainFile* file);
int PlainFileEof(PlainFile* file);
int PlainFileIdleCheck(PlainFile* file);
int64_t PlainFileSize(PlainFile* file);
// Waits until no command is outstanding; returns the bytes the last read
// actually transferred (-1 after a failed read).
int64_t PlainFileWait(PlainFile* file);

}  // namespace qx

#endif
