#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

#include "graphics/image_test_util.h"
#include "runtime/core/alloc.h"
#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/window_state.h"
#include "runtime/file/file.h"
#include "runtime/file/rpk_writer.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/graph.h"

namespace {

using qxtest::ReadFixture;

uint32_t StoredValue(const qx::MEMIMG& view, int x, int y) {
  int bpp = view.format->BytesPerPixel;
  const uint8_t* p = view.pixels + static_cast<size_t>(y) * view.pitch + static_cast<size_t>(x) * bpp;
  uint32_t v = 0;
  for (int i = 0; i < bpp; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

// The colour a store shows at a pixel, through its palette when it has one.
qxtest::Rgba StoredColour(const qx::MEMIMG& view, int x, int y) {
  uint32_t v = StoredValue(view, x, y);
  qxtest::Rgba c{};
  if (view.paletteFlag) {
    uint32_t e = view.pixelType == qx::kPixel16 ? static_cast<uint16_t*>(view.palette)[v]
                                                : static_cast<uint32_t*>(view.palette)[v];
    const ColorFormat* f = qx::GetMemImageFormat(view.pixelType, 0, 0);
    qx::UnpackColor(f, e, &c.r, &c.g, &c.b, &c.a);
    return c;
  }
  qx::UnpackColor(view.format, v, &c.r, &c.g, &c.b, &c.a);
  return c;
}

class ImageLoadTest : public testing::Test {
 protected:
  void SetUp() override {
    // Loads wait while the window is inactive; these tests have no window.
    qx::GetWindowState().windowActive = 1;
    // Stores take the requested screen depth; earlier tests in this process may
    // have asked for 32 bits, and the expected pixels here are for 16.
    qx::SetScreenMode(640, 480, 16, 0);
    qx::StartGraphSystem();
    qx::GetDrawState().transparentColor = 0xFF00FF;
    char pattern[] = "/tmp/quarnex-image-load-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    qx::StopGraphSystem();
    for (const std::string& f : made_) unlink(f.c_str());
    rmdir(dir_.c_str());
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = dir_ + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (f) {
      fwrite(bytes.data(), 1, bytes.size(), f);
      fclose(f);
    }
    made_.push_back(path);
    return path;
  }
  // A fixture (and its "_a" companion, if any) copied under a short path: the
  // graph keeps names of up to 63 characters only, wherever the tree is.
  std::string Local(const std::string& name) {
    std::string path = dir_ + "/" + name;
    if (access(path.c_str(), F_OK) == 0) return path;
    Write(name, ReadFixture(name));
    size_t dot = name.rfind('.');
    std::string companion = name.substr(0, dot) + "_a" + name.substr(dot);
    std::vector<uint8_t> alpha = ReadFixture(companion);
    if (!alpha.empty()) Write(companion, alpha);
    return path;
  }
  // The fixture's pixels (straight from the independent decoder).
  static qxtest::Rgba Expected(const std::vector<uint8_t>& rgba, int width, int x, int y) {
    const uint8_t* p = &rgba[(y * width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
  }
  // Each stored channel equals the expected one reduced to the store's width.
  static void ExpectColour(const qx::MEMIMG& view, int x, int y, qxtest::Rgba want, bool alpha,
                           int tolerance = 0) {
    const ColorFormat* f = view.paletteFlag ? qx::GetMemImageFormat(view.pixelType, 0, 0) : view.format;
    uint32_t packed = qx::PackColor(f, want.r, want.g, want.b, alpha ? want.a : 255);
    qxtest::Rgba w{}, got = StoredColour(view, x, y);
    qx::UnpackColor(f, packed, &w.r, &w.g, &w.b, &w.a);
    EXPECT_NEAR(got.r, w.r, tolerance) << "red at " << x << "," << y;
    EXPECT_NEAR(got.g, w.g, tolerance) << "green at " << x << "," << y;
    EXPECT_NEAR(got.b, w.b, tolerance) << "blue at " << x << "," << y;
    if (alpha) {
      EXPECT_NEAR(got.a, w.a, tolerance) << "alpha at " << x << "," << y;
    }
  }
  std::string dir_;
  std::vector<std::string> made_;
};

TEST_F(ImageLoadTest, EveryFormatLoadsIntoAGraphWithItsPixels) {
  // Channels narrower than the store's are widened from their own bits, which
  // may land one store step away from the 8-bit value narrowed.
  struct {
    const char* file;
    bool alpha;
    int tolerance;
  } cases[] = {{"png_rgb.png", false, 0},    {"png_rgba.png", true, 0},        {"png_pal.png", false, 0},
               {"png_grey.png", false, 0},   {"png_grey_alpha.png", false, 0}, {"bmp_rle4.bmp", false, 0},
               {"bmp_16_565.bmp", false, 1}, {"tga_10_32_br.tga", true, 0},    {"dds_code26.dds", true, 9},
               {"bgra_16.bgra", true, 0}};
  for (auto& c : cases) {
    int g = qx::LoadGraphFile(Local(c.file).c_str(), 0);
    ASSERT_NE(g, -1) << c.file;
    qx::MEMIMG view{};
    ASSERT_EQ(qx::GetGraphImage(g, &view), 0);
    EXPECT_EQ(view.width, 7);
    EXPECT_EQ(view.alphaFlag, c.alpha ? 1 : 0) << c.file;
    EXPECT_STREQ(qx::GetGraphRecord(g)->fileName, Local(c.file).c_str());
    std::vector<uint8_t> want = ReadFixture(std::string(c.file) + ".rgba");
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) {
        SCOPED_TRACE(c.file);
        ExpectColour(view, x, y, Expected(want, 7, x, y), c.alpha, c.tolerance);
      }
  }
}

TEST_F(ImageLoadTest, TransparentColourBecomesTheColourKeyOfOpaqueStores) {
  std::vector<uint8_t> want = ReadFixture("png_rgb.png.rgba");
  int g = qx::LoadGraphFile(Local("png_rgb.png").c_str(), 0);
  ASSERT_NE(g, -1);
  qx::MEMIMG view{};
  ASSERT_EQ(qx::GetGraphImage(g, &view), 0);
  ASSERT_EQ(view.alphaFlag, 0);
  int keyed = 0;
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      qxtest::Rgba c = Expected(want, 7, x, y);
      bool magenta = c.r == 255 && c.g == 0 && c.b == 255;
      keyed += magenta;
      EXPECT_EQ(StoredValue(view, x, y) == view.colorKey, magenta) << x << "," << y;
    }
  EXPECT_EQ(keyed, 2);
  EXPECT_EQ(view.colorKey, view.pixelType == qx::kPixel16 ? 0xF81Fu : 0xFFFF00FFu);

  // The colour in force at creation stays with the graph.
  qx::GetDrawState().transparentColor = 0x00FF00;
  qx::MEMIMG again{};
  ASSERT_EQ(qx::GetGraphImage(g, &again), 0);
  EXPECT_EQ(again.colorKey, view.colorKey);
}

TEST_F(ImageLoadTest, OwnAlphaIgnoresTheTransparentColour) {
  int g = qx::LoadGraphFile(Local("png_rgba.png").c_str(), 0);
  ASSERT_NE(g, -1);
  qx::MEMIMG view{};
  ASSERT_EQ(qx::GetGraphImage(g, &view), 0);
  ASSERT_EQ(view.alphaFlag, 1);
  // (3, 2) is magenta with alpha 200 in the file; (0, 0) magenta and opaque.
  qxtest::Rgba c = StoredColour(view, 3, 2);
  EXPECT_EQ(c.a, 200);
  EXPECT_EQ(c.r, 255);
  EXPECT_EQ(StoredColour(view, 0, 0).a, 255);
}

TEST_F(ImageLoadTest, PaletteStoresKeyTheFirstEntryOfTheTransparentColour) {
  struct {
    const char* file;
    bool hasMagenta;
  } cases[] = {{"png_pal.png", true}, {"pal_nokey.png", false}};
  for (auto& c : cases) {
    int g = qx::LoadGraphFile(Local(c.file).c_str(), 0);
    ASSERT_NE(g, -1) << c.file;
    qx::MEMIMG view{};
    ASSERT_EQ(qx::GetGraphImage(g, &view), 0);
    ASSERT_EQ(view.paletteFlag, 1) << c.file;
    std::vector<uint8_t> want = ReadFixture(std::string(c.file) + ".rgba");
    int highest = 0;
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) {
        qxtest::Rgba e = Expected(want, 7, x, y);
        bool magenta = e.r == 255 && e.g == 0 && e.b == 255;
        uint32_t index = StoredValue(view, x, y);
        if (static_cast<int>(index) > highest) highest = static_cast<int>(index);
        if (c.hasMagenta) {
          EXPECT_EQ(index == view.colorKey, magenta) << c.file << " " << x << "," << y;
        }
      }
    if (!c.hasMagenta) {
      EXPECT_EQ(view.colorKey, 0u) << c.file;
    }
    EXPECT_EQ(view.paletteCount, highest + 1) << c.file;
  }
}

TEST_F(ImageLoadTest, BlendMaskTakesTheRedChannel) {
  int g = qx::LoadBlendMaskFile(Local("png_rgb.png").c_str());
  ASSERT_NE(g, -1);
  EXPECT_EQ(qx::GetBlendMaskCreation(), 0);
  EXPECT_EQ(qx::GetGraphRecord(g)->blendMaskFlag, 1);
  qx::MEMIMG view{};
  ASSERT_EQ(qx::GetGraphImage(g, &view), 0);
  ASSERT_EQ(view.pixelType, qx::kPixelMask8);
  std::vector<uint8_t> want = ReadFixture("png_rgb.png.rgba");
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(StoredValue(view, x, y), want[(y * 7 + x) * 4]) << x << "," << y;
  // Ordinary loads afterwards are colour graphs again.
  int colour = qx::LoadGraphFile(Local("png_rgb.png").c_str(), 0);
  EXPECT_EQ(qx::GetGraphRecord(colour)->blendMaskFlag, 0);
}

TEST_F(ImageLoadTest, AlphaCompanionGivesTheAlphaChannel) {
  int g = qx::LoadGraphFile(Local("pic.png").c_str(), 0);
  ASSERT_NE(g, -1);
  qx::MEMIMG view{};
  ASSERT_EQ(qx::GetGraphImage(g, &view), 0);
  ASSERT_EQ(view.alphaFlag, 1);
  std::vector<uint8_t> colour = ReadFixture("pic.png.rgba"), alpha = ReadFixture("pic_a.png.rgba");
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      qxtest::Rgba want = Expected(colour, 7, x, y);
      want.a = alpha[(y * 7 + x) * 4];
      ExpectColour(view, x, y, want, true);
    }
  // A companion of another size fails the load and leaves nothing behind.
  const int graphs = qx::GraphTable().count, stores = qx::SurfaceDataTable().count;
  EXPECT_EQ(qx::LoadGraphFile(Local("odd.png").c_str(), 0), -1);
  EXPECT_EQ(qx::GraphTable().count, graphs);
  EXPECT_EQ(qx::SurfaceDataTable().count, stores);

  // Names without an extension get "_a" appended; dots in folders do not count.
  std::vector<uint8_t> png = ReadFixture("pic.png"), png_a = ReadFixture("pic_a.png");
  Write("noext", png);
  Write("noext_a", png_a);
  int plain = qx::LoadGraphFile((dir_ + "/noext").c_str(), 0);
  ASSERT_NE(plain, -1);
  ASSERT_EQ(qx::GetGraphImage(plain, &view), 0);
  EXPECT_EQ(view.alphaFlag, 1);
}

TEST_F(ImageLoadTest, MissingAndUnreadableFilesFail) {
  EXPECT_EQ(qx::LoadGraphFile((dir_ + "/none.png").c_str(), 0), -1);
  std::string text = Write("text.png", std::vector<uint8_t>(100, 'q'));
  EXPECT_EQ(qx::LoadGraphFile(text.c_str(), 0), -1);
  GraphHandle cells[4];
  EXPECT_EQ(qx::LoadDividedGraphFile(text.c_str(), 4, 2, 2, 2, 2, cells, 0), -1);
  EXPECT_EQ(qx::GraphTable().count, 0);
}

TEST_F(ImageLoadTest, DividedLoadsShareOneStoreThatOutlivesTheParent) {
  GraphHandle cells[4];
  ASSERT_EQ(qx::LoadDividedGraphFile(Local("grid.png").c_str(), 4, 2, 2, 4, 2, cells, 0), 0);
  EXPECT_EQ(qx::GraphTable().count, 4) << "the parent is gone";
  EXPECT_EQ(qx::SurfaceDataTable().count, 1);
  std::vector<uint8_t> want = ReadFixture("grid.png.rgba");
  const int origins[4][2] = {{0, 0}, {4, 0}, {0, 2}, {4, 2}};
  for (int i = 0; i < 4; ++i) {
    qx::GraphRecord* r = qx::GetGraphRecord(cells[i]);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->sourceX, origins[i][0]);
    EXPECT_EQ(r->sourceY, origins[i][1]);
    EXPECT_STREQ(r->fileName, Local("grid.png").c_str());
    qx::MEMIMG view{};
    ASSERT_EQ(qx::GetGraphImage(cells[i], &view), 0);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x)
        ExpectColour(view, x, y, Expected(want, 8, origins[i][0] + x, origins[i][1] + y), false);
  }
  EXPECT_EQ(qx::DeleteAllGraphs(0), 0);
  EXPECT_EQ(qx::SurfaceDataTable().count, 0);
  EXPECT_EQ(qx::SurfaceTileTable().count, 0);
}

