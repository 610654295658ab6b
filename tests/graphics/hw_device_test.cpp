// The hardware back end's logic on the fake graphics processor: where
// textures are made and filled, what happens when the device refuses or is
// out of reach, batching, and pictures against the software renderer (the
// same drawing onto a graph target of the screen's size).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>

#include "graphics/fake_gpu.h"
#include "graphics/headless_graphics.h"
#include "runtime/core/alloc.h"
#include "runtime/graphics/font.h"
#include "runtime/graphics/graph.h"
#include "runtime/graphics/graph_image.h"
#include "runtime/graphics/hw.h"
#include "runtime/graphics/memimg.h"

namespace {

using qxtest::Fake;

constexpr int kW = 320, kH = 240;

class HwDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    // Another suite in this process may have left the software renderer chosen.
    qx::EndGraphics();
    qx::ForgetBackEndChoice();
    qxtest::ResetFake();
    unsetenv("QUARNEX_RENDERER");
    previous_ = qx::SelectPlatform(&qxtest::FakeGpuPlatform());
    qx::HeadlessReset();
    Start();
  }
  void TearDown() override {
    qx::EndGraphics();
    qx::ForgetBackEndChoice();
    EXPECT_EQ(Fake().texturesAlive, 0) << "every texture is given back with the device";
    qx::SelectPlatform(previous_);
    unsetenv("QUARNEX_RENDERER");
  }
  void Start() {
    qx::WindowState& ws = qx::GetWindowState();
    ws.windowed = 1;
    ws.hasMainWindow = 1;
    ws.windowActive = 1;
    ws.runWhileInactive = 1;
    ASSERT_EQ(qx::SetScreenMode(kW, kH, 32, 60), 0);
    ASSERT_EQ(qx::InitGraphics(), 0);
    ASSERT_EQ(qx::SetDrawTarget(-2), 0);
    qxtest::PlainDrawState();
  }

  // A picture through the loaders' path, each pixel from colour(x, y) as
  // 0xAARRGGBB (alpha used only with `alpha`).
  GraphHandle Picture(int w, int h, bool alpha, bool texture, std::function<uint32_t(int, int)> colour) {
    qx::GraphImage picture{};
    picture.format = *qx::GetMemImageFormat(qx::kPixel32, alpha ? 1 : 0, 0);
    picture.width = w;
    picture.height = h;
    picture.pitch = w * 4;
    picture.pixels = static_cast<uint8_t*>(qx::MemAlloc(static_cast<size_t>(w) * h * 4));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) reinterpret_cast<uint32_t*>(picture.pixels)[y * w + x] = colour(x, y);
    GraphHandle g = qx::BuildGraphFromImage(&picture, nullptr, texture, false, false);
    qx::ReleaseGraphImage(&picture);
    return g;
  }

  // Runs `draw` onto the device's back screen and, for the reference, onto a
  // graph target drawn by the software renderer; every channel within 2.
  void ExpectLikeSoftware(const std::function<void()>& draw) {
    qx::SetDrawTarget(-2);
    qx::ClearDrawTarget();
    draw();
    // What the window shows: a software drawing reaches the device there.
    ASSERT_EQ(qx::FlipScreen(), 0);
    std::vector<uint32_t> device = Fake().presented;
    GraphHandle reference = qx::CreateGraph(kW, kH, false, false, false);
    ASSERT_NE(reference, -1);
    ASSERT_EQ(qx::SetDrawTarget(reference), 0);
    qx::ClearDrawTarget();
    draw();
    qx::MEMIMG view;
    ASSERT_EQ(qx::GetGraphImage(reference, &view), 0);
    int worst = 0, wx = 0, wy = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        uint32_t s = qxtest::PixelAt(&view, x, y), d = device[static_cast<size_t>(y) * kW + x];
        for (int shift = 0; shift < 24; shift += 8) {
          int diff = abs(static_cast<int>((s >> shift) & 255) - static_cast<int>((d >> shift) & 255));
          if (diff > worst) {
            worst = diff;
            wx = x;
            wy = y;
          }
        }
      }
    EXPECT_LE(worst, 2) << "at " << wx << "," << wy;
    qx::SetDrawTarget(-2);
    qx::ReleaseGraph(reference, 0);
  }

  const qx::Platform* previous_ = nullptr;
};

