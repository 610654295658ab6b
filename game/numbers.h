// Right-aligned numbers from digit graphs, shared by the title and the play HUD.
#ifndef QUARNEX_GAME_NUMBERS_H
#define QUARNEX_GAME_NUMBERS_H

#include "game/draw_list.h"

constexpr int kSmallDigitSpacing = 23;
constexpr int kLargeDigitSpacing = 45;

// The least significant digit stands at (x, y); the others go left by spacing.
void AddNumber(DrawList& list, const GraphHandle digits[10], int spacing, int value, int x, int y);

void DrawNumberSmall(int value, int x, int y);
void DrawNumberLarge(int value, int x, int y);

#endif
