// Decoding the game's gameplay pictures: the runtime's PNG decoder as the
// game calls it (files in memory, so the fast path for plain pictures), its
// libpng path alone, and libspng decoding the same files into the same layouts.
// The pictures come from the generated resource tree of the build
// (build/run-res/res/img/game, made with the quarnex target).
#include <benchmark/benchmark.h>
#include <spng.h>

#include <string>
#include <vector>

#include "runtime/file/file.h"
#include "runtime/graphics/decode_util.h"
#include "runtime/graphics/graph_image.h"
#include "tests/support/read_file.h"

namespace {

const char* const kPictures[] = {"stone0.png", "stone1.png", "stone2.png", "efc0.png", "efc1.png", "efc2.png",
                                 "bg1.png",    "bg2.png",    "bg3.png",    "bg4.png",  "noiz.png", "uibase.png"};

std::vector<std::vector<uint8_t>> LoadFiles() {
  std::vector<std::vector<uint8_t>> files;
  for (const char* name : kPictures) {
    files.push_back(qxtest::ReadWholeFile(std::string(QUARNEX_BENCH_RES_DIR) + "/img/game/" + name));
  }
  return files;
}

int64_t TotalBytes(const std::vector<std::vector<uint8_t>>& files) {
  int64_t n = 0;
  for (const auto& f : files) n += static_cast<int64_t>(f.size());
  return n;
}

void DecodeAll(benchmark::State& state, qx::ImageDecoder decoder) {
  const auto files = LoadFiles();
  for (auto _ : state) {
    for (const auto& f : files) {
      qx::MemoryStream* stream = qx::OpenMemoryStream(f.data(), f.size());
      qx::GraphImage image{};
      if (decoder(&qx::MemoryStreamOps(), stream, &image) != 0) state.SkipWithError("decode");
      qx::MemoryStreamOps().Close(stream);
      qx::ReleaseGraphImage(&image);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * TotalBytes(files));
}

void BM_DecodePng(benchmark::State& state) { DecodeAll(state, qx::DecodePng); }
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);

void BM_DecodeWithLibpng(benchmark::State& state) { DecodeAll(state, qx::DecodePngWithLibpng); }
BENCHMARK(BM_DecodeWithLibpng)->Unit(benchmark::kMillisecond);

// Colour pictures as 8-bit RGB or RGBA, then swapped to blue, green, red as
// the runtime's layouts keep them.
void BM_DecodeWithLibspng(benchmark::State& state) {
  const auto files = LoadFiles();
  for (auto _ : state) {
    for (const auto& f : files) {
      spng_ctx* ctx = spng_ctx_new(0);
      spng_set_png_buffer(ctx, f.data(), f.size());
      spng_ihdr ihdr;
      spng_get_ihdr(ctx, &ihdr);
      const bool alpha = ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
      const int fmt = alpha ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
      size_t size = 0;
      spng_decoded_image_size(ctx, fmt, &size);
      uint8_t* pixels = static_cast<uint8_t*>(malloc(size));
      if (spng_decode_image(ctx, pixels, size, fmt, 0) != 0) state.SkipWithError("decode");
      const int bpp = alpha ? 4 : 3;
      for (size_t i = 0; i + 2 < size; i += bpp) std::swap(pixels[i], pixels[i + 2]);
      benchmark::DoNotOptimize(pixels);
      free(pixels);
      spng_ctx_free(ctx);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * TotalBytes(files));
}
BENCHMARK(BM_DecodeWithLibspng)->Unit(benchmark::kMillisecond);

}  // namespace
