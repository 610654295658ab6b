// The software mixer on its own: formats, resampling, volume, saturation,
// duplicates, locking, looping and the play cursor, rendered directly.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/platform/headless/headless.h"
#include "runtime/platform/sound_mixer.h"
#include "runtime/platform/tables.h"
#include "support/read_file.h"

namespace {

using qx::PlatformSoundBuffer;

class MixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(qx::MixerStart(44100, nullptr), 0);
    qx::FillMixerSoundOps(&ops_);
  }
  void TearDown() override {
    for (PlatformSoundBuffer* b : made_) ops_.ReleaseBuffer(b);
    qx::MixerStop();
  }

  PlatformSoundBuffer* Make(int channels, int bits, int rate, const std::vector<uint8_t>& bytes) {
    PlatformSoundBuffer* b = ops_.CreateBuffer(channels, bits, rate, bytes.size());
    if (!b) return nullptr;
    made_.push_back(b);
    Fill(b, bytes);
    return b;
  }
  void Fill(PlatformSoundBuffer* b, const std::vector<uint8_t>& bytes) {
    void* p1;
    size_t s1;
    void* p2;
    size_t s2;
    ASSERT_EQ(ops_.Lock(b, 0, bytes.size(), &p1, &s1, &p2, &s2), 0);
    ASSERT_EQ(s1, bytes.size());
    memcpy(p1, bytes.data(), s1);
    ops_.Unlock(b);
  }
  PlatformSoundBuffer* Duplicate(PlatformSoundBuffer* b) {
    PlatformSoundBuffer* d = ops_.DuplicateBuffer(b);
    if (d) made_.push_back(d);
    return d;
  }
  std::vector<int16_t> Render(size_t frames) {
    std::vector<int16_t> out(frames * 2, 12345);
    qx::MixerRender(out.data(), frames);
    return out;
  }

  qx::PlatformSoundOps ops_{};
  std::vector<PlatformSoundBuffer*> made_;
};

std::vector<uint8_t> Stereo16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> b(samples.size() * 2);
  memcpy(b.data(), samples.data(), b.size());
  return b;
}

std::vector<uint8_t> Constant16(size_t frames, int16_t left, int16_t right) {
  std::vector<int16_t> s;
  for (size_t i = 0; i < frames; ++i) {
    s.push_back(left);
    s.push_back(right);
  }
  return Stereo16(s);
}

