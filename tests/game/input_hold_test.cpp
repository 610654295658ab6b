#include <string.h>

#include "game/input_hold.h"
#include "game/settings.h"
#include "tests/input/input_fixture.h"

namespace {

using qx::Headless;

class HoldCounters : public HeadlessInput {
 protected:
  void SetUp() override {
    HeadlessInput::SetUp();
    Start("frame 0 pads 1\n");
    ConfirmPadBit = 4;
    SetDefaultKeyMap();
    Frame();  // everything released: every counter back to 0
  }

  // One game frame: the updates in the order the scene loop runs them.
  static void Frame() {
    NextTick();
    UpdateKeyHold();
    UpdatePadHold();
    UpdateMouseHold();
  }
};

TEST_F(HoldCounters, CountWhileDownAndResetOnRelease) {
  struct Step {
    bool down;
    int expected;
  };
  const Step steps[] = {{true, 1}, {true, 2}, {true, 3}, {false, 0}, {true, 1}};
  for (const Step& s : steps) {
    Headless().keys[57] = s.down ? 0x80 : 0;             // Space
    Headless().pads[0].buttons[1] = s.down ? 0x80 : 0;   // pad bit 5
    Headless().mouseButtons[1] = s.down ? 0x80 : 0;      // right button
    Frame();
    EXPECT_EQ(GetKeyHold(57), s.expected);
    EXPECT_EQ(CheckStatePad(5), s.expected);
    EXPECT_EQ(GetMouseHold(2), s.expected);
    EXPECT_EQ(GetMouseHold(1), 0);
    EXPECT_EQ(GetMouseHold(0), 0);
    EXPECT_EQ(GetMouseHold(3), 0);
    EXPECT_EQ(GetMouseHold(-1), 0);
  }
}

TEST_F(HoldCounters, KeyMapRaisesPadCounters) {
  Headless().keys[203] = 0x80;  // keyboard Left, no pad direction
  Frame();
  EXPECT_EQ(CheckStatePad(1), 1);
  Headless().keys[203] = 0;
  Frame();
  EXPECT_EQ(CheckStatePad(1), 0);

  Headless().pads[0].axes[0] = -1000;  // pad left held for 10 frames
  for (int i = 0; i < 10; ++i) Frame();
  EXPECT_EQ(CheckStatePad(1), 10);
  Headless().keys[203] = 0x80;
  Frame();
  EXPECT_EQ(CheckStatePad(1), 11);  // no fresh 1 from the key
  Headless().pads[0].axes[0] = 0;
  Frame();
  EXPECT_EQ(CheckStatePad(1), 2);  // the key's own hold remains
}

TEST_F(HoldCounters, ConfirmKeyFollowsTheSetting) {
  ConfirmPadBit = 9;
  SetDefaultKeyMap();
  Headless().keys[57] = 0x80;
  Frame();
  EXPECT_EQ(CheckStatePad(9), 1);
  EXPECT_EQ(CheckStatePad(4), 0);
}

TEST_F(HoldCounters, KeyCodesWrapAndPadIndexIsChecked) {
  Headless().keys[1] = 0x80;
  Frame();
  Frame();
  EXPECT_EQ(GetKeyHold(1), 2);
  EXPECT_EQ(GetKeyHold(257), 2);
  EXPECT_EQ(GetKeyHold(-255), 2);
  for (int index : {16, -1, 1000}) EXPECT_EQ(CheckStatePad(index), -1) << index;
  EXPECT_EQ(CheckStatePad(15), 0);
}

// Leaves the stack below the caller full of 1 bytes, which an unfilled key
// buffer further down would read as keys held.
__attribute__((noinline)) void FillStackWithOnes() {
  volatile unsigned char scratch[16384];
  for (size_t i = 0; i < sizeof(scratch); ++i) scratch[i] = 1;
}

TEST_F(HoldCounters, KeysReadBeforeInputIsSetUpCountAsReleased) {
  qx::EndInput();
  for (int round = 0; round < 3; ++round) {
    FillStackWithOnes();
    UpdateKeyHold();  // the read sets input up and fills nothing this time
    for (int code = 0; code < 256; ++code) ASSERT_EQ(GetKeyHold(code), 0) << code;
    qx::EndInput();
  }
}

}  // namespace
