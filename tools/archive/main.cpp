// quarnex-archive: packs a directory tree into a resource archive, lists one
// and extracts one, reading through the runtime's own archive reader.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "runtime/file/rpk.h"
#include "runtime/file/rpk_writer.h"

namespace {

constexpr int kMaxDepth = 128;

const char kUsage[] =
    "usage:\n"
    "  quarnex-archive pack DIR ARCHIVE [--key STRING] [--store]\n"
    "  quarnex-archive list ARCHIVE [--key STRING]\n"
    "  quarnex-archive extract ARCHIVE DIR [--key STRING]\n";

int Fail(const std::string& message) {
  fprintf(stderr, "quarnex-archive: %s\n", message.c_str());
  return 1;
}

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + strerror(errno);
}

// ---------------------------------------------------------------------------
// pack

struct DirectoryId {
  dev_t device;
  ino_t inode;
  bool operator<(const DirectoryId& o) const { return device != o.device ? device < o.device : inode < o.inode; }
};

void TimesOf(const struct stat& st, qx::RpkWriterEntry* e) {
  e->lastWriteTime = qx::UnixToFileTime(st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec));
  e->lastAccessTime = qx::UnixToFileTime(st.st_atim.tv_sec, static_cast<uint32_t>(st.st_atim.tv_nsec));
  // No portable birth time: the last change of contents stands in for it.
  e->creationTime = e->lastWriteTime;
  e->attributes = (st.st_mode & S_IWUSR) ? 0u : 0x01u;
  if (!S_ISDIR(st.st_mode)) e->attributes |= 0x20u;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = SystemError("cannot read", path);
    return false;
  }
  out->clear();
  uint8_t buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = SystemError("cannot read", path);
      close(fd);
      return false;
    }
    if (n == 0) break;
    out->insert(out->end(), buffer, buffer + n);
  }
  close(fd);
  return true;
}

bool ReadTree(const std::string& dir, std::set<DirectoryId>& ancestors, int depth,
              std::vector<qx::RpkWriterEntry>* out, std::string* error) {
  if (depth > kMaxDepth) {
    *error = "directory tree too deep at '" + dir + "'";
    return false;
  }
  DIR* d = opendir(dir.c_str());
  if (!d) {
    *error = SystemError("cannot read directory", dir);
    return false;
  }
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = dir + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      *error = SystemError("cannot read", path);
      return false;
    }
    qx::RpkWriterEntry entry;
    entry.name = name;
    TimesOf(st, &entry);
    if (S_ISDIR(st.st_mode)) {
      DirectoryId id{st.st_dev, st.st_ino};
      if (ancestors.count(id)) {
        *error = "directory loop at '" + path + "'";
        return false;
      }
      entry.isDirectory = true;
      ancestors.insert(id);
      bool ok = ReadTree(path, ancestors, depth + 1, &entry.children, error);
      ancestors.erase(id);
      if (!ok) return false;
    } else if (S_ISREG(st.st_mode)) {
      if (!ReadWholeFile(path, &entry.data, error)) return false;
    } else {
      fprintf(stderr, "quarnex-archive: skipping '%s': not a file or directory\n", path.c_str());
      continue;
    }
    out->push_back(std::move(entry));
  }
  return true;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data, std::string* error) {
  // Written beside the target and renamed, so a failed run leaves no half archive.
  std::string temporary = path + ".partial";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = SystemError("cannot write", path);
    return false;
  }
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = SystemError("cannot write", path);
      close(fd);
      unlink(temporary.c_str());
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0 || rename(temporary.c_str(), path.c_str()) != 0) {
    *error = SystemError("cannot write", path);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

int Pack(const std::string& dir, const std::string& archive, const char* key, bool store) {
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) return Fail(SystemError("cannot read directory", dir));
  if (!S_ISDIR(st.st_mode)) return Fail("not a directory: '" + dir + "'");
  std::set<DirectoryId> ancestors{{st.st_dev, st.st_ino}};
  std::vector<qx::RpkWriterEntry> root;
  std::string error;
  if (!ReadTree(dir, ancestors, 0, &root, &error)) return Fail(error);
  qx::RpkWriterOptions options;
  options.compress = !store;
  options.keyString = key;
  std::vector<uint8_t> bytes;
  if (!qx::BuildRpkArchive(root, options, &bytes, &error)) return Fail(error);
  if (!WriteWholeFile(archive, bytes, &error)) return Fail(error);
  return 0;
}

