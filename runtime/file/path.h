// Full paths and their mapping to the disk.
//
// A full path is absolute, "\\"-separated, with ASCII letters upper-cased and
// Shift-JIS pairs untouched; a lone leading "\\" is the root "/". Beside it we
// keep the same path as written, "/"-separated (same length, separators at the
// same places): "/" is never the second byte of a double-byte character, so
// its components stay unambiguous whatever the bytes of a name are.
#ifndef QUARNEX_RUNTIME_FILE_PATH_H
#define QUARNEX_RUNTIME_FILE_PATH_H

#include <stddef.h>

namespace qx {

constexpr size_t kFilePathMax = 1024;

// Upper-cases ASCII letters in place, leaving double-byte characters alone.
void UpperCasePath(char* text);

// Fills `asWritten` ("/"-separated) and `upper` (the full path), each `size`
// bytes. 0, or -1 when the current directory is unknown or the result does
// not fit.
int MakeFullPath(const char* path, char* asWritten, char* upper, size_t size);
// True when a separator follows another one after the path's start ("res//img/a.png"):
// such a path is never looked for in an archive.
bool HasEmptyComponent(const char* path);

// Maps an absolute "/" path to an existing path on disk, taking for each
// component the exact name when it exists, else the first entry of that
// directory that equals it ignoring ASCII letter case. 0 or -1.
int ResolveDiskPath(const char* asWritten, char* out, size_t size);

}  // namespace qx

#endif
