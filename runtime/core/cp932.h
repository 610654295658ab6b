// Code page 932 (Shift-JIS) text to Unicode, by the runtime's own table so that
// every platform converts alike, whatever its C library knows.
#ifndef QUARNEX_RUNTIME_CORE_CP932_H
#define QUARNEX_RUNTIME_CORE_CP932_H

#include <stddef.h>
#include <stdint.h>

namespace qx {

// The table, generated at build time: single bytes 0x80..0xFF, the row of each
// lead byte (0 = not a lead byte), and per row the trail bytes 0x40..0xFF. 0 = none.
extern const uint16_t kCp932Single[128];
extern const uint8_t kCp932LeadRow[128];
extern const uint16_t kCp932Double[][192];

// The character at text[0..size): its Unicode value and byte count, or 0 with
// a byte count of 1 when the bytes are not a character of the code page.
uint32_t Cp932Decode(const unsigned char* text, size_t size, int* bytes);

// Converts a whole string to UTF-8 in out (always terminated). A byte that
// starts no character becomes `replacement`, or ends the text when that is 0.
// Stops before a character that would not fit. Returns the bytes written.
size_t Cp932ToUtf8(const char* text, char* out, size_t outSize, char replacement);

}  // namespace qx

#endif
