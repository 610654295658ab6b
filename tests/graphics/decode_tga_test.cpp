#include <gtest/gtest.h>

#include "graphics/image_test_util.h"

namespace {

using qxtest::DecodeCase;

class TgaDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(TgaDecode, MatchesIndependentDecoder) { qxtest::ExpectDecodesLikeFixture(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Variants, TgaDecode,
    testing::Values(DecodeCase{"tga_2_24_bl.tga", qx::DecodeTga, 3, 0, false},
                    DecodeCase{"tga_2_24_br.tga", qx::DecodeTga, 3, 0, false},
                    DecodeCase{"tga_2_24_tl.tga", qx::DecodeTga, 3, 0, false},
                    DecodeCase{"tga_2_24_tr.tga", qx::DecodeTga, 3, 0, false},
                    DecodeCase{"tga_10_32_bl.tga", qx::DecodeTga, 4, 0, true},
                    DecodeCase{"tga_10_32_br.tga", qx::DecodeTga, 4, 0, true},
                    DecodeCase{"tga_10_32_tl.tga", qx::DecodeTga, 4, 0, true},
                    DecodeCase{"tga_10_32_tr.tga", qx::DecodeTga, 4, 0, true},
                    DecodeCase{"tga_2_32_footer.tga", qx::DecodeTga, 4, 0, true},
                    DecodeCase{"tga_10_24_footer.tga", qx::DecodeTga, 3, 0, false},
                    DecodeCase{"tga_2_16.tga", qx::DecodeTga, 2, 0, false},
                    DecodeCase{"tga_2_24_id.tga", qx::DecodeTga, 3, 0, false},
                    DecodeCase{"tga_1_map.tga", qx::DecodeTga, 3, 0, false},
                    DecodeCase{"tga_9_map.tga", qx::DecodeTga, 3, 0, false},
                    DecodeCase{"tga_9_map_nofooter.tga", qx::DecodeTga, 3, 0, false}),
    qxtest::CaseName);

// Header offsets.
constexpr size_t kMapFirst = 3, kMapLength = 5, kXOrigin = 8, kWidth = 12, kHeight = 14, kPixelBits = 16;

TEST(TgaDecodeDamaged, RefusesWhatItCannotRead) {
  std::vector<uint8_t> good = qxtest::ReadFixture("tga_2_24_tl.tga");
  auto with = [&](size_t at, uint32_t v, bool byte = false) {
    std::vector<uint8_t> b = good;
    if (byte) b[at] = static_cast<uint8_t>(v);
    else qxtest::Put16(b, at, v);
    return b;
  };
  struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"x origin 1", with(kXOrigin, 1)},
      {"width 4096", with(kWidth, 4096)},
      {"height 4096", with(kHeight, 4096)},
      {"zero width", with(kWidth, 0)},
      {"8-bit pixels", with(kPixelBits, 8, true)},
      {"image type 3", with(2, 3, true)},
      {"image type 11", with(2, 11, true)},
      {"more rows than stored", with(kHeight, 60)},
      {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 10)},
  };
  for (auto& c : cases) EXPECT_TRUE(qxtest::DecodeRefuses(c.bytes, qx::DecodeTga)) << c.what;
}

TEST(TgaDecodeDamaged, ColourMapsAndRunsStayInsideTheirBuffers) {
  // A colour map whose first index and length reach past 256 entries.
  std::vector<uint8_t> map = qxtest::ReadFixture("tga_1_map.tga");
  qxtest::Put16(map, kMapFirst, 250);
  qxtest::OwnedImage shifted;
  EXPECT_EQ(qxtest::DecodeBytes(map, &shifted.image, qx::DecodeTga), 0);
  qxtest::Put16(map, kMapLength, 60000);
  EXPECT_TRUE(qxtest::DecodeRefuses(map, qx::DecodeTga)) << "a map longer than the file";

  // One run packet of 128 values for a 2 x 2 picture.
  std::vector<uint8_t> header(18, 0);
  header[2] = 10;
  qxtest::Put16(header, kWidth, 2);
  qxtest::Put16(header, kHeight, 2);
  header[kPixelBits] = 24;
  header[17] = 0x20;
  std::vector<uint8_t> run = header;
  for (uint8_t b : {0xFF, 1, 2, 3}) run.push_back(b);
  qxtest::OwnedImage img;
  ASSERT_EQ(qxtest::DecodeBytes(run, &img.image, qx::DecodeTga), 0);
  EXPECT_EQ(img.image.pixels[9], 1);
  EXPECT_EQ(img.image.pixels[11], 3);
  // A literal packet of 128 values with only 3 present.
  std::vector<uint8_t> literal = header;
  for (uint8_t b : {0x7F, 1, 2, 3}) literal.push_back(b);
  EXPECT_TRUE(qxtest::DecodeRefuses(literal, qx::DecodeTga));

  qxtest::ExpectPrefixesHandled("tga_9_map.tga", qx::DecodeTga);
  qxtest::ExpectPrefixesHandled("tga_10_32_br.tga", qx::DecodeTga);
}

}  // namespace