uint32_t Pattern(int x, int y) {
  return 0xFF000000u | static_cast<uint32_t>(x * 7 & 255) << 16 | static_cast<uint32_t>(y * 5 & 255) << 8 |
         static_cast<uint32_t>((x ^ y) & 255);
}

TEST_F(HwDevice, ADrawingThatCannotReachTheDeviceIsRefusedAndTheBatchNeverOverflows) {
  GraphHandle g = Picture(8, 8, false, true, Pattern);
  ASSERT_NE(g, -1);
  ASSERT_EQ(qx::DrawGraphAt(0, 0, g, 1), 0);  // one rectangle already waiting
  Fake().ready = false;  // the window destroyed, or another thread drawing
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(qx::DrawGraphAt(i % 300, 0, g, 1), -1);
    ASSERT_EQ(qx::DrawRectangle(0, 0, 4, 4, 0xFFFFFFFF, 1), -1);
  }
  EXPECT_EQ(Fake().drawsWhileNotReady, 0);
  Fake().ready = true;
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(qx::DrawGraphAt(i % 300, i % 200, g, 1), 0);
  qx::FlushPendingDrawing();
  EXPECT_LE(Fake().maxVerticesInOneCall, 2048 * 6);
  EXPECT_EQ(Fake().verticesDrawn, 5001 * 6);
  EXPECT_EQ(Fake().drawCalls, 3) << "one state: full batches only";
}

TEST_F(HwDevice, TexturesAreMadeAndFilledByTheLoadNotByTheFirstDrawing) {
  const int creates = Fake().textureCreates, uploads = Fake().uploads;
  GraphHandle g = Picture(100, 60, false, true, Pattern);
  ASSERT_NE(g, -1);
  EXPECT_GT(Fake().textureCreates, creates);
  EXPECT_EQ(Fake().uploads, uploads + 1) << "one upload for a one-tile picture, not one per row";
  const int afterLoad = Fake().uploads;
  qx::ClearDrawTarget();
  ASSERT_EQ(qx::DrawGraphAt(5, 7, g, 0), 0);
  ASSERT_EQ(qx::FlipScreen(), 0);
  EXPECT_EQ(Fake().uploads, afterLoad);
  EXPECT_EQ(Fake().readBacks, 0);
  EXPECT_EQ(qxtest::FakeBackAt(5, 7), Pattern(0, 0) & 0xFFFFFF);
  EXPECT_EQ(qxtest::FakeBackAt(5 + 99, 7 + 59), Pattern(99, 59) & 0xFFFFFF);
}

struct FailureCase {
  const char* name;
  std::function<void()> arm;
  const char* logLine;
};

