// The screen: mode, front and back screens, draw target and presentation.
#ifndef QUARNEX_RUNTIME_GRAPHICS_SCREEN_H
#define QUARNEX_RUNTIME_GRAPHICS_SCREEN_H

#include <stdint.h>

#include "runtime/graphics/memimg.h"

namespace qx {

// The process-wide screen mode; 0 fields read as 640 x 480 x 16.
struct ScreenMode {
  int width;
  int height;
  int colorBits;           // depth in force
  int refreshRate;         // 0 = the display's default
  int requestedColorBits;  // depth last asked for
};
const ScreenMode& GetScreenModeRecord();

// Screen size with the 640 x 480 defaults applied.
void GetScreenSize(int* width, int* height);
// -2 back screen, -4 front screen, otherwise a graph handle.
int GetDrawTarget();
// The pixels of the current draw target (a view for graph targets), or null
// when there is none. Valid until the target or the screen changes.
MEMIMG* GetDrawTargetImage();
MEMIMG* GetBackScreenImage();
MEMIMG* GetFrontScreenImage();
// Colour layout of the screen images in force.
const ColorFormat* GetScreenColorFormat();
int ScreenColorBits();
// 1 while the screen images exist (graphics started).
int ScreenExists();

// 0, or -1 when the screen does not exist.
int PresentBackScreen();
// Drawing onto the front screen shows at once: the software back end hands
// the front screen to the display after each drawing that touches it.
void PresentFrontScreenArea(const Rect* area);
void SyncToVerticalBlank();
int WaitVerticalBlanks(int count);
uint64_t GetPresentedFrameCount();

int ApplyScreenMode(int width, int height, int colorBits, bool force, int refreshRate);
void SwitchToSoftwareRenderer();
// Tests only: after the graphics end, the next start chooses the back end
// afresh, as a new process would.
void ForgetBackEndChoice();
void MeasureFramePeriod();
// Frame timing as last measured (-1 = undetermined).
int GetFramePeriodMs();
int GetRefreshRateHz();
int GetVSyncSleepThresholdMs();
int VerticalSyncEnabled();
// Background colour used by ClearDrawTarget.
void SetBackgroundColor(int r, int g, int b);

// True once the software back end is selected (always on this platform after start-up).
int UseSoftwareRenderer();
// Font system start and stop, called by the graph system.
void StartFontSystem();
void StopFontSystem();

}  // namespace qx

#endif
