// Start, stop and service hooks that start-up, shutdown and the window
// procedure call in the other subsystems.
#ifndef QUARNEX_RUNTIME_CORE_SUBSYSTEMS_H
#define QUARNEX_RUNTIME_CORE_SUBSYSTEMS_H

namespace qx {

// Core (runtime/core).
void FatalShutdown(const char* text) __attribute__((noreturn));
void FatalShutdownFormat(const char* format, ...) __attribute__((noreturn, format(printf, 1, 2)));
void WaitWhileInactive();

// File layer (runtime/file).
void InitFileLayer();            // clear the open-archive table, install the file table
void InstallStreamTables();      // file and memory StreamOps
void CloseUnusedArchives();

// Input (runtime/input).
int SetUpInput();                // -1 fails start-up
void EndInput();
void ReacquireInputDevices();
void UpdatePadVibration();

// Sound (runtime/sound).
int InitSound();                 // failure tolerated
void EndSound();
void StopMusic();
void UpdateStreamSounds();

// Graphics (runtime/graphics).
void InstallDefaultImageLoader();
int InitGraphics();              // negative fails start-up
void EndGraphics();
void EnableVerticalSync(int enabled);
void GraphicsWarmUp();
void PresentForRepaint();        // WM_PAINT with the back screen as target
void RestoreGraphicsAfterActivation();
int RecreateScreenForWindowMode();
void RebuildScreenAfterDisplayChange();
void AdjustFrontTargetArea();
int GetScreenWidth();
int GetScreenHeight();
int GetRequestedColorBits();

// On-screen log (runtime/core/onscreen_log).
void InitOnScreenLog();
void EndOnScreenLog();

}  // namespace qx

#endif
