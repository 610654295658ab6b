// The process-wide draw settings every drawing reads.
#ifndef QUARNEX_RUNTIME_GRAPHICS_DRAW_STATE_H
#define QUARNEX_RUNTIME_GRAPHICS_DRAW_STATE_H

#include <stdint.h>

#include "runtime/graphics/graph.h"

namespace qx {

struct DrawState {
  int blendMode;
  int blendParam;
  uint32_t brightness;        // 0x00RRGGBB
  uint32_t transparentColor;  // 0x00RRGGBB
  int blendMaskGraph;         // -1 none
  int blendMaskBorder;
  int blendMaskRange;
  uint8_t blendMaskTable[256];
  int drawLeft, drawTop, drawRight, drawBottom;
  float drawLeftF, drawTopF, drawRightF, drawBottomF;
  int drawAreaEmpty;
  uint32_t diffuseColor;
};

DrawState& GetDrawState();
// Defaults set by the graph system's start (the transparent colour is kept).
void ResetDrawState();

int SetBrightness(int r, int g, int b);
void SetBrightnessValue(uint32_t rgb);
int SetBlendMask(GraphHandle mask, int border, int range);
int SetClipRect(int left, int top, int right, int bottom);
void GetClipRect(Rect* out);
int CheckBlendMaskSize(const GraphRecord* graph);
// The 256 per-mask-value weights for a border and range already in 0..255.
void BuildBlendMaskTable(uint8_t table[256], int border, int range);

}  // namespace qx

#endif
