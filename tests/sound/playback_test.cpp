// Sound handles and static playback, heard through the headless capture.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <math.h>
#include <unistd.h>

#include <algorithm>

#include "runtime/platform/headless/headless.h"
#include "runtime/sound/sound_internal.h"
#include "sound/sound_runtime_fixture.h"
#include "tests/file/file_test_support.h"

namespace {

using qxtest::Capture;
using qxtest::Dc16;
using qxtest::PcmWave;

class Playback : public qxtest::SoundRuntime {
 protected:
  // Left sample `ms` milliseconds after frame `origin`.
  static int At(const Capture& c, size_t origin, double ms) {
    return c.left(origin + static_cast<size_t>(llround(ms * 44.1)));
  }
  uint64_t Now() { return qx::Headless().clockMicros; }
};

TEST_F(Playback, StartAndEndAreLoggedWithTheDevice) {
  const std::string log = Log();
  EXPECT_NE(log.find("DirectSound の初期化を行います\r\n"), std::string::npos) << log;
  // The interface line has no ending of its own: the device list follows on it.
  const size_t interface = log.find("DirectSound インターフェースの取得を行います....  ");
  ASSERT_NE(interface, std::string::npos) << log;
  const size_t lineEnd = log.find("\r\n", interface);
  EXPECT_EQ(log.substr(interface, lineEnd - interface).find("成功しました"), std::string::npos) << log;
  EXPECT_NE(log.find("DirectSound デバイスを列挙します\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("モジュール名:       headless  ドライバ記述:virtual device"), std::string::npos) << log;
  EXPECT_NE(log.find("DirectSound の初期化は正常に終了しました\r\n"), std::string::npos) << log;
  Listen();
  EXPECT_NE(Log().find("DirectSound の終了処理は正常に終了しました\r\n"), std::string::npos);
}

TEST_F(Playback, AFourthQuickPlayOfAThreeBufferSoundCutsTheFirstAndRestartsIt) {
  SoundHandle h = LoadSoundFile(Write("dc.wav", PcmWave(2, 44100, 16, Dc16(44100, 3000))).c_str(), 3, -1);
  ASSERT_NE(h, -1);
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Milliseconds(100);  // 6 frames: 102 ms
  }
  Milliseconds(1500);
  Capture c = Listen();
  const size_t t0 = c.Onset();
  ASSERT_NE(t0, std::string::npos);
  // Middles of the 102 ms steps: plays at 0, 102, 204 and 306 ms, each 1 s long.
  struct Expect {
    double ms;
    int level;
  } expected[] = {{51, 3000},    {153, 6000},   {255, 9000},  {357, 9000} /* not 12000 */,
                  {1000, 9000},  {1051, 9000},  {1153, 6000}, {1255, 3000} /* the restarted first */,
                  {1357, 0}};
  for (const Expect& e : expected) EXPECT_EQ(At(c, t0, e.ms), e.level) << e.ms << " ms";
}

TEST_F(Playback, FromTopZeroOnAPlayingSoundRestartsNothing) {
  SoundHandle h = LoadSoundFile(Write("dc.wav", PcmWave(2, 44100, 16, Dc16(44100, 3000))).c_str(), 2, -1);
  ASSERT_NE(h, -1);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  Milliseconds(100);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  Milliseconds(100);
  // Both buffers play: the next in rotation is left alone.
  EXPECT_EQ(PlaySoundHandle(h, 1, 0), 0);
  Milliseconds(1200);
  Capture c = Listen();
  const size_t t0 = c.Onset();
  ASSERT_NE(t0, std::string::npos);
  EXPECT_EQ(At(c, t0, 255), 6000);
  EXPECT_EQ(At(c, t0, 1051), 3000);  // the first ended after its second
  EXPECT_EQ(At(c, t0, 1153), 0);
}

TEST_F(Playback, VolumesFollowTheAttenuationTable) {
  struct Case {
    int volume, hundredths;
  } cases[] = {{300, 0},  {255, 0},     {179, -153},    {128, -299},    {100, -406},
               {64, -600}, {25, -1008}, {1, -2406},     {0, -10000},    {-5, -10000}};
  const std::string file = Write("dc.wav", PcmWave(2, 44100, 16, Dc16(8820, 20000)));
  std::vector<uint64_t> starts;
  for (const Case& k : cases) {
    SoundHandle h = LoadSoundFile(file.c_str(), 1, -1);
    ASSERT_NE(h, -1);
    ASSERT_EQ(SetSoundVolume(k.volume, h), 0);
    starts.push_back(Now());
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Milliseconds(300);
  }
  Capture c = Listen();
  const size_t t0 = c.Onset();  // the first case is at full volume
  ASSERT_NE(t0, std::string::npos);
  for (size_t i = 0; i < starts.size(); ++i) {
    const double ms = static_cast<double>(starts[i] - starts[0]) / 1000.0 + 100.0;
    const double expected = cases[i].hundredths <= -10000 ? 0.0 : 20000.0 * pow(10.0, cases[i].hundredths / 2000.0);
    EXPECT_NEAR(At(c, t0, ms), expected, 1.5) << "volume " << cases[i].volume;
  }
}

// Whatever rate a file has, the mixer resamples it: a second of it lasts a
// second at the device's rate.
TEST_F(Playback, AnyRateFromOneToThreeHundredEightyFourKilohertzPlays) {
  const int rates[] = {1000, 4000, 8000, 96000, 192000, 384000};
  std::vector<uint64_t> starts;
  for (int rate : rates) {
    const std::string name = "r" + std::to_string(rate) + ".wav";
    SoundHandle h = LoadSoundFile(Write(name, PcmWave(2, rate, 16, Dc16(rate / 5, 2500))).c_str(), 1, -1);
    ASSERT_NE(h, -1) << rate;
    starts.push_back(Now());
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Milliseconds(400);
  }
  Capture c = Listen();
  const size_t t0 = c.Onset();
  ASSERT_NE(t0, std::string::npos);
  for (size_t i = 0; i < starts.size(); ++i) {
    SCOPED_TRACE(rates[i]);
    const double from = static_cast<double>(starts[i] - starts[0]) / 1000.0;
    // 200 ms long; each start, the first included, is up to 10 ms late.
    EXPECT_EQ(At(c, t0, from + 20), 2500);
    EXPECT_EQ(At(c, t0, from + 180), 2500);
    EXPECT_EQ(At(c, t0, from + 225), 0);
  }
}

TEST_F(Playback, PlayTypeZeroReturnsWhenTheSoundHasEnded) {
  SoundHandle h = LoadSoundFile(Write("dc.wav", PcmWave(1, 22050, 8, std::vector<uint8_t>(11025, 200))).c_str(), 1, -1);
  ASSERT_NE(h, -1);
  const uint64_t before = Now();
  ASSERT_EQ(PlaySoundHandle(h, 0, 1), 0);
  const double waited = static_cast<double>(Now() - before) / 1000.0;
  EXPECT_GE(waited, 490.0);  // the device is up to one 10 ms block ahead
  EXPECT_LT(waited, 520.0);
  EXPECT_EQ(qx::CheckSoundPlaying(h), 0);
}

TEST_F(Playback, PlayTypeThreeLoopsAStaticSound) {
  std::vector<uint8_t> pcm = Dc16(441, 1000);
  std::vector<uint8_t> second = Dc16(441, 2000);
  pcm.insert(pcm.end(), second.begin(), second.end());
  SoundHandle h = LoadSoundFile(Write("loop.wav", PcmWave(2, 44100, 16, pcm)).c_str(), 3, -1);
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  Milliseconds(500);
  EXPECT_EQ(qx::CheckSoundPlaying(h), 1);
  Capture c = Listen();
  const size_t t0 = c.Onset();
  ASSERT_NE(t0, std::string::npos);
  for (int period = 0; period < 20; ++period) {
    EXPECT_EQ(c.left(t0 + period * 882 + 5), 1000) << period;
    EXPECT_EQ(c.left(t0 + period * 882 + 446), 2000) << period;
  }
}

TEST_F(Playback, BufferCountsAreClampedAndZeroBuffersCannotPlay) {
  const std::string file = Write("dc.wav", PcmWave(2, 44100, 16, Dc16(44100, 1000)));
  SoundHandle many = LoadSoundFile(file.c_str(), 20, -1);
  ASSERT_NE(many, -1);
  EXPECT_EQ(qx::GetSoundRecord(many)->bufferCount, 10);
  SoundHandle none = LoadSoundFile(file.c_str(), 0, -1);
  ASSERT_NE(none, -1);
  EXPECT_EQ(PlaySoundHandle(none, 1, 1), -1);
  EXPECT_EQ(SetSoundVolume(100, none), 0);
  for (int i = 0; i < 11; ++i) {
    ASSERT_EQ(PlaySoundHandle(many, 1, 1), 0);
    qx::Os().Sleep(1);
  }
  Milliseconds(100);
  Capture c = Listen();
  int loudest = 0;
  for (size_t f = 0; f < c.frames(); ++f) loudest = std::max(loudest, c.left(f));
  EXPECT_EQ(loudest, 10000);  // ten voices at most: the eleventh play cut the first
}

TEST_F(Playback, AReusedSlotRejectsTheOldHandle) {
  const std::string file = Write("dc.wav", PcmWave(2, 44100, 16, Dc16(100, 1000)));
  SoundHandle old = LoadSoundFile(file.c_str(), 3, -1);
  ASSERT_NE(old, -1);
  EXPECT_EQ(old & 0xFFFF, 0);
  ASSERT_EQ(DeleteAllSounds(0), 0);
  SoundHandle fresh = LoadSoundFile(file.c_str(), 3, -1);
  ASSERT_NE(fresh, -1);
  EXPECT_EQ(fresh & 0xFFFF, 0);
  EXPECT_NE(fresh, old);
  EXPECT_EQ(PlaySoundHandle(old, 1, 1), -1);
  EXPECT_EQ(SetSoundVolume(255, old), -1);
  EXPECT_EQ(SetSoundLoopPosition(0, old), -1);
  EXPECT_EQ(qx::CheckSoundPlaying(old), -1);
  EXPECT_EQ(PlaySoundHandle(0x10000000 | 4096, 1, 1), -1);
  EXPECT_EQ(PlaySoundHandle(fresh, 1, 1), 0);
}

TEST_F(Playback, ALoopPositionAtOrPastTheEndIsRefusedAndTheSoundStaysStatic) {
  SoundHandle h = LoadSoundFile(Write("dc.wav", PcmWave(2, 44100, 16, Dc16(44100, 1000))).c_str(), 3, -1);
  ASSERT_NE(h, -1);
  for (int ms : {1000, 1001, 60000, -1}) {
    EXPECT_EQ(SetSoundLoopPosition(ms, h), -1) << ms;
    EXPECT_EQ(qx::GetSoundRecord(h)->isStream, 0) << ms;
  }
  EXPECT_EQ(SetSoundLoopPosition(999, h), 0);
  qx::SoundRecord* r = qx::GetSoundRecord(h);
  ASSERT_NE(r, nullptr);  // the same handle
  EXPECT_EQ(r->isStream, 1);
  EXPECT_EQ(r->stream.sources[0].loopStart, 44055);
}

// A sound compressed in an archive is decoded from the file layer's own copy:
// it must sound as the loose file does, and a damaged one must fail the same way.
TEST_F(Playback, ASoundCompressedInAnArchiveLoadsAndFailsAsALooseOne) {
  using qxtest::DirEntry;
  using qxtest::FileEntry;
  std::vector<uint8_t> pcm = Dc16(441, 1500);
  std::vector<uint8_t> second = Dc16(441, -2500);
  pcm.insert(pcm.end(), second.begin(), second.end());
  SetArchiveExtension("ptk");
  SetArchiveKeyString("QxSndTst");
  Write("snd.ptk", qxtest::BuildArchive({FileEntry("pair.wav", PcmWave(2, 44100, 16, pcm)),
                                         FileEntry("text.wav", std::vector<uint8_t>(4000, 'x'))},
                                        "QxSndTst"));
  EXPECT_EQ(LoadSoundFile("snd/text.wav", 3, -1), -1);
  EXPECT_NE(Log().find("右記の音声ファイルのロードに失敗しました_2：snd/text.wav"), std::string::npos);
  SoundHandle h = LoadSoundFile("snd/pair.wav", 3, -1);
  ASSERT_NE(h, -1);
  EXPECT_EQ(qx::OpenFileCount(), 0);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  Milliseconds(100);
  Capture c = Listen();
  const size_t t0 = c.Onset();
  ASSERT_NE(t0, std::string::npos);
  EXPECT_EQ(c.left(t0 + 5), 1500);
  EXPECT_EQ(c.left(t0 + 446), -2500);
  EXPECT_EQ(c.left(t0 + 1000), 0);
}

TEST_F(Playback, WaveFilesLoadOrFailAsTheirChunksSay) {
  using qxtest::Chunk;
  using qxtest::PcmFmt;
  using qxtest::RiffWave;
  const std::vector<uint8_t> pcm = Dc16(4410, 4000);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    int level;  // heard when it loads, -1 when the load fails
  } cases[] = {
      {"list.wav", RiffWave({Chunk("fmt ", PcmFmt(2, 44100, 16)), Chunk("LIST", {'I', 'N', 'F', 'O', 'x'}), Chunk("data", pcm)}), 4000},
      {"before.wav", RiffWave({Chunk("LIST", {'I', 'N', 'F', 'O'}), Chunk("fmt ", PcmFmt(2, 44100, 16)), Chunk("data", pcm)}), -1},
      // A 16-byte format chunk claiming 8 bits: block alignment 4 over 2 channels makes it 16.
      {"bits.wav", RiffWave({Chunk("fmt ", PcmFmt(2, 44100, 16, false, 8)), Chunk("data", pcm)}), 4000},
      {"odd.wav", RiffWave({Chunk("fmt ", PcmFmt(3, 44100, 16)), Chunk("data", std::vector<uint8_t>(60, 0))}), -1},
      {"empty.wav", RiffWave({Chunk("fmt ", PcmFmt(2, 44100, 16)), Chunk("data", {})}), -1},
      // The data chunk claims more than the file holds: what is there plays.
      {"cut.wav", [&] {
         std::vector<uint8_t> v = RiffWave({Chunk("fmt ", PcmFmt(2, 44100, 16)), Chunk("data", pcm)});
         v.resize(v.size() - pcm.size() / 2 - 3);
         return v;
       }(), 4000},
      {"text.wav", std::vector<uint8_t>(100, 'x'), -1},
  };
  std::vector<uint64_t> starts;
  for (const Case& k : cases) {
    SoundHandle h = LoadSoundFile(Write(k.name, k.bytes).c_str(), 3, -1);
    EXPECT_EQ(h == -1, k.level == -1) << k.name;
    if (h == -1) {
      EXPECT_NE(Log().find(std::string("右記の音声ファイルのロードに失敗しました_2：") + k.name), std::string::npos)
          << k.name;
      continue;
    }
    starts.push_back(Now());
    PlaySoundHandle(h, 1, 1);
    Milliseconds(200);
  }
  EXPECT_EQ(LoadSoundFile("missing.wav", 3, -1), -1);
  EXPECT_NE(Log().find("右記のファイルのオープンに失敗しました：missing.wav"), std::string::npos);
  EXPECT_NE(Log().find("右記の音声ファイルのロードに失敗しました_1：missing.wav"), std::string::npos);
  // An empty file is read (nothing) and fails as a sound no decoder knows, not for memory.
  EXPECT_EQ(LoadSoundFile(Write("zero.wav", {}).c_str(), 3, -1), -1);
  EXPECT_EQ(Log().find("右記のファイルのロードに必要なメモリの確保に失敗しました：zero.wav"), std::string::npos);
  EXPECT_EQ(Log().find("右記の音声ファイルのロードに失敗しました_1：zero.wav"), std::string::npos);
  EXPECT_NE(Log().find("音声ファイルのＰＣＭへの変換に失敗しました"), std::string::npos);
  EXPECT_NE(Log().find("右記の音声ファイルのロードに失敗しました_2：zero.wav"), std::string::npos);
  Capture c = Listen();
  const size_t t0 = c.Onset();
  ASSERT_NE(t0, std::string::npos);
  for (uint64_t start : starts) EXPECT_EQ(At(c, t0, static_cast<double>(start - starts[0]) / 1000.0 + 50), 4000);
}

// From top 0 starts the next buffer where the last play's buffer is now: the
// two sound the same sample together.
TEST_F(Playback, FromTopZeroStartsTheNextBufferAtThePreviousOnesCursor) {
  std::vector<uint8_t> ramp;
  for (int i = 0; i < 44100; ++i) {
    qxtest::Put16(ramp, static_cast<uint16_t>(1000 + i / 10));
    qxtest::Put16(ramp, static_cast<uint16_t>(1000 + i / 10));
  }
  SoundHandle h = LoadSoundFile(Write("ramp.wav", PcmWave(2, 44100, 16, ramp)).c_str(), 2, -1);
  ASSERT_NE(h, -1);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  Milliseconds(300);
  ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
  Milliseconds(1000);
  Capture c = Listen();
  const size_t t0 = c.Onset();
  ASSERT_NE(t0, std::string::npos);
  const size_t second = static_cast<size_t>(0.33 * 44100);  // past the second start
  for (size_t f = second; f < 44000; f += 1000) EXPECT_EQ(c.left(t0 + f), 2 * (1000 + static_cast<int>(f) / 10)) << f;
  EXPECT_EQ(c.left(t0 + 44100 + 10), 0);  // both end together
}

// CheckSoundPlaying asks every buffer, not only the one played last.
TEST_F(Playback, ASoundIsPlayingWhileAnyOfItsBuffersIs) {
  SoundHandle h = LoadSoundFile(Write("dc.wav", PcmWave(2, 44100, 16, Dc16(13230, 1000))).c_str(), 2, -1);
  ASSERT_NE(h, -1);
  EXPECT_EQ(qx::CheckSoundPlaying(h), 0);
  // 300 ms each: buffer 1 at 0 ms, buffer 0 at 102 ms; a from-top-0 play at
  // 153 ms finds buffer 1 playing and only moves the rotation on to it.
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  Milliseconds(50);
  EXPECT_EQ(qx::CheckSoundPlaying(h), 1);  // buffer 1 only
  Milliseconds(50);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  Milliseconds(50);
  ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
  struct Step {
    int ms;  // after the last step
    int playing;
  } steps[] = {{50, 1} /* 204 ms: both */, {120, 1} /* 340 ms: buffer 0 only */, {100, 0} /* 442 ms: none */};
  for (const Step& s : steps) {
    Milliseconds(s.ms);
    qxtest::ApiLocked lock;
    EXPECT_EQ(qx::CheckSoundPlaying(h), s.playing) << s.ms;
  }
}

// Play types 1 and 2 play a static sound once, 3 loops it.
TEST_F(Playback, PlayTypeTwoIsPlayTypeOneForAStaticSound) {
  struct Case {
    int playType;
    int playingAfterItsLength;
  } cases[] = {{1, 0}, {2, 0}, {3, 1}};
  const std::string file = Write("dc.wav", PcmWave(2, 44100, 16, Dc16(4410, 1000)));
  for (const Case& k : cases) {
    SoundHandle h = LoadSoundFile(file.c_str(), 3, -1);
    ASSERT_NE(h, -1);
    ASSERT_EQ(PlaySoundHandle(h, k.playType, 1), 0);
    Milliseconds(50);
    EXPECT_EQ(qx::CheckSoundPlaying(h), 1) << k.playType;
    Milliseconds(200);
    EXPECT_EQ(qx::CheckSoundPlaying(h), k.playingAfterItsLength) << k.playType;
    ASSERT_EQ(DeleteAllSounds(0), 0);
  }
}

// The loop sample is milliseconds x rate / 1000 in 32-bit arithmetic: a
// position past 97 s at 44100 Hz wraps round to a small one.
TEST_F(Playback, TheLoopSampleWrapsAt32Bits) {
  struct Case {
    int ms;
    int result;
    int64_t loopStart;
  } cases[] = {
      {2999, 0, 132255},  {3000, -1, 0},
      {97400, 0, 372},     // 97400 x 44100 = 2^32 + 372704
      {100000, 0, 115032}, // 4410000000 - 2^32 = 115032704
      {97000, -1, 0},      // 4277700000 fits: sample 4277700, far past the end
  };
  const std::string file = Write("dc.wav", PcmWave(2, 44100, 16, Dc16(3 * 44100, 1000)));
  for (const Case& k : cases) {
    SCOPED_TRACE(k.ms);
    SoundHandle h = LoadSoundFile(file.c_str(), 1, -1);
    ASSERT_NE(h, -1);
    ASSERT_EQ(SetSoundLoopPosition(k.ms, h), k.result);
    qx::SoundRecord* r = qx::GetSoundRecord(h);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->isStream, k.result == 0 ? 1 : 0);
    if (k.result == 0) {
      EXPECT_EQ(r->stream.sources[0].loopStart, k.loopStart);
    }
  }
}

