// The SDL back end's sound output: the runtime in an SDL window on a virtual
// X server, with SDL's disk audio driver writing the mixed output to a file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <math.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/core/window_state.h"
#include "runtime/platform/platform.h"
#include "runtime/runtime.h"
#include "sound/sound_runtime_fixture.h"

namespace {

namespace fs = std::filesystem;

int WaitExit(pid_t pid, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 20) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    usleep(20000);
  }
  return -1;
}

class SdlDiskAudio : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
    char pattern[] = "/tmp/quarnex-sdl-audio-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    xvfb_ = fork();
    if (xvfb_ == 0) {
      int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    display_ = ":" + number;
  }
  void TearDown() override {
    if (xvfb_ > 0) {
      kill(xvfb_, SIGTERM);
      if (WaitExit(xvfb_, 5000) == -1) {
        kill(xvfb_, SIGKILL);
        waitpid(xvfb_, nullptr, 0);
      }
    }
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  std::string dir_, display_;
  pid_t xvfb_ = -1;
};

// A child process plays a 1000 Hz tone at 22050 Hz, volume 128, with play type 0.
TEST_F(SdlDiskAudio, AToneIsMixedAtItsPitchAndVolume) {
  const std::string raw = dir_ + "/out.raw";
  std::vector<uint8_t> pcm;
  for (int i = 0; i < 22050; ++i) {
    qxtest::Put16(pcm, static_cast<uint16_t>(static_cast<int16_t>(lround(20000 * sin(2 * M_PI * 1000.0 * i / 22050)))));
  }
  const std::vector<uint8_t> wave = qxtest::PcmWave(1, 22050, 16, pcm);
  std::ofstream(dir_ + "/tone.wav", std::ios::binary)
      .write(reinterpret_cast<const char*>(wave.data()), static_cast<std::streamsize>(wave.size()));

  pid_t child = fork();
  if (child == 0) {
    if (chdir(dir_.c_str()) != 0) _exit(10);
    setenv("DISPLAY", display_.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    setenv("QUARNEX_LOCK_DIR", dir_.c_str(), 1);
    qx::SelectPlatform(&qx::kSdlPlatform);
    memset(&qx::GetWindowState(), 0, sizeof(qx::WindowState));
    SetWindowCaption("QxSdlSound");
    SetScreenMode(800, 600, 32, 60);
    SetLogFileEnabled(1);
    ChangeWindowMode(1);
    SetRunWhileInactive(1);
    if (InitRuntime() != 0) _exit(11);
    SoundHandle h = LoadSoundFile("tone.wav", 3, -1);
    if (h == -1) _exit(12);
    SetSoundVolume(128, h);
    if (PlaySoundHandle(h, 0, 1) != 0) _exit(13);
    EndRuntime();
    _exit(0);
  }
  ASSERT_GT(child, 0);
  int status = WaitExit(child, 60000);
  if (status == -1) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  const std::string log = qxtest::ReadWholeText(dir_ + "/Log.txt");
  ASSERT_EQ(status, 0) << log;
  EXPECT_NE(log.find("モジュール名:" + std::string(11, ' ') + "disk"), std::string::npos) << log;

  const std::string bytes = qxtest::ReadWholeText(raw);
  std::vector<int16_t> s(bytes.size() / 2);
  memcpy(s.data(), bytes.data(), s.size() * 2);
  const size_t frames = s.size() / 2;
  size_t first = frames, last = 0;
  for (size_t f = 0; f < frames; ++f) {
    if (s[2 * f] != 0) {
      if (first == frames) first = f;
      last = f;
    }
  }
  ASSERT_LT(first, frames) << "nothing was heard in " << bytes.size() << " bytes";
  // One second at the device rate, whole.
  EXPECT_NEAR(static_cast<double>(last - first), 44100.0, 50.0);
  int crossings = 0, peak = 0, unequal = 0;
  for (size_t f = first + 1; f <= last; ++f) {
    if ((s[2 * (f - 1)] < 0) != (s[2 * f] < 0)) ++crossings;
    peak = std::max(peak, std::abs(static_cast<int>(s[2 * f])));
    if (s[2 * f] != s[2 * f + 1]) ++unequal;
  }
  EXPECT_EQ(unequal, 0) << "mono plays on both channels alike";
  EXPECT_NEAR(crossings / 2.0 * 44100.0 / static_cast<double>(last - first), 1000.0, 3.0);
  // Volume 128 is -299 hundredths of a decibel.
  EXPECT_NEAR(peak, 20000 * pow(10.0, -299 / 2000.0), 150.0);
}

}  // namespace
