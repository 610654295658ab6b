// Starts the real game on the headless back end, in a working directory of
// its own, played by a script: for the tests that run the whole program.
#ifndef QUARNEX_TESTS_SUPPORT_GAME_LAUNCH_H
#define QUARNEX_TESTS_SUPPORT_GAME_LAUNCH_H

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace qxtest {

inline std::filesystem::path GameBinary() { return std::filesystem::path(QUARNEX_BINARY_DIR) / "game" / "quarnex"; }

struct GameRun {
  pid_t pid = -1;
  std::filesystem::path dir;
};

// Makes a fresh directory named after `prefix`, lets `prepare` fill it, writes
// the script there and starts the game in it with a fixed start date; each of
// `fileVariables` is set to the path of the named file in that directory
// (where the game writes hashes or checkpoints). Standard error goes to
// "stderr.txt" there when asked. The
// run ends itself after 20 minutes, so one that never reaches its end cannot
// hang the suite. No process is started (pid -1) when the directory cannot be made.
template <typename Prepare>
GameRun StartHeadlessGame(const char* prefix, const std::string& script, Prepare&& prepare,
                          const std::vector<std::pair<std::string, std::string>>& fileVariables = {},
                          bool errorsToFile = false) {
  GameRun run;
  std::string pattern = std::string("/tmp/") + prefix + "_XXXXXX";
  if (!mkdtemp(pattern.data())) return run;
  run.dir = pattern;
  prepare(run.dir);
  std::ofstream(run.dir / "script.txt") << script;
  const std::string scriptPath = (run.dir / "script.txt").string();
  const std::string errorPath = (run.dir / "stderr.txt").string();
  const std::string binary = GameBinary().string();
  std::vector<std::pair<std::string, std::string>> variables;
  for (const auto& [name, file] : fileVariables) variables.emplace_back(name, (run.dir / file).string());
  run.pid = fork();
  if (run.pid == 0) {
    if (chdir(run.dir.c_str()) != 0) _exit(127);
    if (errorsToFile) {
      const int error = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (error < 0 || dup2(error, 2) < 0) _exit(127);
      close(error);
    }
    setenv("QUARNEX_PLATFORM", "headless", 1);
    setenv("QUARNEX_SCRIPT", scriptPath.c_str(), 1);
    setenv("QUARNEX_DATE", "2026-03-14 15:09:26", 1);
    setenv("QUARNEX_LOCK_DIR", run.dir.c_str(), 1);
    for (const char* name : {"QUARNEX_FRAMES_DIR", "QUARNEX_FRAME_HASHES", "QUARNEX_CHECKPOINTS"}) unsetenv(name);
    for (const auto& [name, path] : variables) setenv(name.c_str(), path.c_str(), 1);
    alarm(1200);
    execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return run;
}

}  // namespace qxtest

#endif
