// Replacing a small file of the game's own (settings, save data) so that a
// crash at any instant leaves either the old or the new contents.
#ifndef QUARNEX_RUNTIME_PLATFORM_REPLACE_FILE_H
#define QUARNEX_RUNTIME_PLATFORM_REPLACE_FILE_H

#include <stddef.h>

namespace qx {

// Writes data to "<path>.tmp" in the file's folder, syncs it, renames it over
// the file and syncs the folder. A symbolic link is followed, so its target
// is replaced and the link stays. When the folder takes no new file but the
// file itself is writable, the file is rewritten in place instead. The file's
// mode is kept; a temporary file left by an earlier crash is removed.
// Returns 0 when the new contents are in the file, -1 otherwise.
int ReplaceFileContents(const char* path, const void* data, size_t size);

}  // namespace qx

#endif
