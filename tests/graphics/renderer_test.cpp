// The software renderer against worked examples and against the plain
// reference on random pictures, positions and settings.
#include <gtest/gtest.h>
#include <string.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

#include "reference_renderer.h"
#include "runtime/graphics/draw_pool.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/memimg.h"
#include "runtime/graphics/renderer.h"

namespace {

using qx::MEMIMG;

struct Image {
  MEMIMG img;
  Image(int w, int h, int type, int palette = 0, int alpha = 0, uint32_t key = 0) {
    memset(&img, 0, sizeof(img));
    EXPECT_EQ(qx::CreateMemImage(&img, w, h, -1, key, type, palette, alpha, false), 0);
    memset(img.pixels, 0, static_cast<size_t>(img.pitch) * h);
  }
  ~Image() { qx::ReleaseMemImage(&img); }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  uint32_t at(int x, int y) const { return ref::GetPixel(&img, x, y); }
  void set(int x, int y, uint32_t v) {
    uint8_t* row = img.pixels + static_cast<ptrdiff_t>(y) * img.pitch;
    int bpp = qx::MemImageBytesPerPixel(img.pixelType, img.alphaFlag, img.paletteFlag);
    if (bpp == 4) reinterpret_cast<uint32_t*>(row)[x] = v;
    else if (bpp == 2) reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(v);
    else row[x] = static_cast<uint8_t>(v);
  }
  void fill(uint32_t v) {
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x) set(x, y, v);
  }
};

// Puts the renderer's draw state to the given settings, whole target as area.
void Apply(const ref::Settings& s) {
  qx::DrawState& st = qx::GetDrawState();
  st.blendMode = s.mode;
  st.blendParam = s.param;
  st.brightness = s.brightness;
  memcpy(st.blendMaskTable, s.maskTable, 256);
  st.drawLeft = s.area.left;
  st.drawTop = s.area.top;
  st.drawRight = s.area.right;
  st.drawBottom = s.area.bottom;
  st.drawAreaEmpty = (s.area.left == s.area.right || s.area.top == s.area.bottom) ? 1 : 0;
}

ref::Settings Plain(int mode, int param, const Rect& area) {
  ref::Settings s;
  s.mode = mode;
  s.param = param;
  s.area = area;
  for (int i = 0; i < 256; ++i) s.maskTable[i] = static_cast<uint8_t>(i);
  return s;
}

std::string LevelName(int level) {
  const char* names[] = {"none", "sse2", "avx2", "avx512"};
  return names[level];
}

class RendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qx::InitRendererTables();
    threads_ = qx::DrawThreads();
  }
  void TearDown() override {
    qx::SetRendererSimdLevel(qx::RendererBestSimdLevel());
    qx::SetDrawThreads(threads_);
  }
  int threads_ = 1;
};

TEST_F(RendererTest, VectorLevelsByNameAndFallBackToTheBestSupported) {
  const struct {
    const char* text;
    int level;
  } names[] = {{"none", qx::kSimdNone}, {"sse2", qx::kSimdSse2}, {"AVX2", qx::kSimdAvx2},
               {"avx512", qx::kSimdAvx512}, {"avx", -1}, {"", -1}, {"sse2 ", -1}};
  for (const auto& n : names) EXPECT_EQ(qx::ParseRendererSimdLevel(n.text), n.level) << n.text;
  int best = qx::RendererBestSimdLevel();
  EXPECT_GE(best, qx::kSimdSse2) << "every x86-64 has SSE2";
  EXPECT_EQ(qx::SetRendererSimdLevel(qx::kSimdAvx512), best);
  EXPECT_EQ(qx::RendererSimdLevel(), best);
  EXPECT_EQ(qx::SetRendererSimdLevel(qx::kSimdNone), qx::kSimdNone);
  EXPECT_EQ(qx::SetRendererSimdLevel(qx::kSimdSse2), qx::kSimdSse2);
  EXPECT_EQ(qx::RendererStartSimdLevel(nullptr), best);
  EXPECT_EQ(qx::RendererStartSimdLevel("none"), qx::kSimdNone);
  EXPECT_EQ(qx::RendererStartSimdLevel("sse2"), qx::kSimdSse2);
  EXPECT_EQ(qx::RendererStartSimdLevel("avx512"), best);
  EXPECT_EQ(qx::RendererStartSimdLevel("fast"), best);
}

// One source pixel over one destination pixel, 32-bit.
struct PixelCase {
  const char* name;
  int mode, param;
  bool alpha;
  bool trans;
  uint32_t src, dst;
  int maskWeight;  // -1: no mask
  uint32_t expected;
};

