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
    g_platform = (name && strcmp(name, "headless") == 0) ? &kHeadlessPlatform : kDefaultPlatform;
    // The virtual clock and the script start with the process.
    if (g_platform == &kHeadlessPlatform) HeadlessReset();
  }
  return *g_platform;
}

int RendererPreference() {
  const char* name = getenv("QUARNEX_RENDERER");
  if (!name) return 0;
  if (strcmp(name, "software") == 0) return 1;
  if (strcmp(name, "hardware") == 0) return 2;
  return 0;
}

const Platform* SelectPlatform(const Platform* platform) {
  const Platform* previous = g_platform;
  g_platform = platform;
  return previous;
}

}  // namespace qx
