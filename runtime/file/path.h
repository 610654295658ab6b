// Full paths and their mapping to the disk.
//
// A full path is absolute, "\\"-separated, with ASCII letters upper-cased and
// Shift-JIS pairs untouched; a lone leading "\\" is the root "/". Beside it we
// keep the same path with its letter case as written (same length, same
// separators), which is what the disk is searched with first.
#ifndef QUARNEX_RUNTIME_FILE_PATH_H
#define QUARNEX_RUNTIME_FILE_PATH_H

#include <stddef.h>

namespace qx {

constexpr size_t kFilePathMax = 1024;

// Upper-cases ASCII letters in place, leaving double-byte characters alone.
void UpperCasePath(char* text);

// Fills `asWritten` and `upper` (each `size` bytes). 0, or -1 when the
// current directory is unknown or the result does not fit.
int MakeFullPath(const char* path, char* asWritten, char* upper, size_t size);

// Maps a "\\"-separated absolute path to an existing "/" path on disk, taking
// for each component the exact name when it exists, else the first entry of
// that directory that equals it ignoring ASCII letter case. 0 or -1.
int ResolveDiskPath(const char* fullPath, char* out, size_t size);

// Position just past the component that starts at `p`.
size_t PathComponentEnd(const char* path, size_t p);

}  // namespace qx

#endif