TEST_F(MixerTest, NativeFormatIsCopiedExactlyAndAOneShotEndsAtItsLastFrame) {
  std::vector<int16_t> samples;
  for (int i = 0; i < 300; ++i) {
    samples.push_back(static_cast<int16_t>(i * 97 - 15000));
    samples.push_back(static_cast<int16_t>(-i * 61 + 9000));
  }
  PlatformSoundBuffer* b = Make(2, 16, 44100, Stereo16(samples));
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(ops_.Play(b, 0), 0);
  std::vector<int16_t> out = Render(400);
  for (size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(out[i], samples[i]) << i;
  for (size_t i = samples.size(); i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
  EXPECT_EQ(ops_.IsPlaying(b), 0);
  EXPECT_EQ(ops_.GetPlayCursor(b), 0u);  // played to the end: the next play starts from the top
}

TEST_F(MixerTest, EveryBufferFormatIsWidenedToSixteenBitStereo) {
  struct Case {
    int channels, bits;
    std::vector<uint8_t> frame;
    int16_t left, right;
  } cases[] = {
      {1, 8, {0xC0}, 64 * 256, 64 * 256},
      {1, 8, {127}, -256, -256},  // the 8-bit silence value of the stream engine is just below zero
      {2, 8, {0x00, 0xFF}, -32768, 127 * 256},
      {1, 16, {0x34, 0x12}, 0x1234, 0x1234},
      {2, 16, {0x00, 0x80, 0xFF, 0x7F}, -32768, 32767},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 10; ++i) bytes.insert(bytes.end(), c.frame.begin(), c.frame.end());
    PlatformSoundBuffer* b = Make(c.channels, c.bits, 44100, bytes);
    ASSERT_NE(b, nullptr);
    ops_.Play(b, 0);
    std::vector<int16_t> out = Render(10);
    for (int i = 0; i < 10; ++i) {
      EXPECT_EQ(out[2 * i], c.left) << c.channels << "ch " << c.bits << "bit";
      EXPECT_EQ(out[2 * i + 1], c.right) << c.channels << "ch " << c.bits << "bit";
    }
  }
}

TEST_F(MixerTest, RefusesFormatsItCannotPlay) {
  EXPECT_EQ(ops_.CreateBuffer(3, 16, 44100, 600), nullptr);
  EXPECT_EQ(ops_.CreateBuffer(2, 24, 44100, 600), nullptr);
  EXPECT_EQ(ops_.CreateBuffer(2, 16, 999, 400), nullptr);
  EXPECT_EQ(ops_.CreateBuffer(2, 16, 384001, 400), nullptr);
  EXPECT_EQ(ops_.CreateBuffer(2, 16, 44100, 0), nullptr);
  EXPECT_EQ(ops_.CreateBuffer(2, 16, 44100, 402), nullptr);  // not whole frames
  for (int rate : {1000, 384000}) {
    PlatformSoundBuffer* b = ops_.CreateBuffer(1, 8, rate, 1);
    EXPECT_NE(b, nullptr) << rate;
    ops_.ReleaseBuffer(b);
  }
}

// Frequency from the zero crossings of the left channel.
double MeasuredHz(const std::vector<int16_t>& out, size_t from, size_t to) {
  int crossings = 0;
  for (size_t i = from + 1; i < to; ++i) {
    if ((out[2 * (i - 1)] < 0) != (out[2 * i] < 0)) ++crossings;
  }
  return crossings / 2.0 * 44100.0 / static_cast<double>(to - from);
}

TEST_F(MixerTest, ResampledBuffersKeepTheirPitchAndDuration) {
  for (int rate : {1000, 8000, 22050, 48000, 96000, 192000, 384000}) {
    // One second of 441 Hz at the buffer's own rate.
    std::vector<int16_t> s;
    for (int i = 0; i < rate; ++i) {
      int16_t v = static_cast<int16_t>(lround(20000 * sin(2 * M_PI * 441.0 * (i + 0.5) / rate)));
      s.push_back(v);
      s.push_back(v);
    }
    PlatformSoundBuffer* b = Make(2, 16, rate, Stereo16(s));
    ASSERT_NE(b, nullptr);
    ops_.Play(b, 0);
    std::vector<int16_t> out = Render(44100 + 2000);
    EXPECT_NEAR(MeasuredHz(out, 0, 44000), 441.0, 2.0) << rate;
    // It ends after one second of device time, give or take a frame.
    size_t last = 0;
    for (size_t i = 0; i < out.size() / 2; ++i) {
      if (out[2 * i] != 0) last = i;
    }
    EXPECT_NEAR(static_cast<double>(last), 44100.0, 2.0 + 44100.0 / rate) << rate;
    EXPECT_EQ(ops_.IsPlaying(b), 0) << rate;
  }
}

// At 384000 Hz one device frame steps over more than eight source frames,
// more than a whole loop of a very short buffer.
TEST_F(MixerTest, AShortLoopAtAHighRateWrapsWithinItself) {
  for (int frames : {1, 3, 8, 9}) {
    PlatformSoundBuffer* b = Make(2, 16, 384000, Constant16(static_cast<size_t>(frames), 1234, -1234));
    ASSERT_NE(b, nullptr);
    ops_.Play(b, 1);
    std::vector<int16_t> out = Render(200);
    ops_.Stop(b);
    for (int i = 0; i < 200; ++i) {
      ASSERT_EQ(out[2 * i], 1234) << frames << " frames, device frame " << i;
      ASSERT_EQ(out[2 * i + 1], -1234) << frames << " frames, device frame " << i;
    }
    EXPECT_LT(ops_.GetPlayCursor(b), static_cast<size_t>(frames) * 4);
  }
}

TEST_F(MixerTest, VolumeIsTheGainOfItsHundredthsOfADecibel) {
  for (int volume : {0, -153, -299, -406, -600, -1008, -2406, -9999, -10000}) {
    PlatformSoundBuffer* b = Make(2, 16, 44100, Constant16(100, 30000, -30000));
    ASSERT_NE(b, nullptr);
    ops_.SetVolume(b, volume);
    ops_.Play(b, 0);
    std::vector<int16_t> out = Render(100);
    const double expected = volume <= -10000 ? 0.0 : 30000.0 * pow(10.0, volume / 2000.0);
    // Within the gain's 1/65536 steps and the shift's rounding.
    EXPECT_NEAR(out[50], expected, 1.5) << volume;
    EXPECT_NEAR(out[51], -expected, 1.5) << volume;
  }
}

TEST_F(MixerTest, SumsSaturateAtSixteenBits) {
  PlatformSoundBuffer* a = Make(2, 16, 44100, Constant16(100, 30000, -30000));
  PlatformSoundBuffer* b = Make(2, 16, 44100, Constant16(100, 30000, -30000));
  PlatformSoundBuffer* c = Make(2, 16, 44100, Constant16(100, -20000, 20000));
  ops_.Play(a, 0);
  ops_.Play(b, 0);
  std::vector<int16_t> out = Render(4);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], -32768);
  ops_.Play(c, 0);  // 30000 + 30000 - 20000: the sum is wide, only the result is clipped
  out = Render(4);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], -32768);
  ops_.SetVolume(a, -10000);
  out = Render(1);
  EXPECT_EQ(out[0], 10000);
  EXPECT_EQ(out[1], -10000);
}

