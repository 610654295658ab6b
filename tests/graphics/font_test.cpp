#include "runtime/graphics/font.h"

#include <string.h>

#include <string>
#include <vector>

#include "headless_graphics.h"

namespace {

using qxtest::PixelAt;

class FontTest : public qxtest::HeadlessGraphics {
 protected:
  void TearDown() override {
    for (FontHandle f : made_) qx::DeleteFontHandle(f);
    made_.clear();
  }
  FontHandle Make(int size, int thickness, int type, int edge = -1) {
    FontHandle f = qx::CreateFontToHandle(nullptr, size, thickness, type, -1, edge, 0);
    if (f != -1) made_.push_back(f);
    return f;
  }
  std::vector<FontHandle> made_;
};

constexpr uint32_t kBlack = 0xFF000000;
constexpr uint32_t kWhite = 0xFFFFFFFF;

TEST_F(FontTest, DefaultFontExistsAfterStartUp) {
  qx::FontInfo info;
  ASSERT_EQ(qx::GetFontInfo(qx::GetDefaultFont(), &info), 0);
  EXPECT_EQ(info.size, 16);
  EXPECT_EQ(info.thickness, 6);
  EXPECT_EQ(info.type, qx::kFontNormal);
  EXPECT_EQ(info.charSet, 1);
  // Cells hold the widest character with room around it, in steps of 8.
  EXPECT_EQ(info.cellWidth % 8, 0);
  EXPECT_GE(info.cellWidth, info.maxWidth + 2);
  EXPECT_GE(info.cellHeight, info.height);
  EXPECT_EQ(info.cellHeight % 2, 0);
  EXPECT_GE(info.cacheCapacity, 20);
  EXPECT_LE(info.cacheCapacity, 2024);
  EXPECT_EQ(info.cacheCapacity, 327680 / (info.cellWidth * info.cellWidth));
}

TEST_F(FontTest, CreationDefaultsAndTheForcedEdge) {
  struct Case {
    int type, edge;
    int wantType, wantEdge;
  } cases[] = {
      {-1, -1, qx::kFontNormal, 1},
      {qx::kFontNormal, 3, qx::kFontEdge, 3},
      {qx::kFontAntialiasing, 2, qx::kFontAntialiasingEdge, 2},
      {qx::kFontEdge, -1, qx::kFontEdge, 1},
  };
  for (const Case& c : cases) {
    FontHandle f = Make(-1, -1, c.type, c.edge);
    ASSERT_NE(f, -1);
    qx::FontInfo info;
    ASSERT_EQ(qx::GetFontInfo(f, &info), 0);
    EXPECT_EQ(info.type, c.wantType) << c.type << "/" << c.edge;
    EXPECT_EQ(info.edgeSize, c.wantEdge) << c.type << "/" << c.edge;
    EXPECT_EQ(info.size, 16);
    EXPECT_EQ(info.thickness, 6);
  }
}

TEST_F(FontTest, AbsurdSizesAndEdgesAreBounded) {
  EXPECT_EQ(Make(0, 4, 0), -1);
  EXPECT_EQ(Make(100000, 4, 0), -1);
  FontHandle f = Make(16, 4, qx::kFontEdge, 100000);
  ASSERT_NE(f, -1);
  qx::FontInfo info;
  ASSERT_EQ(qx::GetFontInfo(f, &info), 0);
  EXPECT_EQ(info.edgeSize, 16);
  EXPECT_EQ(qx::DrawFontString(0, 0, "A", 0xFFFFFF, f, 0, 0), 0);
}

TEST_F(FontTest, HandlesCarryTheFontTypeAndTheLowestFreeSlot) {
  FontHandle a = Make(16, 4, 0);
  FontHandle b = Make(16, 4, 0);
  ASSERT_NE(a, -1);
  ASSERT_NE(b, -1);
  EXPECT_EQ(a & 0x78000000, 0x20000000);
  EXPECT_EQ((b & 0xFFFF), (a & 0xFFFF) + 1);
  ASSERT_EQ(qx::DeleteFontHandle(a), 0);
  EXPECT_EQ(qx::DeleteFontHandle(a), -1);
  FontHandle c = Make(16, 4, 0);
  EXPECT_EQ(c & 0xFFFF, a & 0xFFFF);
  EXPECT_NE(c, a);  // a new check number
  EXPECT_EQ(qx::GetFontStringWidth("a", -1, a), -1);
}

TEST_F(FontTest, TheFortyFirstFontFails) {
  qxtest::LogCapture log;
  ASSERT_TRUE(log.Ready());
  int live = 0;
  for (int i = 0; i < qx::kFontHandleMax; ++i) {
    FontHandle f = Make(8, 4, 0);
    if (f == -1) break;
    ++live;
  }
  // The default font holds one of the forty.
  EXPECT_EQ(live, qx::kFontHandleMax - 1);
  EXPECT_EQ(Make(8, 4, 0), -1);
  EXPECT_TRUE(log.Has("作成できるフォントハンドル数 40 の限界を超えました\r\n")) << log.Text();
  ASSERT_EQ(qx::DeleteFontHandle(made_.back()), 0);
  made_.pop_back();
  EXPECT_NE(Make(8, 4, 0), -1);
}

TEST_F(FontTest, WidthsOfSpacesAndMixedText) {
  FontHandle f = Make(16, 4, 0);
  ASSERT_NE(f, -1);
  int space = qx::GetFontStringWidth(" ", -1, f);
  EXPECT_GT(space, 0);
  EXPECT_EQ(qx::GetFontStringWidth("  ", -1, f), 2 * space);
  EXPECT_EQ(qx::GetFontStringWidth("  ", 1, f), space);

  // "aあb": the double-byte character stays one character.
  const char mixed[] = "a\x82\xa0" "b";
  int a = qx::GetFontStringWidth("a", -1, f);
  int wide = qx::GetFontStringWidth("\x82\xa0", -1, f);
  int b = qx::GetFontStringWidth("b", -1, f);
  EXPECT_GT(wide, a);
  EXPECT_EQ(qx::GetFontStringWidth(mixed, -1, f), a + wide + b);
  qx::CachedGlyph g;
  EXPECT_EQ(qx::LookUpCachedGlyph(f, 0xA082, &g), 0);  // the two bytes, little-endian
  EXPECT_NE(qx::LookUpCachedGlyph(f, 0x82, &g), 0);

  // A lead byte at the end pairs with the terminating zero.
  EXPECT_EQ(qx::GetFontStringWidth("a\x82", -1, f), a + qx::GetFontStringWidth("\x82", 1, f));
  EXPECT_EQ(qx::LookUpCachedGlyph(f, 0x0082, &g), 0);

  ASSERT_EQ(qx::SetFontSpacing(f, 3), 0);
  EXPECT_EQ(qx::GetFontStringWidth("ab", -1, f), a + b + 6);
}

// Counts pixels of the back screen that have a given value inside a box.
int Count(const qx::MEMIMG* img, int x0, int y0, int x1, int y1, uint32_t value) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += PixelAt(img, x, y) == value;
  return n;
}

