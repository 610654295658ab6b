// The two stream tables every decoder reads through.
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/core/subsystems.h"
#include "runtime/file/file.h"

namespace qx {

namespace {

FileHandle AsFile(void* handle) { return static_cast<FileHandle>(reinterpret_cast<uintptr_t>(handle)); }

int64_t FileStreamTell(void* h) { return FileTell(AsFile(h)); }
int FileStreamSeek(void* h, int64_t offset, int origin) { return FileSeek(AsFile(h), offset, origin); }
size_t FileStreamRead(void* buffer, size_t size, size_t count, void* h) { return FileRead(buffer, size, count, AsFile(h)); }
int FileStreamEof(void* h) { return FileEof(AsFile(h)); }
int FileStreamIdleCheck(void* h) { return FileIdleCheck(AsFile(h)); }
int FileStreamClose(void* h) { return FileClose(AsFile(h)); }

int64_t MemoryTell(void* h) { return static_cast<int64_t>(static_cast<MemoryStream*>(h)->position); }

int MemorySeek(void* h, int64_t offset, int origin) {
  MemoryStream* m = static_cast<MemoryStream*>(h);
  int64_t target;
  switch (origin) {
    case 0: target = offset; break;
    case 1: target = static_cast<int64_t>(m->position) + offset; break;
    case 2: target = static_cast<int64_t>(m->size) + offset; break;
    default: return -1;
  }
  if (target < 0) target = 0;
  if (target > static_cast<int64_t>(m->size)) target = static_cast<int64_t>(m->size);
  m->position = static_cast<size_t>(target);
  m->eof = 0;
  return 0;
}

size_t MemoryRead(void* buffer, size_t size, size_t count, void* h) {
  MemoryStream* m = static_cast<MemoryStream*>(h);
  if (m->position >= m->size) {
    m->eof = 1;
    return 0;
  }
  // Elements of no bytes all fit, and take nothing from the block.
  if (size == 0) return count;
  // Nothing asked for: copying the rest and answering 1 would be wrong.
  if (count == 0) return 0;
  const size_t left = m->size - m->position;
  if (count > left / size) count = left / size;
  size_t bytes;
  size_t result;
  if (count >= 1) {
    bytes = size * count;
    result = count;
  } else {
    // Less than one element left: hand over what there is as one element.
    bytes = left;
    result = 1;
  }
  memcpy(buffer, m->data + m->position, bytes);
  m->position += bytes;
  m->eof = 0;
  return result;
}

int MemoryEof(void* h) { return static_cast<MemoryStream*>(h)->eof ? -1 : 0; }
int MemoryIdleCheck(void*) { return 1; }

int MemoryClose(void* h) {
  MemFree(h);
  return 0;
}

const StreamOps kFileStreamOps = {FileStreamTell, FileStreamSeek, FileStreamRead,
                                  FileStreamEof, FileStreamIdleCheck, FileStreamClose};
const StreamOps kMemoryStreamOps = {MemoryTell, MemorySeek, MemoryRead, MemoryEof, MemoryIdleCheck, MemoryClose};

}  // namespace

const StreamOps& FileStreamOps() { return kFileStreamOps; }
const StreamOps& MemoryStreamOps() { return kMemoryStreamOps; }

MemoryStream* OpenMemoryStream(const void* data, size_t size) {
  MemoryStream* m = static_cast<MemoryStream*>(MemAlloc(sizeof(MemoryStream)));
  if (!m) return nullptr;
  m->data = static_cast<const uint8_t*>(data);
  m->size = size;
  m->position = 0;
  m->eof = 0;
  return m;
}

// Both tables are constant data, ready before start-up; kept as the start-up
// step so the order of initialisation stays visible there.
void InstallStreamTables() {}

}  // namespace qx
