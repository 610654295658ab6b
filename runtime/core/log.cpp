#include "runtime/core/log.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/core/cp932.h"
#include "runtime/core/timing.h"
#include "runtime/core/window_state.h"
#include "runtime/platform/platform.h"

namespace qx {
namespace {

int g_indent = 0;
int g_lineOpen = 0;
uint32_t g_timeOrigin = 0;

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The log lives in the start directory; the path is built instead of changing
// the process's directory, which the file reader threads rely on.
bool LogPath(char* out, size_t size) {
  const WindowState& ws = GetWindowState();
  if (ws.StartDirectory[0] == '\0') return false;
  const char* name = ws.logFileName[0] ? ws.logFileName : "Log.txt";
  size_t len = strlen(ws.StartDirectory);
  const char* sep = (len > 0 && ws.StartDirectory[len - 1] == '/') ? "" : "/";
  return snprintf(out, size, "%s%s%s", ws.StartDirectory, sep, name) < static_cast<int>(size);
}

constexpr size_t kLineSize = 1024 + 1;

// At most 1023 characters of the formatted text, then a line feed.
void FormatLine(char* text, const char* format, va_list args) {
  int n = vsnprintf(text, 1024, format, args);
  if (n < 0) n = 0;
  if (n > 1023) n = 1023;
  text[n] = '\n';
  text[n + 1] = '\0';
}

// Standard error takes UTF-8; a byte the code page does not know becomes '?'.
void WriteStandardError(const char* text) {
  char out[kLineSize * 3];
  Cp932ToUtf8(text, out, sizeof(out), '?');
  fputs(out, stderr);
}

}  // namespace

size_t ConvertLineFeeds(const char* text, char* out) {
  size_t o = 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (s[i]) {
    if (IsLeadByte(s[i]) && s[i + 1]) {
      out[o++] = static_cast<char>(s[i++]);
      out[o++] = static_cast<char>(s[i++]);
      continue;
    }
    if (s[i] == '\n') {
      if (i > 0 && s[i - 1] == '\r') {
        // Already CR LF: the writer formatted this text itself.
        size_t rest = strlen(reinterpret_cast<const char*>(s + i));
        memcpy(out + o, s + i, rest);
        o += rest;
        break;
      }
      out[o++] = '\r';
    }
    out[o++] = static_cast<char>(s[i++]);
  }
  out[o] = '\0';
  return o;
}

void StartLog() {
  WindowState& ws = GetWindowState();
  if (ws.logDisabled) return;
  snprintf(ws.logFileName, sizeof(ws.logFileName), "%s", "Log.txt");
  char path[600];
  if (LogPath(path, sizeof(path))) {
    const PlatformOsOps& os = Os();
    os.FileDelete(path);
    PlatformFile* f = os.FileOpen(path, kPlatformFileCreateNew);
    if (f) os.FileClose(f);
  }
  g_indent = 0;
  g_lineOpen = 0;
  g_timeOrigin = TickNow();
}

int LogWrite(const char* text) {
  if (!text) return -1;
  size_t len = strlen(text);
  char small[2048 + 1];
  char* converted = small;
  char* big = nullptr;
  if (len * 2 + 1 > sizeof(small)) {
    big = static_cast<char*>(malloc(len * 2 + 1));
    if (!big) return -1;
    converted = big;
  }
  size_t outLen = ConvertLineFeeds(text, converted);

  const WindowState& ws = GetWindowState();
  char path[600];
  if (!ws.logDisabled && LogPath(path, sizeof(path))) {
    const PlatformOsOps& os = Os();
    PlatformFile* f = os.FileOpen(path, kPlatformFileWriteAppend);
    if (!g_lineOpen) {
      char prefix[64];
      int n = snprintf(prefix, sizeof(prefix), "%d:", static_cast<int>(TickNow() - g_timeOrigin));
      if (f) os.FileWrite(f, prefix, static_cast<size_t>(n));
      for (int i = 0; i < g_indent; ++i) {
        if (f) os.FileWrite(f, "\t", 1);
        os.DebugOutput("\t");
      }
    }
    if (f) {
      os.FileWrite(f, converted, outLen);
      os.FileClose(f);
    }
    os.DebugOutput(converted);
    g_lineOpen = (outLen == 0 || converted[outLen - 1] != '\n') ? 1 : 0;
  }
  free(big);
  return -1;
}

namespace {

int LogFormatted(bool toStandardError, const char* format, va_list args) {
  char text[kLineSize];
  FormatLine(text, format, args);
  if (toStandardError) WriteStandardError(text);
  return LogWrite(text);
}

}  // namespace

int LogPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = LogFormatted(false, format, args);
  va_end(args);
  return result;
}

int LogLoadFailure(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = LogFormatted(true, format, args);
  va_end(args);
  return result;
}

int LogText(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  return LogWrite(text);
}

int LogIndentIncrease() {
  g_indent++;
  return 0;
}

int LogIndentDecrease() {
  if (g_indent > 0) g_indent--;
  return 0;
}

int LogIndentLevel() { return g_indent; }

}  // namespace qx
