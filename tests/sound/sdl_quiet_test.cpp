// The SDL sound output on a machine without a sound device: it fails, and
// the sound library keeps its own error report off the terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "runtime/platform/tables.h"
#include "support/read_file.h"

namespace {

// Opens the device in a child process whose standard error goes to a file;
// returns what the child wrote there, and its exit status (0 = a device opened).
std::string OpenDeviceAndListen(const char* driver, int* status) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("quarnex-sdl-quiet-" + std::to_string(getpid()) + ".txt")).string();
  pid_t child = fork();
  if (child == 0) {
    const int errors = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errors < 0 || dup2(errors, 2) < 0) _exit(127);
    setenv("SDL_AUDIODRIVER", driver, 1);
    const int opened = qx::kSdlSoundOps.Init(2, 16, 44100);
    if (opened == 0) qx::kSdlSoundOps.Shutdown();
    _exit(opened == 0 ? 0 : 1);
  }
  int raw = 0;
  waitpid(child, &raw, 0);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
  const std::string text = qxtest::ReadWholeText(path);
  std::filesystem::remove(path);
  return text;
}

TEST(SdlSoundWithoutADevice, TheSoundLibraryStaysQuiet) {
  int status = -1;
  const std::string errors = OpenDeviceAndListen("alsa", &status);
  ASSERT_NE(status, 127);
  ASSERT_NE(status, 128);
  // Where a sound card exists the open succeeds; quiet either way.
  EXPECT_EQ(errors, "") << "device opened: " << (status == 0);
}

}  // namespace