TEST_F(RendererTest, SinglePixelRules) {
  const PixelCase cases[] = {
      {"mode 0, alpha 128 mixes halfway", 0, 0, true, true, 0x80C8C8C8, 0x00646464, -1, 0x00969696},
      {"mode 1, p 100, alpha 255", 1, 100, true, true, 0xFFFFFFFF, 0x00000000, -1, 0x00636363},
      {"full mask weight stops one short", 0, 0, true, true, 0xFFC8C8C8, 0x00646464, 255, 0x00C7C7C7},
      {"p 128 halves whole pixels", 1, 128, false, true, 0x00030301, 0x00010101, -1, 0x00010100},
      {"p 129 uses the weighted rule", 1, 129, false, true, 0x00030301, 0x00010101, -1, 0x00020201},
      {"alpha 0 is skipped in mode 1", 1, 200, true, true, 0x00FFFFFF, 0x11223344, -1, 0x11223344},
      {"alpha 255 copies all four bytes", 0, 0, true, true, 0xFF102030, 0x00445566, -1, 0xFF102030},
      {"trans clear copies alpha pixels whole", 0, 0, true, false, 0x10102030, 0x00445566, -1, 0x10102030},
      {"trans clear in mode 1 weights alpha", 1, 128, true, false, 0x80FF0000, 0x7F000000, -1, 0x7F3F0000},
      {"mode 1 keeps the fourth byte", 1, 64, false, false, 0xAAFFFFFF, 0x55000000, -1, 0x553F3F3F},
      {"p 255 behaves as mode 0", 1, 255, false, false, 0xAA123456, 0x55000000, -1, 0xAA123456},
      {"mode 2 adds B[p][s], saturating", 2, 128, false, false, 0x00FF1080, 0x00F00101, -1, 0x00FF0941},
      {"mode 3 subtracts B[p][s]", 3, 255, false, false, 0x00102030, 0x00F0F0F0, -1, 0x00E0D0C0},
      {"mode 3 stops at 0", 3, 128, false, false, 0x00FFFFFF, 0x00108001, -1, 0x00000000},
      {"mode 4 multiplies", 4, 0, false, false, 0x00FF8040, 0x00808080, -1, 0x007F4020},
      {"mode 5 draws nothing", 5, 128, false, false, 0x00FFFFFF, 0x00010203, -1, 0x00010203},
      {"parameter 0 draws nothing", 1, 0, false, false, 0x00FFFFFF, 0x00010203, -1, 0x00010203},
  };
  for (int simd = qx::kSimdNone; simd <= qx::RendererBestSimdLevel(); ++simd) {
    qx::SetRendererSimdLevel(simd);
    for (const PixelCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " at " + LevelName(simd));
      Image dst(1, 1, qx::kPixel32);
      Image src(1, 1, qx::kPixel32, 0, c.alpha ? 1 : 0, 0xFFFF00FF);
      Image mask(1, 1, qx::kPixelMask8);
      dst.set(0, 0, c.dst);
      src.set(0, 0, c.src);
      mask.set(0, 0, 7);
      ref::Settings s = Plain(c.mode, c.param, Rect{0, 0, 1, 1});
      if (c.maskWeight >= 0) s.maskTable[7] = static_cast<uint8_t>(c.maskWeight);
      Apply(s);
      qx::DrawImageAt(&dst.img, &src.img, 0, 0, c.trans, c.maskWeight >= 0 ? &mask.img : nullptr);
      EXPECT_EQ(dst.at(0, 0), c.expected);
    }
  }
}

TEST_F(RendererTest, ColourKeyAndBrightness) {
  Image dst(2, 1, qx::kPixel32);
  Image src(2, 1, qx::kPixel32, 0, 0, 0xFFFF00FF);
  src.set(0, 0, 0xFFFF00FF);
  src.set(1, 0, 0xFF804020);
  dst.fill(0x00111111);
  ref::Settings s = Plain(0, 0, Rect{0, 0, 2, 2});
  s.brightness = 0x00FF8000;  // red full, green half, blue none
  Apply(s);
  qx::DrawImageAt(&dst.img, &src.img, 0, 0, true, nullptr);
  EXPECT_EQ(dst.at(0, 0), 0x00111111u) << "the key pixel is skipped";
  // B[255][0x80] = 0x80, B[128][0x40] = 0x20, B[0][0x20] = 0; whole copy keeps the source's top byte.
  EXPECT_EQ(dst.at(1, 0), 0xFF802000u);
}

TEST_F(RendererTest, DrawingPartlyOffTheTopLeft) {
  Image dst(100, 100, qx::kPixel32);
  Image src(100, 100, qx::kPixel32);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) src.set(x, y, 0xFF000000u | (y << 8) | x);
  dst.fill(0xDEADBEEF);
  Apply(Plain(0, 0, Rect{0, 0, 100, 100}));
  qx::DrawImageAt(&dst.img, &src.img, -50, -50, false, nullptr);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) {
      uint32_t want = (x < 50 && y < 50) ? (0xFF000000u | ((y + 50) << 8) | (x + 50)) : 0xDEADBEEFu;
      ASSERT_EQ(dst.at(x, y), want) << x << "," << y;
    }
}

TEST_F(RendererTest, NothingDrawnAcrossPixelTypesOrOntoAlphaTargets) {
  Image dst(4, 4, qx::kPixel32);
  Image alphaDst(4, 4, qx::kPixel32, 0, 1);
  Image mask(4, 4, qx::kPixelMask8);
  Image src(4, 4, qx::kPixel32);
  mask.fill(200);
  src.fill(0xFF123456);
  dst.fill(0x01010101);
  alphaDst.fill(0x01010101);
  Apply(Plain(0, 0, Rect{0, 0, 4, 4}));
  qx::DrawImageAt(&dst.img, &mask.img, 0, 0, false, nullptr);
  qx::DrawImageRotated(&dst.img, &mask.img, 2, 2, 0.0f, 1.0f, false, false, nullptr);
  qx::DrawImageAt(&alphaDst.img, &src.img, 0, 0, false, nullptr);
  qx::FillRect(&alphaDst.img, nullptr, 0xFFFFFFFF);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(dst.at(x, y), 0x01010101u);
      EXPECT_EQ(alphaDst.at(x, y), 0x01010101u);
    }
}

