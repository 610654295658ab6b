// Placeholders until graphs, drawing and the screen are written.
#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"

namespace qx {

void InstallDefaultImageLoader() {}
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
int GetColorValue(int, int, int) { return 0; }
int FlipScreen() { return -1; }
int SetScreenMode(int, int, int, int) { return 0; }
int DeleteAllGraphs(int) { return 0; }
GraphHandle LoadGraphFile(const char*, int) { return -1; }
GraphHandle LoadBlendMaskFile(const char*) { return -1; }
int LoadDividedGraphFile(const char*, int, int, int, int, int, GraphHandle*, int) { return -1; }
int ClearDrawTarget() { return 0; }
int DrawGraphAt(int, int, GraphHandle, int) { return -1; }
int DrawGraphRotated(int, int, double, double, GraphHandle, int, int) { return -1; }
int DrawGraphBlendMasked(int, int, GraphHandle, int, GraphHandle, int, int) { return -1; }
int DrawRectangle(int, int, int, int, int, int) { return -1; }
int SetBlendMode(int, int) { return 0; }
int SetDrawTarget(int) { return 0; }
int SetTransparentColor(int, int, int) { return 0; }
int DeleteAllMasks() { return 0; }

}  // namespace qx

int ClipRectangle(Rect*, Rect*) { return 0; }
