// The game's entry and dispatcher on the headless back end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "game/frame.h"
#include "support/headless_fixture.h"
#include "game/game.h"
#include "runtime/core/window_state.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/headless/headless_window.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/posix_os.h"

namespace {

namespace fs = std::filesystem;

class Spine : public HeadlessFixture {};

TEST_F(Spine, ARefusedStartReturnsMinusOneAndTouchesNoFiles) {
  // Another copy of the game holds the instance lock.
  char path[4096];
  ASSERT_EQ(qx::InstanceLockPath("Quarnex", 1, path, sizeof(path)), 0);
  int other = open(path, O_RDWR | O_CREAT, 0600);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(GameMain(), -1);
  close(other);
  EXPECT_EQ(qx::HeadlessGetWindowInfo().exists, 0);
  // Neither the settings nor the log (switched off by the game) were written.
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(Spine, ClosingTheWindowEndsTheProgramNormally) {
  // The close comes well after the logo's last frame, however slowly the
  // frames are made.
  ASSERT_EQ(qx::HeadlessLoadScriptText("frame 300 close\n"), 1);
  int result = GameMain();
  EXPECT_EQ(result, 0);
  qx::HeadlessWindowInfo info = qx::HeadlessGetWindowInfo();
  EXPECT_EQ(info.exists, 0);
  EXPECT_STREQ(info.caption, "Quarnex");
  EXPECT_EQ(info.iconId, 103);
  // The logo ran once; the title follows it for good.
  EXPECT_EQ(func_state, 1);
  EXPECT_EQ(qx::GetWindowState().initialised, 0);
}

}  // namespace