TEST_F(FontTest, EdgedTextDrawsGlyphAndEdgeColours) {
  FontHandle f = Make(16, 4, qx::kFontEdge);
  ASSERT_NE(f, -1);
  qx::MEMIMG* back = qx::GetBackScreenImage();
  constexpr uint32_t kGrey = 0xFF808080;
  qxtest::FillWith(back, kGrey);
  ASSERT_EQ(qx::DrawFontString(100, 100, "H", 0xFFFFFF, f, 0x000000, 0), 0);
  int white = Count(back, 90, 90, 130, 130, kWhite);
  int black = Count(back, 90, 90, 130, 130, kBlack);
  EXPECT_GT(white, 10);
  EXPECT_GT(black, white);  // an outline is longer than the strokes are wide
  EXPECT_EQ(Count(back, 90, 90, 130, 130, kGrey) + white + black, 40 * 40);
  // Every edge pixel touches a glyph pixel through the plus-shaped mask.
  for (int y = 90; y < 130; ++y)
    for (int x = 90; x < 130; ++x) {
      if (PixelAt(back, x, y) != kBlack) continue;
      bool near = PixelAt(back, x - 1, y) == kWhite || PixelAt(back, x + 1, y) == kWhite ||
                  PixelAt(back, x, y - 1) == kWhite || PixelAt(back, x, y + 1) == kWhite;
      EXPECT_TRUE(near) << x << "," << y;
    }
  // Nothing outside the character's cell.
  EXPECT_EQ(Count(back, 0, 0, 800, 90, kGrey), 800 * 90);
}

