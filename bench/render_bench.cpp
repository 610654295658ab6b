// Software renderer throughput: single drawings in the game's settings and a
// synthetic worst-case gameplay frame on an 800 x 600 32-bit screen.
//
// Arguments of the single drawings: source (0 = 512 x 512, 1 = 800 x 600),
// blend mode, source alpha, blend mask, vector level (0 none, 1 SSE2, 2 AVX2,
// 3 AVX-512; a level the processor lacks runs as the best it has).
#include <benchmark/benchmark.h>
#include <stddef.h>
#include <string.h>
#include <time.h>

#include <random>
#include <vector>

#include "runtime/graphics/draw_pool.h"
#include "runtime/graphics/draw_state.h"
#include "runtime/graphics/memimg.h"
#include "runtime/graphics/renderer.h"

namespace {

using qx::MEMIMG;

constexpr int kScreenW = 800, kScreenH = 600;
constexpr uint32_t kKey = 0xFFFF00FF;

struct Pic {
  MEMIMG img;
  Pic(int w, int h, int type, int alpha) {
    memset(&img, 0, sizeof(img));
    qx::CreateMemImage(&img, w, h, -1, kKey, type, 0, alpha, false);
  }
  ~Pic() { qx::ReleaseMemImage(&img); }
  Pic(const Pic&) = delete;
  Pic& operator=(const Pic&) = delete;
};

// A picture like the game's: an opaque or soft-edged disc with a keyed or
// transparent surround, noisy colours.
void Paint(Pic& p, uint32_t seed) {
  std::mt19937 rng(seed);
  MEMIMG& m = p.img;
  for (int y = 0; y < m.height; ++y) {
    for (int x = 0; x < m.width; ++x) {
      uint8_t* row = m.pixels + static_cast<ptrdiff_t>(y) * m.pitch;
      if (m.pixelType == qx::kPixelMask8) {
        row[x] = static_cast<uint8_t>(x * 255 / (m.width > 1 ? m.width - 1 : 1));
        continue;
      }
      double dx = (x - m.width / 2.0) / (m.width / 2.0), dy = (y - m.height / 2.0) / (m.height / 2.0);
      double r = dx * dx + dy * dy;
      uint32_t c = (rng() & 0x00FFFFFF) | 0xFF000000u;
      uint32_t v;
      if (m.alphaFlag) {
        uint32_t a = r < 0.7 ? 255 : (r < 1.0 ? static_cast<uint32_t>((1.0 - r) / 0.3 * 255) : 0);
        v = (c & 0x00FFFFFF) | (a << 24);
      } else {
        v = r < 1.0 ? c : kKey;
      }
      reinterpret_cast<uint32_t*>(row)[x] = v;
    }
  }
}

void SetState(int mode, int param) {
  qx::DrawState& st = qx::GetDrawState();
  st.blendMode = mode;
  st.blendParam = param;
  st.brightness = 0xFFFFFF;
  st.drawLeft = 0;
  st.drawTop = 0;
  st.drawRight = kScreenW;
  st.drawBottom = kScreenH;
  st.drawAreaEmpty = 0;
  qx::BuildBlendMaskTable(st.blendMaskTable, 128, 64);
}

struct Fixture {
  Pic screen{kScreenW, kScreenH, qx::kPixel32, 0};
  Pic src512{512, 512, qx::kPixel32, 0};
  Pic src512a{512, 512, qx::kPixel32, 1};
  Pic src800{800, 600, qx::kPixel32, 0};
  Pic src800a{800, 600, qx::kPixel32, 1};
  Pic mask512{512, 512, qx::kPixelMask8, 0};
  Pic mask800{800, 600, qx::kPixelMask8, 0};
  Pic effect{256, 256, qx::kPixel32, 1};
  Pic hud{800, 600, qx::kPixel32, 1};
  Pic gauge{200, 40, qx::kPixel32, 1};
  Pic gaugeMask{200, 40, qx::kPixelMask8, 0};
  Fixture() {
    qx::InitRendererTables();
    Paint(src512, 1);
    Paint(src512a, 2);
    Paint(src800, 3);
    Paint(src800a, 4);
    Paint(mask512, 5);
    Paint(mask800, 6);
    Paint(effect, 7);
    Paint(hud, 8);
    Paint(gauge, 9);
    Paint(gaugeMask, 10);
    memset(screen.img.pixels, 0x40, static_cast<size_t>(screen.img.pitch) * kScreenH);
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

// Destination pixels a drawing writes: drawn once onto a marked screen.
template <class Draw>
int64_t CountTouched(Draw draw) {
  Pic probe(kScreenW, kScreenH, qx::kPixel32, 0);
  memset(probe.img.pixels, 0, static_cast<size_t>(probe.img.pitch) * kScreenH);
  draw(&probe.img);
  int64_t n = 0;
  for (int y = 0; y < kScreenH; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(probe.img.pixels + static_cast<ptrdiff_t>(y) * probe.img.pitch);
    for (int x = 0; x < kScreenW; ++x) n += row[x] != 0;
  }
  return n;
}

// The single drawings measure one thread's work.
struct OneThread {
  int saved = qx::DrawThreads();
  OneThread() { qx::SetDrawThreads(1); }
  ~OneThread() { qx::SetDrawThreads(saved); }
};

struct Single {
  const MEMIMG* src;
  const MEMIMG* mask;
  int mode;
};

Single Pick(const benchmark::State& state) {
  Fixture& f = F();
  bool big = state.range(0) != 0;
  bool alpha = state.range(2) != 0;
  const MEMIMG* src = big ? (alpha ? &f.src800a.img : &f.src800.img) : (alpha ? &f.src512a.img : &f.src512.img);
  const MEMIMG* mask = state.range(3) ? (big ? &f.mask800.img : &f.mask512.img) : nullptr;
  return Single{src, mask, static_cast<int>(state.range(1))};
}

void Report(benchmark::State& state, int64_t pixels) {
  state.counters["pixels/s"] = benchmark::Counter(static_cast<double>(pixels) * state.iterations(),
                                                   benchmark::Counter::kIsRate);
  state.counters["pixels"] = static_cast<double>(pixels);
}

void BM_DrawImageAt(benchmark::State& state) {
  Single s = Pick(state);
  OneThread one;
  qx::SetRendererSimdLevel(static_cast<int>(state.range(4)));
  SetState(s.mode, 100);
  int x = s.src->width == 512 ? 144 : 0, y = s.src->width == 512 ? 44 : 0;
  MEMIMG* screen = &F().screen.img;
  // Counted without the mask: masked-out pixels are still worked on.
  int64_t px = CountTouched([&](MEMIMG* d) { qx::DrawImageAt(d, s.src, x, y, true, nullptr); });
  for (auto _ : state) {
    qx::DrawImageAt(screen, s.src, x, y, true, s.mask);
    benchmark::ClobberMemory();
  }
  Report(state, px);
}

void BM_DrawImageRotated(benchmark::State& state) {
  Single s = Pick(state);
  OneThread one;
  qx::SetRendererSimdLevel(static_cast<int>(state.range(4)));
  SetState(s.mode, 100);
  MEMIMG* screen = &F().screen.img;
  const float angle = 0.4f, scale = 1.3f;
  int64_t px = CountTouched(
      [&](MEMIMG* d) { qx::DrawImageRotated(d, s.src, 400, 300, angle, scale, true, false, nullptr); });
  for (auto _ : state) {
    qx::DrawImageRotated(screen, s.src, 400, 300, angle, scale, true, false, s.mask);
    benchmark::ClobberMemory();
  }
  Report(state, px);
}

void SingleArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"src800", "mode", "alpha", "mask", "simd"});
  for (int simd = qx::kSimdNone; simd <= qx::kSimdAvx512; ++simd)
    for (int big = 0; big <= 1; ++big)
      for (int mode = 0; mode <= 1; ++mode)
        for (int alpha = 0; alpha <= 1; ++alpha)
          for (int mask = 0; mask <= 1; ++mask) b->Args({big, mode, alpha, mask, simd});
}

