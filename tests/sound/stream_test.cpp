// Stream sounds heard through the headless capture: the loop seam, several
// sources, loop counts, the tail, stop and resume.
#include <gtest/gtest.h>

#include <math.h>
#include <stdint.h>

#include <algorithm>
#include <iterator>
#include <list>
#include <string>
#include <vector>

#include "runtime/platform/headless/headless.h"
#include "runtime/sound/sound_internal.h"
#include "sound/sound_runtime_fixture.h"

namespace {

using qxtest::Capture;
using qxtest::PcmWave;

// Noise-like 16-bit stereo that never repeats within its length and is never 0.
std::vector<int16_t> Music(size_t frames, uint32_t seed) {
  std::vector<int16_t> s(frames * 2);
  uint32_t x = seed;
  for (size_t i = 0; i < s.size(); ++i) {
    x = x * 1664525u + 1013904223u;
    int16_t v = static_cast<int16_t>((x >> 16) % 40000 - 20000);
    s[i] = v == 0 ? 1 : v;
  }
  return s;
}

std::vector<uint8_t> Bytes(const std::vector<int16_t>& s) {
  std::vector<uint8_t> b(s.size() * 2);
  memcpy(b.data(), s.data(), b.size());
  return b;
}

// Frames of `capture` from `at` that equal `music` from `from`; stops at the first difference.
size_t Matching(const Capture& c, size_t at, const std::vector<int16_t>& music, size_t from, size_t count) {
  size_t n = 0;
  while (n < count && at + n < c.frames() && from + n < music.size() / 2 &&
         c.samples[2 * (at + n)] == music[2 * (from + n)] && c.samples[2 * (at + n) + 1] == music[2 * (from + n) + 1]) {
    ++n;
  }
  return n;
}

// Where the capture, at or after `from`, starts playing `music` from frame `start`.
size_t Find(const Capture& c, size_t from, const std::vector<int16_t>& music, size_t start) {
  for (size_t f = from; f + 64 < c.frames(); ++f) {
    if (Matching(c, f, music, start, 64) == 64) return f;
  }
  return std::string::npos;
}

class Streams : public qxtest::SoundRuntime {
 protected:
  // A stream sound made of in-memory WAVE images, with source type 2.
  int NewStream() {
    qxtest::ApiLocked lock;
    return qx::AddSoundData(-1);
  }
  int AddSource(int handle, const std::vector<uint8_t>& wave, int loopCount, int sourceType = 2) {
    qxtest::ApiLocked lock;
    images_.push_back(wave);
    qx::MemoryStream* m = qx::OpenMemoryStream(images_.back().data(), images_.back().size());
    int owns = -1;
    int result = qx::AddSreamSound(qx::MemoryStreamOps(), m, loopCount, handle, sourceType, &owns, -1);
    if (result == 0) {
      EXPECT_EQ(owns, sourceType == 3 ? 0 : 1);
    }
    // Type 3 keeps reading the given stream; the others have copied it.
    if (sourceType == 3 && result == 0) {
      kept_.push_back(m);
    } else {
      qx::MemoryStreamOps().Close(m);
    }
    return result;
  }
  void TearDown() override {
    if (running_) EndRuntime();
    running_ = false;
    for (qx::MemoryStream* m : kept_) qx::MemoryStreamOps().Close(m);
    SoundRuntime::TearDown();
  }
  std::list<std::vector<uint8_t>> images_;
  std::vector<qx::MemoryStream*> kept_;
};

// The game's music: loaded whole, then given a loop point of 16700 ms.
TEST_F(Streams, MusicLoopsSampleExactlyToItsLoopPointWithPlayTypesThreeAndOne) {
  constexpr size_t kFrames = 20 * 44100;
  constexpr size_t kLoop = 736470;  // 16700 ms at 44100 Hz
  const std::vector<int16_t> music = Music(kFrames, 7);
  const std::string file = Write("music.wav", PcmWave(2, 44100, 16, Bytes(music)));
  for (int playType : {3, 1}) {
    SCOPED_TRACE(playType);
    SoundHandle h = LoadSoundFile(file.c_str(), 3, -1);
    ASSERT_NE(h, -1);
    ASSERT_EQ(SetSoundLoopPosition(16700, h), 0);
    qx::SoundRecord* r = qx::GetSoundRecord(h);
    ASSERT_NE(r, nullptr);  // still the same handle
    EXPECT_EQ(r->isStream, 1);
    EXPECT_EQ(r->stream.sources[0].loopStart, static_cast<int64_t>(kLoop));
    ASSERT_EQ(PlaySoundHandle(h, playType, 1), 0);
    Milliseconds(20000 + 2 * 3300 + 1000);  // the whole piece, then two loops
    EXPECT_EQ(qx::CheckSoundPlaying(h), 1);
    ASSERT_EQ(DeleteAllSounds(0), 0);
    Milliseconds(100);
  }
  Capture c = Listen();
  size_t at = 0;
  for (int run = 0; run < 2; ++run) {
    at = Find(c, at, music, 0);
    ASSERT_NE(at, std::string::npos) << "run " << run;
    ASSERT_EQ(Matching(c, at, music, 0, kFrames), kFrames) << "run " << run;
    at += kFrames;
    for (int loop = 0; loop < 2; ++loop) {
      ASSERT_EQ(Matching(c, at, music, kLoop, kFrames - kLoop), kFrames - kLoop) << "run " << run << " loop " << loop;
      at += kFrames - kLoop;
    }
  }
}

// A loop position rebuilds the sound from its samples: from the play buffers
// that hold them, or from the record when it was loaded without any.
TEST_F(Streams, ALoopPositionKeepsEverySampleWhateverTheBufferCount) {
  constexpr size_t kFrames = 2 * 44100;
  constexpr size_t kLoop = 22050;  // 500 ms
  const std::vector<int16_t> music = Music(kFrames, 11);
  const std::string file = Write("short.wav", PcmWave(2, 44100, 16, Bytes(music)));
  for (int buffers : {0, 1, 3}) {
    SCOPED_TRACE(buffers);
    SoundHandle h = LoadSoundFile(file.c_str(), buffers, -1);
    ASSERT_NE(h, -1);
    ASSERT_EQ(SetSoundLoopPosition(500, h), 0);
    ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
    Milliseconds(2000 + 1500 + 500);  // the whole sound, then a loop
    ASSERT_EQ(DeleteAllSounds(0), 0);
    Milliseconds(100);
  }
  Capture c = Listen();
  size_t at = 0;
  for (int run = 0; run < 3; ++run) {
    at = Find(c, at, music, 0);
    ASSERT_NE(at, std::string::npos) << "run " << run;
    ASSERT_EQ(Matching(c, at, music, 0, kFrames), kFrames) << "run " << run;
    at += kFrames;
    ASSERT_EQ(Matching(c, at, music, kLoop, kFrames - kLoop), kFrames - kLoop) << "run " << run;
    at += kFrames - kLoop;
  }
}

TEST_F(Streams, SourcesPlayInTurnWithTheirLoopCountsAndThenStop) {
  const std::vector<int16_t> a = Music(30000, 1), b = Music(20000, 2);
  int h = NewStream();
  ASSERT_NE(h, -1);
  ASSERT_EQ(AddSource(h, PcmWave(2, 44100, 16, Bytes(a)), 1, 0), 0);
  // A different format is refused and the first source stays usable.
  EXPECT_EQ(AddSource(h, PcmWave(1, 22050, 16, std::vector<uint8_t>(4000, 1)), 0), -1);
  EXPECT_NE(Log().find("フォーマットの違う音声データは同時に使うことは出来ません"), std::string::npos);
  ASSERT_EQ(AddSource(h, PcmWave(2, 44100, 16, Bytes(b)), 0, 3), 0);
  EXPECT_EQ(qx::GetSoundRecord(h)->stream.sourceCount, 2);
  EXPECT_EQ(qx::GetSoundRecord(h)->stream.totalSamples, 50000);
  EXPECT_EQ(SetSoundLoopPosition(10, h), -1);  // not with two sources
  EXPECT_NE(Log().find("二つ以上の音声ファイルから作成されたサウンドハンドルにループポイントを指定する事は出来ません"),
            std::string::npos);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  Milliseconds(4000);
  EXPECT_EQ(qx::CheckSoundPlaying(h), 0);  // the tail has run out
  Capture c = Listen();
  size_t at = Find(c, 0, a, 0);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(Matching(c, at, a, 0, 30000), 30000u);
  EXPECT_EQ(Matching(c, at + 30000, a, 0, 30000), 30000u);  // loop count 1: once more
  EXPECT_EQ(Matching(c, at + 60000, b, 0, 20000), 20000u);
  EXPECT_EQ(c.Onset(at + 80000), std::string::npos);  // silence, then nothing
}

TEST_F(Streams, APlayingStreamTakesNoMoreSources) {
  int h = NewStream();
  ASSERT_EQ(AddSource(h, PcmWave(2, 44100, 16, Bytes(Music(44100, 3))), 0), 0);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  EXPECT_EQ(AddSource(h, PcmWave(2, 44100, 16, Bytes(Music(100, 3))), 0), -1);
  EXPECT_NE(Log().find("既に再生中のストリームサウンドデータにデータを追加しようとしました"), std::string::npos);
  int full = NewStream();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(AddSource(full, PcmWave(2, 44100, 16, Bytes(Music(100, 3))), 0), 0);
  EXPECT_EQ(AddSource(full, PcmWave(2, 44100, 16, Bytes(Music(100, 3))), 0), -1);
  EXPECT_NE(Log().find("ストリーム風サウンドの制御データ領域がいっぱいです"), std::string::npos);
  SoundHandle still = LoadSoundFile(Write("s.wav", PcmWave(2, 44100, 16, Bytes(Music(100, 3)))).c_str(), 1, -1);
  EXPECT_EQ(AddSource(still, PcmWave(2, 44100, 16, Bytes(Music(100, 3))), 0), -1);
  EXPECT_NE(Log().find("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound"), std::string::npos);
  EXPECT_EQ(AddSource(NewStream(), {'R', 'I', 'F', 'F'}, 0), -1);
  EXPECT_NE(Log().find("音声データのオープンに失敗しました"), std::string::npos);
}

TEST_F(Streams, FromTopZeroAfterAStopResumesAndFromTopOneStartsAgain) {
  const std::vector<int16_t> music = Music(10 * 44100, 5);
  SoundHandle h = LoadSoundFile(Write("m.wav", PcmWave(2, 44100, 16, Bytes(music))).c_str(), 1, -1);
  ASSERT_EQ(SetSoundLoopPosition(0, h), 0);
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  Milliseconds(1500);
  {
    qxtest::ApiLocked lock;
    ASSERT_EQ(qx::StopStreamSound(h), 0);
  }
  {
    qxtest::ApiLocked lock;
    EXPECT_EQ(qx::CheckSoundPlaying(h), 0);
  }
  Milliseconds(500);
  ASSERT_EQ(PlaySoundHandle(h, 3, 0), 0);
  EXPECT_EQ(PlaySoundHandle(h, 3, 0), 0);  // already playing: nothing changes
  Milliseconds(1500);
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  Milliseconds(1000);
  Capture c = Listen();
  const size_t start = Find(c, 0, music, 0);
  ASSERT_NE(start, std::string::npos);
  const size_t played = Matching(c, start, music, 0, music.size() / 2);
  EXPECT_NEAR(static_cast<double>(played), 1.5 * 44100, 0.03 * 44100);
  const size_t resumed = c.Onset(start + played);
  ASSERT_NE(resumed, std::string::npos);
  EXPECT_NEAR(static_cast<double>(resumed - start - played), 0.5 * 44100, 0.03 * 44100);
  const size_t again = Matching(c, resumed, music, played, music.size() / 2);
  EXPECT_NEAR(static_cast<double>(again), 1.5 * 44100, 0.03 * 44100);
  EXPECT_EQ(Find(c, resumed + again, music, 0), resumed + again);  // from the top at once
  EXPECT_GE(Matching(c, resumed + again, music, 0, 44100), 44000u);
}

// A sound too short for the first fill ends in the tail; 8-bit silence is 127.
TEST_F(Streams, AShortEightBitStreamEndsWithItsSilenceValue) {
  int h = NewStream();
  ASSERT_EQ(AddSource(h, PcmWave(1, 44100, 8, std::vector<uint8_t>(4410, 228)), 0), 0);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  Milliseconds(300);
  EXPECT_EQ(qx::CheckSoundPlaying(h), 0);
  Capture c = Listen();
  const size_t start = c.Onset();
  ASSERT_NE(start, std::string::npos);
  for (size_t f = start; f < start + 4410; ++f) ASSERT_EQ(c.left(f), 100 * 256) << f;
  EXPECT_EQ(c.left(start + 4410), -256);  // 127 until the tail has been noticed
  EXPECT_EQ(c.left(start + 4410 + 44100 / 10), 0);
}

TEST_F(Streams, StreamsAreRefilledWhileTheWindowIsInactive) {
  const std::vector<int16_t> music = Music(12 * 44100, 9);
  SoundHandle h = LoadSoundFile(Write("m.wav", PcmWave(2, 44100, 16, Bytes(music))).c_str(), 1, -1);
  ASSERT_EQ(SetSoundLoopPosition(0, h), 0);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  // The pump waits inside ProcessMessage for 8 seconds of an inactive window.
  SetRunWhileInactive(0);
  const uint64_t until = qx::Headless().clockMicros + 8000000;
  const std::string script = "time " + std::to_string(until / 1000) + " activate 1\n";
  ASSERT_EQ(qx::HeadlessLoadScriptText(script.c_str()), 1);
  qx::PlatformMessage m = {qx::kMsgActivateApp, 0, 0, 0};
  qx::GetPlatform().window->PostMessage(&m);
  ProcessMessage();
  EXPECT_GE(qx::Headless().clockMicros, until);
  SetRunWhileInactive(1);
  Capture c = Listen();
  const size_t start = Find(c, 0, music, 0);
  ASSERT_NE(start, std::string::npos);
  EXPECT_GE(Matching(c, start, music, 0, music.size() / 2), 8u * 44100);
}

// The game's music is a stream sound (loaded, then given a loop point): its
// volume is the ring's. One set before the loop point is lost with the
// static sound it was set on.
TEST_F(Streams, AStreamSoundPlaysAtItsVolume) {
  struct Case {
    int volume;
    bool beforeLoopPoint;
    int hundredths;
  } cases[] = {{255, false, 0}, {179, false, -153}, {100, false, -406}, {25, false, -1008},
               {0, false, -10000}, {100, true, 0}};
  const std::string file = Write("dc.wav", PcmWave(2, 44100, 16, qxtest::Dc16(2 * 44100, 20000)));
  std::vector<uint64_t> starts;
  for (const Case& k : cases) {
    SoundHandle h = LoadSoundFile(file.c_str(), 3, -1);
    ASSERT_NE(h, -1);
    ASSERT_EQ(SetSoundVolume(k.beforeLoopPoint ? k.volume : 255, h), 0);
    ASSERT_EQ(SetSoundLoopPosition(1000, h), 0);
    if (!k.beforeLoopPoint) {
      ASSERT_EQ(SetSoundVolume(k.volume, h), 0);
    }
    starts.push_back(qx::Headless().clockMicros);
    ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
    Milliseconds(500);
    ASSERT_EQ(DeleteAllSounds(0), 0);
    Milliseconds(100);
  }
  Capture c = Listen();
  const size_t t0 = c.Onset();
  ASSERT_NE(t0, std::string::npos);
  for (size_t i = 0; i < starts.size(); ++i) {
    const size_t at = t0 + static_cast<size_t>((starts[i] - starts[0]) * 441 / 10000) + 250 * 441 / 10;
    const double expected = cases[i].hundredths <= -10000 ? 0.0 : 20000.0 * pow(10.0, cases[i].hundredths / 2000.0);
    EXPECT_NEAR(c.left(at), expected, 1.5) << "volume " << cases[i].volume << (cases[i].beforeLoopPoint ? " before" : "");
  }
}

// Play type 3 runs through the sources and back to the first for ever.
TEST_F(Streams, PlayTypeThreeGoesBackToTheFirstSource) {
  const std::vector<int16_t> a = Music(20000, 21), b = Music(15000, 22);
  int h = NewStream();
  ASSERT_EQ(AddSource(h, PcmWave(2, 44100, 16, Bytes(a)), 0), 0);
  ASSERT_EQ(AddSource(h, PcmWave(2, 44100, 16, Bytes(b)), 0), 0);
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  Milliseconds(2500);
  EXPECT_EQ(qx::CheckSoundPlaying(h), 1);
  Capture c = Listen();
  size_t at = Find(c, 0, a, 0);
  ASSERT_NE(at, std::string::npos);
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(Matching(c, at, a, 0, 20000), 20000u) << pass;
    ASSERT_EQ(Matching(c, at + 20000, b, 0, 15000), 15000u) << pass;
    at += 35000;
  }
}