TEST_F(RendererTest, UnrotatedDrawingMatchesPlainDrawing) {
  for (int simd = qx::kSimdNone; simd <= qx::RendererBestSimdLevel(); ++simd) {
    qx::SetRendererSimdLevel(simd);
    Image a(64, 48, qx::kPixel32), b(64, 48, qx::kPixel32);
    Image src(20, 14, qx::kPixel32, 0, 1);
    std::mt19937 rng(5);
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 20; ++x) src.set(x, y, rng());
    Apply(Plain(0, 0, Rect{0, 0, 64, 48}));
    qx::DrawImageRotated(&a.img, &src.img, 30, 20, 0.0f, 1.0f, true, false, nullptr);
    qx::DrawImageAt(&b.img, &src.img, 30 - 10, 20 - 7, true, nullptr);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) ASSERT_EQ(a.at(x, y), b.at(x, y)) << x << "," << y;
    // An opaque picture shows exactly where it lands: x - w/2 .. x + w/2 - 1.
    Image c(64, 48, qx::kPixel32);
    Image opaque(20, 14, qx::kPixel32);
    opaque.fill(0x00FFFFFF);
    qx::DrawImageRotated(&c.img, &opaque.img, 30, 20, 0.0f, 1.0f, false, false, nullptr);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        bool inside = x >= 20 && x <= 39 && y >= 13 && y <= 26;
        ASSERT_EQ(c.at(x, y), inside ? 0x00FFFFFFu : 0u) << x << "," << y;
      }
  }
}

TEST_F(RendererTest, TurnMirrorsLeftToRight) {
  Image dst(32, 32, qx::kPixel32);
  Image src(8, 4, qx::kPixel32);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) src.set(x, y, 0xFF000000u | (x + 1));
  Apply(Plain(0, 0, Rect{0, 0, 32, 32}));
  qx::DrawImageRotated(&dst.img, &src.img, 16, 16, 0.0f, 1.0f, false, true, nullptr);
  // Every source pixel appears once per row, mirrored, and nothing lands outside the picture's place.
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      bool inside = x >= 12 && x <= 19 && y >= 14 && y <= 17;
      uint32_t v = dst.at(x, y);
      if (!inside) {
        ASSERT_EQ(v, 0u) << x << "," << y;
      } else {
        ASSERT_EQ(v, 0xFF000000u | static_cast<uint32_t>(8 - (x - 12))) << x << "," << y;
      }
    }
}

TEST_F(RendererTest, TrianglesSharingAnEdgeDrawItOnce) {
  // Two halves of a square in mode 1: a pixel drawn twice would come out brighter.
  Image dst(16, 16, qx::kPixel32);
  Image src(4, 4, qx::kPixel32);
  src.fill(0x00FFFFFF);
  Apply(Plain(1, 128, Rect{0, 0, 16, 16}));
  qx::TriangleVertex t1[3] = {{2, 2, 0, 0}, {12, 2, 4, 0}, {12, 12, 4, 4}};
  qx::TriangleVertex t2[3] = {{2, 2, 0, 0}, {12, 12, 4, 4}, {2, 12, 0, 4}};
  qx::DrawImageTriangle(&dst.img, &src.img, t1, false, nullptr);
  qx::DrawImageTriangle(&dst.img, &src.img, t2, false, nullptr);
  int drawn = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      uint32_t v = dst.at(x, y);
      ASSERT_TRUE(v == 0u || v == 0x007F7F7Fu) << x << "," << y << " " << std::hex << v;
      drawn += v != 0;
    }
  EXPECT_EQ(drawn, 100);
}

TEST_F(RendererTest, StretchedDrawingScalesEachPixelToABlock) {
  Image src(2, 2, qx::kPixel32);
  src.set(0, 0, 0xFF000001);
  src.set(1, 0, 0xFF000002);
  src.set(0, 1, 0xFF000003);
  src.set(1, 1, 0xFF000004);
  Apply(Plain(0, 0, Rect{0, 0, 8, 8}));
  const Rect rects[] = {{2, 2, 6, 6}, {6, 6, 2, 2}};
  for (const Rect& r : rects) {
    Image dst(8, 8, qx::kPixel32);
    qx::DrawImageStretched(&dst.img, &src.img, &r, false);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        bool in = x >= 2 && x < 6 && y >= 2 && y < 6;
        uint32_t want = in ? 0xFF000000u | static_cast<uint32_t>(1 + (x - 2) / 2 + 2 * ((y - 2) / 2)) : 0u;
        ASSERT_EQ(dst.at(x, y), want) << x << "," << y;
      }
  }
}

