// What a run of the SDL back end shares with a headless one, so that a live
// game can be replayed and a real window driven by a script:
// - QUARNEX_SCRIPT: input comes from a headless input script instead of the
//   devices, its frames counted by the window's presentations and its times
//   on the real clock;
// - QUARNEX_RECORD: every input read, window event and date read is written
//   as a headless script, by the number of frames presented so far, so that
//   the headless back end plays the same game;
// - QUARNEX_FRAME_HASHES: the software renderer's frames hashed as headless
//   hashes them.
// The tables here wrap the SDL ones and hand everything else through.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <atomic>
#include <mutex>

#include "runtime/platform/frame_hash.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/posix_os.h"
#include "runtime/platform/sdl/sdl_internal.h"
#include "runtime/platform/tables.h"

namespace qx {
namespace {

std::atomic<uint64_t> g_frames{0};

struct Session {
  bool scripted = false;
  uint64_t startNanos = 0;
  FrameHashFile hashes;  // the game's thread only (presentation)
  int gpuWidth = 0, gpuHeight = 0;

  std::mutex recordMutex;  // reads may come from any thread holding the API lock
  FILE* record = nullptr;
  uint8_t keys[256] = {};
  uint8_t mouse[8] = {};
  int cursorX = 0, cursorY = 0;
  int pads = 0;
  PlatformJoystickState padState[8] = {};
  bool padSeen[8] = {};
  DateTime date = {};
  // Messages the runtime posted itself, by type, not yet taken: they are its
  // own doing, which a replay repeats without being told.
  int ownPosts[kMsgKeyDown + 1] = {};
};

Session& S() {
  static Session s;
  return s;
}

uint64_t NowNanos() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ULL + static_cast<uint64_t>(ts.tv_nsec);
}

void PostToWindow(const PlatformMessage* message) { kSdlWindowOps.PostMessage(message); }

void WriteDateLocked(const DateTime& d) {
  Session& s = S();
  s.date = d;
  fprintf(s.record, "frame %llu date %04d-%02d-%02d %02d:%02d:%02d\n", static_cast<unsigned long long>(g_frames.load()),
          d.Year, d.Month, d.Day, d.Hour, d.Minute, d.Second);
  fflush(s.record);
}

// Set up once, at the first use of any table.
Session& Started() {
  static std::once_flag once;
  std::call_once(once, [] {
    Session& s = S();
    s.startNanos = NowNanos();
    const char* script = getenv("QUARNEX_SCRIPT");
    if (script && *script) {
      HeadlessReset();  // loads the script; a bad one ends the program here
      HeadlessSetMessageSink(PostToWindow);
      s.scripted = true;
    }
    const char* record = getenv("QUARNEX_RECORD");
    if (record && *record) {
      s.record = fopen(record, "w");
      if (!s.record) {
        fprintf(stderr, "QUARNEX_RECORD: cannot write %s\n", record);
      } else {
        fprintf(s.record,
                "# A game recorded on the SDL back end. Play it again with\n"
                "# QUARNEX_PLATFORM=headless QUARNEX_SCRIPT=<this file>, from the same\n"
                "# settings and save files.\n");
        DateTime now;
        kPosixOsOps.GetLocalDateTime(&now);
        WriteDateLocked(now);
      }
    }
  });
  return S();
}

bool Recording() { return Started().record != nullptr; }

// Brings the script player to this moment: its frames are the window's
// presentations, its time the real time since the start.
void SyncScript() {
  HeadlessState& h = Headless();
  h.presentedFrames = g_frames.load();
  h.clockMicros = (NowNanos() - S().startNanos) / 1000;
}

void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Line(const char* format, ...) {
  Session& s = S();
  fprintf(s.record, "frame %llu ", static_cast<unsigned long long>(g_frames.load()));
  va_list args;
  va_start(args, format);
  vfprintf(s.record, format, args);
  va_end(args);
  fputc('\n', s.record);
}

// ---------------------------------------------------------------------------
// Operating-system services: the date is recorded, the rest is the system's.

void LocalDateTime(DateTime* out) {
  kPosixOsOps.GetLocalDateTime(out);
  if (!Recording()) return;
  Session& s = S();
  std::lock_guard<std::mutex> lock(s.recordMutex);
  if (memcmp(out, &s.date, sizeof *out) != 0) WriteDateLocked(*out);
}

PlatformOsOps MakeOsOps() {
  PlatformOsOps ops = kPosixOsOps;
  ops.GetLocalDateTime = LocalDateTime;
  return ops;
}

// ---------------------------------------------------------------------------
// Window: script events and recorded window events.

void PumpEvents() {
  kSdlWindowOps.PumpEvents();
  if (Started().scripted && SdlOnWindowThread()) {
    SyncScript();
    HeadlessBeginPump();
    HeadlessApplyDueEvents();
  }
}

void PostMessage(const PlatformMessage* message) {
  if (Recording() && message->type >= 0 && message->type <= kMsgKeyDown) {
    Session& s = S();
    std::lock_guard<std::mutex> lock(s.recordMutex);
    s.ownPosts[message->type]++;
  }
  kSdlWindowOps.PostMessage(message);
}

int PeekMessage(PlatformMessage* out) {
  const int taken = kSdlWindowOps.PeekMessage(out);
  if (!taken || !Recording()) return taken;
  Session& s = S();
  std::lock_guard<std::mutex> lock(s.recordMutex);
  if (out->type >= 0 && out->type <= kMsgKeyDown && s.ownPosts[out->type] > 0) {
    s.ownPosts[out->type]--;
    return taken;
  }
  switch (out->type) {
    case kMsgClose: Line("close"); break;
    case kMsgActivateApp: Line("activate %d", out->param1 ? 1 : 0); break;
    case kMsgMouseWheel: Line("wheel %d", out->param1 > 0 ? 1 : -1); break;
    default: return taken;
  }
  fflush(s.record);
  return taken;
}

void GetCursorClientPosition(int* x, int* y) {
  int cx = 0, cy = 0;
  if (Started().scripted) {
    cx = Headless().cursorX;
    cy = Headless().cursorY;
  } else {
    kSdlWindowOps.GetCursorClientPosition(&cx, &cy);
  }
  if (x) *x = cx;
  if (y) *y = cy;
  if (!Recording()) return;
  Session& s = S();
  std::lock_guard<std::mutex> lock(s.recordMutex);
  if (cx == s.cursorX && cy == s.cursorY) return;
  s.cursorX = cx;
  s.cursorY = cy;
  Line("move %d %d", cx, cy);
  fflush(s.record);
}

PlatformWindowOps MakeWindowOps() {
  PlatformWindowOps ops = kSdlWindowOps;
  ops.PumpEvents = PumpEvents;
  ops.PeekMessage = PeekMessage;
  ops.PostMessage = PostMessage;
  ops.GetCursorClientPosition = GetCursorClientPosition;
  return ops;
}

// ---------------------------------------------------------------------------
// Input devices.

// Writes a line for each byte whose pressed bit differs from the last one recorded.
template <typename Write>
void RecordButtons(uint8_t* last, const uint8_t* now, int count, Write write) {
  for (int i = 0; i < count; ++i) {
    if ((last[i] ^ now[i]) & 0x80) write(i, (now[i] & 0x80) != 0);
    last[i] = now[i] & 0x80;
  }
}

int InputInit() {
  const int r = kSdlInputOps.Init();
  if (Started().scripted) {
    SyncScript();
    HeadlessApplyDueEvents();  // pads attached from the start
    return 0;
  }
  return r;
}

void InputUpdate() {
  kSdlInputOps.Update();
  if (Started().scripted) {
    SyncScript();
    HeadlessApplyDueEvents();
  }
}

void GetKeyboardState(uint8_t keys[256]) {
  if (Started().scripted) {
    SyncScript();
    HeadlessReadKeys(keys);
  } else {
    kSdlInputOps.GetKeyboardState(keys);
  }
  if (!Recording()) return;
  Session& s = S();
  std::lock_guard<std::mutex> lock(s.recordMutex);
  RecordButtons(s.keys, keys, 256, [](int i, bool down) { Line("key %d %s", i, down ? "down" : "up"); });
  fflush(s.record);
}

void GetMouseButtons(uint8_t buttons[8]) {
  if (Started().scripted) {
    SyncScript();
    HeadlessReadMouseButtons(buttons);
  } else {
    kSdlInputOps.GetMouseButtons(buttons);
  }
  if (!Recording()) return;
  Session& s = S();
  std::lock_guard<std::mutex> lock(s.recordMutex);
  RecordButtons(s.mouse, buttons, 8, [](int i, bool down) { Line("%s %d", down ? "down" : "up", i); });
  fflush(s.record);
}

int ScriptedPadCount() {
  const int n = Headless().padCount;
  return n < 0 ? 0 : n > 8 ? 8 : n;
}

int JoystickCount() {
  const int n = Started().scripted ? ScriptedPadCount() : kSdlInputOps.JoystickCount();
  if (Recording()) {
    Session& s = S();
    std::lock_guard<std::mutex> lock(s.recordMutex);
    if (n != s.pads) {
      s.pads = n;
      Line("pads %d", n);
      fflush(s.record);
    }
  }
  return n;
}

void RecordPad(int index, const PlatformJoystickState& now) {
  Session& s = S();
  std::lock_guard<std::mutex> lock(s.recordMutex);
  PlatformJoystickState& last = s.padState[index];
  if (!s.padSeen[index]) {
    // The script player starts a pad centred, released, its hats at rest.
    memset(&last, 0, sizeof last);
    for (int a = 0; a < 6; ++a) last.rawAxes[a] = 0x7FFF;
    for (int h = 0; h < 4; ++h) last.pov[h] = -1;
    s.padSeen[index] = true;
  }
  RecordButtons(last.buttons, now.buttons, 32,
                [index](int b, bool down) { Line("pad %d button %d %s", index, b, down ? "down" : "up"); });
  for (int a = 0; a < 6; ++a) {
    if (now.axes[a] == last.axes[a] && now.rawAxes[a] == last.rawAxes[a]) continue;
    last.axes[a] = now.axes[a];
    last.rawAxes[a] = now.rawAxes[a];
    Line("pad %d reading %d %d %d", index, a, static_cast<int>(now.axes[a]), static_cast<int>(now.rawAxes[a]));
  }
  for (int h = 0; h < 4; ++h) {
    if (now.pov[h] == last.pov[h]) continue;
    last.pov[h] = now.pov[h];
    Line("pad %d pov %d %d", index, h, static_cast<int>(now.pov[h]));
  }
  fflush(s.record);
}

int GetJoystickState(int index, PlatformJoystickState* out) {
  int r;
  if (Started().scripted) {
    if (index < 0 || index >= ScriptedPadCount()) return -1;
    SyncScript();
    HeadlessReadPad(index, out);
    r = 0;
  } else {
    r = kSdlInputOps.GetJoystickState(index, out);
  }
  if (r == 0 && index >= 0 && index < 8 && Recording()) RecordPad(index, *out);
  return r;
}

int GetJoystickName(int index, char* name, size_t size) {
  if (!Started().scripted) return kSdlInputOps.GetJoystickName(index, name, size);
  if (index < 0 || index >= ScriptedPadCount() || size == 0) return -1;
  snprintf(name, size, "Scripted pad %d", index + 1);
  return 0;
}

PlatformInputOps MakeInputOps() {
  PlatformInputOps ops = kSdlInputOps;
  ops.Init = InputInit;
  ops.Update = InputUpdate;
  ops.GetKeyboardState = GetKeyboardState;
  ops.GetMouseButtons = GetMouseButtons;
  ops.JoystickCount = JoystickCount;
  ops.GetJoystickState = GetJoystickState;
  ops.GetJoystickName = GetJoystickName;
  return ops;
}

// ---------------------------------------------------------------------------
// Presentation: frames counted and hashed.

int DisplayPresent(const void* pixels, int pitch, int width, int height, int bitsPerPixel) {
  Session& s = Started();
  const uint64_t frame = ++g_frames;
  s.hashes.Configure();
  if (pixels && width > 0 && height > 0) s.hashes.Add(frame, pixels, pitch, width, height, bitsPerPixel / 8);
  return kSdlDisplayOps.Present(pixels, pitch, width, height, bitsPerPixel);
}

PlatformDisplayOps MakeDisplayOps() {
  PlatformDisplayOps ops = kSdlDisplayOps;
  ops.Present = DisplayPresent;
  return ops;
}

int GpuInit(int width, int height) {
  S().gpuWidth = width;
  S().gpuHeight = height;
  return kSdlGpuOps.Init(width, height);
}

// The device shows either its own back screen (nothing of the software
// renderer to hash) or the software renderer's pixels handed to it.
void GpuPresent(const void* pixels, int pitch) {
  Session& s = Started();
  const uint64_t frame = ++g_frames;
  s.hashes.Configure();
  if (pixels && s.gpuWidth > 0 && s.gpuHeight > 0) s.hashes.Add(frame, pixels, pitch, s.gpuWidth, s.gpuHeight, 4);
  kSdlGpuOps.Present(pixels, pitch);
}

PlatformGpuOps MakeGpuOps() {
  PlatformGpuOps ops = kSdlGpuOps;
  ops.Init = GpuInit;
  ops.Present = GpuPresent;
  return ops;
}

}  // namespace

uint64_t SdlPresentedFrames() { return g_frames.load(); }

bool SdlSessionReplayable() {
  Session& s = Started();
  return s.scripted || s.record != nullptr || getenv("QUARNEX_FRAME_HASHES") != nullptr;
}

const PlatformOsOps kSdlSessionOsOps = MakeOsOps();
const PlatformWindowOps kSdlSessionWindowOps = MakeWindowOps();
const PlatformInputOps kSdlSessionInputOps = MakeInputOps();
const PlatformDisplayOps kSdlSessionDisplayOps = MakeDisplayOps();
const PlatformGpuOps kSdlSessionGpuOps = MakeGpuOps();

}  // namespace qx
