// Quarnex runtime: the whole surface a game sees.
//
// Every operation returns 0 on success and -1 on failure unless noted;
// creators return a handle or -1. Text is 8-bit Shift-JIS.
// All operations except CreateColorFormat, FillPixelFormatRecord and
// ClipRectangle are serialised by one process-wide recursive lock.
#ifndef QUARNEX_RUNTIME_RUNTIME_H
#define QUARNEX_RUNTIME_RUNTIME_H

#include <stdint.h>

typedef int GraphHandle;
typedef int SoundHandle;
typedef int FontHandle;

struct DateTime {
  int Year;
  int Month;
  int Day;
  int Hour;
  int Minute;
  int Second;
};

// Rectangle with exclusive right and bottom edges.
struct Rect {
  int left;
  int top;
  int right;
  int bottom;
};

// Pixel-format record in the classic 32-byte display-surface layout.
struct PixelFormatRecord {
  uint32_t Size;
  uint32_t Flags;
  uint32_t FourCC;
  uint32_t RGBBitCount;
  uint32_t RBitMask;
  uint32_t GBitMask;
  uint32_t BBitMask;
  uint32_t RGBAlphaBitMask;
};

// Description of one pixel layout.
struct ColorFormat {
  uint16_t ColorBitDepth;
  uint16_t BytesPerPixel;
  uint8_t RedBits, GreenBits, BlueBits, AlphaBits;
  uint8_t RedShift, GreenShift, BlueShift, AlphaShift;
  uint32_t RedMask, GreenMask, BlueMask, AlphaMask;
  uint32_t UnusedMask;
  uint8_t PaletteTable[256 * 4];  // blue, green, red, 0 per entry
  uint8_t UnusedShift, UnusedBits;
};

// Start-up and shutdown, window and messages.
int InitRuntime(void);
int EndRuntime(void);
int ScreenPrintf(const char* format, ...);
int ProcessMessage(void);
int ChangeWindowMode(int windowed);
int SetWindowCaption(const char* caption);
int SetLogFileEnabled(int enabled);
int SetRunWhileInactive(int flag);
int SetWindowIconResource(int iconId);

// Files.
int SetArchiveExtension(const char* extension);
int SetArchiveKeyString(const char* key);

// Input.
int SetCursorVisible(int visible);
int GetCursorPosition(int* x, int* y);
int GetMouseButtons(void);
int GetAllKeyStates(unsigned char* states);  // 256 bytes, 1 = down
int GetPadInputBits(int inputType);

// Time, random numbers, date.
int GetTickMilliseconds(int unused);
int GetLocalDateTime(DateTime* out);
int GetRandomInt(int max);
int SeedRandom(int seed);

// Graphics.
const PixelFormatRecord* GetScreenPixelFormat(void);
int GetColorValue(int r, int g, int b);
int CreateColorFormat(ColorFormat* out, int bits, int redMask, int greenMask, int blueMask, int alphaMask);
int FillPixelFormatRecord(PixelFormatRecord* out, int bits, int redMask, int greenMask, int blueMask,
                          int alphaMask);
int FlipScreen(void);
int SetScreenMode(int width, int height, int colorBits, int refreshRate);
int DeleteAllGraphs(int logEach);
GraphHandle LoadGraphFile(const char* path, int noHardwareTexture);
GraphHandle LoadBlendMaskFile(const char* path);
int LoadDividedGraphFile(const char* path, int count, int across, int down, int width, int height,
                         GraphHandle* out, int noHardwareTexture);
int ClearDrawTarget(void);
int DrawGraphAt(int x, int y, GraphHandle graph, int transparent);
int DrawGraphRotated(int cx, int cy, double scale, double angle, GraphHandle graph, int transparent, int turn);
int DrawGraphBlendMasked(int x, int y, GraphHandle graph, int transparent, GraphHandle mask, int border,
                         int range);
int DrawRectangle(int x1, int y1, int x2, int y2, int color, int filled);
int SetBlendMode(int mode, int parameter);
int SetDrawTarget(int target);
int SetTransparentColor(int r, int g, int b);
int ClipRectangle(Rect* rect, Rect* clip);
int DeleteAllMasks(void);

// Sound.
int DeleteAllSounds(int logEach);
SoundHandle LoadSoundFile(const char* path, int bufferCount, int unionHandle);
int PlaySoundHandle(SoundHandle sound, int playType, int fromTop);
int SetSoundVolume(int volume, SoundHandle sound);
int SetSoundLoopPosition(int milliseconds, SoundHandle sound);

#endif
