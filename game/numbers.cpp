#include "game/numbers.h"

#include "game/resources.h"

void AddNumber(DrawList& list, const GraphHandle digits[10], int spacing, int value, int x, int y) {
  // A damaged save file can hold a negative score; a negative digit index would read outside the table.
  if (value < 0) value = 0;
  int count = 1;
  for (long long power = 10; power <= value; power *= 10) ++count;
  for (int i = 0; i < count; ++i) {
    AddAt(list, x, y, digits[value % 10]);
    x -= spacing;
    value /= 10;
  }
}

void DrawNumberSmall(int value, int x, int y) {
  DrawList list;
  AddNumber(list, TitleRes.smallDigits, kSmallDigitSpacing, value, x, y);
  IssueDrawList(list);
}

void DrawNumberLarge(int value, int x, int y) {
  DrawList list;
  AddNumber(list, TitleRes.largeDigits, kLargeDigitSpacing, value, x, y);
  IssueDrawList(list);
}
