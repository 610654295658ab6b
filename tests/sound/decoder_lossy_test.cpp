// Ogg Vorbis and MPEG audio against reference decodes made by
// scripts/make-sound-fixtures.sh: oggdec uses the same libvorbis, so Ogg must
// match exactly; lame's decoder is another MPEG decoder, which starts the
// sound at another offset (it trims the encoder delay) and rounds
// differently, so MPEG is compared after alignment within a tolerance.
#include <math.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "runtime/core/alloc.h"
#include "sound/decoder_test_util.h"

namespace {

using qxtest::MemoryDecoder;
using qxtest::ReadSoundFixture;

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> v(bytes.size() / 2);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return v;
}

struct Alignment {
  long offset;     // ours[i + offset] lines up with reference[i] (in sample frames)
  double rmsError; // relative to the reference's own level
  long overlap;
};

// The offset (0 .. maxOffset frames) at which our decode best matches the reference.
Alignment Align(const std::vector<int16_t>& ours, const std::vector<int16_t>& ref, int channels, long maxOffset) {
  Alignment best{-1, 1e9, 0};
  const long frames = static_cast<long>(ref.size()) / channels;
  for (long off = 0; off <= maxOffset; ++off) {
    const long overlap = std::min(frames, static_cast<long>(ours.size()) / channels - off);
    if (overlap < frames / 2) break;
    double err = 0, level = 0;
    for (long i = 0; i < overlap * channels; ++i) {
      double d = ours[static_cast<size_t>(off * channels + i)] - ref[static_cast<size_t>(i)];
      err += d * d;
      level += static_cast<double>(ref[static_cast<size_t>(i)]) * ref[static_cast<size_t>(i)];
    }
    double rel = sqrt(err / (level + 1));
    if (rel < best.rmsError) best = {off, rel, overlap};
  }
  return best;
}

struct MpegCase {
  const char* file;
  const char* reference;
  int channels;
  uint32_t rate;
  int64_t frames;  // every MPEG frame whole: frames x samples per frame
  long maxOffset;  // lame drops the info frame and the codec delay
};

const MpegCase kMpegCases[] = {
    {"l3_stereo44.mp3", "l3_stereo44.raw", 2, 44100, 8 * 1152, 2 * 1152 + 1105},
    {"l3_mono22_tags.mp3", "l3_mono22_tags.raw", 1, 22050, 14 * 576, 2 * 576 + 1105},
    {"l2_mono22.mp2", "l2_mono22.raw", 1, 22050, 6 * 1152, 1152},
    {"l3_stereo44_in.wav", "l3_stereo44.raw", 2, 44100, 8 * 1152, 2 * 1152 + 1105},
};

std::string CaseName(const testing::TestParamInfo<MpegCase>& i) {
  std::string name = i.param.file;
  for (char& ch : name)
    if (ch == '.') ch = '_';
  return name;
}

class MpegDecode : public testing::TestWithParam<MpegCase> {};

// Within a thousandth of the signal's level once aligned; the two decoders
// differ by rounding only.
constexpr double kMpegTolerance = 1e-3;

TEST_P(MpegDecode, MatchesTheReferenceWithinTolerance) {
  const MpegCase& c = GetParam();
  MemoryDecoder d(ReadSoundFixture(c.file));
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.decoder.kind, qx::kSoundDecoderConverted);
  EXPECT_EQ(d.decoder.format.Channels, c.channels);
  EXPECT_EQ(d.decoder.format.SamplesPerSec, c.rate);
  EXPECT_EQ(d.decoder.format.BitsPerSample, 16);
  EXPECT_EQ(d.decoder.format.BlockAlign, 2 * c.channels);
  const size_t bytes = static_cast<size_t>(c.frames) * 2 * static_cast<size_t>(c.channels);
  EXPECT_EQ(qx::SoundDecoderLength(&d.decoder), static_cast<int64_t>(bytes));
  std::vector<uint8_t> all = d.DecodeAll();
  EXPECT_EQ(all.size(), bytes);
  std::vector<int16_t> reference = Samples(ReadSoundFixture(c.reference));
  ASSERT_FALSE(reference.empty());
  Alignment a = Align(Samples(all), reference, c.channels, c.maxOffset);
  EXPECT_LT(a.rmsError, kMpegTolerance) << "best offset " << a.offset;
  EXPECT_EQ(a.overlap, static_cast<long>(reference.size()) / c.channels) << "best offset " << a.offset;
  // Reading in small pieces gives the same bytes.
  ASSERT_EQ(qx::SoundDecoderSeek(&d.decoder, 0), 0);
  EXPECT_EQ(d.ReadRest(1000 * static_cast<size_t>(c.channels)), all);
}

