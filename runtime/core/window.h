// The main window, its message processing and the message thread.
#ifndef QUARNEX_RUNTIME_CORE_WINDOW_H
#define QUARNEX_RUNTIME_CORE_WINDOW_H

#include "runtime/platform/platform.h"

namespace qx {

// Window creation of start-up: double-start check, window, message thread. 0 or -1.
int CreateMainWindow();
// The window part of shutdown: close, wait for the message thread, release the instance lock.
void EndMainWindow();
// The shutdown sequence shared by EndRuntime, a failed InitRuntime and FatalShutdown.
void RunEndSequence();
// Handles one message as the window procedure does.
void WindowProcedure(const PlatformMessage& message);
void FitWindowToClient();
void ApplyWindowStyle();

}  // namespace qx

#endif
