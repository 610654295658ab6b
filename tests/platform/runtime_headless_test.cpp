// Start-up, messages and shutdown of the runtime on the headless back end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/api_internal.h"
#include "support/headless_fixture.h"
#include "runtime/core/lock.h"
#include "runtime/core/window_state.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/headless/headless_window.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/posix_os.h"
#include "runtime/runtime.h"

namespace {

namespace fs = std::filesystem;

class HeadlessRuntime : public HeadlessFixture {
 protected:
  void SetUp() override {
    HeadlessFixture::SetUp();
    SetWindowCaption("QxTest");
    SetScreenMode(800, 600, 32, 60);
    SetLogFileEnabled(1);
    ChangeWindowMode(1);
    SetRunWhileInactive(1);
  }
  void TearDown() override {
    EndRuntime();
    HeadlessFixture::TearDown();
  }
  std::string Log() {
    std::ifstream in(dir_ + "/Log.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Position of text in the log after `from`, or npos.
  size_t Find(const std::string& text, size_t from = 0) { return Log().find(text, from); }
  void Post(int type, int p1 = 0) {
    qx::PlatformMessage m = {type, p1, 0, 0};
    qx::GetPlatform().window->PostMessage(&m);
  }

};

TEST_F(HeadlessRuntime, StartsAndEndsCleanly) {
  ASSERT_EQ(InitRuntime(), 0);
  qx::HeadlessWindowInfo info = qx::HeadlessGetWindowInfo();
  EXPECT_EQ(info.exists, 1);
  EXPECT_STREQ(info.caption, "QxTest");
  EXPECT_EQ(info.screenSaverEnabled, 0);
  const qx::WindowState& ws = qx::GetWindowState();
  EXPECT_STREQ(ws.className, "QxTest");
  EXPECT_EQ(ws.initialised, 1);
  EXPECT_EQ(ws.initialising, 0);
  EXPECT_EQ(ws.messageThreadStarted, 1);
  EXPECT_NE(Find("ソフトの二重起動検査... 二重起動はされていませんでした\r\n"), std::string::npos) << Log();
  EXPECT_NE(Find("システムの情報を出力します\r\n"), std::string::npos);
  // The system report is one level deeper.
  EXPECT_NE(Find(":\tランタイム Ver1.00\r\n"), std::string::npos);
  EXPECT_EQ(ProcessMessage(), 0);

  EXPECT_EQ(EndRuntime(), 0);
  info = qx::HeadlessGetWindowInfo();
  EXPECT_EQ(info.exists, 0);
  EXPECT_EQ(info.screenSaverEnabled, 1);
  EXPECT_EQ(ws.initialised, 0);
  EXPECT_EQ(ws.messageThreadStarted, 0);
  EXPECT_EQ(ws.messageThreadEnded, 1);
  size_t dump = Find("Alloc memory dump");
  EXPECT_NE(dump, std::string::npos);
  EXPECT_NE(Find("ＣＯＭを終了... 完了\r\n"), std::string::npos);
  // The instance lock went with the window.
  char path[4096];
  ASSERT_EQ(qx::InstanceLockPath("QxTest", 1, path, sizeof(path)), 0);
  int fd = open(path, O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  close(fd);
}

// The lines of the log between `first` (included) and the next line that is
// not indented deeper than it.
std::vector<std::string> ReportLines(const std::string& log, const std::string& first) {
  std::vector<std::string> lines;
  size_t at = log.find(first);
  if (at == std::string::npos) return lines;
  at = log.find("\r\n", at) + 2;
  while (at < log.size()) {
    size_t end = log.find("\r\n", at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    size_t tab = line.find(":\t");
    if (tab == std::string::npos) break;
    lines.push_back(line.substr(tab + 2));
    at = end + 2;
  }
  return lines;
}

TEST_F(HeadlessRuntime, TheSystemReportHoldsOnlyItsListedLines) {
  ASSERT_EQ(InitRuntime(), 0);
  std::string log = Log();
  std::vector<std::string> lines = ReportLines(log, "システムの情報を出力します\r\n");
  ASSERT_GE(lines.size(), 2u) << log;
  EXPECT_EQ(lines[0], "ランタイム Ver1.00");
  EXPECT_EQ(lines[1].rfind("ＯＳ  ", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find(" ( Build "), std::string::npos) << lines[1];
  EXPECT_EQ(lines[1].back(), ')') << lines[1];
  // The rest is the processor's part.
  for (size_t i = 2; i < lines.size(); ++i) {
    EXPECT_TRUE(lines[i].rfind("ＣＰＵ", 0) == 0 || lines[i].rfind("ＭＭＸ", 0) == 0) << lines[i];
  }
}

TEST_F(HeadlessRuntime, TheMemoryTotalsLeaveTheirLineOpen) {
  ASSERT_EQ(InitRuntime(), 0);
  std::string log = Log();
  size_t at = log.find("メモリ総量:");
  ASSERT_NE(at, std::string::npos) << log;
  std::string line = log.substr(at, log.find("\r\n", at) - at);
  size_t free = line.find("MB  空きメモリ領域:");
  ASSERT_NE(free, std::string::npos) << line;
  // The next text (the timer test, or the double-start check) follows on the same line.
  size_t next = line.find("MB ", free + 3);
  ASSERT_NE(next, std::string::npos) << line;
  std::string rest = line.substr(next + 3);
  EXPECT_TRUE(rest.rfind("タイマーの精度を検査します", 0) == 0 || rest.rfind("ソフトの二重起動検査", 0) == 0) << line;
}

TEST_F(HeadlessRuntime, WithoutACaptionTheDefaultsApply) {
  SetWindowCaption("");
  ASSERT_EQ(InitRuntime(), 0);
  EXPECT_STREQ(qx::HeadlessGetWindowInfo().caption, "GameRuntime");
  EXPECT_STREQ(qx::GetWindowState().className, "QRT00001X");
}

TEST_F(HeadlessRuntime, ADisabledLogLeavesNoFile) {
  SetLogFileEnabled(0);
  ASSERT_EQ(InitRuntime(), 0);
  EndRuntime();
  EXPECT_FALSE(fs::exists(dir_ + "/Log.txt"));
}

TEST_F(HeadlessRuntime, ABurstOfMessagesIsHandledInOneCall) {
  ASSERT_EQ(InitRuntime(), 0);
  int before = qx::GetWindowState().wheelCount;
  for (int i = 0; i < 12; ++i) Post(qx::kMsgMouseWheel, i < 9 ? 120 : -120);
  EXPECT_EQ(ProcessMessage(), 0);
  EXPECT_EQ(qx::GetWindowState().wheelCount - before, 9 - 3);
  EXPECT_EQ(qx::HeadlessGetWindowInfo().queued, 0);
}

TEST_F(HeadlessRuntime, ClosingTheWindowEndsTheProgram) {
  ASSERT_EQ(InitRuntime(), 0);
  Post(qx::kMsgClose);
  EXPECT_EQ(ProcessMessage(), -1);
  size_t closing = Find("ウインドウを閉じようとしています\r\n");
  size_t destroying = Find("ウインドウが破棄されようとしています\r\n");
  size_t ready = Find("ソフトを終了する準備が整いました\r\n");
  ASSERT_NE(closing, std::string::npos) << Log();
  ASSERT_NE(destroying, std::string::npos);
  ASSERT_NE(ready, std::string::npos);
  EXPECT_LT(closing, destroying);
  EXPECT_LT(destroying, ready);
  EXPECT_EQ(qx::HeadlessGetWindowInfo().exists, 0);
  EXPECT_EQ(ProcessMessage(), -1);
  // A second close (a quit signal after the close box) changes nothing.
  Post(qx::kMsgClose);
  EXPECT_EQ(ProcessMessage(), -1);
  EXPECT_EQ(EndRuntime(), 0);
  EXPECT_EQ(Log().find("ウインドウを閉じようとしています", closing + 1), std::string::npos);
}

TEST_F(HeadlessRuntime, TheMessageThreadServesTheQueueWhileTheGameIsBusy) {
  ASSERT_EQ(InitRuntime(), 0);
  int before = qx::GetWindowState().wheelCount;
  for (int i = 0; i < 3; ++i) Post(qx::kMsgMouseWheel, 120);
  // The game's thread makes no call; only the message thread can take them.
  int served = 0;
  for (int i = 0; i < 1000 && served != 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    qx::ApiLockScope lock;  // the message thread writes the count under this lock
    served = qx::GetWindowState().wheelCount - before;
  }
  EXPECT_EQ(served, 3);
}

TEST_F(HeadlessRuntime, ShutdownEndsEvenWhenItsCloseFindsTheQueueFull) {
  ASSERT_EQ(InitRuntime(), 0);
  // Held throughout, so the message thread cannot drain the queue in between.
  qx::ApiLockEnter();
  while (qx::HeadlessGetWindowInfo().queued < 1024) Post(qx::kMsgMouseWheel, 120);
  EXPECT_EQ(qx::EndRuntime(), 0);
  qx::ApiLockLeave();
  qx::ApiLockTeardown();
  EXPECT_EQ(qx::HeadlessGetWindowInfo().exists, 0);
  EXPECT_NE(Find("ウインドウを閉じようとしています\r\n"), std::string::npos);
}

struct WaitCase {
  int runWhileInactive;
  bool returnsWhileInactive;
};

class WaitingState : public HeadlessRuntime, public ::testing::WithParamInterface<WaitCase> {};

// Waits until the game's thread has taken every queued message (the
// deactivation), so what is posted next reaches it while it is inactive.
void WaitUntilTheQueueIsTaken() {
  for (int i = 0; i < 20000 && qx::HeadlessGetWindowInfo().queued != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST_P(WaitingState, AnInactiveWindowHoldsTheCallerUnlessRunningInBackground) {
  SetRunWhileInactive(GetParam().runWhileInactive);
  ASSERT_EQ(InitRuntime(), 0);
  Post(qx::kMsgActivateApp, 0);
  if (GetParam().returnsWhileInactive) {
    // Nothing will activate the window: the call must come back by itself.
    EXPECT_EQ(ProcessMessage(), 0);
    qx::ApiLockEnter();  // the message thread writes it under the lock
    EXPECT_EQ(qx::GetWindowState().windowActive, 0);
    qx::ApiLockLeave();
    Post(qx::kMsgActivateApp, 1);
    Post(qx::kMsgActivate, 1);
  } else {
    std::atomic<bool> reactivated{false};
    std::thread rescuer([&] {
      WaitUntilTheQueueIsTaken();
      reactivated = true;
      Post(qx::kMsgActivateApp, 1);
      Post(qx::kMsgActivate, 1);
    });
    EXPECT_EQ(ProcessMessage(), 0);
    EXPECT_TRUE(reactivated) << "returned while the window was inactive";
    rescuer.join();
  }
  EXPECT_EQ(ProcessMessage(), 0);
  EXPECT_EQ(qx::GetWindowState().windowActive, 1);
}

INSTANTIATE_TEST_SUITE_P(Messages, WaitingState, ::testing::Values(WaitCase{0, false}, WaitCase{1, true}));

TEST_F(HeadlessRuntime, ACloseEndsTheWaitingState) {
  SetRunWhileInactive(0);
  ASSERT_EQ(InitRuntime(), 0);
  Post(qx::kMsgActivateApp, 0);
  std::thread closer([&] {
    WaitUntilTheQueueIsTaken();
    Post(qx::kMsgClose);
  });
  EXPECT_EQ(ProcessMessage(), -1);
  closer.join();
}

struct DepthCase {
  int desktopBits;
  int windowed;
  int result;
};

class DepthRefusal : public HeadlessRuntime, public ::testing::WithParamInterface<DepthCase> {};

TEST_P(DepthRefusal, A24BitDesktopIsRefusedInAWindow) {
  qx::HeadlessSetDesktopMode(1920, 1080, GetParam().desktopBits, 60);
  ChangeWindowMode(GetParam().windowed);
  EXPECT_EQ(InitRuntime(), GetParam().result);
  bool refused = Find("ランタイムは２４ビットカラーモードに対応していません\r\n") != std::string::npos;
  EXPECT_EQ(refused, GetParam().result == -1);
  // The refusal comes before any window.
  EXPECT_EQ(qx::HeadlessGetWindowInfo().exists, GetParam().result == 0 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(StartUp, DepthRefusal,
                         ::testing::Values(DepthCase{24, 1, -1}, DepthCase{32, 1, 0}, DepthCase{16, 1, 0},
                                           DepthCase{24, 0, 0}));

TEST_F(HeadlessRuntime, ADoubleStartIsRefusedAndTheFirstKeepsItsLock) {
  char path[4096];
  ASSERT_EQ(qx::InstanceLockPath("QxTest", 1, path, sizeof(path)), 0);
  int first = open(path, O_RDWR | O_CREAT, 0600);
  ASSERT_GE(first, 0);
  ASSERT_EQ(flock(first, LOCK_EX | LOCK_NB), 0);

  EXPECT_EQ(InitRuntime(), -1);
  EXPECT_NE(Find("ソフトの二重起動検査... 二重起動されています、ソフトを終了します\r\n"), std::string::npos) << Log();
  EXPECT_EQ(qx::HeadlessGetWindowInfo().exists, 0);
  EXPECT_EQ(ProcessMessage(), -1);

  int other = open(path, O_RDWR);
  ASSERT_GE(other, 0);
  EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
  close(other);
  close(first);
}

TEST_F(HeadlessRuntime, ASecondInitRuntimeFailsAndTakesTheRuntimeDown) {
  ASSERT_EQ(InitRuntime(), 0);
  EXPECT_EQ(InitRuntime(), -1);
  const qx::WindowState& ws = qx::GetWindowState();
  EXPECT_EQ(ws.initialised, 0);
  EXPECT_EQ(ws.hasMainWindow, 0);
  EXPECT_EQ(ws.messageThreadStarted, 0);
  EXPECT_EQ(qx::HeadlessGetWindowInfo().exists, 0);
  // And it can be started again afterwards.
  EXPECT_EQ(InitRuntime(), 0);
}

TEST_F(HeadlessRuntime, ChangingTheWindowModeSwitchesTheWindow) {
  ASSERT_EQ(InitRuntime(), 0);
  size_t before = Log().size();
  EXPECT_EQ(ChangeWindowMode(1), 0);
  EXPECT_EQ(Log().substr(before).find("ChangeWindowMode実行 \r\n") != std::string::npos, true);
  EXPECT_EQ(Log().find("ウインドウモードフラグ", before), std::string::npos);

  EXPECT_EQ(ChangeWindowMode(0), 0);
  EXPECT_NE(Find("ウインドウモードフラグが倒されました\r\n", before), std::string::npos);
  EXPECT_EQ(qx::HeadlessGetWindowInfo().fullscreen, 1);
  EXPECT_EQ(ChangeWindowMode(1), 0);
  EXPECT_NE(Find("ウインドウモードフラグが立てられました\r\n", before), std::string::npos);
  EXPECT_EQ(qx::HeadlessGetWindowInfo().fullscreen, 0);
}

TEST_F(HeadlessRuntime, SettingsGivenLaterReachTheWindow) {
  ASSERT_EQ(InitRuntime(), 0);
  SetWindowCaption("Renamed");
  SetWindowIconResource(103);
  EXPECT_STREQ(qx::HeadlessGetWindowInfo().caption, "Renamed");
  EXPECT_EQ(qx::HeadlessGetWindowInfo().iconId, 103);
}

TEST_F(HeadlessRuntime, TheVirtualClockPacesWithoutRealWaiting) {
  // A busy wait of 5 seconds ends after a bounded number of clock reads, each
  // of which moves the clock on by 0.1 ms, however slowly the machine runs.
  const int t0 = GetTickMilliseconds(0);
  bool waited = false;
  for (int reads = 0; reads < 50000 && !waited; ++reads) waited = GetTickMilliseconds(0) - t0 >= 5000;
  EXPECT_TRUE(waited);
  DateTime d;
  EXPECT_EQ(GetLocalDateTime(&d), 0);
  EXPECT_GE(d.Year, 2026);
}

}  // namespace
