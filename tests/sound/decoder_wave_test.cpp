// PCM WAVE decoding, the WAVE chunk rules, BuildWaveImage and the format bytes.
#include <gtest/gtest.h>

#include "runtime/core/alloc.h"
#include "sound/decoder_test_util.h"

namespace {

using qxtest::Chunk;
using qxtest::MemoryDecoder;
using qxtest::PcmFmt;
using qxtest::RiffWave;

std::vector<uint8_t> Bytes(int n, int seed) {
  std::vector<uint8_t> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 31 + seed * 7 + (i >> 8));
  return v;
}

TEST(PcmWaveDecoder, DeliversTheDataChunkInEveryLayout) {
  struct {
    int channels, bits;
    uint32_t rate;
  } cases[] = {{1, 8, 8000}, {2, 8, 11025}, {1, 16, 22050}, {2, 16, 44100}, {2, 16, 96000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << "ch " << c.bits << "bit " << c.rate);
    const int align = c.channels * c.bits / 8;
    // Longer than a second so reads cross work buffer refills.
    std::vector<uint8_t> pcm = Bytes((static_cast<int>(c.rate) * 3 / 2 + 3) * align, c.bits);
    MemoryDecoder d(RiffWave({Chunk("fmt ", PcmFmt(c.channels, c.rate, c.bits)), Chunk("data", pcm)}));
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.decoder.kind, qx::kSoundDecoderPcmWave);
    EXPECT_EQ(d.decoder.format.FormatTag, 1);
    EXPECT_EQ(d.decoder.format.Channels, c.channels);
    EXPECT_EQ(d.decoder.format.SamplesPerSec, c.rate);
    EXPECT_EQ(d.decoder.format.BlockAlign, align);
    EXPECT_EQ(d.decoder.format.BitsPerSample, c.bits);
    EXPECT_EQ(d.decoder.format.AvgBytesPerSec, c.rate * static_cast<uint32_t>(align));
    EXPECT_EQ(d.decoder.format.ExtraSize, 0);
    EXPECT_EQ(qx::SoundDecoderLength(&d.decoder), static_cast<int64_t>(pcm.size()));
    EXPECT_EQ(d.ReadRest(4096 + static_cast<size_t>(align)), pcm);
    EXPECT_EQ(d.DecodeAll(), pcm);
  }
}

TEST(PcmWaveDecoder, DropsATrailingPartialSampleFrame) {
  std::vector<uint8_t> pcm = Bytes(4 * 100 + 3, 1);
  MemoryDecoder d(RiffWave({Chunk("fmt ", PcmFmt(2, 8000, 16)), Chunk("data", pcm)}));
  ASSERT_TRUE(d.ok());
  pcm.resize(400);
  EXPECT_EQ(qx::SoundDecoderLength(&d.decoder), 400);
  EXPECT_EQ(d.DecodeAll(), pcm);
}

// The seeks themselves are in decoder_seek_test.cpp, for every kind.
TEST(PcmWaveDecoder, ReadsNothingAtTheEndUntilASeekGoesBack) {
  const int frames = 3000;
  std::vector<uint8_t> pcm = qxtest::TonePcm16(frames, 2);
  MemoryDecoder d(RiffWave({Chunk("fmt ", PcmFmt(2, 8000, 16)), Chunk("data", pcm)}));
  ASSERT_TRUE(d.ok());
  uint8_t got[64];
  ASSERT_EQ(qx::SoundDecoderSeek(&d.decoder, frames), 0);
  EXPECT_EQ(qx::SoundDecoderRead(&d.decoder, got, sizeof(got)), 0u);
  EXPECT_EQ(qx::SoundDecoderRead(&d.decoder, got, sizeof(got)), 0u);
  ASSERT_EQ(qx::SoundDecoderSeek(&d.decoder, 100), 0);
  ASSERT_EQ(qx::SoundDecoderRead(&d.decoder, got, 8), 8u);
  EXPECT_EQ(0, memcmp(got, pcm.data() + 400, 8));
}

TEST(PcmWaveDecoder, ChunkOrderRules) {
  std::vector<uint8_t> pcm = qxtest::TonePcm16(50, 1);
  std::vector<uint8_t> list = {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 3, 0, 0, 0, 'q', 'x', 0};
  // A LIST (odd-sized, padded) and a fact chunk between "fmt " and "data".
  MemoryDecoder between(
      RiffWave({Chunk("fmt ", PcmFmt(1, 22050, 16)), Chunk("LIST", list), Chunk("fact", {50, 0, 0, 0}), Chunk("data", pcm)}));
  ASSERT_TRUE(between.ok());
  EXPECT_EQ(between.DecodeAll(), pcm);
  // Anything before "fmt " is refused, by every kind.
  MemoryDecoder before(RiffWave({Chunk("LIST", list), Chunk("fmt ", PcmFmt(1, 22050, 16)), Chunk("data", pcm)}));
  EXPECT_FALSE(before.ok());
}

