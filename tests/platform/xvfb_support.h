// Child processes and a virtual X server for the tests that run real windows.
#ifndef QUARNEX_TESTS_PLATFORM_XVFB_SUPPORT_H
#define QUARNEX_TESTS_PLATFORM_XVFB_SUPPORT_H

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace qxtest {

inline void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// How long a wait for a child process's state may last before the test gives
// up. Only turns a hang into a failure: a sanitizer build on a busy machine
// can take minutes to open a window or to end.
inline constexpr int kPatienceMs = 600000;

inline bool Executable(const char* path) { return access(path, X_OK) == 0; }

// Starts a program with extra environment entries; returns its pid.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& dir,
                   int stdoutFd = -1) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(127);
  // A clean environment: other tests in this process may have set SDL or game variables.
  // The sanitizers' settings stay, so a sanitizer build checks the child as it checks the test.
  const char* path = getenv("PATH");
  std::vector<std::string> kept = {std::string("PATH=") + (path ? path : "/usr/bin:/bin")};
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
    if (const char* value = getenv(name)) kept.push_back(std::string(name) + "=" + value);
  }
  clearenv();
  for (const std::string& e : kept) putenv(const_cast<char*>(e.c_str()));
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

// Whether the child has ended, leaving its status to be collected.
inline bool Ended(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == pid;
}

// Waits up to timeoutMs for the process; returns its exit status, or -1 if it is still running.
inline int WaitExit(pid_t pid, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 20) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    SleepMs(20);
  }
  return -1;
}

inline std::string Capture(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buffer[512];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), p)) > 0) out.append(buffer, n);
  pclose(p);
  return out;
}

// Starts Xvfb on a free display with a 1280 x 1024 desktop of depth 24 (a
// 32-bit desktop) and the extra arguments; returns ":N", or "" when it did not start.
inline std::string StartXvfb(pid_t* pid, const std::vector<std::string>& extra = {}) {
  int fds[2];
  if (pipe(fds) != 0) return "";
  std::vector<std::string> argv = {"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                   "1280x1024x24", "-nolisten", "tcp"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  *pid = Spawn(argv, {}, "", -1);
  close(fds[1]);
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  return number.empty() ? "" : ":" + number;
}

inline void StopProcess(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  if (WaitExit(pid, 5000) == -1) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

}  // namespace qxtest

#endif