TEST_F(ImageLoadTest, ACellAtThePictureEdgeFailsTheWholeLoad) {
  GraphHandle cells[3] = {7, 7, 7};
  EXPECT_EQ(qx::LoadDividedGraphFile(Local("grid.png").c_str(), 3, 3, 1, 4, 4, cells, 0), -1);
  for (GraphHandle h : cells) EXPECT_EQ(h, -1);
  EXPECT_EQ(qx::GraphTable().count, 0);
  EXPECT_EQ(qx::SurfaceDataTable().count, 0);
  // A cell that starts inside but reaches past the edge is cut short.
  ASSERT_EQ(qx::LoadDividedGraphFile(Local("pic.png").c_str(), 3, 3, 1, 3, 5, cells, 0), 0);
  EXPECT_EQ(qx::GetGraphRecord(cells[2])->width, 1);
  EXPECT_EQ(qx::GetGraphRecord(cells[2])->sourceX, 6);
}

TEST_F(ImageLoadTest, ACountOfNoCellsLoadsThePictureAndKeepsNothing) {
  GraphHandle cells[1] = {7};
  EXPECT_EQ(qx::LoadDividedGraphFile(Local("grid.png").c_str(), 0, 2, 2, 4, 2, cells, 0), 0);
  EXPECT_EQ(cells[0], 7);
  EXPECT_EQ(qx::LoadDividedGraphFile(Local("grid.png").c_str(), 0, 0, 0, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(qx::GraphTable().count, 0);
  EXPECT_EQ(qx::SurfaceDataTable().count, 0);
  // The picture is read all the same: a file that is not one fails.
  EXPECT_EQ(qx::LoadDividedGraphFile((dir_ + "/none.png").c_str(), 0, 2, 2, 4, 2, cells, 0), -1);
  EXPECT_EQ(qx::LoadDividedGraphFile(Local("grid.png").c_str(), -1, 2, 2, 4, 2, cells, 0), -1);
}

qx::GraphImage MakePicture(int width, int height) {
  qx::GraphImage img{};
  qx::SetRgb24Format(&img.format);
  img.width = width;
  img.height = height;
  img.pitch = width * 3;
  img.pixels = static_cast<uint8_t*>(qx::MemAlloc(static_cast<size_t>(img.pitch) * height));
  for (int i = 0; i < img.pitch * height; ++i) img.pixels[i] = static_cast<uint8_t>(i * 7);
  return img;
}

TEST_F(ImageLoadTest, CellsComeRowByRowAndRightToLeftWhenReversed) {
  qxtest::OwnedImage pic;
  pic.image = MakePicture(180, 120);
  struct {
    bool reverse;
    int xs[6];
  } cases[] = {{false, {0, 60, 120, 0, 60, 120}}, {true, {120, 60, 0, 120, 60, 0}}};
  for (auto& c : cases) {
    GraphHandle cells[5];
    ASSERT_EQ(qx::CreateDivGraphFromGraphImage(&pic.image, nullptr, 5, 3, 2, 60, 60, cells, true, c.reverse, false),
              0);
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(qx::GetGraphRecord(cells[i])->sourceX, c.xs[i]) << i;
      EXPECT_EQ(qx::GetGraphRecord(cells[i])->sourceY, i < 3 ? 0 : 60) << i;
    }
    qx::DeleteAllGraphs(0);
  }
}

// An ARGB picture of cells whose pixels are zero outside the given
// rectangle of each (x, y, width, height within the cell).
qx::GraphImage MakeSheet(int across, int cellWidth, int cellHeight, const std::vector<std::array<int, 4>>& boxes) {
  qx::GraphImage img{};
  qx::SetArgb32Format(&img.format);
  img.width = across * cellWidth;
  img.height = cellHeight * ((static_cast<int>(boxes.size()) + across - 1) / across);
  img.pitch = img.width * 4;
  size_t bytes = static_cast<size_t>(img.pitch) * img.height;
  img.pixels = static_cast<uint8_t*>(qx::MemAlloc(bytes));
  memset(img.pixels, 0, bytes);
  for (size_t c = 0; c < boxes.size(); ++c) {
    const std::array<int, 4>& b = boxes[c];
    for (int y = b[1]; y < b[1] + b[3]; ++y)
      for (int x = b[0]; x < b[0] + b[2]; ++x) {
        uint8_t* p = img.pixels + static_cast<size_t>((c / across) * cellHeight + y) * img.pitch +
                     ((c % across) * cellWidth + x) * 4;
        uint32_t v = static_cast<uint32_t>(x * 2654435761u ^ y * 40503u ^ c * 977u);
        memcpy(p, &v, 4);
        if ((x + y) % 5 == 0) p[3] = 0;  // colour under alpha 0 is kept
      }
  }
  return img;
}

// Sprite sheets keep each cell's non-zero rectangle only, all in one store;
// a cell handed out whole (as a draw target, say) gets exactly the pixels
// the plain division gives; a restore refills the rectangles.
TEST_F(ImageLoadTest, SparseCellsKeepTheirNonZeroRectanglesAndGiveTheWholeCellsBack) {
  qxtest::OwnedImage sheet;
  sheet.image = MakeSheet(3, 64, 48, {{4, 6, 20, 10}, {0, 0, 64, 3}, {63, 47, 1, 1}, {0, 0, 0, 0}, {10, 0, 5, 48}});
  GraphHandle whole[5], cropped[5];
  qx::SetCellCropping(false);
  ASSERT_EQ(qx::CreateDivGraphFromGraphImage(&sheet.image, nullptr, 5, 3, 2, 64, 48, whole, true, false, false), 0);
  qx::SetCellCropping(true);
  const int storesBefore = qx::SurfaceDataTable().count;
  ASSERT_EQ(qx::CreateDivGraphFromGraphImage(&sheet.image, nullptr, 5, 3, 2, 64, 48, cropped, true, false, false), 0);
  ASSERT_EQ(qx::SurfaceDataTable().count, storesBefore + 1) << "one store for all the cells";
  qx::SurfaceData* store = qx::GraphStore(cropped[0]);
  ASSERT_NE(store, nullptr);
  EXPECT_LE(static_cast<int64_t>(store->image.width) * store->image.height, 5 * 64 * 48 * 3 / 4);
  const int tiles[5][4] = {{4, 6, 20, 10}, {0, 0, 64, 3}, {63, 47, 1, 1}, {0, 0, 1, 1}, {10, 0, 5, 48}};
  for (int c = 0; c < 5; ++c) {
    SCOPED_TRACE(c);
    qx::GraphRecord* r = qx::GetGraphRecord(cropped[c]);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->width, 64);
    EXPECT_EQ(r->height, 48);
    EXPECT_EQ(r->sourceX, qx::GetGraphRecord(whole[c])->sourceX);
    EXPECT_EQ(r->sourceY, qx::GetGraphRecord(whole[c])->sourceY);
    EXPECT_EQ(qx::GraphStore(cropped[c]), store);
    qx::SurfaceTile* t = qx::GetSurfaceTile(r->tiles[0]);
    EXPECT_EQ((std::array<int, 4>{t->x, t->y, t->width, t->height}),
              (std::array<int, 4>{tiles[c][0], tiles[c][1], tiles[c][2], tiles[c][3]}));
  }
  // A restore writes the rectangles from the picture again.
  memset(store->image.pixels, 0x5A, static_cast<size_t>(store->image.pitch) * store->image.height);
  for (int c = 0; c < 5; ++c) {
    qx::GraphRecord* r = qx::GetGraphRecord(cropped[c]);
    ASSERT_EQ(qx::TransferImageToGraph(&sheet.image, nullptr, r->sourceX, r->sourceY, cropped[c], 0), 0);
  }
  for (int c = 0; c < 5; ++c) {
    SCOPED_TRACE(c);
    qx::MEMIMG got{}, want{};
    ASSERT_EQ(qx::GetGraphImage(cropped[c], &got), 0);
    EXPECT_FALSE(qx::GraphCropped(qx::GetGraphRecord(cropped[c])));
    ASSERT_EQ(qx::GetGraphImage(whole[c], &want), 0);
    ASSERT_EQ(got.width, 64);
    ASSERT_EQ(got.height, 48);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) ASSERT_EQ(StoredValue(got, x, y), StoredValue(want, x, y)) << x << "," << y;
  }
  EXPECT_EQ(qx::SurfaceDataTable().count, storesBefore + 5) << "the shared store went with its last cell";
  qx::DeleteAllGraphs(0);
  EXPECT_EQ(qx::SurfaceDataTable().count, 0);
  EXPECT_EQ(qx::SurfaceTileTable().count, 0);

  // Right to left, the cells take the same pictures as the plain division's.
  qx::SetCellCropping(false);
  ASSERT_EQ(qx::CreateDivGraphFromGraphImage(&sheet.image, nullptr, 5, 3, 2, 64, 48, whole, true, true, false), 0);
  qx::SetCellCropping(true);
  ASSERT_EQ(qx::CreateDivGraphFromGraphImage(&sheet.image, nullptr, 5, 3, 2, 64, 48, cropped, true, true, false), 0);
  for (int c = 0; c < 5; ++c) {
    SCOPED_TRACE(c);
    EXPECT_TRUE(qx::GraphCropped(qx::GetGraphRecord(cropped[c])));
    EXPECT_EQ(qx::GetGraphRecord(cropped[c])->sourceX, qx::GetGraphRecord(whole[c])->sourceX);
    qx::MEMIMG got{}, want{};
    ASSERT_EQ(qx::GetGraphImage(cropped[c], &got), 0);
    ASSERT_EQ(qx::GetGraphImage(whole[c], &want), 0);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) ASSERT_EQ(StoredValue(got, x, y), StoredValue(want, x, y)) << x << "," << y;
  }
  qx::DeleteAllGraphs(0);
}

