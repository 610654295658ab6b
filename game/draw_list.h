// A frame's drawing as a short list of commands: the scenes fill it from
// their state, then issue it. Tests read the list instead of the screen.
#ifndef QUARNEX_GAME_DRAW_LIST_H
#define QUARNEX_GAME_DRAW_LIST_H

#include "runtime/runtime.h"

enum DrawOp {
  kDrawScreenRect = 1,  // full screen, filled with colour
  kDrawAt,              // top-left at (x, y)
  kDrawRotated,         // centred at (x, y), scaled and rotated
  kDrawMasked,          // top-left at (x, y) through a blend mask
};

struct DrawCommand {
  int op;
  int blended;  // 1: SetBlendMode(1, alpha) around the draw
  int alpha;    // the value handed to SetBlendMode; it clamps
  int x, y;
  double scale;
  double angle;  // radians
  GraphHandle graph;
  int color;
  GraphHandle mask;
  int border, range;
};

struct DrawList {
  static constexpr int kCapacity = 128;
  DrawCommand items[kCapacity];
  int count = 0;
};

// Each returns the appended command (extra fields may be filled in), or a
// scratch record when the list is full, so a long frame cannot overrun it.
DrawCommand& AddScreenRect(DrawList& list, int color);
DrawCommand& AddAt(DrawList& list, int x, int y, GraphHandle graph);
DrawCommand& AddRotated(DrawList& list, int x, int y, double scale, double angle, GraphHandle graph);
DrawCommand& AddMasked(DrawList& list, int x, int y, GraphHandle graph, GraphHandle mask, int border, int range);
void WithAlpha(DrawCommand& command, int alpha);

void IssueDrawList(const DrawList& list);

#endif
