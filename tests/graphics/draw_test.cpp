// The drawing operations: argument checks, the blend mask around a drawing,
// and what lands on a graph used as the draw target.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/window_state.h"
#include "runtime/core/alloc.h"
#include "runtime/graphics/draw_pool.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/graph.h"
#include "runtime/graphics/graph_image.h"
#include "runtime/graphics/renderer.h"
#include "runtime/graphics/screen.h"
#include "runtime/platform/platform.h"

namespace {

// Graphics started on the headless platform, 800 x 600 x 32, no window.
class DrawTest : public ::testing::Test {
 protected:
  static qx::ScreenMode savedMode_;

  static void SetUpTestSuite() {
    savedMode_ = qx::GetScreenModeRecord();
    qx::SelectPlatform(&qx::kHeadlessPlatform);
    qx::WindowState& ws = qx::GetWindowState();
    ws.windowed = 1;
    ws.hasMainWindow = 1;
    ws.windowActive = 1;
    ws.runWhileInactive = 1;
    ASSERT_EQ(qx::SetScreenMode(800, 600, 32, 60), 0);
    ASSERT_GE(qx::InitGraphics(), 0);
    qx::StartGraphSystem();
  }
  static void TearDownTestSuite() {
    qx::DeleteAllGraphs(0);
    qx::EndGraphics();
    qx::StopGraphSystem();
    // Later suites expect the screen mode they found.
    const qx::ScreenMode& m = savedMode_;
    if (m.width != 0)
      qx::SetScreenMode(m.width, m.height, m.requestedColorBits ? m.requestedColorBits : 16, m.refreshRate);
    else
      qx::SetScreenMode(640, 480, m.requestedColorBits ? m.requestedColorBits : 16, 0);
  }
  void SetUp() override {
    ASSERT_TRUE(qx::ScreenExists());
    qx::SetDrawTarget(-2);
    qx::ResetDrawState();
  }
  void TearDown() override {
    qx::SetDrawTarget(-2);
    qx::SetBlendMask(-1, 0, 0);
    qx::DeleteAllGraphs(0);
  }

  // A graph with random pixels (alpha in runs when it has alpha).
  GraphHandle Random(int w, int h, bool alpha, uint32_t seed) {
    GraphHandle g = qx::CreateGraph(w, h, false, alpha, false);
    EXPECT_NE(g, -1);
    qx::MEMIMG v;
    EXPECT_EQ(qx::GetGraphImage(g, &v), 0);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
      uint8_t* row = v.pixels + static_cast<ptrdiff_t>(y) * v.pitch;
      int bpp = qx::MemImageBytesPerPixel(v.pixelType, v.alphaFlag, v.paletteFlag);
      for (int i = 0; i < w * bpp; ++i) row[i] = static_cast<uint8_t>(rng() >> 8);
    }
    return g;
  }

  GraphHandle Mask(int w, int h) {
    qx::SetBlendMaskCreation(1);
    GraphHandle m = qx::CreateGraph(w, h, false, false, false);
    qx::SetBlendMaskCreation(0);
    EXPECT_NE(m, -1);
    qx::MEMIMG v;
    EXPECT_EQ(qx::GetGraphImage(m, &v), 0);
    EXPECT_EQ(v.pixelType, qx::kPixelMask8);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) v.pixels[y * v.pitch + x] = static_cast<uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
    return m;
  }

  // Makes a fresh graph the draw target; false when targets cannot be chosen yet.
  bool UseTarget(GraphHandle target) {
    if (qx::SetDrawTarget(target) != 0 || qx::GetDrawTarget() != target || qx::GetDrawTargetImage() == nullptr)
      return false;
    return true;
  }

  static std::vector<uint8_t> Pixels(GraphHandle g) {
    qx::MEMIMG v;
    if (qx::GetGraphImage(g, &v) != 0) return {};
    int bpp = qx::MemImageBytesPerPixel(v.pixelType, v.alphaFlag, v.paletteFlag);
    std::vector<uint8_t> out;
    for (int y = 0; y < v.height; ++y)
      out.insert(out.end(), v.pixels + y * v.pitch, v.pixels + y * v.pitch + v.width * bpp);
    return out;
  }
};

