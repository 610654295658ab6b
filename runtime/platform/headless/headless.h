// Shared state of the headless back end: a virtual clock, input driven by a
// script, and presented frames that can be saved. Used by the headless
// window, input and display tables and by tests.
#ifndef QUARNEX_RUNTIME_PLATFORM_HEADLESS_HEADLESS_H
#define QUARNEX_RUNTIME_PLATFORM_HEADLESS_HEADLESS_H

#include <stdint.h>

#include "runtime/platform/platform.h"

namespace qx {

// One scripted input event; it fires when the presented-frame count reaches
// `frame` (frame >= 0) or the virtual clock reaches `timeMs` (frame < 0).
enum HeadlessEventType {
  kHeadlessMove = 1,     // a = x, b = y (client pixels)
  kHeadlessButton,       // a = button index (0 left, 1 right, 2 middle), b = 1 down / 0 up
  kHeadlessKey,          // a = scan code, b = 1 down / 0 up
  kHeadlessClose,        // the user closes the window
  kHeadlessWheel,        // a = delta
  kHeadlessPadButton,    // a = pad, b = button, c = 1 down / 0 up
  kHeadlessPadAxis,      // a = pad, b = axis (0..5), c = value -1000..1000
  kHeadlessPadPov,       // a = pad, b = hat, c = hundredths of a degree or -1
  kHeadlessActivate,     // a = 1 active / 0 inactive
  kHeadlessPadConnect,   // a = number of pads attached
  kHeadlessPadReading,   // a = pad, b = axis, c = value -1000..1000, d = raw position 0..65535
  kHeadlessPaint,        // the window must be repainted
  kHeadlessDate,         // a = YYYYMMDD, b = HHMMSS: the local date from now on
};
// Buttons and keys: b (pads: c) is 1 down, 0 up, 2 a tap (down and up before
// the next read).

struct HeadlessEvent {
  int64_t frame;
  int64_t timeMs;
  int type;
  int a, b, c, d;
};

struct HeadlessState {
  // Virtual clock in microseconds since the back end started. Advanced by
  // sleeps, vertical-blank waits and (a little) by every clock read on the
  // main thread, so busy waits end.
  uint64_t clockMicros;
  int mainThreadId;
  DateTime date;  // local date at clock 0 (QUARNEX_DATE)
  // A scripted date: the local date was dateSeconds (UTC fields) when the
  // clock read dateClockMicros, and follows the clock from there.
  int dateSet;
  int64_t dateSeconds;
  uint64_t dateClockMicros;
  uint64_t presentedFrames;

  uint8_t keys[256];       // scan codes, bit 7 down
  uint8_t mouseButtons[8]; // bit 7 pressed
  int cursorX, cursorY;    // client pixels
  int padCount;
  PlatformJoystickState pads[8];

  int windowExists;
  int cursorShown;
};

HeadlessState& Headless();
// Resets the state and loads the script named by QUARNEX_SCRIPT (if any).
// A script that cannot be opened or read ends the process with status 2.
void HeadlessReset();
// Replaces the script with events parsed from text; returns the number of
// events, or -1 with a message on stderr for a malformed line.
int HeadlessLoadScriptText(const char* text);
// Applies every event that is due by the current frame count and clock.
// Window events (close, activation, wheel) are posted as messages.
void HeadlessApplyDueEvents();
// Advances the virtual clock.
void HeadlessAdvanceMicros(uint64_t micros);

// Whether the caller is the process's first thread, the one the game runs on.
bool HeadlessOnMainThread();

// Presses between reads: the window's pump calls HeadlessBeginPump before it
// applies events; the reads show the state with the presses since the last read.
void HeadlessBeginPump();
void HeadlessClearLatches();
void HeadlessReadKeys(uint8_t keys[256]);
void HeadlessReadMouseButtons(uint8_t buttons[8]);
void HeadlessReadPad(int index, PlatformJoystickState* out);
// Where the script's window events go (null: the headless message queue);
// the SDL back end, when it plays a script, takes them into its own queue.
void HeadlessSetMessageSink(void (*post)(const PlatformMessage*));

}  // namespace qx

#endif
