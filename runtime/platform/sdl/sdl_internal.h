// What the SDL back end's tables share among themselves.
#ifndef QUARNEX_RUNTIME_PLATFORM_SDL_SDL_INTERNAL_H
#define QUARNEX_RUNTIME_PLATFORM_SDL_SDL_INTERNAL_H

#include <SDL.h>
#include <stdint.h>

#include "runtime/platform/platform.h"

namespace qx {

// The game window, or null when none exists.
SDL_Window* SdlMainWindow();
// Ends the graphics processor's context; the window code calls it before it
// destroys the window the context draws into.
void SdlGlRelease();
// The window's pump tells the input devices of a new pump and of every event,
// so that presses between two reads are not lost.
void SdlInputBeginPump();
void SdlInputNoteEvent(const SDL_Event& e);
// Whether the caller is the thread that made the window (or no window is made yet).
bool SdlOnWindowThread();

// Frames presented so far (every presentation, either drawing back end).
uint64_t SdlPresentedFrames();
// A script plays, the game is recorded or its frames hashed: repaints, which
// a headless run has no cause for, are left to the next frame.
bool SdlSessionReplayable();

// The tables the SDL platform is made of: the SDL ones wrapped for scripts,
// recording and frame hashes (sdl_session.cpp).
extern const PlatformOsOps kSdlSessionOsOps;
extern const PlatformWindowOps kSdlSessionWindowOps;
extern const PlatformInputOps kSdlSessionInputOps;
extern const PlatformDisplayOps kSdlSessionDisplayOps;
extern const PlatformGpuOps kSdlSessionGpuOps;

}  // namespace qx

#endif
