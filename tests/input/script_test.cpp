#include <stdio.h>
#include <unistd.h>

#include <string>

#include "tests/input/input_fixture.h"

namespace {

using qx::Headless;

TEST_F(HeadlessInput, ScriptRejectsMalformedLines) {
  const char* bad[] = {
      "move 1 2",                 // no trigger
      "frame x move 1 2",         // bad frame number
      "frame -1 move 1 2",        // negative frame
      "frame 1 move 1",           // missing coordinate
      "frame 1 move 1 2 3",       // extra argument
      "frame 1 down thumb",       // unknown button
      "frame 1 key NoSuchKey down",
      "frame 1 key 256 down",     // beyond the key codes
      "frame 1 key A pressed",
      "frame 1 pad 8 button 0 down",
      "frame 1 pad 0 button 32 down",
      "frame 1 pad 0 axis w 5",
      "frame 1 pad 0 axis x 1001",
      "frame 1 pad 0 pov 4 0",
      "frame 1 pads 9",
      "frame 1 activate 2",
      "frame 1 tap",
      "frame 1 key A tapped",
      "frame 1 pad 0 reading x 1001 0",
      "frame 1 pad 0 reading x 0 65536",
      "frame 1 date 2026-13-01 00:00:00",
      "frame 1 date 2026-01-01 24:00:00",
      "frame 1 date 2026-01-01",
      "frame 1 paint now",
      "time 5 jump",
  };
  for (const char* line : bad) {
    std::string text = std::string("frame 0 move 3 4\n") + line + "\n";
    EXPECT_EQ(qx::HeadlessLoadScriptText(text.c_str()), -1) << line;
  }
  EXPECT_EQ(qx::HeadlessLoadScriptText("# only a comment\n\n   \nframe 2 close # trailing\r\ntime 40 wheel -2"), 2);
}

TEST_F(HeadlessInput, EventsFireByFrameAndByVirtualTime) {
  ASSERT_EQ(qx::HeadlessLoadScriptText("frame 2 key Enter down\ntime 50 move 10 20\nframe 0 pad 1 pov 0 9000\n"), 3);
  qx::HeadlessApplyDueEvents();
  EXPECT_EQ(Headless().pads[1].pov[0], 9000);
  EXPECT_EQ(Headless().keys[28], 0);
  Headless().presentedFrames = 1;
  qx::HeadlessApplyDueEvents();
  EXPECT_EQ(Headless().keys[28], 0);
  Headless().presentedFrames = 2;
  qx::HeadlessApplyDueEvents();
  EXPECT_EQ(Headless().keys[28], 0x80);
  EXPECT_EQ(Headless().cursorX, 0);
  Headless().clockMicros = 49999;
  qx::HeadlessApplyDueEvents();
  EXPECT_EQ(Headless().cursorX, 0);
  Headless().clockMicros = 50000;
  qx::HeadlessApplyDueEvents();
  EXPECT_EQ(Headless().cursorX, 10);
  EXPECT_EQ(Headless().cursorY, 20);
}

TEST_F(HeadlessInput, ClickReleasesOnTheNextFrame) {
  ASSERT_EQ(qx::HeadlessLoadScriptText("frame 3 click right 100 200\n"), 1);
  Headless().presentedFrames = 3;
  qx::HeadlessApplyDueEvents();
  EXPECT_EQ(Headless().mouseButtons[1], 0x80);
  EXPECT_EQ(Headless().cursorX, 100);
  EXPECT_EQ(Headless().cursorY, 200);
  qx::HeadlessApplyDueEvents();
  EXPECT_EQ(Headless().mouseButtons[1], 0x80);  // still this frame
  Headless().presentedFrames = 4;
  qx::HeadlessApplyDueEvents();
  EXPECT_EQ(Headless().mouseButtons[1], 0);
}

TEST_F(HeadlessInput, WindowEventsArePostedAsMessages) {
  qx::PlatformMessage m;
  while (qx::kHeadlessPlatform.window->PeekMessage(&m)) {
  }
  ASSERT_EQ(qx::HeadlessLoadScriptText("frame 0 wheel -2\nframe 0 activate 0\nframe 0 close\nframe 0 paint\n"), 4);
  qx::HeadlessApplyDueEvents();
  struct Expected {
    int type, param1;
  };
  const Expected expected[] = {{qx::kMsgMouseWheel, -120},
                               {qx::kMsgMouseWheel, -120},
                               {qx::kMsgActivateApp, 0},
                               {qx::kMsgActivate, 0},
                               {qx::kMsgClose, 0},
                               {qx::kMsgPaint, 0}};
  for (const Expected& e : expected) {
    ASSERT_EQ(qx::kHeadlessPlatform.window->PeekMessage(&m), 1);
    EXPECT_EQ(m.type, e.type);
    EXPECT_EQ(m.param1, e.param1);
  }
  EXPECT_EQ(qx::kHeadlessPlatform.window->PeekMessage(&m), 0);
  qx::HeadlessApplyDueEvents();  // each event fires once
  EXPECT_EQ(qx::kHeadlessPlatform.window->PeekMessage(&m), 0);
}

// What a recorded game holds beyond input: exact pad readings, the date.
TEST_F(HeadlessInput, PadReadingsAndTheDateAreSetAsGiven) {
  ASSERT_EQ(qx::HeadlessLoadScriptText("frame 0 pad 2 reading ry -417 12345\n"
                                       "frame 1 date 2027-03-04 05:06:07\n"),
            2);
  qx::HeadlessApplyDueEvents();
  EXPECT_EQ(Headless().pads[2].axes[4], -417);
  EXPECT_EQ(Headless().pads[2].rawAxes[4], 12345);
  DateTime before{};
  qx::Os().GetLocalDateTime(&before);
  EXPECT_EQ(before.Year, 2026);  // QUARNEX_DATE's default until the event
  Headless().presentedFrames = 1;
  qx::HeadlessApplyDueEvents();
  DateTime d{};
  qx::Os().GetLocalDateTime(&d);
  EXPECT_EQ(d.Year, 2027);
  EXPECT_EQ(d.Month, 3);
  EXPECT_EQ(d.Day, 4);
  EXPECT_EQ(d.Hour, 5);
  EXPECT_EQ(d.Minute, 6);
  EXPECT_EQ(d.Second, 7);
  Headless().clockMicros += 2500000;  // and follows the clock from there
  qx::Os().GetLocalDateTime(&d);
  EXPECT_EQ(d.Second, 9);
}

TEST_F(HeadlessInput, ResetLoadsTheScriptFile) {
  char path[] = "/tmp/quarnex_script_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const char text[] = "frame 0 key W down\n";
  ASSERT_EQ(write(fd, text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
  close(fd);
  setenv("QUARNEX_SCRIPT", path, 1);
  qx::HeadlessReset();
  unsetenv("QUARNEX_SCRIPT");
  unlink(path);
  qx::HeadlessApplyDueEvents();
  EXPECT_EQ(Headless().keys[17], 0x80);
}

// A script that cannot be read ends the program at start, naming the line.
TEST(HeadlessScriptDeathTest, ABadScriptLineEndsTheProgramWithItsNumber) {
  char path[] = "/tmp/quarnex_script_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const char text[] = "frame 0 key W down\nframe 1 jump\n";
  ASSERT_EQ(write(fd, text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
  close(fd);
  EXPECT_EXIT(
      {
        setenv("QUARNEX_SCRIPT", path, 1);
        qx::HeadlessReset();
      },
      testing::ExitedWithCode(2), "line 2: not understood");
  EXPECT_EXIT(
      {
        setenv("QUARNEX_SCRIPT", "/nonexistent/quarnex_script", 1);
        qx::HeadlessReset();
      },
      testing::ExitedWithCode(2), "cannot open");
  unlink(path);
}

}  // namespace
