#include <gtest/gtest.h>

#include "graphics/image_test_util.h"

namespace {

using qxtest::DecodeCase;

class DdsBgraDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(DdsBgraDecode, MatchesEncodedPixels) { qxtest::ExpectDecodesLikeFixture(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Variants, DdsBgraDecode,
                         testing::Values(DecodeCase{"dds_565.dds", qx::DecodeDds, 2, 0, false},
                                         DecodeCase{"dds_argb32.dds", qx::DecodeDds, 4, 0, true},
                                         DecodeCase{"dds_rgb24.dds", qx::DecodeDds, 3, 0, false},
                                         DecodeCase{"dds_pitch.dds", qx::DecodeDds, 3, 0, false},
                                         DecodeCase{"dds_code21.dds", qx::DecodeDds, 4, 0, true},
                                         DecodeCase{"dds_code23.dds", qx::DecodeDds, 2, 0, false},
                                         DecodeCase{"dds_code26.dds", qx::DecodeDds, 2, 0, true},
                                         DecodeCase{"dds_code27.dds", qx::DecodeDds, 1, 0, false},
                                         DecodeCase{"dds_code31.dds", qx::DecodeDds, 4, 0, true},
                                         DecodeCase{"dds_code32.dds", qx::DecodeDds, 4, 0, true},
                                         DecodeCase{"bgra_8.bgra", qx::DecodeBgra, 4, 0, true},
                                         DecodeCase{"bgra_16.bgra", qx::DecodeBgra, 4, 0, true}),
                         qxtest::CaseName);

TEST(BgraDecode, SixteenBitChannelsKeepTheirHighByte) {
  std::vector<uint8_t> b = {'B', 'G', 'R', 'A', 0x10, 0x10, 0x10, 0x10, 1, 0, 0, 0, 1, 0, 0, 0,
                            0xAB, 0x12, 0xCD, 0x34, 0xEF, 0x56, 0x01, 0x78};
  qxtest::OwnedImage img;
  ASSERT_EQ(qxtest::DecodeBytes(b, &img.image, qx::DecodeBgra), 0);
  EXPECT_EQ(qxtest::RawValue(img.image, 0, 0), 0x78563412u);
}

// Offsets into a DDS file (the 4-byte magic included).
constexpr size_t kFlags = 8, kHeight = 12, kWidth = 16, kPitch = 20, kPixelFlags = 80, kFourCC = 84, kBits = 88;

TEST(DdsBgraDecodeDamaged, RefusesWhatItCannotRead) {
  std::vector<uint8_t> dds = qxtest::ReadFixture("dds_rgb24.dds");
  std::vector<uint8_t> bgra = qxtest::ReadFixture("bgra_8.bgra");
  std::vector<uint8_t> bgra16 = qxtest::ReadFixture("bgra_16.bgra");
  auto with = [](std::vector<uint8_t> b, size_t at, uint32_t v) {
    qxtest::Put32(b, at, v);
    return b;
  };
  struct {
    const char* what;
    std::vector<uint8_t> bytes;
    qx::ImageDecoder decoder;
  } cases[] = {
      {"dds: more rows than stored", with(dds, kHeight, 6), qx::DecodeDds},
      {"dds: 40000 wide", with(dds, kWidth, 40000), qx::DecodeDds},
      {"dds: pitch shorter than a row", with(with(dds, kFlags, 0x100F), kPitch, 4), qx::DecodeDds},
      {"dds: compressed code", with(with(dds, kPixelFlags, 4), kFourCC, 0x31545844), qx::DecodeDds},
      {"dds: unknown numeric code", with(with(dds, kPixelFlags, 4), kFourCC, 28), qx::DecodeDds},
      {"dds: 12 bits", with(dds, kBits, 12), qx::DecodeDds},
      {"dds: no masks", with(with(with(dds, 92, 0), 96, 0), 100, 0), qx::DecodeDds},
      {"dds: truncated", std::vector<uint8_t>(dds.begin(), dds.end() - 1), qx::DecodeDds},
      {"bgra: other marker", with(bgra, 4, 0x08080800), qx::DecodeBgra},
      {"bgra: 30000 x 30000", with(with(bgra, 8, 30000), 12, 30000), qx::DecodeBgra},
      {"bgra: truncated", std::vector<uint8_t>(bgra.begin(), bgra.end() - 1), qx::DecodeBgra},
      {"bgra: 16-bit truncated", std::vector<uint8_t>(bgra16.begin(), bgra16.end() - 2), qx::DecodeBgra},
  };
  for (auto& c : cases) EXPECT_TRUE(qxtest::DecodeRefuses(c.bytes, c.decoder)) << c.what;
}

TEST(DecodeImageChain, TriesEveryDecoderAndRefusesStrangers) {
  std::vector<uint8_t> text(300, 'x');
  EXPECT_TRUE(qxtest::DecodeRefuses(text, nullptr));
  std::vector<uint8_t> none;
  EXPECT_TRUE(qxtest::DecodeRefuses(none, nullptr));
  // An added decoder is asked first.
  static int asked = 0;
  asked = 0;
  ASSERT_EQ(qx::AddImageDecoder([](const qx::StreamOps*, void*, qx::GraphImage*) {
              ++asked;
              return -1;
            }),
            0);
  qxtest::OwnedImage img;
  EXPECT_EQ(qxtest::DecodeBytes(qxtest::ReadFixture("tga_2_16.tga"), &img.image), 0);
  qx::ClearImageDecoders();
  EXPECT_EQ(asked, 1);
}

}  // namespace
