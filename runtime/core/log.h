// "Log.txt" with time stamps and indentation, and the debugger output.
#ifndef QUARNEX_RUNTIME_CORE_LOG_H
#define QUARNEX_RUNTIME_CORE_LOG_H

#include <stddef.h>

namespace qx {

// Deletes and recreates the log file, resets indentation and the time origin.
void StartLog();
// Appends Shift-JIS text; always returns -1.
int LogWrite(const char* text);
// Formats into 1024 bytes, appends a line feed, writes; returns -1.
int LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes like LogPrintf, and the same line in UTF-8 to standard error even
// when the log file is off: a file that could not be loaded is always reported.
int LogLoadFailure(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formats into 1024 bytes and writes without a line feed, so the line stays open.
int LogText(const char* format, ...) __attribute__((format(printf, 1, 2)));
int LogIndentIncrease();
int LogIndentDecrease();
int LogIndentLevel();
// Writes every lone line feed of text as CR LF into out (room for twice the
// length plus one), keeping double-byte characters whole; returns the length.
size_t ConvertLineFeeds(const char* text, char* out);

}  // namespace qx

#endif
