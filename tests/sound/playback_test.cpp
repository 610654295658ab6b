// Sound handles and static playback, heard through the headless capture.
#include <gtest/gtest.h>

#include <math.h>

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
    ASSERT_EQ(InitRuntime(), 0);
  }
  void TearDown() override {
    EndRuntime();
    HeadlessFixture::TearDown();
  }
  qx::PlatformSoundOps sound_;
  qx::Platform platform_;
};

TEST_F(NoSoundDevice, EveryOperationFailsAndTheGameRunsSilently) {
  std::ifstream in(dir_ + "/Log.txt", std::ios::binary);
  std::stringstream log;
  log << in.rdbuf();
  EXPECT_NE(log.str().find("DirectSound インターフェースの取得を行います....  DirectSoundインターフェースの作成に失敗しました\r\n"),
            std::string::npos)
      << log.str();
  std::ofstream("dc.wav", std::ios::binary) << "RIFF";
  EXPECT_EQ(LoadSoundFile("dc.wav", 3, -1), -1);
  EXPECT_EQ(DeleteAllSounds(0), -1);
  EXPECT_EQ(PlaySoundHandle(0x10000000, 1, 1), -1);
  EXPECT_EQ(SetSoundVolume(255, 0x10000000), -1);
  EXPECT_EQ(SetSoundLoopPosition(0, 0x10000000), -1);
  EXPECT_EQ(ProcessMessage(), 0);
}

}  // namespace
