#include <gtest/gtest.h>
#include <zlib.h>

#include "graphics/image_test_util.h"

namespace {

using qxtest::DecodeCase;

class PngDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(PngDecode, MatchesIndependentDecoder) { qxtest::ExpectDecodesLikeFixture(GetParam()); }

// Palette without transparency stays indexed; transparency turns anything
// into four channels; grey with alpha keeps only its grey.
INSTANTIATE_TEST_SUITE_P(Variants, PngDecode,
                         testing::Values(DecodeCase{"png_rgb.png", qx::DecodePng, 3, 0, false},
                                         DecodeCase{"png_rgba.png", qx::DecodePng, 4, 0, true},
                                         DecodeCase{"png_interlaced.png", qx::DecodePng, 4, 0, true},
                                         DecodeCase{"png_grey.png", qx::DecodePng, 1, 0, false},
                                         DecodeCase{"png_grey2.png", qx::DecodePng, 1, 0, false},
                                         DecodeCase{"png_grey_alpha.png", qx::DecodePng, 2, 0, false},
                                         DecodeCase{"png_pal.png", qx::DecodePng, 1, 0, false},
                                         DecodeCase{"png_pal4.png", qx::DecodePng, 1, 0, false},
                                         DecodeCase{"png_pal_trns.png", qx::DecodePng, 4, 0, true},
                                         DecodeCase{"png_rgb16.png", qx::DecodePng, 3, 0, false},
                                         DecodeCase{"png_rgba16.png", qx::DecodePng, 4, 0, true}),
                         qxtest::CaseName);

TEST(PngDecodeLayout, PaletteKeepsFileEntriesAndGreyAlphaIsOpaque) {
  qxtest::OwnedImage pal;
  ASSERT_EQ(qxtest::DecodeBytes(qxtest::ReadFixture("png_pal.png"), &pal.image, qx::DecodePng), 0);
  EXPECT_EQ(pal.image.format.ColorBitDepth, 8);
  EXPECT_EQ(pal.image.format.RedMask, 0xFF0000u);
  EXPECT_EQ(pal.image.format.UnusedMask, 0xFF000000u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(pal.image.format.PaletteTable[i * 4 + 3], 0) << i;

  qxtest::OwnedImage ga;
  ASSERT_EQ(qxtest::DecodeBytes(qxtest::ReadFixture("png_grey_alpha.png"), &ga.image, qx::DecodePng), 0);
  EXPECT_EQ(ga.image.format.AlphaBits, 0);
  EXPECT_EQ(ga.image.format.UnusedMask, 0xFF00u);
}

std::vector<uint8_t> WithIhdrSize(std::vector<uint8_t> png, uint32_t width, uint32_t height) {
  auto be32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) png[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  };
  be32(16, width);
  be32(20, height);
  be32(29, static_cast<uint32_t>(crc32(0, png.data() + 12, 17)));
  return png;
}

TEST(PngDecodeDamaged, RefusesBrokenAndAbsurdFiles) {
  std::vector<uint8_t> good = qxtest::ReadFixture("png_rgba.png");
  ASSERT_GT(good.size(), 60u);
  std::vector<uint8_t> badCrc = good;
  badCrc[20] ^= 1;
  std::vector<uint8_t> halfData(good.begin(), good.begin() + good.size() / 2);
  std::vector<uint8_t> noSignature = good;
  noSignature[1] = 'Q';
  std::vector<uint8_t> corruptData = good;
  for (size_t i = 45; i < 60; ++i) corruptData[i] ^= 0x5A;
  struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"header checksum", badCrc},
      {"truncated image data", halfData},
      {"signature", noSignature},
      {"corrupt compressed data", corruptData},
      {"40000 pixels wide", WithIhdrSize(good, 40000, 5)},
      {"20000 x 20000", WithIhdrSize(good, 20000, 20000)},
      {"claims more rows than stored", WithIhdrSize(good, 7, 500)},
  };
  for (auto& c : cases) EXPECT_TRUE(qxtest::DecodeRefuses(c.bytes, qx::DecodePng)) << c.what;
}

TEST(PngDecodeDamaged, EveryPrefixHandled) {
  qxtest::ExpectPrefixesHandled("png_pal_trns.png", qx::DecodePng);
  qxtest::ExpectPrefixesHandled("png_grey2.png", qx::DecodePng);
}

}  // namespace
