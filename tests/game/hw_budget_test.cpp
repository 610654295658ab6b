// The real game played through the fake graphics processor: what a play
// frame asks of the device.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "game/game.h"
#include "game/scripted_play.h"
#include "graphics/fake_gpu.h"
#include "runtime/graphics/hw.h"
#include "runtime/graphics/screen.h"
#include "runtime/platform/headless/headless.h"
#include "support/headless_fixture.h"

namespace {

namespace fs = std::filesystem;
using qxtest::Fake;

struct FrameRecord {
  int drawCalls, textureCreates, uploads, readBacks, writeBacks;
  uint64_t uploadBytes;
};

class GameOnTheDevice : public HeadlessFixture {};

TEST_F(GameOnTheDevice, APlayFrameStaysWithinItsBudget) {
  std::error_code copied;
  fs::copy_file(fs::path(QUARNEX_BINARY_DIR) / "run" / "res.ptk", fs::path(dir_) / "res.ptk", copied);
  ASSERT_FALSE(copied) << copied.message();
  ASSERT_GT(qx::HeadlessLoadScriptText(qxtest::ScriptedPlay().c_str()), 0);
  qxtest::ResetFake();
  Fake().rasterise = false;
  std::vector<FrameRecord> frames;
  FrameRecord last{};
  Fake().onPresent = [&] {
    const qxtest::FakeGpu& f = Fake();
    FrameRecord now{f.drawCalls, f.textureCreates, f.uploads, f.readBacks, f.writeBacks, f.uploadBytes};
    frames.push_back(FrameRecord{now.drawCalls - last.drawCalls, now.textureCreates - last.textureCreates,
                                 now.uploads - last.uploads, now.readBacks - last.readBacks,
                                 now.writeBacks - last.writeBacks, now.uploadBytes - last.uploadBytes});
    last = now;
  };
  qx::SelectPlatform(&qxtest::FakeGpuPlatform());
  unsetenv("QUARNEX_RENDERER");
  EXPECT_EQ(GameMain(), 0);
  Fake().onPresent = nullptr;
  qx::ForgetBackEndChoice();
  EXPECT_GT(Fake().inits, 0) << "the game ran on the device";

  std::vector<int> playCalls;
  for (size_t i = 0; i < frames.size(); ++i) {
    const FrameRecord& r = frames[i];
    SCOPED_TRACE("presented frame " + std::to_string(i + 1));
    EXPECT_EQ(r.readBacks, 0);
    EXPECT_EQ(r.writeBacks, 0);
    // Pictures are sent with the scene's loads, in the frames that make
    // their textures; anything else may send no more than the blend mask's
    // table of weights.
    if (r.textureCreates == 0) {
      EXPECT_LE(r.uploadBytes, 256u);
    }
    // The game sets the next scene's state as a scene starts, so play frames
    // are known by their number.
    const int n = static_cast<int>(i + 1);
    if (n >= qxtest::kPlayFirstFrame && n < qxtest::kPlayEscape) playCalls.push_back(r.drawCalls);
  }
  ASSERT_GT(playCalls.size(), 500u);
  std::vector<int> sorted = playCalls;
  std::sort(sorted.begin(), sorted.end());
  const int typical = sorted[sorted.size() * 9 / 10];
  EXPECT_LE(typical, 25) << "9 play frames in 10 take at most this many draw calls; the most: " << sorted.back();
  RecordProperty("play_frame_draw_calls_p90", typical);
  RecordProperty("play_frame_draw_calls_max", sorted.back());
}

}  // namespace
