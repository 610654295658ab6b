// The on-screen log: lines of ScreenPrintf text drawn over every presented
// frame once any text has been written.
#ifndef QUARNEX_RUNTIME_CORE_ONSCREEN_LOG_H
#define QUARNEX_RUNTIME_CORE_ONSCREEN_LOG_H

namespace qx {

constexpr int kOnScreenLogLines = 80;
constexpr int kOnScreenLogLineBytes = 255;
constexpr int kOnScreenLogLineHeight = 16;

int OnScreenLogHasText();
// Draws the visible lines onto the current draw target.
void DrawOnScreenLog();
// After a screen mode change: starts the log again when it was running.
void RestartOnScreenLog();
// Lines on screen: min(screen height / 16, 80).
int OnScreenLogVisibleLines();
// Text of one stored line (0..79), or null.
const char* OnScreenLogLine(int index);
int OnScreenLogCurrentLine();

}  // namespace qx

#endif