TEST_F(HwDevice, ATextureTheDeviceCannotHoldFailsTheCreationWithItsLogLine) {
  const FailureCase cases[] = {
      {"texture refused", [] { Fake().createFailsAt = 0; }, "テクスチャサーフェスの作成に失敗しました"},
      {"upload refused", [] { Fake().uploadsFail = true; }, "グラフィックの作成に失敗しました"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    qxtest::LogCapture log;
    ASSERT_TRUE(log.Ready());
    c.arm();
    EXPECT_EQ(Picture(40, 40, false, true, Pattern), -1);
    EXPECT_TRUE(log.Has(c.logLine)) << log.Text();
    Fake().createFailsAt = -1;
    Fake().uploadsFail = false;
    EXPECT_NE(Picture(40, 40, false, true, Pattern), -1) << "the next load is unaffected";
  }
}

TEST_F(HwDevice, MoreThanSixtyFourTilesFailTheCreation) {
  // A device whose largest texture side is 64: 600 x 600 needs 10 x 10 tiles.
  qx::EndGraphics();
  Fake().maxTextureSide = 64;
  Start();
  qxtest::LogCapture log;
  ASSERT_TRUE(log.Ready());
  EXPECT_EQ(Picture(600, 600, false, true, Pattern), -1);
  EXPECT_TRUE(log.Has("エラー：画像の分割数が最大数の 64 を超えました")) << log.Text();
}

TEST_F(HwDevice, APictureOverSeveralTilesDrawsWhole) {
  qx::EndGraphics();
  Fake().maxTextureSide = 64;
  Start();
  GraphHandle g = Picture(200, 150, true, true, [](int x, int y) {
    return (x + y) % 7 == 0 ? 0x00000000u : static_cast<uint32_t>(128 + (x % 128)) << 24 | (Pattern(x, y) & 0xFFFFFF);
  });
  ASSERT_NE(g, -1);
  EXPECT_GE(Fake().textureCreates, 4 * 3);
  ExpectLikeSoftware([&] {
    qx::DrawGraphAt(30, 20, g, 1);
    qx::SetBlendMode(1, 160);
    qx::DrawGraphAt(-40, 100, g, 1);
    qx::SetBlendMode(0, 0);
  });
}

TEST_F(HwDevice, MultiplyIsWeightedByAlphaAndByTheBlendMask) {
  GraphHandle base = Picture(kW, kH, false, true, Pattern);
  GraphHandle shade = Picture(90, 70, true, true, [](int x, int y) {
    return static_cast<uint32_t>(x * 255 / 89) << 24 | static_cast<uint32_t>(200 - y) << 16 | 0x6040u |
           static_cast<uint32_t>(x);
  });
  qx::SetBlendMaskCreation(1);
  GraphHandle mask = qx::CreateGraph(90, 70, true, false, false);
  qx::SetBlendMaskCreation(0);
  ASSERT_NE(mask, -1);
  qx::MEMIMG view;
  ASSERT_EQ(qx::GetGraphImage(mask, &view), 0);
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 90; ++x) view.pixels[y * view.pitch + x] = static_cast<uint8_t>((x + y) * 255 / 158);
  qx::HwNoteStoreChanged(qx::GraphStore(mask));
  ExpectLikeSoftware([&] {
    qx::DrawGraphAt(0, 0, base, 0);
    qx::SetBlendMode(4, 0);
    qx::DrawGraphAt(10, 10, shade, 1);
    qx::DrawGraphBlendMasked(120, 40, shade, 1, mask, 100, 64);
    qx::SetBlendMode(0, 0);
  });
}

TEST_F(HwDevice, TheBackScreenIsClearedWhenTheDeviceIsMadeAndAfterAModeChange) {
  qx::EndGraphics();
  Fake().initColour = 0xFF5A3C1Eu;  // whatever video memory held
  Start();
  EXPECT_EQ(qxtest::FakeBackAt(0, 0), 0u);
  EXPECT_EQ(qxtest::FakeBackAt(kW - 1, kH - 1), 0u);
  ASSERT_EQ(qx::SetScreenMode(kW, kH + 16, 32, 60), 0);
  ASSERT_TRUE(qx::HwInUse());
  EXPECT_EQ(qxtest::FakeBackAt(7, kH + 15), 0u);
  ASSERT_EQ(qx::SetScreenMode(kW, kH, 32, 60), 0);
}

TEST_F(HwDevice, AGraphKeptOutOfTexturesIsDrawnByTheSoftwareRenderer) {
  const int creates = Fake().textureCreates;
  GraphHandle g = Picture(50, 40, false, false, Pattern);
  ASSERT_NE(g, -1);
  EXPECT_EQ(qx::GetGraphRecord(g)->spec.UseTexture, 0);
  EXPECT_EQ(Fake().textureCreates, creates);
  ExpectLikeSoftware([&] { qx::DrawGraphAt(13, 17, g, 1); });
  EXPECT_EQ(Fake().textureCreates, creates) << "drawing it made no texture either";
}

TEST_F(HwDevice, TextBetweenDeviceDrawingsReadsNothingBackAndLooksLikeSoftware) {
  GraphHandle g = Picture(60, 30, false, true, Pattern);
  const FontHandle font = qx::CreateFontToHandle(nullptr, 16, 4, 1, -1, -1, 0);
  ASSERT_NE(font, -1);
  auto scene = [&] {
    qx::DrawRectangle(0, 0, 200, 50, 0xFF203040, 1);
    qx::DrawFontString(4, 4, "Score 0123 ABC", 0xFFFFFF, font, 0x000000, 0);
    qx::DrawGraphAt(40, 10, g, 1);
    qx::SetBlendMode(1, 128);
    qx::DrawFontString(10, 24, "half", 0xFF8000, font, 0x0000FF, 0);
    qx::SetBlendMode(0, 0);
  };
  ExpectLikeSoftware(scene);
  const int readBacks = Fake().readBacks;
  qx::SetDrawTarget(-2);
  scene();
  ASSERT_EQ(qx::FlipScreen(), 0);
  EXPECT_EQ(Fake().readBacks, readBacks);
  EXPECT_EQ(Fake().writeBacks, 0);
  qx::DeleteFontHandle(font);
}

