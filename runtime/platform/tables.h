// The per-component tables of the back ends, each defined in its own file.
#ifndef QUARNEX_RUNTIME_PLATFORM_TABLES_H
#define QUARNEX_RUNTIME_PLATFORM_TABLES_H

#include "runtime/platform/platform.h"

namespace qx {

extern const PlatformWindowOps kSdlWindowOps;        // sdl/sdl_window.cpp
extern const PlatformDisplayOps kSdlDisplayOps;      // sdl/sdl_display.cpp
extern const PlatformInputOps kSdlInputOps;          // sdl/sdl_input.cpp
extern const PlatformGpuOps kSdlGpuOps;              // sdl/sdl_gl.cpp
extern const PlatformSoundOps kSdlSoundOps;          // sdl/sdl_sound.cpp

extern const PlatformOsOps kHeadlessOsOps;           // headless/headless_os.cpp
extern const PlatformWindowOps kHeadlessWindowOps;   // headless/headless_window.cpp
extern const PlatformDisplayOps kHeadlessDisplayOps; // headless/headless_display.cpp
extern const PlatformInputOps kHeadlessInputOps;     // headless/headless_input.cpp
extern const PlatformSoundOps kHeadlessSoundOps;     // headless/headless_sound.cpp

extern const PlatformOsOps kWebOsOps;                // web/web_os.cpp
extern const PlatformWindowOps kWebWindowOps;        // web/web_window.cpp
extern const PlatformDisplayOps kWebDisplayOps;      // web/web_display.cpp
extern const PlatformInputOps kWebInputOps;          // web/web_input.cpp
extern const PlatformSoundOps kWebSoundOps;          // web/web_sound.cpp

}  // namespace qx

#endif
