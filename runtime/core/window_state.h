// WindowState: the process-wide record of the window, its settings and the
// system facts. The pre-start settings survive the reset at window creation.
#ifndef QUARNEX_RUNTIME_CORE_WINDOW_STATE_H
#define QUARNEX_RUNTIME_CORE_WINDOW_STATE_H

#include <stdint.h>

namespace qx {

struct WindowState {
  // Settings given before InitRuntime (kept through the reset).
  char caption[256];
  char className[256];
  int logDisabled;
  char logFileName[256];
  int runWhileInactive;
  int iconId;
  int windowed;
  char StartDirectory[260];

  // System facts.
  int mainThreadId;
  uint64_t totalMemory;
  uint64_t availableMemory;
  int desktopWidth, desktopHeight, desktopDepth;
  int osCode;
  int cpuMHz;
  int hasTsc, hasMmx;
  char cpuName[64];
  int UsePerformanceCounter;
  uint64_t counterFrequency;
  int timerPeriodMin;
  int oemCodePageFlag;  // 2 for code page 949, else 1

  // Run-time state.
  int hasMainWindow;
  int QuitRequested;
  int closePosted;
  int destroyed;
  int windowActive;
  int initialising;
  int initialised;
  int ending;
  int comInitialised;
  int creatingWindow;
  int messageThreadStarted;
  volatile int messageThreadEnded;
  int displayChangeSeen;
  int modeChangeInProgress;
  int stylesApplied;
  int windowedStyle;
  int painting;
  int inCharService;
  int clientLeft, clientTop, clientRight, clientBottom;
  int cursorVisibleRequested;
  int cursorVisibleInForce;
  int wheelCount;
  unsigned char charBuffer[1025];
  int charWrite, charRead;
  int clientWidth, clientHeight;  // requested client size of the window
  void* messageThread;            // PlatformThread* of the MessageThread
  int messageThreadId;
};

WindowState& GetWindowState();
// Window creation's reset: zeroes everything but the pre-start settings and
// the facts that must outlive it (start directory, COM flag, initialising flag).
void ResetWindowStateKeepingSettings();
// True when the caller is the thread that created the window.
bool OnMainThread();
// Character buffer (text input, not used by the game): 1 stored, 0 full.
int StoreCharacter(unsigned char code);

}  // namespace qx

#endif
