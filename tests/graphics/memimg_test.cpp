#include <gtest/gtest.h>

#include "runtime/graphics/memimg.h"

namespace {


using qx::MEMIMG;

TEST(ColorFormatTest, PacksAndUnpacksTheSharedLayouts) {
  struct {
    const char* what;
    const ColorFormat* format;
    int r, g, b, a;
    uint32_t packed;
  } cases[] = {
      {"32-bit, unused top byte set", qx::GetMemImageFormat(qx::kPixel32, 0, 0), 255, 0, 255, 0, 0xFFFF00FFu},
      {"32-bit with alpha", qx::GetMemImageFormat(qx::kPixel32, 1, 0), 255, 0, 255, 0x80, 0x80FF00FFu},
      {"16-bit", qx::GetMemImageFormat(qx::kPixel16, 0, 0), 255, 0, 255, 0, 0xF81Fu},
      {"16-bit with alpha", qx::GetMemImageFormat(qx::kPixel16, 1, 0), 255, 0, 255, 0x40, 0xFF40F81Fu},
      {"16-bit narrows by shifting", qx::GetMemImageFormat(qx::kPixel16, 0, 0), 0x87, 0x43, 0x0F, 0,
       (0x10u << 11) | (0x10u << 5) | 0x01u},
  };
  for (auto& c : cases) EXPECT_EQ(qx::PackColor(c.format, c.r, c.g, c.b, c.a), c.packed) << c.what;

  int r, g, b, a;
  qx::UnpackColor(qx::GetMemImageFormat(qx::kPixel16, 0, 0), 0xF81F, &r, &g, &b, &a);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 0);
  EXPECT_EQ(b, 255);
  EXPECT_EQ(a, 0);
  // 16 of 31 widens to 16 * 255 / 31 = 131 (integer division).
  qx::UnpackColor(qx::GetMemImageFormat(qx::kPixel16, 0, 0), 16u << 11, &r, &g, &b, &a);
  EXPECT_EQ(r, 131);
}

