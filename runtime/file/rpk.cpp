#include "runtime/file/rpk.h"

#include <string.h>

#include "runtime/core/alloc.h"
#include "runtime/file/plain_file.h"

namespace qx {

namespace {

uint8_t SwapHalves(uint8_t x) { return static_cast<uint8_t>((x << 4) | (x >> 4)); }
uint8_t RotateRight3(uint8_t x) { return static_cast<uint8_t>((x >> 3) | (x << 5)); }
uint8_t RotateLeft3(uint8_t x) { return static_cast<uint8_t>((x << 3) | (x >> 5)); }

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t U64(const uint8_t* p) { return static_cast<uint64_t>(U32(p)) | (static_cast<uint64_t>(U32(p + 4)) << 32); }

void ParseHeader(const uint8_t* p, RpkHeader* h) {
  h->magic = U16(p);
  h->version = U16(p + 2);
  h->tablesSize = U32(p + 4);
  h->dataOffset = U32(p + 8);
  h->tablesOffset = U32(p + 12);
  h->fileTableOffset = U32(p + 16);
  h->directoryTableOffset = U32(p + 20);
}

// True when [offset, offset + length) lies inside the tables block.
bool InTables(const RpkArchive* a, uint64_t offset, uint64_t length) {
  return offset <= a->header.tablesSize && length <= a->header.tablesSize - offset;
}

bool NameMatches(const RpkArchive* a, uint32_t nameOffset, const RpkSearchName& s) {
  if (!InTables(a, nameOffset, 4)) return false;
  const uint8_t* p = a->tables + nameOffset;
  if (U16(p) != s.units || U16(p + 2) != s.parity) return false;
  if (!InTables(a, static_cast<uint64_t>(nameOffset) + 4, static_cast<uint64_t>(s.units) * 4)) return false;
  const uint8_t* form = p + 4;
  for (uint32_t u = 0; u < s.units; ++u) {
    if (U32(form + u * 4) != U32(s.bytes + u * 4)) return false;
  }
  return true;
}

// Looks for an entry of the current directory by search form; directories
// or files only, as asked.
bool FindInDirectory(const RpkArchive* a, uint32_t dirOffset, const RpkSearchName& s, bool wantDirectory,
                     RpkFileHeader* out) {
  RpkDirectory dir;
  if (RpkGetDirectory(a, dirOffset, &dir) != 0) return false;
  RpkFileHeader e;
  for (uint32_t i = 0; i < dir.count; ++i) {
    if (RpkGetEntry(a, dir, i, &e) != 0) return false;
    bool isDirectory = (e.attributes & kRpkDirectoryAttribute) != 0;
    if (isDirectory != wantDirectory) continue;
    if (NameMatches(a, e.nameOffset, s)) {
      *out = e;
      return true;
    }
  }
  return false;
}

// Index just past the component starting at `p` (stops at "\\" or the end,
// keeping double-byte characters whole).
size_t ComponentEnd(const char* path, size_t p) {
  while (path[p] != 0 && path[p] != '\\') {
    if (IsShiftJisLead(static_cast<uint8_t>(path[p])) && path[p + 1] != 0) {
      p += 2;
    } else {
      ++p;
    }
  }
  return p;
}

bool HasSeparator(const char* path) { return path[ComponentEnd(path, 0)] == '\\'; }

// The directory walk; `stopped` receives the position of the component that
// was not found.
int ChangeDirectoryWalk(RpkArchive* a, const char* path, RpkSearchName* stoppedName, size_t* stopped) {
  if (strcmp(path, ".") == 0) return 0;
  if (strcmp(path, "\\") == 0) {
    a->currentDirectory = 0;
    return 0;
  }
  if (strcmp(path, "..") == 0) {
    RpkDirectory dir;
    if (RpkGetDirectory(a, a->currentDirectory, &dir) != 0 || dir.parent == kRpkNoParent) return -1;
    RpkDirectory parent;
    if (RpkGetDirectory(a, dir.parent, &parent) != 0) return -1;
    a->currentDirectory = dir.parent;
    return 0;
  }
  size_t p = 0;
  if (path[0] == '\\') {
    a->currentDirectory = 0;
    p = 1;
  }
  RpkSearchName local;
  RpkSearchName* s = stoppedName ? stoppedName : &local;
  for (;;) {
    size_t end = ComponentEnd(path, p);
    RpkFileHeader e;
    RpkDirectory target;
    bool found = MakeSearchName(path + p, end - p, s) >= 0 &&
                 FindInDirectory(a, a->currentDirectory, *s, true, &e) &&
                 RpkGetDirectory(a, e.dataAddress, &target) == 0;
    if (!found) {
      if (stopped) *stopped = p;
      return -1;
    }
    a->currentDirectory = e.dataAddress;
    if (path[end] == 0 || path[end + 1] == 0) return 0;
    p = end + 1;
  }
}

}  // namespace

void DeriveArchiveKey(const char* keyString, uint8_t key[kRpkKeySize]) {
  size_t n = keyString ? strlen(keyString) : 0;
  for (size_t i = 0; i < kRpkKeySize; ++i) {
    key[i] = n == 0 ? kRpkNoKeyFill : static_cast<uint8_t>(keyString[i % n]);
  }
  key[0] = static_cast<uint8_t>(~key[0]);
  key[1] = SwapHalves(key[1]);
  key[2] ^= kRpkX2;
  key[3] = static_cast<uint8_t>(~SwapHalves(key[3]));
  key[4] = static_cast<uint8_t>(~key[4]);
  key[5] ^= kRpkX5;
  key[6] = static_cast<uint8_t>(~key[6]);
  key[7] = static_cast<uint8_t>(~RotateRight3(key[7]));
  key[8] = RotateLeft3(key[8]);
  key[9] ^= kRpkX9;
  key[10] = static_cast<uint8_t>(SwapHalves(key[10]) ^ kRpkX10);
  key[11] ^= kRpkX11;
}

void SecondArchiveKey(uint8_t key[kRpkKeySize]) { memset(key, kRpkSecondKeyFill, kRpkKeySize); }

void ApplyArchiveXor(void* data, size_t n, uint64_t offset, const uint8_t key[kRpkKeySize]) {
  uint8_t* p = static_cast<uint8_t*>(data);
  size_t k = static_cast<size_t>(offset % kRpkKeySize);
  size_t j = 0;
  // 24 bytes (two turns of the key) at a time as three words, from the key's
  // position at the start.
  if (n >= 24) {
    uint8_t turn[24];
    for (size_t i = 0; i < 24; ++i) turn[i] = key[(k + i) % kRpkKeySize];
    uint64_t w0, w1, w2;
    memcpy(&w0, turn, 8);
    memcpy(&w1, turn + 8, 8);
    memcpy(&w2, turn + 16, 8);
    for (; j + 24 <= n; j += 24) {
      uint64_t v[3];
      memcpy(v, p + j, 24);
      v[0] ^= w0;
      v[1] ^= w1;
      v[2] ^= w2;
      memcpy(p + j, v, 24);
    }
  }
  for (; j < n; ++j) {
    p[j] ^= key[k];
    if (++k == kRpkKeySize) k = 0;
  }
}

int MakeSearchName(const char* name, size_t length, RpkSearchName* out) {
  size_t i = 0;
  size_t o = 0;
  uint32_t parity = 0;
  while (i < length && name[i] != 0 && name[i] != '\\') {
    uint8_t c = static_cast<uint8_t>(name[i]);
    if (IsShiftJisLead(c) && i + 1 < length && name[i + 1] != 0) {
      if (o + 2 > kRpkMaxComponent) return -1;
      uint8_t c2 = static_cast<uint8_t>(name[i + 1]);
      out->bytes[o++] = c;
      out->bytes[o++] = c2;
      parity += c + c2;
      i += 2;
      continue;
    }
    if (o + 1 > kRpkMaxComponent) return -1;
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
    out->bytes[o++] = c;
    parity += c;
    ++i;
  }
  size_t units = (o + 4) / 4;
  memset(out->bytes + o, 0, units * 4 - o);
  out->units = static_cast<uint16_t>(units);
  out->parity = static_cast<uint16_t>(parity);
  return static_cast<int>(i);
}

uint32_t RpkBlockDecodedSize(const uint8_t* block, size_t blockSize) {
  return blockSize < kRpkBlockHeaderSize ? 0 : U32(block);
}

int RpkDecodeBlock(const uint8_t* block, size_t blockSize, uint8_t* out, size_t outSize) {
  if (!block || blockSize < kRpkBlockHeaderSize) return -1;
  if (U32(block) != outSize) return -1;
  uint32_t end = U32(block + 4);
  if (end < kRpkBlockHeaderSize || end > blockSize) return -1;
  if (outSize != 0 && !out) return -1;
  const uint8_t escape = block[8];
  size_t pos = kRpkBlockHeaderSize;
  size_t o = 0;
  while (pos < end) {
    if (block[pos] != escape) {
      // A run of literals up to the next escape byte.
      const void* next = memchr(block + pos, escape, end - pos);
      const size_t run = (next ? static_cast<const uint8_t*>(next) - block : end) - pos;
      if (run > outSize - o) return -1;
      memcpy(out + o, block + pos, run);
      o += run;
      pos += run;
      continue;
    }
    ++pos;
    if (pos >= end) return -1;
    uint8_t c = block[pos++];
    if (c == escape) {
      if (o >= outSize) return -1;
      out[o++] = escape;
      continue;
    }
    uint32_t code = c > escape ? c - 1u : c;
    size_t length = code >> 3;
    if (code & 4) {
      if (pos >= end) return -1;
      length |= static_cast<size_t>(block[pos++]) << 5;
    }
    length += 4;
    uint32_t width = code & 3;
    if (width == 3) return -1;
    if (end - pos < width + 1) return -1;
    size_t distance = block[pos];
    if (width >= 1) distance |= static_cast<size_t>(block[pos + 1]) << 8;
    if (width == 2) distance |= static_cast<size_t>(block[pos + 2]) << 16;
    pos += width + 1;
    distance += 1;
    if (distance > o || length > outSize - o) return -1;
    // An overlapping copy repeats the last bytes, so it goes byte by byte.
    const uint8_t* from = out + o - distance;
    if (distance >= length) {
      memcpy(out + o, from, length);
    } else {
      for (size_t k = 0; k < length; ++k) out[o + k] = from[k];
    }
    o += length;
  }
  return o == outSize ? 0 : -1;
}

int RpkOpen(RpkArchive* a, const char* diskPath, const char* keyString) {
  memset(a, 0, sizeof(*a));
  a->file = PlainFileOpen(diskPath, 0, 1);
  if (!a->file) return -1;
  a->fileSize = static_cast<uint64_t>(PlainFileSize(a->file));
  uint8_t raw[kRpkHeaderSize];
  uint8_t plain[kRpkHeaderSize];
  bool ok = RpkReadAt(a, 0, raw, sizeof(raw)) == 0;
  if (ok) {
    DeriveArchiveKey(keyString, a->key);
    memcpy(plain, raw, sizeof(raw));
    ApplyArchiveXor(plain, sizeof(plain), 0, a->key);
    ParseHeader(plain, &a->header);
    if (a->header.magic != kRpkMagic) {
      SecondArchiveKey(a->key);
      memcpy(plain, raw, sizeof(raw));
      ApplyArchiveXor(plain, sizeof(plain), 0, a->key);
      ParseHeader(plain, &a->header);
    }
    const RpkHeader& h = a->header;
    ok = h.magic == kRpkMagic && h.version <= kRpkMaxVersion;
    // A damaged header must not make us allocate or read what is not there;
    // the root directory has to exist.
    ok = ok && static_cast<uint64_t>(h.tablesOffset) + h.tablesSize <= a->fileSize &&
         h.directoryTableOffset <= h.tablesSize && h.tablesSize - h.directoryTableOffset >= kRpkDirectorySize &&
         h.fileTableOffset <= h.tablesSize;
  }
  if (ok) {
    a->entrySize = static_cast<uint32_t>(RpkFileHeaderSize(a->header.version));
    a->tables = static_cast<uint8_t*>(MemAlloc(a->header.tablesSize));
    ok = a->tables && RpkReadAt(a, a->header.tablesOffset, a->tables, a->header.tablesSize) == 0;
  }
  if (!ok) {
    RpkClose(a);
    return -1;
  }
  a->currentDirectory = 0;
  return 0;
}

void RpkClose(RpkArchive* a) {
  if (a->tables) MemFree(a->tables);
  a->tables = nullptr;
  if (a->file) PlainFileClose(a->file);
  a->file = nullptr;
}

int RpkReadAt(RpkArchive* a, uint64_t offset, void* buffer, size_t n) {
  if (n == 0) return 0;
  if (offset > a->fileSize || n > a->fileSize - offset) return -1;
  if (PlainFileTell(a->file) != static_cast<int64_t>(offset) &&
      PlainFileSeek(a->file, static_cast<int64_t>(offset), 0) != 0) {
    return -1;
  }
  if (PlainFileRead(buffer, 1, n, a->file) != n) return -1;
  if (PlainFileWait(a->file) != static_cast<int64_t>(n)) return -1;
  ApplyArchiveXor(buffer, n, offset, a->key);
  return 0;
}

int RpkGetDirectory(const RpkArchive* a, uint32_t offset, RpkDirectory* out) {
  uint64_t at = static_cast<uint64_t>(a->header.directoryTableOffset) + offset;
  if (!InTables(a, at, kRpkDirectorySize)) return -1;
  const uint8_t* p = a->tables + at;
  out->ownHeader = U32(p);
  out->parent = U32(p + 4);
  out->count = U32(p + 8);
  out->firstHeader = U32(p + 12);
  return 0;
}

int RpkGetEntry(const RpkArchive* a, const RpkDirectory& dir, uint32_t index, RpkFileHeader* out) {
  if (index >= dir.count) return -1;
  uint64_t at = static_cast<uint64_t>(a->header.fileTableOffset) + dir.firstHeader +
                static_cast<uint64_t>(index) * a->entrySize;
  if (!InTables(a, at, a->entrySize)) return -1;
  const uint8_t* p = a->tables + at;
  out->nameOffset = U32(p);
  out->attributes = U32(p + 4);
  out->creationTime = U64(p + 8);
  out->lastAccessTime = U64(p + 16);
  out->lastWriteTime = U64(p + 24);
  out->dataAddress = U32(p + 32);
  out->dataSize = U32(p + 36);
  out->compressedSize = a->header.version >= 2 ? U32(p + 40) : kRpkStored;
  return 0;
}

const char* RpkEntryName(const RpkArchive* a, const RpkFileHeader& e) {
  if (!InTables(a, e.nameOffset, 4)) return nullptr;
  uint64_t at = static_cast<uint64_t>(e.nameOffset) + 4 + static_cast<uint64_t>(U16(a->tables + e.nameOffset)) * 4;
  if (at >= a->header.tablesSize) return nullptr;
  const void* zero = memchr(a->tables + at, 0, a->header.tablesSize - at);
  return zero ? reinterpret_cast<const char*>(a->tables + at) : nullptr;
}

int RpkChangeDirectory(RpkArchive* a, const char* path, RpkSearchName* stoppedAt) {
  return ChangeDirectoryWalk(a, path, stoppedAt, nullptr);
}

int RpkFindFile(RpkArchive* a, const char* path, RpkFileHeader* out) {
  const uint32_t saved = a->currentDirectory;
  RpkSearchName name;
  bool ok;
  if (!HasSeparator(path)) {
    ok = MakeSearchName(path, strlen(path), &name) >= 0;
  } else {
    size_t stopped = 0;
    ok = ChangeDirectoryWalk(a, path, &name, &stopped) != 0;
    // Only the last component may be the missing one: "A\\NO\\B" must not
    // find a file named "NO" in A.
    ok = ok && path[ComponentEnd(path, stopped)] == 0 && MakeSearchName(path + stopped, strlen(path + stopped), &name) >= 0;
  }
  ok = ok && FindInDirectory(a, a->currentDirectory, name, false, out);
  a->currentDirectory = saved;
  return ok ? 0 : -1;
}

bool RpkIsCompressed(const RpkArchive* a, const RpkFileHeader& e) {
  return a->header.version >= 2 && e.compressedSize != kRpkStored;
}

bool RpkEntryDataValid(const RpkArchive* a, const RpkFileHeader& e) {
  uint64_t start = static_cast<uint64_t>(a->header.dataOffset) + e.dataAddress;
  if (!RpkIsCompressed(a, e)) return start + e.dataSize <= a->fileSize;
  if (e.compressedSize < kRpkBlockHeaderSize || start + e.compressedSize > a->fileSize) return false;
  // No token yields more than 2049 bytes per byte it takes.
  return e.dataSize <= (static_cast<uint64_t>(e.compressedSize) - kRpkBlockHeaderSize) * 2049;
}

int RpkLoadCompressed(RpkArchive* a, const RpkFileHeader& e, uint8_t* out) {
  if (!RpkEntryDataValid(a, e)) return -1;
  uint8_t* block = static_cast<uint8_t*>(MemAllocBrief(e.compressedSize));
  if (!block) return -1;
  int r = RpkReadAt(a, static_cast<uint64_t>(a->header.dataOffset) + e.dataAddress, block, e.compressedSize);
  if (r == 0) r = RpkDecodeBlock(block, e.compressedSize, out, e.dataSize);
  MemFree(block);
  return r;
}

}  // namespace qx
