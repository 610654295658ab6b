// Compressed WAVE: IMA ADPCM, Microsoft ADPCM, µ-law and A-law against the
// reference decodes made by scripts/make-sound-fixtures.sh (sox), exact.
#include <gtest/gtest.h>

#include "runtime/core/alloc.h"
#include "sound/decoder_test_util.h"

namespace {

using qxtest::MemoryDecoder;
using qxtest::ReadSoundFixture;

struct Case {
  const char* file;
  int channels;
  uint32_t rate;
  int64_t frames;  // the "fact" count: sox pads the last ADPCM block and decodes the padding too
};

const Case kCases[] = {
    {"ima_mono", 1, 8000, 2000},   {"ima_stereo", 2, 11025, 2756},   {"ms_mono", 1, 8000, 2000},
    {"ms_stereo", 2, 11025, 2756}, {"ulaw_mono", 1, 8000, 2000}, {"alaw_stereo", 2, 11025, 2756},
};

class CompressedWave : public testing::TestWithParam<Case> {};

TEST_P(CompressedWave, MatchesTheReferenceDecode) {
  const Case& c = GetParam();
  MemoryDecoder d(ReadSoundFixture(std::string(c.file) + ".wav"));
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.decoder.kind, qx::kSoundDecoderConverted);
  EXPECT_EQ(d.decoder.format.FormatTag, 1);
  EXPECT_EQ(d.decoder.format.Channels, c.channels);
  EXPECT_EQ(d.decoder.format.SamplesPerSec, c.rate);
  EXPECT_EQ(d.decoder.format.BitsPerSample, 16);
  EXPECT_EQ(d.decoder.format.BlockAlign, 2 * c.channels);
  const size_t bytes = static_cast<size_t>(c.frames) * 2 * static_cast<size_t>(c.channels);
  EXPECT_EQ(qx::SoundDecoderLength(&d.decoder), static_cast<int64_t>(bytes));
  std::vector<uint8_t> reference = ReadSoundFixture(std::string(c.file) + ".raw");
  ASSERT_GE(reference.size(), bytes);
  reference.resize(bytes);
  EXPECT_EQ(d.DecodeAll(), reference);
  // Small uneven reads give the same bytes.
  ASSERT_EQ(qx::SoundDecoderSeek(&d.decoder, 0), 0);
  EXPECT_EQ(d.ReadRest(6 * static_cast<size_t>(c.channels)), reference);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CompressedWave, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) { return std::string(i.param.file); });

// Offsets in the sox files: format tag 20, channels 22, block alignment 32,
// bits 34; IMA: samples per block 38; MS: samples per block 38, coefficient
// count 40.
TEST(CompressedWaveDamaged, RefusesLayoutsItCannotDecode) {
  auto patched = [](const char* file, size_t at, std::vector<uint8_t> with) {
    std::vector<uint8_t> v = ReadSoundFixture(file);
    for (size_t i = 0; i < with.size(); ++i) v[at + i] = with[i];
    return v;
  };
  struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"IMA with 3 bits", patched("ima_mono.wav", 34, {3, 0})},
      {"IMA block shorter than its header", patched("ima_stereo.wav", 32, {8, 0})},
      {"IMA block not whole words", patched("ima_mono.wav", 32, {0xFE, 0})},
      {"IMA samples per block above the block", patched("ima_mono.wav", 38, {0x09, 0x02})},
      {"IMA zero channels", patched("ima_mono.wav", 22, {0, 0})},
      {"MS no coefficients", patched("ms_mono.wav", 40, {0, 0})},
      {"MS more coefficients than the chunk holds", patched("ms_mono.wav", 40, {9, 0})},
      {"MS samples per block above the block", patched("ms_mono.wav", 38, {0xFF, 0x7F})},
      {"MS one sample per block", patched("ms_mono.wav", 38, {1, 0})},
      {"u-law with 16 bits", patched("ulaw_mono.wav", 34, {16, 0})},
      {"A-law block alignment not the channels", patched("alaw_stereo.wav", 32, {4, 0})},
      {"A-law zero rate", patched("alaw_stereo.wav", 24, {0, 0, 0, 0})},
  };
  const int blocks = qx::AllocatedBlocks();
  for (auto& c : cases) {
    MemoryDecoder d(c.bytes);
    EXPECT_FALSE(d.ok()) << c.name;
    EXPECT_EQ(qx::AllocatedBlocks(), blocks + 1) << c.name;
  }
}

