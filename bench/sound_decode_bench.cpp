// Stream refills: one eighth of a second of PCM decoded from a PCM WAVE, an
// Ogg Vorbis and an MPEG Layer-3 file, as the stream engine asks for it on
// every message pump. The short compressed fixtures wrap around to their
// start (a seek) every few refills, which is the costly case for them.
// "worst_us" is the slowest single refill after the first, in processor time of the
// thread (wall time on a shared machine mostly measures the scheduler).
#include <time.h>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "runtime/core/alloc.h"
#include "runtime/file/file.h"
#include "runtime/sound/sound_decoder.h"
#include "tests/support/read_file.h"

namespace {

std::vector<uint8_t> ReadFixture(const char* name) {
  return qxtest::ReadWholeFile(std::string(QUARNEX_SOURCE_DIR) + "/tests/fixtures/sounds/" + name);
}

// Ten seconds of a 44.1 kHz stereo tone as a WAVE image.
std::vector<uint8_t> PcmWave() {
  std::vector<int16_t> pcm(44100 * 2 * 10);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>((i * 7919) % 20000 - 10000);
  qx::WaveFormat format{1, 2, 44100, 44100 * 4, 4, 16, 0};
  size_t size = 0;
  uint8_t* image = qx::BuildWaveImage(format, 18, pcm.data(), pcm.size() * 2, &size);
  std::vector<uint8_t> bytes(image, image + size);
  qx::MemFree(image);
  return bytes;
}

void Refill(benchmark::State& state, std::vector<uint8_t> bytes) {
  qx::MemoryStream* stream = qx::OpenMemoryStream(bytes.data(), bytes.size());
  qx::SoundDecoder decoder;
  if (!stream || qx::SoundDecoderOpen(&decoder, qx::MemoryStreamOps(), stream) != 0) {
    state.SkipWithError("cannot open the sound");
    return;
  }
  const size_t align = decoder.format.BlockAlign;
  const size_t chunk = decoder.format.AvgBytesPerSec / 8 / align * align;
  std::vector<uint8_t> buffer(chunk);
  double worst = 0;
  bool first = true;  // the first refill also faults in the work buffer
  for (auto _ : state) {
    timespec start, end;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    size_t done = 0;
    while (done < chunk) {
      size_t n = qx::SoundDecoderRead(&decoder, buffer.data() + done, chunk - done);
      if (n == 0) qx::SoundDecoderSeek(&decoder, 0);
      done += n;
    }
    benchmark::DoNotOptimize(buffer.data());
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    double seconds = static_cast<double>(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) * 1e-9;
    if (seconds > worst && !first) worst = seconds;
    first = false;
  }
  state.counters["worst_us"] = worst * 1e6;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * chunk));
  qx::SoundDecoderClose(&decoder);
  qx::MemoryStreamOps().Close(stream);
}

BENCHMARK_CAPTURE(Refill, PcmWave, PcmWave())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Refill, OggVorbis, ReadFixture("vorbis_stereo44.ogg"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Refill, Mp3, ReadFixture("l3_stereo44.mp3"))->Unit(benchmark::kMicrosecond);

}  // namespace
