// The platform boundary: every service the runtime needs from the operating
// system, the window system, the display, the sound output and the input
// devices, as tables of operations. Two back ends fill them: SDL2 (a real
// window and devices) and headless (virtual clock, scripted input, captured
// frames). Nothing outside runtime/platform/ touches SDL2 or the OS directly.
#ifndef QUARNEX_RUNTIME_PLATFORM_PLATFORM_H
#define QUARNEX_RUNTIME_PLATFORM_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

#include "runtime/runtime.h"

namespace qx {

// ---------------------------------------------------------------------------
// Operating-system services: time, threads, events, critical sections, files.

typedef struct PlatformThread PlatformThread;
typedef struct PlatformEvent PlatformEvent;
typedef struct PlatformCriticalSection PlatformCriticalSection;
typedef struct PlatformFile PlatformFile;
typedef struct PlatformDir PlatformDir;

enum PlatformFileMode {
  kPlatformFileRead = 0,          // existing file, read only
  kPlatformFileWriteAppend = 1,   // open or create, position at end
  kPlatformFileCreateNew = 2,     // create (truncating), write
};

struct PlatformDirEntry {
  char name[256];
  int isDirectory;
  uint64_t size;
  int64_t modifiedUnixSeconds;
  uint32_t attributes;  // 0x10 directory, 0x01 read-only, 0x20 archive
};

struct PlatformSystemInfo {
  char osName[72];        // kernel name
  char osRelease[72];     // kernel release
  int osBuild;            // kernel build number ("#N" of its version), 0 when unknown
  uint64_t totalMemory;   // bytes
  uint64_t availableMemory;
  int hasCpuid;
  char cpuVendor[13];
  char cpuBrand[49];
  int hasTsc;
  int hasMmx;
};

struct PlatformOsOps {
  // Milliseconds of a monotonic clock, wrapping at 2^32 (timeGetTime).
  uint32_t (*TickMilliseconds)();
  // High-resolution counter and its frequency in counts per second (0 = none).
  uint64_t (*QueryCounter)();
  uint64_t (*CounterFrequency)();
  // Minimum timer period in milliseconds (wPeriodMin); begin/end raise and lower it.
  int (*TimerPeriodMin)();
  void (*TimerBeginPeriod)(int ms);
  void (*TimerEndPeriod)(int ms);
  void (*GetLocalDateTime)(DateTime* out);
  void (*Sleep)(int ms);  // 0 yields the processor

  // Threads. Ids are small positive integers unique per live thread.
  PlatformThread* (*ThreadCreate)(int (*entry)(void*), void* arg);
  int (*ThreadJoin)(PlatformThread* thread);  // waits, frees, returns the entry's result
  int (*CurrentThreadId)();

  // Manual-reset or auto-reset events.
  PlatformEvent* (*EventCreate)(int manualReset, int initiallySignalled);
  void (*EventDestroy)(PlatformEvent* event);
  void (*EventSet)(PlatformEvent* event);
  void (*EventReset)(PlatformEvent* event);
  // Returns 0 when signalled, 1 on time-out; timeoutMs < 0 waits forever.
  int (*EventWait)(PlatformEvent* event, int timeoutMs);

  PlatformCriticalSection* (*CriticalSectionCreate)();
  void (*CriticalSectionDestroy)(PlatformCriticalSection* cs);
  void (*CriticalSectionEnter)(PlatformCriticalSection* cs);
  void (*CriticalSectionLeave)(PlatformCriticalSection* cs);

  // Files, with "/"-separated native paths.
  PlatformFile* (*FileOpen)(const char* path, int mode);
  void (*FileClose)(PlatformFile* file);
  int64_t (*FileSize)(PlatformFile* file);
  // Positioned read; returns bytes read, -1 on error.
  int64_t (*FileReadAt)(PlatformFile* file, uint64_t offset, void* buffer, size_t size);
  int64_t (*FileWrite)(PlatformFile* file, const void* data, size_t size);
  int (*FileDelete)(const char* path);                         // 0 or -1
  int (*FileRename)(const char* from, const char* to);         // atomic replace; 0 or -1
  int (*FileStat)(const char* path, PlatformDirEntry* out);    // 0 or -1
  int (*MakeDirectory)(const char* path);                      // 0 or -1 (existing is 0)
  PlatformDir* (*DirOpen)(const char* path);
  int (*DirNext)(PlatformDir* dir, PlatformDirEntry* out);     // 1 entry, 0 end
  void (*DirClose)(PlatformDir* dir);
  int (*GetCurrentDirectory)(char* buffer, size_t size);       // 0 or -1
  int (*SetCurrentDirectory)(const char* path);                // 0 or -1

