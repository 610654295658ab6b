// Unlocked implementations of the public operations. The public entry points
// in api.cpp take the ApiLock and call these; runtime code calls these directly.
#ifndef QUARNEX_RUNTIME_CORE_API_INTERNAL_H
#define QUARNEX_RUNTIME_CORE_API_INTERNAL_H

#include "runtime/runtime.h"

namespace qx {

int InitRuntime();
int EndRuntime();
int ScreenPrintfText(const char* text);  // text already formatted
int ProcessMessage();
int ChangeWindowMode(int windowed);
int SetWindowCaption(const char* caption);
int SetLogFileEnabled(int enabled);
int SetRunWhileInactive(int flag);
int SetWindowIconResource(int iconId);

int SetArchiveExtension(const char* extension);
int SetArchiveKeyString(const char* key);

int SetCursorVisible(int visible);
int GetCursorPosition(int* x, int* y);
int GetMouseButtons();
int GetAllKeyStates(unsigned char* states);
int GetPadInputBits(int inputType);

int GetTickMilliseconds(int unused);
int GetLocalDateTime(DateTime* out);
int GetRandomInt(int max);
int SeedRandom(int seed);

const PixelFormatRecord* GetScreenPixelFormat();
int GetColorValue(int r, int g, int b);
int FlipScreen();
int SetScreenMode(int width, int height, int colorBits, int refreshRate);
int DeleteAllGraphs(int logEach);
GraphHandle LoadGraphFile(const char* path, int noHardwareTexture);
GraphHandle LoadBlendMaskFile(const char* path);
int LoadDividedGraphFile(const char* path, int count, int across, int down, int width, int height,
                         GraphHandle* out, int noHardwareTexture);
int ClearDrawTarget();
int DrawGraphAt(int x, int y, GraphHandle graph, int transparent);
int DrawGraphRotated(int cx, int cy, double scale, double angle, GraphHandle graph, int transparent, int turn);
int DrawGraphBlendMasked(int x, int y, GraphHandle graph, int transparent, GraphHandle mask, int border,
                         int range);
int DrawRectangle(int x1, int y1, int x2, int y2, int color, int filled);
int SetBlendMode(int mode, int parameter);
int SetDrawTarget(int target);
int SetTransparentColor(int r, int g, int b);
int DeleteAllMasks();

int DeleteAllSounds(int logEach);
SoundHandle LoadSoundFile(const char* path, int bufferCount, int unionHandle);
int PlaySoundHandle(SoundHandle sound, int playType, int fromTop);
int SetSoundVolume(int volume, SoundHandle sound);
int SetSoundLoopPosition(int milliseconds, SoundHandle sound);

}  // namespace qx

#endif
