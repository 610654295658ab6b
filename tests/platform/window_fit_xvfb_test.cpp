// The SDL window under a virtual X server with a window manager, resized by
// the player and shown full screen with F11: the whole frame is shown, scaled
// with its proportions kept (a whole factor pixel for pixel, others
// filtered), black around it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/xvfb_support.h"
#include "runtime/platform/sdl/sdl_fit.h"

namespace {

namespace fs = std::filesystem;

constexpr int kProbeWidth = 320, kProbeHeight = 240;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint8_t Channel(const std::string& bgra, int width, int x, int y, int c) {
  return static_cast<uint8_t>(bgra[(static_cast<size_t>(y) * width + x) * 4 + c]);
}

// How a picture of the window (or the desktop) differs from the frame placed
// as FitFrame places it: pixels outside the frame that are not black, and
// pixels inside that are not what the frame holds there. A whole factor must
// repeat the frame's pixel exactly; a filtered one must lie within the range
// of the frame's pixels around the point (with 2 of rounding).
struct Mismatch {
  int bars = 0, picture = 0;
  std::string first;
};

Mismatch CheckShown(const std::string& shown, int width, int originX, int originY, int areaW, int areaH,
                    const std::string& frame) {
  const qx::FrameFit fit = qx::FitFrame(areaW, areaH, kProbeWidth, kProbeHeight);
  Mismatch m;
  for (int y = originY; y < originY + areaH; ++y) {
    for (int x = originX; x < originX + areaW; ++x) {
      const int fx = x - originX - fit.x, fy = y - originY - fit.y;
      const bool inside = fx >= 0 && fy >= 0 && fx < fit.width && fy < fit.height;
      bool ok = true;
      for (int c = 0; c < 3 && ok; ++c) {
        const int v = Channel(shown, width, x, y, c);
        if (!inside) {
          ok = v == 0;
          continue;
        }
        const int sx = static_cast<int>(static_cast<long long>(fx) * kProbeWidth / fit.width);
        const int sy = static_cast<int>(static_cast<long long>(fy) * kProbeHeight / fit.height);
        if (fit.wholeFactor) {
          ok = v == Channel(frame, kProbeWidth, sx, sy, c);
          continue;
        }
        int low = 255, high = 0;
        for (int ny = sy - 1; ny <= sy + 1; ++ny) {
          for (int nx = sx - 1; nx <= sx + 1; ++nx) {
            if (nx < 0 || ny < 0 || nx >= kProbeWidth || ny >= kProbeHeight) continue;
            const int f = Channel(frame, kProbeWidth, nx, ny, c);
            low = std::min(low, f);
            high = std::max(high, f);
          }
        }
        ok = v >= low - 2 && v <= high + 2;
      }
      if (ok) continue;
      (inside ? m.picture : m.bars)++;
      if (m.first.empty()) m.first = std::to_string(x) + "," + std::to_string(y);
    }
  }
  return m;
}

class WindowFitUnderXvfb : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qxtest::Executable("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    for (const char* tool : {"/usr/bin/xdotool", "/usr/bin/xwd", "/usr/bin/xprop"}) {
      ASSERT_TRUE(qxtest::Executable(tool)) << tool;
    }
    char pattern[] = "/tmp/quarnex-fit-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    // Full screen is the window manager's to grant: a small one that knows it.
    if (!qxtest::Executable("/usr/bin/evilwm")) GTEST_SKIP() << "evilwm is not installed (scripts/install-deps.sh)";
    display_ = qxtest::StartXvfb(&xvfb_);
    ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
    // Windows mapped before the manager has taken the screen stay unmanaged.
    // A manager that ends at once (a server not quite ready) is started again.
    bool managing = false;
    for (int attempt = 0; attempt < 5 && !managing; ++attempt) {
      const int log = open((dir_ + "/evilwm.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      wm_ = qxtest::Spawn({"/usr/bin/evilwm", "-fn", "fixed"}, {"DISPLAY=" + display_}, dir_, log);
      if (log >= 0) close(log);
      for (int waited = 0; waited < 30000 && !managing && !qxtest::Ended(wm_); waited += 50) {
        managing = X("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos;
        if (!managing) qxtest::SleepMs(50);
      }
      if (!managing) qxtest::StopProcess(wm_);
    }
    ASSERT_TRUE(managing) << "evilwm did not start: " << ReadFile(dir_ + "/evilwm.txt");
  }

  void TearDown() override {
    if (!hold_.empty()) fs::remove(hold_);
    if (probe_ > 0 && qxtest::WaitExit(probe_, 20000) == -1) qxtest::StopProcess(probe_);
    qxtest::StopProcess(wm_);
    qxtest::StopProcess(xvfb_);
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  std::string X(const std::string& command) {
    return qxtest::Capture("DISPLAY=" + display_ + " " + command + " 2>/dev/null");
  }

  // Starts the draw probe, which keeps showing its last picture; returns that
  // picture (320 x 240 BGRA) and sets window_.
  std::string StartProbe() {
    hold_ = dir_ + "/hold";
    std::ofstream(hold_) << "hold\n";
    const int fd = open((dir_ + "/output.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    probe_ = qxtest::Spawn({std::string(QUARNEX_BINARY_DIR) + "/tests/quarnex_draw_probe"},
                           {"DISPLAY=" + display_, "QUARNEX_PLATFORM=sdl", "QUARNEX_RENDERER=software",
                            "QUARNEX_LOCK_DIR=" + dir_, "SDL_AUDIODRIVER=dummy", "QUARNEX_PROBE_HOLD=" + hold_},
                           dir_, fd);
    if (fd >= 0) close(fd);
    for (int waited = 0; waited < qxtest::kPatienceMs && !fs::exists(dir_ + "/shown.txt"); waited += 100) {
      if (qxtest::Ended(probe_)) break;
      qxtest::SleepMs(100);
    }
    EXPECT_TRUE(fs::exists(dir_ + "/shown.txt")) << ReadFile(dir_ + "/output.txt");
    const std::string candidates = X("xdotool search --name '^Quarnex draw probe$'");
    for (size_t at = 0; at < candidates.size();) {
      size_t end = candidates.find('\n', at);
      if (end == std::string::npos) end = candidates.size();
      const std::string id = candidates.substr(at, end - at);
      at = end + 1;
      if (X("xwininfo -id " + id).find("IsViewable") != std::string::npos) window_ = id;
    }
    EXPECT_FALSE(window_.empty()) << "no window: " << candidates;
    // The probe keeps showing its last reference picture, whichever that is.
    std::string last;
    for (int i = 0;; ++i) {
      char name[32];
      snprintf(name, sizeof name, "/case_%02d.bgra", i);
      if (!fs::exists(dir_ + name)) break;
      last = dir_ + name;
    }
    return ReadFile(last);
  }

  struct Geometry {
    int x = -1, y = -1, width = 0, height = 0;
  };
  Geometry WindowGeometry() {
    Geometry g;
    const std::string info = X("xwininfo -id " + window_);
    auto field = [&info](const char* name) {
      const size_t at = info.find(name);
      return at == std::string::npos ? -1 : atoi(info.c_str() + at + strlen(name));
    };
    g.x = field("Absolute upper-left X:");
    g.y = field("Absolute upper-left Y:");
    g.width = field("Width:");
    g.height = field("Height:");
    return g;
  }

  // The desktop as shown, 1280 x 1024 BGRA.
  std::string Desktop() { return X("xwd -silent -root | convert xwd:- -depth 8 bgra:-"); }

  // Waits until the window has that size and the desktop shows the frame in
  // it (the probe presents on every pass); returns the last comparison.
  Mismatch ShownIn(int width, int height, const std::string& frame) {
    Mismatch m;
    m.bars = m.picture = -1;
    for (int tries = 0; tries < 50; ++tries) {
      qxtest::SleepMs(200);
      const Geometry g = WindowGeometry();
      if (g.width != width || g.height != height) {
        m.first = "window " + std::to_string(g.width) + "x" + std::to_string(g.height);
        continue;
      }
      const std::string desktop = Desktop();
      if (desktop.size() != 1280u * 1024 * 4) continue;
      m = CheckShown(desktop, 1280, g.x, g.y, width, height, frame);
      if (m.bars == 0 && m.picture == 0) break;
    }
    return m;
  }

  std::string dir_, display_, hold_, window_;
  pid_t xvfb_ = -1, wm_ = -1, probe_ = -1;
};

TEST_F(WindowFitUnderXvfb, AResizedWindowShowsTheWholeFrameScaledToFit) {
  const std::string frame = StartProbe();
  ASSERT_EQ(frame.size(), static_cast<size_t>(kProbeWidth) * kProbeHeight * 4);
  ASSERT_FALSE(window_.empty());
  struct Case {
    int width, height;
    const char* what;
  };
  const Case cases[] = {
      {640, 480, "twice the size: pixel for pixel"},
      {1000, 600, "wider than the frame: filtered, bars left and right"},
      {500, 700, "taller: filtered, bars above and below"},
      {330, 250, "a little larger: drawn at 1:1 with a thin border"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Wholly on the desktop, whose picture is taken.
    ASSERT_EQ(X("xdotool windowmove --sync " + window_ + " 0 0 windowsize --sync " + window_ + " " +
                std::to_string(c.width) + " " +
                std::to_string(c.height) + " && echo ok"),
              "ok\n");
    const Mismatch m = ShownIn(c.width, c.height, frame);
    EXPECT_EQ(m.bars, 0) << "first at " << m.first;
    EXPECT_EQ(m.picture, 0) << "first at " << m.first;
  }
}

// F11 puts the window into the desktop's full-screen state, where the frame
// fills the desktop as far as its proportions allow, and takes it out again.
TEST_F(WindowFitUnderXvfb, F11ShowsTheSameFrameFullScreenAndBack) {
  const std::string frame = StartProbe();
  ASSERT_EQ(frame.size(), static_cast<size_t>(kProbeWidth) * kProbeHeight * 4);
  ASSERT_FALSE(window_.empty());
  ASSERT_EQ(X("xdotool windowfocus --sync " + window_ + " && echo ok"), "ok\n");
  EXPECT_EQ(X("xprop -id " + window_ + " _NET_WM_STATE").find("FULLSCREEN"), std::string::npos);
  ASSERT_EQ(X("xdotool key F11 && echo ok"), "ok\n");
  bool full = false;
  for (int tries = 0; tries < 50 && !full; ++tries) {
    qxtest::SleepMs(100);
    full = X("xprop -id " + window_ + " _NET_WM_STATE").find("_NET_WM_STATE_FULLSCREEN") != std::string::npos;
  }
  ASSERT_TRUE(full) << X("xprop -id " + window_);
  // 320 x 240 four times over is 1280 x 960, with bars of 32 rows above and below.
  const Mismatch m = ShownIn(1280, 1024, frame);
  EXPECT_EQ(m.bars, 0) << "first at " << m.first;
  EXPECT_EQ(m.picture, 0) << "first at " << m.first;
  const Geometry g = WindowGeometry();
  EXPECT_EQ(g.x, 0);
  EXPECT_EQ(g.y, 0);

  ASSERT_EQ(X("xdotool key F11 && echo ok"), "ok\n");
  bool windowed = false;
  for (int tries = 0; tries < 50 && !windowed; ++tries) {
    qxtest::SleepMs(100);
    windowed = X("xprop -id " + window_ + " _NET_WM_STATE").find("FULLSCREEN") == std::string::npos;
  }
  EXPECT_TRUE(windowed);
  const Mismatch back = ShownIn(kProbeWidth, kProbeHeight, frame);
  EXPECT_EQ(back.bars, 0) << "first at " << back.first;
  EXPECT_EQ(back.picture, 0) << "first at " << back.first;
  // The probe went on presenting the picture it drew before: nothing was lost.
  EXPECT_FALSE(qxtest::Ended(probe_)) << ReadFile(dir_ + "/output.txt");
}

}  // namespace
