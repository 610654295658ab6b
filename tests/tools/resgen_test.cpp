// The resource generator's output as the build lays it out for the game: picture sizes and
// grids, what the pictures must hold, the sound formats and the music's loop seam.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "runtime/file/file.h"
#include "runtime/graphics/graph_image.h"
#include "support/read_file.h"

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> ReadAll(const fs::path& p) { return qxtest::ReadWholeFile(p.string()); }

uint32_t Be32(const unsigned char* p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
uint32_t Le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }

struct Picture {
  int width = 0, height = 0, colorType = -1;
  std::vector<unsigned char> rgba;  // decoded, 4 bytes per pixel
  const unsigned char* At(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// Reads the header straight from the bytes, then decodes to RGBA with libpng.
bool LoadPicture(const fs::path& path, Picture& out) {
  std::vector<unsigned char> bytes = ReadAll(path);
  static const unsigned char kSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (bytes.size() < 33 || !std::equal(kSig, kSig + 8, bytes.begin()) || std::string(&bytes[12], &bytes[16]) != "IHDR")
    return false;
  out.width = int(Be32(&bytes[16]));
  out.height = int(Be32(&bytes[20]));
  out.colorType = bytes[25];
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) return false;
  img.format = PNG_FORMAT_RGBA;
  out.rgba.resize(PNG_IMAGE_SIZE(img));
  bool ok = png_image_finish_read(&img, nullptr, out.rgba.data(), 0, nullptr) != 0;
  png_image_free(&img);
  return ok && int(img.width) == out.width && int(img.height) == out.height;
}

struct Wave {
  int format = 0, channels = 0, rate = 0, bits = 0;
  std::vector<int16_t> samples;  // interleaved
  size_t frames() const { return channels ? samples.size() / channels : 0; }
};

bool LoadWave(const fs::path& path, Wave& out) {
  std::vector<unsigned char> b = ReadAll(path);
  if (b.size() < 12 || std::string(&b[0], &b[4]) != "RIFF" || std::string(&b[8], &b[12]) != "WAVE") return false;
  size_t pos = 12;
  bool fmt = false;
  while (pos + 8 <= b.size()) {
    std::string id(&b[pos], &b[pos + 4]);
    size_t size = Le32(&b[pos + 4]);
    const unsigned char* body = &b[pos + 8];
    if (pos + 8 + size > b.size()) return false;
    if (id == "fmt ") {
      // The runtime's reader wants the format chunk first.
      if (pos != 12 || size < 16) return false;
      out.format = Le16(body);
      out.channels = Le16(body + 2);
      out.rate = int(Le32(body + 4));
      out.bits = Le16(body + 14);
      fmt = true;
    } else if (id == "data") {
      if (!fmt || out.bits != 16) return false;
      out.samples.resize(size / 2);
      for (size_t i = 0; i < out.samples.size(); ++i) out.samples[i] = int16_t(Le16(body + i * 2));
      return true;
    }
    pos += 8 + size + (size & 1);
  }
  return false;
}

struct PictureGrid {
  const char* path;
  int across, down, cellW, cellH;
  bool overlay;  // drawn over the scene, so it must let the scene show through
};

// Grids the game loads the pictures with; whole pictures are one cell of their own size.
const PictureGrid kPictures[] = {
    {"img/common/kest.png", 3, 1, 280, 280, true},
    {"img/common/title0.png", 1, 1, 800, 600, false},
    {"img/common/title1.png", 1, 1, 800, 600, false},
    {"img/common/title2.png", 1, 1, 800, 600, false},
    {"img/common/click.png", 1, 1, 800, 600, true},
    {"img/common/pointer.png", 1, 1, 128, 128, true},
    {"img/common/num_30x40.png", 10, 1, 30, 40, true},
    {"img/common/num_60x80.png", 10, 1, 60, 80, true},
    {"img/common/volume.png", 6, 1, 80, 20, true},
    {"img/game/intro.png", 1, 1, 800, 600, false},
    {"img/game/bg1.png", 1, 1, 1024, 1024, false},
    {"img/game/bg2.png", 1, 1, 1024, 1024, false},
    {"img/game/bg3.png", 1, 1, 1024, 1024, true},
    {"img/game/bg4.png", 1, 1, 1024, 1024, true},
    {"img/game/noiz.png", 1, 1, 800, 600, true},
    {"img/game/gross.png", 1, 1, 512, 272, true},
    {"img/game/uibase.png", 1, 1, 800, 600, true},
    {"img/game/life.png", 1, 1, 12, 24, true},
    {"img/game/over1.png", 1, 1, 800, 600, true},
    {"img/game/over2.png", 1, 1, 800, 600, true},
    {"img/game/over3.png", 1, 1, 800, 600, true},
    {"img/game/type.png", 3, 1, 60, 60, true},
    {"img/game/gauge.png", 1, 2, 256, 32, true},
    {"img/game/lock.png", 3, 2, 240, 240, true},
    {"img/game/stone0.png", 12, 1, 512, 512, true},
    {"img/game/stone1.png", 12, 1, 512, 512, true},
    {"img/game/stone2.png", 12, 1, 512, 512, true},
    {"img/game/efc0.png", 17, 1, 512, 512, true},
    {"img/game/efc1.png", 17, 1, 512, 512, true},
    {"img/game/efc2.png", 17, 1, 512, 512, true},
    {"img/game/gaugeb.png", 1, 1, 256, 32, false},
};

const char* const kEffects[] = {"se/common/kest.wav",  "se/common/start.wav", "se/game/hagane.wav",
                                "se/game/kaminari.wav", "se/game/reitou.wav", "se/game/get.wav",
                                "se/game/change.wav",  "se/game/damage.wav"};
const char* const kMusic = "mzk/tarvelon.wav";
constexpr size_t kLoopSample = 736470;  // 16700 ms at 44100 Hz

// The build runs the generator into run-res/ before this test is built; that tree is what ships.
class ResgenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::is_directory(Root())) << Root() << " is made by the build (target quarnex-resources)";
  }
  static fs::path Root() { return fs::path(QUARNEX_BINARY_DIR) / "run-res" / "res"; }
  static fs::path Res(const std::string& rel) { return Root() / rel; }
};

