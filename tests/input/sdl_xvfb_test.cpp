// The SDL back end under a virtual X server, driven by synthetic X input:
// a probe process starts the runtime and reports what it reads; this test
// moves the pointer, holds a key and a button with xdotool and waits for
// the probe to report them.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace {

constexpr const char* kCaption = "QuarnexInputProbe";

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

// The probe: started by the test below in its own process, never on its own.
TEST(SdlInputProbe, ReportStates) {
  if (!getenv("QUARNEX_INPUT_PROBE")) GTEST_SKIP() << "the probe process of SdlInputXvfb";
  SetWindowCaption(kCaption);
  const bool fullScreen = getenv("QUARNEX_INPUT_PROBE_FULL_SCREEN") != nullptr;
  // A slow reader: most short presses begin and end between two of its reads.
  const int readGapMs = getenv("QUARNEX_INPUT_PROBE_SLOW") ? 300 : 10;
  if (fullScreen) {
    SetScreenMode(800, 600, 32, 60);
  } else {
    SetScreenMode(320, 240, 32, 60);
  }
  ChangeWindowMode(fullScreen ? 0 : 1);
  SetRunWhileInactive(1);
  SetLogFileEnabled(0);
  ASSERT_EQ(InitRuntime(), 0);
  ASSERT_EQ(SetDrawTarget(-2), 0);
  printf("READY\n");
  fflush(stdout);
  std::string last;
  double end = Now() + 60;
  while (Now() < end && ProcessMessage() == 0) {
    unsigned char keys[256];
    GetAllKeyStates(keys);
    int x = 0, y = 0;
    GetCursorPosition(&x, &y);
    std::string line = "STATE";
    for (int code = 0; code < 256; ++code) {
      if (keys[code]) line += " k" + std::to_string(code);
    }
    line += " b" + std::to_string(GetMouseButtons()) + " x" + std::to_string(x) + " y" + std::to_string(y);
    if (line != last) {
      printf("%s\n", line.c_str());
      fflush(stdout);
      last = line;
    }
    // Frames as a game presents them: a press seen in one frame ends with it.
    FlipScreen();
    pollfd in = {0, POLLIN, 0};
    if (poll(&in, 1, readGapMs) > 0) break;  // the test closed our input: stop
  }
  EndRuntime();
}

bool HaveProgram(const char* name) {
  std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return system(command.c_str()) == 0;
}

