#include <fontconfig/fontconfig.h>
#include <string.h>

#include "runtime/platform/font_files.h"

namespace qx {
namespace {
bool g_ready = false;
}

bool FontFilesStart() {
  if (!g_ready) g_ready = FcInit() == FcTrue;
  return g_ready;
}

void FontFilesStop() {
  if (g_ready) FcFini();
  g_ready = false;
}

bool FindFontFile(const char* familyUtf8, char* path, size_t pathSize, int* index) {
  if (!g_ready) return false;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(familyUtf8));
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  FcChar8* file = nullptr;
  bool found = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
  if (found) {
    strncpy(path, reinterpret_cast<const char*>(file), pathSize - 1);
    path[pathSize - 1] = '\0';
    if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
  }
  FcPatternDestroy(match);
  return found;
}

}  // namespace qx
