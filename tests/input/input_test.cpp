#include <string.h>

#include "tests/input/input_fixture.h"

namespace {

struct AxisCase {
  uint32_t raw;
  int expected;
};

TEST(FallbackAxis, ConvertsRawPositions) {
  const AxisCase cases[] = {
      {0x0000, -1000}, {0x3000, -500}, {0x5FFF, 0}, {0x6000, 0},   {0x7FFF, 0},
      {0x8000, 0},     {0xA000, 0},    {0xA001, 0}, {0xD000, 500}, {0xFFFF, 1000},
  };
  for (const AxisCase& c : cases) EXPECT_EQ(qx::FallbackAxisValue(c.raw), c.expected) << std::hex << c.raw;
}

struct KeyBitCase {
  int code;
  int bits;
};

// The keyboard column of the pad bits, in both back ends.
const KeyBitCase kKeyBits[] = {
    {208, 0x1},   {80, 0x1},    {203, 0x2},   {75, 0x2},   {205, 0x4},    {77, 0x4},    {200, 0x8},
    {72, 0x8},    {44, 0x10},   {45, 0x20},   {46, 0x40},  {30, 0x80},    {31, 0x100},  {32, 0x200},
    {16, 0x400},  {17, 0x800},  {1, 0x1000},  {57, 0x2000}, {28, 0},      {59, 0},
};

class KeyboardPadBits : public HeadlessInput, public ::testing::WithParamInterface<bool> {};

TEST_P(KeyboardPadBits, EachKeySetsItsBitOnly) {
  Start("", GetParam());
  for (const KeyBitCase& c : kKeyBits) {
    memset(qx::Headless().keys, 0, 256);
    qx::Headless().keys[c.code] = 0x80;
    NextTick();
    EXPECT_EQ(qx::GetPadInputBits(0x1000), c.bits) << "key " << c.code;
  }
  qx::Headless().keys[208] = 0x80;
  qx::Headless().keys[80] = 0x80;
  qx::Headless().keys[57] = 0x80;
  NextTick();
  EXPECT_EQ(qx::GetPadInputBits(0x1000), 0x2001);
}

INSTANTIATE_TEST_SUITE_P(Backends, KeyboardPadBits, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Fallback" : "Preferred"; });

TEST_F(HeadlessInput, PadBitsFromScriptedAxesAndButtons) {
  Start(
      "frame 0 pads 1\n"
      "frame 0 pad 0 axis x -1000\n"
      "frame 0 pad 0 axis y 1000\n"
      "frame 0 pad 0 button 0 down\n"
      "frame 0 pad 0 button 23 down\n"
      "frame 0 pad 0 button 24 down   # beyond the 24 buttons that have bits\n"
      "frame 1 pad 0 axis x 1000\n"
      "frame 1 pad 0 axis y -1000\n"
      "frame 1 pad 0 button 0 up\n"
      "frame 1 pad 0 button 9 down\n"
      "frame 2 pad 0 axis x 250   # inside the dead zone\n"
      "frame 2 pad 0 axis y 0\n"
      "frame 2 pad 0 button 23 up\n"
      "frame 2 pad 0 button 9 up\n"
      "frame 3 pad 0 axis x -251  # just outside it\n");
  ASSERT_EQ(qx::GetInputState().padCount, 1);
  NextTick();
  EXPECT_EQ(qx::GetPadInputBits(1), 0x1 | 0x2 | 0x10 | (1 << 27));
  NextFrame();
  EXPECT_EQ(qx::GetPadInputBits(1), 0x4 | 0x8 | 0x2000 | (1 << 27));
  NextFrame();
  EXPECT_EQ(qx::GetPadInputBits(1), 0);
  NextFrame();
  EXPECT_EQ(qx::GetPadInputBits(1), 0x2);
}

TEST_F(HeadlessInput, PadNumbersOutsideThePadCount) {
  Start("frame 0 pads 1\nframe 0 pad 0 button 1 down\nframe 0 key Space down\n");
  NextTick();
  EXPECT_EQ(qx::GetPadInputBits(1), 0x20);
  EXPECT_EQ(qx::GetPadInputBits(0x1001), 0x20 | 0x2000);
  EXPECT_EQ(qx::GetPadInputBits(2), 0);  // no second pad
  EXPECT_EQ(qx::GetPadInputBits(0x1002), 0x2000);
  EXPECT_EQ(qx::PollPad(8), -1);
  EXPECT_EQ(qx::PollPad(-1), -1);
}

TEST_F(HeadlessInput, NoPadAttached) {
  Start("frame 0 key Z down\n");
  ASSERT_EQ(qx::GetInputState().padCount, 0);
  NextTick();
  EXPECT_EQ(qx::GetPadInputBits(1), 0);
  EXPECT_EQ(qx::GetPadInputBits(0x1001), 0x10);
}

TEST_F(HeadlessInput, FallbackPollsEveryPadAndConvertsRawAxes) {
  Start(
      "frame 0 pads 1\n"
      "frame 0 pad 0 axis x 1000\n"
      "frame 0 pad 0 axis y -1000\n"
      "frame 0 pad 0 axis z 1000\n"
      "frame 0 pad 0 button 2 down\n",
      true);
  EXPECT_EQ(qx::GetInputState().padCount, 8);
  NextTick();
  EXPECT_EQ(qx::GetPadInputBits(1), 0x4 | 0x8 | 0x40);
  const qx::JoyState& st = qx::GetInputState().pads[0].state;
  EXPECT_EQ(st.x, 1000);
  EXPECT_EQ(st.y, -1000);
  EXPECT_EQ(st.z, 1000);  // the scripted pad reports Z and R
  EXPECT_EQ(qx::GetPadInputBits(2), 0);  // missing controllers read as released
}

TEST_F(HeadlessInput, FallbackTakesOnlyTheListedKeys) {
  Start("", true);
  const int listed[] = {30, 11, 146, 125, 181, 42, 157, 197, 59, 88};
  const int unlisted[] = {0x0D, 0x29, 0x45, 0x94, 0xDB};
  for (int code : listed) qx::Headless().keys[code] = 0x80;
  for (int code : unlisted) qx::Headless().keys[code] = 0x80;
  qx::Headless().keys[156] = 0x80;  // numeric-pad Enter
  NextTick();
  unsigned char states[256];
  ASSERT_EQ(qx::GetAllKeyStates(states), 0);
  for (int code : listed) EXPECT_EQ(states[code], 1) << code;
  for (int code : unlisted) EXPECT_EQ(states[code], 0) << code;
  // One system key stands for both Enter keys.
  EXPECT_EQ(states[28], 1);
  EXPECT_EQ(states[156], 1);
}

TEST_F(HeadlessInput, PreferredReportsEveryKey) {
  Start("frame 0 key 148 down\nframe 0 key Escape down\n");
  NextTick();
  unsigned char states[256];
  memset(states, 7, sizeof states);
  ASSERT_EQ(qx::GetAllKeyStates(states), 0);
  for (int code = 0; code < 256; ++code) EXPECT_EQ(states[code], code == 148 || code == 1 ? 1 : 0) << code;
}

TEST_F(HeadlessInput, FirstReadSetsUpWithoutTouchingTheArray) {
  ASSERT_EQ(qx::GetInputState().object, qx::kInputObjectNone);
  unsigned char states[256];
  memset(states, 0xAA, sizeof states);
  EXPECT_EQ(qx::GetAllKeyStates(states), 0);
  EXPECT_NE(qx::GetInputState().object, qx::kInputObjectNone);
  for (unsigned char b : states) ASSERT_EQ(b, 0xAA);
}

TEST_F(HeadlessInput, NotAvailableSurvivesEndAndSetUpAgain) {
  Start("", true);
  qx::EndInput();
  EXPECT_EQ(qx::GetInputState().object, qx::kInputObjectNone);
  ASSERT_EQ(qx::SetUpInput(), 0);
  EXPECT_EQ(qx::GetInputState().object, qx::kInputObjectFallback);
  EXPECT_EQ(qx::SetUpInput(), 0);  // already set up
}

TEST_F(HeadlessInput, MouseButtons) {
  struct Case {
    bool fallback;
    int expected;
  };
  for (const Case& c : {Case{false, 0x1 | 0x4 | 0x20}, Case{true, 0x1 | 0x4}}) {
    qx::EndInput();
    qx::HeadlessReset();
    Start("frame 0 down left\nframe 0 down middle\nframe 0 down 5\n", c.fallback);
    EXPECT_EQ(qx::GetMouseButtons(), c.expected) << (c.fallback ? "fallback" : "preferred");
  }
}

TEST_F(HeadlessInput, CursorPositionIsUnclippedAndPointersOptional) {
  Start("frame 0 move -15 640\n");
  int x = 1, y = 2;
  EXPECT_EQ(qx::GetCursorPosition(&x, &y), 0);
  EXPECT_EQ(x, -15);
  EXPECT_EQ(y, 640);
  qx::Headless().cursorX = 900;
  qx::Headless().cursorY = 3;
  x = 77;
  EXPECT_EQ(qx::GetCursorPosition(nullptr, &y), 0);
  EXPECT_EQ(x, 77);
  EXPECT_EQ(y, 3);
  EXPECT_EQ(qx::GetCursorPosition(&x, nullptr), 0);
  EXPECT_EQ(x, 900);
  EXPECT_EQ(qx::GetCursorPosition(nullptr, nullptr), 0);
}

int CountQueued(int type) {
  int n = 0;
  qx::PlatformMessage m;
  while (qx::kHeadlessPlatform.window->PeekMessage(&m)) n += m.type == type;
  return n;
}

TEST_F(HeadlessInput, SecondIdenticalCursorRequestChangesNothing) {
  qx::WindowState& w = qx::GetWindowState();
  w.cursorVisibleInForce = 1;
  qx::Headless().cursorShown = 1;
  CountQueued(qx::kMsgSetCursor);

  EXPECT_EQ(qx::SetCursorVisible(0), 0);
  EXPECT_EQ(qx::Headless().cursorShown, 0);
  EXPECT_EQ(w.cursorVisibleInForce, 0);
  EXPECT_EQ(CountQueued(qx::kMsgSetCursor), 1);

  qx::Headless().cursorShown = 1;  // a change now would be visible
  EXPECT_EQ(qx::SetCursorVisible(0), 0);
  EXPECT_EQ(qx::Headless().cursorShown, 1);
  EXPECT_EQ(CountQueued(qx::kMsgSetCursor), 0);

  qx::Headless().cursorShown = 0;
  EXPECT_EQ(qx::SetCursorVisible(1), 0);
  EXPECT_EQ(qx::Headless().cursorShown, 1);
  EXPECT_EQ(w.cursorVisibleRequested, 1);
  EXPECT_EQ(CountQueued(qx::kMsgSetCursor), 1);
}

}  // namespace

namespace {

// A key, button or pad button that goes down and up between two reads counts
// as down in the next read (every read of that frame), and only there; held
// inputs read as before. "down" and "up" in one frame is what a short tap
// between two pumps looks like; "tap" says the same in one line.
TEST_F(HeadlessInput, PressesBetweenReadsCountOnce) {
  enum Source { kKey, kMouseRight, kPadButton };
  struct Case {
    const char* script;
    Source source;
  };
  const Case cases[] = {
      {"frame 2 key Z down\nframe 2 key Z up\n", kKey},
      {"frame 2 key Z tap\n", kKey},
      {"frame 2 down right\nframe 2 up right\n", kMouseRight},
      {"frame 2 tap right\n", kMouseRight},
      {"frame 2 pad 0 button 0 down\nframe 2 pad 0 button 0 up\n", kPadButton},
      {"frame 2 pad 0 button 0 tap\n", kPadButton},
  };
  for (const Case& c : cases) {
    qx::EndInput();
    qx::HeadlessReset();
    Start((std::string("frame 0 pads 1\n") + c.script).c_str());
    auto down = [&c] {
      switch (c.source) {
        case kKey: {
          unsigned char keys[256] = {};
          qx::GetAllKeyStates(keys);
          return keys[44] == 1;
        }
        case kMouseRight:
          return (qx::GetMouseButtons() & 2) != 0;
        case kPadButton:
          return (qx::GetPadInputBits(1) & 0x10) != 0;
      }
      return false;
    };
    NextFrame();
    EXPECT_FALSE(down()) << c.script << "before";
    NextFrame();
    EXPECT_TRUE(down()) << c.script << "frame 2";
    // The game reads the mouse once per button, and a scene's first frame
    // reads the keys twice with a pump between: every read of the frame agrees.
    EXPECT_TRUE(down()) << c.script << "frame 2, second read";
    qx::kHeadlessPlatform.window->PumpEvents();
    EXPECT_TRUE(down()) << c.script << "frame 2, after a pump";
    NextFrame();
    EXPECT_FALSE(down()) << c.script << "frame 3";
  }
}

TEST_F(HeadlessInput, HeldKeysReadDownUntilReleased) {
  Start("frame 1 key Z down\nframe 3 key Z up\nframe 3 key Z down\nframe 4 key Z up\n");
  const bool expected[] = {false, true, true, true, false, false};
  for (bool e : expected) {
    unsigned char keys[256] = {};
    qx::GetAllKeyStates(keys);
    EXPECT_EQ(keys[44] == 1, e) << "frame " << qx::Headless().presentedFrames;
    NextFrame();
  }
}

}  // namespace