TEST_F(MixerTest, DuplicatesShareDataButPlayOnTheirOwn) {
  std::vector<int16_t> s;
  for (int i = 0; i < 100; ++i) {
    s.push_back(static_cast<int16_t>(i * 100));
    s.push_back(static_cast<int16_t>(i * 100));
  }
  PlatformSoundBuffer* a = Make(2, 16, 44100, Constant16(100, 0, 0));
  PlatformSoundBuffer* d = Duplicate(a);
  ASSERT_NE(d, nullptr);
  Fill(a, Stereo16(s));  // written through the original, heard through the duplicate
  ops_.SetPlayCursor(d, 40 * 4);
  ops_.SetVolume(a, -10000);
  ops_.Play(d, 0);
  std::vector<int16_t> out = Render(10);
  EXPECT_EQ(out[0], 4000);
  EXPECT_EQ(out[18], 4900);
  EXPECT_EQ(ops_.IsPlaying(a), 0);
  EXPECT_EQ(ops_.GetPlayCursor(a), 0u);
  EXPECT_EQ(ops_.GetPlayCursor(d), 50u * 4);
  ops_.Play(a, 0);  // silent: the original's volume is its own
  out = Render(1);
  EXPECT_EQ(out[0], 5000);
  // Releasing the original leaves the duplicate's data alive.
  ops_.ReleaseBuffer(a);
  made_.erase(made_.begin());
  out = Render(1);
  EXPECT_EQ(out[0], 5100);
}

// Duplicates share the samples, not the volume: one made after a volume
// change starts at full volume.
TEST_F(MixerTest, ADuplicateStartsAtFullVolume) {
  PlatformSoundBuffer* a = Make(2, 16, 44100, Constant16(100, 8000, -8000));
  ops_.SetVolume(a, -600);
  PlatformSoundBuffer* d = Duplicate(a);
  ASSERT_NE(d, nullptr);
  ops_.Play(d, 0);
  std::vector<int16_t> out = Render(2);
  EXPECT_EQ(out[0], 8000);
  EXPECT_EQ(out[1], -8000);
  ops_.Stop(d);
  ops_.Play(a, 0);
  out = Render(2);
  EXPECT_NEAR(out[0], 8000 * pow(10.0, -600 / 2000.0), 1.5);
}

TEST_F(MixerTest, LocksARegionInOneOrTwoParts) {
  PlatformSoundBuffer* b = Make(2, 16, 44100, Constant16(100, 0, 0));
  void* p1;
  size_t s1;
  void* p2;
  size_t s2;
  ASSERT_EQ(ops_.Lock(b, 100, 200, &p1, &s1, &p2, &s2), 0);
  EXPECT_EQ(s1, 200u);
  EXPECT_EQ(p2, nullptr);
  EXPECT_EQ(s2, 0u);
  ops_.Unlock(b);
  ASSERT_EQ(ops_.Lock(b, 300, 200, &p1, &s1, &p2, &s2), 0);
  EXPECT_EQ(s1, 100u);
  EXPECT_EQ(s2, 100u);
  EXPECT_EQ(static_cast<uint8_t*>(p1) - 300, static_cast<uint8_t*>(p2));
  ops_.Unlock(b);
  EXPECT_EQ(ops_.Lock(b, 400, 4, &p1, &s1, &p2, &s2), -1);
  EXPECT_EQ(ops_.Lock(b, 0, 401, &p1, &s1, &p2, &s2), -1);
  EXPECT_EQ(ops_.Lock(b, 0, 0, &p1, &s1, &p2, &s2), -1);
  EXPECT_EQ(ops_.Lock(b, 300, 200, &p1, &s1, nullptr, nullptr), -1);  // a wrap needs the second part
}