TEST_F(FontTest, TextColourIsScaledByTheBrightness) {
  FontHandle f = Make(16, 4, qx::kFontNormal);
  ASSERT_NE(f, -1);
  qx::MEMIMG* back = qx::GetBackScreenImage();
  qxtest::FillWith(back, kBlack);
  qx::GetDrawState().brightness = 0x80FF40;
  ASSERT_EQ(qx::DrawFontString(10, 10, "M", 0xFFFFFF, f, 0, 0), 0);
  qx::GetDrawState().brightness = 0xFFFFFF;
  EXPECT_GT(Count(back, 0, 0, 40, 40, 0xFF80FF40), 10);
  EXPECT_EQ(Count(back, 0, 0, 40, 40, 0xFF80FF40) + Count(back, 0, 0, 40, 40, kBlack), 40 * 40);
}

TEST_F(FontTest, AntialiasedGlyphsHaveIntermediateLevelsAndMonochromeOnesDoNot) {
  struct Case {
    int type;
    bool wantIntermediate;
  } cases[] = {{qx::kFontNormal, false}, {qx::kFontAntialiasing, true}};
  qx::MEMIMG* back = qx::GetBackScreenImage();
  for (const Case& c : cases) {
    FontHandle f = Make(24, 4, c.type);
    ASSERT_NE(f, -1);
    qxtest::FillWith(back, kBlack);
    ASSERT_EQ(qx::DrawFontString(0, 0, "\x82\xa0" "O", 0xFFFFFF, f, 0, 0), 0);
    int full = Count(back, 0, 0, 64, 40, kWhite), none = Count(back, 0, 0, 64, 40, kBlack);
    EXPECT_GT(full, 0) << c.type;
    EXPECT_EQ(full + none < 64 * 40, c.wantIntermediate) << c.type;
  }
}

TEST_F(FontTest, DrawingStaysInsideTheDrawArea) {
  FontHandle f = Make(32, 4, qx::kFontEdge, 2);
  ASSERT_NE(f, -1);
  qx::MEMIMG* back = qx::GetBackScreenImage();
  qxtest::FillWith(back, kBlack);
  qx::DrawState& ds = qx::GetDrawState();
  ds.drawLeft = 20;
  ds.drawTop = 20;
  ds.drawRight = 60;
  ds.drawBottom = 50;
  // Partly off the top-left of the screen, and across the area's edges.
  ASSERT_EQ(qx::DrawFontString(-10, -10, "WWWWWW", 0xFFFFFF, f, 0x0000FF, 0), 0);
  ASSERT_EQ(qx::DrawFontString(30, 30, "WWWWWW", 0xFFFFFF, f, 0x0000FF, 0), 0);
  int inside = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 800; ++x) {
      bool in = x >= 20 && x < 60 && y >= 20 && y < 50;
      if (!in) {
        ASSERT_EQ(PixelAt(back, x, y), kBlack) << x << "," << y;
      } else {
        inside += PixelAt(back, x, y) != kBlack;
      }
    }
  EXPECT_GT(inside, 0);
  ds.drawAreaEmpty = 1;
  qxtest::FillWith(back, kBlack);
  ASSERT_EQ(qx::DrawFontString(30, 30, "W", 0xFFFFFF, f, 0x0000FF, 0), 0);
  EXPECT_EQ(Count(back, 0, 0, 100, 100, kBlack), 100 * 100);
}