INSTANTIATE_TEST_SUITE_P(Files, MpegDecode, testing::ValuesIn(kMpegCases), CaseName);

// An ID3v2 tag is skipped by its size; a version-4 tag with the footer flag
// has ten more bytes after it ("3DI" and the size again). The flag means
// nothing in other versions.
TEST(MpegTags, SkipsID3TagsWithAndWithoutAFooter) {
  const std::vector<uint8_t> mp3 = ReadSoundFixture("l3_mono22_tags.mp3");
  ASSERT_GE(mp3.size(), 10u);
  const size_t f = 10 + (static_cast<size_t>(mp3[6]) << 21 | mp3[7] << 14 | mp3[8] << 7 | mp3[9]);
  ASSERT_EQ(mp3[f], 0xFF);
  const std::vector<uint8_t> frames(mp3.begin() + static_cast<long>(f), mp3.end());
  MemoryDecoder plain(frames);
  ASSERT_TRUE(plain.ok());
  const std::vector<uint8_t> expect = plain.DecodeAll();
  ASSERT_FALSE(expect.empty());
  // A tag of 0x85 bytes: the size is syncsafe, 7 bits a byte.
  const std::vector<uint8_t> body(0x85, 0);
  auto tagged = [&](uint8_t version, uint8_t flags, bool footer) {
    std::vector<uint8_t> v = {'I', 'D', '3', version, 0, flags, 0, 0, 1, 0x05};
    v.insert(v.end(), body.begin(), body.end());
    if (footer) v.insert(v.end(), {'3', 'D', 'I', version, 0, flags, 0, 0, 1, 0x05});
    v.insert(v.end(), frames.begin(), frames.end());
    return v;
  };
  struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"version 4 with a footer", tagged(4, 0x10, true)},
      {"version 4 without", tagged(4, 0x00, false)},
      {"version 3 with the flag set and no footer", tagged(3, 0x10, false)},
  };
  for (auto& c : cases) {
    MemoryDecoder d(c.bytes);
    ASSERT_TRUE(d.ok()) << c.name;
    EXPECT_EQ(d.DecodeAll(), expect) << c.name;
  }
}

TEST(OggDecode, MatchesOggdecExactly) {
  struct {
    const char* name;
    int channels;
    uint32_t rate;
  } cases[] = {{"vorbis_stereo44", 2, 44100}, {"vorbis_mono22", 1, 22050}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryDecoder d(ReadSoundFixture(std::string(c.name) + ".ogg"));
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.decoder.kind, qx::kSoundDecoderOgg);
    EXPECT_EQ(d.decoder.format.Channels, c.channels);
    EXPECT_EQ(d.decoder.format.SamplesPerSec, c.rate);
    EXPECT_EQ(d.decoder.format.BlockAlign, 2 * c.channels);
    std::vector<uint8_t> reference = ReadSoundFixture(std::string(c.name) + ".raw");
    ASSERT_FALSE(reference.empty());
    // The length is an estimate a second longer than the stream; the whole decode is exact.
    EXPECT_EQ(qx::SoundDecoderLength(&d.decoder), static_cast<int64_t>(reference.size()) + 44100 * 2 * c.channels);
    EXPECT_EQ(d.DecodeAll(), reference);
    ASSERT_EQ(qx::SoundDecoderSeek(&d.decoder, 0), 0);
    EXPECT_EQ(d.ReadRest(777 * 2 * static_cast<size_t>(c.channels)), reference);
  }
}

TEST(OggDecode, WholeDecodesLongerThanTheFirstBlockGrowIt) {
  // 6.5 s of stereo silence: more than the first block of a whole decode (1 MiB).
  MemoryDecoder d(ReadSoundFixture("vorbis_silence44.ogg"));
  ASSERT_TRUE(d.ok());
  const size_t frames = 44100 * 13 / 2;
  EXPECT_EQ(qx::SoundDecoderLength(&d.decoder), static_cast<int64_t>(frames + 44100) * 4);
  std::vector<uint8_t> all = d.DecodeAll();
  EXPECT_EQ(all.size(), frames * 4);
  EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](uint8_t b) { return b == 0; }));
}