// Once a stream has reached its end, a play whose looping bit differs from
// the last one starts it from the top even with from top 0; one with the
// same bit resumes at the end, which ends again at once.
TEST_F(Streams, AChangeOfTheLoopingBitAfterTheEndRewinds) {
  struct Case {
    int secondType;
    bool startsAgain;
  } cases[] = {{3, true}, {2, true}, {1, false}, {0, false}};
  const std::vector<int16_t> music = Music(22050, 31);
  for (const Case& k : cases) {
    int h = NewStream();
    ASSERT_EQ(AddSource(h, PcmWave(2, 44100, 16, Bytes(music)), 0), 0);
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Milliseconds(1000);
    ASSERT_EQ(qx::CheckSoundPlaying(h), 0) << "the first play has ended";
    ASSERT_EQ(PlaySoundHandle(h, k.secondType, 0), 0);
    Milliseconds(1000);
    ASSERT_EQ(DeleteAllSounds(0), 0);
  }
  Capture c = Listen();
  size_t from = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.secondType);
    const size_t first = Find(c, from, music, 0);
    ASSERT_NE(first, std::string::npos);
    ASSERT_EQ(Matching(c, first, music, 0, 22050), 22050u);
    // The second play came a second (59 frames of 17 ms) after the first.
    const size_t second = Find(c, first + 22050, music, 0);
    const bool onTime = second != std::string::npos && second > first + 43000 && second < first + 45500;
    EXPECT_EQ(onTime, k.startsAgain) << second - first;
    if (onTime) {
      EXPECT_EQ(Matching(c, second, music, 0, 22050), 22050u);
    }
    from = first + 2 * 44100;
  }
}