TEST_F(FontTest, MoreCharactersThanTheCacheHoldsReuseSlotsInRotation) {
  // A big font has the smallest cache (20 glyphs).
  FontHandle f = Make(128, 4, qx::kFontNormal);
  ASSERT_NE(f, -1);
  qx::FontInfo info;
  ASSERT_EQ(qx::GetFontInfo(f, &info), 0);
  ASSERT_EQ(info.cacheCapacity, 20);
  std::string text;
  for (int i = 0; i < 26; ++i) text += static_cast<char>('A' + i);

  qx::MEMIMG* back = qx::GetBackScreenImage();
  qxtest::FillWith(back, kBlack);
  ASSERT_EQ(qx::DrawFontString(0, 0, text.c_str(), 0xFFFFFF, f, 0, 0), 0);
  qx::CachedGlyph g;
  EXPECT_NE(qx::LookUpCachedGlyph(f, 'A', &g), 0);  // pushed out by 'U'
  ASSERT_EQ(qx::LookUpCachedGlyph(f, 'U', &g), 0);
  EXPECT_EQ(g.slot, 0);
  ASSERT_EQ(qx::LookUpCachedGlyph(f, 'Z', &g), 0);
  EXPECT_EQ(g.slot, 5);
  std::vector<uint8_t> whole(back->pixels, back->pixels + static_cast<size_t>(back->pitch) * back->height);

  // The same characters one at a time, each from a fresh cache, give the same picture.
  qxtest::FillWith(back, kBlack);
  int pen = 0;
  for (char c : text) {
    FontHandle one = Make(128, 4, qx::kFontNormal);
    ASSERT_NE(one, -1);
    char s[2] = {c, 0};
    ASSERT_EQ(qx::DrawFontString(pen, 0, s, 0xFFFFFF, one, 0, 0), 0);
    pen += qx::GetFontStringWidth(s, -1, one);
    ASSERT_EQ(qx::DeleteFontHandle(one), 0);
    made_.pop_back();
  }
  std::vector<uint8_t> single(back->pixels, back->pixels + static_cast<size_t>(back->pitch) * back->height);
  EXPECT_TRUE(whole == single);
}

TEST_F(FontTest, InvalidHandlesAreRefused) {
  qxtest::LogCapture log;
  ASSERT_TRUE(log.Ready());
  for (FontHandle f : {-1, 0, 0x08000000, 0x20000000 | 39}) {
    EXPECT_EQ(qx::DrawFontString(0, 0, "a", 0xFFFFFF, f, 0, 0), -1) << f;
    EXPECT_EQ(qx::GetFontStringWidth("a", -1, f), -1) << f;
  }
  EXPECT_TRUE(log.Has("フォントハンドル値が異常です\r\n"));
}

TEST_F(FontTest, RestartingTheFontSystemDeletesFontsAndRemakesTheDefault) {
  FontHandle f = Make(20, 4, qx::kFontEdge);
  ASSERT_NE(f, -1);
  int lost = -1;
  qx::SetFontLostFlag(f, &lost);
  EXPECT_EQ(lost, 0);
  qx::StopFontSystem();
  EXPECT_EQ(lost, 1);
  EXPECT_EQ(qx::GetDefaultFont(), -1);
  qx::StartFontSystem();
  made_.clear();
  qx::FontInfo info;
  ASSERT_EQ(qx::GetFontInfo(qx::GetDefaultFont(), &info), 0);
  EXPECT_EQ(info.size, 16);
  EXPECT_EQ(info.thickness, 6);
  EXPECT_EQ(qx::GetFontStringWidth("a", -1, f), -1);
}

}  // namespace
