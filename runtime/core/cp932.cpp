#include "runtime/core/cp932.h"

#include <string.h>

namespace qx {

uint32_t Cp932Decode(const unsigned char* text, size_t size, int* bytes) {
  *bytes = 1;
  if (size == 0) return 0;
  unsigned char b = text[0];
  if (b < 0x80) return b;
  int row = kCp932LeadRow[b - 0x80];
  if (row == 0) return kCp932Single[b - 0x80];
  if (size < 2 || text[1] < 0x40) return 0;
  uint32_t code = kCp932Double[row - 1][text[1] - 0x40];
  if (code != 0) *bytes = 2;
  return code;
}

size_t Cp932ToUtf8(const char* text, char* out, size_t outSize, char replacement) {
  if (outSize == 0) return 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  size_t left = strlen(text);
  size_t o = 0;
  while (left > 0) {
    int used;
    uint32_t c = Cp932Decode(s, left, &used);
    char enc[3];
    size_t n;
    if (c == 0 && s[0] != 0) {
      if (replacement == 0) break;
      enc[0] = replacement;
      n = 1;
    } else if (c < 0x80) {
      enc[0] = static_cast<char>(c);
      n = 1;
    } else if (c < 0x800) {
      enc[0] = static_cast<char>(0xC0 | c >> 6);
      enc[1] = static_cast<char>(0x80 | (c & 0x3F));
      n = 2;
    } else {
      enc[0] = static_cast<char>(0xE0 | c >> 12);
      enc[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
      enc[2] = static_cast<char>(0x80 | (c & 0x3F));
      n = 3;
    }
    if (o + n > outSize - 1) break;
    memcpy(out + o, enc, n);
    o += n;
    s += used;
    left -= static_cast<size_t>(used);
  }
  out[o] = '\0';
  return o;
}

}  // namespace qx