TEST_F(MixerTest, ALoopingBufferWrapsAndItsCursorMovesWithTheDevice) {
  std::vector<int16_t> s;
  for (int i = 0; i < 50; ++i) {
    s.push_back(static_cast<int16_t>(i + 1));
    s.push_back(static_cast<int16_t>(i + 1));
  }
  PlatformSoundBuffer* b = Make(2, 16, 44100, Stereo16(s));
  ops_.Play(b, 1);
  std::vector<int16_t> out = Render(120);
  for (int i = 0; i < 120; ++i) ASSERT_EQ(out[2 * i], i % 50 + 1) << i;
  EXPECT_EQ(ops_.GetPlayCursor(b), 20u * 4);
  EXPECT_EQ(ops_.IsPlaying(b), 1);
  ops_.Stop(b);
  out = Render(5);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(ops_.GetPlayCursor(b), 20u * 4);  // a stop keeps the position
  ops_.SetPlayCursor(b, 45 * 4 + 3);          // inside a frame: the frame's start
  ops_.Play(b, 1);
  out = Render(7);
  EXPECT_EQ(out[0], 46);
  EXPECT_EQ(out[2 * 5], 1);
  EXPECT_EQ(ops_.GetPlayCursor(b), 2u * 4);
  ops_.Play(b, 0);  // the loop flag changes while playing: it ends at the end
  out = Render(60);
  EXPECT_EQ(out[2 * 47], 50);
  EXPECT_EQ(out[2 * 48], 0);
  EXPECT_EQ(ops_.IsPlaying(b), 0);
}

// The headless device renders 10 ms blocks as the virtual clock passes and
// writes them to the capture file.
TEST(HeadlessDevice, FollowsTheVirtualClockAndCompletesItsCapture) {
  const qx::Platform* previous = qx::SelectPlatform(&qx::kHeadlessPlatform);
  unsetenv("QUARNEX_SCRIPT");
  qx::HeadlessReset();
  const std::string path = std::filesystem::temp_directory_path() / ("quarnex-capture-" + std::to_string(getpid()) + ".wav");
  setenv("QUARNEX_AUDIO_OUT", path.c_str(), 1);
  qx::HeadlessAdvanceMicros(5000000);  // the device starts its own time line
  const qx::PlatformSoundOps& ops = qx::kHeadlessSoundOps;
  ASSERT_EQ(ops.Init(2, 16, 44100), 0);
  unsetenv("QUARNEX_AUDIO_OUT");
  PlatformSoundBuffer* b = ops.CreateBuffer(2, 16, 44100, 4410 * 4);
  void* p1;
  size_t s1;
  void* p2;
  size_t s2;
  ASSERT_EQ(ops.Lock(b, 0, 4410 * 4, &p1, &s1, &p2, &s2), 0);
  std::vector<uint8_t> dc = Constant16(4410, 700, -700);
  memcpy(p1, dc.data(), s1);
  ops.Unlock(b);
  struct Start {
    uint64_t micros;
  } starts[] = {{123400}, {400000}, {655550}};
  uint64_t now = 0;
  for (const Start& s : starts) {
    qx::HeadlessAdvanceMicros(s.micros - now);
    now = s.micros;
    ops.Play(b, 0);
    EXPECT_EQ(ops.IsPlaying(b), 1);
  }
  qx::HeadlessAdvanceMicros(900000 - now);
  ops.ReleaseBuffer(b);
  ops.Shutdown();

  const std::string bytes = qxtest::ReadWholeText(path);
  std::filesystem::remove(path);
  ASSERT_GE(bytes.size(), 44u);
  uint32_t riff, data, rate;
  memcpy(&riff, bytes.data() + 4, 4);
  memcpy(&rate, bytes.data() + 24, 4);
  memcpy(&data, bytes.data() + 40, 4);
  EXPECT_EQ(bytes.compare(0, 4, "RIFF"), 0);
  EXPECT_EQ(rate, 44100u);
  EXPECT_EQ(data, bytes.size() - 44);
  EXPECT_EQ(riff, bytes.size() - 8);
  // Whole 10 ms blocks up to the end of virtual time 0.9 s.
  EXPECT_EQ(data, 90u * 441 * 4);
  std::vector<int16_t> capture((bytes.size() - 44) / 2);
  memcpy(capture.data(), bytes.data() + 44, capture.size() * 2);
  // Each play starts within 10 ms after its own time (a finished buffer plays
  // again from its top).
  size_t from = 0;
  for (const Start& s : starts) {
    const size_t due = static_cast<size_t>(s.micros * 441 / 10000);
    size_t onset = from;
    while (onset < capture.size() / 2 && capture[2 * onset] == 0) ++onset;
    EXPECT_GE(onset, due);
    EXPECT_LT(onset, due + 441);
    EXPECT_EQ(capture[2 * onset], 700);
    EXPECT_EQ(capture[2 * onset + 1], -700);
    from = onset + 4410;  // past this one's 100 ms
  }
  qx::SelectPlatform(previous);
}

}  // namespace