// Cells that show something: not all transparent, and not one flat colour.
bool CellHasContent(const Picture& p, int x0, int y0, int w, int h) {
  const unsigned char* first = p.At(x0, y0);
  bool varied = false, visible = false;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      const unsigned char* px = p.At(x, y);
      visible = visible || px[3] > 0;
      varied = varied || !std::equal(px, px + 4, first);
    }
  return visible && varied;
}

bool CellsEqual(const Picture& p, int ax, int ay, int bx, int by, int w, int h) {
  for (int y = 0; y < h; ++y)
    if (!std::equal(p.At(ax, ay + y), p.At(ax, ay + y) + size_t(w) * 4, p.At(bx, by + y))) return false;
  return true;
}

TEST_F(ResgenTest, WritesExactlyTheFilesTheGameLoads) {
  std::set<std::string> expected, found;
  for (const PictureGrid& s : kPictures) expected.insert(s.path);
  for (const char* e : kEffects) expected.insert(e);
  expected.insert(kMusic);
  for (const auto& entry : fs::recursive_directory_iterator(Root()))
    if (entry.is_regular_file()) found.insert(fs::relative(entry.path(), Root()).generic_string());
  EXPECT_EQ(found, expected);
}

TEST_F(ResgenTest, PicturesHaveTheirGridsAndEveryCellShowsSomething) {
  for (const PictureGrid& s : kPictures) {
    SCOPED_TRACE(s.path);
    Picture p;
    ASSERT_TRUE(LoadPicture(Res(s.path), p));
    EXPECT_EQ(p.width, s.across * s.cellW);
    EXPECT_EQ(p.height, s.down * s.cellH);
    for (int r = 0; r < s.down; ++r)
      for (int c = 0; c < s.across; ++c)
        EXPECT_TRUE(CellHasContent(p, c * s.cellW, r * s.cellH, s.cellW, s.cellH)) << "cell " << r * s.across + c;
  }
}

TEST_F(ResgenTest, OverlaysAreSeeThroughAndFullScreenPicturesAreOpaque) {
  for (const PictureGrid& s : kPictures) {
    SCOPED_TRACE(s.path);
    Picture p;
    ASSERT_TRUE(LoadPicture(Res(s.path), p));
    size_t seeThrough = 0, total = size_t(p.width) * p.height;
    for (size_t i = 0; i < total; ++i) seeThrough += p.rgba[i * 4 + 3] < 255;
    if (s.overlay) {
      EXPECT_GT(seeThrough, total / 20);
    } else {
      EXPECT_EQ(p.colorType, PNG_COLOR_TYPE_RGB);
    }
  }
}

// The runtime's own decoder must take every picture as the game will load it.
TEST_F(ResgenTest, RuntimeDecodesEveryPicture) {
  for (const PictureGrid& s : kPictures) {
    SCOPED_TRACE(s.path);
    std::vector<unsigned char> bytes = ReadAll(Res(s.path));
    qx::MemoryStream* stream = qx::OpenMemoryStream(bytes.data(), bytes.size());
    ASSERT_NE(stream, nullptr);
    qx::GraphImage img{};
    int rc = qx::DecodeImage(&qx::MemoryStreamOps(), stream, &img);
    qx::MemoryStreamOps().Close(stream);
    EXPECT_EQ(rc, 0);
    if (rc != 0) continue;
    EXPECT_EQ(img.width, s.across * s.cellW);
    EXPECT_EQ(img.height, s.down * s.cellH);
    qx::ReleaseGraphImage(&img);
  }
}

