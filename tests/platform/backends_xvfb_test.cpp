// The hardware back end (OpenGL, here Mesa under a virtual X server) against
// the software one: the choice, the fallback, the reference drawings and the
// real game's title.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdint.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/xvfb_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int kProbeWidth = 320, kProbeHeight = 240;
constexpr int kProbeCases = 13;
// Cases of the probe with rotated geometry, whose edges and texel boundaries
// may fall one pixel apart.
constexpr bool kRotatedCase[kProbeCases] = {false, false, false, false, false, true,
                                            false, false, true,  true,  false, true, true};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "ソフトウエアレンダリングモードに変更します" as the log writes it (Shift-JIS).
const std::string kSwitchLine =
    "\x83\x5c\x83\x74\x83\x67\x83\x45\x83\x47\x83\x41\x83\x8c\x83\x93\x83\x5f\x83\x8a\x83\x93\x83\x4f"
    "\x83\x82\x81\x5b\x83\x68\x82\xc9\x95\xcf\x8d\x58\x82\xb5\x82\xdc\x82\xb7";

struct Difference {
  int over;      // pixels whose channels differ by more than 2
  int largest;   // largest channel difference
  int firstX, firstY;
};

// Compares BGRA pictures of the same size by their colour channels.
Difference Compare(const std::string& a, const std::string& b, int width, int height, int top = 0, int bottom = -1) {
  Difference d{0, 0, -1, -1};
  if (bottom < 0) bottom = height;
  for (int y = top; y < bottom; ++y) {
    for (int x = 0; x < width; ++x) {
      size_t p = (static_cast<size_t>(y) * width + x) * 4;
      int worst = 0;
      for (int c = 0; c < 3; ++c) {
        int diff = abs(static_cast<uint8_t>(a[p + c]) - static_cast<uint8_t>(b[p + c]));
        if (diff > worst) worst = diff;
      }
      if (worst > d.largest) d.largest = worst;
      if (worst > 2) {
        if (d.over == 0) {
          d.firstX = x;
          d.firstY = y;
        }
        d.over++;
      }
    }
  }
  return d;
}