TEST_F(ImageLoadTest, DenseOrOpaqueCellsStayViewsOfThePicture) {
  qxtest::OwnedImage dense, opaque;
  dense.image = MakeSheet(2, 32, 32, {{2, 2, 28, 28}, {0, 4, 32, 24}});
  opaque.image = MakePicture(64, 32);
  for (qx::GraphImage* img : {&dense.image, &opaque.image}) {
    GraphHandle cells[2];
    ASSERT_EQ(qx::CreateDivGraphFromGraphImage(img, nullptr, 2, 2, 1, 32, 32, cells, true, false, false), 0);
    EXPECT_EQ(qx::SurfaceDataTable().count, 1);
    for (GraphHandle h : cells) EXPECT_FALSE(qx::GraphCropped(qx::GetGraphRecord(h)));
    EXPECT_EQ(qx::GraphStore(cells[0])->image.width, 64) << "the picture's own store";
    qx::DeleteAllGraphs(0);
  }
}

TEST_F(ImageLoadTest, ReversedPicturesAndTheMemoryPath) {
  std::vector<uint8_t> png = ReadFixture("png_rgb.png");
  qxtest::OwnedImage straight, mirrored, alpha;
  ASSERT_EQ(qx::LoadGraphImage(nullptr, png.data(), png.size(), 0, &straight.image, &alpha.image), 1);
  ASSERT_EQ(qx::LoadGraphImage(nullptr, png.data(), png.size(), 1, &mirrored.image, &alpha.image), 1);
  for (int x = 0; x < 7; ++x)
    EXPECT_EQ(qxtest::RawValue(straight.image, x, 2), qxtest::RawValue(mirrored.image, 6 - x, 2)) << x;
  qxtest::OwnedImage pic, picAlpha;
  EXPECT_EQ(qx::LoadGraphImage(Local("pic.png").c_str(), nullptr, 0, 1, &pic.image, &picAlpha.image), 0);
  std::vector<uint8_t> a = ReadFixture("pic_a.png.rgba");
  EXPECT_EQ(qxtest::PixelOf(picAlpha.image, 0, 1).r, a[(1 * 7 + 6) * 4]) << "the companion is mirrored too";
}