qx::ScreenMode DrawTest::savedMode_;

TEST_F(DrawTest, ColourValuesOnThe32BitScreen) {
  ASSERT_EQ(qx::ScreenColorBits(), 32);
  EXPECT_EQ(static_cast<uint32_t>(qx::GetColorValue(255, 255, 255)), 0xFFFFFFFFu);
  EXPECT_EQ(static_cast<uint32_t>(qx::GetColorValue(0, 0, 0)), 0xFF000000u);
  EXPECT_EQ(static_cast<uint32_t>(qx::GetColorValue(0x112, 0x34, -1)), 0xFF1234FFu) << "values used as bytes";
}

TEST_F(DrawTest, InvalidHandlesAndTheEmptyArea) {
  GraphHandle g = Random(8, 8, false, 1);
  EXPECT_EQ(qx::DrawGraphAt(0, 0, -1, 1), -1);
  EXPECT_EQ(qx::DrawGraphAt(0, 0, g ^ 0x00010000, 1), -1) << "stale check number";
  EXPECT_EQ(qx::DrawGraphRotated(0, 0, 1.0, 0.0, -1, 1, 0), -1);
  qx::DrawState& st = qx::GetDrawState();
  st.drawAreaEmpty = 1;
  EXPECT_EQ(qx::DrawGraphAt(0, 0, -1, 1), 0) << "an empty area draws nothing before any check";
  EXPECT_EQ(qx::DrawGraphRotated(0, 0, 1.0, 0.0, -1, 1, 0), 0);
  EXPECT_EQ(qx::DrawRectangle(0, 0, 10, 10, 0, 1), 0);
}

TEST_F(DrawTest, BlendMaskSmallerThanTheGraphRefusesTheDrawing) {
  GraphHandle g = Random(16, 16, false, 2);
  GraphHandle small = Mask(8, 16);
  GraphHandle big = Mask(16, 20);
  ASSERT_EQ(qx::SetBlendMask(small, 0, 64), 0);
  EXPECT_EQ(qx::CheckBlendMaskSize(qx::GetGraphRecord(g)), -1);
  EXPECT_EQ(qx::DrawGraphAt(0, 0, g, 1), -1);
  ASSERT_EQ(qx::SetBlendMask(big, 0, 64), 0);
  EXPECT_EQ(qx::CheckBlendMaskSize(qx::GetGraphRecord(g)), 0);
}

TEST_F(DrawTest, BlendMaskedDrawingRestoresTheMaskEvenWhenItFails) {
  GraphHandle m = Mask(16, 16);
  qx::DrawState& st = qx::GetDrawState();
  ASSERT_EQ(st.blendMaskGraph, -1);
  EXPECT_EQ(qx::DrawGraphBlendMasked(0, 0, -1, 1, m, 100, 64), 0);
  EXPECT_EQ(st.blendMaskGraph, -1);
  EXPECT_EQ(st.blendMaskTable[0], 255) << "the table of no mask is back";
  // An invalid mask is not set; the drawing goes on without one.
  ASSERT_EQ(qx::SetBlendMask(m, 7, 9), 0);
  EXPECT_EQ(qx::DrawGraphBlendMasked(0, 0, -1, 1, 0x0BAD0001, 100, 64), 0);
  EXPECT_EQ(st.blendMaskGraph, m);
  EXPECT_EQ(st.blendMaskBorder, 7);
  EXPECT_EQ(st.blendMaskRange, 9);
  // A previous mask deleted meanwhile comes back as it was, not the drawing's mask.
  GraphHandle other = Mask(16, 16);
  ASSERT_EQ(qx::ReleaseGraph(m, 0), 0);
  EXPECT_EQ(qx::DrawGraphBlendMasked(0, 0, -1, 1, other, 100, 64), 0);
  EXPECT_EQ(st.blendMaskGraph, m);
  EXPECT_EQ(st.blendMaskBorder, 7);
}

