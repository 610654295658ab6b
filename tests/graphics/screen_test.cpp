#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "headless_graphics.h"
#include "runtime/core/timing.h"
#include "runtime/graphics/graph.h"
#include "support/read_file.h"

namespace {

using qxtest::HeadlessGraphics;
using qxtest::PixelAt;

// Arguments refused before anything is applied.
TEST(ScreenModeArguments, RefusedModesReturnMinusOne) {
  struct Case {
    int width, height, bits;
  } cases[] = {{640, 480, 24}, {0, 480, 32}, {640, 0, 32}, {640, 480, 15}};
  for (const Case& c : cases) {
    EXPECT_EQ(qx::SetScreenMode(c.width, c.height, c.bits, 0), -1) << c.width << "x" << c.height << "x" << c.bits;
  }
}

TEST(ScreenModeArguments, BeforeStartOnlyRecords) {
  ASSERT_FALSE(qx::ScreenExists());
  EXPECT_EQ(qx::SetScreenMode(800, 600, 32, 60), 0);
  EXPECT_EQ(qx::GetScreenWidth(), 800);
  EXPECT_EQ(qx::GetScreenHeight(), 600);
  EXPECT_EQ(qx::GetRequestedColorBits(), 32);
  EXPECT_EQ(qx::GetScreenModeRecord().refreshRate, 60);
  EXPECT_FALSE(qx::ScreenExists());
  EXPECT_EQ(qx::FlipScreen(), -1);
  EXPECT_EQ(qx::SetDrawTarget(-2), -1);
}

TEST_F(HeadlessGraphics, StartsOnTheSoftwareBackEndWithScreenImages) {
  EXPECT_EQ(qx::UseSoftwareRenderer(), 1);
  EXPECT_EQ(qx::VerticalSyncEnabled(), 1);
  const qx::MEMIMG* back = qx::GetBackScreenImage();
  const qx::MEMIMG* front = qx::GetFrontScreenImage();
  ASSERT_NE(back, nullptr);
  ASSERT_NE(front, nullptr);
  EXPECT_EQ(back->width, 800);
  EXPECT_EQ(back->height, 600);
  EXPECT_EQ(back->pixelType, qx::kPixel32);
  EXPECT_EQ(front->width, 800);
  EXPECT_EQ(qx::ScreenColorBits(), 32);
  EXPECT_EQ(qx::GetRefreshRateHz(), 60);
  EXPECT_EQ(qx::GetVSyncSleepThresholdMs(), -1);

  const PixelFormatRecord* pf = qx::GetScreenPixelFormat();
  EXPECT_EQ(pf->Size, 32u);
  EXPECT_EQ(pf->Flags, 0x40u);
  EXPECT_EQ(pf->RGBBitCount, 32u);
  EXPECT_EQ(pf->RBitMask, 0xFF0000u);
  EXPECT_EQ(pf->GBitMask, 0xFF00u);
  EXPECT_EQ(pf->BBitMask, 0xFFu);
  EXPECT_EQ(pf->RGBAlphaBitMask, 0u);
}

TEST_F(HeadlessGraphics, InvalidDrawTargetsKeepThePreviousOne) {
  ASSERT_EQ(qx::SetDrawTarget(-4), 0);
  for (int target : {-1, -3, 0, 5, 0x7FFF, 0x08000000}) {
    EXPECT_EQ(qx::SetDrawTarget(target), -1) << target;
    EXPECT_EQ(qx::GetDrawTarget(), -4) << target;
  }
  EXPECT_EQ(qx::GetDrawTargetImage(), qx::GetFrontScreenImage());
  ASSERT_EQ(qx::SetDrawTarget(-2), 0);
  EXPECT_EQ(qx::GetDrawTargetImage(), qx::GetBackScreenImage());
}

TEST_F(HeadlessGraphics, ClearFillsTheWholeTargetWithTheBackgroundColour) {
  qx::MEMIMG* back = qx::GetBackScreenImage();
  qxtest::FillWith(back, 0x12345678);
  qx::SetBackgroundColor(10, 20, 30);
  EXPECT_EQ(qx::ClearDrawTarget(), 0);
  qx::SetBackgroundColor(0, 0, 0);
  // The unused top byte is set, as every packed screen colour has it.
  for (int y : {0, 299, 599})
    for (int x : {0, 400, 799}) EXPECT_EQ(PixelAt(back, x, y), 0xFF0A141Eu) << x << "," << y;
}

TEST_F(HeadlessGraphics, ClearingTheFrontScreenShowsItAtOnce) {
  ASSERT_EQ(qx::SetDrawTarget(-4), 0);
  uint64_t shown = qx::Headless().presentedFrames;
  uint64_t counted = qx::GetPresentedFrameCount();
  EXPECT_EQ(qx::ClearDrawTarget(), 0);
  EXPECT_EQ(qx::Headless().presentedFrames, shown + 1);
  EXPECT_EQ(qx::GetPresentedFrameCount(), counted);
}

TEST_F(HeadlessGraphics, FlipPresentsTheBackScreenOncePerRefresh) {
  uint64_t counted = qx::GetPresentedFrameCount();
  uint64_t shown = qx::Headless().presentedFrames;
  std::vector<uint64_t> times;
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(qx::FlipScreen(), 0);
    times.push_back(qx::Headless().clockMicros);
  }
  EXPECT_EQ(qx::GetPresentedFrameCount(), counted + 4);
  EXPECT_EQ(qx::Headless().presentedFrames, shown + 4);
  // Back-to-back flips land on successive blanks of the 60 Hz display.
  for (size_t i = 1; i < times.size(); ++i) {
    EXPECT_GE(times[i] - times[i - 1], 16000u) << i;
    EXPECT_LE(times[i] - times[i - 1], 17500u) << i;
  }
}

