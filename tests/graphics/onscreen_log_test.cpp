#include "runtime/core/onscreen_log.h"

#include <string>

#include "headless_graphics.h"
#include "runtime/graphics/font.h"

namespace {

using qxtest::PixelAt;

class OnScreenLogTest : public qxtest::HeadlessGraphics {
 protected:
  void SetUp() override {
    HeadlessGraphics::SetUp();
    qx::InitOnScreenLog();
  }
  void TearDown() override { qx::EndOnScreenLog(); }
  static std::string Line(int i) { return qx::OnScreenLogLine(i); }
};

TEST_F(OnScreenLogTest, TabsBecomeSpacesAndControlCodesAndQuestionMarksVanish) {
  struct Case {
    const char* text;
    const char* shown;
  } cases[] = {
      {"x\ty", "x    y"},
      {"a?b", "ab"},
      {"a\a\b\v\f\rb", "ab"},
      {"\x82\xa0?\x82\xa2", "\x82\xa0\x82\xa2"},  // double-byte characters pass whole
  };
  for (const Case& c : cases) {
    qx::InitOnScreenLog();
    ASSERT_EQ(qx::ScreenPrintfText(c.text), 0);
    EXPECT_EQ(Line(0), c.shown) << c.text;
    EXPECT_EQ(qx::OnScreenLogCurrentLine(), 0);
  }
}

TEST_F(OnScreenLogTest, ThirtySevenLinesFitAn800x600ScreenAndTheNextScrolls) {
  EXPECT_EQ(qx::OnScreenLogVisibleLines(), 37);
  std::string text;
  for (int i = 0; i < 37; ++i) text += "L" + std::to_string(i) + (i < 36 ? "\n" : "");
  ASSERT_EQ(qx::ScreenPrintfText(text.c_str()), 0);
  EXPECT_EQ(Line(0), "L0");
  EXPECT_EQ(Line(36), "L36");
  EXPECT_EQ(qx::OnScreenLogCurrentLine(), 36);
  ASSERT_EQ(qx::ScreenPrintfText("\nL37"), 0);
  EXPECT_EQ(Line(0), "L1");
  EXPECT_EQ(Line(35), "L36");
  EXPECT_EQ(Line(36), "L37");
  EXPECT_EQ(Line(37), "");
  EXPECT_EQ(qx::OnScreenLogCurrentLine(), 36);
}

TEST_F(OnScreenLogTest, ALineFullToTheScreensRightEdgeContinuesBelow) {
  FontHandle probe = qx::CreateFontToHandle(nullptr, 16, 4, qx::kFontEdge, -1, -1, 0);
  ASSERT_NE(probe, -1);
  int w = qx::GetFontStringWidth("a", -1, probe);
  qx::DeleteFontHandle(probe);
  ASSERT_GT(w, 0);
  int fit = (800 - 1) / w;  // a character that would reach x = 800 starts a new line
  ASSERT_EQ(qx::ScreenPrintfText(std::string(fit + 1, 'a').c_str()), 0);
  EXPECT_EQ(Line(0), std::string(fit, 'a'));
  EXPECT_EQ(Line(1), "a");
}

TEST_F(OnScreenLogTest, TextIsDrawnOverEveryPresentedFrame) {
  qx::MEMIMG* back = qx::GetBackScreenImage();
  qxtest::FillWith(back, 0xFF000000);
  ASSERT_EQ(qx::FlipScreen(), 0);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 100; ++x) ASSERT_EQ(PixelAt(back, x, y), 0xFF000000u);

  ASSERT_EQ(qx::ScreenPrintfText("Hi"), 0);
  // The game's own settings are put back after the overlay.
  qx::GetDrawState().blendMode = 1;
  qx::GetDrawState().blendParam = 77;
  for (int frame = 0; frame < 2; ++frame) {
    qxtest::FillWith(back, 0xFF000000);
    ASSERT_EQ(qx::FlipScreen(), 0);
    int white = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 40; ++x) white += PixelAt(back, x, y) == 0xFFFFFFFFu;
    EXPECT_GT(white, 10) << frame;
    EXPECT_EQ(PixelAt(back, 400, 300), 0xFF000000u);
    EXPECT_EQ(qx::GetDrawState().blendMode, 1);
    EXPECT_EQ(qx::GetDrawState().blendParam, 77);
  }
}

TEST_F(OnScreenLogTest, TheLogMakesItsFontAgainWhenTheFontIsDeleted) {
  ASSERT_EQ(qx::ScreenPrintfText("a"), 0);
  qx::StopFontSystem();
  qx::StartFontSystem();
  ASSERT_EQ(qx::ScreenPrintfText("b"), 0);
  EXPECT_EQ(Line(0), "ab");
  qx::MEMIMG* back = qx::GetBackScreenImage();
  qxtest::FillWith(back, 0xFF000000);
  ASSERT_EQ(qx::FlipScreen(), 0);
  int white = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 20; ++x) white += PixelAt(back, x, y) == 0xFFFFFFFFu;
  EXPECT_GT(white, 4);
}

// A line holds at most 254 bytes; this needs a screen wide enough that the
// width rule does not break the line first.
TEST(OnScreenLogWide, ALineReaching255BytesContinuesBelow) {
  // Full screen: the headless desktop is narrower than this screen.
  qxtest::StartHeadlessGraphics(4000, 480, 32, 0);
  qx::InitOnScreenLog();
  ASSERT_EQ(qx::ScreenPrintfText(std::string(300, 'z').c_str()), 0);
  EXPECT_EQ(std::string(qx::OnScreenLogLine(0)), std::string(254, 'z'));
  EXPECT_EQ(std::string(qx::OnScreenLogLine(1)), std::string(46, 'z'));
  // A double-byte character that would pass the limit moves whole.
  qx::InitOnScreenLog();
  std::string text(253, 'z');
  text += "\x82\xa0";
  ASSERT_EQ(qx::ScreenPrintfText(text.c_str()), 0);
  EXPECT_EQ(std::string(qx::OnScreenLogLine(0)), std::string(253, 'z'));
  EXPECT_EQ(std::string(qx::OnScreenLogLine(1)), "\x82\xa0");
  EXPECT_EQ(qx::OnScreenLogVisibleLines(), 30);
  qx::EndOnScreenLog();
  qx::EndGraphics();
  qx::GetWindowState().windowed = 1;
  EXPECT_EQ(qx::SetScreenMode(800, 600, 32, 60), 0);
}

}  // namespace
