// Where the file of a font family is: the system's font configuration on the
// desktop, the font file shipped with the page in a browser.
#ifndef QUARNEX_RUNTIME_PLATFORM_FONT_FILES_H
#define QUARNEX_RUNTIME_PLATFORM_FONT_FILES_H

#include <stddef.h>

namespace qx {

bool FontFilesStart();  // false when no font can be looked up
void FontFilesStop();
// The file (and face index in it) that serves a family named in UTF-8.
bool FindFontFile(const char* familyUtf8, char* path, size_t pathSize, int* index);

}  // namespace qx

#endif