// Play type 0 waits while the pump keeps the ring filled, until the tail has played.
TEST_F(Streams, PlayTypeZeroWaitsForTheEnd) {
  const std::vector<int16_t> music = Music(5 * 44100, 41);  // longer than the first fill
  int h = NewStream();
  ASSERT_EQ(AddSource(h, PcmWave(2, 44100, 16, Bytes(music)), 0), 0);
  const uint64_t before = qx::Headless().clockMicros;
  ASSERT_EQ(PlaySoundHandle(h, 0, 1), 0);
  const double waited = static_cast<double>(qx::Headless().clockMicros - before) / 1000.0;
  EXPECT_GE(waited, 4990.0);  // the device is up to one 10 ms block ahead
  EXPECT_LT(waited, 5300.0);  // the end is noticed by a pump after the tail
  EXPECT_EQ(qx::CheckSoundPlaying(h), 0);
  Capture c = Listen();
  const size_t at = Find(c, 0, music, 0);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(Matching(c, at, music, 0, 5 * 44100), 5u * 44100);
}

// From top 0 on a playing ring changes nothing, the play type included.
TEST_F(Streams, FromTopZeroOnAPlayingStreamKeepsItsPlayType) {
  const std::vector<int16_t> music = Music(22050, 51);
  int h = NewStream();
  ASSERT_EQ(AddSource(h, PcmWave(2, 44100, 16, Bytes(music)), 0), 0);
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  Milliseconds(200);
  ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
  Milliseconds(2000);
  EXPECT_EQ(qx::CheckSoundPlaying(h), 1);  // still looping
  Capture c = Listen();
  size_t at = Find(c, 0, music, 0);
  ASSERT_NE(at, std::string::npos);
  for (int pass = 0; pass < 3; ++pass) ASSERT_EQ(Matching(c, at + pass * 22050, music, 0, 22050), 22050u) << pass;
}

