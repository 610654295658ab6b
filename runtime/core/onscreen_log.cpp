#include "runtime/core/onscreen_log.h"

#include <string.h>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/window_state.h"
#include "runtime/graphics/font.h"
#include "runtime/graphics/screen.h"

namespace qx {
namespace {

struct OnScreenLogState {
  bool initialised;
  bool hasText;  // once set, stays set for the run
  int lineHeight;
  int tabWidth;
  FontHandle font = -1;
  int fontLost = 1;
  char lines[kOnScreenLogLines][kOnScreenLogLineBytes + 1];
  int line;
  int column;
  int x;
};

OnScreenLogState g_log;

bool IsLeadByte(unsigned char c) {
  if (GetWindowState().oemCodePageFlag == 2) return c >= 0x80;
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

void EnsureFont() {
  if (g_log.fontLost != 1) return;
  g_log.font = CreateFontToHandle(nullptr, g_log.lineHeight, 4, kFontEdge, -1, -1, 0);
  if (g_log.font != -1) {
    SetFontLostFlag(g_log.font, &g_log.fontLost);
  } else {
    g_log.fontLost = 1;
  }
}

int Visible() {
  int rows = GetScreenHeight() / kOnScreenLogLineHeight;
  return rows < kOnScreenLogLines ? rows : kOnScreenLogLines;
}

void NewLine() {
  int visible = Visible();
  if (g_log.line + 1 < visible) {
    g_log.line++;
  } else {
    for (int i = 0; i < g_log.line; ++i) memcpy(g_log.lines[i], g_log.lines[i + 1], sizeof(g_log.lines[i]));
  }
  memset(g_log.lines[g_log.line], 0, sizeof(g_log.lines[g_log.line]));
  g_log.x = 0;
  g_log.column = 0;
}

void AddCharacter(const char* bytes, int n) {
  char one[3] = {bytes[0], n == 2 ? bytes[1] : '\0', '\0'};
  EnsureFont();
  int width = GetFontStringWidth(one, n, g_log.font);
  if (width < 0) width = 0;
  if (g_log.column + n >= kOnScreenLogLineBytes || g_log.x + width >= GetScreenWidth()) NewLine();
  g_log.x += width;
  char* dest = g_log.lines[g_log.line] + g_log.column;
  memcpy(dest, bytes, static_cast<size_t>(n));
  dest[n] = '\0';
  g_log.column += n;
}

bool CanStart() { return ScreenExists() && GetWindowState().hasMainWindow; }

}  // namespace

void InitOnScreenLog() {
  g_log.lineHeight = kOnScreenLogLineHeight;
  g_log.font = -1;
  g_log.fontLost = 1;
  g_log.tabWidth = 4;
  g_log.line = 0;
  g_log.column = 0;
  g_log.x = 0;
  memset(g_log.lines, 0, sizeof(g_log.lines));
  g_log.initialised = true;
  EnsureFont();
}

void EndOnScreenLog() {
  if (!g_log.initialised) return;
  if (g_log.font != -1) {
    // The font may already be gone with the graph system; only a live one is deleted.
    if (g_log.fontLost == 0) DeleteFontHandle(g_log.font);
    g_log.font = -1;
  }
  g_log.fontLost = 1;
  g_log.initialised = false;
}

void RestartOnScreenLog() {
  if (g_log.initialised) InitOnScreenLog();
}

int ScreenPrintfText(const char* text) {
  if (!g_log.initialised) {
    if (!CanStart()) return 0;
    InitOnScreenLog();
  }
  g_log.hasText = true;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
    unsigned char c = *p;
    if (c == '\t') {
      for (int i = 0; i < g_log.tabWidth; ++i) AddCharacter(" ", 1);
      ++p;
    } else if (c == '\n') {
      NewLine();
      ++p;
    } else if (c == 7 || c == 8 || c == 11 || c == 12 || c == 13 || c == '?') {
      ++p;
    } else if (IsLeadByte(c) && p[1] != 0) {
      AddCharacter(reinterpret_cast<const char*>(p), 2);
      p += 2;
    } else {
      AddCharacter(reinterpret_cast<const char*>(p), 1);
      ++p;
    }
  }
  return 0;
}

int OnScreenLogHasText() { return g_log.hasText && g_log.initialised ? 1 : 0; }

void DrawOnScreenLog() {
  if (!g_log.initialised) return;
  EnsureFont();
  if (g_log.font == -1) return;
  int visible = Visible();
  for (int i = 0; i < visible; ++i) {
    if (g_log.lines[i][0] == '\0') continue;
    DrawFontString(0, g_log.lineHeight * i, g_log.lines[i], 0xFFFFFF, g_log.font, 0x000000, 0);
  }
}

int OnScreenLogVisibleLines() { return Visible(); }

const char* OnScreenLogLine(int index) {
  if (index < 0 || index >= kOnScreenLogLines) return nullptr;
  return g_log.lines[index];
}

int OnScreenLogCurrentLine() { return g_log.line; }

}  // namespace qx
