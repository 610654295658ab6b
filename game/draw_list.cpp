#include "game/draw_list.h"

namespace {

DrawCommand g_overflow;

DrawCommand& Append(DrawList& list, int op, int x, int y, GraphHandle graph) {
  DrawCommand* command = &g_overflow;
  if (list.count < DrawList::kCapacity) command = &list.items[list.count++];
  *command = DrawCommand{};
  command->op = op;
  command->x = x;
  command->y = y;
  command->scale = 1.0;
  command->graph = graph;
  command->mask = -1;
  return *command;
}

}  // namespace

DrawCommand& AddScreenRect(DrawList& list, int color) {
  DrawCommand& command = Append(list, kDrawScreenRect, 0, 0, -1);
  command.color = color;
  return command;
}

DrawCommand& AddAt(DrawList& list, int x, int y, GraphHandle graph) {
  return Append(list, kDrawAt, x, y, graph);
}

DrawCommand& AddRotated(DrawList& list, int x, int y, double scale, double angle, GraphHandle graph) {
  DrawCommand& command = Append(list, kDrawRotated, x, y, graph);
  command.scale = scale;
  command.angle = angle;
  return command;
}

DrawCommand& AddMasked(DrawList& list, int x, int y, GraphHandle graph, GraphHandle mask, int border,
                       int range) {
  DrawCommand& command = Append(list, kDrawMasked, x, y, graph);
  command.mask = mask;
  command.border = border;
  command.range = range;
  return command;
}

void WithAlpha(DrawCommand& command, int alpha) {
  command.blended = 1;
  command.alpha = alpha;
}

void IssueDrawList(const DrawList& list) {
  for (int i = 0; i < list.count; ++i) {
    const DrawCommand& c = list.items[i];
    if (c.blended) SetBlendMode(1, c.alpha);
    switch (c.op) {
      case kDrawScreenRect:
        DrawRectangle(0, 0, 800, 600, c.color, 1);
        break;
      case kDrawAt:
        DrawGraphAt(c.x, c.y, c.graph, 1);
        break;
      case kDrawRotated:
        DrawGraphRotated(c.x, c.y, c.scale, c.angle, c.graph, 1, 0);
        break;
      case kDrawMasked:
        DrawGraphBlendMasked(c.x, c.y, c.graph, 1, c.mask, c.border, c.range);
        break;
      default:
        break;
    }
    if (c.blended) SetBlendMode(0, 0);
  }
}
