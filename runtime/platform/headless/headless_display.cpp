// Headless display: a 60 Hz vertical blank on the virtual clock, presented
// frames counted, optionally saved as PNG files and hashed for cheap comparison.
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "runtime/platform/frame_hash.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/tables.h"

namespace qx {
namespace {

constexpr uint64_t kRefreshHz = 60;
constexpr uint64_t kScanLines = 525;  // including the blank
constexpr uint64_t kVisibleLines = 480;
constexpr uint64_t kClockReadMicros = 100;  // each poll moves time on, so polling loops end

struct FrameOutput {
  std::string framesDir;
  FrameHashFile hashes;
};

FrameOutput g_out;

// The variables are read at every frame, so a change takes effect at once
// (tests switch them within one process).
void Configure() {
  const char* dir = getenv("QUARNEX_FRAMES_DIR");
  g_out.framesDir = dir ? dir : "";
  g_out.hashes.Configure();
}

// Position within the current refresh, in units of 1 / (60 * 1e6) s, so the
// 16666.67 us period stays exact.
uint64_t Phase() { return (Headless().clockMicros * kRefreshHz) % 1000000ULL; }

uint64_t ScanLineNow() { return Phase() * kScanLines / 1000000ULL; }

void ToRgb(const uint8_t* row, int width, int bits, uint8_t* out) {
  for (int x = 0; x < width; ++x) {
    if (bits == 16) {
      uint16_t v = static_cast<uint16_t>(row[2 * x] | row[2 * x + 1] << 8);
      out[3 * x] = static_cast<uint8_t>(((v >> 11) & 31) * 255 / 31);
      out[3 * x + 1] = static_cast<uint8_t>(((v >> 5) & 63) * 255 / 63);
      out[3 * x + 2] = static_cast<uint8_t>((v & 31) * 255 / 31);
    } else {
      out[3 * x] = row[4 * x + 2];
      out[3 * x + 1] = row[4 * x + 1];
      out[3 * x + 2] = row[4 * x];
    }
  }
}

void WritePng(const char* path, const uint8_t* pixels, int pitch, int width, int height, int bits) {
  FILE* file = fopen(path, "wb");
  if (!file) {
    fprintf(stderr, "quarnex: cannot write %s\n", path);
    return;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  if (png && info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
      ToRgb(pixels + static_cast<ptrdiff_t>(y) * pitch, width, bits, row.data());
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  fclose(file);
}

int Present(const void* pixels, int pitch, int width, int height, int bitsPerPixel) {
  HeadlessState& h = Headless();
  h.presentedFrames++;
  Configure();
  if (!pixels || width <= 0 || height <= 0) return 0;
  const uint8_t* base = static_cast<const uint8_t*>(pixels);
  g_out.hashes.Add(h.presentedFrames, base, pitch, width, height, bitsPerPixel / 8);
  if (!g_out.framesDir.empty()) {
    char path[4096];
    snprintf(path, sizeof(path), "%s/frame_%06llu.png", g_out.framesDir.c_str(),
             static_cast<unsigned long long>(h.presentedFrames));
    WritePng(path, base, pitch, width, height, bitsPerPixel);
  }
  return 0;
}

int RefreshRate() { return static_cast<int>(kRefreshHz); }

int InVerticalBlank() {
  HeadlessAdvanceMicros(kClockReadMicros);
  return ScanLineNow() >= kVisibleLines ? 1 : 0;
}

int ScanLine() {
  HeadlessAdvanceMicros(kClockReadMicros);
  uint64_t line = ScanLineNow();
  return static_cast<int>(line < kVisibleLines ? line : kVisibleLines);
}

// Moves the clock to the start of the next blank.
void WaitForVerticalBlank() {
  // First phase whose scan line is in the blank.
  constexpr uint64_t kBlankPhase = (kVisibleLines * 1000000ULL + kScanLines - 1) / kScanLines;
  uint64_t now = Headless().clockMicros;
  uint64_t frame = now * kRefreshHz / 1000000ULL;
  uint64_t blankStart = (frame * 1000000ULL + kBlankPhase + kRefreshHz - 1) / kRefreshHz;
  if (blankStart <= now) blankStart = ((frame + 1) * 1000000ULL + kBlankPhase + kRefreshHz - 1) / kRefreshHz;
  HeadlessAdvanceMicros(blankStart - now);
}

}  // namespace

const PlatformDisplayOps kHeadlessDisplayOps = {Present, RefreshRate, InVerticalBlank, ScanLine,
                                                WaitForVerticalBlank};

}  // namespace qx
