#include <gtest/gtest.h>

#include <string.h>

#include "runtime/runtime.h"

// The pure colour-format operation needs no running runtime.
TEST(ColorFormat, MagentaPacksIntoThe32BitLayout) {
  ColorFormat f;
  ASSERT_EQ(CreateColorFormat(&f, 32, 0xFF0000, 0xFF00, 0xFF, 0), 0);
  EXPECT_EQ(f.UnusedMask, 0xFF000000u);
  EXPECT_EQ(f.RedShift, 16);
  EXPECT_EQ(f.GreenBits, 8);
}

TEST(PixelFormatRecord, FillsTheClassicLayoutWithoutAnAlphaFlag) {
  PixelFormatRecord r;
  memset(&r, 0xAB, sizeof(r));
  ASSERT_EQ(FillPixelFormatRecord(&r, 32, 0xFF0000, 0xFF00, 0xFF, static_cast<int>(0xFF000000u)), 0);
  static_assert(sizeof(PixelFormatRecord) == 32, "32-byte record");
  EXPECT_EQ(r.Size, 32u);
  EXPECT_EQ(r.Flags, 0x40u);
  EXPECT_EQ(r.FourCC, 0u);
  EXPECT_EQ(r.RGBBitCount, 32u);
  EXPECT_EQ(r.RBitMask, 0xFF0000u);
  EXPECT_EQ(r.GBitMask, 0xFF00u);
  EXPECT_EQ(r.BBitMask, 0xFFu);
  EXPECT_EQ(r.RGBAlphaBitMask, 0xFF000000u);
}