// A stream made with a union handle plays through the other one's ring:
// playing one stops the other, and the ring outlives its owner's deletion
// until the last sharer is gone.
TEST_F(Streams, SharersOfARingTakeItInTurn) {
  const std::vector<int16_t> a = Music(3 * 44100, 61), b = Music(3 * 44100, 62);
  int owner = NewStream();
  ASSERT_EQ(AddSource(owner, PcmWave(2, 44100, 16, Bytes(a)), 0), 0);
  int sharer = NewStream();
  {
    qxtest::ApiLocked lock;
    images_.push_back(PcmWave(2, 44100, 16, Bytes(b)));
    qx::MemoryStream* m = qx::OpenMemoryStream(images_.back().data(), images_.back().size());
    int owns = 0;
    ASSERT_EQ(qx::AddSreamSound(qx::MemoryStreamOps(), m, 0, sharer, 2, &owns, owner), 0);
    qx::MemoryStreamOps().Close(m);
  }
  // Another format cannot share: it gets a ring of its own.
  int other = NewStream();
  {
    qxtest::ApiLocked lock;
    images_.push_back(PcmWave(1, 22050, 16, std::vector<uint8_t>(8820, 1)));
    qx::MemoryStream* m = qx::OpenMemoryStream(images_.back().data(), images_.back().size());
    int owns = 0;
    ASSERT_EQ(qx::AddSreamSound(qx::MemoryStreamOps(), m, 0, other, 2, &owns, owner), 0);
    qx::MemoryStreamOps().Close(m);
  }
  {
    qxtest::ApiLocked lock;
    EXPECT_EQ(qx::GetSoundRecord(sharer)->stream.sharedOwner, owner);
    EXPECT_EQ(qx::GetSoundRecord(owner)->stream.references, 1);
    EXPECT_EQ(qx::GetSoundRecord(other)->stream.sharedOwner, -1);
    EXPECT_EQ(qx::StreamRing(qx::GetSoundRecord(sharer)), qx::StreamRing(qx::GetSoundRecord(owner)));
  }
  ASSERT_EQ(PlaySoundHandle(owner, 1, 1), 0);
  Milliseconds(1000);
  ASSERT_EQ(PlaySoundHandle(sharer, 1, 1), 0);
  {
    qxtest::ApiLocked lock;
    EXPECT_EQ(qx::CheckSoundPlaying(owner), 0);
    EXPECT_EQ(qx::CheckSoundPlaying(sharer), 1);
    // The owner is only marked while its ring is in use.
    ASSERT_EQ(qx::DeleteSound(owner), 0);
    ASSERT_NE(qx::GetSoundRecord(owner), nullptr);
    EXPECT_EQ(qx::GetSoundRecord(owner)->stream.pendingDelete, 1);
  }
  Milliseconds(1000);
  {
    qxtest::ApiLocked lock;
    EXPECT_EQ(qx::CheckSoundPlaying(sharer), 1);
    ASSERT_EQ(qx::DeleteSound(sharer), 0);
    EXPECT_EQ(qx::GetSoundRecord(owner), nullptr);  // gone with its last sharer
  }
  Capture c = Listen();
  const size_t at = Find(c, 0, a, 0);
  ASSERT_NE(at, std::string::npos);
  const size_t cut = Matching(c, at, a, 0, 3 * 44100);
  EXPECT_NEAR(static_cast<double>(cut), 44100.0, 0.03 * 44100);
  const size_t next = Find(c, at + cut, b, 0);
  ASSERT_NE(next, std::string::npos);
  EXPECT_LT(next - (at + cut), 441u);
  EXPECT_GE(Matching(c, next, b, 0, 3 * 44100), 44000u);
}