TEST(ColorFormatTest, BuildsPositionsWidthsAndUnusedBits) {
  ColorFormat f;
  qx::BuildColorFormat(&f, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  EXPECT_EQ(f.BytesPerPixel, 4);
  EXPECT_EQ(f.UnusedMask, 0xFF000000u);
  EXPECT_EQ(f.UnusedShift, 24);
  EXPECT_EQ(f.UnusedBits, 8);
  qx::BuildColorFormat(&f, 16, 0x7C00, 0x3E0, 0x1F, 0);
  EXPECT_EQ(f.RedShift, 10);
  EXPECT_EQ(f.RedBits, 5);
  EXPECT_EQ(f.UnusedMask, 0x8000u);
  qx::BuildColorFormat(&f, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000);
  EXPECT_EQ(f.GreenShift, 10);
  EXPECT_EQ(f.BlueBits, 10);
  EXPECT_EQ(f.AlphaBits, 2);
  EXPECT_EQ(f.UnusedMask, 0u);
  // A palettized layout reads its palette entry before the masks.
  qx::BuildColorFormat(&f, 8, 0xFF0000, 0xFF00, 0xFF, 0);
  f.PaletteTable[5 * 4 + 0] = 30;
  f.PaletteTable[5 * 4 + 1] = 20;
  f.PaletteTable[5 * 4 + 2] = 10;
  int r, g, b, a;
  qx::UnpackColor(&f, 5, &r, &g, &b, &a);
  EXPECT_EQ(r, 10);
  EXPECT_EQ(g, 20);
  EXPECT_EQ(b, 30);
}

TEST(MemImageTest, PitchBytesAndForcedFlags) {
  struct {
    int width, type, palette, alpha;
    int pitch, pitchShift, bytes, keptPalette, keptAlpha;
  } cases[] = {
      {3, qx::kPixel32, 0, 0, 16, 4, 4, 0, 0},   {5, qx::kPixel32, 0, 0, 32, 5, 4, 0, 0},
      {5, qx::kPixel16, 0, 0, 16, 4, 2, 0, 0},   {5, qx::kPixel16, 0, 1, 32, 5, 4, 0, 1},
      {17, qx::kPixel32, 1, 1, 32, 5, 1, 1, 0},  {20, qx::kPixelMask8, 1, 1, 32, 5, 1, 0, 0},
      {12, qx::kPixel32, 0, 0, 48, -1, 4, 0, 0}, {3, qx::kPixelDepth16, 0, 1, 16, 4, 2, 0, 0},
  };
  for (auto& c : cases) {
    MEMIMG img{};
    ASSERT_EQ(qx::CreateMemImage(&img, c.width, 2, -1, 0, c.type, c.palette, c.alpha, false), 0);
    EXPECT_EQ(img.pitch, c.pitch) << c.width;
    EXPECT_EQ(img.pitchShift, c.pitchShift) << c.width;
    EXPECT_EQ(img.format->BytesPerPixel, c.bytes) << c.width << " type " << c.type;
    EXPECT_EQ(img.paletteFlag, c.keptPalette);
    EXPECT_EQ(img.alphaFlag, c.keptAlpha);
    EXPECT_EQ(img.validMarker, qx::kMemImgValid);
    // Creating over a valid image fails and leaves it intact.
    EXPECT_EQ(qx::CreateMemImage(&img, 1, 1, -1, 0, c.type, 0, 0, false), -1);
    EXPECT_EQ(img.width, c.width);
    qx::ReleaseMemImage(&img);
    EXPECT_NE(img.validMarker, qx::kMemImgValid);
    qx::ReleaseMemImage(&img);  // releasing twice does nothing
  }
}

TEST(MemImageTest, HelpersBorrowedBuffersAndAbsurdSizes) {
  MEMIMG img{};
  ASSERT_EQ(qx::CreateMemImage(&img, 10, 4, -1, 0, qx::kPixel16, 0, 1, true), 0);
  EXPECT_EQ(img.premultipliedFlag, 1);
  EXPECT_EQ(img.runTableFlag, 1);
  EXPECT_NE(img.premultiplied, nullptr);
  qx::ReleaseMemImage(&img);

  uint8_t buffer[64] = {};
  MEMIMG borrowed{};
  ASSERT_EQ(qx::CreateMemImage(&borrowed, 4, 2, 32, 0, qx::kPixel32, 0, 0, false, buffer), 0);
  EXPECT_EQ(borrowed.borrowedFlag, 1);
  EXPECT_EQ(borrowed.pixels, buffer);
  qx::ReleaseMemImage(&borrowed);  // must not free the caller's buffer

  MEMIMG huge{};
  EXPECT_EQ(qx::CreateMemImage(&huge, 70000, 70000, -1, 0, qx::kPixel32, 0, 0, false), -1);
  EXPECT_NE(huge.validMarker, qx::kMemImgValid);
}

TEST(MemImageTest, ViewSharesPixelsKeyAndPalette) {
  MEMIMG src{};
  ASSERT_EQ(qx::CreateMemImage(&src, 8, 6, -1, 0xFFFF00FF, qx::kPixel32, 0, 0, false), 0);
  MEMIMG view{};
  qx::MemImageView(&view, &src, 3, 2, 4, 3);
  EXPECT_EQ(view.pixels, src.pixels + 2 * src.pitch + 12);
  EXPECT_EQ(view.colorKey, 0xFFFF00FFu);
  EXPECT_EQ(view.pitch, src.pitch);
  EXPECT_EQ(view.width, 4);
  EXPECT_EQ(view.borrowedFlag, 1);
  qx::ReleaseMemImage(&src);

  MEMIMG pal{};
  ASSERT_EQ(qx::CreateMemImage(&pal, 8, 2, -1, 0, qx::kPixel32, 1, 0, false), 0);
  qx::MemImageView(&view, &pal, 2, 1, 2, 1);
  EXPECT_EQ(view.pixels, pal.pixels + pal.pitch + 2);
  static_cast<uint32_t*>(pal.palette)[7] = 0x123456;
  EXPECT_EQ(static_cast<uint32_t*>(view.palette)[7], 0x123456u);
  qx::ReleaseMemImage(&pal);
}

}  // namespace
