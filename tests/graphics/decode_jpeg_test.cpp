#include <gtest/gtest.h>

#include "graphics/image_test_util.h"

namespace {

using qxtest::DecodeCase;

class JpegDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(JpegDecode, MatchesIndependentDecoder) { qxtest::ExpectDecodesLikeFixture(GetParam()); }

// Both decoders use the same library with default settings; allow for a
// different inverse transform all the same.
INSTANTIATE_TEST_SUITE_P(Variants, JpegDecode,
                         testing::Values(DecodeCase{"jpg_colour.jpg", qx::DecodeJpeg, 3, 2, false},
                                         DecodeCase{"jpg_grey.jpg", qx::DecodeJpeg, 1, 2, false}),
                         qxtest::CaseName);

TEST(JpegDecodeLayout, PitchIsUnpadded) {
  qxtest::OwnedImage img;
  ASSERT_EQ(qxtest::DecodeBytes(qxtest::ReadFixture("jpg_colour.jpg"), &img.image, qx::DecodeJpeg), 0);
  EXPECT_EQ(img.image.pitch, 21);
}

TEST(JpegDecodeDamaged, RefusesWhatIsNoJpegAndSurvivesTruncation) {
  std::vector<uint8_t> good = qxtest::ReadFixture("jpg_colour.jpg");
  ASSERT_GT(good.size(), 200u);
  std::vector<uint8_t> empty;
  std::vector<uint8_t> soiOnly(good.begin(), good.begin() + 2);
  std::vector<uint8_t> garbage = good;
  for (size_t i = 2; i < 40; ++i) garbage[i] = static_cast<uint8_t>(i * 37);
  std::vector<uint8_t> hugeFrame = good;
  // The frame header's height and width fields (big-endian) after the SOF0 marker.
  for (size_t i = 0; i + 8 < hugeFrame.size(); ++i) {
    if (hugeFrame[i] == 0xFF && hugeFrame[i + 1] == 0xC0) {
      hugeFrame[i + 5] = 0xFF;
      hugeFrame[i + 6] = 0xF0;
      hugeFrame[i + 7] = 0xFF;
      hugeFrame[i + 8] = 0xF0;
      break;
    }
  }
  EXPECT_TRUE(qxtest::DecodeRefuses(empty, qx::DecodeJpeg));
  EXPECT_TRUE(qxtest::DecodeRefuses(soiOnly, qx::DecodeJpeg));
  EXPECT_TRUE(qxtest::DecodeRefuses(garbage, qx::DecodeJpeg));
  EXPECT_TRUE(qxtest::DecodeRefuses(hugeFrame, qx::DecodeJpeg)) << "65520 x 65520 is refused, not allocated";
  // Cut inside the scan: the missing end is read as an end-of-image marker.
  std::vector<uint8_t> cut(good.begin(), good.end() - 40);
  qxtest::OwnedImage img;
  ASSERT_EQ(qxtest::DecodeBytes(cut, &img.image, qx::DecodeJpeg), 0);
  EXPECT_EQ(img.image.width, 7);
  qxtest::ExpectPrefixesHandled("jpg_grey.jpg", qx::DecodeJpeg);
}

}  // namespace
