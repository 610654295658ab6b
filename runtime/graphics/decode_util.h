// Small helpers shared by the decoders.
#ifndef QUARNEX_RUNTIME_GRAPHICS_DECODE_UTIL_H
#define QUARNEX_RUNTIME_GRAPHICS_DECODE_UTIL_H

#include <stddef.h>
#include <stdint.h>

#include "runtime/file/file.h"

namespace qx {

struct GraphImage;

struct StreamIn {
  const StreamOps* ops;
  void* handle;

  // Reads exactly n bytes or fails; elements of one byte so a short read is
  // never reported as a whole element.
  bool Read(void* buffer, size_t n) const {
    if (n == 0) return true;
    return ops->Read(buffer, 1, n, handle) == n;
  }
  bool Seek(int64_t offset, int origin = 0) const { return ops->Seek(handle, offset, origin) == 0; }
  int64_t Tell() const { return ops->Tell(handle); }
  // Stream size, leaving the position at 0; -1 when unknown.
  int64_t Size() const {
    if (!Seek(0, 2)) return -1;
    int64_t size = Tell();
    if (!Seek(0, 0)) return -1;
    return size;
  }
};

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// The two PNG paths behind DecodePng, for comparing them: the fast one for
// plain pictures in memory (-1 for anything it leaves to libpng), and libpng.
int DecodePngInMemory(const uint8_t* data, size_t size, GraphImage* out);
int DecodePngWithLibpng(const StreamOps* ops, void* stream, GraphImage* out);

}  // namespace qx

#endif
