#include <gtest/gtest.h>
#include <unistd.h>
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

// The process's address space in bytes, which a large allocation grows even before it is touched.
uint64_t AddressSpaceBytes() {
  FILE* f = fopen("/proc/self/statm", "r");
  if (!f) return 0;
  unsigned long long pages = 0;
  const bool read = fscanf(f, "%llu", &pages) == 1;
  fclose(f);
  return read ? pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// A stream over bytes that notes the largest address space seen while it is read.
struct WatchedStream {
  qxtest::ByteStream bytes;
  uint64_t largest;

  static size_t Read(void* buffer, size_t size, size_t count, void* h) {
    WatchedStream* s = static_cast<WatchedStream*>(h);
    const uint64_t now = AddressSpaceBytes();
    if (now > s->largest) s->largest = now;
    return qxtest::ByteStream::Read(buffer, size, count, &s->bytes);
  }
  static int64_t Tell(void* h) { return qxtest::ByteStream::Tell(&static_cast<WatchedStream*>(h)->bytes); }
  static int Seek(void* h, int64_t offset, int origin) {
    return qxtest::ByteStream::Seek(&static_cast<WatchedStream*>(h)->bytes, offset, origin);
  }
  static int Eof(void* h) { return qxtest::ByteStream::Eof(&static_cast<WatchedStream*>(h)->bytes); }
};

TEST(PngDecodeDamaged, AHugeAncillaryChunkLengthIsNeverAllocated) {
  const std::vector<uint8_t> good = qxtest::ReadFixture("png_rgb.png");
  ASSERT_GT(good.size(), 33u);
  ASSERT_EQ(std::string(good.begin() + 12, good.begin() + 16), "IHDR");
  ASSERT_NE(AddressSpaceBytes(), 0u);
  const qx::StreamOps ops = {WatchedStream::Tell, WatchedStream::Seek, WatchedStream::Read, WatchedStream::Eof,
                             qxtest::ByteStream::Idle, qxtest::ByteStream::Close};
  // Chunks the decoder has no use for, each claiming almost 2 GB after the header; the file ends long before.
  for (const char* name : {"tEXt", "zTXt", "iTXt", "iCCP", "sPLT", "eXIf", "prVt"}) {
    const std::string chunk = std::string("\x7F\xFF\xFF\xF0") + name + "Comment" + '\0' + "a damaged chunk";
    const std::string bytes = std::string(good.begin(), good.begin() + 33) + chunk + std::string(good.begin() + 33, good.end());
    std::vector<uint8_t> png(bytes.begin(), bytes.end());

    WatchedStream stream{{&png, 0}, 0};
    const uint64_t before = AddressSpaceBytes();
    qxtest::OwnedImage image;
    EXPECT_NE(qx::DecodePng(&ops, &stream, &image.image), 0) << name;
    EXPECT_LT(stream.largest, before + (256u << 20)) << name << ": address space grew by "
                                                     << (stream.largest - before) / 1048576 << " MB";
  }
}

}  // namespace
