#include "runtime/core/window_state.h"

#include <string.h>

#include "runtime/platform/platform.h"

namespace qx {

WindowState& GetWindowState() {
  static WindowState state;
  return state;
}

void ResetWindowStateKeepingSettings() {
  WindowState& ws = GetWindowState();
  WindowState kept;
  memcpy(&kept, &ws, sizeof(ws));
  memset(&ws, 0, sizeof(ws));
  memcpy(ws.caption, kept.caption, sizeof(ws.caption));
  memcpy(ws.className, kept.className, sizeof(ws.className));
  ws.logDisabled = kept.logDisabled;
  memcpy(ws.logFileName, kept.logFileName, sizeof(ws.logFileName));
  ws.runWhileInactive = kept.runWhileInactive;
  ws.iconId = kept.iconId;
  ws.windowed = kept.windowed;
  memcpy(ws.StartDirectory, kept.StartDirectory, sizeof(ws.StartDirectory));
  // Set by earlier start-up steps; the reset must not lose them.
  ws.comInitialised = kept.comInitialised;
  ws.initialising = kept.initialising;
  ws.UsePerformanceCounter = kept.UsePerformanceCounter;
  ws.counterFrequency = kept.counterFrequency;
  ws.osCode = kept.osCode;
  ws.cpuMHz = kept.cpuMHz;
  ws.hasTsc = kept.hasTsc;
  ws.hasMmx = kept.hasMmx;
  memcpy(ws.cpuName, kept.cpuName, sizeof(ws.cpuName));
}

bool OnMainThread() {
  const WindowState& ws = GetWindowState();
  return ws.mainThreadId != 0 && Os().CurrentThreadId() == ws.mainThreadId;
}

int StoreCharacter(unsigned char code) {
  WindowState& ws = GetWindowState();
  int next = ws.charWrite + 1 == 1025 ? 0 : ws.charWrite + 1;
  if (next == ws.charRead) return 0;
  ws.charBuffer[ws.charWrite] = code;
  ws.charWrite = next;
  return 1;
}

}  // namespace qx
