// The sound decoder chain from WAVE seeds: PCM, IMA and Microsoft ADPCM,
// µ-law, A-law and MPEG Layer-3 inside WAVE. Seeds: the WAVE fixtures and
// a few layouts built here.
#include "runtime/sound/sound_decoder.h"
#include "tests/fuzz/sound_fuzz_support.h"

namespace {

void WriteSeeds(const char* dir) {
  qxfuzz::WriteSoundFixtureSeeds(dir, {".wav"});
  // Tiny images of each PCM layout, as the runtime builds them itself.
  const qx::WaveFormat formats[] = {{1, 1, 8000, 8000, 1, 8, 0}, {1, 2, 22050, 88200, 4, 16, 0}};
  uint8_t pcm[64];
  for (int i = 0; i < 64; ++i) pcm[i] = static_cast<uint8_t>(i * 37);
  int n = 0;
  for (const auto& f : formats) {
    size_t size = 0;
    uint8_t* image = qx::BuildWaveImage(f, 18, pcm, sizeof(pcm), &size);
    if (!image) continue;
    qxfuzz::WriteSeed(dir, "built" + std::to_string(n++) + ".wav", std::vector<uint8_t>(image, image + size));
    qx::MemFree(image);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* seeds = qxfuzz::SeedDirectory()) WriteSeeds(seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::FuzzSoundDecoder(data, size);
  return 0;
}