TEST(DamagedSound, RefusedWithNothingAllocated) {
  std::vector<uint8_t> mp3 = ReadSoundFixture("l3_mono22_tags.mp3");
  std::vector<uint8_t> ogg = ReadSoundFixture("vorbis_mono22.ogg");
  std::vector<uint8_t> inWave = ReadSoundFixture("l3_stereo44_in.wav");
  ASSERT_FALSE(mp3.empty() || ogg.empty() || inWave.empty());
  // The first frame follows the ID3v2 tag.
  const size_t f = 10 + (static_cast<size_t>(mp3[6]) << 21 | mp3[7] << 14 | mp3[8] << 7 | mp3[9]);
  ASSERT_EQ(mp3[f], 0xFF);
  auto cut = [](const std::vector<uint8_t>& v, size_t n) { return std::vector<uint8_t>(v.begin(), v.begin() + static_cast<long>(n)); };
  auto patched = [](std::vector<uint8_t> v, size_t at, std::vector<uint8_t> with) {
    for (size_t i = 0; i < with.size(); ++i) v[at + i] = with[i];
    return v;
  };
  std::vector<uint8_t> text(3000, 'a');
  std::vector<uint8_t> noise(3000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  noise[0] = 0x12;
  struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"text", text},
      {"noise", noise},
      {"ID3 tag only", cut(mp3, f)},
      {"ID3 size past the end", patched(mp3, 6, {0x7F, 0x7F, 0x7F, 0x7F})},
      {"ID3 size not syncsafe", patched(mp3, 9, {0x80})},
      {"frame header with a free bit rate", patched(mp3, f + 2, {0x00})},
      {"frame header with a reserved rate", patched(mp3, f + 2, {0x4C})},
      {"frame header of MPEG 2.5", patched(mp3, f + 1, {0xE3})},
      {"first frame cut short", cut(mp3, f + 40)},
      {"Ogg cut inside its headers", cut(ogg, 200)},
      {"Ogg cut inside its only audio page", cut(ogg, ogg.size() - 100)},
      {"Ogg capture pattern damaged", patched(ogg, 0, {'O', 'g', 'g', 'X'})},
      {"MPEG in WAVE with Layer 2 frames",
       patched(inWave, 0, {})},  // replaced below
  };
  // A Layer-2 frame stream in a 0x55 WAVE: the tag promises Layer 3.
  {
    std::vector<uint8_t> mp2 = ReadSoundFixture("l2_mono22.mp2");
    std::vector<uint8_t> v(inWave.begin(), inWave.begin() + 58);
    qxtest::Put32(v, static_cast<uint32_t>(mp2.size()));
    v.insert(v.end(), mp2.begin(), mp2.end());
    cases[sizeof(cases) / sizeof(cases[0]) - 1].bytes = v;
  }
  const int blocks = qx::AllocatedBlocks();
  for (auto& c : cases) {
    MemoryDecoder d(c.bytes);
    EXPECT_FALSE(d.ok()) << c.name;
    EXPECT_EQ(qx::AllocatedBlocks(), blocks + 1) << c.name;
  }
}

TEST(DamagedSound, TruncatedOrCorruptMpegDecodesWhatItHolds) {
  std::vector<uint8_t> mp3 = ReadSoundFixture("l3_stereo44.mp3");
  ASSERT_FALSE(mp3.empty());
  const int blocks = qx::AllocatedBlocks();
  {
    // Half the MPEG frames: the scan stops at the last whole frame.
    MemoryDecoder d(std::vector<uint8_t>(mp3.begin(), mp3.begin() + static_cast<long>(mp3.size() / 2)));
    ASSERT_TRUE(d.ok());
    const int64_t length = qx::SoundDecoderLength(&d.decoder);
    EXPECT_EQ(length % (1152 * 4), 0);
    EXPECT_LT(length, 8 * 1152 * 4);
    EXPECT_EQ(static_cast<int64_t>(d.DecodeAll().size()), length);
  }
  {
    // Garbage in the middle of the MPEG data ends it there.
    std::vector<uint8_t> v = mp3;
    for (size_t i = v.size() / 2; i < v.size() / 2 + 200; ++i) v[i] = 0x55;
    MemoryDecoder d(v);
    ASSERT_TRUE(d.ok());
    EXPECT_LT(qx::SoundDecoderLength(&d.decoder), 8 * 1152 * 4);
    EXPECT_EQ(static_cast<int64_t>(d.DecodeAll().size()), qx::SoundDecoderLength(&d.decoder));
  }
  EXPECT_EQ(qx::AllocatedBlocks(), blocks);
}

}  // namespace