// Pieces that stand for different values must look different.
TEST_F(ResgenTest, PiecesThatStandForDifferentValuesDiffer) {
  struct Case {
    const char* path;
    int count, cellW, cellH;
  } cases[] = {{"img/common/num_30x40.png", 10, 30, 40}, {"img/common/num_60x80.png", 10, 60, 80},
               {"img/common/volume.png", 6, 80, 20},     {"img/game/type.png", 3, 60, 60},
               {"img/game/stone0.png", 12, 512, 512},    {"img/game/efc1.png", 17, 512, 512}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Picture p;
    ASSERT_TRUE(LoadPicture(Res(c.path), p));
    for (int a = 0; a < c.count; ++a)
      for (int b = a + 1; b < c.count; ++b)
        EXPECT_FALSE(CellsEqual(p, a * c.cellW, 0, b * c.cellW, 0, c.cellW, c.cellH)) << a << " and " << b;
  }
  Picture lock;
  ASSERT_TRUE(LoadPicture(Res("img/game/lock.png"), lock));
  for (int t = 0; t < 3; ++t) {
    EXPECT_FALSE(CellsEqual(lock, t * 240, 0, t * 240, 240, 240, 240)) << "plain and locked-on cursor " << t;
  }
  Picture gauge;
  ASSERT_TRUE(LoadPicture(Res("img/game/gauge.png"), gauge));
  EXPECT_FALSE(CellsEqual(gauge, 0, 0, 0, 32, 256, 32)) << "ready and recharging gauge";
}

// A stone is hit within 20 + depth / 2 pixels of its centre and drawn at depth² × 3 / 320²
// times its cell's size. Over the depths where it can be hit, what shows of it (the pixels
// at least half opaque, taken as a disc of the same area) stays near that radius, and no
// part reaches far beyond it at the largest scale.
TEST_F(ResgenTest, StonesOnScreenStayNearTheirHitRadius) {
  for (int kind = 0; kind < 3; ++kind) {
    Picture p;
    ASSERT_TRUE(LoadPicture(Res("img/game/stone" + std::to_string(kind) + ".png"), p));
    for (int cell = 0; cell < 2; ++cell) {  // intact and cracked
      SCOPED_TRACE("stone" + std::to_string(kind) + " cell " + std::to_string(cell));
      size_t shown = 0;
      double farthest = 0;
      for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
          if (p.At(cell * 512 + x, y)[3] < 128) continue;
          ++shown;
          farthest = std::max(farthest, std::hypot(x + 0.5 - 256, y + 0.5 - 256));
        }
      const double radius = std::sqrt(shown / 3.14159265358979);
      for (double depth : {200.0, 260.0, 320.0}) {
        const double scale = depth * depth * 3.0 / (320.0 * 320.0);
        const double hit = 20 + depth * 0.5;
        EXPECT_GE(radius * scale, 0.6 * hit) << "depth " << depth << ", radius " << radius;
        EXPECT_LE(radius * scale, 1.25 * hit) << "depth " << depth << ", radius " << radius;
      }
      EXPECT_LE(farthest * 3.0, 1.5 * (20 + 320 * 0.5)) << "farthest " << farthest;
    }
  }
}

// Where the game puts these pictures: the launcher at (144, 359 - recoil + shake) with recoil up
// to 12 and shake -2 must still reach the bottom of the 600-pixel view; aiming cursors are drawn
// 120 pixels up and left of the pointer, so their mark must sit at the cell's centre.
TEST_F(ResgenTest, PicturesLineUpWithWhereTheGameDrawsThem) {
  Picture gross;
  ASSERT_TRUE(LoadPicture(Res("img/game/gross.png"), gross));
  int top = 359 - 12 - 2;
  int row = 600 - top - 1;  // the picture row on the view's last line
  ASSERT_LT(row, gross.height);
  EXPECT_EQ(gross.At(gross.width / 2, row)[3], 255);
  Picture lock;
  ASSERT_TRUE(LoadPicture(Res("img/game/lock.png"), lock));
  for (int cell = 0; cell < 6; ++cell) {
    int x = (cell % 3) * 240 + 120, y = (cell / 3) * 240 + 120;
    EXPECT_GT(lock.At(x, y)[3], 200) << "cell " << cell;
    EXPECT_GT(lock.At(x - 1, y - 1)[3], 200) << "cell " << cell;
  }
}

