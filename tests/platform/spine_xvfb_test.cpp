// The real game binary with the SDL back end under a virtual X server.
#include <gtest/gtest.h>

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

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool Executable(const char* path) { return access(path, X_OK) == 0; }

// Starts a program with extra environment entries; returns its pid.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& dir,
            int stdoutFd = -1) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(127);
  // A clean environment: other tests in this process may have set SDL or game variables.
  const char* path = getenv("PATH");
  std::string pathEntry = std::string("PATH=") + (path ? path : "/usr/bin:/bin");
  clearenv();
  putenv(const_cast<char*>(pathEntry.c_str()));
  for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
  int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  dup2(stdoutFd >= 0 ? stdoutFd : null, 1);
  dup2(stdoutFd >= 0 ? stdoutFd : null, 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

// Waits up to timeoutMs for the process; returns its exit status, or -1 if it is still running.
int WaitExit(pid_t pid, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 20) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    SleepMs(20);
  }
  return -1;
}

std::string Capture(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buffer[512];
  while (fgets(buffer, sizeof(buffer), p)) out += buffer;
  pclose(p);
  return out;
}

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

    // Xvfb picks a free display and writes its number to the pipe. Depth 24
    // has 4-byte pixels, a 32-bit desktop: the game must not refuse it.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    xvfb_ = Spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24",
                   "-nolisten", "tcp"},
                  {}, "", -1);
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    display_ = ":" + number;
    env_ = {"DISPLAY=" + display_, "QUARNEX_PLATFORM=sdl", "QUARNEX_LOCK_DIR=" + dir_, "SDL_AUDIODRIVER=dummy"};
  }

  void TearDown() override {
    for (pid_t pid : games_) {
      if (WaitExit(pid, 0) == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
    if (xvfb_ > 0) {
      kill(xvfb_, SIGTERM);
      if (WaitExit(xvfb_, 5000) == -1) {
        kill(xvfb_, SIGKILL);
        waitpid(xvfb_, nullptr, 0);
      }
    }
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

  // The id of the window titled exactly "Quarnex", waiting up to 60 s for it.
  std::string FindWindow() {
    for (int i = 0; i < 600; ++i) {
      std::string out = X("xdotool search --name '^Quarnex$'");
      if (!out.empty()) return out.substr(0, out.find('\n'));
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
  ASSERT_FALSE(FindWindow().empty()) << "no window titled Quarnex; exit " << WaitExit(first, 0) << "\n"
                                     << GameOutput(0);

  // A second copy with the same caption refuses and leaves the first alone.
  pid_t second = StartGame();
  EXPECT_EQ(WaitExit(second, 30000), 255);
  EXPECT_EQ(WaitExit(first, 0), -1);

  // Looked up only now: the display set-up may replace the first X window it made.
  std::string window, info;
  for (int i = 0; i < 50 && info.find("Width:") == std::string::npos; ++i) {
    if (i > 0) SleepMs(100);
    window = FindWindow();
    info = window.empty() ? "" : X("xwininfo -id " + window);
  }
  ASSERT_FALSE(window.empty()) << "the first copy lost its window";
  EXPECT_NE(info.find("Width: 800\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Height: 600\n"), std::string::npos) << info;

  // Held until the program ends: a tap could fall between two frames.
  X("xdotool windowfocus --sync " + window);
  X("xdotool keydown Escape");
  int status = WaitExit(first, 30000);
  X("xdotool keyup Escape");
  EXPECT_EQ(status, 0);
}

TEST_F(GameUnderXvfb, ACloseRequestEndsTheProgramNormally) {
  pid_t game = StartGame();
  ASSERT_FALSE(FindWindow().empty()) << "no window titled Quarnex; exit " << WaitExit(game, 0) << "\n" << GameOutput(0);
  // SDL turns the termination signal into a quit request, which takes the close path.
  kill(game, SIGTERM);
  EXPECT_EQ(WaitExit(game, 30000), 0);
}

}  // namespace