TEST_F(HeadlessGraphics, FlipWithTheFrontScreenAsTargetOnlyWaitsAndCounts) {
  ASSERT_EQ(qx::SetDrawTarget(-4), 0);
  uint64_t counted = qx::GetPresentedFrameCount();
  uint64_t shown = qx::Headless().presentedFrames;
  uint64_t before = qx::Headless().clockMicros;
  EXPECT_EQ(qx::FlipScreen(), 0);
  EXPECT_EQ(qx::GetPresentedFrameCount(), counted + 1);
  EXPECT_EQ(qx::Headless().presentedFrames, shown);
  EXPECT_GT(qx::Headless().clockMicros, before);
}

TEST_F(HeadlessGraphics, RepaintPresentsWithoutWaitingForTheBlank) {
  ASSERT_EQ(qx::FlipScreen(), 0);
  uint64_t shown = qx::Headless().presentedFrames;
  uint64_t before = qx::Headless().clockMicros;
  qx::PresentForRepaint();
  EXPECT_EQ(qx::Headless().presentedFrames, shown + 1);
  EXPECT_LT(qx::Headless().clockMicros - before, 16000u);
  EXPECT_EQ(qx::VerticalSyncEnabled(), 1);
}

TEST_F(HeadlessGraphics, ImpossibleModesFallBackToTheModeInForce) {
  for (int width : {-5, 100000}) {
    EXPECT_EQ(qx::SetScreenMode(width, 600, 32, 60), -1) << width;
    ASSERT_TRUE(qx::ScreenExists());
    EXPECT_EQ(qx::GetScreenWidth(), 800) << width;
    EXPECT_EQ(qx::GetBackScreenImage()->width, 800) << width;
  }
  ASSERT_EQ(qx::SetDrawTarget(-2), 0);
  EXPECT_EQ(qx::FlipScreen(), 0);
}

TEST_F(HeadlessGraphics, UnchangedModeKeepsTheScreen) {
  const qx::MEMIMG* back = qx::GetBackScreenImage();
  uint8_t* pixels = back->pixels;
  EXPECT_EQ(qx::SetScreenMode(-1, -1, -1, -1), 0);
  EXPECT_EQ(qx::GetBackScreenImage()->pixels, pixels);
  EXPECT_EQ(qx::GetScreenWidth(), 800);
}

class GraphTargetTest : public HeadlessGraphics {
 protected:
  void TearDown() override { qx::DeleteAllGraphs(0); }
  static GraphHandle MakeTarget(int w, int h) {
    qx::SetDrawValidGraphCreation(1);
    GraphHandle g = qx::CreateGraph(w, h, true, false, false);
    qx::SetDrawValidGraphCreation(0);
    return g;
  }
  static Rect Area() {
    Rect r;
    qx::GetClipRect(&r);
    return r;
  }
};

