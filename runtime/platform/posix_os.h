// Operating-system services shared by both back ends (POSIX and Linux).
#ifndef QUARNEX_RUNTIME_PLATFORM_POSIX_OS_H
#define QUARNEX_RUNTIME_PLATFORM_POSIX_OS_H

#include <stddef.h>

#include "runtime/platform/platform.h"

namespace qx {

// The real-clock table; the headless back end shares it but for the clock.
extern const PlatformOsOps kPosixOsOps;

uint32_t PosixTickMilliseconds();
uint64_t PosixQueryCounter();
uint64_t PosixCounterFrequency();
void PosixSleep(int ms);
void PosixLocalDateTime(DateTime* out);

// Single-instance lock: an exclusive flock on a file named after the class
// name, in $QUARNEX_LOCK_DIR, else $XDG_RUNTIME_DIR, else /tmp. With
// perDirectory the name also carries the working directory, so that runs in
// different directories do not exclude each other.
// Writes the lock file's path; returns 0, or -1 when it does not fit.
int InstanceLockPath(const char* className, int perDirectory, char* out, size_t size);
// 0 acquired, -1 held elsewhere (or the file cannot be made).
int PosixAcquireInstanceLock(const char* className, int perDirectory);
void PosixReleaseInstanceLock();

// The individual services, for back ends that replace only some of them.
namespace posix {
PlatformThread* ThreadCreate(int (*entry)(void*), void* arg);
int ThreadJoin(PlatformThread* t);
int CurrentThreadId();
PlatformEvent* EventCreate(int manualReset, int initiallySignalled);
void EventDestroy(PlatformEvent* e);
void EventSet(PlatformEvent* e);
void EventReset(PlatformEvent* e);
int EventWait(PlatformEvent* e, int timeoutMs);
PlatformCriticalSection* CriticalSectionCreate();
void CriticalSectionDestroy(PlatformCriticalSection* cs);
void CriticalSectionEnter(PlatformCriticalSection* cs);
void CriticalSectionLeave(PlatformCriticalSection* cs);
PlatformFile* FileOpenImpl(const char* path, int mode);
void FileCloseImpl(PlatformFile* f);
int64_t FileSizeImpl(PlatformFile* f);
int64_t FileReadAtImpl(PlatformFile* f, uint64_t offset, void* buffer, size_t size);
int64_t FileWriteImpl(PlatformFile* f, const void* data, size_t size);
int FileDeleteImpl(const char* path);
int FileRenameImpl(const char* from, const char* to);
int FileStatImpl(const char* path, PlatformDirEntry* out);
int MakeDirectoryImpl(const char* path);
PlatformDir* DirOpenImpl(const char* path);
int DirNextImpl(PlatformDir* pd, PlatformDirEntry* out);
void DirCloseImpl(PlatformDir* pd);
int GetCurrentDirectoryImpl(char* buffer, size_t size);
int SetCurrentDirectoryImpl(const char* path);
void DebugOutputImpl(const char* text);
int TimerPeriodMinImpl();
void TimerPeriodImpl(int ms);
void QuerySystemInfoImpl(PlatformSystemInfo* out);
}  // namespace posix

}  // namespace qx

#endif
