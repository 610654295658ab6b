// The game's music as the game loads it: a stream sound that loops back to
// 16.7 s, at the music volume of the settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "game/resources.h"
#include "game/scenes.h"
#include "game/settings.h"
#include "runtime/core/lock.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/platform.h"
#include "runtime/sound/sound_internal.h"
#include "support/headless_fixture.h"

namespace {

namespace fs = std::filesystem;

// The last volume the runtime gave each platform buffer.
std::map<qx::PlatformSoundBuffer*, int> g_volumes;
qx::PlatformSoundOps g_sound;

void RecordVolume(qx::PlatformSoundBuffer* buffer, int hundredths) {
  g_volumes[buffer] = hundredths;
  qx::kHeadlessPlatform.sound->SetVolume(buffer, hundredths);
}

class GameMusic : public HeadlessFixture {
 protected:
  void SetUp() override {
    HeadlessFixture::SetUp();
    const fs::path music = fs::path(QUARNEX_BINARY_DIR) / "run-res" / "res" / "mzk" / "tarvelon.wav";
    ASSERT_TRUE(fs::exists(music)) << music;
    fs::create_directories(fs::path(dir_) / "res" / "mzk");
    fs::copy_file(music, fs::path(dir_) / "res" / "mzk" / "tarvelon.wav");
    g_volumes.clear();
    g_sound = *qx::kHeadlessPlatform.sound;
    g_sound.SetVolume = RecordVolume;
    platform_ = qx::kHeadlessPlatform;
    platform_.sound = &g_sound;
    qx::SelectPlatform(&platform_);
    SetWindowCaption("QxMusicTest");
    SetRunWhileInactive(1);
    ASSERT_EQ(InitRuntime(), 0);
  }
  void TearDown() override {
    EndRuntime();
    HeadlessFixture::TearDown();
  }
  qx::Platform platform_;
};

TEST_F(GameMusic, LoopsFromItsLoopPointAtTheMusicVolume) {
  struct Case {
    int musicVolume;
    int hundredths;
  } cases[] = {{255, 0}, {179, -153}, {100, -406}, {50, -707}, {25, -1008}, {0, -10000}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.musicVolume);
    SoundVolume = 255;
    MusicVolume = k.musicVolume;
    g_volumes.clear();
    LoadGameResources();
    qx::ApiLockEnter();
    qx::SoundRecord* r = qx::GetSoundRecord(GameRes.music);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->isStream, 1);
    EXPECT_EQ(r->format.SamplesPerSec, 44100u);
    EXPECT_EQ(r->stream.sources[0].loopStart, 736470);  // 16700 ms
    EXPECT_EQ(r->stream.sources[0].loopCount, -1);
    qx::PlatformSoundBuffer* ring = qx::StreamRing(r);
    qx::ApiLockLeave();
    ASSERT_EQ(g_volumes.count(ring), 1u);
    EXPECT_EQ(g_volumes[ring], k.hundredths);
    ASSERT_EQ(DeleteAllSounds(0), 0);
  }
}

}  // namespace
