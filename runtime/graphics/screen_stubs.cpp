// Placeholders until the screen, presentation and fonts are written.
#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/graphics/screen.h"

namespace qx {

int InitGraphics() { return 0; }
void EndGraphics() {}
void EnableVerticalSync(int) {}
void GraphicsWarmUp() {}
void PresentForRepaint() {}
void RestoreGraphicsAfterActivation() {}
int RecreateScreenForWindowMode() { return 0; }
void RebuildScreenAfterDisplayChange() {}
void AdjustFrontTargetArea() {}
int GetScreenWidth() { return 640; }
int GetScreenHeight() { return 480; }
int GetRequestedColorBits() { return 16; }

const PixelFormatRecord* GetScreenPixelFormat() {
  static PixelFormatRecord record;
  return &record;
}
int FlipScreen() { return -1; }
int SetScreenMode(int, int, int, int) { return 0; }
int ClearDrawTarget() { return 0; }
int SetDrawTarget(int) { return 0; }

}  // namespace qx

namespace qx {

void GetScreenSize(int* width, int* height) {
  if (width) *width = 640;
  if (height) *height = 480;
}
int GetDrawTarget() { return -2; }
MEMIMG* GetDrawTargetImage() { return nullptr; }
MEMIMG* GetBackScreenImage() { return nullptr; }
const ColorFormat* GetScreenColorFormat() { return GetMemImageFormat(kPixel32, 0, 0); }
int ScreenColorBits() { return 32; }
void PresentBackScreen() {}
void SyncToVerticalBlank() {}
int WaitVerticalBlanks(int) { return 0; }
uint64_t GetPresentedFrameCount() { return 0; }
int UseSoftwareRenderer() { return 1; }
void StartFontSystem() {}
void StopFontSystem() {}

}  // namespace qx