TEST_F(ImageLoadTest, FilesInsideArchivesLoadUnchanged) {
  qx::RpkWriterEntry pic, picAlpha;
  pic.name = "pic.png";
  pic.data = ReadFixture("pic.png");
  picAlpha.name = "pic_a.png";
  picAlpha.data = ReadFixture("pic_a.png");
  std::vector<uint8_t> archive;
  std::string error;
  ASSERT_TRUE(qx::BuildRpkArchive({pic, picAlpha}, qx::RpkWriterOptions{}, &archive, &error)) << error;
  Write("img.rpk", archive);
  int g = qx::LoadGraphFile((dir_ + "/img/pic.png").c_str(), 0);
  ASSERT_NE(g, -1);
  qx::MEMIMG view{};
  ASSERT_EQ(qx::GetGraphImage(g, &view), 0);
  EXPECT_EQ(view.alphaFlag, 1);
  qx::CloseUnusedArchives();
}

TEST_F(ImageLoadTest, RestoreReloadsPixelsFromTheFile) {
  int g = qx::LoadGraphFile(Local("png_rgb.png").c_str(), 0);
  GraphHandle cells[2];
  ASSERT_EQ(qx::LoadDividedGraphFile(Local("grid.png").c_str(), 2, 2, 1, 4, 4, cells, 0), 0);
  qx::MEMIMG view{}, cell{};
  ASSERT_EQ(qx::GetGraphImage(g, &view), 0);
  ASSERT_EQ(qx::GetGraphImage(cells[1], &cell), 0);
  std::vector<uint32_t> before;
  for (int y = 0; y < view.height; ++y)
    for (int x = 0; x < view.width; ++x) before.push_back(StoredValue(view, x, y));
  uint32_t cellBefore = StoredValue(cell, 1, 1);
  memset(view.pixels, 0x11, view.pitch * view.height);
  memset(cell.pixels, 0x22, 4);
  for (int h : {g, cells[0], cells[1]}) qx::GetGraphRecord(h)->restoreNeeded = 1;
  qx::RestoreGraphs();
  std::vector<uint32_t> after;
  for (int y = 0; y < view.height; ++y)
    for (int x = 0; x < view.width; ++x) after.push_back(StoredValue(view, x, y));
  EXPECT_EQ(after, before);
  EXPECT_EQ(StoredValue(cell, 1, 1), cellBefore);
  EXPECT_EQ(qx::GetGraphRecord(g)->restoreNeeded, 0);
  EXPECT_STREQ(qx::GetGraphRecord(g)->fileName, Local("png_rgb.png").c_str()) << "kept for the next restore";
}