// 4096 sounds fill the table. New ones go above the highest in use; only
// at the top is a free slot searched from 0; deleting the highest lowers the mark.
TEST_F(Playback, TheSoundTableHoldsFourThousandNinetySixSounds) {
  qxtest::ApiLocked lock;
  std::vector<int> handles;
  for (int i = 0; i < 4096; ++i) {
    handles.push_back(qx::AddSoundData(-1));
    ASSERT_EQ(handles.back() & 0xFFFF, i);
  }
  EXPECT_EQ(qx::AddSoundData(-1), -1);
  EXPECT_NE(Log().find("サウンドの数が許容量を越えました"), std::string::npos);
  ASSERT_EQ(qx::DeleteSound(handles[100]), 0);
  ASSERT_EQ(qx::DeleteSound(handles[4095]), 0);
  ASSERT_EQ(qx::DeleteSound(handles[4094]), 0);
  EXPECT_EQ(qx::GetSoundRecord(handles[4094]), nullptr);
  const int top = qx::AddSoundData(-1);  // above 4093, the highest left
  EXPECT_EQ(top & 0xFFFF, 4094);
  EXPECT_NE(top, handles[4094]);  // a new check value
  EXPECT_EQ(qx::AddSoundData(-1) & 0xFFFF, 4095);
  EXPECT_EQ(qx::AddSoundData(-1) & 0xFFFF, 100);
  EXPECT_EQ(qx::AddSoundData(-1), -1);
  EXPECT_EQ(DeleteAllSounds(0), 0);
  EXPECT_EQ(qx::AddSoundData(-1) & 0xFFFF, 0);
}

