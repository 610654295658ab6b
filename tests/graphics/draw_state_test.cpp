// Draw state setters, the blend-mask table, the draw area and colour packing.
#include <gtest/gtest.h>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/window_state.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/screen.h"

namespace {

class DrawStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qx::GetWindowState().windowActive = 1;
    qx::ResetDrawState();
  }
};

TEST_F(DrawStateTest, BlendModeClampsTheParameter) {
  qx::DrawState& st = qx::GetDrawState();
  EXPECT_EQ(qx::SetBlendMode(1, 300), 0);
  EXPECT_EQ(st.blendMode, 1);
  EXPECT_EQ(st.blendParam, 255);
  EXPECT_EQ(qx::SetBlendMode(1, 300), 0);
  EXPECT_EQ(st.blendParam, 255);
  qx::SetBlendMode(7, -4);
  EXPECT_EQ(st.blendMode, 7) << "modes are stored unchecked";
  EXPECT_EQ(st.blendParam, 0);
  qx::SetBlendMode(2, 100);
  EXPECT_EQ(st.diffuseColor, 0x64FFFFFFu) << "alpha is the parameter outside mode 0";
  qx::SetBlendMode(0, 100);
  EXPECT_EQ(st.diffuseColor, 0xFFFFFFFFu);
}

TEST_F(DrawStateTest, BrightnessClampsEachChannel) {
  qx::DrawState& st = qx::GetDrawState();
  qx::SetBrightness(300, -5, 128);
  EXPECT_EQ(st.brightness, 0xFF0080u);
  qx::SetBrightness(255, 128, 0);
  EXPECT_EQ(st.brightness, 0xFF8000u);
  qx::SetBrightnessValue(0xAB102030);
  EXPECT_EQ(st.brightness, 0x102030u) << "the top byte is dropped";
}

TEST_F(DrawStateTest, TransparentColourIsPackedAndSurvivesReset) {
  if (qx::GetRequestedColorBits() == 8) GTEST_SKIP() << "8-bit screens ignore the call";
  qx::SetTransparentColor(255 + 256, 0, 255);
  EXPECT_EQ(qx::GetDrawState().transparentColor, 0x00FF00FFu);
  qx::ResetDrawState();
  EXPECT_EQ(qx::GetDrawState().transparentColor, 0x00FF00FFu);
}

TEST_F(DrawStateTest, BlendMaskTable) {
  struct Case {
    int border, range;
    int index;
    int expected;
  };
  // k = 65536 / (range + 1); s = 256 - border * (k + 256) / 256; entry = i * 256 / (range + 1) + s.
  const Case cases[] = {
      {0, 64, 0, 255},   {0, 64, 255, 255},   {255, 64, 0, 0},    {255, 64, 254, 0},   {255, 64, 255, 1},
      {128, 64, 0, 0},   {128, 64, 130, 136},  {128, 64, 200, 255}, {0, 0, 0, 255},     {1, 0, 0, 0},
      {1, 0, 1, 255},    {100, 0, 99, 0},     {100, 0, 100, 156},  {100, 0, 101, 255}, {255, 255, 255, 1},  {128, 64, 110, 57},
  };
  for (const Case& c : cases) {
    uint8_t table[256];
    qx::BuildBlendMaskTable(table, c.border, c.range);
    EXPECT_EQ(table[c.index], c.expected) << "border " << c.border << " range " << c.range << " i " << c.index;
  }
  // With range 0 every border gives a hard threshold: at most one entry strictly between 0 and 255.
  for (int border = 0; border < 256; ++border) {
    uint8_t table[256];
    qx::BuildBlendMaskTable(table, border, 0);
    int between = 0;
    for (int i = 0; i < 256; ++i) between += table[i] != 0 && table[i] != 255;
    EXPECT_LE(between, 1) << border;
  }
}

TEST_F(DrawStateTest, BlendMaskRejectsInvalidHandles) {
  qx::DrawState& st = qx::GetDrawState();
  EXPECT_EQ(qx::SetBlendMask(-1, 300, 64), 0);
  EXPECT_EQ(st.blendMaskBorder, 255);
  EXPECT_EQ(st.blendMaskTable[255], 1);
  EXPECT_EQ(qx::SetBlendMask(0x0BAD0001, 0, 64), -1);
  EXPECT_EQ(st.blendMaskGraph, -1);
  EXPECT_EQ(st.blendMaskBorder, 255);
  EXPECT_EQ(qx::CheckBlendMaskSize(nullptr), 0);
}

TEST_F(DrawStateTest, ClipRectSwapsClampsAndEmpties) {
  if (qx::GetDrawTarget() != -2 && qx::GetDrawTarget() != -4) GTEST_SKIP() << "needs a screen target";
  int w = 0, h = 0;
  qx::GetScreenSize(&w, &h);
  struct Case {
    Rect in;
    Rect out;
    int empty;
  };
  const Case cases[] = {
      {{100, 50, 20, 10}, {20, 10, 100, 50}, 0},
      {{10, 10, 10, 200}, {10, 10, 10, 200}, 1},
      {{-5, -6, w + 10, h + 20}, {0, 0, w, h}, 0},
      {{w + 5, 0, w + 9, 9}, {w, 0, w, 9}, 1},
  };
  for (const Case& c : cases) {
    qx::SetClipRect(c.in.left, c.in.top, c.in.right, c.in.bottom);
    Rect got;
    qx::GetClipRect(&got);
    EXPECT_EQ(got.left, c.out.left);
    EXPECT_EQ(got.top, c.out.top);
    EXPECT_EQ(got.right, c.out.right);
    EXPECT_EQ(got.bottom, c.out.bottom);
    EXPECT_EQ(qx::GetDrawState().drawAreaEmpty, c.empty);
    EXPECT_EQ(qx::GetDrawState().drawRightF, static_cast<float>(c.out.right));
  }
}

TEST(ClipRectangleTest, Cases) {
  struct Case {
    Rect r, bounds, expected;
  };
  const Case cases[] = {
      {{-10, -10, 5, 5}, {0, 0, 800, 600}, {0, 0, 5, 5}},
      {{900, 10, 950, 20}, {0, 0, 800, 600}, {800, 10, 800, 20}},
      {{50, 60, 10, 20}, {0, 0, 800, 600}, {50, 60, 50, 60}},
      {{-30, 700, -20, 900}, {0, 0, 800, 600}, {0, 600, 0, 600}},
      {{10, 20, 30, 40}, {15, 25, 20, 30}, {15, 25, 20, 30}},
  };
  for (const Case& c : cases) {
    Rect r = c.r, b = c.bounds;
    EXPECT_EQ(ClipRectangle(&r, &b), 0);
    EXPECT_EQ(r.left, c.expected.left);
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.right, c.expected.right);
    EXPECT_EQ(r.bottom, c.expected.bottom);
  }
}

}  // namespace
