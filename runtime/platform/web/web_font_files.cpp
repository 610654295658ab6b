// A page has no font configuration: one Japanese Gothic face is shipped with
// it and serves every family.
#include <stdio.h>
#include <sys/stat.h>

#include "runtime/platform/font_files.h"

namespace qx {

namespace {
constexpr const char* kFontFile = "/fonts/ipag.ttf";
}

bool FontFilesStart() {
  struct stat st;
  return stat(kFontFile, &st) == 0;
}

void FontFilesStop() {}

bool FindFontFile(const char*, char* path, size_t pathSize, int* index) {
  if (!FontFilesStart()) return false;
  *index = 0;
  return snprintf(path, pathSize, "%s", kFontFile) < static_cast<int>(pathSize);
}

}  // namespace qx