TEST(CompressedWaveDamaged, ADamagedBlockEndsTheData) {
  // The second block's header names a predictor (MS) or step index (IMA) that does not exist.
  struct {
    const char* file;
    size_t dataOffset, blockAlign, headerByte;
    uint8_t value;
    int64_t framesBefore;
  } cases[] = {{"ms_mono.wav", 90, 256, 0, 7, 500}, {"ima_mono.wav", 60, 256, 2, 89, 505}};
  for (auto& c : cases) {
    std::vector<uint8_t> bytes = ReadSoundFixture(c.file);
    ASSERT_EQ(std::string(bytes.begin() + static_cast<long>(c.dataOffset) - 8, bytes.begin() + static_cast<long>(c.dataOffset) - 4), "data") << c.file;
    bytes[c.dataOffset + c.blockAlign + c.headerByte] = c.value;
    MemoryDecoder d(bytes);
    ASSERT_TRUE(d.ok()) << c.file;
    std::vector<uint8_t> all = d.DecodeAll();
    EXPECT_EQ(all.size(), static_cast<size_t>(c.framesBefore) * 2) << c.file;
    std::vector<uint8_t> reference = ReadSoundFixture(std::string(c.file).substr(0, std::string(c.file).size() - 4) + ".raw");
    reference.resize(all.size());
    EXPECT_EQ(all, reference) << c.file;
  }
}

TEST(CompressedWaveDamaged, AShortLastBlockDecodesWhatItHolds) {
  // Cut the stereo IMA data after 2 blocks and 3 words per channel, with the sizes made to agree.
  std::vector<uint8_t> bytes = ReadSoundFixture("ima_stereo.wav");
  const size_t data = 60, keep = 2 * 512 + 8 + 3 * 8;
  ASSERT_EQ(std::string(bytes.begin() + data - 8, bytes.begin() + data - 4), "data");
  bytes.resize(data + keep);
  for (int i = 0; i < 4; ++i) bytes[data - 4 + i] = static_cast<uint8_t>(keep >> (8 * i));
  bytes[48] = bytes[49] = bytes[50] = bytes[51] = 0xFF;  // a "fact" count beyond the data is ignored
  MemoryDecoder d(bytes);
  ASSERT_TRUE(d.ok());
  const size_t frames = 2 * 505 + 1 + 3 * 8;
  EXPECT_EQ(qx::SoundDecoderLength(&d.decoder), static_cast<int64_t>(frames * 4));
  std::vector<uint8_t> reference = ReadSoundFixture("ima_stereo.raw");
  reference.resize(frames * 4);
  EXPECT_EQ(d.DecodeAll(), reference);
}

// Microsoft ADPCM whose coefficients, samples and step come from a damaged file:
// the products and the growing step go past an int, the samples saturate.
TEST(CompressedWaveDamaged, ExtremeMicrosoftAdpcmSaturates) {
  using qxtest::Put16;
  constexpr int kMin = -32768, kMax = 32767;
  struct {
    const char* name;
    int16_t coefficient1, coefficient2, delta, sample1, sample2;
    uint8_t dataByte;
    std::vector<int16_t> after;  // the 16 samples after the two from the header
  } cases[] = {
      // (-32768 * -32768) * 2 does not fit an int; the prediction cycles through the extremes.
      {"extreme coefficients and samples", kMin, kMin, 16, kMin, kMin, 0x00,
       {kMax, 128, kMin, kMax, 128, kMin, kMax, 128, kMin, kMax, 128, kMin, kMax, 128, kMin, kMax}},
      // The step grows by 614/256 a code 7 up to its limit, where the next adaptation does not fit an int.
      {"step growing upwards", 0, 0, kMax, 0, 0, 0x77, std::vector<int16_t>(16, kMax)},
      // By 768/256 a code -8.
      {"step growing downwards", 0, 0, kMax, 0, 0, 0x88, std::vector<int16_t>(16, kMin)},
  };
  for (auto& c : cases) {
    std::vector<uint8_t> fmt;
    Put16(fmt, 2);      // Microsoft ADPCM
    Put16(fmt, 1);      // mono
    qxtest::Put32(fmt, 8000);
    qxtest::Put32(fmt, 8000 * 15 / 18);
    Put16(fmt, 15);     // block: 7 header bytes and 8 bytes of codes
    Put16(fmt, 4);
    Put16(fmt, 8);      // extra bytes: samples per block, coefficient count, one pair
    Put16(fmt, 18);
    Put16(fmt, 1);
    Put16(fmt, static_cast<uint16_t>(c.coefficient1));
    Put16(fmt, static_cast<uint16_t>(c.coefficient2));
    std::vector<uint8_t> block = {0};
    Put16(block, static_cast<uint16_t>(c.delta));
    Put16(block, static_cast<uint16_t>(c.sample1));
    Put16(block, static_cast<uint16_t>(c.sample2));
    block.insert(block.end(), 8, c.dataByte);
    MemoryDecoder d(qxtest::RiffWave({qxtest::Chunk("fmt ", fmt), qxtest::Chunk("data", block)}));
    ASSERT_TRUE(d.ok()) << c.name;
    std::vector<int16_t> expected = {c.sample2, c.sample1};
    expected.insert(expected.end(), c.after.begin(), c.after.end());
    const std::vector<uint8_t> pcm = d.DecodeAll();
    ASSERT_EQ(pcm.size(), expected.size() * 2) << c.name;
    for (size_t i = 0; i < expected.size(); ++i) {
      const int16_t got = static_cast<int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
      EXPECT_EQ(got, expected[i]) << c.name << ", sample " << i;
    }
  }
}

}  // namespace
