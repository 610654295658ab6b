#include <gtest/gtest.h>

#include "graphics/image_test_util.h"

namespace {

using qxtest::DecodeCase;

class BmpDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(BmpDecode, MatchesIndependentDecoder) { qxtest::ExpectDecodesLikeFixture(GetParam()); }

// 4 and 8 bits (plain or run-length) stay indexed; 1, 16 and 32 bits and bit
// fields become rgb-24. Narrow channels may round differently by one.
INSTANTIATE_TEST_SUITE_P(Variants, BmpDecode,
                         testing::Values(DecodeCase{"bmp_1.bmp", qx::DecodeBmp, 3, 0, false},
                                         DecodeCase{"bmp_4.bmp", qx::DecodeBmp, 1, 0, false},
                                         DecodeCase{"bmp_8.bmp", qx::DecodeBmp, 1, 0, false},
                                         DecodeCase{"bmp_8_topdown.bmp", qx::DecodeBmp, 1, 0, false},
                                         DecodeCase{"bmp_8_v5.bmp", qx::DecodeBmp, 1, 0, false},
                                         DecodeCase{"bmp_24.bmp", qx::DecodeBmp, 3, 0, false},
                                         DecodeCase{"bmp_24_topdown.bmp", qx::DecodeBmp, 3, 0, false},
                                         DecodeCase{"bmp_24_v5.bmp", qx::DecodeBmp, 3, 0, false},
                                         DecodeCase{"bmp_16.bmp", qx::DecodeBmp, 3, 1, false},
                                         DecodeCase{"bmp_16_565.bmp", qx::DecodeBmp, 3, 1, false},
                                         DecodeCase{"bmp_32.bmp", qx::DecodeBmp, 3, 0, false},
                                         DecodeCase{"bmp_32_fields.bmp", qx::DecodeBmp, 3, 0, false},
                                         DecodeCase{"bmp_rle8.bmp", qx::DecodeBmp, 1, 0, false},
                                         DecodeCase{"bmp_rle4.bmp", qx::DecodeBmp, 1, 0, false}),
                         qxtest::CaseName);

TEST(BmpDecodeLayout, RowsArePaddedToFourBytes) {
  struct {
    const char* file;
    int pitch;
  } cases[] = {{"bmp_8.bmp", 8}, {"bmp_4.bmp", 8}, {"bmp_rle4.bmp", 8}, {"bmp_24.bmp", 24}, {"bmp_1.bmp", 24}};
  for (auto& c : cases) {
    qxtest::OwnedImage img;
    ASSERT_EQ(qxtest::DecodeBytes(qxtest::ReadFixture(c.file), &img.image, qx::DecodeBmp), 0) << c.file;
    EXPECT_EQ(img.image.pitch, c.pitch) << c.file;
  }
}

// Offsets into the 8-bit fixture: file header 14, information header 40.
constexpr size_t kWidth = 18, kHeight = 22, kBits = 28, kCompression = 30, kColorsUsed = 46;

TEST(BmpDecodeDamaged, RefusesLyingHeaders) {
  std::vector<uint8_t> good = qxtest::ReadFixture("bmp_8.bmp");
  ASSERT_GT(good.size(), 100u);
  auto with = [&](size_t at, uint32_t value, int bytes) {
    std::vector<uint8_t> b = good;
    if (bytes == 4) qxtest::Put32(b, at, value);
    else qxtest::Put16(b, at, value);
    return b;
  };
  struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"width over 32768", with(kWidth, 40000, 4)},
      {"height over 32768 (top-down)", with(kHeight, static_cast<uint32_t>(-40000), 4)},
      {"20000 x 20000: more than 1 GiB", [&] {
         auto b = with(kWidth, 20000, 4);
         qxtest::Put32(b, kHeight, 20000);
         return b;
       }()},
      {"more rows than stored", with(kHeight, 300, 4)},
      {"zero width", with(kWidth, 0, 4)},
      {"negative width", with(kWidth, static_cast<uint32_t>(-7), 4)},
      {"7 bits", with(kBits, 7, 2)},
      {"run-length 8 with 24 bits", [&] {
         auto b = with(kCompression, 1, 4);
         qxtest::Put16(b, kBits, 24);
         return b;
       }()},
      {"unknown compression", with(kCompression, 9, 4)},
      {"pixel offset past the end", with(10, 100000, 4)},
      {"not BM", with(0, 0x4142, 2)},
  };
  for (auto& c : cases) EXPECT_TRUE(qxtest::DecodeRefuses(c.bytes, qx::DecodeBmp)) << c.what;

  // A colour count larger than the table is not a reason to read past it.
  qxtest::OwnedImage img;
  EXPECT_EQ(qxtest::DecodeBytes(with(kColorsUsed, 0xFFFFFFFF, 4), &img.image, qx::DecodeBmp), 0);
}