TEST_F(DrawTest, DrawingOntoAGraphTarget) {
  GraphHandle target = Random(64, 48, false, 3);
  if (!UseTarget(target)) GTEST_SKIP() << "draw targets are not available in this build";
  GraphHandle src = Random(20, 14, false, 4);
  std::vector<uint8_t> before = Pixels(target);

  // Mode 1 with parameter 0 draws nothing and still succeeds.
  qx::SetBlendMode(1, 0);
  EXPECT_EQ(qx::DrawGraphAt(3, 3, src, 0), 0);
  EXPECT_EQ(qx::DrawRectangle(0, 0, 64, 48, 0, 1), 0);
  EXPECT_EQ(Pixels(target), before);
  qx::SetBlendMode(0, 0);

  // Unrotated at scale 1 equals plain drawing at the top-left corner.
  EXPECT_EQ(qx::DrawGraphRotated(30, 20, 1.0, 0.0, src, 1, 0), 0);
  std::vector<uint8_t> rotated = Pixels(target);
  EXPECT_NE(rotated, before);
  GraphHandle target2 = Random(64, 48, false, 3);
  ASSERT_TRUE(UseTarget(target2));
  EXPECT_EQ(qx::DrawGraphAt(20, 13, src, 1), 0);
  EXPECT_EQ(Pixels(target2), rotated);

  // Reversed corners fill the same rectangle.
  GraphHandle a = Random(64, 48, false, 5), b = Random(64, 48, false, 5);
  ASSERT_TRUE(UseTarget(a));
  EXPECT_EQ(qx::DrawRectangle(64, 48, 0, 0, qx::GetColorValue(10, 20, 30), 1), 0);
  ASSERT_TRUE(UseTarget(b));
  EXPECT_EQ(qx::DrawRectangle(0, 0, 64, 48, qx::GetColorValue(10, 20, 30), 1), 0);
  EXPECT_EQ(Pixels(a), Pixels(b));
  EXPECT_NE(Pixels(b), Pixels(Random(64, 48, false, 5)));
}

TEST_F(DrawTest, MaskedDrawingMatchesTheRenderer) {
  GraphHandle target = Random(40, 30, false, 6);
  if (!UseTarget(target)) GTEST_SKIP() << "draw targets are not available in this build";
  GraphHandle src = Random(24, 12, true, 7);
  GraphHandle m = Mask(24, 12);
  GraphHandle copy = Random(40, 30, false, 6);

  qx::SetBlendMode(1, 200);
  EXPECT_EQ(qx::DrawGraphBlendMasked(5, 9, src, 1, m, 120, 64), 0);
  EXPECT_EQ(qx::GetDrawState().blendMaskGraph, -1);

  // The same drawing straight through the renderer with the mask's table.
  qx::MEMIMG dst, view, mask;
  ASSERT_EQ(qx::GetGraphImage(copy, &dst), 0);
  ASSERT_EQ(qx::GetGraphImage(src, &view), 0);
  ASSERT_EQ(qx::GetGraphImage(m, &mask), 0);
  qx::BuildBlendMaskTable(qx::GetDrawState().blendMaskTable, 120, 64);
  qx::DrawImageAt(&dst, &view, 5, 9, true, &mask);
  qx::BuildBlendMaskTable(qx::GetDrawState().blendMaskTable, 0, 0);
  EXPECT_EQ(Pixels(target), Pixels(copy));
  EXPECT_NE(Pixels(target), Pixels(Random(40, 30, false, 6))) << "the drawing changed something";
}