TEST(PcmWaveDecoder, BareFormatChunkTakesBitsFromBlockAlignment) {
  std::vector<uint8_t> pcm = qxtest::TonePcm16(40, 2);
  // 16-byte chunks: the bits field says 8 or 12 but 2 channels x 2 bytes are 16 bits.
  for (int field : {8, 12, 0}) {
    MemoryDecoder d(RiffWave({Chunk("fmt ", PcmFmt(2, 44100, 16, false, field)), Chunk("data", pcm)}));
    ASSERT_TRUE(d.ok()) << field;
    EXPECT_EQ(d.decoder.format.BitsPerSample, 16);
    EXPECT_EQ(d.decoder.format.BlockAlign, 4);
    EXPECT_EQ(d.DecodeAll(), pcm);
  }
  // With the extra-size field the bits are taken as written, and 8 bits do
  // not fit a 4-byte block of two channels.
  MemoryDecoder full(RiffWave({Chunk("fmt ", PcmFmt(2, 44100, 16, true, 8)), Chunk("data", pcm)}));
  EXPECT_FALSE(full.ok());
}

TEST(PcmWaveDecoder, RefusesDamagedFilesAndLeavesNothingAllocated) {
  std::vector<uint8_t> pcm = qxtest::TonePcm16(64, 2);
  std::vector<uint8_t> good = RiffWave({Chunk("fmt ", PcmFmt(2, 44100, 16)), Chunk("data", pcm)});
  auto patched = [&](size_t at, std::vector<uint8_t> with) {
    std::vector<uint8_t> v = good;
    for (size_t i = 0; i < with.size(); ++i) v[at + i] = with[i];
    return v;
  };
  // Offsets: "RIFF" 0, "WAVE" 8, "fmt " 12, its size 16, tag 20, channels 22,
  // rate 24, block alignment 32, bits 34, "data" 38, its size 42.
  struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty", {}},
      {"not RIFF", patched(0, {'R', 'I', 'F', 'X'})},
      {"not WAVE", patched(8, {'A', 'V', 'I', ' '})},
      {"zero channels", patched(22, {0, 0})},
      {"three channels", patched(22, {3, 0})},
      {"zero rate", patched(24, {0, 0, 0, 0})},
      {"absurd rate", patched(24, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"zero block alignment", patched(32, {0, 0})},
      {"24 bits", patched(32, {6, 0, 24, 0})},
      {"format chunk too small", patched(16, {14, 0, 0, 0})},
      {"format chunk past the end", patched(16, {0xF0, 0xFF, 0xFF, 0xFF})},
      {"empty data", RiffWave({Chunk("fmt ", PcmFmt(2, 44100, 16)), Chunk("data", {})})},
      {"no data chunk", RiffWave({Chunk("fmt ", PcmFmt(2, 44100, 16)), Chunk("LIST", {1, 2, 3, 4})})},
      {"chunk past the end before data",
       RiffWave({Chunk("fmt ", PcmFmt(2, 44100, 16)), {'J', 'U', 'N', 'K', 0, 0, 0, 0x40}, Chunk("data", pcm)})},
      {"compressed tag unknown to every kind", patched(20, {0x34, 0x12})},
  };
  const int blocks = qx::AllocatedBlocks();
  for (auto& c : cases) {
    MemoryDecoder d(c.bytes);
    EXPECT_FALSE(d.ok()) << c.name;
    EXPECT_EQ(qx::AllocatedBlocks(), blocks + 1) << c.name;  // only the memory stream
  }
  // Every truncation of a good file short of its data is refused too.
  for (size_t n = 0; n < 46; ++n) {
    MemoryDecoder d(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)));
    EXPECT_FALSE(d.ok()) << n;
  }
  EXPECT_EQ(qx::AllocatedBlocks(), blocks);
}

