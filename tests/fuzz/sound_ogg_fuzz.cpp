// The sound decoder chain from Ogg Vorbis seeds. Seeds: the Ogg fixtures.
#include "tests/fuzz/sound_fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* seeds = qxfuzz::SeedDirectory()) qxfuzz::WriteSoundFixtureSeeds(seeds, {".ogg"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::FuzzSoundDecoder(data, size);
  return 0;
}