TEST_F(GraphTargetTest, AGraphTargetGetsTheClearAndItsOwnDrawArea) {
  GraphHandle g = MakeTarget(100, 80);
  ASSERT_NE(g, -1);
  qx::MEMIMG view;
  ASSERT_EQ(qx::GetGraphImage(g, &view), 0);
  qxtest::FillWith(&view, 0x11111111);
  qxtest::FillWith(qx::GetBackScreenImage(), 0x22222222);

  ASSERT_EQ(qx::SetDrawTarget(g), 0);
  EXPECT_EQ(qx::GetDrawTarget(), g);
  Rect r = Area();
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(r.bottom, 80);
  qx::SetBackgroundColor(1, 2, 3);
  EXPECT_EQ(qx::ClearDrawTarget(), 0);
  qx::SetBackgroundColor(0, 0, 0);
  ASSERT_EQ(qx::GetGraphImage(g, &view), 0);
  uint32_t want = qx::PackColor(view.format, 1, 2, 3, 255);
  EXPECT_EQ(PixelAt(&view, 0, 0), want);
  EXPECT_EQ(PixelAt(&view, 99, 79), want);
  EXPECT_EQ(PixelAt(qx::GetBackScreenImage(), 0, 0), 0x22222222u);

  ASSERT_EQ(qx::SetDrawTarget(-2), 0);
  r = Area();
  EXPECT_EQ(r.right, 800);
  EXPECT_EQ(r.bottom, 600);
}

TEST_F(GraphTargetTest, TheWindowedFrontScreenDrawsOnlyWhereTheClientAreaIsOnTheDesktop) {
  qx::WindowState& ws = qx::GetWindowState();
  const qx::WindowState saved = ws;
  ws.desktopWidth = 1024;
  ws.desktopHeight = 768;
  struct Case {
    int windowed, clientLeft, clientTop;
    Rect area;  // of the whole front screen
  };
  const Case cases[] = {
      {1, 112, 84, {0, 0, 800, 600}},       // wholly on the desktop
      {1, -100, 500, {100, 0, 800, 268}},   // off to the left and below
      {1, 600, -50, {0, 50, 424, 600}},     // off to the right and above
      {1, 2000, 100, {0, 0, 0, 600}},       // off the desktop altogether: nothing
      {0, -100, 500, {0, 0, 800, 600}},     // full screen: the whole screen
  };
  for (const Case& c : cases) {
    ws.windowed = c.windowed;
    ws.clientLeft = c.clientLeft;
    ws.clientTop = c.clientTop;
    ws.clientRight = c.clientLeft + 800;
    ws.clientBottom = c.clientTop + 600;
    ASSERT_EQ(qx::SetDrawTarget(-4), 0);
    qx::SetClipRect(0, 0, 800, 600);
    Rect r = Area();
    EXPECT_EQ(r.left, c.area.left) << c.clientLeft << "," << c.clientTop;
    EXPECT_EQ(r.top, c.area.top) << c.clientLeft << "," << c.clientTop;
    EXPECT_EQ(r.right, c.area.right) << c.clientLeft << "," << c.clientTop;
    EXPECT_EQ(r.bottom, c.area.bottom) << c.clientLeft << "," << c.clientTop;
  }
  // An explicit area is cut to the visible part too; the back screen is not.
  ws.windowed = 1;
  ws.clientLeft = -100;
  ws.clientTop = 500;
  qx::SetClipRect(0, 0, 50, 400);
  Rect r = Area();
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(r.bottom, 268);
  EXPECT_EQ(qx::GetDrawState().drawAreaEmpty, 1);
  ASSERT_EQ(qx::SetDrawTarget(-2), 0);
  qx::SetClipRect(0, 0, 800, 600);
  r = Area();
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, 800);
  EXPECT_EQ(r.bottom, 600);
  ws = saved;
}

TEST_F(GraphTargetTest, ATargetOfTheSameSizeKeepsTheDrawArea) {
  GraphHandle same = MakeTarget(800, 600);
  GraphHandle other = MakeTarget(64, 64);
  ASSERT_NE(same, -1);
  ASSERT_NE(other, -1);
  qx::SetClipRect(10, 20, 300, 400);
  ASSERT_EQ(qx::SetDrawTarget(same), 0);
  Rect r = Area();
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right, 300);
  EXPECT_EQ(r.bottom, 400);
  ASSERT_EQ(qx::SetDrawTarget(other), 0);
  r = Area();
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, 64);
  EXPECT_EQ(r.bottom, 64);
}