// Direct conversions: the rules every transfer is built from.
TEST(ConvertImageRectTest, ChannelRulesMirrorAndFlags) {
  qx::GraphImage src{};
  qx::SetXrgb16Format(&src.format);
  uint16_t px[3] = {16 << 10, 31 << 5, 1};
  src.pixels = reinterpret_cast<uint8_t*>(px);
  src.width = 3;
  src.height = 1;
  src.pitch = 6;
  const ColorFormat* x32 = qx::GetMemImageFormat(qx::kPixel32, 0, 0);
  uint32_t out[3] = {};
  Rect all = {0, 0, 3, 1};
  ASSERT_EQ(qx::ConvertImageRect(reinterpret_cast<uint8_t*>(out), 12, x32, &src, nullptr, 0, 0, &all, 0, 1, 0, 0, 0),
            0);
  // 16 of 5 bits widens to (16 << 3) + 16 * 7 / 31 = 131; the unused top byte is set.
  EXPECT_EQ(out[0], 0xFF830000u);
  EXPECT_EQ(out[1], 0xFF00FF00u);
  EXPECT_EQ(out[2], 0xFF000008u);
  uint32_t mirrored[3] = {};
  qx::ConvertImageRect(reinterpret_cast<uint8_t*>(mirrored), 12, x32, &src, nullptr, 0, 0, &all, 1, 0, 0, 0, 0);
  EXPECT_EQ(mirrored[0], out[2]);
  EXPECT_EQ(mirrored[2], out[0]);

  Rect empty = {1, 0, 1, 1};
  EXPECT_EQ(qx::ConvertImageRect(reinterpret_cast<uint8_t*>(out), 12, x32, &src, nullptr, 0, 0, &empty, 0, 0, 0, 0, 0),
            -1);
  uint8_t indices[3];
  EXPECT_EQ(qx::ConvertImageRect(indices, 3, qx::GetMemImageFormat(qx::kPixel32, 0, 1), &src, nullptr, 0, 0, &all, 0,
                                 0, 0, 0, 0),
            -1)
      << "indices only come from 8-bit pictures";

  // Red only, into a blend mask.
  uint8_t mask[3];
  ASSERT_EQ(qx::ConvertImageRect(mask, 3, qx::GetMemImageFormat(qx::kPixelMask8, 0, 0), &src, nullptr, 0, 0, &all, 0,
                                 0, 0, 1, 1),
            0);
  EXPECT_EQ(mask[0], 131);
  EXPECT_EQ(mask[1], 0);
}