BENCHMARK(BM_DrawImageAt)->Apply(SingleArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawImageRotated)->Apply(SingleArgs)->Unit(benchmark::kMicrosecond);

// The screen clear: an opaque fill of the whole screen, against a plain memset of the same bytes.
void BM_ClearScreen(benchmark::State& state) {
  OneThread one;
  qx::SetRendererSimdLevel(static_cast<int>(state.range(0)));
  SetState(0, 0);
  MEMIMG* screen = &F().screen.img;
  Rect r{0, 0, kScreenW, kScreenH};
  for (auto _ : state) {
    qx::FillRect(screen, &r, 0xFF000000);
    benchmark::ClobberMemory();
  }
  Report(state, static_cast<int64_t>(kScreenW) * kScreenH);
}
BENCHMARK(BM_ClearScreen)->ArgName("simd")->DenseRange(qx::kSimdNone, qx::kSimdAvx512)->Unit(benchmark::kMicrosecond);

void BM_MemsetScreen(benchmark::State& state) {
  MEMIMG* screen = &F().screen.img;
  for (auto _ : state) {
    memset(screen->pixels, 0, static_cast<size_t>(screen->pitch) * kScreenH);
    benchmark::ClobberMemory();
  }
  Report(state, static_cast<int64_t>(kScreenW) * kScreenH);
}
BENCHMARK(BM_MemsetScreen)->Unit(benchmark::kMicrosecond);

