#include <gtest/gtest.h>

#include "runtime/runtime.h"

// The pure colour-format operation needs no running runtime.
TEST(ColorFormat, MagentaPacksIntoThe32BitLayout) {
  ColorFormat f;
  ASSERT_EQ(CreateColorFormat(&f, 32, 0xFF0000, 0xFF00, 0xFF, 0), 0);
  EXPECT_EQ(f.UnusedMask, 0xFF000000u);
  EXPECT_EQ(f.RedShift, 16);
  EXPECT_EQ(f.GreenBits, 8);
}