TEST(ConvertImageRectTest, TransparentColourOnSixteenBitStores) {
  // Colours that reduce to the same 5-6-5 value as magenta become the key too.
  qx::GraphImage src{};
  qx::SetRgb24Format(&src.format);
  uint8_t px[] = {255, 0, 255, 252, 3, 250, 247, 0, 255};  // blue, green, red
  src.pixels = px;
  src.width = 3;
  src.height = 1;
  src.pitch = 9;
  const ColorFormat* f16 = qx::GetMemImageFormat(qx::kPixel16, 0, 0);
  uint32_t key = qx::PackColor(f16, 255, 0, 255, 255);
  uint16_t out[3];
  Rect all = {0, 0, 3, 1};
  ASSERT_EQ(qx::ConvertImageRect(reinterpret_cast<uint8_t*>(out), 6, f16, &src, nullptr, 0, 0, &all, 0, 1, key, 0, 0),
            0);
  EXPECT_EQ(out[0], key);
  EXPECT_EQ(out[1], key);
  EXPECT_NE(out[2], key);

  // With an alpha layout the key clears the alpha bits instead.
  const ColorFormat* a32 = qx::GetMemImageFormat(qx::kPixel32, 1, 0);
  uint32_t withAlpha[3];
  ASSERT_EQ(qx::ConvertImageRect(reinterpret_cast<uint8_t*>(withAlpha), 12, a32, &src, nullptr, 0, 0, &all, 0, 1,
                                 qx::PackColor(a32, 255, 0, 255, 255), 0, 0),
            0);
  EXPECT_EQ(withAlpha[0], 0x00FF00FFu);
  EXPECT_EQ(withAlpha[1], 0xFFFA03FCu);
}

}  // namespace
