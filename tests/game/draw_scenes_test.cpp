#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "game/game_draw.h"
#include "game/scene_frames.h"
#include "game/settings.h"

namespace {

constexpr int kBlack = 0x000000;
constexpr int kWhite = 0xFFFFFF;

std::vector<DrawCommand> With(const DrawList& list, GraphHandle graph) {
  std::vector<DrawCommand> found;
  for (int i = 0; i < list.count; ++i)
    if (list.items[i].graph == graph) found.push_back(list.items[i]);
  return found;
}

int CountRects(const DrawList& list, int color) {
  int n = 0;
  for (int i = 0; i < list.count; ++i)
    if (list.items[i].op == kDrawScreenRect && list.items[i].color == color) ++n;
  return n;
}

TEST(LogoFrame, PiecesSlideTogetherAndFade) {
  const LogoResources logo{{11, 12, 13}, -1};
  struct Case {
    int counter;
    int aOp, ax, ay;
    int bOp, bx, by;
    int cAlpha;  // -1: piece C not drawn; 256: opaque
    int blackAlpha;  // -1: no fade rectangle
  };
  const Case cases[] = {
      {0, kDrawRotated, 240, 300, kDrawRotated, 1130, 1190, -1, -1},
      {29, kDrawRotated, 240, 300, kDrawRotated, 202, 262, -1, -1},
      {30, kDrawRotated, 240, 300, kDrawRotated, 170, 230, -1, -1},
      {45, kDrawRotated, 215, 275, kDrawRotated, 157, 217, -1, -1},
      {60, kDrawRotated, 260, 320, kDrawAt, 100, 160, -1, -1},
      {61, kDrawRotated, 258, 318, kDrawAt, 100, 160, 4, -1},
      {119, kDrawAt, 100, 160, kDrawAt, 100, 160, 250, -1},
      {120, kDrawAt, 100, 160, kDrawAt, 100, 160, 256, -1},
      {181, kDrawAt, 100, 160, kDrawAt, 100, 160, 256, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.counter);
    DrawList list;
    BuildLogoFrame(c.counter, logo, kWhite, kBlack, list);
    EXPECT_EQ(list.items[0].op, kDrawScreenRect);
    EXPECT_EQ(list.items[0].color, kWhite);
    const DrawCommand a = With(list, 11).at(0);
    const DrawCommand b = With(list, 12).at(0);
    EXPECT_EQ(a.op, c.aOp);
    EXPECT_EQ(a.x, c.ax);
    EXPECT_EQ(a.y, c.ay);
    EXPECT_EQ(b.op, c.bOp);
    EXPECT_EQ(b.x, c.bx);
    EXPECT_EQ(b.y, c.by);
    if (a.op == kDrawRotated) {
      EXPECT_DOUBLE_EQ(a.scale, 1.0);
      EXPECT_DOUBLE_EQ(a.angle, 0.0);
    }
    const std::vector<DrawCommand> pieceC = With(list, 13);
    if (c.cAlpha < 0) {
      EXPECT_TRUE(pieceC.empty());
    } else {
      ASSERT_EQ(pieceC.size(), 1u);
      EXPECT_EQ(pieceC[0].x, 390);
      EXPECT_EQ(pieceC[0].y, 160);
      EXPECT_EQ(pieceC[0].blended, c.cAlpha <= 255 ? 1 : 0);
      if (c.cAlpha <= 255) {
        EXPECT_EQ(pieceC[0].alpha, c.cAlpha);
      }
    }
    EXPECT_EQ(CountRects(list, kBlack), c.blackAlpha < 0 ? 0 : 1);
    if (c.blackAlpha >= 0) {
      EXPECT_EQ(list.items[list.count - 1].alpha, c.blackAlpha);
    }
  }
}

class Title : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLevel = VolumeLevel;
    for (int i = 0; i < 3; ++i) res.titles[i] = 20 + i;
    res.click = 30;
    res.pointer = 31;
    for (int i = 0; i < 10; ++i) res.smallDigits[i] = 40 + i;
    for (int i = 0; i < 10; ++i) res.largeDigits[i] = 60 + i;
    for (int i = 0; i < 6; ++i) res.volume[i] = 80 + i;
    res.start = -1;
  }
  void TearDown() override { VolumeLevel = savedLevel; }

  int Frame(const TitleInput& input, int highScore = 0) {
    list.count = 0;
    return TitleFrame(title, input, res, highScore, kWhite, kBlack, list);
  }

  int savedLevel = 0;
  TitleResources res{};
  TitleState title{0, 0};
  DrawList list;
};

constexpr TitleInput kNoInput{0, 0, 0, 100, 100};

TEST_F(Title, PictureAndVariantByHighScore) {
  struct Case {
    int highScore;
    int variant;
    GraphHandle picture;
  };
  const Case cases[] = {{0, 0, 20}, {1, 1, 20}, {100, 1, 20}, {127, 1, 20}, {128, 2, 21}, {255, 2, 21}, {256, 3, 22}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.highScore);
    Frame(kNoInput, c.highScore);
    EXPECT_EQ(TitleVariant, c.variant);
    EXPECT_EQ(list.items[1].graph, c.picture);
    EXPECT_EQ(list.items[1].x, 0);
  }
}

