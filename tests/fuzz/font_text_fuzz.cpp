// Arbitrary Shift-JIS bytes through the font text path: measuring, drawing
// across and down, in a plain, an edged and an anti-aliased font, and in the
// Korean character set, at positions partly off the screen.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/window_state.h"
#include "runtime/graphics/font.h"
#include "runtime/platform/platform.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

FontHandle g_fonts[4] = {-1, -1, -1, -1};

void WriteSeeds(const char* dir) {
  auto seed = [dir](const char* name, const std::string& text) {
    std::vector<uint8_t> bytes = {0, 10, 10};
    bytes.insert(bytes.end(), text.begin(), text.end());
    qxfuzz::WriteSeed(dir, name, bytes);
  };
  seed("ascii", "Score 120 / Hi 300");
  // "ストーン" and "得点" in Shift-JIS, then half-width katakana.
  seed("double-byte", "\x83\x58\x83\x67\x81\x5B\x83\x93 \x93\xBE\x93\x5F \xB1\xB2\xB3");
  seed("lead-at-end", "abc\x83");
  seed("user-defined", "\xF0\x40\xFC\xFC\x81\x7F");
  seed("line-ends", "a\nb\r\n\t\x82\xA0");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* seeds = qxfuzz::SeedDirectory()) WriteSeeds(seeds);
  qx::SelectPlatform(&qx::kHeadlessPlatform);
  qx::WindowState& ws = qx::GetWindowState();
  ws.windowed = 1;
  ws.hasMainWindow = 1;
  ws.windowActive = 1;
  ws.runWhileInactive = 1;
  if (qx::SetScreenMode(320, 240, 32, 60) != 0 || qx::InitGraphics() != 0) return 0;
  // The font system's end releases FreeType and fontconfig before the leak check.
  atexit(qx::EndGraphics);
  g_fonts[0] = qx::GetDefaultFont();
  g_fonts[1] = qx::CreateFontToHandle(nullptr, 12, 4, qx::kFontEdge, -1, 2, 1);
  g_fonts[2] = qx::CreateFontToHandle(nullptr, 20, 8, qx::kFontAntialiasing, -1, -1, 0);
  g_fonts[3] = qx::CreateFontToHandle(nullptr, 14, 4, qx::kFontNormal, 2, -1, 0);
  return 0;
}

// Byte 0 picks the font and the direction, bytes 1 and 2 the position; the
// rest is the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const FontHandle font = g_fonts[data[0] & 3];
  const int vertical = (data[0] >> 2) & 1;
  const int x = static_cast<int8_t>(data[1]) * 3;
  const int y = static_cast<int8_t>(data[2]) * 2;
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
  qx::GetFontStringWidth(text.data(), static_cast<int>(text.size()), font);
  qx::GetFontStringWidth(text.c_str(), -1, font);
  qx::DrawFontString(x, y, text.c_str(), 0xFFFFFF, font, 0x102030, vertical);
  return 0;
}
