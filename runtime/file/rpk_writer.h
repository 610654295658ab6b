// Writing RPK archives: the LZ encoder and the archive builder, for the
// archive tool and for tests that need archives of every shape.
#ifndef QUARNEX_RUNTIME_FILE_RPK_WRITER_H
#define QUARNEX_RUNTIME_FILE_RPK_WRITER_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace qx {

struct RpkWriterEntry {
  std::string name;  // one component, letter case as it should be listed
  bool isDirectory = false;
  uint32_t attributes = 0x20;  // 0x10 is added for directories
  uint64_t creationTime = 0;   // Windows file times
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
  std::vector<uint8_t> data;
  std::vector<RpkWriterEntry> children;
};

struct RpkWriterOptions {
  uint16_t version = 3;
  bool compress = true;            // version 2 and 3 only
  const char* keyString = nullptr; // null: no key string
};

// A compressed block (9-byte head and tokens) holding `size` bytes.
std::vector<uint8_t> EncodeRpkBlock(const uint8_t* data, size_t size);

// Lays out, compresses and obscures an archive of the given root entries.
// False with a message when a name is unusable, two names in one directory
// are the same to a lookup, or the archive would not fit the format.
bool BuildRpkArchive(const std::vector<RpkWriterEntry>& root, const RpkWriterOptions& options,
                     std::vector<uint8_t>* out, std::string* error);

// Seconds since 1970 (and nanoseconds) as a Windows file time, and back.
uint64_t UnixToFileTime(int64_t seconds, uint32_t nanoseconds);
int64_t FileTimeToUnix(uint64_t fileTime, uint32_t* nanoseconds);

}  // namespace qx

#endif
