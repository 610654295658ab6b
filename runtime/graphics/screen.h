// The screen: mode, front and back screens, draw target and presentation.
#ifndef QUARNEX_RUNTIME_GRAPHICS_SCREEN_H
#define QUARNEX_RUNTIME_GRAPHICS_SCREEN_H

#include <stdint.h>

#include "runtime/graphics/memimg.h"

namespace qx {

// Screen size with the 640 x 480 defaults applied.
void GetScreenSize(int* width, int* height);
// -2 back screen, -4 front screen, otherwise a graph handle.
int GetDrawTarget();
// The pixels of the current draw target (a view for graph targets), or null
// when there is none. Valid until the target or the screen changes.
MEMIMG* GetDrawTargetImage();
MEMIMG* GetBackScreenImage();
// Colour layout of the screen in force.
const ColorFormat* GetScreenColorFormat();
int ScreenColorBits();
void PresentBackScreen();
void SyncToVerticalBlank();
int WaitVerticalBlanks(int count);
uint64_t GetPresentedFrameCount();
// True once the software back end is selected (always on this platform after start-up).
int UseSoftwareRenderer();
// Font system start and stop, called by the graph system.
void StartFontSystem();
void StopFontSystem();

}  // namespace qx

#endif
