#include "runtime/platform/platform.h"

#include "runtime/platform/headless/headless.h"

#include <stdlib.h>
#include <string.h>

namespace qx {
namespace {
const Platform* g_platform = nullptr;
}

const Platform& GetPlatform() {
  if (!g_platform) {
    const char* name = getenv("QUARNEX_PLATFORM");
    g_platform = (name && strcmp(name, "headless") == 0) ? &kHeadlessPlatform : &kSdlPlatform;
    // The virtual clock and the script start with the process.
    if (g_platform == &kHeadlessPlatform) HeadlessReset();
  }
  return *g_platform;
}

const Platform* SelectPlatform(const Platform* platform) {
  const Platform* previous = g_platform;
  g_platform = platform;
  return previous;
}

}  // namespace qx