// The ring holds six seconds; the first fill writes four, and while it
// plays every pump keeps three to about four seconds queued ahead of the cursor.
TEST_F(Streams, TheRingHoldsSixSecondsAndStaysThreeToFourAhead) {
  struct Case {
    int channels, rate, bits;
  } cases[] = {{2, 44100, 16}, {1, 22050, 8}, {1, 1000, 8}, {2, 96000, 16}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.channels << "ch " << k.rate << " Hz " << k.bits << " bit");
    const int align = k.channels * k.bits / 8;
    const int64_t perSecond = static_cast<int64_t>(k.rate) * align;
    int h = NewStream();
    ASSERT_EQ(AddSource(h, PcmWave(k.channels, k.rate, k.bits, std::vector<uint8_t>(20 * perSecond, 90)), 0), 0);
    {
      qxtest::ApiLocked lock;
      EXPECT_EQ(qx::GetSoundRecord(h)->stream.ringSize, 6 * perSecond);
    }
    {
      // Held across the start, or the message thread's pump may top the ring up first.
      qxtest::ApiLocked lock;
      ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
      EXPECT_EQ(qx::GetSoundRecord(h)->stream.write, 4 * perSecond);
      EXPECT_EQ(qx::GetSoundRecord(h)->stream.guard, 0);
    }
    int64_t least = INT64_MAX, most = 0;
    for (int frame = 0; frame < 300; ++frame) {
      Frames(1);
      qxtest::ApiLocked lock;
      qx::SoundRecord* r = qx::GetSoundRecord(h);
      const int64_t cursor = static_cast<int64_t>(qx::SoundOut().GetPlayCursor(qx::StreamRing(r)));
      const int64_t queued = ((r->stream.write - cursor) % r->stream.ringSize + r->stream.ringSize) % r->stream.ringSize;
      least = std::min(least, queued);
      most = std::max(most, queued);
    }
    EXPECT_GE(least, 3 * perSecond - perSecond / 8);  // a pump comes every 17 ms
    EXPECT_LE(most, 4 * perSecond + perSecond / 8 + align);
    ASSERT_EQ(DeleteAllSounds(0), 0);
  }
}

}  // namespace
