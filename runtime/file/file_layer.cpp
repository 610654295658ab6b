// The archive-aware file table: loose files and files inside archives behind
// one set of handles.
#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/core/api_internal.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"
#include "runtime/file/file.h"
#include "runtime/file/path.h"
#include "runtime/file/plain_file.h"
#include "runtime/file/rpk.h"
#include "runtime/platform/platform.h"

namespace qx {

namespace {

constexpr int kMaxOpenFiles = 512;
constexpr int kMaxOpenArchives = 512;
constexpr uint32_t kHandleTag = 0xF0000000u;
constexpr size_t kExtensionMax = 64;

struct OpenArchive {
  int referenceCount;
  RpkArchive rpk;
  char path[kFilePathMax];  // full path, upper-cased
};

struct ArchiveFile {
  OpenArchive* archive;
  RpkFileHeader header;
  int eof;
  uint32_t position;
  uint8_t* decoded;  // compressed files: the whole file
};

struct OpenFileRecord {
  int inArchive;
  PlainFile* plain;
  int archiveIndex;
  ArchiveFile file;
};

struct LastArchive {
  int valid;
  char path[kFilePathMax];      // upper-cased, as in the open-archive table
  char diskPath[kFilePathMax];  // with the letter case as written
  size_t prefixLength;
  int index;
};

OpenFileRecord* g_files[kMaxOpenFiles];
int g_fileCount;
OpenArchive* g_archives[kMaxOpenArchives];
int g_archiveCount;
LastArchive g_last;

char g_extension[kExtensionMax];  // empty: "RPK"
char g_keyString[kRpkMaxKeyString + 1];
int g_hasKeyString;

const char* ArchiveExtension() { return g_extension[0] ? g_extension : "RPK"; }

OpenFileRecord* RecordOf(FileHandle handle) {
  if ((handle & 0xF0000000u) != kHandleTag) return nullptr;
  uint32_t slot = handle & 0x0FFFFFFFu;
  return slot < kMaxOpenFiles ? g_files[slot] : nullptr;
}

void ReleaseArchiveReference(int index) {
  OpenArchive* a = g_archives[index];
  if (a && a->referenceCount > 0) --a->referenceCount;
}

void CloseArchiveAt(int index) {
  OpenArchive* a = g_archives[index];
  if (!a) return;
  RpkClose(&a->rpk);
  MemFree(a);
  g_archives[index] = nullptr;
  --g_archiveCount;
}

// Opens (or reuses) the archive whose full path is `path`; -1 when it does
// not exist or is not an archive.
int OpenArchiveByPath(const char* path, const char* asWritten) {
  for (int i = 0; i < kMaxOpenArchives; ++i) {
    if (g_archives[i] && strcmp(g_archives[i]->path, path) == 0) {
      ++g_archives[i]->referenceCount;
      return i;
    }
  }
  char disk[kFilePathMax];
  if (ResolveDiskPath(asWritten, disk, sizeof(disk)) != 0) return -1;
  if (g_archiveCount >= kMaxOpenArchives) {
    CloseUnusedArchives();
    if (g_archiveCount >= kMaxOpenArchives) return -1;
  }
  int index = 0;
  while (g_archives[index]) ++index;
  OpenArchive* a = static_cast<OpenArchive*>(MemAllocZero(sizeof(OpenArchive)));
  if (!a) return -1;
  if (RpkOpen(&a->rpk, disk, g_hasKeyString ? g_keyString : nullptr) != 0) {
    MemFree(a);
    return -1;
  }
  a->referenceCount = 1;
  strcpy(a->path, path);
  g_archives[index] = a;
  ++g_archiveCount;
  return index;
}

// An archive already open for the directory `upper` names with its first
// `prefixLength` characters, whatever extension it was found under; -1 when none.
// Settings changed since it was opened leave it serving its files.
int ReuseOpenArchive(const char* upper, size_t prefixLength) {
  for (int i = 0; i < kMaxOpenArchives; ++i) {
    const OpenArchive* a = g_archives[i];
    if (!a || strncmp(a->path, upper, prefixLength) != 0 || a->path[prefixLength] != '.') continue;
    if (strchr(a->path + prefixLength, '\\')) continue;
    ++g_archives[i]->referenceCount;
    return i;
  }
  return -1;
}

// Builds "<prefix>.<extension>" in both forms; false when it does not fit.
bool CandidateName(const char* asWritten, const char* upper, size_t prefixLength, char* outWritten, char* outUpper) {
  const char* ext = ArchiveExtension();
  if (prefixLength + 1 + strlen(ext) + 1 > kFilePathMax) return false;
  memcpy(outWritten, asWritten, prefixLength);
  outWritten[prefixLength] = '.';
  strcpy(outWritten + prefixLength + 1, ext);
  memcpy(outUpper, upper, prefixLength);
  outUpper[prefixLength] = '.';
  strcpy(outUpper + prefixLength + 1, ext);
  UpperCasePath(outUpper + prefixLength + 1);
  return true;
}

// The archive standing in for one of the path's directories: its index and
// where the path inside it starts, or -1.
int FindArchive(const char* asWritten, const char* upper, size_t* inside) {
  if (g_last.valid) {
    const size_t l = g_last.prefixLength;
    // The memory holds the archive path; its prefix is the directory part.
    if (strlen(upper) > l && asWritten[l] == '/' && strncmp(upper, g_last.path, l) == 0 && g_last.path[l] == '.') {
      int index;
      if (g_archives[g_last.index] && strcmp(g_archives[g_last.index]->path, g_last.path) == 0) {
        index = g_last.index;
        ++g_archives[index]->referenceCount;
      } else {
        index = OpenArchiveByPath(g_last.path, g_last.diskPath);
      }
      if (index >= 0) {
        g_last.index = index;
        *inside = l + 1;
        return index;
      }
      // Gone from disk: another archive of the path may stand in now.
      g_last.valid = 0;
    }
  }
  // Every directory of the path, from the root down, may be an archive.
  for (const char* slash = strchr(asWritten + 1, '/'); slash; slash = strchr(slash + 1, '/')) {
    const size_t end = static_cast<size_t>(slash - asWritten);
    char candidate[kFilePathMax];
    char candidateWritten[kFilePathMax];
    if (!CandidateName(asWritten, upper, end, candidateWritten, candidate)) return -1;
    int index = ReuseOpenArchive(upper, end);
    if (index >= 0) {
      strcpy(candidate, g_archives[index]->path);
      memcpy(candidateWritten, asWritten, end);
      strcpy(candidateWritten + end, g_archives[index]->path + end);
    } else {
      index = OpenArchiveByPath(candidate, candidateWritten);
    }
    if (index >= 0) {
      g_last.valid = 1;
      strcpy(g_last.path, candidate);
      strcpy(g_last.diskPath, candidateWritten);
      g_last.prefixLength = end;
      g_last.index = index;
      *inside = end + 1;
      return index;
    }
  }
  return -1;
}

void FreeRecord(int slot) {
  MemFree(g_files[slot]);
  g_files[slot] = nullptr;
}

}  // namespace

FileHandle FileOpen(const char* path, int cacheFlag, int ignored, int asyncFlag) {
  (void)ignored;
  if (g_fileCount >= kMaxOpenFiles) {
    LogWrite("同時に開けるファイルの数が限界を超えました\n");
    return 0;
  }
  int slot = 0;
  while (g_files[slot]) ++slot;
  OpenFileRecord* r = static_cast<OpenFileRecord*>(MemAllocZero(sizeof(OpenFileRecord)));
  if (!r) {
    LogWrite("ファイルの情報を格納するメモリの確保に失敗しました\n");
    return 0;
  }
  g_files[slot] = r;

  char asWritten[kFilePathMax];
  char upper[kFilePathMax];
  if (MakeFullPath(path, asWritten, upper, sizeof(upper)) != 0) {
    FreeRecord(slot);
    return 0;
  }
  size_t inside = 0;
  int index = HasEmptyComponent(path) ? -1 : FindArchive(asWritten, upper, &inside);
  if (index < 0) {
    char disk[kFilePathMax];
    if (ResolveDiskPath(asWritten, disk, sizeof(disk)) != 0 ||
        !(r->plain = PlainFileOpen(disk, cacheFlag, asyncFlag))) {
      FreeRecord(slot);
      return 0;
    }
  } else {
    // Inside an archive: never looked for on disk, even when missing here.
    r->inArchive = 1;
    r->archiveIndex = index;
    ArchiveFile& f = r->file;
    f.archive = g_archives[index];
    RpkArchive* rpk = &f.archive->rpk;
    bool ok = RpkFindFile(rpk, upper + inside, &f.header) == 0 && RpkEntryDataValid(rpk, f.header);
    if (ok && RpkIsCompressed(rpk, f.header)) {
      f.decoded = static_cast<uint8_t*>(MemAllocBrief(f.header.dataSize ? f.header.dataSize : 1));
      ok = f.decoded && RpkLoadCompressed(rpk, f.header, f.decoded) == 0;
    }
    if (!ok) {
      if (f.decoded) MemFree(f.decoded);
      ReleaseArchiveReference(index);
      FreeRecord(slot);
      return 0;
    }
  }
  ++g_fileCount;
  return static_cast<FileHandle>(slot) | kHandleTag;
}

int FileClose(FileHandle handle) {
  OpenFileRecord* r = RecordOf(handle);
  if (!r) return -1;
  if (r->inArchive) {
    ReleaseArchiveReference(r->archiveIndex);
    if (r->file.decoded) MemFree(r->file.decoded);
  } else {
    PlainFileClose(r->plain);
  }
  FreeRecord(static_cast<int>(handle & 0x0FFFFFFFu));
  --g_fileCount;
  return 0;
}

bool FileContentsInMemory(FileHandle handle, const uint8_t** data, size_t* size) {
  OpenFileRecord* r = RecordOf(handle);
  if (!r || !r->inArchive || !r->file.decoded) return false;
  *data = r->file.decoded;
  *size = r->file.header.dataSize;
  return true;
}

int64_t FileTell(FileHandle handle) {
  OpenFileRecord* r = RecordOf(handle);
  if (!r) return -1;
  return r->inArchive ? static_cast<int64_t>(r->file.position) : PlainFileTell(r->plain);
}

int FileSeek(FileHandle handle, int64_t offset, int origin) {
  OpenFileRecord* r = RecordOf(handle);
  if (!r) return -1;
  if (!r->inArchive) return PlainFileSeek(r->plain, offset, origin);
  ArchiveFile& f = r->file;
  int64_t target;
  switch (origin) {
    case 0: target = offset; break;
    case 1: target = static_cast<int64_t>(f.position) + offset; break;
    case 2: target = static_cast<int64_t>(f.header.dataSize) + offset; break;
    default: return -1;
  }
  if (target < 0) target = 0;
  if (target > static_cast<int64_t>(f.header.dataSize)) target = f.header.dataSize;
  f.position = static_cast<uint32_t>(target);
  f.eof = 0;
  return 0;
}

size_t FileRead(void* buffer, size_t size, size_t count, FileHandle handle) {
  OpenFileRecord* r = RecordOf(handle);
  // The count is unsigned: an error value would read as a huge amount.
  if (!r) return 0;
  if (!r->inArchive) return PlainFileRead(buffer, size, count, r->plain);
  ArchiveFile& f = r->file;
  if (f.eof) return 0;
  if (f.position >= f.header.dataSize) {
    f.eof = 1;
    return 0;
  }
  const size_t left = f.header.dataSize - f.position;
  size_t n = left;
  if (size == 0 || count <= left / size) n = size * count;
  if (n > left) n = left;
  if (f.decoded) {
    memcpy(buffer, f.decoded + f.position, n);
  } else {
    RpkArchive* rpk = &f.archive->rpk;
    uint64_t at = static_cast<uint64_t>(rpk->header.dataOffset) + f.header.dataAddress + f.position;
    if (RpkReadAt(rpk, at, buffer, n) != 0) return 0;
  }
  f.position += static_cast<uint32_t>(n);
  f.eof = 0;
  return n;
}

int FileEof(FileHandle handle) {
  OpenFileRecord* r = RecordOf(handle);
  if (!r) return -1;
  if (!r->inArchive) return PlainFileEof(r->plain);
  return r->file.eof ? -1 : 0;
}

int FileIdleCheck(FileHandle handle) {
  OpenFileRecord* r = RecordOf(handle);
  if (!r) return -1;
  // Reads inside archives are always completed before they return.
  return r->inArchive ? 1 : PlainFileIdleCheck(r->plain);
}

int FileSetDirectory(const char* path) {
  Os().SetCurrentDirectory(path);
  return 0;
}

int FileGetDirectory(char* buffer) {
  if (Os().GetCurrentDirectory(buffer, 256) != 0) buffer[0] = 0;
  return 0;
}

const FileAccessTable& Files() {
  static const FileAccessTable table = {FileOpen, FileClose, FileTell, FileSeek, FileRead,
                                        FileEof, FileIdleCheck, FileSetDirectory, FileGetDirectory};
  return table;
}

void InitFileLayer() {
  CloseUnusedArchives();
  g_last.valid = 0;
}

void CloseUnusedArchives() {
  for (int i = 0; i < kMaxOpenArchives; ++i) {
    if (g_archives[i] && g_archives[i]->referenceCount <= 0) CloseArchiveAt(i);
  }
}

int SetArchiveExtension(const char* extension) {
  size_t n = extension ? strlen(extension) : 0;
  if (n == 0 || n >= kExtensionMax) {
    g_extension[0] = 0;
  } else {
    memcpy(g_extension, extension, n + 1);
  }
  // Archives opened before keep serving their files, the remembered one included.
  return 0;
}

int SetArchiveKeyString(const char* key) {
  size_t n = key ? strlen(key) : 0;
  if (n > kRpkMaxKeyString) n = kRpkMaxKeyString;
  g_hasKeyString = n > 0;
  memcpy(g_keyString, key ? key : "", n);
  g_keyString[n] = 0;
  return 0;
}

int OpenFileCount() { return g_fileCount; }
int OpenArchiveCount() { return g_archiveCount; }

int ArchiveReferenceCount(const char* archivePath) {
  char asWritten[kFilePathMax];
  char upper[kFilePathMax];
  if (MakeFullPath(archivePath, asWritten, upper, sizeof(upper)) != 0) return -1;
  for (int i = 0; i < kMaxOpenArchives; ++i) {
    if (g_archives[i] && strcmp(g_archives[i]->path, upper) == 0) return g_archives[i]->referenceCount;
  }
  return -1;
}

}  // namespace qx