// A data chunk that runs past the end of the file (a download cut short, a
// header written before the samples) gives the whole sample frames that are there.
TEST(PcmWaveDecoder, ADataChunkCutShortDeliversWhatItHolds) {
  const std::vector<uint8_t> pcm = qxtest::TonePcm16(3000, 2);  // over a work buffer at 8000 Hz
  const std::vector<uint8_t> good = RiffWave({Chunk("fmt ", PcmFmt(2, 8000, 16)), Chunk("data", pcm)});
  const size_t dataAt = 46;
  struct {
    const char* name;
    size_t fileBytes;  // the file is cut here
    uint32_t claimed;  // the data chunk's size field
    size_t delivered;
  } cases[] = {
      {"one byte missing", good.size() - 1, static_cast<uint32_t>(pcm.size()), pcm.size() - 4},
      {"half the data", dataAt + pcm.size() / 2 + 2, static_cast<uint32_t>(pcm.size()), pcm.size() / 2},
      {"size field absurd, file whole", good.size(), 0xFFFFFFFFu, pcm.size()},
      {"size field one frame long", good.size(), static_cast<uint32_t>(pcm.size() + 4), pcm.size()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(c.fileBytes));
    memcpy(bytes.data() + 42, &c.claimed, 4);
    const std::vector<uint8_t> expect(pcm.begin(), pcm.begin() + static_cast<std::ptrdiff_t>(c.delivered));
    MemoryDecoder d(bytes);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.DecodeAll(), expect);
    ASSERT_EQ(qx::SoundDecoderSeek(&d.decoder, 0), 0);
    EXPECT_EQ(d.ReadRest(1000), expect);
    uint8_t more[16];
    EXPECT_EQ(qx::SoundDecoderRead(&d.decoder, more, sizeof more), 0u);  // reads stop where the data ran out
  }
}

TEST(WaveImage, BuildsAFileTheDecoderReadsBack) {
  qx::WaveFormat format{1, 2, 22050, 88200, 4, 16, 0};
  std::vector<uint8_t> pcm = qxtest::TonePcm16(333, 2);
  size_t size = 0;
  uint8_t* image = qx::BuildWaveImage(format, 18, pcm.data(), pcm.size(), &size);
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(size, 18 + pcm.size() + 28);
  std::vector<uint8_t> bytes(image, image + size);
  qx::MemFree(image);
  std::vector<uint8_t> expectHead = RiffWave({Chunk("fmt ", PcmFmt(2, 22050, 16))});
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 8, bytes.begin() + 38), std::vector<uint8_t>(expectHead.begin() + 8, expectHead.end()));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 38, bytes.begin() + 46), (std::vector<uint8_t>{'d', 'a', 't', 'a', 0x34, 5, 0, 0}));
  EXPECT_EQ(bytes[4] | bytes[5] << 8 | bytes[6] << 16, static_cast<int>(size - 8));
  MemoryDecoder d(bytes);
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.DecodeAll(), pcm);
  EXPECT_EQ(d.decoder.format.SamplesPerSec, 22050u);
}

TEST(WaveImage, RefusesFormatSizesItCannotWrite) {
  qx::WaveFormat format{1, 1, 8000, 8000, 1, 8, 0};
  uint8_t pcm[4] = {1, 2, 3, 4};
  size_t size = 99;
  for (int formatSize : {0, 14, 17, 20, -1}) {
    EXPECT_EQ(qx::BuildWaveImage(format, formatSize, pcm, 4, &size), nullptr) << formatSize;
    EXPECT_EQ(size, 0u);
  }
  // A 16-byte format chunk is written as is and read back with its bits computed.
  uint8_t* image = qx::BuildWaveImage(format, 16, pcm, 4, &size);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(size, 16u + 4 + 28);
  MemoryDecoder d(std::vector<uint8_t>(image, image + size));
  qx::MemFree(image);
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.DecodeAll(), std::vector<uint8_t>(pcm, pcm + 4));
}

TEST(WaveFormatBytes, PackAndUnpackAreLittleEndianAndInverse) {
  qx::WaveFormat format{0x0102, 2, 0x0000AC44, 0x0002B110, 4, 16, 0x0A0B};
  uint8_t bytes[qx::kWaveFormatBytes];
  qx::PackWaveFormat(format, bytes);
  const uint8_t expect[] = {2, 1, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0x0B, 0x0A};
  EXPECT_EQ(0, memcmp(bytes, expect, sizeof(expect)));
  qx::WaveFormat back = qx::UnpackWaveFormat(bytes);
  EXPECT_EQ(back.FormatTag, format.FormatTag);
  EXPECT_EQ(back.Channels, format.Channels);
  EXPECT_EQ(back.SamplesPerSec, format.SamplesPerSec);
  EXPECT_EQ(back.AvgBytesPerSec, format.AvgBytesPerSec);
  EXPECT_EQ(back.BlockAlign, format.BlockAlign);
  EXPECT_EQ(back.BitsPerSample, format.BitsPerSample);
  EXPECT_EQ(back.ExtraSize, format.ExtraSize);
}

}  // namespace