int RunXdotool(const std::vector<std::string>& args, std::string* output = nullptr) {
  int out[2];
  if (pipe(out) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    // --sync waits for the window system; a broken probe must not hang the test.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("timeout"));
    argv.push_back(const_cast<char*>("30"));
    argv.push_back(const_cast<char*>("xdotool"));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp("timeout", argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, n);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  // Next line, or false after the deadline or at the end of the stream.
  bool Next(std::string* line, double deadline) {
    for (;;) {
      size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        *line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return true;
      }
      int wait = static_cast<int>((deadline - Now()) * 1000);
      if (wait <= 0) return false;
      pollfd p = {fd_, POLLIN, 0};
      if (poll(&p, 1, wait) <= 0) continue;
      char chunk[512];
      ssize_t n = read(fd_, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer_.append(chunk, n);
    }
  }
  // Waits for a state line that holds every given token; returns the last line seen.
  std::string WaitFor(const std::vector<std::string>& tokens, const std::vector<std::string>& absent, double seconds) {
    double deadline = Now() + seconds;
    std::string line, last;
    while (Next(&line, deadline)) {
      last = line;
      std::string padded = line + " ";
      bool ok = true;
      for (const std::string& t : tokens) ok = ok && padded.find(" " + t + " ") != std::string::npos;
      for (const std::string& t : absent) ok = ok && padded.find(" " + t + " ") == std::string::npos;
      if (ok) return "";
    }
    return last.empty() ? "(no state reported)" : last;
  }

 private:
  int fd_;
  std::string buffer_;
};

class SdlInputXvfb : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = getenv("DISPLAY");
    hadDisplay_ = display != nullptr;
    if (display) oldDisplay_ = display;
    // A lock folder of its own: other tests may run a window of the same caption meanwhile.
    char lockDir[] = "/tmp/quarnex-input-xvfb-XXXXXX";
    ASSERT_NE(mkdtemp(lockDir), nullptr);
    lockDir_ = lockDir;
  }
  void TearDown() override {
    if (hadDisplay_) {
      setenv("DISPLAY", oldDisplay_.c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
    if (probeIn_ >= 0) close(probeIn_);
    if (probe_ > 0) {
      int status;
      double end = Now() + 20;
      while (waitpid(probe_, &status, WNOHANG) == 0) {
        if (Now() > end) {
          kill(probe_, SIGKILL);
          waitpid(probe_, &status, 0);
          break;
        }
        usleep(20000);
      }
    }
    if (probeOut_ >= 0) close(probeOut_);
    if (xvfb_ > 0) {
      kill(xvfb_, SIGTERM);
      waitpid(xvfb_, nullptr, 0);
    }
    if (!lockDir_.empty()) std::filesystem::remove_all(lockDir_);
  }

  // Starts Xvfb on a free display; returns its number or -1.
  int StartXvfb(const char* screen = "1024x768x24") {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    xvfb_ = fork();
    if (xvfb_ == 0) {
      close(fds[0]);
      int devnull = open("/dev/null", O_WRONLY);
      dup2(devnull, 2);
      std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    LineReader reader(fds[0]);
    std::string line;
    bool ok = reader.Next(&line, Now() + 30);
    close(fds[0]);
    return ok ? atoi(line.c_str()) : -1;
  }

  // Waits until the probe has started the runtime and its window is there.
  void AwaitProbeWindow(LineReader* probe, std::string* window) {
    std::string line;
    bool ready = false;
    const double deadline = Now() + 60;
    while (!ready && probe->Next(&line, deadline)) ready = line == "READY";
    ASSERT_TRUE(ready) << "the probe did not start the runtime";
    ASSERT_EQ(RunXdotool({"search", "--sync", "--name", kCaption}, window), 0);
    *window = window->substr(0, window->find('\n'));
    ASSERT_FALSE(window->empty());
  }

  void StartProbe(int display, bool fullScreen = false, bool slow = false) {
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    probe_ = fork();
    if (probe_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[0]);
      close(in[1]);
      close(out[0]);
      close(out[1]);
      std::string d = ":" + std::to_string(display);
      setenv("DISPLAY", d.c_str(), 1);
      setenv("QUARNEX_PLATFORM", "sdl", 1);
      setenv("QUARNEX_LOCK_DIR", lockDir_.c_str(), 1);
      setenv("QUARNEX_INPUT_PROBE", "1", 1);
      if (fullScreen) {
        setenv("QUARNEX_INPUT_PROBE_FULL_SCREEN", "1", 1);
      } else {
        unsetenv("QUARNEX_INPUT_PROBE_FULL_SCREEN");
      }
      if (slow) {
        setenv("QUARNEX_INPUT_PROBE_SLOW", "1", 1);
      } else {
        unsetenv("QUARNEX_INPUT_PROBE_SLOW");
      }
      unsetenv("QUARNEX_SCRIPT");
      unsetenv("WAYLAND_DISPLAY");
      setenv("SDL_VIDEODRIVER", "x11", 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      execl("/proc/self/exe", "probe", "--gtest_filter=SdlInputProbe.ReportStates", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    probeIn_ = in[1];
    probeOut_ = out[0];
  }

  bool hadDisplay_ = false;
  std::string oldDisplay_;
  std::string lockDir_;
  pid_t xvfb_ = -1;
  pid_t probe_ = -1;
  int probeIn_ = -1;
  int probeOut_ = -1;
};

TEST_F(SdlInputXvfb, ReportsKeyButtonAndPointerFromTheWindow) {
  if (!HaveProgram("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_TRUE(HaveProgram("xdotool"));
  int display = StartXvfb();
  ASSERT_GE(display, 0);
  std::string d = ":" + std::to_string(display);
  setenv("DISPLAY", d.c_str(), 1);

  StartProbe(display);
  LineReader probe(probeOut_);
  std::string window;
  ASSERT_NO_FATAL_FAILURE(AwaitProbeWindow(&probe, &window));
  ASSERT_EQ(RunXdotool({"windowfocus", "--sync", window}), 0);

  ASSERT_EQ(RunXdotool({"mousemove", "--window", window, "--sync", "37", "53"}), 0);
  ASSERT_EQ(RunXdotool({"keydown", "z"}), 0);
  ASSERT_EQ(RunXdotool({"mousedown", "3"}), 0);
  // Z is key code 44; the right button is bit 1.
  EXPECT_EQ(probe.WaitFor({"k44", "b2", "x37", "y53"}, {}, 30), "");

  ASSERT_EQ(RunXdotool({"keyup", "z"}), 0);
  ASSERT_EQ(RunXdotool({"mouseup", "3"}), 0);
  ASSERT_EQ(RunXdotool({"keydown", "Left"}), 0);
  ASSERT_EQ(RunXdotool({"mousedown", "1"}), 0);
  ASSERT_EQ(RunXdotool({"mousemove", "--window", window, "--sync", "300", "200"}), 0);
  EXPECT_EQ(probe.WaitFor({"k203", "b1", "x300", "y200"}, {"k44"}, 30), "");
  ASSERT_EQ(RunXdotool({"keyup", "Left"}), 0);
  ASSERT_EQ(RunXdotool({"mouseup", "1"}), 0);

  // Left of the window: unclipped, negative.
  ASSERT_EQ(RunXdotool({"mousemove", "--window", window, "--sync", "--", "-20", "10"}), 0);
  EXPECT_EQ(probe.WaitFor({"b0", "x-20", "y10"}, {"k203"}, 30), "");
}

// A click or a key press of a few milliseconds, between two reads 300 ms
// apart, is still seen once by the next read.
TEST_F(SdlInputXvfb, ShortPressesBetweenReadsAreSeen) {
  if (!HaveProgram("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_TRUE(HaveProgram("xdotool"));
  int display = StartXvfb();
  ASSERT_GE(display, 0);
  std::string d = ":" + std::to_string(display);
  setenv("DISPLAY", d.c_str(), 1);

  StartProbe(display, false, true);
  LineReader probe(probeOut_);
  std::string window;
  ASSERT_NO_FATAL_FAILURE(AwaitProbeWindow(&probe, &window));
  ASSERT_EQ(RunXdotool({"windowfocus", "--sync", window}), 0);
  ASSERT_EQ(RunXdotool({"mousemove", "--window", window, "--sync", "20", "30"}), 0);
  EXPECT_EQ(probe.WaitFor({"b0", "x20", "y30"}, {}, 30), "");

  ASSERT_EQ(RunXdotool({"click", "1"}), 0);
  EXPECT_EQ(probe.WaitFor({"b1"}, {}, 10), "") << "the click was lost";
  EXPECT_EQ(probe.WaitFor({"b0"}, {}, 10), "") << "the click did not end";
  ASSERT_EQ(RunXdotool({"key", "--delay", "5", "z"}), 0);
  EXPECT_EQ(probe.WaitFor({"k44"}, {}, 10), "") << "the key press was lost";
  EXPECT_EQ(probe.WaitFor({}, {"k44"}, 10), "") << "the key press did not end";
}

// The player resizes the 320 x 240 window: the frame is scaled to fit, and
// the cursor still reads in the game's pixels, where the player points.
TEST_F(SdlInputXvfb, ResizedWindowCursorIsInTheGamesPixels) {
  if (!HaveProgram("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_TRUE(HaveProgram("xdotool"));
  int display = StartXvfb();
  ASSERT_GE(display, 0);
  std::string d = ":" + std::to_string(display);
  setenv("DISPLAY", d.c_str(), 1);

  StartProbe(display);
  LineReader probe(probeOut_);
  std::string window;
  ASSERT_NO_FATAL_FAILURE(AwaitProbeWindow(&probe, &window));

  struct Case {
    const char* width;
    const char* height;
    const char* pointX;
    const char* pointY;
    const char* x;
    const char* y;
  };
  const Case cases[] = {
      {"640", "480", "101", "61", "x50", "y30"},     // twice the size
      {"640", "480", "639", "479", "x319", "y239"},  // its last pixel
      {"1000", "600", "500", "300", "x160", "y120"},  // 800 x 600 from x 100: the middle
      {"1000", "600", "50", "300", "x-20", "y120"},   // the bar on the left: unclipped
  };
  for (const Case& c : cases) {
    ASSERT_EQ(RunXdotool({"windowsize", "--sync", window, c.width, c.height}), 0);
    ASSERT_EQ(RunXdotool({"mousemove", "--window", window, "--sync", c.pointX, c.pointY}), 0);
    EXPECT_EQ(probe.WaitFor({c.x, c.y}, {}, 30), "") << c.width << "x" << c.height << " at " << c.pointX << ","
                                                      << c.pointY;
  }
}

// A full-screen 800 x 600 game on a 1280 x 1024 desktop is shown 1280 x 960,
// 32 pixels down: the cursor still reads in the game's pixels.
TEST_F(SdlInputXvfb, FullScreenCursorIsInTheGamesPixels) {
  if (!HaveProgram("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_TRUE(HaveProgram("xdotool"));
  int display = StartXvfb("1280x1024x24");
  ASSERT_GE(display, 0);
  std::string d = ":" + std::to_string(display);
  setenv("DISPLAY", d.c_str(), 1);

  StartProbe(display, true);
  LineReader probe(probeOut_);
  std::string window;
  ASSERT_NO_FATAL_FAILURE(AwaitProbeWindow(&probe, &window));
  // No window manager runs on this server to give the full-screen window the whole
  // screen, so the test does its part.
  ASSERT_EQ(RunXdotool({"windowmove", "--sync", window, "0", "0"}), 0);
  ASSERT_EQ(RunXdotool({"windowsize", "--sync", window, "1280", "1024"}), 0);

  struct Case {
    const char* desktopX;
    const char* desktopY;
    const char* x;
    const char* y;
  };
  const Case cases[] = {
      {"640", "512", "x400", "y300"},  // the middle
      {"0", "32", "x0", "y0"},         // the screen's top-left corner
      {"1279", "991", "x799", "y599"}, // its bottom-right pixel
      {"16", "8", "x10", "y-15"},      // the band above the picture: unclipped
  };
  for (const Case& c : cases) {
    ASSERT_EQ(RunXdotool({"mousemove", "--sync", c.desktopX, c.desktopY}), 0);
    EXPECT_EQ(probe.WaitFor({c.x, c.y}, {}, 30), "") << c.desktopX << "," << c.desktopY;
  }
}

}  // namespace
