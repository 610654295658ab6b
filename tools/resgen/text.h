// Text drawn with the Japanese gothic font that fontconfig finds (IPAGothic).
#ifndef QUARNEX_TOOLS_RESGEN_TEXT_H
#define QUARNEX_TOOLS_RESGEN_TEXT_H

#include <functional>
#include <string>

#include "canvas.h"

namespace resgen {

// Finds and opens the font; false (with a message on stderr) when there is none.
bool TextInit();
void TextDone();

enum class Align { kLeft, kCenter, kRight };

struct TextStyle {
  int size = 24;             // pixel size of the em square
  float bold = 0;            // extra stroke weight in pixels
  float tracking = 0;        // extra pixels between characters
  Rgba fill = Col(1, 1, 1);
  // Optional fill by position inside the text box (u, v in 0..1); overrides `fill`.
  std::function<Rgba(float, float)> fillFn;
  float outline = 0;         // outline width in pixels (0: none)
  Rgba outlineColor = Col(0, 0, 0);
  float shadow = 0;          // drop-shadow offset in pixels (0: none)
  Rgba shadowColor = Col(0, 0, 0, 0.6f);
  float glow = 0;            // blur radius of a glow behind the text (0: none)
  Rgba glowColor = Col(1, 1, 1, 0.8f);
};

// Width in pixels of the text as DrawText would set it.
float TextWidth(const std::string& utf8, const TextStyle& style);
// Draws UTF-8 text with its baseline at y; x is the left edge, centre or right edge.
void DrawText(Canvas& canvas, const std::string& utf8, float x, float y, Align align, const TextStyle& style);

}  // namespace resgen

#endif