TEST_F(RendererTest, FillRectRules) {
  struct Case {
    const char* name;
    int mode, param;
    uint32_t brightness;
    Rect rect;
    uint32_t color, before, expected;
    Rect expectArea;
  };
  const Case cases[] = {
      {"mode 0 writes all four bytes", 0, 0, 0xFFFFFF, {1, 1, 3, 3}, 0xFF102030, 0x00000000, 0xFF102030, {1, 1, 3, 3}},
      {"swapped corners fill the same", 0, 0, 0xFFFFFF, {3, 3, 1, 1}, 0xFF102030, 0x0, 0xFF102030, {1, 1, 3, 3}},
      {"mode 1 keeps the fourth byte", 1, 128, 0xFFFFFF, {0, 0, 4, 4}, 0xFFFFFFFF, 0x22000000, 0x227F7F7F,
       {0, 0, 4, 4}},
      {"brightness scales by /256", 0, 0, 0x808080, {0, 0, 4, 4}, 0xFFFFFFFF, 0x0, 0xFF7F7F7F, {0, 0, 4, 4}},
      {"clipped to the area", 0, 0, 0xFFFFFF, {-5, -5, 2, 9}, 0xFF000001, 0x0, 0xFF000001, {0, 0, 2, 4}},
  };
  for (int simd = qx::kSimdNone; simd <= qx::RendererBestSimdLevel(); ++simd) {
    qx::SetRendererSimdLevel(simd);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " at " + LevelName(simd));
      Image dst(4, 4, qx::kPixel32);
      dst.fill(c.before);
      ref::Settings s = Plain(c.mode, c.param, Rect{0, 0, 4, 4});
      s.brightness = c.brightness;
      Apply(s);
      qx::FillRect(&dst.img, &c.rect, c.color);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
          bool in = x >= c.expectArea.left && x < c.expectArea.right && y >= c.expectArea.top &&
                    y < c.expectArea.bottom;
          ASSERT_EQ(dst.at(x, y), in ? c.expected : c.before) << x << "," << y;
        }
    }
  }
}

TEST_F(RendererTest, SixteenBitFields) {
  // Mode 1 through the 6-bit table, the p = 128 halving, the colour key and the A-table fill.
  Image dst(1, 1, qx::kPixel16);
  Image src(1, 1, qx::kPixel16, 0, 0, 0xF81F);
  const uint8_t* C = qx::BlendTable6();
  auto c6 = [&](int t, int m, int n) { return C[(t * 64 + m) * 64 + n]; };

  src.set(0, 0, 0xFFFF);
  dst.set(0, 0, 0x0000);
  Apply(Plain(1, 100, Rect{0, 0, 1, 1}));
  qx::DrawImageAt(&dst.img, &src.img, 0, 0, true, nullptr);
  uint32_t want = (c6(25, 31, 0) << 11) | (c6(25, 63, 0) << 5) | c6(25, 31, 0);
  EXPECT_EQ(dst.at(0, 0), want);

  src.set(0, 0, 0x0843);  // r 1, g 2, b 3
  dst.set(0, 0, 0x0843);
  Apply(Plain(1, 128, Rect{0, 0, 1, 1}));
  qx::DrawImageAt(&dst.img, &src.img, 0, 0, true, nullptr);
  EXPECT_EQ(dst.at(0, 0), ((0x0843u >> 1) & 0x7BEF) * 2);

  src.set(0, 0, 0xF81F);
  dst.set(0, 0, 0x1234);
  Apply(Plain(0, 0, Rect{0, 0, 1, 1}));
  qx::DrawImageAt(&dst.img, &src.img, 0, 0, true, nullptr);
  EXPECT_EQ(dst.at(0, 0), 0x1234u);

  dst.set(0, 0, 0x0000);
  Apply(Plain(1, 200, Rect{0, 0, 1, 1}));
  qx::FillRect(&dst.img, nullptr, 0xFFFF);
  int r = qx::MixTableValue(200, 31), g = qx::MixTableValue(200, 63);
  EXPECT_EQ(r, 31 * 200 / 255);
  EXPECT_EQ(dst.at(0, 0), static_cast<uint32_t>((r << 11) | (g << 5) | r));
}