// ---------------------------------------------------------------------------
// list and extract

struct OpenedArchive {
  qx::RpkArchive rpk{};
  bool open = false;
  ~OpenedArchive() {
    if (open) qx::RpkClose(&rpk);
  }
};

int OpenForReading(const std::string& path, const char* key, OpenedArchive* a) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return Fail(SystemError("cannot open archive", path));
  if (!S_ISREG(st.st_mode)) return Fail("not a file: '" + path + "'");
  if (access(path.c_str(), R_OK) != 0) return Fail(SystemError("cannot open archive", path));
  if (qx::RpkOpen(&a->rpk, path.c_str(), key) != 0) {
    return Fail("'" + path + "' is not an archive, is damaged or truncated, or the key is wrong");
  }
  a->open = true;
  return 0;
}

// A name that can only ever land inside the target directory: one
// component, with no "\\" outside a double-byte character either.
bool SafeName(const char* name) {
  if (!name || name[0] == 0 || strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || strchr(name, '/')) return false;
  qx::RpkSearchName s;
  size_t n = strlen(name);
  return n <= qx::kRpkMaxComponent && qx::MakeSearchName(name, n, &s) == static_cast<int>(n);
}

struct Walker {
  qx::RpkArchive* rpk;
  std::set<uint32_t> visiting;
  std::string error;

  // Calls visit(entry, path, depth) for every entry, parents first.
  template <typename Visit>
  bool Walk(uint32_t dirOffset, const std::string& prefix, int depth, Visit& visit) {
    qx::RpkDirectory dir;
    if (depth > kMaxDepth || visiting.count(dirOffset) || qx::RpkGetDirectory(rpk, dirOffset, &dir) != 0) {
      error = "damaged archive: bad directory under '" + prefix + "'";
      return false;
    }
    visiting.insert(dirOffset);
    for (uint32_t i = 0; i < dir.count; ++i) {
      qx::RpkFileHeader e;
      if (qx::RpkGetEntry(rpk, dir, i, &e) != 0) {
        error = "damaged archive: bad entry under '" + prefix + "'";
        return false;
      }
      const char* name = qx::RpkEntryName(rpk, e);
      if (!SafeName(name)) {
        error = "damaged archive: unusable name under '" + prefix + "'";
        return false;
      }
      const std::string path = prefix + name;
      bool isDirectory = (e.attributes & qx::kRpkDirectoryAttribute) != 0;
      if (!visit(e, path, isDirectory)) return false;
      if (isDirectory && !Walk(e.dataAddress, path + "/", depth + 1, visit)) return false;
    }
    visiting.erase(dirOffset);
    return true;
  }
};

int List(const std::string& archive, const char* key) {
  OpenedArchive a;
  if (int r = OpenForReading(archive, key, &a)) return r;
  Walker w{&a.rpk, {}, {}};
  printf("%10s %10s  %s\n", "size", "stored", "name");
  auto visit = [&](const qx::RpkFileHeader& e, const std::string& path, bool isDirectory) {
    if (isDirectory) {
      printf("%10s %10s  %s/\n", "-", "-", path.c_str());
    } else {
      uint32_t stored = qx::RpkIsCompressed(&a.rpk, e) ? e.compressedSize : e.dataSize;
      printf("%10u %10u  %s\n", e.dataSize, stored, path.c_str());
    }
    return true;
  };
  if (!w.Walk(0, "", 0, visit)) return Fail(w.error);
  if (fflush(stdout) != 0) return Fail("cannot write the listing");
  return 0;
}

bool ReadEntry(qx::RpkArchive* rpk, const qx::RpkFileHeader& e, std::vector<uint8_t>* out) {
  if (!qx::RpkEntryDataValid(rpk, e)) return false;
  out->resize(e.dataSize);
  if (qx::RpkIsCompressed(rpk, e)) return qx::RpkLoadCompressed(rpk, e, out->data()) == 0;
  return qx::RpkReadAt(rpk, static_cast<uint64_t>(rpk->header.dataOffset) + e.dataAddress, out->data(), e.dataSize) == 0;
}

