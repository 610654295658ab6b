#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/core/log.h"
#include "runtime/core/timing.h"
#include "runtime/core/window_state.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/platform.h"
#include "runtime/runtime.h"
#include "support/read_file.h"

namespace {

namespace fs = std::filesystem;

uint64_t NoFrequency() { return 0; }
uint64_t Micro() { return 1000000; }
// Advances every 50 ms of virtual time: far coarser than the millisecond tick.
uint64_t CoarseCounter() { return __atomic_load_n(&qx::Headless().clockMicros, __ATOMIC_ACQUIRE) / 50000 * 50000; }
uint64_t FineCounter() { return __atomic_load_n(&qx::Headless().clockMicros, __ATOMIC_ACQUIRE); }

struct TimerCase {
  const char* name;
  uint64_t (*frequency)();
  uint64_t (*counter)();
  int usesCounter;
  const char* logged;  // null: no timer test at all
};

class TimerChoice : public ::testing::TestWithParam<TimerCase> {
 protected:
  void SetUp() override {
    os_ = *qx::kHeadlessPlatform.os;
    os_.CounterFrequency = GetParam().frequency;
    os_.QueryCounter = GetParam().counter;
    platform_ = qx::kHeadlessPlatform;
    platform_.os = &os_;
    previous_ = qx::SelectPlatform(&platform_);
    qx::HeadlessReset();
    char pattern[] = "/tmp/quarnex-timer-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    qx::WindowState& ws = qx::GetWindowState();
    saved_ = ws;
    memset(&ws, 0, sizeof(ws));
    snprintf(ws.StartDirectory, sizeof(ws.StartDirectory), "%s", dir_.c_str());
    qx::StartLog();
  }
  void TearDown() override {
    qx::GetWindowState() = saved_;
    qx::SelectPlatform(previous_);
    fs::remove_all(dir_);
  }
  std::string Log() { return qxtest::ReadWholeText(dir_ + "/Log.txt"); }
  qx::PlatformOsOps os_;
  qx::Platform platform_;
  const qx::Platform* previous_ = nullptr;
  std::string dir_;
  qx::WindowState saved_;
};

TEST_P(TimerChoice, TheSourceThatAdvancesMoreOftenWins) {
  qx::TimerCheck();
  const qx::WindowState& ws = qx::GetWindowState();
  EXPECT_EQ(ws.UsePerformanceCounter, GetParam().usesCounter);
  std::string log = Log();
  bool tested = log.find("タイマーの精度を検査します") != std::string::npos;
  EXPECT_EQ(tested, GetParam().logged != nullptr) << log;
  if (GetParam().logged) {
    // The choice stays open for the next text: two spaces and no line end.
    const std::string tail = std::string(GetParam().logged) + "  ";
    ASSERT_GE(log.size(), tail.size()) << log;
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail) << log;
    // The counts before it end their line; the space after them starts the next one.
    EXPECT_NE(log.find("\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(": " + std::string(GetParam().logged)), std::string::npos) << log;
  }
  // Microseconds come from the chosen source.
  uint64_t micros = qx::GetMicrosecondCount();
  uint64_t expected = ws.UsePerformanceCounter ? GetParam().counter() : static_cast<uint64_t>(qx::TickNow()) * 1000;
  EXPECT_LE(micros > expected ? micros - expected : expected - micros, 1000u);
  if (!ws.UsePerformanceCounter) {
    EXPECT_EQ(micros % 1000, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Timing, TimerChoice,
    ::testing::Values(TimerCase{"none", NoFrequency, FineCounter, 0, nullptr},
                      TimerCase{"coarse", Micro, CoarseCounter, 0, "マルチメディアタイマーを使用します タイマー分解能 : 1.00 ms"},
                      TimerCase{"fine", Micro, FineCounter, 1, "パフォーマンスカウンターを使用します タイマー分解能 : 1000.000000 KHz"}),
    [](const ::testing::TestParamInfo<TimerCase>& info) { return std::string(info.param.name); });

TEST(HeadlessDate, StartsAtTheGivenDateAndFollowsTheVirtualClock) {
  // The date origin is read once per process.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("QUARNEX_DATE", "2030-02-28 23:59:58", 1);
        qx::SelectPlatform(&qx::kHeadlessPlatform);
        qx::HeadlessReset();
        DateTime d;
        GetLocalDateTime(&d);
        if (d.Year != 2030 || d.Month != 2 || d.Day != 28 || d.Hour != 23 || d.Minute != 59 || d.Second != 58) exit(1);
        qx::HeadlessAdvanceMicros(3000000);
        GetLocalDateTime(&d);
        if (d.Year != 2030 || d.Month != 3 || d.Day != 1 || d.Hour != 0 || d.Minute != 0 || d.Second != 1) exit(2);
        exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

struct DateCase {
  const char* text;
  int year, month, day, hour, minute, second;
};

// 0 when the headless date starts as the case says, else 10 + the first field that differs.
int CheckStartDate(const DateCase& c) {
  setenv("QUARNEX_DATE", c.text, 1);
  qx::SelectPlatform(&qx::kHeadlessPlatform);
  qx::HeadlessReset();
  DateTime d;
  GetLocalDateTime(&d);
  const int got[6] = {d.Year, d.Month, d.Day, d.Hour, d.Minute, d.Second};
  const int want[6] = {c.year, c.month, c.day, c.hour, c.minute, c.second};
  for (int i = 0; i < 6; ++i) {
    if (got[i] != want[i]) return 10 + i;
  }
  return 0;
}

TEST(HeadlessDate, TextThatIsNotADateGivesTheDefault) {
  const DateCase cases[] = {
      {"9999-12-31 23:59:59", 9999, 12, 31, 23, 59, 59},
      {"2030-1-2 3:4:5", 2030, 1, 2, 3, 4, 5},
      {"2030-13-01 00:00:00", 2031, 1, 1, 0, 0, 0},  // fields that fit their width carry over
      {"not a date", 2026, 1, 1, 0, 0, 0},
      {"99999999999-01-01 00:00:00", 2026, 1, 1, 0, 0, 0},
      {"-2147483648-01-01 00:00:00", 2026, 1, 1, 0, 0, 0},
      {"2030-01-01 00:00:99999999999", 2026, 1, 1, 0, 0, 0},
      {"2030-4294967296-01 00:00:00", 2026, 1, 1, 0, 0, 0},
  };
  // The date origin is read once per process.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const DateCase& c : cases) {
    EXPECT_EXIT(exit(CheckStartDate(c)), ::testing::ExitedWithCode(0), "") << c.text;
  }
}

}  // namespace
