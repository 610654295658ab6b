// The game's sounds, heard through the headless capture: a scripted player
// goes from the logo through the title into a game, and every play request
// is checked against the frame it belongs to and found in the capture there.
#include <gtest/gtest.h>

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "game/frame.h"
#include "game/game.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/platform.h"
#include "support/headless_fixture.h"
#include "support/read_file.h"

namespace {

namespace fs = std::filesystem;

struct Present {
  uint64_t micros;
  int funcState;
};
struct PlayCall {
  uint64_t micros;
  uint64_t presented;  // frames presented before the call
  std::string sound;
};

std::vector<Present> g_presents;
std::vector<PlayCall> g_plays;
uint64_t g_soundStart = 0;
std::map<std::string, std::vector<int16_t>> g_templates;
qx::PlatformDisplayOps g_display;
qx::PlatformSoundOps g_sound;

int RecordPresent(const void* pixels, int pitch, int width, int height, int bits) {
  int r = qx::kHeadlessPlatform.display->Present(pixels, pitch, width, height, bits);
  g_presents.push_back({qx::Headless().clockMicros, func_state});
  return r;
}

int RecordInit(int channels, int bits, int rate) {
  g_soundStart = qx::Headless().clockMicros;
  return qx::kHeadlessPlatform.sound->Init(channels, bits, rate);
}

// Which sound a buffer holds, from its first bytes.
int RecordPlay(qx::PlatformSoundBuffer* b, int looping) {
  PlayCall call{qx::Headless().clockMicros, qx::Headless().presentedFrames, "?"};
  void* p1;
  size_t s1;
  void* p2;
  size_t s2;
  // Only the runtime's 400-byte silent buffer is too small to tell.
  if (g_sound.Lock(b, 0, 4096, &p1, &s1, &p2, &s2) == 0) {
    for (const auto& [name, pcm] : g_templates) {
      if (memcmp(p1, pcm.data(), 4096) == 0) call.sound = name;
    }
    g_sound.Unlock(b);
    g_plays.push_back(call);
  }
  return qx::kHeadlessPlatform.sound->Play(b, looping);
}

std::vector<int16_t> ReadPcm(const fs::path& path) {
  const std::string bytes = qxtest::ReadWholeText(path.string());
  std::vector<int16_t> pcm;
  if (bytes.size() <= 44) return pcm;
  pcm.resize((bytes.size() - 44) / 2);
  memcpy(pcm.data(), bytes.data() + 44, pcm.size() * 2);
  return pcm;
}

// Gain at which `tpl` starts at frame `at` of the capture, over 2048 frames
// from its first sound (the music begins with a moment of silence).
double Match(const std::vector<int16_t>& capture, size_t at, const std::vector<int16_t>& tpl) {
  size_t lead = 0;
  while (lead < tpl.size() && tpl[lead] == 0) ++lead;
  lead &= ~size_t{1};
  double dot = 0, energy = 0;
  for (size_t i = lead; i < lead + 4096 && i < tpl.size() && 2 * at + i < capture.size(); ++i) {
    dot += static_cast<double>(capture[2 * at + i]) * tpl[i];
    energy += static_cast<double>(tpl[i]) * tpl[i];
  }
  return energy > 0 ? dot / energy : 0;
}

class GameSounds : public HeadlessFixture {};

TEST_F(GameSounds, EverySoundStartsOnItsFrame) {
  const fs::path res = fs::path(QUARNEX_BINARY_DIR) / "run-res" / "res";
  for (const char* name : {"se/common/kest.wav", "se/common/start.wav", "se/game/hagane.wav", "se/game/kaminari.wav",
                           "se/game/reitou.wav", "se/game/get.wav", "se/game/change.wav", "se/game/damage.wav",
                           "mzk/tarvelon.wav"}) {
    g_templates[name] = ReadPcm(res / name);
    ASSERT_GE(g_templates[name].size(), 4096u) << name;
  }
  std::error_code copied;
  fs::copy_file(fs::path(QUARNEX_BINARY_DIR) / "run" / "res.ptk", fs::path(dir_) / "res.ptk", copied);
  ASSERT_FALSE(copied) << copied.message();

  // The logo runs its course; the title is clicked, the intro too; then
  // clicks around the core for a while, a right click now and then, and
  // stones get through until Escape.
  constexpr int kStartClick = 330, kIntroClick = 630;
  // The intro fades out for 119 presented frames after the click; play frame 1 follows play frame 0.
  constexpr int kPlayFrameOne = kIntroClick + 121;
  constexpr int kAttackFirst = kPlayFrameOne + 130, kAttackLast = kPlayFrameOne + 700, kEscape = kPlayFrameOne + 950;
  std::ostringstream script;
  std::set<uint64_t> leftClicks, rightClicks;
  script << "frame " << kStartClick << " click left 400 300\n";
  script << "frame " << kIntroClick << " click left 400 300\n";
  for (int frame = kAttackFirst, point = 0; frame <= kAttackLast; frame += 2, ++point) {
    const int x = 400 + static_cast<int>(lround(150 * cos(point % 8 * M_PI / 4)));
    const int y = 280 + static_cast<int>(lround(150 * sin(point % 8 * M_PI / 4)));
    script << "frame " << frame << " click left " << x << " " << y << "\n";
    leftClicks.insert(frame);
    if (point % 24 == 23) {
      script << "frame " << frame + 1 << " click right " << x << " " << y << "\n";
      rightClicks.insert(frame + 1);
    }
  }
  script << "frame " << kEscape << " key Escape down\n";
  ASSERT_GT(qx::HeadlessLoadScriptText(script.str().c_str()), 0);

  g_display = *qx::kHeadlessPlatform.display;
  g_display.Present = RecordPresent;
  g_sound = *qx::kHeadlessPlatform.sound;
  g_sound.Init = RecordInit;
  g_sound.Play = RecordPlay;
  qx::Platform platform = qx::kHeadlessPlatform;
  platform.display = &g_display;
  platform.sound = &g_sound;
  qx::SelectPlatform(&platform);
  const std::string capturePath = dir_ + "/capture.wav";
  setenv("QUARNEX_AUDIO_OUT", capturePath.c_str(), 1);
  EXPECT_EQ(GameMain(), 0);
  unsetenv("QUARNEX_AUDIO_OUT");
  const std::vector<int16_t> capture = ReadPcm(capturePath);
  ASSERT_GT(capture.size(), 44100u * 2 * 20);

  // Presents are numbered from 1; the logo's are the first with func_state 0.
  auto presentTime = [&](uint64_t n) { return g_presents.at(n - 1).micros; };
  std::map<std::string, int> heard;
  for (const PlayCall& call : g_plays) {
    SCOPED_TRACE(call.sound + " after present " + std::to_string(call.presented));
    ASSERT_NE(call.sound, "?");
    ASSERT_GE(call.presented, 1u);
    const uint64_t n = call.presented;
    if (call.sound == "se/common/start.wav") {
      // Played when the frame after the click reads the button, before it is presented.
      EXPECT_EQ(n, static_cast<uint64_t>(kStartClick));
      EXPECT_EQ(g_presents.at(n).funcState, 2);
    } else {
      // Everything else follows its frame's presentation at once.
      EXPECT_LT(call.micros - presentTime(n), 2000u);
    }
    if (call.sound == "se/common/kest.wav") {
      // The logo's 240 frames are the last presentations with func_state 0; counter 30 is the 31st.
      uint64_t lastLogo = 0;
      for (uint64_t i = 0; i < g_presents.size() && g_presents[i].funcState == 0; ++i) lastLogo = i + 1;
      EXPECT_EQ(n, lastLogo - 239 + 30);
    }
    if (call.sound == "mzk/tarvelon.wav") {
      EXPECT_EQ(n, static_cast<uint64_t>(kPlayFrameOne));
    }
    if (call.sound.find("hagane") != std::string::npos || call.sound.find("kaminari") != std::string::npos ||
        call.sound.find("reitou") != std::string::npos) {
      EXPECT_EQ(leftClicks.count(n - 1), 1u) << "an attack sound without a click in the frame";
    }
    if (call.sound == "se/game/change.wav") {
      EXPECT_EQ(rightClicks.count(n - 1), 1u);
    }
    // Heard within 10 ms after the call, at full volume (level 5 without a settings file).
    const double since = static_cast<double>(call.micros - g_soundStart) * 44100.0 / 1e6;
    double best = 0;
    for (size_t at = static_cast<size_t>(since); at <= static_cast<size_t>(since) + 441; ++at) {
      best = std::max(best, Match(capture, at, g_templates[call.sound]));
    }
    EXPECT_NEAR(best, 1.0, 0.2);
    heard[call.sound]++;
  }
  EXPECT_EQ(heard["se/common/kest.wav"], 1);
  EXPECT_EQ(heard["se/common/start.wav"], 1);
  EXPECT_EQ(heard["mzk/tarvelon.wav"], 1);
  EXPECT_GE(heard["se/game/hagane.wav"] + heard["se/game/kaminari.wav"] + heard["se/game/reitou.wav"], 3);
  EXPECT_GE(heard["se/game/get.wav"], 1);
  EXPECT_GE(heard["se/game/change.wav"], 1);
  EXPECT_GE(heard["se/game/damage.wav"], 1);

  // The music and the effects leave room for each other at full volume: no
  // sample of the whole play reaches full scale.
  int peak = 0;
  size_t clipped = 0;
  for (int16_t s : capture) {
    peak = std::max(peak, std::abs(static_cast<int>(s)));
    if (s >= 32767 || s <= -32767) ++clipped;
  }
  EXPECT_EQ(clipped, 0u) << "peak " << peak << " in " << capture.size() / 2 << " frames";
}

}  // namespace