class BackEndsUnderXvfb : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qxtest::Executable("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    char pattern[] = "/tmp/quarnex-gl-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }

  void TearDown() override {
    for (pid_t pid : children_) qxtest::StopProcess(pid);
    qxtest::StopProcess(xvfb_);
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  void StartX(const std::vector<std::string>& extra = {}) {
    display_ = qxtest::StartXvfb(&xvfb_, extra);
    ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
  }

  std::vector<std::string> Env(const std::string& renderer) {
    std::vector<std::string> env = {"DISPLAY=" + display_, "QUARNEX_PLATFORM=sdl", "QUARNEX_LOCK_DIR=" + dir_,
                                    "SDL_AUDIODRIVER=dummy"};
    if (!renderer.empty()) env.push_back("QUARNEX_RENDERER=" + renderer);
    return env;
  }

  // Runs the draw probe in a folder of its own; returns that folder.
  std::string RunProbe(const std::string& name, const std::string& renderer) {
    std::string folder = dir_ + "/" + name;
    fs::create_directories(folder);
    int fd = open((folder + "/output.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = qxtest::Spawn({std::string(QUARNEX_BINARY_DIR) + "/tests/quarnex_draw_probe"}, Env(renderer), folder, fd);
    if (fd >= 0) close(fd);
    int status = qxtest::WaitExit(pid, qxtest::kPatienceMs);
    if (status == -1) qxtest::StopProcess(pid);
    EXPECT_EQ(status, 0) << name << ": " << ReadFile(folder + "/output.txt");
    return folder;
  }

  std::string X(const std::string& command) {
    return qxtest::Capture("DISPLAY=" + display_ + " " + command + " 2>/dev/null");
  }

  std::string dir_, display_;
  pid_t xvfb_ = -1;
  std::vector<pid_t> children_;
};

TEST_F(BackEndsUnderXvfb, ForcedHardwareDrawsTheReferencePicturesLikeTheSoftwareRenderer) {
  StartX();
  std::string hardware = RunProbe("hardware", "hardware");
  std::string software = RunProbe("software", "software");
  std::string chosen = ReadFile(hardware + "/backend.txt");
  ASSERT_FALSE(chosen.empty());
  EXPECT_NE(chosen, "software\n") << "the forced hardware back end was not chosen";
  EXPECT_EQ(ReadFile(software + "/backend.txt"), "software\n");
  EXPECT_EQ(ReadFile(hardware + "/Log.txt").find(kSwitchLine), std::string::npos);

  const size_t size = static_cast<size_t>(kProbeWidth) * kProbeHeight * 4;
  for (int i = 0; i < kProbeCases; ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    char name[32];
    snprintf(name, sizeof(name), "/case_%02d.bgra", i);
    std::string a = ReadFile(hardware + name), b = ReadFile(software + name);
    ASSERT_EQ(a.size(), size);
    ASSERT_EQ(b.size(), size);
    Difference d = Compare(a, b, kProbeWidth, kProbeHeight);
    if (kRotatedCase[i]) {
      // Coverage of rotated edges and the texel picked right on a texel
      // boundary may differ; a wrong mapping would differ along whole edges.
      EXPECT_LE(d.over, kProbeWidth * kProbeHeight / 1000) << "first at " << d.firstX << "," << d.firstY;
    } else {
      EXPECT_EQ(d.over, 0) << "largest " << d.largest << ", first at " << d.firstX << "," << d.firstY;
    }
  }
}

TEST_F(BackEndsUnderXvfb, WithoutOpenGlTheRuntimeSaysSoAndDrawsInSoftware) {
  StartX({"-extension", "GLX"});
  std::string folder = RunProbe("nogl", "hardware");
  EXPECT_EQ(ReadFile(folder + "/backend.txt"), "software\n");
  EXPECT_NE(ReadFile(folder + "/Log.txt").find(kSwitchLine + "\r\n"), std::string::npos);
  // It still draws: the first picture is there and not empty.
  std::string first = ReadFile(folder + "/case_00.bgra");
  ASSERT_EQ(first.size(), static_cast<size_t>(kProbeWidth) * kProbeHeight * 4);
  EXPECT_NE(first.find_first_not_of('\0'), std::string::npos);
}

TEST_F(BackEndsUnderXvfb, TheAutomaticChoicePassesOverARasteriserOnTheMainProcessor) {
  StartX();
  std::string renderer = X("glxinfo -B");
  if (renderer.find("llvmpipe") == std::string::npos && renderer.find("softpipe") == std::string::npos)
    GTEST_SKIP() << "this X server's OpenGL is not a software rasteriser:\n" << renderer;
  std::string folder = RunProbe("automatic", "");
  EXPECT_EQ(ReadFile(folder + "/backend.txt"), "software\n");
  EXPECT_NE(ReadFile(folder + "/Log.txt").find(kSwitchLine + "\r\n"), std::string::npos);
}

// What the X server shows in the window is exactly the frame drawn, however
// the frame reaches it: the window's own surface (the automatic choice passing
// over a rasteriser on the main processor, and a window made without OpenGL)
// or OpenGL.
TEST_F(BackEndsUnderXvfb, TheWindowShowsExactlyTheFrameDrawn) {
  ASSERT_TRUE(qxtest::Executable("/usr/bin/xdotool"));
  ASSERT_TRUE(qxtest::Executable("/usr/bin/xwd"));
  StartX();
  const struct {
    const char* name;
    const char* renderer;
  } kCases[] = {{"automatic", ""}, {"software", "software"}, {"hardware", "hardware"}};
  const size_t size = static_cast<size_t>(kProbeWidth) * kProbeHeight * 4;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string folder = dir_ + "/shown-" + c.name;
    fs::create_directories(folder);
    const std::string hold = folder + "/hold";
    std::ofstream(hold) << "hold\n";
    std::vector<std::string> env = Env(c.renderer);
    env.push_back("QUARNEX_PROBE_HOLD=" + hold);
    int fd = open((folder + "/output.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = qxtest::Spawn({std::string(QUARNEX_BINARY_DIR) + "/tests/quarnex_draw_probe"}, env, folder, fd);
    if (fd >= 0) close(fd);
    children_.push_back(pid);
    bool shown = false;
    for (int waited = 0; waited < qxtest::kPatienceMs && !shown; waited += 100) {
      shown = fs::exists(folder + "/shown.txt");
      if (!shown) qxtest::SleepMs(100);
    }
    ASSERT_TRUE(shown) << ReadFile(folder + "/output.txt");
    char last[32];
    snprintf(last, sizeof(last), "/case_%02d.bgra", kProbeCases - 1);
    const std::string drawn = ReadFile(folder + last);
    ASSERT_EQ(drawn.size(), size);
    std::string window;
    std::string candidates = X("xdotool search --name '^Quarnex draw probe$'");
    for (size_t at = 0; at < candidates.size();) {
      size_t end = candidates.find('\n', at);
      if (end == std::string::npos) end = candidates.size();
      const std::string id = candidates.substr(at, end - at);
      at = end + 1;
      if (X("xwininfo -id " + id).find("IsViewable") != std::string::npos) window = id;
    }
    ASSERT_FALSE(window.empty()) << "no window: " << candidates;
    const std::string seen = X("xwd -silent -id " + window + " | convert xwd:- -depth 8 bgra:-");
    ASSERT_EQ(seen.size(), size) << "window " << window;
    Difference d = Compare(seen, drawn, kProbeWidth, kProbeHeight);
    EXPECT_EQ(d.largest, 0) << d.over << " pixels differ, first at " << d.firstX << "," << d.firstY;
    fs::remove(hold);
    EXPECT_EQ(qxtest::WaitExit(pid, qxtest::kPatienceMs), 0) << ReadFile(folder + "/output.txt");
  }
}

// The real game on both back ends: once its fade-in is over, the title in
// the window is the one the headless game draws; then the hardware run goes
// on past the title.
class GameOnBothBackEnds : public BackEndsUnderXvfb {
 protected:
  std::string Game() const { return std::string(QUARNEX_BINARY_DIR) + "/game/quarnex"; }

  pid_t StartGame(const std::string& renderer) {
    std::string folder = dir_ + "/" + renderer;
    fs::create_directories(folder);
    fs::create_symlink(std::string(QUARNEX_BINARY_DIR) + "/run/res.ptk", folder + "/res.ptk");
    int fd = open((folder + "/output.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = qxtest::Spawn({Game()}, Env(renderer), folder, fd);
    if (fd >= 0) close(fd);
    children_.push_back(pid);
    return pid;
  }

  // The title as the headless game presents it long after its fade-in, the
  // pointer at 10,10 (its click ended the logo), as BGRA; "" when it fails.
  std::string HeadlessTitle() {
    const std::string folder = dir_ + "/headless";
    fs::create_directories(folder + "/frames");
    fs::create_symlink(std::string(QUARNEX_BINARY_DIR) + "/run/res.ptk", folder + "/res.ptk");
    std::ofstream(folder + "/script.txt") << "frame 5 click left 10 10\nframe 301 key Escape down\n";
    int fd = open((folder + "/output.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = qxtest::Spawn({Game()},
                              {"QUARNEX_PLATFORM=headless", "QUARNEX_SCRIPT=script.txt", "QUARNEX_FRAMES_DIR=frames",
                               "QUARNEX_LOCK_DIR=" + folder},
                              folder, fd);
    if (fd >= 0) close(fd);
    if (qxtest::WaitExit(pid, qxtest::kPatienceMs) != 0) {
      qxtest::StopProcess(pid);
      return "";
    }
    std::string bgra = X("convert " + folder + "/frames/frame_000300.png -depth 8 bgra:-");
    return bgra.size() == 800u * 600u * 4u ? bgra : "";
  }

  // Starts the game and returns its window ("" when it never had one). On a
  // starved machine the X server has now and then not taken a new client's
  // connection; the game then says so and ends (SDL offers no other display
  // here), which is the test's X server failing, not the game: it is started
  // again, at most twice more.
  std::string StartGameWithWindow(const std::string& renderer, pid_t* game) {
    std::string window;
    for (int attempt = 0; attempt < 3 && window.empty(); ++attempt) {
      if (attempt > 0) fs::remove_all(dir_ + "/" + renderer);  // the game has ended and been collected
      *game = StartGame(renderer);
      window = FindWindow(*game);
      if (window.empty() && ReadFile(dir_ + "/" + renderer + "/output.txt").find("no window system answers") ==
                                std::string::npos)
        break;
    }
    return window;
  }

  // The game's window once it has one; "" when the game ended first.
  std::string FindWindow(pid_t game) {
    for (int waited = 0; waited < qxtest::kPatienceMs; waited += 100) {
      std::string out = X("xdotool search --name '^Quarnex$'");
      if (!out.empty()) return out.substr(0, out.find('\n'));
      if (qxtest::WaitExit(game, 0) != -1) return "";
      qxtest::SleepMs(100);
    }
    return "";
  }

  // The window's 800 x 600 pixels as BGRA, or "" when they cannot be taken.
  std::string Shot(const std::string& window) {
    std::string bgra = X("xwd -silent -id " + window + " 2>/dev/null | convert xwd:- -depth 8 bgra:-");
    return bgra.size() == 800u * 600u * 4u ? bgra : "";
  }

  // Puts the pointer where the headless run had it and waits until the window
  // shows the expected title above the blinking prompt; returns that shot, or
  // "" when the game ends first.
  std::string TitleAsExpected(pid_t game, std::string* window, const std::string& expected) {
    for (int waited = 0; waited < qxtest::kPatienceMs; waited += 200) {
      // Again each time: a window still being set up may not take the move.
      X("xdotool mousemove --window " + *window + " 10 10");
      std::string now = Shot(*window);
      if (now.empty()) {
        // The display set-up may replace the first X window the program made.
        titleFailure_ = "no picture of window " + *window;
        *window = FindWindow(game);
        if (window->empty()) return "";
      } else {
        Difference d = Compare(now, expected, 800, 600, 0, kPromptTop);
        if (d.over == 0) return now;
        titleFailure_ = std::to_string(d.over) + " pixels differ, first at " + std::to_string(d.firstX) + "," +
                        std::to_string(d.firstY);
      }
      if (qxtest::WaitExit(game, 0) != -1) return "";
      qxtest::SleepMs(200);
    }
    return "";
  }

  std::string titleFailure_;
  static constexpr int kPromptTop = 420;  // "CLICK TO START" blinks below this row
};

TEST_F(GameOnBothBackEnds, TheTitleMatchesAndTheGameRunsOnFromItOnTheHardwareBackEnd) {
  ASSERT_TRUE(qxtest::Executable("/usr/bin/xdotool"));
  ASSERT_TRUE(qxtest::Executable("/usr/bin/xwd"));
  StartX();
  const std::string expected = HeadlessTitle();
  ASSERT_FALSE(expected.empty()) << ReadFile(dir_ + "/headless/output.txt");
  std::string software, hardware;
  {
    pid_t game = -1;
    std::string window = StartGameWithWindow("software", &game);
    ASSERT_FALSE(window.empty()) << ReadFile(dir_ + "/software/output.txt");
    software = TitleAsExpected(game, &window, expected);
    qxtest::StopProcess(game);
  }
  ASSERT_FALSE(software.empty()) << "the software title never came: " << titleFailure_
                                 << ReadFile(dir_ + "/software/output.txt");
  pid_t game = -1;
  std::string window = StartGameWithWindow("hardware", &game);
  ASSERT_FALSE(window.empty()) << ReadFile(dir_ + "/hardware/output.txt");
  hardware = TitleAsExpected(game, &window, expected);
  ASSERT_FALSE(hardware.empty()) << "the hardware title never came: " << titleFailure_
                                 << ReadFile(dir_ + "/hardware/output.txt");
  Difference d = Compare(hardware, software, 800, 600, 0, kPromptTop);
  EXPECT_EQ(d.over, 0) << "largest " << d.largest << ", first at " << d.firstX << "," << d.firstY;

  // Start a game with a click and play on: the picture changes and the
  // program keeps running until Escape ends it normally. The button is held
  // until the picture answers, as a tap could fall between two frames.
  X("xdotool windowfocus --sync " + window);
  X("xdotool mousemove --window " + window + " 400 300 mousedown 1");
  bool playing = false;
  for (int waited = 0; waited < qxtest::kPatienceMs && !playing; waited += 300) {
    qxtest::SleepMs(300);
    std::string now = Shot(window);
    playing = !now.empty() && Compare(now, hardware, 800, 600, 0, kPromptTop).over > 10000;
  }
  X("xdotool mouseup 1");
  EXPECT_TRUE(playing) << "the game did not leave the title";
  for (int i = 0; i < 10; ++i) {
    X("xdotool mousemove --window " + window + " " + std::to_string(200 + i * 40) + " 300 mousedown 1");
    qxtest::SleepMs(500);
    X("xdotool mouseup 1");
  }
  EXPECT_EQ(qxtest::WaitExit(game, 0), -1) << ReadFile(dir_ + "/hardware/output.txt");
  X("xdotool keydown Escape");
  int status = qxtest::WaitExit(game, qxtest::kPatienceMs);
  X("xdotool keyup Escape");
  EXPECT_EQ(status, 0);
}

}  // namespace