void BM_FillRectMode1(benchmark::State& state) {
  OneThread one;
  qx::SetRendererSimdLevel(static_cast<int>(state.range(0)));
  SetState(1, 100);
  MEMIMG* screen = &F().screen.img;
  Rect r{0, 0, kScreenW, kScreenH};
  for (auto _ : state) {
    qx::FillRect(screen, &r, 0xFF000000);
    benchmark::ClobberMemory();
  }
  Report(state, static_cast<int64_t>(kScreenW) * kScreenH);
}
BENCHMARK(BM_FillRectMode1)->ArgName("simd")->DenseRange(qx::kSimdNone, qx::kSimdAvx512)->Unit(benchmark::kMicrosecond);

// The heaviest frame the game can ask for: every layer, stone and effect at
// its largest, all blended.
void DrawWorstFrame(MEMIMG* screen) {
  Fixture& f = F();
  Rect full{0, 0, kScreenW, kScreenH};
  SetState(0, 0);
  qx::FillRect(screen, &full, 0xFF000000);
  const int layerAlpha[4] = {200, 55, 128, 254};
  for (int i = 0; i < 4; ++i) {
    SetState(1, layerAlpha[i]);
    float scale = 1.0f + 0.33f * static_cast<float>(i);  // up to 2
    qx::DrawImageRotated(screen, &f.src800.img, 400, 300, 0.07f * static_cast<float>(i + 1), scale, true, false,
                         nullptr);
  }
  for (int i = 0; i < 32; ++i) {
    // Stones grow from the core point up to scale 3 as they fly outward.
    float scale = 3.0f * static_cast<float>(i + 1) / 32.0f;
    int x = 400 + static_cast<int>(300.0f * (static_cast<float>(i % 8) - 3.5f) / 4.0f);
    int y = 300 + static_cast<int>(220.0f * (static_cast<float>(i / 8) - 1.5f) / 2.0f);
    SetState(i % 2 ? 1 : 0, i % 2 ? 180 : 0);
    qx::DrawImageRotated(screen, &f.src512a.img, x, y, 0.1f * static_cast<float>(i), scale, true, false, nullptr);
  }
  SetState(0, 0);
  for (int i = 0; i < 8; ++i) {
    SetState(1, 255 - 24 * i);
    qx::DrawImageRotated(screen, &f.effect.img, 100 + 80 * i, 150 + 30 * i, 0.0f, 1.5f, true, false, nullptr);
  }
  SetState(0, 0);
  qx::DrawImageAt(screen, &f.hud.img, 0, 0, true, nullptr);
  qx::DrawImageAt(screen, &f.gauge.img, 536, 518, true, &f.gaugeMask.img);
  SetState(1, 128);
  qx::FillRect(screen, &full, 0xFFFFFFFF);
  SetState(1, 64);
  qx::FillRect(screen, &full, 0xFF000000);
  SetState(0, 0);
}

// Second argument: drawing threads (0: as many as the pool starts with).
// frame_ms is the calling thread's processor time per frame, process_ms that
// of every thread together; with drawing threads the real time shows how soon
// a frame is done, as far as the machine's other work lets it.
void BM_WorstCaseFrame(benchmark::State& state) {
  qx::SetRendererSimdLevel(static_cast<int>(state.range(0)));
  static const int kPoolThreads = qx::DrawThreads();
  qx::SetDrawThreads(state.range(1) ? static_cast<int>(state.range(1)) : kPoolThreads);
  MEMIMG* screen = &F().screen.img;
  // Processor time: other work on a shared machine does not count.
  // (<chrono> does not build under the Shift-JIS execution character set.)
  timespec t0, t1, p0, p1;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &p0);
  for (auto _ : state) {
    DrawWorstFrame(screen);
    benchmark::ClobberMemory();
  }
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &p1);
  auto ms = [](const timespec& a, const timespec& b) {
    return static_cast<double>(b.tv_sec - a.tv_sec) * 1e3 + static_cast<double>(b.tv_nsec - a.tv_nsec) / 1e6;
  };
  double n = static_cast<double>(state.iterations());
  state.counters["frame_ms"] = ms(t0, t1) / n;
  state.counters["process_ms"] = ms(p0, p1) / n;
  qx::SetDrawThreads(kPoolThreads);
}
BENCHMARK(BM_WorstCaseFrame)
    ->ArgNames({"simd", "threads"})
    ->ArgsProduct({{qx::kSimdNone, qx::kSimdSse2, qx::kSimdAvx2, qx::kSimdAvx512}, {1, 0}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