// Random pictures of every source kind, drawn under random settings by the
// renderer (scalar and vector) and by the reference.
struct RandomDraw {
  std::mt19937 rng;
  explicit RandomDraw(uint32_t seed) : rng(seed) {}
  int range(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

  void fillRandom(Image& im, uint32_t key) {
    // Alpha comes in runs, as in real pictures, so that whole groups of
    // clear or opaque pixels occur as well as mixed ones.
    int pick = 0;
    for (int y = 0; y < im.img.height; ++y)
      for (int x = 0; x < im.img.width; ++x) {
        uint32_t v = rng();
        if (im.img.alphaFlag) {
          if (range(0, 11) == 0) pick = range(0, 4);
          const uint32_t edge[3] = {0, 255, 254};
          uint32_t a;
          switch (pick) {
            case 0: a = 0; break;
            case 1: a = 255; break;
            case 2: a = static_cast<uint32_t>(range(1, 254)); break;
            case 3: a = edge[range(0, 1)]; break;  // clear and opaque mixed
            default: a = edge[range(0, 2)]; break;
          }
          v = im.img.pixelType == qx::kPixel32 ? ((v & 0xFFFFFF) | (a << 24)) : ((v & 0xFFFF) | (a << 16));
        } else if (range(0, 4) == 0) {
          v = key;
        }
        im.set(x, y, v);
      }
    if (im.img.paletteFlag) {
      for (int i = 0; i < 256; ++i) {
        if (im.img.pixelType == qx::kPixel32)
          static_cast<uint32_t*>(im.img.palette)[i] = rng() & 0xFFFFFF;
        else
          static_cast<uint16_t*>(im.img.palette)[i] = static_cast<uint16_t>(rng());
      }
    }
  }

  ref::Settings settings(int w, int h) {
    ref::Settings s;
    const int params[] = {1, 64, 127, 128, 129, 200, 254, 255};
    s.mode = range(0, 9) < 7 ? range(0, 1) : range(2, 5);
    s.param = range(0, 2) == 0 ? range(0, 255) : params[range(0, 7)];
    s.brightness = range(0, 2) == 0 ? (rng() & 0xFFFFFF) : 0xFFFFFF;
    int border = range(0, 255), rangeV = range(0, 255);
    qx::BuildBlendMaskTable(s.maskTable, border, rangeV);
    if (range(0, 3) == 0) {
      s.area = Rect{0, 0, w, h};
    } else {
      s.area = Rect{range(0, w / 2), range(0, h / 2), range(w / 2, w), range(h / 2, h)};
    }
    return s;
  }
};

void ExpectSame(const Image& a, const Image& b, const std::string& what) {
  for (int y = 0; y < a.img.height; ++y)
    for (int x = 0; x < a.img.width; ++x)
      if (a.at(x, y) != b.at(x, y)) {
        FAIL() << what << ": pixel " << x << "," << y << " is " << std::hex << a.at(x, y) << ", reference "
               << b.at(x, y);
      }
}

std::string Describe(const ref::Settings& s, int type, int pal, int alpha, bool trans, bool mask, int seed) {
  char buf[200];
  snprintf(buf, sizeof(buf), "seed %d type %d pal %d alpha %d trans %d mask %d mode %d p %d bright %06x", seed,
           type, pal, alpha, trans ? 1 : 0, mask ? 1 : 0, s.mode, s.param, s.brightness);
  return buf;
}

TEST_F(RendererTest, RandomDrawingsMatchTheReference) {
  const int W = 72, H = 56;
  for (int seed = 0; seed < 600; ++seed) {
    RandomDraw r(static_cast<uint32_t>(seed));
    int type = r.range(0, 3) == 0 ? qx::kPixel16 : qx::kPixel32;
    int kind = r.range(0, 2);  // plain, palette, alpha
    int pal = kind == 1, alpha = kind == 2;
    int sw = r.range(1, 40), sh = r.range(1, 40);
    uint32_t key = type == qx::kPixel32 ? 0xFFFF00FF : 0xF81F;
    if (pal) key = static_cast<uint32_t>(r.range(0, 255));
    Image src(sw, sh, type, pal, alpha, key);
    r.fillRandom(src, key);
    Image mask(sw + r.range(0, 3), sh + r.range(0, 3), qx::kPixelMask8);
    r.fillRandom(mask, 0);
    bool useMask = r.range(0, 2) == 0;
    bool trans = r.range(0, 1) == 1;
    ref::Settings s = r.settings(W, H);
    Image base(W, H, type);
    r.fillRandom(base, 0);
    int op = r.range(0, 2);  // at, rotated, fill
    int x = r.range(-45, W + 5), y = r.range(-45, H + 5);
    float angle = static_cast<float>(r.range(-7000, 7000)) / 1000.0f;
    float scale = static_cast<float>(r.range(200, 3200)) / 1000.0f;
    if (r.range(0, 5) == 0) angle = 0.0f;
    Rect fill{r.range(-10, W + 10), r.range(-10, H + 10), r.range(-10, W + 10), r.range(-10, H + 10)};
    uint32_t color = r.rng();

    Image want(W, H, type);
    memcpy(want.img.pixels, base.img.pixels, static_cast<size_t>(base.img.pitch) * H);
    const MEMIMG* m = useMask ? &mask.img : nullptr;
    if (op == 0) ref::DrawAt(&want.img, &src.img, x, y, trans, m, s);
    else if (op == 1) ref::DrawRotated(&want.img, &src.img, x, y, angle, scale, trans, m, s);
    else ref::Fill(&want.img, fill, color, s);

    for (int simd = qx::kSimdNone; simd <= qx::RendererBestSimdLevel(); ++simd) {
      qx::SetRendererSimdLevel(simd);
      Image got(W, H, type);
      memcpy(got.img.pixels, base.img.pixels, static_cast<size_t>(base.img.pitch) * H);
      Apply(s);
      if (op == 0) qx::DrawImageAt(&got.img, &src.img, x, y, trans, m);
      else if (op == 1) qx::DrawImageRotated(&got.img, &src.img, x, y, angle, scale, trans, false, m);
      else qx::FillRect(&got.img, &fill, color);
      const char* opName[] = {"at", "rotated", "fill"};
      ExpectSame(got, want, std::string(opName[op]) + " " + LevelName(simd) + " " +
                                Describe(s, type, pal, alpha, trans, useMask, seed));
      if (HasFatalFailure()) return;
    }
  }
}

// The game's own drawings: wide 32-bit keyed or alpha pictures in modes 0
// and 1 at full brightness, unmasked, so that the vector paths run on many
// whole groups of every make-up (all keyed or clear, all opaque, mixed).
TEST_F(RendererTest, GameShapedDrawingsMatchTheReference) {
  struct Shape {
    const char* name;
    int alpha;
    int mode;
  };
  const Shape shapes[] = {
      {"keyed mode 0", 0, 0},
      {"keyed mode 1", 0, 1},
      {"alpha mode 0", 1, 0},
      {"alpha mode 1", 1, 1},
  };
  const int W = 96, H = 80;
  const uint32_t key = 0xFFFF00FF;
  for (const Shape& shape : shapes) {
    for (int seed = 0; seed < 120; ++seed) {
      RandomDraw r(static_cast<uint32_t>(seed) * 7919u + static_cast<uint32_t>(shape.alpha * 2 + shape.mode));
      Image src(r.range(8, 64), r.range(8, 64), qx::kPixel32, 0, shape.alpha, key);
      r.fillRandom(src, key);
      ref::Settings s = Plain(shape.mode, r.range(0, 1) ? r.range(1, 255) : 128, Rect{0, 0, W, H});
      Image base(W, H, qx::kPixel32);
      r.fillRandom(base, 0);
      bool rotated = r.range(0, 3) != 0;
      int x = r.range(-20, W + 20), y = r.range(-20, H + 20);
      float angle = static_cast<float>(r.range(-7000, 7000)) / 1000.0f;
      float scale = static_cast<float>(r.range(500, 3200)) / 1000.0f;

      Image want(W, H, qx::kPixel32);
      memcpy(want.img.pixels, base.img.pixels, static_cast<size_t>(base.img.pitch) * H);
      if (rotated)
        ref::DrawRotated(&want.img, &src.img, x, y, angle, scale, true, nullptr, s);
      else
        ref::DrawAt(&want.img, &src.img, x, y, true, nullptr, s);
      for (int simd = qx::kSimdNone; simd <= qx::RendererBestSimdLevel(); ++simd) {
        qx::SetRendererSimdLevel(simd);
        Image got(W, H, qx::kPixel32);
        memcpy(got.img.pixels, base.img.pixels, static_cast<size_t>(base.img.pitch) * H);
        Apply(s);
        if (rotated)
          qx::DrawImageRotated(&got.img, &src.img, x, y, angle, scale, true, false, nullptr);
        else
          qx::DrawImageAt(&got.img, &src.img, x, y, true, nullptr);
        ExpectSame(got, want, std::string(shape.name) + (rotated ? " rotated" : " at") +
                                  " " + LevelName(simd) + " seed " + std::to_string(seed) + " p " +
                                  std::to_string(s.param));
        if (HasFatalFailure()) return;
      }
    }
  }
}

// Triangles, turned and stretched drawing have no reference of their own
// (their rasterisation is the renderer's choice): every vector level must
// draw exactly what the plain level draws.
TEST_F(RendererTest, TrianglesTurnedAndStretchedDrawingsAgreeAtEveryLevel) {
  const int W = 90, H = 70;
  for (int seed = 0; seed < 200; ++seed) {
    RandomDraw r(static_cast<uint32_t>(seed) + 40000u);
    int alpha = r.range(0, 1);
    Image src(r.range(1, 50), r.range(1, 50), qx::kPixel32, 0, alpha, 0xFFFF00FF);
    r.fillRandom(src, 0xFFFF00FF);
    Image mask(src.img.width, src.img.height, qx::kPixelMask8);
    r.fillRandom(mask, 0);
    bool useMask = r.range(0, 2) == 0;
    bool trans = r.range(0, 1) == 1;
    ref::Settings s = r.settings(W, H);
    Image base(W, H, qx::kPixel32);
    r.fillRandom(base, 0);
    int op = r.range(0, 2);  // triangle, turned, stretched
    qx::TriangleVertex tri[3];
    for (auto& v : tri) {
      v.x = static_cast<float>(r.range(-200, W * 10 + 200)) / 10.0f;
      v.y = static_cast<float>(r.range(-200, H * 10 + 200)) / 10.0f;
      v.u = static_cast<float>(r.range(0, src.img.width * 10)) / 10.0f;
      v.v = static_cast<float>(r.range(0, src.img.height * 10)) / 10.0f;
    }
    int x = r.range(-20, W + 20), y = r.range(-20, H + 20);
    float angle = static_cast<float>(r.range(-7000, 7000)) / 1000.0f;
    float scale = static_cast<float>(r.range(200, 3200)) / 1000.0f;
    Rect rect{r.range(-20, W + 20), r.range(-20, H + 20), r.range(-20, W + 20), r.range(-20, H + 20)};
    const MEMIMG* m = useMask ? &mask.img : nullptr;
    auto draw = [&](Image& out) {
      Apply(s);
      if (op == 0) qx::DrawImageTriangle(&out.img, &src.img, tri, trans, m);
      else if (op == 1) qx::DrawImageRotated(&out.img, &src.img, x, y, angle, scale, trans, true, m);
      else qx::DrawImageStretched(&out.img, &src.img, &rect, trans);
    };
    Image plain(W, H, qx::kPixel32);
    memcpy(plain.img.pixels, base.img.pixels, static_cast<size_t>(base.img.pitch) * H);
    qx::SetRendererSimdLevel(qx::kSimdNone);
    draw(plain);
    for (int simd = qx::kSimdSse2; simd <= qx::RendererBestSimdLevel(); ++simd) {
      qx::SetRendererSimdLevel(simd);
      Image got(W, H, qx::kPixel32);
      memcpy(got.img.pixels, base.img.pixels, static_cast<size_t>(base.img.pitch) * H);
      draw(got);
      const char* opName[] = {"triangle", "turned", "stretched"};
      ExpectSame(got, plain, std::string(opName[op]) + " " + LevelName(simd) + " " +
                                 Describe(s, qx::kPixel32, 0, alpha, trans, useMask, seed));
      if (HasFatalFailure()) return;
    }
  }
}

// Screen-sized drawings of large pictures, as the game makes them: views
// into a wider strip, at small and large angles and scales, drawn by the
// calling thread alone and split over threads. Every level must draw what
// the reference draws.
TEST_F(RendererTest, LargeDrawingsMatchTheReferenceAloneAndSplitOverThreads) {
  struct Case {
    const char* name;
    int alpha;
    bool trans;
    int mode;
    bool mask;
  };
  const Case cases[] = {
      {"keyed mode 0", 0, true, 0, false},     {"keyed mode 1", 0, true, 1, false},
      {"alpha mode 0", 1, true, 0, false},     {"alpha mode 1", 1, true, 1, false},
      {"alpha weighted add", 1, false, 2, false}, {"keyed masked multiply", 0, true, 4, true},
  };
  const int W = 320, H = 240;
  const uint32_t key = 0xFFFF00FF;
  for (const Case& c : cases) {
    for (int seed = 0; seed < 12; ++seed) {
      RandomDraw r(static_cast<uint32_t>(seed) * 104729u + static_cast<uint32_t>(c.mode * 4 + c.alpha));
      int sw = r.range(60, 300), sh = r.range(40, 260);
      // The picture is the middle third of its strip, so that any read past
      // its sides would pick the neighbours' pixels.
      Image strip(sw * 3, sh, qx::kPixel32, 0, c.alpha, key);
      r.fillRandom(strip, key);
      MEMIMG src;
      qx::MemImageView(&src, &strip.img, sw, 0, sw, sh);
      Image mask(sw, sh, qx::kPixelMask8);
      r.fillRandom(mask, 0);
      const MEMIMG* m = c.mask ? &mask.img : nullptr;
      ref::Settings s = Plain(c.mode, r.range(1, 255), Rect{0, 0, W, H});
      Image base(W, H, qx::kPixel32);
      r.fillRandom(base, 0);
      int op = r.range(0, 3);  // at, rotated (twice as often), fill
      int x = r.range(-sw / 2, W + sw / 2), y = r.range(-sh / 2, H + sh / 2);
      float angle = 0.0f;
      switch (r.range(0, 2)) {
        case 0: break;
        case 1: angle = static_cast<float>(r.range(-300, 300)) / 1000.0f; break;
        default: angle = static_cast<float>(r.range(-7000, 7000)) / 1000.0f; break;
      }
      float scale = static_cast<float>(r.range(400, 3000)) / 1000.0f;
      Rect fill{r.range(-10, W + 10), r.range(-10, H + 10), r.range(-10, W + 10), r.range(-10, H + 10)};
      uint32_t color = r.rng();

      Image want(W, H, qx::kPixel32);
      memcpy(want.img.pixels, base.img.pixels, static_cast<size_t>(base.img.pitch) * H);
      if (op == 0) ref::DrawAt(&want.img, &src, x, y, c.trans, m, s);
      else if (op == 3) ref::Fill(&want.img, fill, color, s);
      else ref::DrawRotated(&want.img, &src, x, y, angle, scale, c.trans, m, s);
      for (int simd = qx::kSimdNone; simd <= qx::RendererBestSimdLevel(); ++simd) {
        for (int threads : {1, 3}) {
          qx::SetRendererSimdLevel(simd);
          qx::SetDrawThreads(threads);
          Image got(W, H, qx::kPixel32);
          memcpy(got.img.pixels, base.img.pixels, static_cast<size_t>(base.img.pitch) * H);
          Apply(s);
          if (op == 0) qx::DrawImageAt(&got.img, &src, x, y, c.trans, m);
          else if (op == 3) qx::FillRect(&got.img, &fill, color);
          else qx::DrawImageRotated(&got.img, &src, x, y, angle, scale, c.trans, false, m);
          ExpectSame(got, want, std::string(c.name) + " op " + std::to_string(op) + " " + LevelName(simd) +
                                    " threads " + std::to_string(threads) + " seed " + std::to_string(seed));
          if (HasFatalFailure()) return;
        }
      }
    }
  }
}

// Turned near a quarter, a drawing's rows walk down the picture's columns,
// one picture row per pixel, while its columns walk along the picture's
// rows: such blocks of rows are sampled column by column. Rows of every
// length and position in a block, cut by the draw area, at every setting.
TEST_F(RendererTest, SteepRotationsMatchTheReferenceAloneAndSplitOverThreads) {
  struct Case {
    const char* name;
    int alpha;
    bool trans;
    int mode;
    uint32_t brightness;
  };
  const Case cases[] = {
      {"keyed mode 0", 0, true, 0, 0xFFFFFF},         {"keyed mode 1", 0, true, 1, 0xFFFFFF},
      {"plain mode 0", 0, false, 0, 0xFFFFFF},        {"alpha mode 0", 1, true, 0, 0xFFFFFF},
      {"alpha mode 1", 1, true, 1, 0xFFFFFF},         {"alpha weighted mode 1", 1, false, 1, 0xFFFFFF},
      {"alpha add, dimmed", 1, true, 2, 0x80C040},    {"keyed subtract", 0, true, 3, 0xFFFFFF},
      {"alpha weighted multiply", 1, false, 4, 0xFFFFFF}, {"keyed mode 0, dimmed", 0, true, 0, 0x4080FF},
  };
  const int W = 200, H = 150;
  const uint32_t key = 0xFFFF00FF;
  for (const Case& c : cases) {
    for (int seed = 0; seed < 8; ++seed) {
      RandomDraw r(static_cast<uint32_t>(seed) * 7727u + static_cast<uint32_t>(c.mode * 8 + c.alpha * 2 + c.trans));
      int sw = r.range(16, 180), sh = r.range(16, 140);
      // Every other picture is the middle third of a strip, where a read past
      // its sides would pick its neighbours; the others are pictures of their
      // own, where a read past the first or last row leaves the allocation.
      bool view = seed % 2 == 1;
      Image strip(view ? sw * 3 : sw, sh, qx::kPixel32, 0, c.alpha, key);
      r.fillRandom(strip, key);
      MEMIMG src;
      qx::MemImageView(&src, &strip.img, view ? sw : 0, 0, sw, sh);
      Rect area = r.range(0, 1) ? Rect{0, 0, W, H}
                                : Rect{r.range(0, W / 3), r.range(0, H / 3), r.range(W / 2, W), r.range(H / 2, H)};
      ref::Settings s = Plain(c.mode, r.range(1, 254), area);
      s.brightness = c.brightness;
      Image base(W, H, qx::kPixel32);
      r.fillRandom(base, 0);
      int x = r.range(0, W), y = r.range(0, H);
      float quarter = 1.5707964f * static_cast<float>(2 * r.range(-2, 1) + 1);  // an odd quarter turn
      float angle = quarter + static_cast<float>(r.range(-300, 300)) / 1000.0f;
      float scale = static_cast<float>(r.range(900, 3000)) / 1000.0f;

      Image want(W, H, qx::kPixel32);
      memcpy(want.img.pixels, base.img.pixels, static_cast<size_t>(base.img.pitch) * H);
      ref::DrawRotated(&want.img, &src, x, y, angle, scale, c.trans, nullptr, s);
      for (int simd = qx::kSimdNone; simd <= qx::RendererBestSimdLevel(); ++simd) {
        for (int threads : {1, 3}) {
          qx::SetRendererSimdLevel(simd);
          qx::SetDrawThreads(threads);
          Image got(W, H, qx::kPixel32);
          memcpy(got.img.pixels, base.img.pixels, static_cast<size_t>(base.img.pitch) * H);
          Apply(s);
          qx::DrawImageRotated(&got.img, &src, x, y, angle, scale, c.trans, false, nullptr);
          ExpectSame(got, want, std::string(c.name) + " " + LevelName(simd) + " threads " + std::to_string(threads) +
                                    " seed " + std::to_string(seed) + " angle " + std::to_string(angle) + " scale " +
                                    std::to_string(scale));
          if (HasFatalFailure()) return;
        }
      }
    }
  }
}

// Each row of a split drawing is drawn exactly once, wherever the drawing
// lies on its destination and however many threads share it.
TEST(DrawThreads, EveryRowOfASplitDrawingIsDrawnOnce) {
  struct Case {
    int top, rows, height;
  };
  const Case cases[] = {
      {0, 600, 600},  {0, 1, 600},   {5, 2, 600},      {7, 9, 600},    {15, 2, 600},   {290, 30, 600},
      {16, 16, 600},  {0, 299, 600}, {301, 299, 600},  {599, 1, 600},  {3, 590, 600},  {100, 40, 150},
      {0, 37, 37},    {0, 700, 600}, {-20, 100, 600},  {450, 150, 600}, {33, 1000, 2048},
  };
  struct Rows {
    std::vector<std::atomic<int>> drawn;
    std::atomic<int> outside{0};
    explicit Rows(int n) : drawn(static_cast<size_t>(n)) {}
  };
  const int threadsBefore = qx::DrawThreads();
  for (int threads : {2, 3, 8}) {
    qx::SetDrawThreads(threads);
    for (const Case& c : cases) {
      Rows rows(c.rows);
      auto draw = [](const void* job, int begin, int end) {
        Rows& r = *static_cast<Rows*>(const_cast<void*>(job));
        if (begin < 0 || end > static_cast<int>(r.drawn.size()) || begin >= end) r.outside.fetch_add(1);
        for (int y = begin < 0 ? 0 : begin; y < end && y < static_cast<int>(r.drawn.size()); ++y)
          r.drawn[y].fetch_add(1);
      };
      qx::DrawRowBands(c.top, c.rows, c.height, int64_t{1} << 20, draw, &rows);
      std::string where = "threads " + std::to_string(threads) + " top " + std::to_string(c.top) + " rows " +
                          std::to_string(c.rows) + " height " + std::to_string(c.height);
      EXPECT_EQ(rows.outside.load(), 0) << where;
      int wrong = 0;
      for (int y = 0; y < c.rows; ++y) wrong += rows.drawn[y].load() != 1;
      EXPECT_EQ(wrong, 0) << where;
    }
  }
  qx::SetDrawThreads(threadsBefore);
}

TEST(DrawThreads, StartingCountFromTheEnvironment) {
  struct Case {
    const char* text;
    int processors;
    int want;
  };
  const Case cases[] = {
      {nullptr, 2, 2}, {nullptr, 0, 1},  {nullptr, 64, 8}, {"0", 4, 1},    {"1", 4, 1},
      {"3", 2, 3},     {"100", 2, 8},    {"", 4, 4},       {"two", 4, 4},  {"-2", 4, 4},
      {"2x", 4, 4},
  };
  for (const Case& c : cases)
    EXPECT_EQ(qx::DrawThreadsFor(c.text, c.processors), c.want) << (c.text ? c.text : "(unset)") << " " << c.processors;
}

}  // namespace
