// Frame statistics (percentiles and the lines written) and the frame wait.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "game/frame.h"
#include "game/frame_stats.h"
#include "runtime/platform/headless/headless.h"
#include "support/headless_fixture.h"

namespace {

class FrameStats : public ::testing::Test {
 protected:
  void SetUp() override { FrameStatsReset(); }
  void TearDown() override { FrameStatsReset(); }
};

TEST_F(FrameStats, PercentilesAreNearestRankTo10Microseconds) {
  struct Case {
    const char* what;
    std::vector<int64_t> frames;  // microseconds
    FrameSummary expected;
  } cases[] = {
      {"no frames", {}, {0, 0, 0, 0, 0}},
      {"one frame", {1234}, {1, 1230, 1230, 1230, 1234}},
      {"0.01 to 1.00 ms", {}, {100, 500, 900, 990, 1000}},
      {"a frame past the histogram", {2000, 3000, 250000}, {3, 3000, 250000, 250000, 250000}},
  };
  for (int i = 1; i <= 100; ++i) cases[2].frames.push_back(i * 10);
  for (const Case& c : cases) {
    FrameStatsReset();
    for (int64_t f : c.frames) FrameStatsAddFrame(kStatPlay, f);
    const FrameSummary s = FrameStatsSummary(kStatPlay);
    EXPECT_EQ(s.frames, c.expected.frames) << c.what;
    EXPECT_EQ(s.p50, c.expected.p50) << c.what;
    EXPECT_EQ(s.p90, c.expected.p90) << c.what;
    EXPECT_EQ(s.p99, c.expected.p99) << c.what;
    EXPECT_EQ(s.max, c.expected.max) << c.what;
  }
}

TEST_F(FrameStats, WritesEveryScenesLineAndEachLoadInOrder) {
  FrameStatsAddFrame(kStatTitle, 800);
  FrameStatsAddFrame(kStatTitle, 1200);
  FrameStatsAddFrame(kStatPlay, 2500);
  FrameStatsAddLoad(kStatTitle, 71015);
  FrameStatsAddLoad(kStatPlay, 254321);
  FrameStatsAddLoad(kStatTitle, 70000);
  char text[1024] = {};
  FILE* out = fmemopen(text, sizeof(text) - 1, "w");
  ASSERT_NE(out, nullptr);
  FrameStatsWrite(out);
  fclose(out);
  EXPECT_STREQ(text,
               "logo frames 0 p50 0.00 p90 0.00 p99 0.00 max 0.00\n"
               "title frames 2 p50 0.80 p90 1.20 p99 1.20 max 1.20\n"
               "intro frames 0 p50 0.00 p90 0.00 p99 0.00 max 0.00\n"
               "play frames 1 p50 2.50 p90 2.50 p99 2.50 max 2.50\n"
               "load title 71.02\n"
               "load play 254.32\n"
               "load title 70.00\n");
}

class FrameWait : public HeadlessFixture {};

// Under the virtual clock every read of the tick moves it on 0.1 ms; the wait
// must end on the same read as a busy wait on the tick, or headless runs
// would change with it.
TEST_F(FrameWait, EndsWhereABusyWaitEnds) {
  constexpr uint64_t kReadMicros = 100;
  for (uint64_t work : {0ull, 3000ull, 15950ull, 16900ull, 40000ull}) {
    qx::Headless().clockMicros = 1000000;
    SceneFrameStart(false);
    const uint64_t start = qx::Headless().clockMicros;
    const uint64_t t0 = start / 1000;  // the frame start is the only read of the clock so far
    ASSERT_EQ(start, 1000000 + kReadMicros);
    qx::HeadlessAdvanceMicros(work);
    uint64_t expected = start + work;
    do {
      expected += kReadMicros;
    } while (expected / 1000 - t0 < 17);
    SceneFrameWait();
    EXPECT_EQ(qx::Headless().clockMicros, expected) << "frame work of " << work << " us";
  }
}

}  // namespace
