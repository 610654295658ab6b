// The file layer: one table of file operations serving loose files and files
// inside archives, and the stream tables every decoder reads through.
#ifndef QUARNEX_RUNTIME_FILE_FILE_H
#define QUARNEX_RUNTIME_FILE_FILE_H

#include <stddef.h>
#include <stdint.h>

namespace qx {

// File handle: slot | 0xF0000000; 0 = failure. Operations refuse handles
// without that tag, so 0 never reaches slot 0.
typedef uint32_t FileHandle;

struct FileAccessTable {
  FileHandle (*FileOpen)(const char* path, int cacheFlag, int ignored, int asyncFlag);
  int (*FileClose)(FileHandle handle);
  int64_t (*FileTell)(FileHandle handle);
  int (*FileSeek)(FileHandle handle, int64_t offset, int origin);
  size_t (*FileRead)(void* buffer, size_t size, size_t count, FileHandle handle);
  int (*FileEof)(FileHandle handle);
  int (*FileIdleCheck)(FileHandle handle);
  int (*FileSetDirectory)(const char* path);
  int (*FileGetDirectory)(char* buffer);
};

// The table in use (archive-aware).
const FileAccessTable& Files();

// The operations behind Files(), callable directly.
FileHandle FileOpen(const char* path, int cacheFlag, int ignored, int asyncFlag);
int FileClose(FileHandle handle);
int64_t FileTell(FileHandle handle);
int FileSeek(FileHandle handle, int64_t offset, int origin);
// Loose files answer whole elements, files inside archives bytes; 0 for an
// invalid handle.
size_t FileRead(void* buffer, size_t size, size_t count, FileHandle handle);
int FileEof(FileHandle handle);
int FileIdleCheck(FileHandle handle);
int FileSetDirectory(const char* path);
int FileGetDirectory(char* buffer);  // at least 256 bytes
// The whole file when the layer already holds it in memory (a compressed
// file inside an archive), valid until the file is closed; false otherwise.
bool FileContentsInMemory(FileHandle handle, const uint8_t** data, size_t* size);

// Six stream operations over an opaque handle.
struct StreamOps {
  int64_t (*Tell)(void* handle);
  int (*Seek)(void* handle, int64_t offset, int origin);
  size_t (*Read)(void* buffer, size_t size, size_t count, void* handle);
  int (*Eof)(void* handle);
  int (*IdleCheck)(void* handle);
  int (*Close)(void* handle);
};

// File streams: the handle is a FileHandle cast to a pointer-sized value.
const StreamOps& FileStreamOps();
inline void* FileStreamHandle(FileHandle handle) { return reinterpret_cast<void*>(static_cast<uintptr_t>(handle)); }

// Memory streams: a view over a block it does not own.
struct MemoryStream {
  const uint8_t* data;
  size_t size;
  size_t position;
  int eof;
};
const StreamOps& MemoryStreamOps();
// Allocates a MemoryStream over the block (freed by the stream's Close).
MemoryStream* OpenMemoryStream(const void* data, size_t size);

// Settings (public operations, unlocked forms in api_internal.h):
// SetArchiveExtension, SetArchiveKeyString.

// State of the tables, for diagnostics and tests.
int OpenFileCount();
int OpenArchiveCount();
// Reference count of the open archive at `archivePath` (any path form), or -1
// when it is not open.
int ArchiveReferenceCount(const char* archivePath);

}  // namespace qx

#endif