  // Debugger output: goes to standard error only when QUARNEX_DEBUG_OUTPUT is set.
  void (*DebugOutput)(const char* text);
  // Lines for the system report (kernel, memory, CPU): fills the fields it knows.
  void (*QuerySystemInfo)(PlatformSystemInfo* out);
};


// ---------------------------------------------------------------------------
// Window system.

// Messages the window system reports; the runtime's window procedure handles them.
enum PlatformMessageType {
  kMsgNone = 0,
  kMsgClose,          // close box or window-manager close request
  kMsgDestroy,        // the window has been destroyed
  kMsgQuit,           // quit message posted by PostQuit
  kMsgActivateApp,    // param1: 1 activated, 0 deactivated
  kMsgActivate,       // param1: 1 activated, 0 deactivated
  kMsgMove,           // param1, param2: client origin in screen coordinates
  kMsgSize,           // param1, param2: client size
  kMsgPaint,
  kMsgSetCursor,
  kMsgMouseMove,
  kMsgMouseWheel,     // param1: signed wheel delta
  kMsgDisplayChange,  // param1: bits per pixel, param2: width, param3: height
  kMsgChar,           // param1: character code
  kMsgKeyDown,        // param1: virtual key (0x25 left, 0x26 up, 0x27 right, 0x28 down, 0x2E delete)
};

struct PlatformMessage {
  int type;
  int param1;
  int param2;
  int param3;
};

struct PlatformWindowOps {
  // Exclusive per-user lock named after the class name; 0 acquired, -1 held by another process.
  int (*AcquireInstanceLock)(const char* className);
  void (*ReleaseInstanceLock)();
  // Creates and shows the window centred on the desktop with the given client size.
  int (*Create)(const char* caption, int iconId, int clientWidth, int clientHeight, int windowed);
  void (*Destroy)();
  int (*Exists)();
  void (*SetCaption)(const char* caption);
  void (*SetIcon)(int iconId);
  void (*SetClientSize)(int width, int height);
  void (*SetFullscreen)(int fullscreen);
  // Client origin on the desktop and client size.
  void (*GetClientRect)(int* x, int* y, int* width, int* height);
  // Moves the operating system's pending events into the runtime's message queue.
  // May only be called on the thread that created the window.
  void (*PumpEvents)();
  // Takes the next queued message; 1 taken, 0 queue empty.
  int (*PeekMessage)(PlatformMessage* out);
  // Appends a message to the queue (close requests, quit, cursor requests).
  void (*PostMessage)(const PlatformMessage* message);
  void (*GetDesktopMode)(int* width, int* height, int* bitsPerPixel, int* refreshRate);
  void (*ShowCursor)(int shown);
  // Pointer position relative to the client origin in the game's pixels (may be outside the client area).
  void (*GetCursorClientPosition)(int* x, int* y);
  void (*SetScreenSaverEnabled)(int enabled);
};

// ---------------------------------------------------------------------------
// Display.

struct PlatformDisplayOps {
  // Copies a top-down 16-bit (5-6-5) or 32-bit (x8r8g8b8) block into the client area.
  int (*Present)(const void* pixels, int pitch, int width, int height, int bitsPerPixel);
  // Display refresh rate in Hz (60 when the display reports none).
  int (*RefreshRate)();
  // Vertical blank derived from the refresh rate on the platform's clock.
  int (*InVerticalBlank)();
  int (*ScanLine)();
  void (*WaitForVerticalBlank)();
};

// ---------------------------------------------------------------------------
// Input devices.

struct PlatformJoystickState {
  int32_t axes[6];      // X, Y, Z, rotation X, Y, Z; -1000..1000 with a 25% dead zone
  int32_t sliders[2];
  int32_t pov[4];       // hundredths of a degree, -1 centred
  uint8_t buttons[32];  // bit 7 = pressed
  uint16_t rawAxes[6];  // unscaled 0..0xFFFF positions, centre 0x7FFF
  int axisCount;
  int buttonCount;
};

struct PlatformInputOps {
  int (*Init)();      // 0 ok, -1 the devices cannot be set up
  void (*Shutdown)();
  // Refreshes device state from the window system (call on the window's thread).
  void (*Update)();
  // 256 bytes indexed by keyboard scan code, bit 7 = down.
  void (*GetKeyboardState)(uint8_t keys[256]);
  // 8 mouse button bytes, bit 7 = pressed: left, right, middle, then further buttons.
  void (*GetMouseButtons)(uint8_t buttons[8]);
  int (*JoystickCount)();  // 0..8
  int (*GetJoystickState)(int index, PlatformJoystickState* out);  // 0 or -1
  int (*GetJoystickName)(int index, char* name, size_t size);      // 0 or -1
};

// ---------------------------------------------------------------------------
// Sound output.

typedef struct PlatformSoundBuffer PlatformSoundBuffer;

// What the opened device is, for the log.
struct PlatformSoundDeviceInfo {
  char driver[64];      // audio driver ("pulseaudio", "alsa", "disk", "headless", ...)
  char device[128];     // device name, or "" for the driver's default
  int sampleRate;       // the mixer's output format
  int channels;
  int bitsPerSample;
  int bufferFrames;     // frames mixed per device period
  int hardwareRate;     // the rate the driver converts to (0 = unknown)
};

// Buffers hold PCM of 8 or 16 bits, 1 or 2 channels, at any rate from
// kSoundBufferMinRate to kSoundBufferMaxRate; the device mixes them into
// 16-bit stereo at its own rate, resampling as needed.
constexpr int kSoundBufferMinRate = 1000;
constexpr int kSoundBufferMaxRate = 384000;
struct PlatformSoundOps {
  int (*Init)(int channels, int bitsPerSample, int sampleRate);  // 0 ok, -1 no device
  void (*Shutdown)();
  void (*GetDeviceInfo)(PlatformSoundDeviceInfo* out);
  PlatformSoundBuffer* (*CreateBuffer)(int channels, int bitsPerSample, int sampleRate, size_t bytes);
  PlatformSoundBuffer* (*DuplicateBuffer)(PlatformSoundBuffer* source);
  void (*ReleaseBuffer)(PlatformSoundBuffer* buffer);
  // A region of the buffer, in two parts when it wraps past the end (part2
  // null otherwise); 0 or -1.
  int (*Lock)(PlatformSoundBuffer* buffer, size_t offset, size_t bytes, void** part1, size_t* size1,
              void** part2, size_t* size2);
  void (*Unlock)(PlatformSoundBuffer* buffer);
  int (*Play)(PlatformSoundBuffer* buffer, int looping);
  int (*Stop)(PlatformSoundBuffer* buffer);
  int (*IsPlaying)(PlatformSoundBuffer* buffer);
  // Byte offset of the next frame to be heard; a looping buffer's cursor moves on with the device.
  size_t (*GetPlayCursor)(PlatformSoundBuffer* buffer);
  void (*SetPlayCursor)(PlatformSoundBuffer* buffer, size_t position);
  void (*SetVolume)(PlatformSoundBuffer* buffer, int hundredthsOfDecibel);  // -10000..0
};

// ---------------------------------------------------------------------------
// Graphics processor (the hardware back end). The runtime asks for textures,
// rectangles and the back screen as a render target; the platform draws them.
// A back end without a graphics processor leaves the table out.

typedef struct PlatformTexture PlatformTexture;

enum PlatformTextureFormat {
  kGpuTextureBgra = 0,  // 4 bytes per texel: blue, green, red, alpha
  kGpuTextureR8 = 1,    // 1 byte per texel (blend masks and the mask table)
};

// How a drawing is combined with the target. The weights are those of the
// software renderer: products of byte values over 256.
enum PlatformGpuBlend {
  kGpuBlendMix = 0,       // d + (s - d) * w
  kGpuBlendAdd = 1,       // min(255, d + s * p / 255)
  kGpuBlendSubtract = 2,  // max(0, d - s * p / 255)
  kGpuBlendMultiply = 3,  // d * s / 256
};

enum PlatformGpuAlpha {
  kGpuAlphaIgnore = 0,     // the texture's alpha is no weight
  kGpuAlphaKeyed = 1,      // alpha 0 discarded, 255 no weight, others a weight
  kGpuAlphaWeightAll = 2,  // every alpha is a weight (255 included)
};

// Everything that a batch shares; a change of any field ends the batch.
struct PlatformGpuState {
  PlatformTexture* texture;    // null: untextured rectangles in the vertex colour
  PlatformTexture* mask;       // null: no blend mask
  PlatformTexture* maskTable;  // 256 x 1 weights per mask value
  int blend;                   // PlatformGpuBlend
  int alpha;                   // PlatformGpuAlpha
  int discardZeroAlpha;        // keyed textures: alpha 0 is not drawn
  int param;                   // blend parameter 0..255; 256 = no weight
  int clipLeft, clipTop, clipRight, clipBottom;  // target pixels, right and bottom exclusive
};

// A corner of a triangle: target position in pixels, texture and mask
// positions in texels, and the colour (brightness for textures, the fill
// colour for untextured rectangles) as bytes.
struct PlatformGpuVertex {
  float x, y;
  float u, v;
  float mu, mv;
  float r, g, b;
};

struct PlatformGpuInfo {
  char renderer[128];     // the driver's renderer string
  int maxTextureSide;     // 0 when the device reports none
  int minTextureSide;     // 0 when the device reports none
  int softwareRasteriser; // 1 when the renderer draws on the main processor
};

struct PlatformGpuOps {
  // Makes the device on the window with a back screen of the given size
  // (colour plus a 16-bit depth buffer), cleared to black; 0, or -1 when
  // there is none. Without acceptSoftware a renderer that rasterises on the
  // main processor is refused as soon as its name is known, before anything
  // else is built.
  int (*Init)(int width, int height, int acceptSoftware);
  void (*Shutdown)();
  // 1 while the device exists and belongs to the calling thread.
  int (*Ready)();
  void (*GetInfo)(PlatformGpuInfo* out);
  // Null when the texture cannot be made (an error left by an earlier call
  // does not count against it).
  PlatformTexture* (*CreateTexture)(int width, int height, int format);
  void (*DestroyTexture)(PlatformTexture* texture);
  // Rows of the texture's format, pitch in bytes; 0, or -1 when refused.
  int (*UpdateTexture)(PlatformTexture* texture, int x, int y, int width, int height, const void* pixels,
                       int pitch);
  // Triangles (three vertices each) onto the back screen.
  void (*Draw)(const PlatformGpuState* state, const PlatformGpuVertex* vertices, int count);
  // The whole back screen: colour (bytes) and the depth buffer at its maximum.
  void (*Clear)(int r, int g, int b);
  // Back screen pixels as top-down BGRA rows, and back again.
  void (*ReadBack)(void* pixels, int pitch);
  void (*WriteBack)(const void* pixels, int pitch);
  // Shows the back screen, or top-down BGRA pixels given instead, in the
  // window; with a swap interval the call returns after the display took it.
  void (*Present)(const void* pixels, int pitch);
  // The swap interval in force: 1 (or -1, adaptive) when presentation waits
  // for the display's refresh, 0 when it does not.
  int (*SwapInterval)();
  // 1 once the driver reports that the device was lost (a reset); every
  // texture is gone and the device must be made again.
  int (*ContextLost)();
  // One copy of the whole back screen into a work image, on the device
  // (0) or through main memory (1): timed to choose the transfer method.
  void (*CopyScreen)(int throughMainMemory);
  // The driver's next debug message (with QUARNEX_GL_DEBUG=1); 0 when none.
  int (*TakeMessage)(char* text, size_t size);
};

// ---------------------------------------------------------------------------

struct Platform {
  const char* name;  // "sdl", "headless" or "web"
  const PlatformOsOps* os;
  const PlatformWindowOps* window;
  const PlatformDisplayOps* display;
  const PlatformInputOps* input;
  const PlatformSoundOps* sound;
  const PlatformGpuOps* gpu;  // null: no graphics processor
};

// The back end in use, chosen on first use from QUARNEX_PLATFORM: "headless",
// or else the build's own (SDL2 on the desktop, the page in a browser).
const Platform& GetPlatform();
inline const PlatformOsOps& Os() { return *GetPlatform().os; }

// The back ends (defined in sdl/, headless/ and web/; a build has either sdl/ or web/).
extern const Platform kSdlPlatform;
extern const Platform kHeadlessPlatform;
extern const Platform kWebPlatform;
extern const Platform* const kDefaultPlatform;

// QUARNEX_RENDERER: 0 automatic, 1 software ("software"), 2 hardware ("hardware").
int RendererPreference();

// Selects a back end explicitly (tests); returns the previous one.
const Platform* SelectPlatform(const Platform* platform);

}  // namespace qx

#endif
