// What the SDL back end's tables share among themselves.
#ifndef QUARNEX_RUNTIME_PLATFORM_SDL_SDL_INTERNAL_H
#define QUARNEX_RUNTIME_PLATFORM_SDL_SDL_INTERNAL_H

#include <SDL.h>

namespace qx {

// The game window, or null when none exists.
SDL_Window* SdlMainWindow();

}  // namespace qx

#endif
