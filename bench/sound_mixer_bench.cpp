// Software mixer: processor time for one second of 44.1 kHz stereo output
// with 1, 16 and 64 looping buffers of 16-bit stereo, at mixed volumes, one in
// four of them at 22050 Hz and so resampled.
#include <benchmark/benchmark.h>
#include <math.h>
#include <string.h>

#include <vector>

#include "runtime/platform/sound_mixer.h"

namespace {

void MixOneSecond(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  qx::MixerStart(44100, nullptr);
  qx::PlatformSoundOps ops{};
  qx::FillMixerSoundOps(&ops);
  std::vector<qx::PlatformSoundBuffer*> buffers;
  for (int i = 0; i < count; ++i) {
    const int rate = i % 4 == 3 ? 22050 : 44100;
    const size_t frames = static_cast<size_t>(rate) * 3 / 2 + static_cast<size_t>(i) * 37;
    qx::PlatformSoundBuffer* b = ops.CreateBuffer(2, 16, rate, frames * 4);
    void* p1;
    size_t s1;
    void* p2;
    size_t s2;
    ops.Lock(b, 0, frames * 4, &p1, &s1, &p2, &s2);
    int16_t* s = static_cast<int16_t*>(p1);
    for (size_t f = 0; f < frames; ++f) {
      s[2 * f] = static_cast<int16_t>(8000 * sin(0.01 * (i + 1) * static_cast<double>(f)));
      s[2 * f + 1] = static_cast<int16_t>(-s[2 * f]);
    }
    ops.Unlock(b);
    ops.SetVolume(b, -(i * 137) % 2000);
    ops.Play(b, 1);
    buffers.push_back(b);
  }
  std::vector<int16_t> out(44100 * 2);
  for (auto _ : state) {
    qx::MixerRender(out.data(), 44100);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  for (qx::PlatformSoundBuffer* b : buffers) ops.ReleaseBuffer(b);
  qx::MixerStop();
  state.SetLabel("one second of output");
}

BENCHMARK(MixOneSecond)->Arg(1)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