TEST_F(DrawTest, OutlineDrawsEachEdgePixelOnce) {
  GraphHandle target = Random(16, 16, false, 8);
  if (!UseTarget(target)) GTEST_SKIP() << "draw targets are not available in this build";
  qx::DrawRectangle(0, 0, 16, 16, qx::GetColorValue(0, 0, 0), 1);
  qx::SetBlendMode(1, 128);
  // Half-bright white: a pixel drawn twice would come out brighter than the others.
  EXPECT_EQ(qx::DrawRectangle(12, 13, 2, 3, qx::GetColorValue(255, 255, 255), 0), 0);
  qx::MEMIMG v;
  ASSERT_EQ(qx::GetGraphImage(target, &v), 0);
  int bpp = qx::MemImageBytesPerPixel(v.pixelType, v.alphaFlag, v.paletteFlag);
  auto at = [&](int x, int y) {
    uint32_t value = 0;
    memcpy(&value, v.pixels + y * v.pitch + x * bpp, bpp);
    return value;
  };
  uint32_t black = at(0, 0), edge = at(2, 3);
  EXPECT_NE(edge, black);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      bool inside = x >= 2 && x <= 11 && y >= 3 && y <= 12;
      bool onEdge = inside && (x == 2 || x == 11 || y == 3 || y == 12);
      EXPECT_EQ(at(x, y), onEdge ? edge : black) << x << "," << y;
    }
}

}  // namespace

// A sprite sheet of 3 x 2 cells of 160 x 128: random pixels (some of alpha 0
// with colour) inside a rectangle of each cell, all-zero pixels around it;
// the last cell is empty.
struct SpriteSheet {
  qx::GraphImage image{};
  static constexpr int kBoxes[6][4] = {{20, 12, 80, 48}, {0, 0, 160, 24}, {48, 36, 1, 1},
                                       {120, 80, 40, 48}, {32, 8, 96, 112}, {0, 0, 0, 0}};
  explicit SpriteSheet(uint32_t seed) {
    qx::SetArgb32Format(&image.format);
    image.width = 480;
    image.height = 256;
    image.pitch = 480 * 4;
    image.pixels = static_cast<uint8_t*>(qx::MemAlloc(static_cast<size_t>(image.pitch) * 256));
    memset(image.pixels, 0, static_cast<size_t>(image.pitch) * 256);
    std::mt19937 rng(seed);
    for (int c = 0; c < 6; ++c) {
      const int* b = kBoxes[c];
      for (int y = b[1]; y < b[1] + b[3]; ++y)
        for (int x = b[0]; x < b[0] + b[2]; ++x) {
          uint8_t* p =
              image.pixels + static_cast<ptrdiff_t>((c / 3) * 128 + y) * image.pitch + ((c % 3) * 160 + x) * 4;
          for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>(rng() >> 8);
          uint32_t a = rng() % 4;
          p[3] = a == 0 ? 0 : (a == 1 ? 255 : static_cast<uint8_t>(rng() >> 8));
        }
    }
  }
  ~SpriteSheet() { qx::ReleaseGraphImage(&image); }
};