TEST_F(Title, VolumeChangesAreClampedAndShownNextFrame) {
  struct Case {
    int level;
    int left, right;
    int after;
  };
  const Case cases[] = {{0, 1, 0, 0}, {1, 1, 0, 0}, {5, 0, 1, 5}, {4, 0, 1, 5}, {3, 2, 0, 3}, {9, 0, 0, 5},
                      // From a damaged settings file: stepping past the int range must not overflow.
                      {std::numeric_limits<int>::max(), 0, 1, 5}, {std::numeric_limits<int>::min(), 1, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "level " << c.level << " left " << c.left << " right " << c.right);
    VolumeLevel = c.level;
    const int actions = Frame(TitleInput{0, c.left, c.right, 0, 0});
    EXPECT_EQ(VolumeLevel, c.after);
    EXPECT_EQ((actions & kTitleVolumeChanged) != 0, c.left == 1 || c.right == 1);
    // The mark of this frame was drawn before the change.
    const bool shown = c.level >= 0 && c.level <= 5;
    EXPECT_EQ(With(list, 80 + (shown ? c.level : 0)).size(), shown ? 1u : 0u);
  }
}

TEST_F(Title, ClickFadesSixtyFourFramesThenLeaves) {
  VolumeLevel = 3;
  EXPECT_EQ(Frame(TitleInput{2, 0, 0, 0, 0}), 0);  // a held button does not start
  int actions = Frame(TitleInput{1, 0, 0, 0, 0});
  EXPECT_EQ(actions, kTitleStartGame);
  int frames = 1;
  while (!(actions & kTitleLeave) && frames < 200) {
    // Inputs during the fade are ignored.
    actions = Frame(TitleInput{1, 1, 0, 0, 0});
    EXPECT_EQ(actions & (kTitleStartGame | kTitleVolumeChanged), 0);
    ++frames;
  }
  EXPECT_EQ(frames, 64);
  EXPECT_EQ(VolumeLevel, 3);
  EXPECT_EQ(title.fade, 65);
}

TEST_F(Title, PromptBlinksAndTitleFadesInFromWhite) {
  struct Case {
    int counter;
    int promptAlpha;  // -1: drawn opaque
    int whiteFadeAlpha;  // -1: no fade-in rectangle
  };
  const Case cases[] = {{0, 0, 255}, {59, 250, 4}, {60, -1, -1}, {120, -1, -1}, {121, 250, -1}, {179, 4, -1}, {180, 0, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.counter);
    title.counter = c.counter;
    Frame(TitleInput{0, 0, 0, 300, 200});
    const DrawCommand prompt = With(list, 30).at(0);
    EXPECT_EQ(prompt.blended, c.promptAlpha >= 0 ? 1 : 0);
    if (c.promptAlpha >= 0) {
      EXPECT_EQ(prompt.alpha, c.promptAlpha);
    }
    const DrawCommand pointer = With(list, 31).at(0);
    EXPECT_EQ(pointer.x, 236);
    EXPECT_EQ(pointer.y, 136);
    EXPECT_EQ(CountRects(list, kWhite), c.whiteFadeAlpha >= 0 ? 2 : 1);
    if (c.whiteFadeAlpha >= 0) {
      EXPECT_EQ(list.items[list.count - 1].alpha, c.whiteFadeAlpha);
    }
  }
}

TEST_F(Title, HighScoreDigitsAtTheTopRight) {
  Frame(kNoInput, 1234);
  EXPECT_EQ(With(list, 44).at(0).x, 760);
  EXPECT_EQ(With(list, 43).at(0).x, 737);
  EXPECT_EQ(With(list, 42).at(0).x, 714);
  EXPECT_EQ(With(list, 41).at(0).x, 691);
  EXPECT_EQ(With(list, 41).at(0).y, 7);
}

TEST(Intro, FadesInThenWaitsForAClickOrTheTimeout) {
  struct Case {
    const char* name;
    int clickAt;       // intro counter of the one click; -1 for none
    int endsAtCounter; // counter of the frame that ends the intro
  };
  // After a click the fade counter grows by 1 in the click frame and 1 more in each frame;
  // past 3600 it grows by 2 per frame.
  const Case cases[] = {
      {"click while fading in is ignored", 50, 3600 + 61},
      {"click at 120", 120, 120 + 119},
      {"click at 500", 500, 500 + 119},
      {"timeout", -1, 3600 + 61},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IntroState intro{0, 0};
    int ended = 0;
    while (!ended && intro.counter < 5000) {
      DrawList list;
      ended = BuildIntroFrame(intro, 7, intro.counter == c.clickAt ? 1 : 0, kBlack, list);
      if (intro.counter < 120) {
        EXPECT_EQ(list.items[1].alpha, static_cast<int>(intro.counter * 2.125));
      }
      if (!ended) ++intro.counter;
    }
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(intro.counter, c.endsAtCounter);
  }
}

}  // namespace
