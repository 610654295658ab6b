// Seeks of every decoder kind: a seek to a sample and a read give the same
// bytes as that slice of a whole decode, across the kind's block, page or
// frame edges, forwards, backwards and to the last sample.
#include <gtest/gtest.h>

#include <algorithm>

#include "sound/decoder_test_util.h"

namespace {

using qxtest::MemoryDecoder;
using qxtest::ReadSoundFixture;

struct SeekCase {
  const char* name;
  std::vector<uint8_t> bytes;
  std::vector<int64_t> samples;
};

std::vector<SeekCase> Cases() {
  using qxtest::Chunk;
  using qxtest::PcmFmt;
  // Over three one-second work buffers at 8000 Hz.
  const std::vector<uint8_t> pcm =
      qxtest::RiffWave({Chunk("fmt ", PcmFmt(2, 8000, 16)), Chunk("data", qxtest::TonePcm16(30000, 2))});
  // ADPCM blocks of 505 (IMA) and 500 (MS) frames; the "fact" count is the last.
  const std::vector<int64_t> mono = {0, 1, 504, 505, 506, 499, 500, 501, 1234, 17, 1999, 1010, 1000, 3};
  const std::vector<int64_t> stereo = {0, 1, 504, 505, 506, 499, 500, 501, 1234, 17, 2755, 1010, 1000, 3};
  // MPEG frames of 384, 576 and 1152 samples.
  auto mpeg = [](int64_t frames) {
    return std::vector<int64_t>{3000, 1152, 1151, 576, 577, 4609, 2, 0, frames - 1, 1153, 2304, 100};
  };
  return {
      {"PCM WAVE", pcm, {5, 9, 8000, 24001, 3, 0, 29999, 29999, 12345, 12346, 12340, 29000}},
      {"IMA ADPCM mono", ReadSoundFixture("ima_mono.wav"), mono},
      {"IMA ADPCM stereo", ReadSoundFixture("ima_stereo.wav"), stereo},
      {"MS ADPCM mono", ReadSoundFixture("ms_mono.wav"), mono},
      {"MS ADPCM stereo", ReadSoundFixture("ms_stereo.wav"), stereo},
      {"mu-law", ReadSoundFixture("ulaw_mono.wav"), mono},
      {"A-law", ReadSoundFixture("alaw_stereo.wav"), stereo},
      {"MPEG Layer 3 stereo", ReadSoundFixture("l3_stereo44.mp3"), mpeg(8 * 1152)},
      {"MPEG Layer 3 mono with tags", ReadSoundFixture("l3_mono22_tags.mp3"), mpeg(14 * 576)},
      {"MPEG Layer 2", ReadSoundFixture("l2_mono22.mp2"), mpeg(6 * 1152)},
      {"MPEG Layer 3 in WAVE", ReadSoundFixture("l3_stereo44_in.wav"), mpeg(8 * 1152)},
      {"Ogg Vorbis", ReadSoundFixture("vorbis_stereo44.ogg"), {5000, 1, 1024, 1023, 0, 6614, 3333, 64, 2048, 4095}},
  };
}

TEST(DecoderSeek, LandsExactlyOnTheSampleInEveryKind) {
  for (const SeekCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    MemoryDecoder d(c.bytes);
    ASSERT_TRUE(d.ok());
    const std::vector<uint8_t> all = d.DecodeAll();
    ASSERT_FALSE(all.empty());
    const size_t align = d.decoder.format.BlockAlign;
    // Short reads (inside a block) and long ones (across several).
    for (size_t frames : {16, 2048}) {
      std::vector<uint8_t> got(frames * align);
      for (int64_t s : c.samples) {
        SCOPED_TRACE(testing::Message() << "sample " << s << ", " << frames << " frames");
        ASSERT_LT(static_cast<size_t>(s) * align, all.size());
        ASSERT_EQ(qx::SoundDecoderSeek(&d.decoder, s), 0);
        const size_t expect = std::min(got.size(), all.size() - static_cast<size_t>(s) * align);
        ASSERT_EQ(qx::SoundDecoderRead(&d.decoder, got.data(), got.size()), expect);
        EXPECT_EQ(0, memcmp(got.data(), all.data() + static_cast<size_t>(s) * align, expect));
      }
    }
  }
}

}  // namespace