TEST_F(GraphTargetTest, ADeletedTargetGraphIsNoLongerDrawnInto) {
  GraphHandle g = MakeTarget(32, 32);
  ASSERT_EQ(qx::SetDrawTarget(g), 0);
  ASSERT_NE(qx::GetDrawTargetImage(), nullptr);
  qx::DeleteAllGraphs(0);
  EXPECT_EQ(qx::GetDrawTargetImage(), nullptr);
  EXPECT_EQ(qx::ClearDrawTarget(), 0);
  EXPECT_EQ(qx::SetDrawTarget(g), -1);
}

TEST_F(GraphTargetTest, AnUnchangedModeStillDeletesEveryGraph) {
  GraphHandle g = qx::CreateGraph(16, 16, true, false, false);
  ASSERT_NE(g, -1);
  EXPECT_EQ(qx::SetScreenMode(-1, -1, -1, -1), 0);
  qx::MEMIMG view;
  EXPECT_EQ(qx::GetGraphImage(g, &view), -1);
  EXPECT_EQ(qx::GetScreenWidth(), 800);
}

TEST_F(GraphTargetTest, WarmUpLeavesTheFrontScreenAsTargetAndNoGraphs) {
  int before = qx::GraphTable().count;
  qx::GraphicsWarmUp();
  EXPECT_EQ(qx::GetDrawTarget(), -4);
  EXPECT_EQ(qx::GraphTable().count, before);
}

