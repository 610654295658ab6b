// The real game binary with the SDL back end under a virtual X server.
#include <gtest/gtest.h>

#include "platform/xvfb_support.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

using qxtest::Capture;
using qxtest::Executable;
using qxtest::SleepMs;
using qxtest::Spawn;
using qxtest::WaitExit;
using qxtest::kPatienceMs;

class GameUnderXvfb : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Executable("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(Executable("/usr/bin/xdotool"));
    ASSERT_TRUE(Executable("/usr/bin/xwininfo"));
    game_ = std::string(QUARNEX_BINARY_DIR) + "/game/quarnex";
    ASSERT_TRUE(Executable(game_.c_str())) << game_;
    char pattern[] = "/tmp/quarnex-xvfb-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;

    // Depth 24 has 4-byte pixels, a 32-bit desktop: the game must not refuse it.
    display_ = qxtest::StartXvfb(&xvfb_);
    ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
    env_ = {"DISPLAY=" + display_, "QUARNEX_PLATFORM=sdl", "QUARNEX_LOCK_DIR=" + dir_, "SDL_AUDIODRIVER=dummy"};
  }

  void TearDown() override {
    for (pid_t pid : games_) {
      if (WaitExit(pid, 0) == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
    qxtest::StopProcess(xvfb_);
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  pid_t StartGame() {
    // The output goes to a file so that a failure can show it.
    std::string out = dir_ + "/game" + std::to_string(games_.size()) + ".txt";
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = Spawn({game_}, env_, dir_, fd);
    if (fd >= 0) close(fd);
    games_.push_back(pid);
    return pid;
  }

  std::string GameOutput(size_t index) {
    return Capture("cat " + dir_ + "/game" + std::to_string(index) + ".txt 2>/dev/null");
  }

  std::string X(const std::string& command) { return Capture("DISPLAY=" + display_ + " " + command + " 2>/dev/null"); }

  // The id of the window titled exactly "Quarnex" once there is one; "" when
  // the game ended first.
  std::string FindWindow(pid_t game) {
    for (int waited = 0; waited < kPatienceMs; waited += 100) {
      std::string out = X("xdotool search --name '^Quarnex$'");
      if (!out.empty()) return out.substr(0, out.find('\n'));
      if (qxtest::Ended(game)) return "";
      SleepMs(100);
    }
    return "";
  }

  std::string game_, dir_, display_;
  std::vector<std::string> env_;
  pid_t xvfb_ = -1;
  std::vector<pid_t> games_;
};

TEST_F(GameUnderXvfb, OpensItsWindowRefusesASecondStartAndEndsOnEscape) {
  pid_t first = StartGame();
  ASSERT_FALSE(FindWindow(first).empty()) << "no window titled Quarnex; exit " << WaitExit(first, 0) << "\n"
                                     << GameOutput(0);

  // A second copy with the same caption refuses and leaves the first alone.
  pid_t second = StartGame();
  EXPECT_EQ(WaitExit(second, kPatienceMs), 255);
  EXPECT_EQ(WaitExit(first, 0), -1);

  // Looked up only now: the display set-up may replace the first X window it made.
  std::string window, info;
  for (int waited = 0; waited < kPatienceMs && info.find("Width:") == std::string::npos; waited += 100) {
    if (waited > 0) SleepMs(100);
    window = FindWindow(first);
    info = window.empty() ? "" : X("xwininfo -id " + window);
  }
  ASSERT_FALSE(window.empty()) << "the first copy lost its window";
  EXPECT_NE(info.find("Width: 800\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Height: 600\n"), std::string::npos) << info;

  // Held until the program ends: a tap could fall between two frames.
  X("xdotool windowfocus --sync " + window);
  X("xdotool keydown Escape");
  int status = WaitExit(first, kPatienceMs);
  X("xdotool keyup Escape");
  EXPECT_EQ(status, 0);
}

// Start-up still running when the player presses Escape: the press, held
// for half a second and released before the game reads its keys, still ends
// the program.
TEST_F(GameUnderXvfb, EscapePressedDuringStartUpEndsTheProgram) {
  pid_t game = StartGame();
  const std::string window = FindWindow(game);
  ASSERT_FALSE(window.empty()) << "no window titled Quarnex; exit " << WaitExit(game, 0) << "\n" << GameOutput(0);
  X("xdotool windowfocus --sync " + window);
  SleepMs(300);
  X("xdotool keydown Escape");
  SleepMs(500);
  X("xdotool keyup Escape");
  EXPECT_EQ(WaitExit(game, 60000), 0) << "the Escape was lost\n" << GameOutput(0);
}

// A click of a few milliseconds (as a touchpad's tap) on the title starts
// the game: its intro scene runs.
TEST_F(GameUnderXvfb, AShortClickOnTheTitleStartsTheGame) {
  env_.push_back("QUARNEX_RENDERER=software");
  env_.push_back("QUARNEX_FRAME_STATS=stats.txt");
  pid_t game = StartGame();
  const std::string window = FindWindow(game);
  ASSERT_FALSE(window.empty()) << "no window titled Quarnex; exit " << WaitExit(game, 0) << "\n" << GameOutput(0);
  X("xdotool windowfocus --sync " + window);
  X("xdotool mousemove --window " + window + " --sync 400 300");
  SleepMs(1000);
  X("xdotool click 1");  // leaves the logo
  SleepMs(4000);
  X("xdotool click 1");  // starts the game from the title
  SleepMs(2000);
  X("xdotool keydown Escape");
  const int status = WaitExit(game, kPatienceMs);
  X("xdotool keyup Escape");
  ASSERT_EQ(status, 0) << GameOutput(0);
  const std::string stats = Capture("cat " + dir_ + "/stats.txt");
  const size_t intro = stats.find("intro frames ");
  ASSERT_NE(intro, std::string::npos) << stats;
  EXPECT_GT(atoi(stats.c_str() + intro + strlen("intro frames ")), 0) << "the game did not start:\n" << stats;
}

// The window's starting size: the game's 800 x 600 times a scale, from
// QUARNEX_WINDOW_SCALE or from the desktop (a 4K one is taken as dense).
TEST(GameWindowSize, FollowsTheScaleAskedForOrTheDesktop) {
  if (!Executable("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  const std::string game = std::string(QUARNEX_BINARY_DIR) + "/game/quarnex";
  struct Case {
    const char* desktop;
    const char* scale;  // "" unset
    const char* width;
    const char* height;
  };
  const Case cases[] = {
      {"1280x1024x24", "", "800", "600"},
      {"3840x2160x24", "", "1600", "1200"},
      {"3840x2160x24", "3", "2400", "1800"},
      {"3840x2160x24", "1", "800", "600"},
      {"1280x1024x24", "0", "800", "600"},  // not a scale: ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.desktop) + " scale " + c.scale);
    char pattern[] = "/tmp/quarnex-size-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    pid_t xvfb = -1;
    const std::string display = qxtest::StartXvfb(&xvfb, {"-screen", "0", c.desktop});
    ASSERT_FALSE(display.empty());
    std::vector<std::string> env = {"DISPLAY=" + display, "QUARNEX_PLATFORM=sdl", "QUARNEX_RENDERER=software",
                                    "QUARNEX_LOCK_DIR=" + dir, "SDL_AUDIODRIVER=dummy"};
    if (*c.scale) env.push_back(std::string("QUARNEX_WINDOW_SCALE=") + c.scale);
    const pid_t pid = Spawn({game}, env, dir);
    std::string info;
    for (int waited = 0; waited < kPatienceMs && info.find("Width:") == std::string::npos; waited += 100) {
      SleepMs(100);
      const std::string id = Capture("DISPLAY=" + display + " xdotool search --name '^Quarnex$' 2>/dev/null");
      if (!id.empty()) info = Capture("DISPLAY=" + display + " xwininfo -id " + id.substr(0, id.find('\n')));
      if (qxtest::Ended(pid)) break;
    }
    EXPECT_NE(info.find(std::string("Width: ") + c.width + "\n"), std::string::npos) << info;
    EXPECT_NE(info.find(std::string("Height: ") + c.height + "\n"), std::string::npos) << info;
    qxtest::StopProcess(pid);
    qxtest::StopProcess(xvfb);
    fs::remove_all(dir);
  }
}

TEST_F(GameUnderXvfb, ACloseRequestEndsTheProgramNormally) {
  pid_t game = StartGame();
  ASSERT_FALSE(FindWindow(game).empty()) << "no window titled Quarnex; exit " << WaitExit(game, 0) << "\n" << GameOutput(0);
  // SDL turns the termination signal into a quit request, which takes the close path.
  kill(game, SIGTERM);
  EXPECT_EQ(WaitExit(game, kPatienceMs), 0);
}

// SDL would fall back to an off-screen window; the game would then run unseen
// for ever. It must say there is no window system and end.
TEST_F(GameUnderXvfb, WithoutAWindowSystemItSaysSoAndEnds) {
  env_[0] = "DISPLAY=:999";  // served by nothing
  pid_t game = StartGame();
  EXPECT_EQ(WaitExit(game, kPatienceMs), 255);
  EXPECT_NE(GameOutput(0).find("SDL video: no window system answers (DISPLAY=:999"), std::string::npos)
      << GameOutput(0);
}

}  // namespace