void ApplyTimes(int fd, const qx::RpkFileHeader& e) {
  timespec times[2];
  uint32_t ns = 0;
  times[0].tv_sec = qx::FileTimeToUnix(e.lastAccessTime, &ns);
  times[0].tv_nsec = ns;
  times[1].tv_sec = qx::FileTimeToUnix(e.lastWriteTime, &ns);
  times[1].tv_nsec = ns;
  futimens(fd, times);
}

bool MakeDirectories(const std::string& path) {
  std::string partial;
  size_t p = 0;
  while (p <= path.size()) {
    size_t slash = path.find('/', p);
    if (slash == std::string::npos) slash = path.size();
    partial = path.substr(0, slash);
    if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    p = slash + 1;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int Extract(const std::string& archive, const std::string& target, const char* key) {
  OpenedArchive a;
  if (int r = OpenForReading(archive, key, &a)) return r;
  if (!MakeDirectories(target)) return Fail(SystemError("cannot create directory", target));
  int rootFd = open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd < 0) return Fail(SystemError("cannot open directory", target));

  // Directory descriptors by archive path; everything is created relative to
  // them without following links, so nothing lands outside the target.
  std::vector<std::pair<std::string, int>> open{{"", rootFd}};
  auto parentFd = [&](const std::string& path) {
    size_t slash = path.rfind('/');
    std::string parent = slash == std::string::npos ? "" : path.substr(0, slash);
    for (auto& d : open) {
      if (d.first == parent) return d.second;
    }
    return -1;
  };
  std::string error;
  std::vector<uint8_t> data;
  auto visit = [&](const qx::RpkFileHeader& e, const std::string& path, bool isDirectory) {
    int dirFd = parentFd(path);
    const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    const std::string shown = target + "/" + path;
    if (dirFd < 0) {
      error = "cannot create '" + shown + "'";
      return false;
    }
    if (isDirectory) {
      if (mkdirat(dirFd, name.c_str(), 0755) != 0 && errno != EEXIST) {
        error = SystemError("cannot create directory", shown);
        return false;
      }
      int fd = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) {
        error = SystemError("cannot open directory", shown);
        return false;
      }
      open.push_back({path, fd});
      return true;
    }
    if (!ReadEntry(&a.rpk, e, &data)) {
      error = "damaged archive: cannot read '" + path + "'";
      return false;
    }
    int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      error = SystemError("cannot write", shown);
      return false;
    }
    size_t done = 0;
    while (done < data.size()) {
      ssize_t n = write(fd, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = SystemError("cannot write", shown);
        close(fd);
        return false;
      }
      done += static_cast<size_t>(n);
    }
    ApplyTimes(fd, e);
    if (e.attributes & 0x01) fchmod(fd, 0444);
    if (close(fd) != 0) {
      error = SystemError("cannot write", shown);
      return false;
    }
    return true;
  };
  Walker w{&a.rpk, {}, {}};
  bool ok = w.Walk(0, "", 0, visit);
  for (auto& d : open) close(d.second);
  if (!ok) return Fail(error.empty() ? w.error : error);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  const char* key = nullptr;
  bool store = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--key") {
      if (i + 1 >= argc) {
        fputs(kUsage, stderr);
        return 2;
      }
      key = argv[++i];
    } else if (a.rfind("--key=", 0) == 0) {
      key = argv[i] + 6;
    } else if (a == "--store") {
      store = true;
    } else if (a == "--help" || a == "-h") {
      fputs(kUsage, stdout);
      return 0;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      fprintf(stderr, "quarnex-archive: unknown option '%s'\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      args.push_back(a);
    }
  }
  if (key && strlen(key) > qx::kRpkMaxKeyString) {
    fprintf(stderr, "quarnex-archive: note: only the first %zu characters of the key are used\n",
            qx::kRpkMaxKeyString);
  }
  // The same cut the runtime makes.
  std::string keyText = key ? std::string(key).substr(0, qx::kRpkMaxKeyString) : "";
  const char* usedKey = keyText.empty() ? nullptr : keyText.c_str();

  if (args.size() == 3 && args[0] == "pack") return Pack(args[1], args[2], usedKey, store);
  if (store) {
    fprintf(stderr, "quarnex-archive: --store applies to pack only\n%s", kUsage);
    return 2;
  }
  if (args.size() == 2 && args[0] == "list") return List(args[1], usedKey);
  if (args.size() == 3 && args[0] == "extract") return Extract(args[1], args[2], usedKey);
  fputs(kUsage, stderr);
  return 2;
}
