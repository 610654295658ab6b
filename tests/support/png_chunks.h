// Writing PNG chunks by hand, so tests and fuzz seeds can make any layout on purpose.
#ifndef QUARNEX_TESTS_SUPPORT_PNG_CHUNKS_H
#define QUARNEX_TESTS_SUPPORT_PNG_CHUNKS_H

#include <stdint.h>
#include <zlib.h>

#include <vector>

namespace qxtest {

// Big-endian, as every PNG number is.
inline void PutBigEndian32(std::vector<uint8_t>* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
}

// Length, type, data and the checksum over type and data.
inline void PutPngChunk(std::vector<uint8_t>* png, const char* type, const std::vector<uint8_t>& data) {
  PutBigEndian32(png, static_cast<uint32_t>(data.size()));
  const size_t start = png->size();
  png->insert(png->end(), type, type + 4);
  png->insert(png->end(), data.begin(), data.end());
  PutBigEndian32(png, static_cast<uint32_t>(crc32(0, png->data() + start, static_cast<uInt>(png->size() - start))));
}

}  // namespace qxtest

#endif
