#include "runtime/file/plain_file.h"

#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/core/log.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/portable.h"

namespace qx {

namespace {

enum ReaderCommand { kCmdOpen = 0, kCmdRelease = 1, kCmdRead = 2, kCmdSeek = 3, kCmdClose = 4 };

constexpr size_t kPlainPathMax = 1024;

}  // namespace

struct PlainFile {
  PlatformFile* handle;  // owned by the reader thread when threaded
  int threaded;
  int cacheFlag;
  int asyncFlag;
  int eof;
  int64_t position;
  int64_t size;

  PlatformThread* thread;
  PlatformEvent* commandEvent;
  PlatformEvent* doneEvent;
  int command;
  int resultFlag;
  int threadEnded;

  char path[kPlainPathMax];
  void* readDestination;
  int64_t readPosition;
  size_t readLength;
  int64_t readDone;
  int64_t seekPosition;
};

namespace {

int FileReaderThread(void* arg) {
  PlainFile* f = static_cast<PlainFile*>(arg);
  const PlatformOsOps& os = Os();
  for (;;) {
    os.EventWait(f->commandEvent, -1);
    os.EventReset(f->commandEvent);
    os.EventReset(f->doneEvent);
    switch (f->command) {
      case kCmdOpen:
        f->handle = os.FileOpen(f->path, kPlatformFileRead);
        if (!f->handle) {
          f->resultFlag = 1;
          f->threadEnded = 1;
          os.EventSet(f->doneEvent);
          return 0;
        }
        break;
      case kCmdRelease:
        if (f->handle) os.FileClose(f->handle);
        f->handle = nullptr;
        break;
      case kCmdRead:
        f->readDone = f->handle ? os.FileReadAt(f->handle, static_cast<uint64_t>(f->readPosition),
                                                f->readDestination, f->readLength)
                                : -1;
        break;
      case kCmdSeek:
        // Reads carry their own position; nothing to move.
        break;
      case kCmdClose:
        if (f->handle) os.FileClose(f->handle);
        f->handle = nullptr;
        f->threadEnded = 1;
        os.EventSet(f->doneEvent);
        return 0;
      default:
        break;
    }
    os.EventSet(f->doneEvent);
  }
}

void WaitDone(PlainFile* f) { Os().EventWait(f->doneEvent, -1); }

// The caller writes a command only after the previous one has finished.
void SendCommand(PlainFile* f, int command) {
  WaitDone(f);
  f->command = command;
  Os().EventReset(f->doneEvent);
  Os().EventSet(f->commandEvent);
}

void DestroyEvents(PlainFile* f) {
  if (f->commandEvent) Os().EventDestroy(f->commandEvent);
  if (f->doneEvent) Os().EventDestroy(f->doneEvent);
  f->commandEvent = nullptr;
  f->doneEvent = nullptr;
}

}  // namespace

PlainFile* PlainFileOpen(const char* diskPath, int cacheFlag, int asyncFlag) {
  if (!diskPath || strlen(diskPath) >= kPlainPathMax) return nullptr;
  const PlatformOsOps& os = Os();
  PlatformFile* handle = os.FileOpen(diskPath, kPlatformFileRead);
  if (!handle) return nullptr;
  PlainFile* f = static_cast<PlainFile*>(MemAllocZero(sizeof(PlainFile)));
  if (!f) {
    os.FileClose(handle);
    return nullptr;
  }
  strcpy(f->path, diskPath);
  f->cacheFlag = cacheFlag;
  f->asyncFlag = asyncFlag;
  f->size = os.FileSize(handle);
  if (f->size < 0) f->size = 0;
  // Without threads, caching and asynchronous files are read on the caller's thread.
  if ((cacheFlag == 0 && asyncFlag == 0) || !kThreadsAvailable) {
    f->handle = handle;
    return f;
  }

  os.FileClose(handle);
  f->threaded = 1;
  f->commandEvent = os.EventCreate(1, 0);
  f->doneEvent = os.EventCreate(1, 1);
  if (f->commandEvent && f->doneEvent) f->thread = os.ThreadCreate(FileReaderThread, f);
  if (!f->thread) {
    DestroyEvents(f);
    MemFree(f);
    LogWrite("ファイルアクセス専用スレッドの作成に失敗しました\n");
    return nullptr;
  }
  SendCommand(f, kCmdOpen);
  WaitDone(f);
  if (f->resultFlag) {
    os.ThreadJoin(f->thread);
    DestroyEvents(f);
    MemFree(f);
    LogWrite("ファイルのオープンに失敗しました\n");
    return nullptr;
  }
  return f;
}

int PlainFileClose(PlainFile* f) {
  if (!f) return -1;
  const PlatformOsOps& os = Os();
  if (!f->threaded) {
    os.FileClose(f->handle);
    MemFree(f);
    return 0;
  }
  SendCommand(f, kCmdClose);
  WaitDone(f);
  os.ThreadJoin(f->thread);
  DestroyEvents(f);
  MemFree(f);
  return 0;
}

int64_t PlainFileTell(PlainFile* f) { return f->position; }

int PlainFileSeek(PlainFile* f, int64_t offset, int origin) {
  int64_t target;
  switch (origin) {
    case 0: target = offset; break;
    case 1: target = f->position + offset; break;
    case 2: target = f->size + offset; break;
    default: return -1;
  }
  // A position before the start would make the next read use a negative offset.
  if (target < 0) return -1;
  if (f->threaded) {
    f->seekPosition = target;
    SendCommand(f, kCmdSeek);
  }
  f->position = target;
  f->eof = 0;
  return 0;
}

size_t PlainFileRead(void* buffer, size_t size, size_t count, PlainFile* f) {
  if (size == 0) return 0;
  // At or past the end (a seek may go beyond it): nothing left to read.
  if (f->position >= f->size) {
    f->eof = 1;
    return 0;
  }
  const uint64_t left = static_cast<uint64_t>(f->size - f->position);
  if (count > left / size) count = static_cast<size_t>(left / size);
  if (count == 0) {
    f->eof = 1;
    return 0;
  }
  const size_t bytes = size * count;
  size_t result;
  if (f->threaded) {
    WaitDone(f);
    f->readDestination = buffer;
    f->readPosition = f->position;
    f->readLength = bytes;
    f->readDone = 0;
    SendCommand(f, kCmdRead);
    if (!f->asyncFlag) WaitDone(f);
    result = count;
  } else {
    int64_t n = Os().FileReadAt(f->handle, static_cast<uint64_t>(f->position), buffer, bytes);
    result = n < 0 ? 0 : static_cast<size_t>(n) / size;
    // What the reader thread would have reported (files without threads).
    if (f->asyncFlag || f->cacheFlag) f->readDone = n < 0 ? 0 : n;
  }
  f->position += static_cast<int64_t>(bytes);
  return result;
}

int PlainFileEof(PlainFile* f) { return f->eof ? -1 : 0; }

int PlainFileIdleCheck(PlainFile* f) {
  if (!f->threaded) return 1;
  return Os().EventWait(f->doneEvent, 0) == 0 ? 1 : 0;
}

int64_t PlainFileSize(PlainFile* f) { return f->size; }

int64_t PlainFileWait(PlainFile* f) {
  if (f->threaded) WaitDone(f);
  return f->readDone;
}

}  // namespace qx
