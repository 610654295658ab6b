// The sound decoder chain from MPEG audio seeds: Layer 2 and 3, one with ID3
// tags. Seeds: the MPEG fixtures.
#include "tests/fuzz/sound_fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* seeds = qxfuzz::SeedDirectory()) qxfuzz::WriteSoundFixtureSeeds(seeds, {".mp3", ".mp2"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::FuzzSoundDecoder(data, size);
  return 0;
}
