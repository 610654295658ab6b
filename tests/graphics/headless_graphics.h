// Starts the screen on the headless platform without the rest of the runtime,
// so screen, font and on-screen log tests run without a window.
#ifndef QUARNEX_TESTS_GRAPHICS_HEADLESS_GRAPHICS_H
#define QUARNEX_TESTS_GRAPHICS_HEADLESS_GRAPHICS_H

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "runtime/core/api_internal.h"
#include "runtime/core/log.h"
#include "runtime/core/subsystems.h"
#include "runtime/core/window_state.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/screen.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/platform.h"

namespace qxtest {

inline void StartHeadlessGraphics(int width, int height, int bits, int windowed = 1) {
  qx::SelectPlatform(&qx::kHeadlessPlatform);
  qx::WindowState& ws = qx::GetWindowState();
  ws.windowed = windowed;
  ws.hasMainWindow = 1;
  ws.windowActive = 1;
  ws.runWhileInactive = 1;
  ASSERT_EQ(qx::SetScreenMode(width, height, bits, 60), 0);
  ASSERT_EQ(qx::InitGraphics(), 0);
}

// Whole-target draw area, no blending, full brightness.
inline void PlainDrawState() {
  int w = 0, h = 0;
  qx::GetScreenSize(&w, &h);
  qx::SetClipRect(0, 0, w, h);
  qx::SetBlendMode(0, 0);
  qx::SetBrightness(255, 255, 255);
  qx::DrawState& ds = qx::GetDrawState();
  ds.drawLeft = 0;
  ds.drawTop = 0;
  ds.drawRight = w;
  ds.drawBottom = h;
  ds.drawAreaEmpty = 0;
  ds.blendMode = 0;
  ds.blendParam = 0;
  ds.brightness = 0xFFFFFF;
}

inline uint32_t PixelAt(const qx::MEMIMG* img, int x, int y) {
  const uint8_t* row = img->pixels + static_cast<ptrdiff_t>(y) * img->pitch;
  if (img->format->BytesPerPixel == 2) return reinterpret_cast<const uint16_t*>(row)[x];
  return reinterpret_cast<const uint32_t*>(row)[x];
}

inline void FillWith(qx::MEMIMG* img, uint32_t value) {
  for (int y = 0; y < img->height; ++y)
    for (int x = 0; x < img->width; ++x) {
      uint8_t* row = img->pixels + static_cast<ptrdiff_t>(y) * img->pitch;
      if (img->format->BytesPerPixel == 2) {
        reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(value);
      } else {
        reinterpret_cast<uint32_t*>(row)[x] = value;
      }
    }
}

// Sends the log to Log.txt in a fresh directory for the object's lifetime.
class LogCapture {
 public:
  LogCapture() {
    char pattern[] = "/tmp/quarnex-screen-log-XXXXXX";
    if (mkdtemp(pattern)) dir_ = pattern;
    qx::WindowState& ws = qx::GetWindowState();
    savedDirectory_ = ws.StartDirectory;
    savedDisabled_ = ws.logDisabled;
    snprintf(ws.StartDirectory, sizeof(ws.StartDirectory), "%s", dir_.c_str());
    ws.logDisabled = 0;
    qx::StartLog();
  }
  ~LogCapture() {
    qx::WindowState& ws = qx::GetWindowState();
    snprintf(ws.StartDirectory, sizeof(ws.StartDirectory), "%s", savedDirectory_.c_str());
    ws.logDisabled = savedDisabled_;
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  bool Ready() const { return !dir_.empty(); }
  std::string Text() const {
    std::ifstream in(dir_ + "/Log.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool Has(const std::string& piece) const { return Text().find(piece) != std::string::npos; }

 private:
  std::string dir_;
  std::string savedDirectory_;
  int savedDisabled_ = 0;
};

class HeadlessGraphics : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartHeadlessGraphics(800, 600, 32); }
  static void TearDownTestSuite() { qx::EndGraphics(); }
  void SetUp() override {
    ASSERT_TRUE(qx::ScreenExists());
    ASSERT_EQ(qx::SetDrawTarget(-2), 0);
    PlainDrawState();
  }
};

}  // namespace qxtest

#endif