// Decodes an RGB PNG written by the headless display.
bool ReadPng(const std::string& path, int* width, int* height, std::vector<uint8_t>* rgb) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  bool ok = false;
  if (!setjmp(png_jmpbuf(png))) {
    png_init_io(png, f);
    png_read_info(png, info);
    *width = static_cast<int>(png_get_image_width(png, info));
    *height = static_cast<int>(png_get_image_height(png, info));
    ok = png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB && png_get_bit_depth(png, info) == 8;
    if (ok) {
      rgb->assign(static_cast<size_t>(*width) * *height * 3, 0);
      for (int y = 0; y < *height; ++y) png_read_row(png, rgb->data() + static_cast<size_t>(y) * *width * 3, nullptr);
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  fclose(f);
  return ok;
}

class FrameOutputTest : public HeadlessGraphics {
 protected:
  void SetUp() override {
    HeadlessGraphics::SetUp();
    char dir[] = "/tmp/quarnex_frames_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    unsetenv("QUARNEX_FRAMES_DIR");
    unsetenv("QUARNEX_FRAME_HASHES");
    qx::FlipScreen();  // closes the hash file
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  std::string dir_;
};

TEST_F(FrameOutputTest, SavesEachFrameAsPngAndARunningHash) {
  setenv("QUARNEX_FRAMES_DIR", dir_.c_str(), 1);
  std::string hashes = dir_ + "/hashes.txt";
  setenv("QUARNEX_FRAME_HASHES", hashes.c_str(), 1);
  qx::MEMIMG* back = qx::GetBackScreenImage();
  uint64_t first = qx::Headless().presentedFrames + 1;
  qxtest::FillWith(back, 0xFF102030);
  ASSERT_EQ(qx::FlipScreen(), 0);
  qxtest::FillWith(back, 0xFFF0E0D0);
  reinterpret_cast<uint32_t*>(back->pixels + 5 * back->pitch)[7] = 0xFF00FF00;
  ASSERT_EQ(qx::FlipScreen(), 0);

  char name[64];
  snprintf(name, sizeof(name), "/frame_%06llu.png", static_cast<unsigned long long>(first + 1));
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(ReadPng(dir_ + name, &w, &h, &rgb));
  ASSERT_EQ(w, 800);
  ASSERT_EQ(h, 600);
  EXPECT_EQ(rgb[0], 0xF0);
  EXPECT_EQ(rgb[1], 0xE0);
  EXPECT_EQ(rgb[2], 0xD0);
  size_t at = (5 * 800 + 7) * 3;
  EXPECT_EQ(rgb[at], 0x00);
  EXPECT_EQ(rgb[at + 1], 0xFF);
  EXPECT_EQ(rgb[at + 2], 0x00);

  // The hash goes over the visible bytes of every frame so far, in order.
  uint64_t hash = 0xcbf29ce484222325ULL;
  auto add = [&hash](uint32_t value, int count) {
    for (int i = 0; i < count; ++i)
      for (int b = 0; b < 4; ++b) hash = (hash ^ ((value >> (8 * b)) & 0xFF)) * 0x100000001b3ULL;
  };
  add(0xFF102030, 800 * 600);
  uint64_t afterFirst = hash;
  add(0xFFF0E0D0, 5 * 800 + 7);
  add(0xFF00FF00, 1);
  add(0xFFF0E0D0, 800 * 600 - 5 * 800 - 8);
  unsetenv("QUARNEX_FRAME_HASHES");
  ASSERT_EQ(qx::FlipScreen(), 0);  // flushes and closes the hash file
  std::vector<uint8_t> text = qxtest::ReadWholeFile(hashes);
  char expected[128];
  snprintf(expected, sizeof(expected), "%llu %016llx\n%llu %016llx\n", static_cast<unsigned long long>(first),
           static_cast<unsigned long long>(afterFirst), static_cast<unsigned long long>(first + 1),
           static_cast<unsigned long long>(hash));
  EXPECT_EQ(std::string(text.begin(), text.end()), expected);
}

// Mode changes rebuild the screen; this one also covers the spacing between
// two changes.
TEST(ScreenStartUp, ChoosesTheSoftwareBackEndAndSaysSo) {
  // The choice stands for the whole process, so only its first start-up says it.
  if (qx::UseSoftwareRenderer()) GTEST_SKIP() << "the back end was chosen earlier in this process";
  qxtest::LogCapture log;
  ASSERT_TRUE(log.Ready());
  qxtest::StartHeadlessGraphics(800, 600, 32);
  EXPECT_EQ(qx::UseSoftwareRenderer(), 1);
  std::string text = log.Text();
  size_t software = text.find("ソフトウエアレンダリングモードに変更します\r\n");
  // (SetScreenMode before start-up already logged a first "start" line.)
  size_t begin = text.find("画面モード変更処理を開始します\r\n", software);
  size_t screens = text.find("PrimaryBuffer : SYSTEMMEMORY( MEMIMG ) BaskBuffer : SYSTEMMEMORY( MEMIMG ) \r\n");
  size_t end = text.find("画面モード変更処理は正常に終了しました\r\n");
  ASSERT_NE(software, std::string::npos) << text;
  ASSERT_NE(begin, std::string::npos) << text;
  ASSERT_NE(screens, std::string::npos) << text;
  ASSERT_NE(end, std::string::npos) << text;
  EXPECT_LT(software, begin);
  EXPECT_LT(begin, screens);
  EXPECT_LT(screens, end);
  qx::EndGraphics();
}

TEST(ScreenModeChange, RebuildsTheScreenAndSpacesChangesTwoSecondsApart) {
  qxtest::StartHeadlessGraphics(800, 600, 32);
  ASSERT_EQ(qx::SetDrawTarget(-2), 0);
  ASSERT_EQ(qx::FlipScreen(), 0);
  ASSERT_GT(qx::GetPresentedFrameCount(), 0u);
  uint32_t start = qx::TickNow();
  EXPECT_EQ(qx::SetScreenMode(640, 480, 32, 60), 0);
  EXPECT_EQ(qx::GetBackScreenImage()->width, 640);
  EXPECT_EQ(qx::GetBackScreenImage()->height, 480);
  EXPECT_EQ(qx::GetPresentedFrameCount(), 0u);
  EXPECT_EQ(qx::GetDrawTarget(), -4);
  // Full screen, so the desktop's depth does not decide the depth in force.
  qx::GetWindowState().windowed = 0;
  EXPECT_EQ(qx::SetScreenMode(800, 600, 16, 60), 0);
  qx::GetWindowState().windowed = 1;
  // The second change waited until about 2060 ms after the first.
  EXPECT_GE(qx::TickNow() - start, 2000u);
  EXPECT_EQ(qx::GetBackScreenImage()->pixelType, qx::kPixel16);
  EXPECT_EQ(qx::GetScreenPixelFormat()->RBitMask, 0xF800u);
  qx::EndGraphics();
  EXPECT_FALSE(qx::ScreenExists());
  EXPECT_EQ(qx::FlipScreen(), -1);
  // Later tests in this process expect the usual mode.
  EXPECT_EQ(qx::SetScreenMode(800, 600, 32, 60), 0);
}

}  // namespace