TEST_F(HwDevice, ALostDeviceIsMadeAgainWithItsPicturesAndTheGameDrawsOn) {
  GraphHandle g = Picture(120, 90, true, true, [](int x, int y) {
    return static_cast<uint32_t>(255 - x) << 24 | (Pattern(x, y) & 0xFFFFFF);
  });
  ASSERT_NE(g, -1);
  const int alive = Fake().texturesAlive;
  qxtest::LogCapture log;
  ASSERT_TRUE(log.Ready());
  qx::DrawGraphAt(0, 0, g, 1);
  Fake().lost = true;
  ASSERT_EQ(qx::FlipScreen(), 0);
  EXPECT_EQ(Fake().inits, 2);
  EXPECT_EQ(Fake().texturesAlive, alive);
  EXPECT_EQ(qx::HwGetStats().recoveries, 1u);
  EXPECT_TRUE(log.Has("グラフィックスデバイスが失われました")) << log.Text();
  ExpectLikeSoftware([&] { qx::DrawGraphAt(20, 30, g, 1); });
}

TEST_F(HwDevice, DrawingsWithOneStateGoOutInOneCall) {
  GraphHandle a = Picture(16, 16, false, true, Pattern);
  GraphHandle b = Picture(16, 16, false, true, Pattern);
  qx::FlushPendingDrawing();
  const int calls = Fake().drawCalls;
  for (int i = 0; i < 300; ++i) qx::DrawGraphAt(i % 200, i % 100, a, 1);
  qx::FlushPendingDrawing();
  EXPECT_EQ(Fake().drawCalls, calls + 1);
  for (int i = 0; i < 10; ++i) qx::DrawGraphAt(i, i, i % 2 ? a : b, 1);
  qx::FlushPendingDrawing();
  EXPECT_EQ(Fake().drawCalls, calls + 11) << "each change of texture ends the batch";
}

TEST_F(HwDevice, TheAutomaticChoiceRefusesARasteriserOnTheMainProcessorBeforeBuildingAnything) {
  qx::EndGraphics();
  Fake().softwareRasteriser = true;
  qxtest::LogCapture log;
  Start();
  EXPECT_FALSE(qx::HwInUse());
  EXPECT_EQ(Fake().lastAcceptSoftware, 0);
  EXPECT_EQ(Fake().textureCreates, 0);
  EXPECT_TRUE(log.Has("PrimaryBuffer : SYSTEMMEMORY( MEMIMG ) "));
  qx::EndGraphics();
  qx::ForgetBackEndChoice();
  setenv("QUARNEX_RENDERER", "hardware", 1);
  Start();
  EXPECT_TRUE(qx::HwInUse());
}

TEST_F(HwDevice, TheStartLogsPlacementTransferMethodAndFramePeriod) {
  qx::EndGraphics();
  Fake().swapInterval = 1;
  Fake().presentWaitsMs = 16;
  Fake().messages = {"texture format refused"};
  Fake().copies = 0;
  qxtest::LogCapture log;
  Start();
  EXPECT_TRUE(log.Has("PrimaryBuffer : VIDEOMEMORY  ")) << "[" << log.Text() << "]";
  EXPECT_TRUE(log.Has("BaskBuffer : VIDEOMEMORY  "));
  EXPECT_TRUE(log.Has("サーフェス間転送には "));
  EXPECT_EQ(Fake().copies, 16);
  EXPECT_TRUE(log.Has("１フレーム当たりの時間は 16 msecです")) << log.Text();
  EXPECT_EQ(qx::GetFramePeriodMs(), 16);
  EXPECT_EQ(qx::GetVSyncSleepThresholdMs(), 9);
  EXPECT_TRUE(log.Has("GL: texture format refused"));
  // A swap that does not wait keeps the clock's pacing.
  qx::EndGraphics();
  Fake().presentWaitsMs = 0;
  Fake().swapInterval = 0;
  Start();
  EXPECT_EQ(qx::GetFramePeriodMs(), -1);
}

}  // namespace
