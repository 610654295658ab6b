#include "runtime/platform/replace_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace qx {
namespace {

bool WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// File systems that cannot sync (EINVAL) still hold what was written.
bool Sync(int fd) { return fsync(fd) == 0 || errno == EINVAL; }

void SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  Sync(fd);
  close(fd);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Sets *refused when the folder does not let a new file be made in it.
bool ReplaceThroughTemporary(const std::string& target, const std::string& temp, const void* data, size_t size,
                             const struct stat* existing, bool* refused) {
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    *refused = errno == EACCES || errno == EPERM || errno == EROFS;
    return false;
  }
  bool ok = !existing || fchmod(fd, existing->st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, data, size) && Sync(fd);
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), target.c_str()) == 0) {
    SyncFolder(FolderOf(target));
    return true;
  }
  unlink(temp.c_str());
  return false;
}

bool RewriteInPlace(const std::string& target, const void* data, size_t size) {
  int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data, size) && ftruncate(fd, static_cast<off_t>(size)) == 0 && Sync(fd);
  return close(fd) == 0 && ok;
}

}  // namespace

int ReplaceFileContents(const char* path, const void* data, size_t size) {
  // Through a symbolic link the link's target is the file to replace.
  std::string target = path;
  char resolved[PATH_MAX];
  struct stat link;
  if (lstat(path, &link) == 0 && S_ISLNK(link.st_mode) && realpath(path, resolved)) target = resolved;

  struct stat existing;
  const bool exists = stat(target.c_str(), &existing) == 0;
  const std::string temp = target + ".tmp";
  unlink(temp.c_str());
  bool refused = false;
  if (ReplaceThroughTemporary(target, temp, data, size, exists ? &existing : nullptr, &refused)) return 0;
  // Only a folder that refuses new files gets the old file rewritten: losing
  // the data would be worse than a write that is not crash-safe. Any other
  // failure (a full disk) keeps the old contents whole.
  if (refused && exists && RewriteInPlace(target, data, size)) return 0;
  return -1;
}

}  // namespace qx
