#include "runtime/platform/posix_os.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "runtime/platform/portable.h"

namespace qx {

struct PlatformThread {
  pthread_t thread;
  int (*entry)(void*);
  void* arg;
  int result;
};

struct PlatformEvent {
  std::mutex mutex;
  std::condition_variable cv;
  bool signalled;
  bool manualReset;
};

struct PlatformCriticalSection {
  std::recursive_mutex mutex;
};

struct PlatformFile {
  int fd;
};

struct PlatformDir {
  DIR* dir;
  char path[4096];
};

namespace posix {

std::atomic<int> g_nextThreadId{1};
thread_local int t_threadId = 0;

uint64_t MonotonicNanos() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

void* ThreadMain(void* p) {
  PlatformThread* t = static_cast<PlatformThread*>(p);
  t->result = t->entry(t->arg);
  return nullptr;
}

PlatformThread* ThreadCreate(int (*entry)(void*), void* arg) {
  if (!kThreadsAvailable) return nullptr;
  PlatformThread* t = new PlatformThread();
  t->entry = entry;
  t->arg = arg;
  if (pthread_create(&t->thread, nullptr, ThreadMain, t) != 0) {
    delete t;
    return nullptr;
  }
  return t;
}

int ThreadJoin(PlatformThread* t) {
  if (!t) return -1;
  pthread_join(t->thread, nullptr);
  int r = t->result;
  delete t;
  return r;
}

int CurrentThreadId() {
  if (t_threadId == 0) t_threadId = g_nextThreadId.fetch_add(1);
  return t_threadId;
}

PlatformEvent* EventCreate(int manualReset, int initiallySignalled) {
  PlatformEvent* e = new PlatformEvent();
  e->manualReset = manualReset != 0;
  e->signalled = initiallySignalled != 0;
  return e;
}

void EventDestroy(PlatformEvent* e) { delete e; }

void EventSet(PlatformEvent* e) {
  std::lock_guard<std::mutex> lock(e->mutex);
  e->signalled = true;
  e->cv.notify_all();
}

void EventReset(PlatformEvent* e) {
  std::lock_guard<std::mutex> lock(e->mutex);
  e->signalled = false;
}

int EventWait(PlatformEvent* e, int timeoutMs) {
  std::unique_lock<std::mutex> lock(e->mutex);
  if (timeoutMs < 0) {
    e->cv.wait(lock, [e] { return e->signalled; });
  } else if (!e->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [e] { return e->signalled; })) {
    return 1;
  }
  if (!e->manualReset) e->signalled = false;
  return 0;
}

PlatformCriticalSection* CriticalSectionCreate() { return new PlatformCriticalSection(); }
void CriticalSectionDestroy(PlatformCriticalSection* cs) { delete cs; }
void CriticalSectionEnter(PlatformCriticalSection* cs) { cs->mutex.lock(); }
void CriticalSectionLeave(PlatformCriticalSection* cs) { cs->mutex.unlock(); }

PlatformFile* FileOpenImpl(const char* path, int mode) {
  int flags = O_RDONLY;
  if (mode == kPlatformFileWriteAppend) flags = O_WRONLY | O_CREAT | O_APPEND;
  if (mode == kPlatformFileCreateNew) flags = O_WRONLY | O_CREAT | O_TRUNC;
  int fd = open(path, flags | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  PlatformFile* f = new PlatformFile();
  f->fd = fd;
  return f;
}

void FileCloseImpl(PlatformFile* f) {
  if (!f) return;
  close(f->fd);
  delete f;
}

int64_t FileSizeImpl(PlatformFile* f) {
  struct stat st;
  if (!f || fstat(f->fd, &st) != 0) return -1;
  return st.st_size;
}

int64_t FileReadAtImpl(PlatformFile* f, uint64_t offset, void* buffer, size_t size) {
  if (!f) return -1;
  size_t done = 0;
  while (done < size) {
    ssize_t n = pread(f->fd, static_cast<char*>(buffer) + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return done ? static_cast<int64_t>(done) : -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int64_t FileWriteImpl(PlatformFile* f, const void* data, size_t size) {
  if (!f) return -1;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(f->fd, static_cast<const char*>(data) + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int FileDeleteImpl(const char* path) { return unlink(path) == 0 ? 0 : -1; }
int FileRenameImpl(const char* from, const char* to) { return rename(from, to) == 0 ? 0 : -1; }

void FillEntry(const struct stat& st, const char* name, PlatformDirEntry* out) {
  snprintf(out->name, sizeof(out->name), "%s", name);
  out->isDirectory = S_ISDIR(st.st_mode) ? 1 : 0;
  out->size = static_cast<uint64_t>(st.st_size);
  out->modifiedUnixSeconds = st.st_mtime;
  out->attributes = out->isDirectory ? 0x10u : 0x20u;
  if ((st.st_mode & S_IWUSR) == 0) out->attributes |= 0x01u;
}

int FileStatImpl(const char* path, PlatformDirEntry* out) {
  struct stat st;
  if (stat(path, &st) != 0) return -1;
  const char* slash = strrchr(path, '/');
  FillEntry(st, slash ? slash + 1 : path, out);
  return 0;
}

int MakeDirectoryImpl(const char* path) {
  if (mkdir(path, 0755) == 0) return 0;
  struct stat st;
  return (errno == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode)) ? 0 : -1;
}

PlatformDir* DirOpenImpl(const char* path) {
  DIR* d = opendir(path);
  if (!d) return nullptr;
  PlatformDir* pd = new PlatformDir();
  pd->dir = d;
  snprintf(pd->path, sizeof(pd->path), "%s", path);
  return pd;
}

int DirNextImpl(PlatformDir* pd, PlatformDirEntry* out) {
  while (dirent* e = readdir(pd->dir)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    char full[8192];
    snprintf(full, sizeof(full), "%s/%s", pd->path, e->d_name);
    struct stat st;
    if (stat(full, &st) != 0) continue;
    FillEntry(st, e->d_name, out);
    return 1;
  }
  return 0;
}

void DirCloseImpl(PlatformDir* pd) {
  if (!pd) return;
  closedir(pd->dir);
  delete pd;
}

int GetCurrentDirectoryImpl(char* buffer, size_t size) { return getcwd(buffer, size) ? 0 : -1; }
int SetCurrentDirectoryImpl(const char* path) { return chdir(path) == 0 ? 0 : -1; }

void DebugOutputImpl(const char* text) {
  static const bool enabled = getenv("QUARNEX_DEBUG_OUTPUT") != nullptr;
  if (enabled) fputs(text, stderr);
}

int TimerPeriodMinImpl() { return 1; }
void TimerPeriodImpl(int) {}

void QuerySystemInfoImpl(PlatformSystemInfo* out) {
  memset(out, 0, sizeof(*out));
  utsname u;
  if (uname(&u) == 0) {
    memcpy(out->osName, u.sysname, sizeof(u.sysname) < sizeof(out->osName) ? sizeof(u.sysname) : sizeof(out->osName) - 1);
    memcpy(out->osRelease, u.release, sizeof(u.release) < sizeof(out->osRelease) ? sizeof(u.release) : sizeof(out->osRelease) - 1);
    if (u.version[0] == '#') out->osBuild = atoi(u.version + 1);
  }
  long pages = sysconf(_SC_PHYS_PAGES);
  long avail = sysconf(_SC_AVPHYS_PAGES);
  long pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) out->totalMemory = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
  if (avail > 0 && pageSize > 0) out->availableMemory = static_cast<uint64_t>(avail) * static_cast<uint64_t>(pageSize);
#if defined(__x86_64__) || defined(__i386__)
  unsigned a, b, c, d;
  if (__get_cpuid(0, &a, &b, &c, &d)) {
    out->hasCpuid = 1;
    memcpy(out->cpuVendor + 0, &b, 4);
    memcpy(out->cpuVendor + 4, &d, 4);
    memcpy(out->cpuVendor + 8, &c, 4);
    if (__get_cpuid(1, &a, &b, &c, &d)) {
      out->hasTsc = (d >> 4) & 1;
      out->hasMmx = (d >> 23) & 1;
    }
    if (__get_cpuid(0x80000000, &a, &b, &c, &d) && a >= 0x80000004) {
      unsigned regs[12];
      for (unsigned i = 0; i < 3; ++i) __get_cpuid(0x80000002 + i, &regs[i * 4], &regs[i * 4 + 1], &regs[i * 4 + 2], &regs[i * 4 + 3]);
      memcpy(out->cpuBrand, regs, 48);
    }
  }
#endif
}

}  // namespace posix

using namespace posix;

uint32_t PosixTickMilliseconds() { return static_cast<uint32_t>(MonotonicNanos() / 1000000ull); }
uint64_t PosixQueryCounter() { return MonotonicNanos(); }
uint64_t PosixCounterFrequency() { return 1000000000ull; }

void PosixSleep(int ms) {
  if (ms <= 0) {
    sched_yield();
    return;
  }
  timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void PosixLocalDateTime(DateTime* out) {
  time_t now = time(nullptr);
  tm t;
  localtime_r(&now, &t);
  out->Year = t.tm_year + 1900;
  out->Month = t.tm_mon + 1;
  out->Day = t.tm_mday;
  out->Hour = t.tm_hour;
  out->Minute = t.tm_min;
  out->Second = t.tm_sec;
}

namespace {
int g_instanceLockFd = -1;
}

int InstanceLockPath(const char* className, int perDirectory, char* out, size_t size) {
  const char* dir = getenv("QUARNEX_LOCK_DIR");
  if (!dir || !*dir) dir = getenv("XDG_RUNTIME_DIR");
  if (!dir || !*dir) dir = "/tmp";
  // The class name is Shift-JIS text: anything but plain letters and digits is spelt in hex.
  char name[600];
  size_t n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(className); *p && n + 3 < sizeof(name); ++p) {
    if ((*p >= '0' && *p <= '9') || (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z')) {
      name[n++] = static_cast<char>(*p);
    } else {
      n += static_cast<size_t>(snprintf(name + n, sizeof(name) - n, "%%%02X", *p));
    }
  }
  name[n] = '\0';
  unsigned long long scope = 0;
  if (perDirectory) {
    char cwd[4096];
    if (getcwd(cwd, sizeof(cwd))) {
      scope = 1469598103934665603ull;  // FNV-1a
      for (const char* c = cwd; *c; ++c) scope = (scope ^ static_cast<unsigned char>(*c)) * 1099511628211ull;
    }
  }
  int written = snprintf(out, size, "%s/quarnex-%u-%s-%llx.lock", dir, static_cast<unsigned>(getuid()), name, scope);
  return (written < 0 || static_cast<size_t>(written) >= size) ? -1 : 0;
}

int PosixAcquireInstanceLock(const char* className, int perDirectory) {
  PosixReleaseInstanceLock();
  char path[4096];
  if (InstanceLockPath(className, perDirectory, path, sizeof(path)) != 0) return -1;
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  g_instanceLockFd = fd;
  return 0;
}

void PosixReleaseInstanceLock() {
  if (g_instanceLockFd < 0) return;
  flock(g_instanceLockFd, LOCK_UN);
  close(g_instanceLockFd);
  g_instanceLockFd = -1;
}

const PlatformOsOps kPosixOsOps = {
    PosixTickMilliseconds, PosixQueryCounter, PosixCounterFrequency, TimerPeriodMinImpl, TimerPeriodImpl,
    TimerPeriodImpl, PosixLocalDateTime, PosixSleep, ThreadCreate, ThreadJoin, CurrentThreadId, EventCreate,
    EventDestroy, EventSet, EventReset, EventWait, CriticalSectionCreate, CriticalSectionDestroy,
    CriticalSectionEnter, CriticalSectionLeave, FileOpenImpl, FileCloseImpl, FileSizeImpl, FileReadAtImpl,
    FileWriteImpl, FileDeleteImpl, FileRenameImpl, FileStatImpl, MakeDirectoryImpl, DirOpenImpl, DirNextImpl,
    DirCloseImpl, GetCurrentDirectoryImpl, SetCurrentDirectoryImpl, DebugOutputImpl, QuerySystemInfoImpl,
};

}  // namespace qx
