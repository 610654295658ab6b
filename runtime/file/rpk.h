// RPK archives: layout, key, XOR layer, LZ coding, name matching and the
// reading side used by the file layer and the archive tool.
#ifndef QUARNEX_RUNTIME_FILE_RPK_H
#define QUARNEX_RUNTIME_FILE_RPK_H

#include <stddef.h>
#include <stdint.h>

namespace qx {

struct PlainFile;

// The format's fixed bytes. Archives are written and read with these, so
// changing any of them makes every existing archive unreadable.
constexpr uint8_t kRpkNoKeyFill = 0xA7;      // key bytes when no key string is set
constexpr uint8_t kRpkSecondKeyFill = 0x5C;  // the fallback key, used untransformed
constexpr uint8_t kRpkX2 = 0x3B;
constexpr uint8_t kRpkX5 = 0xC6;
constexpr uint8_t kRpkX9 = 0x91;
constexpr uint8_t kRpkX10 = 0x6E;
constexpr uint8_t kRpkX11 = 0xD4;

constexpr uint16_t kRpkMagic = 0x5052;
constexpr uint32_t kRpkMaxVersion = 3;
constexpr size_t kRpkHeaderSize = 24;
constexpr size_t kRpkKeySize = 12;
constexpr size_t kRpkMaxKeyString = 12;
constexpr uint32_t kRpkStored = 0xFFFFFFFFu;      // compressed size of a file kept as is
constexpr uint32_t kRpkNoParent = 0xFFFFFFFFu;
constexpr uint32_t kRpkDirectoryAttribute = 0x10;
constexpr size_t kRpkDirectorySize = 16;
constexpr size_t kRpkBlockHeaderSize = 9;
constexpr size_t kRpkMaxComponent = 1023;

inline size_t RpkFileHeaderSize(uint32_t version) { return version >= 2 ? 44 : 40; }

struct RpkHeader {
  uint16_t magic;
  uint16_t version;
  uint32_t tablesSize;
  uint32_t dataOffset;
  uint32_t tablesOffset;
  uint32_t fileTableOffset;
  uint32_t directoryTableOffset;
};

struct RpkFileHeader {
  uint32_t nameOffset;
  uint32_t attributes;
  uint64_t creationTime;
  uint64_t lastAccessTime;
  uint64_t lastWriteTime;
  uint32_t dataAddress;
  uint32_t dataSize;
  uint32_t compressedSize;  // kRpkStored for version 0 and 1
};

struct RpkDirectory {
  uint32_t ownHeader;
  uint32_t parent;
  uint32_t count;
  uint32_t firstHeader;
};

// The upper-cased, zero-padded form every name comparison uses.
struct RpkSearchName {
  uint16_t units;
  uint16_t parity;
  uint8_t bytes[kRpkMaxComponent + 5];
};

inline bool IsShiftJisLead(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Key derivation; keyString null (or empty) means no key string.
void DeriveArchiveKey(const char* keyString, uint8_t key[kRpkKeySize]);
void SecondArchiveKey(uint8_t key[kRpkKeySize]);
// XORs n bytes that sit at archive offset `offset`.
void ApplyArchiveXor(void* data, size_t n, uint64_t offset, const uint8_t key[kRpkKeySize]);

// Search form of the component at `name` (up to "\\" or the end, at most
// `length` bytes). Returns the bytes consumed, or -1 when the component is
// longer than kRpkMaxComponent.
int MakeSearchName(const char* name, size_t length, RpkSearchName* out);

// Decoded size of a compressed block (0 when the block is too short).
uint32_t RpkBlockDecodedSize(const uint8_t* block, size_t blockSize);
// Decodes a whole compressed block into `out` (outSize bytes). Returns 0 when
// it produced exactly the block's decoded size, -1 on any malformed input;
// it never reads or writes outside the two buffers.
int RpkDecodeBlock(const uint8_t* block, size_t blockSize, uint8_t* out, size_t outSize);

// An open archive: the archive file, its tables and the current directory.
struct RpkArchive {
  PlainFile* file;
  uint64_t fileSize;
  RpkHeader header;
  uint8_t key[kRpkKeySize];
  uint8_t* tables;
  uint32_t entrySize;
  uint32_t currentDirectory;  // offset in the directory table
};

// Opens the archive file at `nativePath` (a "\\"-separated path whose
// components are resolved on disk) with the key string. 0 or -1.
int RpkOpen(RpkArchive* archive, const char* nativePath, const char* keyString);
void RpkClose(RpkArchive* archive);

// Reads n bytes at archive offset `offset` with the XOR layer removed.
// Returns 0 when all n bytes were read, -1 otherwise.
int RpkReadAt(RpkArchive* archive, uint64_t offset, void* buffer, size_t n);

// Changes the current directory ("." , "\\", "..", a name or a path).
// On failure `stoppedAt` (when given) receives the component that was not found.
int RpkChangeDirectory(RpkArchive* archive, const char* path, RpkSearchName* stoppedAt);
// Finds a file (not a directory) by its path inside the archive; the current
// directory is unchanged afterwards. 0 and the header, or -1.
int RpkFindFile(RpkArchive* archive, const char* path, RpkFileHeader* out);

// Bounds-checked access to the tables, for listings.
int RpkGetDirectory(const RpkArchive* archive, uint32_t offset, RpkDirectory* out);
int RpkGetEntry(const RpkArchive* archive, const RpkDirectory& dir, uint32_t index, RpkFileHeader* out);
// The name with its case as written, or null when the offset is damaged.
const char* RpkEntryName(const RpkArchive* archive, const RpkFileHeader& entry);

bool RpkIsCompressed(const RpkArchive* archive, const RpkFileHeader& entry);
// Checks that an entry's data lies inside the archive file and its sizes are
// plausible, before anything is allocated for it.
bool RpkEntryDataValid(const RpkArchive* archive, const RpkFileHeader& entry);
// Reads and decodes a compressed entry into `out` (entry.dataSize bytes).
int RpkLoadCompressed(RpkArchive* archive, const RpkFileHeader& entry, uint8_t* out);

}  // namespace qx

#endif