// The mask's red channel is the blend weight: a ramp along the bar, the same on every row.
TEST_F(ResgenTest, GaugeMaskIsAHorizontalRamp) {
  Picture m;
  ASSERT_TRUE(LoadPicture(Res("img/game/gaugeb.png"), m));
  ASSERT_EQ(m.width, 256);
  EXPECT_GE(m.At(0, 0)[0], 250);
  EXPECT_LE(m.At(255, 0)[0], 5);
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) {
      ASSERT_EQ(m.At(x, y)[0], m.At(x, 0)[0]) << x << "," << y;
      if (x > 0) {
        ASSERT_LE(m.At(x, y)[0], m.At(x - 1, y)[0]) << x;
      }
    }
}

TEST_F(ResgenTest, EffectsAreShortPcmStereoAt44100) {
  for (const char* e : kEffects) {
    SCOPED_TRACE(e);
    Wave w;
    ASSERT_TRUE(LoadWave(Res(e), w));
    EXPECT_EQ(w.format, 1);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.bits, 16);
    EXPECT_GT(w.frames(), 44100u / 20);
    EXPECT_LT(w.frames(), 44100u * 3);
    int16_t peak = 0;
    for (int16_t s : w.samples) peak = std::max<int16_t>(peak, int16_t(std::abs(int(s))));
    EXPECT_GT(peak, 8000) << "audible";
  }
}

TEST_F(ResgenTest, MusicIsLongEnoughAndLoopsSeamlessly) {
  Wave w;
  ASSERT_TRUE(LoadWave(Res(kMusic), w));
  EXPECT_EQ(w.format, 1);
  ASSERT_EQ(w.channels, 2);
  EXPECT_EQ(w.rate, 44100);
  EXPECT_EQ(w.bits, 16);
  size_t n = w.frames();
  EXPECT_GE(n, 30u * 44100);
  const size_t kWindow = 1024;  // about 23 ms each side of the seam
  ASSERT_GT(n, kLoopSample + 2 * kWindow);
  for (int ch = 0; ch < 2; ++ch) {
    SCOPED_TRACE(ch);
    auto s = [&](size_t i) { return double(w.samples[i * 2 + ch]); };
    // Steps and curvature of the waveform next to the seam on both sides.
    double maxStep = 0, maxCurve = 0, energy = 0;
    for (size_t i = n - kWindow; i < n; ++i) {
      maxStep = std::max(maxStep, std::fabs(s(i) - s(i - 1)));
      maxCurve = std::max(maxCurve, std::fabs(s(i) - 2 * s(i - 1) + s(i - 2)));
      energy += s(i) * s(i);
    }
    for (size_t i = kLoopSample + 2; i < kLoopSample + kWindow; ++i) {
      maxStep = std::max(maxStep, std::fabs(s(i) - s(i - 1)));
      maxCurve = std::max(maxCurve, std::fabs(s(i) - 2 * s(i - 1) + s(i - 2)));
    }
    // A silent seam would pass trivially.
    ASSERT_GT(std::sqrt(energy / kWindow), 1000.0);
    // Playback goes from the last sample to the loop sample: that step must look like any other.
    double step = std::fabs(s(kLoopSample) - s(n - 1));
    double curve = std::fabs(s(kLoopSample) - 2 * s(n - 1) + s(n - 2));
    double curveNext = std::fabs(s(kLoopSample + 1) - 2 * s(kLoopSample) + s(n - 1));
    EXPECT_LE(step, maxStep);
    EXPECT_LE(curve, maxCurve);
    EXPECT_LE(curveNext, maxCurve);
  }
}

// Same program, same bytes: a fresh run into an empty folder reproduces the build's tree.
TEST_F(ResgenTest, OutputIsReproducible) {
  char pattern[] = "/tmp/quarnex-resgen-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  fs::path dir(pattern);
  std::string cmd = "'" QUARNEX_BINARY_DIR "/tools/resgen/quarnex-resgen' '" + dir.string() + "' > /dev/null";
  int status = std::system(cmd.c_str());
  EXPECT_EQ(status, 0);
  size_t files = 0;
  if (status == 0) {
    for (const auto& entry : fs::recursive_directory_iterator(Root())) {
      if (!entry.is_regular_file()) continue;
      fs::path rel = fs::relative(entry.path(), Root());
      SCOPED_TRACE(rel.string());
      EXPECT_TRUE(ReadAll(entry.path()) == ReadAll(dir / "res" / rel));
      ++files;
    }
    EXPECT_GT(files, 0u);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
