// The SDL display on SDL's off-screen video driver: what is presented is what
// the window shows.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <time.h>
#include <vector>

#include "runtime/platform/platform.h"
#include "runtime/platform/sdl/sdl_display.h"

namespace {

double Seconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

class SdlDisplayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    qx::SelectPlatform(&qx::kSdlPlatform);
  }
  void SetUp() override {
    window_ = qx::GetPlatform().window;
    display_ = qx::GetPlatform().display;
    ASSERT_EQ(window_->Create("display test", 0, 8, 4, 1), 0);
  }
  void TearDown() override { window_->Destroy(); }
  // The window's pixels as 0x00RRGGBB.
  std::vector<uint32_t> Shown() {
    std::vector<uint32_t> out(8 * 4);
    if (qx::SdlDisplayReadBack(out.data(), 8, 4) != 0) out.clear();
    return out;
  }
  const qx::PlatformWindowOps* window_;
  const qx::PlatformDisplayOps* display_;
};

TEST_F(SdlDisplayTest, Presents32BitPixelsWithTheirPitch) {
  // Rows of 8 pixels in a pitch of 12, the padding filled with junk.
  std::vector<uint32_t> pixels(12 * 4, 0xDEADBEEF);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) pixels[y * 12 + x] = 0xFF000000u | (x * 30) << 16 | (y * 60) << 8 | 0x0F;
  ASSERT_EQ(display_->Present(pixels.data(), 12 * 4, 8, 4, 32), 0);
  std::vector<uint32_t> shown = Shown();
  ASSERT_EQ(shown.size(), 32u);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(shown[y * 8 + x], pixels[y * 12 + x] & 0xFFFFFF) << x << "," << y;
}

TEST_F(SdlDisplayTest, Presents16BitPixels) {
  std::vector<uint16_t> pixels(8 * 4);
  for (int i = 0; i < 32; ++i) pixels[i] = i % 3 == 0 ? 0xF800 : i % 3 == 1 ? 0x07E0 : 0x001F;
  ASSERT_EQ(display_->Present(pixels.data(), 16, 8, 4, 16), 0);
  std::vector<uint32_t> shown = Shown();
  ASSERT_EQ(shown.size(), 32u);
  for (int i = 0; i < 32; ++i) {
    uint32_t want = i % 3 == 0 ? 0xFF0000 : i % 3 == 1 ? 0x00FF00 : 0x0000FF;
    // How the 5 and 6 bits widen to 8 is SDL's choice; the bits themselves must survive.
    EXPECT_EQ(shown[i] & 0xF8FCF8, want & 0xF8FCF8) << i;
  }
}

TEST_F(SdlDisplayTest, AWindowOfAnotherSizeShowsTheFrameScaledWithItsProportionsAndBlackBars) {
  std::vector<uint32_t> pixels(8 * 4);
  for (int i = 0; i < 32; ++i) pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 8 + 1) << 16 | 0x4080u;
  // Window size, then the part of it that shows the frame.
  const struct {
    int w, h;
    int x, y, shownW, shownH;
  } kCases[] = {
      {16, 8, 0, 0, 16, 8},   // twice the size
      {16, 12, 0, 2, 16, 8},  // taller: bars above and below
      {24, 8, 4, 0, 16, 8},   // wider: bars left and right
      {8, 4, 0, 0, 8, 4},     // back to the frame's own size
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    window_->SetClientSize(c.w, c.h);
    ASSERT_EQ(display_->Present(pixels.data(), 8 * 4, 8, 4, 32), 0);
    std::vector<uint32_t> shown(static_cast<size_t>(c.w) * c.h);
    ASSERT_EQ(qx::SdlDisplayReadBack(shown.data(), c.w, c.h), 0);
    for (int y = 0; y < c.h; ++y) {
      for (int x = 0; x < c.w; ++x) {
        const bool inside = x >= c.x && x < c.x + c.shownW && y >= c.y && y < c.y + c.shownH;
        const uint32_t want =
            inside ? pixels[((y - c.y) * 4 / c.shownH) * 8 + (x - c.x) * 8 / c.shownW] & 0xFFFFFF : 0;
        ASSERT_EQ(shown[y * c.w + x], want) << x << "," << y;
      }
    }
  }
}

TEST_F(SdlDisplayTest, RefreshRateIsKnownAndTheBlankFollowsTheClock) {
  EXPECT_GT(display_->RefreshRate(), 0);
  display_->WaitForVerticalBlank();
  // Each wait reaches the next blank, whatever the load on the machine.
  for (int i = 0; i < 3; ++i) {
    double before = Seconds();
    display_->WaitForVerticalBlank();
    EXPECT_LE(Seconds() - before, 1.0);
  }
  int line = display_->ScanLine();
  EXPECT_GE(line, 0);
  EXPECT_LE(line, 480);
}

}  // namespace
