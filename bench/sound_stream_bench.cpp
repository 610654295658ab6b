// Stream engine: processor time of one refill of an eighth of a second into
// a playing stream sound's ring, from a 20-second 44.1 kHz 16-bit stereo PCM
// WAVE held in memory (source type 2), on the headless device.
#include <benchmark/benchmark.h>
#include <string.h>

#include <vector>

#include "runtime/core/api_internal.h"
#include "runtime/core/subsystems.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/platform.h"
#include "runtime/sound/sound_internal.h"

namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

std::vector<uint8_t> PcmWave(uint32_t frames) {
  std::vector<uint8_t> v = {'R', 'I', 'F', 'F'};
  Put32(v, 36 + frames * 4);
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(v, 16);
  Put16(v, 1);
  Put16(v, 2);
  Put32(v, 44100);
  Put32(v, 44100 * 4);
  Put16(v, 4);
  Put16(v, 16);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put32(v, frames * 4);
  uint32_t x = 1;
  for (uint32_t i = 0; i < frames * 2; ++i) {
    x = x * 1664525u + 1013904223u;
    Put16(v, x >> 16);
  }
  return v;
}

void RefillEighthSecond(benchmark::State& state) {
  qx::SelectPlatform(&qx::kHeadlessPlatform);
  qx::HeadlessReset();
  qx::SetLogFileEnabled(0);
  if (qx::InitSound() != 0) {
    state.SkipWithError("no sound device");
    return;
  }
  std::vector<uint8_t> wave = PcmWave(20 * 44100);
  qx::MemoryStream* memory = qx::OpenMemoryStream(wave.data(), wave.size());
  int handle = qx::AddSoundData(-1);
  int owns = 0;
  qx::AddSreamSound(qx::MemoryStreamOps(), memory, -1, handle, 2, &owns, -1);
  qx::MemoryStreamOps().Close(memory);
  qx::PlayStreamSound(handle, 3, 1);
  qx::SoundRecord* record = qx::GetSoundRecord(handle);
  for (auto _ : state) {
    state.PauseTiming();
    // An eighth of a second of device time passes, mixed outside the measurement.
    qx::HeadlessAdvanceMicros(125000);
    qx::GetPlatform().sound->IsPlaying(qx::StreamRing(record));
    const int64_t before = record->stream.write;
    state.ResumeTiming();
    qx::UpdateStreamSound(handle);
    state.PauseTiming();
    if (record->stream.write == before) state.SkipWithError("nothing was written");
    state.ResumeTiming();
  }
  qx::DeleteAllSounds(0);
  qx::EndSound();
}

BENCHMARK(RefillEighthSecond)->Unit(benchmark::kMicrosecond);

}  // namespace
