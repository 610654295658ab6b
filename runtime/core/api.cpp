// Public entry points: each takes the ApiLock around its implementation.
#include <stdarg.h>
#include <stdio.h>

#include "runtime/core/api_internal.h"
#include "runtime/core/checkpoint.h"
#include "runtime/core/lock.h"
#include "runtime/platform/process_memory.h"
#include "runtime/runtime.h"

int InitRuntime(void) {
  qx::ApiLockScope lock;
  return qx::InitRuntime();
}

int ProcessMessage(void) {
  qx::ApiLockScope lock;
  return qx::ProcessMessage();
}

int ChangeWindowMode(int windowed) {
  qx::ApiLockScope lock;
  return qx::ChangeWindowMode(windowed);
}

int SetWindowCaption(const char* caption) {
  qx::ApiLockScope lock;
  return qx::SetWindowCaption(caption);
}

int SetLogFileEnabled(int enabled) {
  qx::ApiLockScope lock;
  return qx::SetLogFileEnabled(enabled);
}

int SetRunWhileInactive(int flag) {
  qx::ApiLockScope lock;
  return qx::SetRunWhileInactive(flag);
}

int SetWindowIconResource(int iconId) {
  qx::ApiLockScope lock;
  return qx::SetWindowIconResource(iconId);
}

int SetArchiveExtension(const char* extension) {
  qx::ApiLockScope lock;
  return qx::SetArchiveExtension(extension);
}

int SetArchiveKeyString(const char* key) {
  qx::ApiLockScope lock;
  return qx::SetArchiveKeyString(key);
}

int SetCursorVisible(int visible) {
  qx::ApiLockScope lock;
  return qx::SetCursorVisible(visible);
}

int GetCursorPosition(int* x, int* y) {
  qx::ApiLockScope lock;
  return qx::GetCursorPosition(x, y);
}

int GetMouseButtons(void) {
  qx::ApiLockScope lock;
  return qx::GetMouseButtons();
}

int GetAllKeyStates(unsigned char* states) {
  qx::ApiLockScope lock;
  return qx::GetAllKeyStates(states);
}

int GetPadInputBits(int inputType) {
  qx::ApiLockScope lock;
  return qx::GetPadInputBits(inputType);
}

int GetTickMilliseconds(int unused) {
  qx::ApiLockScope lock;
  return qx::GetTickMilliseconds(unused);
}

int GetLocalDateTime(DateTime* out) {
  qx::ApiLockScope lock;
  return qx::GetLocalDateTime(out);
}

int GetRandomInt(int max) {
  qx::ApiLockScope lock;
  return qx::GetRandomInt(max);
}

int SeedRandom(int seed) {
  qx::ApiLockScope lock;
  return qx::SeedRandom(seed);
}

const PixelFormatRecord* GetScreenPixelFormat(void) {
  qx::ApiLockScope lock;
  return qx::GetScreenPixelFormat();
}

int GetColorValue(int r, int g, int b) {
  qx::ApiLockScope lock;
  return qx::GetColorValue(r, g, b);
}

int FlipScreen(void) {
  qx::ApiLockScope lock;
  return qx::FlipScreen();
}

int SetScreenMode(int width, int height, int colorBits, int refreshRate) {
  qx::ApiLockScope lock;
  return qx::SetScreenMode(width, height, colorBits, refreshRate);
}

int DeleteAllGraphs(int logEach) {
  qx::ApiLockScope lock;
  return qx::DeleteAllGraphs(logEach);
}

GraphHandle LoadGraphFile(const char* path, int noHardwareTexture) {
  qx::ApiLockScope lock;
  return qx::LoadGraphFile(path, noHardwareTexture);
}

GraphHandle LoadBlendMaskFile(const char* path) {
  qx::ApiLockScope lock;
  return qx::LoadBlendMaskFile(path);
}

int LoadDividedGraphFile(const char* path, int count, int across, int down, int width, int height, GraphHandle* out, int noHardwareTexture) {
  qx::ApiLockScope lock;
  return qx::LoadDividedGraphFile(path, count, across, down, width, height, out, noHardwareTexture);
}

int ClearDrawTarget(void) {
  qx::ApiLockScope lock;
  return qx::ClearDrawTarget();
}

int DrawGraphAt(int x, int y, GraphHandle graph, int transparent) {
  qx::ApiLockScope lock;
  return qx::DrawGraphAt(x, y, graph, transparent);
}

int DrawGraphRotated(int cx, int cy, double scale, double angle, GraphHandle graph, int transparent, int turn) {
  qx::ApiLockScope lock;
  return qx::DrawGraphRotated(cx, cy, scale, angle, graph, transparent, turn);
}

int DrawGraphBlendMasked(int x, int y, GraphHandle graph, int transparent, GraphHandle mask, int border, int range) {
  qx::ApiLockScope lock;
  return qx::DrawGraphBlendMasked(x, y, graph, transparent, mask, border, range);
}

int DrawRectangle(int x1, int y1, int x2, int y2, int color, int filled) {
  qx::ApiLockScope lock;
  return qx::DrawRectangle(x1, y1, x2, y2, color, filled);
}

int SetBlendMode(int mode, int parameter) {
  qx::ApiLockScope lock;
  return qx::SetBlendMode(mode, parameter);
}

int SetDrawTarget(int target) {
  qx::ApiLockScope lock;
  return qx::SetDrawTarget(target);
}

int SetTransparentColor(int r, int g, int b) {
  qx::ApiLockScope lock;
  return qx::SetTransparentColor(r, g, b);
}

int DeleteAllMasks(void) {
  qx::ApiLockScope lock;
  return qx::DeleteAllMasks();
}

int DeleteAllSounds(int logEach) {
  qx::ApiLockScope lock;
  const int result = qx::DeleteAllSounds(logEach);
  // Games delete their sounds last between scenes: what is left now is what
  // every scene change must come back to, and the freed scene's memory can go.
  qx::ReturnFreeMemoryToSystem();
  qx::WriteResourceCheckpoint("scene");
  return result;
}

SoundHandle LoadSoundFile(const char* path, int bufferCount, int unionHandle) {
  qx::ApiLockScope lock;
  return qx::LoadSoundFile(path, bufferCount, unionHandle);
}

int PlaySoundHandle(SoundHandle sound, int playType, int fromTop) {
  qx::ApiLockScope lock;
  return qx::PlaySoundHandle(sound, playType, fromTop);
}

int SetSoundVolume(int volume, SoundHandle sound) {
  qx::ApiLockScope lock;
  return qx::SetSoundVolume(volume, sound);
}

int SetSoundLoopPosition(int milliseconds, SoundHandle sound) {
  qx::ApiLockScope lock;
  return qx::SetSoundLoopPosition(milliseconds, sound);
}

int EndRuntime(void) {
  qx::ApiLockEnter();
  int result = qx::EndRuntime();
  qx::ApiLockLeave();
  qx::ApiLockTeardown();
  return result;
}

int ScreenPrintf(const char* format, ...) {
  // Formatted before the lock is taken; the text is not formatted again.
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  qx::ApiLockScope lock;
  return qx::ScreenPrintfText(text);
}
