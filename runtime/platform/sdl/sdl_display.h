// What the SDL display offers beyond its table, in plain types.
#ifndef QUARNEX_RUNTIME_PLATFORM_SDL_SDL_DISPLAY_H
#define QUARNEX_RUNTIME_PLATFORM_SDL_SDL_DISPLAY_H

#include <stdint.h>

namespace qx {

// Destroys the display's renderer and texture. The window code calls it
// before it destroys the window, whose renderer this is.
void SdlDisplayReleaseRenderer();
// Reads what the window shows as 0x00RRGGBB values (tests); 0 or -1.
int SdlDisplayReadBack(uint32_t* out, int width, int height);

}  // namespace qx

#endif