std::vector<uint8_t> RleFile(const std::vector<uint8_t>& codes, int width, int height) {
  std::vector<uint8_t> b = qxtest::ReadFixture("bmp_rle8.bmp");
  uint32_t offset = b[10] | (b[11] << 8) | (b[12] << 16) | (static_cast<uint32_t>(b[13]) << 24);
  b.resize(offset);
  b.insert(b.end(), codes.begin(), codes.end());
  qxtest::Put32(b, kWidth, static_cast<uint32_t>(width));
  qxtest::Put32(b, kHeight, static_cast<uint32_t>(height));
  return b;
}

TEST(BmpDecodeDamaged, RunLengthCodesStayInsideThePicture) {
  struct {
    const char* what;
    std::vector<uint8_t> codes;
    bool accepted;
  } cases[] = {
      {"run longer than the row", {255, 3, 0, 0, 255, 4, 0, 1}, true},
      {"move far right and down", {0, 2, 250, 250, 5, 1, 0, 1}, true},
      {"move then run past the end", {2, 1, 0, 2, 3, 1, 200, 2, 0, 1}, true},
      {"literal longer than the data", {0, 200, 1, 2, 3}, false},
      {"literal past the row", {0, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 1}, true},
      {"no end code", {4, 1, 0, 0, 4, 2}, true},
      {"dangling move", {0, 2, 1}, true},
  };
  for (auto& c : cases) {
    qxtest::OwnedImage img;
    int result = qxtest::DecodeBytes(RleFile(c.codes, 4, 3), &img.image, qx::DecodeBmp);
    EXPECT_EQ(result == 0, c.accepted) << c.what;
    if (result == 0) {
      EXPECT_EQ(img.image.width, 4);
      EXPECT_EQ(img.image.height, 3);
    }
  }
  // Bottom-up: the first decoded row is the last row of the picture, and a
  // move leaves index 0 behind it.
  qxtest::OwnedImage img;
  ASSERT_EQ(qxtest::DecodeBytes(RleFile({2, 5, 0, 0, 0, 2, 1, 0, 1, 7, 0, 1}, 2, 2), &img.image, qx::DecodeBmp), 0);
  EXPECT_EQ(img.image.pixels[img.image.pitch + 0], 5);
  EXPECT_EQ(img.image.pixels[img.image.pitch + 1], 5);
  EXPECT_EQ(img.image.pixels[0], 0);
  EXPECT_EQ(img.image.pixels[1], 7);
}

TEST(BmpDecodeDamaged, EveryPrefixHandled) {
  qxtest::ExpectPrefixesHandled("bmp_rle4.bmp", qx::DecodeBmp);
  qxtest::ExpectPrefixesHandled("bmp_16_565.bmp", qx::DecodeBmp);
  qxtest::ExpectPrefixesHandled("bmp_1.bmp", qx::DecodeBmp);
  // Uncompressed pixels cut short are refused rather than read past the end.
  std::vector<uint8_t> b = qxtest::ReadFixture("bmp_24.bmp");
  b.resize(b.size() - 30);
  EXPECT_TRUE(qxtest::DecodeRefuses(b, qx::DecodeBmp));
}

}  // namespace