// Cells that keep only their non-zero rectangle draw exactly as whole cells,
// through every drawing setting and vector level, on one thread and split
// over the drawing threads. A drawing that copies pixels whole makes the cell
// whole first.
TEST_F(DrawTest, CroppedCellsDrawLikeWholeOnes) {
  if (!UseTarget(Random(8, 8, false, 1))) GTEST_SKIP() << "draw targets are not available in this build";
  SpriteSheet sheet(11);
  struct Case {
    bool rotated;
    int trans, mode, param;
    uint32_t bright;
    bool mask;
    int turn;
    double angle, scale;
  } cases[] = {
      {false, 1, 0, 0, 0xFFFFFF, false, 0, 0, 1},      {false, 1, 1, 128, 0xFFFFFF, false, 0, 0, 1},
      {false, 0, 1, 100, 0xFFFFFF, false, 0, 0, 1},    {false, 1, 2, 200, 0x8040FF, false, 0, 0, 1},
      {false, 0, 3, 255, 0xFFFFFF, false, 0, 0, 1},    {false, 1, 4, 0, 0xFFFFFF, false, 0, 0, 1},
      {false, 1, 1, 160, 0xFFFFFF, true, 0, 0, 1},     {false, 0, 2, 90, 0xFFFFFF, true, 0, 0, 1},
      {true, 1, 0, 0, 0xFFFFFF, false, 0, 0.4, 1},     {true, 0, 0, 0, 0xFFFFFF, false, 0, 2.0, 1.6},
      {true, 1, 2, 150, 0xFFFFFF, false, 0, -1.2, 0.7}, {true, 0, 4, 0, 0xFFFFFF, false, 1, 0.9, 1},
      {true, 1, 1, 200, 0xFFFFFF, true, 1, 1.57, 1.3}, {true, 1, 3, 220, 0x20FF80, false, 0, 1.5707, 2.2},
      {true, 0, 1, 255, 0xFFFFFF, false, 0, -1.5709, 1.1}, {true, 1, 0, 0, 0xFFFFFF, true, 0, 3.1, 0.45},
      // Copies every pixel: the cells are made whole first.
      {false, 0, 0, 0, 0xFFFFFF, false, 0, 0, 1},      {false, 0, 1, 255, 0xFFFFFF, true, 0, 0, 1},
  };
  const int positions[6][2] = {{-48, -36}, {240, 16}, {600, 120}, {80, 280}, {400, 360}, {680, 560}};
  const int threadsBefore = qx::DrawThreads();
  for (int threads : {1, 3}) {
    qx::SetDrawThreads(threads);
    for (int level = 0; level <= qx::RendererBestSimdLevel(); ++level) {
      qx::SetRendererSimdLevel(level);
      GraphHandle cropped[6], whole[6];
      for (int pass = 0; pass < 2; ++pass) {
        qx::SetCellCropping(pass == 1);
        GraphHandle* cells = pass == 1 ? cropped : whole;
        ASSERT_EQ(qx::CreateDivGraphFromGraphImage(&sheet.image, nullptr, 6, 3, 2, 160, 128, cells, false, false, false),
                  0);
      }
      for (int c = 0; c < 6; ++c) {
        EXPECT_FALSE(qx::GraphCropped(qx::GetGraphRecord(whole[c])));
        EXPECT_TRUE(qx::GraphCropped(qx::GetGraphRecord(cropped[c]))) << c;
      }
      GraphHandle mask = Mask(160, 128);
      for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "threads " << threads << " level " << level << " case "
                                        << (&k - cases));
        std::vector<uint8_t> drawn[2];
        for (int pass = 0; pass < 2; ++pass) {
          GraphHandle target = Random(800, 640, false, 21);
          ASSERT_TRUE(UseTarget(target));
          qx::ResetDrawState();
          qx::SetBlendMode(k.mode, k.param);
          qx::SetBrightness((k.bright >> 16) & 255, (k.bright >> 8) & 255, k.bright & 255);
          if (k.mask) {
            ASSERT_EQ(qx::SetBlendMask(mask, 90, 64), 0);
          }
          const GraphHandle* cells = pass == 0 ? cropped : whole;
          for (int c = 0; c < 6; ++c) {
            int x = positions[c][0], y = positions[c][1];
            int result = k.rotated ? qx::DrawGraphRotated(x + 80, y + 64, k.scale, k.angle + c * 0.1, cells[c],
                                                          k.trans, k.turn)
                                   : qx::DrawGraphAt(x, y, cells[c], k.trans);
            EXPECT_EQ(result, 0);
          }
          qx::SetBlendMask(-1, 0, 0);
          drawn[pass] = Pixels(target);
          ASSERT_TRUE(UseTarget(Random(8, 8, false, 1)));
          qx::ReleaseGraph(target, 0);
        }
        EXPECT_EQ(drawn[0], drawn[1]);
        EXPECT_NE(drawn[1], Pixels(Random(800, 640, false, 21))) << "the drawing changed something";
      }
      for (int c = 0; c < 6; ++c) EXPECT_FALSE(qx::GraphCropped(qx::GetGraphRecord(cropped[c]))) << c;
      qx::DeleteAllGraphs(0);
      ASSERT_TRUE(UseTarget(Random(8, 8, false, 1)));
    }
  }
  qx::SetDrawThreads(threadsBefore);
  qx::SetRendererSimdLevel(qx::RendererBestSimdLevel());
}
