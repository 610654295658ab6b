// What the SDL back end's tables share among themselves.
#ifndef QUARNEX_RUNTIME_PLATFORM_SDL_SDL_INTERNAL_H
#define QUARNEX_RUNTIME_PLATFORM_SDL_SDL_INTERNAL_H

#include <SDL.h>

namespace qx {

// The game window, or null when none exists.
SDL_Window* SdlMainWindow();
// Ends the graphics processor's context; the window code calls it before it
// destroys the window the context draws into.
void SdlGlRelease();

}  // namespace qx

#endif
