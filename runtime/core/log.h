// "Log.txt" with time stamps and indentation, and the debugger output.
#ifndef QUARNEX_RUNTIME_CORE_LOG_H
#define QUARNEX_RUNTIME_CORE_LOG_H

namespace qx {

// Deletes and recreates the log file, resets indentation and the time origin.
void StartLog();
// Appends Shift-JIS text; always returns -1.
int LogWrite(const char* text);
// Formats into 1024 bytes, appends a line feed, writes; returns -1.
int LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int LogIndentIncrease();
int LogIndentDecrease();

}  // namespace qx

#endif