// A sound device that cannot be opened leaves the sound system down.
class NoSoundDevice : public HeadlessFixture {
 protected:
  void SetUp() override {
    HeadlessFixture::SetUp();
    sound_ = *qx::kHeadlessPlatform.sound;
    sound_.Init = [](int, int, int) { return -1; };
    platform_ = qx::kHeadlessPlatform;
    platform_.sound = &sound_;
    qx::SelectPlatform(&platform_);
    SetWindowCaption("QxSoundTest");
    SetLogFileEnabled(1);
    SetRunWhileInactive(1);
    // What the start-up tells the terminal.
    fflush(stderr);
    const int terminal = dup(2);
    const int errors = open((dir_ + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(errors, 0);
    dup2(errors, 2);
    close(errors);
    const int started = InitRuntime();
    fflush(stderr);
    dup2(terminal, 2);
    close(terminal);
    ASSERT_EQ(started, 0);
  }
  void TearDown() override {
    EndRuntime();
    HeadlessFixture::TearDown();
  }
  qx::PlatformSoundOps sound_;
  qx::Platform platform_;
};

TEST_F(NoSoundDevice, EveryOperationFailsAndTheGameRunsSilently) {
  const std::string log = qxtest::ReadWholeText(dir_ + "/Log.txt");
  EXPECT_NE(log.find("DirectSound インターフェースの取得を行います....  DirectSoundインターフェースの作成に失敗しました\r\n"),
            std::string::npos)
      << log;
  // The terminal gets the runtime's own line (in UTF-8), and it alone.
  const std::string terminal = qxtest::ReadWholeText(dir_ + "/stderr.txt");
  EXPECT_EQ(terminal.rfind("DirectSound", 0), 0u) << terminal;
  EXPECT_EQ(std::count(terminal.begin(), terminal.end(), '\n'), 1) << terminal;
  std::ofstream("dc.wav", std::ios::binary) << "RIFF";
  EXPECT_EQ(LoadSoundFile("dc.wav", 3, -1), -1);
  EXPECT_EQ(DeleteAllSounds(0), -1);
  EXPECT_EQ(PlaySoundHandle(0x10000000, 1, 1), -1);
  EXPECT_EQ(SetSoundVolume(255, 0x10000000), -1);
  EXPECT_EQ(SetSoundLoopPosition(0, 0x10000000), -1);
  EXPECT_EQ(ProcessMessage(), 0);
}

}  // namespace
